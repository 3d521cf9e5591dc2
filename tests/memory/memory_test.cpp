// When memory for the working buffers cannot be had, the frame passes through as a plain copy of
// the source and the call still succeeds. Run in a child process whose address space is capped
// just above what it already uses (not under the sanitizers, which reserve address space of
// their own). A program of its own, so that no freed memory of other tests is at hand.
#include <gtest/gtest.h>

#if !defined(_WIN32) && !defined(__SANITIZE_ADDRESS__)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "core/main.h"

namespace velmo {
namespace {

long MappedBytes() {
    long pages = 0;
    FILE* f = std::fopen("/proc/self/statm", "r");
    if (f == nullptr) return -1;
    if (std::fscanf(f, "%ld", &pages) != 1) pages = -1;
    std::fclose(f);
    return pages < 0 ? -1 : pages * sysconf(_SC_PAGESIZE);
}

// 0 when the frame passed through unchanged and no buffer was held.
int RunOutOfMemory() {
    const int32_t w = 2048, h = 1024;  // the smallest buffer (2 MiB) exceeds the headroom
    const size_t pitch = static_cast<size_t>(w) * 4;
    std::vector<uint8_t> src(pitch * h), dst(pitch * h, 0xEE);
    for (size_t i = 0; i < src.size(); ++i) src[i] = static_cast<uint8_t>(i * 13 + (i >> 12));
    DeinterlaceInstance inst;
    std::memset(&inst, 0, sizeof inst);
    InitSettings(&inst);
    inst.denoiseMotion = 1;
    inst.phaseShift = 1;

    const long used = MappedBytes();
    if (used <= 0) return 10;
    struct rlimit cap = {static_cast<rlim_t>(used + (256 << 10)), static_cast<rlim_t>(used + (256 << 10))};
    if (setrlimit(RLIMIT_AS, &cap) != 0) return 11;

    Bitmap s{src.data(), w, h, static_cast<int32_t>(pitch)};
    StartBuffers(&inst, s);
    if (inst.prevFrame || inst.fieldFrame || inst.motionMap || inst.denoiseMap) return 12;
    FrameContext ctx{s, Bitmap{dst.data(), w, h, static_cast<int32_t>(pitch)}, 0};
    if (RunFrame(&inst, ctx) != 0) return 13;
    if (dst != src) return 14;
    EndBuffers(&inst);
    return 0;
}

TEST(MemoryRunsOut, TheFramePassesThrough) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) _exit(RunOutOfMemory());
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status)) << "the child died";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "see RunOutOfMemory for the step that failed";
}

}  // namespace
}  // namespace velmo
#endif
