// Runs a raw BGRA clip (top row first, as FFmpeg writes it) through RunFrame the way VirtualDub
// hands frames over (bottom row first in memory) and writes the result in the same raw form.
// Used to make the pictures in docs/; see make_pictures.sh.
//
//   deinterlace_raw WIDTH HEIGHT IN.bgra OUT.bgra [--grey] [--blend] [--cubic] [--denoise]
//                   [--diff-mode N] [--threshold N] [--color 0|1]
//
// Prints, per frame, how many pixels came out bit-identical to the source.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "core/main.h"

namespace {

int Usage() {
    std::cerr << "usage: deinterlace_raw WIDTH HEIGHT IN.bgra OUT.bgra [--grey] [--blend] [--cubic] [--denoise]"
                 " [--diff-mode N] [--threshold N] [--color 0|1]\n";
    return 2;
}

// Picture row p (top first) sits in memory row h - 1 - p.
void FlipRows(const uint8_t* from, uint8_t* to, int32_t h, size_t rowBytes) {
    for (int32_t p = 0; p < h; ++p) std::memcpy(to + static_cast<size_t>(h - 1 - p) * rowBytes, from + static_cast<size_t>(p) * rowBytes, rowBytes);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 5) return Usage();
    const int32_t w = std::atoi(argv[1]);
    const int32_t h = std::atoi(argv[2]);
    if (w <= 0 || h <= 0) return Usage();

    velmo::DeinterlaceInstance inst{};
    velmo::InitSettings(&inst);
    for (int i = 5; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> int32_t {
            if (i + 1 >= argc) std::exit(Usage());
            return std::atoi(argv[++i]);
        };
        if (arg == "--grey") inst.showMotionOnly = 1;
        else if (arg == "--blend") inst.blendMotion = 1;
        else if (arg == "--cubic") inst.cubicInterpolation = 1;
        else if (arg == "--denoise") inst.denoiseMotion = 1;
        else if (arg == "--diff-mode") inst.diffMode = value();
        else if (arg == "--threshold") inst.motionThreshold = value();
        else if (arg == "--color") inst.compareColor = value();
        else return Usage();
    }

    std::ifstream in(argv[3], std::ios::binary);
    std::ofstream out(argv[4], std::ios::binary);
    if (!in || !out) {
        std::cerr << "cannot open " << (!in ? argv[3] : argv[4]) << "\n";
        return 1;
    }
    const size_t rowBytes = static_cast<size_t>(w) * 4;
    const size_t frameBytes = rowBytes * h;
    std::vector<uint8_t> picture(frameBytes), src(frameBytes), original(frameBytes), dst(frameBytes);
    velmo::Bitmap size{nullptr, w, h, static_cast<int32_t>(rowBytes)};
    velmo::StartBuffers(&inst, size);

    for (int32_t frame = 0; in.read(reinterpret_cast<char*>(picture.data()), static_cast<std::streamsize>(frameBytes)); ++frame) {
        FlipRows(picture.data(), src.data(), h, rowBytes);
        original = src;
        velmo::FrameContext ctx{velmo::Bitmap{src.data(), w, h, static_cast<int32_t>(rowBytes)},
                                velmo::Bitmap{dst.data(), w, h, static_cast<int32_t>(rowBytes)}, frame};
        velmo::RunFrame(&inst, ctx);
        size_t unchanged = 0;
        for (size_t i = 0; i < frameBytes; i += 4) unchanged += std::memcmp(&dst[i], &original[i], 4) == 0;
        const size_t pixels = static_cast<size_t>(w) * h;
        std::printf("frame %d: %zu of %zu pixels unchanged (%.2f %%)\n", frame, unchanged, pixels, 100.0 * unchanged / pixels);
        FlipRows(dst.data(), picture.data(), h, rowBytes);
        out.write(reinterpret_cast<const char*>(picture.data()), static_cast<std::streamsize>(frameBytes));
    }
    velmo::EndBuffers(&inst);
    return out ? 0 : 1;
}
