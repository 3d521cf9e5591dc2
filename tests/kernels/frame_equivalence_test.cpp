// Whole frames: RunFrameWith with the reference kernels and with each fast level, on two
// instances fed the same multi-frame clip, must leave identical destination, source, motion
// map and previous frame after every frame, in every mode.
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "bench/clip.h"
#include "core/kernels.h"
#include "core/main.h"
#include "core/stages.h"
#include "tests/kernels/kernel_rows.h"

namespace velmo::kerneltest {
namespace {

class FrameEquivalence : public FastKernels {};

struct Tweak {
    const char* name;
    void (*apply)(DeinterlaceInstance&);
};

const Tweak kTweaks[] = {
    {"plain", [](DeinterlaceInstance&) {}},
    {"scene change every frame", [](DeinterlaceInstance& i) { i.sceneThreshold = 0; }},
    {"scene change on busy frames", [](DeinterlaceInstance& i) { i.sceneThreshold = 20; }},
    {"blend", [](DeinterlaceInstance& i) { i.blendMotion = 1; }},
    {"grey", [](DeinterlaceInstance& i) { i.showMotionOnly = 1; }},
    {"grey blend", [](DeinterlaceInstance& i) { i.showMotionOnly = 1, i.blendMotion = 1; }},
    {"cubic", [](DeinterlaceInstance& i) { i.cubicInterpolation = 1; }},
    {"cubic grey", [](DeinterlaceInstance& i) { i.cubicInterpolation = 1, i.showMotionOnly = 1; }},
    {"phase shift and swap before", [](DeinterlaceInstance& i) { i.phaseShift = 1, i.swapBefore = 1; }},
    {"phase shift and swap after", [](DeinterlaceInstance& i) { i.phaseShift = 1, i.swapAfter = 1; }},
    {"swap after", [](DeinterlaceInstance& i) { i.swapAfter = 1; }},
    {"threshold 0", [](DeinterlaceInstance& i) { i.motionThreshold = 0; }},
    {"threshold -3", [](DeinterlaceInstance& i) { i.motionThreshold = -3; }},
    {"threshold 300", [](DeinterlaceInstance& i) { i.motionThreshold = 300; }},
};

// One instance with its own source and destination frames, rows pitched wider than the pixels.
struct Instance {
    Instance(int32_t w, int32_t h, const DeinterlaceInstance& settings)
        : w(w), h(h), srcPitch(w * 4 + 20), dstPitch(w * 4 + 8),
          src(static_cast<size_t>(srcPitch) * h), dst(static_cast<size_t>(dstPitch) * h, 0x5A), inst(settings) {
        StartBuffers(&inst, Bitmap{src.data(), w, h, srcPitch});
    }
    ~Instance() { EndBuffers(&inst); }

    void Frame(int32_t n, clip::Scene scene, const KernelTable& kernels) {
        clip::PaintFrame(src.data(), w, h, srcPitch, n, scene);
        FrameContext ctx{{src.data(), w, h, srcPitch}, {dst.data(), w, h, dstPitch}, n};
        RunFrameWith(&inst, ctx, kernels);
    }

    int32_t w, h, srcPitch, dstPitch;
    std::vector<uint8_t> src, dst;
    DeinterlaceInstance inst;
};

::testing::AssertionResult SameBytes(const void* a, const void* b, size_t n, const char* what) {
    if (a == nullptr && b == nullptr) return ::testing::AssertionSuccess();
    if (a == nullptr || b == nullptr) return ::testing::AssertionFailure() << what << ": one buffer is missing";
    const int32_t i = FirstMismatch(static_cast<const uint8_t*>(a), static_cast<const uint8_t*>(b),
                                    static_cast<int32_t>(n));
    if (i < 0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << what << " differs first at byte " << i;
}

// The clip: moving bars with noise, a frame where everything moves, a still frame.
constexpr clip::Scene kClip[] = {clip::Scene::Moving, clip::Scene::Moving, clip::Scene::Combs, clip::Scene::Moving,
                                 clip::Scene::Still,  clip::Scene::Moving, clip::Scene::Moving};

TEST_P(FrameEquivalence, EveryModeGivesTheReferenceFrames) {
    struct Size {
        int32_t w, h;
    };
    for (Size size : {Size{83, 37}, Size{256, 20}, Size{40, 7}}) {
        for (int32_t diffMode : {0, 1, 2}) {
            for (int32_t color : {0, 1}) {
                for (int32_t denoise : {0, 1}) {
                    for (const Tweak& tweak : kTweaks) {
                        SCOPED_TRACE(::testing::Message() << size.w << " x " << size.h << ", diffMode " << diffMode
                                                          << (color ? ", colour" : ", luma")
                                                          << (denoise ? ", denoised, " : ", ") << tweak.name);
                        DeinterlaceInstance settings{};
                        InitSettings(&settings);
                        settings.diffMode = diffMode;
                        settings.compareColor = color;
                        settings.denoiseMotion = denoise;
                        tweak.apply(settings);
                        Instance expected(size.w, size.h, settings), actual(size.w, size.h, settings);
                        const size_t map = static_cast<size_t>(size.w) * size.h;
                        int32_t n = 0;
                        for (clip::Scene scene : kClip) {
                            SCOPED_TRACE(::testing::Message() << "frame " << n);
                            expected.Frame(n, scene, ref());
                            actual.Frame(n, scene, fast());
                            ++n;
                            ASSERT_TRUE(SameBytes(expected.dst.data(), actual.dst.data(), expected.dst.size(), "destination"));
                            ASSERT_TRUE(SameBytes(expected.src.data(), actual.src.data(), expected.src.size(), "source"));
                            ASSERT_TRUE(SameBytes(expected.inst.motionMap, actual.inst.motionMap, map, "motion map"));
                            ASSERT_TRUE(SameBytes(expected.inst.prevFrame, actual.inst.prevFrame, map * 4, "previous frame"));
                        }
                    }
                }
            }
        }
    }
}

// The clip really exercises the modes: motion is found, but not everywhere.
TEST(FrameEquivalenceClip, HasMovingAndStillPixels) {
    DeinterlaceInstance settings{};
    InitSettings(&settings);
    Instance run(83, 37, settings);
    run.Frame(0, clip::Scene::Moving, kReferenceKernels);
    run.Frame(1, clip::Scene::Moving, kReferenceKernels);
    size_t moving = 0;
    for (size_t i = 0; i < 83u * 37u; ++i) moving += run.inst.motionMap[i];
    EXPECT_GT(moving, 50u);
    EXPECT_LT(moving, 83u * 37u / 2);
}

INSTANTIATE_TEST_SUITE_P(Levels, FrameEquivalence, ::testing::ValuesIn(FastLevels()), LevelName);

}  // namespace
}  // namespace velmo::kerneltest
