// The tool's raw frame reader on streams of any length, frames of random sizes: whole frames are
// read and filtered, a truncated last frame is reported (never passed on), and nothing is read
// or written outside the frames.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "cli/error.h"
#include "cli/filter_run.h"
#include "cli/raw_io.h"
#include "core/main.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    const int32_t w = 1 + data[0] % 48;
    const int32_t h = 1 + data[1] % 48;
    const uint8_t settings = data[2];
    data += 3;
    size -= 3;

    const int fd = memfd_create("raw", 0);
    if (fd < 0) return 0;
    if (size > 0 && write(fd, data, size) != static_cast<ssize_t>(size)) std::abort();
    const std::string path = "/proc/self/fd/" + std::to_string(fd);

    velmo::DeinterlaceInstance inst{};
    velmo::InitSettings(&inst);
    inst.diffMode = settings % 3;
    inst.phaseShift = (settings >> 2) & 1;
    inst.denoiseMotion = (settings >> 3) & 1;
    inst.cubicInterpolation = (settings >> 4) & 1;
    const auto order = (settings >> 5) & 1 ? velmo::cli::RowOrder::TopDown : velmo::cli::RowOrder::BottomUp;
    const size_t frameBytes = static_cast<size_t>(w) * h * 4;
    try {
        velmo::cli::RawSource source(path, frameBytes);
        velmo::cli::FilterRun run(inst, velmo::cli::FrameSize{w, h}, order, 0);
        std::vector<uint8_t> frame(frameBytes);
        size_t frames = 0;
        while (source.Read(frame.data())) {
            run.Process(frame.data());
            ++frames;
        }
        const size_t leftover = size - frames * frameBytes;
        bool reported = false;
        try {
            source.Finish();
        } catch (const velmo::cli::Failure&) {
            reported = true;
        }
        if (frames != size / frameBytes || reported != (leftover != 0)) std::abort();
    } catch (const velmo::cli::Failure&) {
        std::abort();  // a readable stream of whole or partial frames is never refused
    }
    close(fd);
    return 0;
}
