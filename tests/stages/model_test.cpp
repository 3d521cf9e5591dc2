// RunFrame against the whole-frame model, over many settings, frame sizes and pitches, for
// sequences of frames, with every kernel table this build has.
#include <gtest/gtest.h>

#include <climits>
#include <random>

#include "tests/stages/frames.h"
#include "tests/stages/model.h"

namespace velmo::stagetest {
namespace {

// Frame t of a clip: the left part still (detail and flat, low-contrast areas), the right part
// moving two pixels a frame, with the odd field a step ahead of the even one (combing).
uint32_t ClipPixel(int32_t t, int32_t y, int32_t x, int32_t w) {
    const bool moving = x >= w / 2;
    const uint32_t sx = static_cast<uint32_t>(moving ? x + 2 * t + (y % 2) : x);
    uint32_t v = sx * 0x9E3779B1u ^ static_cast<uint32_t>(y) * 0x85EBCA77u;
    v ^= v >> 15;
    v *= 0x2C1B3C6Du;
    v ^= v >> 12;
    if ((sx + static_cast<uint32_t>(y)) % 3 == 0) {
        // Near mid-grey: differences around the usual thresholds.
        const uint32_t b = 120 + (v & 15), g = 120 + ((v >> 8) & 15), r = 120 + ((v >> 16) & 15);
        return b | g << 8 | r << 16 | (v & 0xFF000000u);
    }
    return v;
}

struct Geometry {
    int32_t w, h, srcPadding, dstPadding;
};

DeinterlaceInstance RandomSettings(std::mt19937& rng) {
    auto pick = [&](std::initializer_list<int32_t> values) {
        return *(values.begin() + rng() % values.size());
    };
    DeinterlaceInstance s{};
    InitSettings(&s);
    s.diffMode = pick({0, 1, 2, 3, 0, 2});
    s.compareColor = pick({0, 1});
    s.motionThreshold = pick({15, 15, 0, -7, 40, 255, 256, INT_MIN, INT_MAX});
    s.sceneThreshold = pick({100, 100, 45, 20, 0, -1});
    s.denoiseMotion = pick({0, 1});
    s.blendMotion = pick({0, 1});
    s.showMotionOnly = pick({0, 0, 1});
    s.cubicInterpolation = pick({0, 1});
    s.phaseShift = pick({0, 1});
    s.swapBefore = pick({0, 1});
    s.swapAfter = pick({0, 1});
    s.motionDisabled = pick({0, 0, 0, 0, 1});
    return s;
}

std::string Describe(const DeinterlaceInstance& s) {
    return "diffMode " + std::to_string(s.diffMode) + " color " + std::to_string(s.compareColor) + " threshold " +
           std::to_string(s.motionThreshold) + " scene " + std::to_string(s.sceneThreshold) + " denoise " +
           std::to_string(s.denoiseMotion) + " blend " + std::to_string(s.blendMotion) + " grey " +
           std::to_string(s.showMotionOnly) + " cubic " + std::to_string(s.cubicInterpolation) + " shift " +
           std::to_string(s.phaseShift) + " swaps " + std::to_string(s.swapBefore) + std::to_string(s.swapAfter) +
           " disabled " + std::to_string(s.motionDisabled);
}

TEST(RunFrameModel, MatchesTheModelFrameByFrame) {
    const Geometry geometries[] = {{17, 12, 8, 4}, {9, 7, 0, 12}, {5, 3, 4, 0}, {1, 2, 0, 0},
                                   {33, 21, 12, 28}, {6, 1, 0, 4}, {24, 9, 0, 0}};
    // Frame numbers as a host hands them over: a start, a run, and a jump.
    const int32_t frameNumbers[] = {0, 1, 2, 7, 8};
    std::mt19937 rng(20240611);
    for (const KernelTable* kernels : AvailableKernels()) {
        for (int round = 0; round < 60; ++round) {
            const DeinterlaceInstance settings = RandomSettings(rng);
            for (const Geometry& g : geometries) {
                SCOPED_TRACE(std::string(kernels->name) + ", " + std::to_string(g.w) + "x" + std::to_string(g.h) +
                             ", " + Describe(settings));
                Instance inst;
                inst.d = settings;  // no buffers yet
                inst.Start(g.w, g.h);
                FrameModel model(settings, g.w, g.h);
                for (int32_t i = 0; i < 5; ++i) {
                    const int32_t t = frameNumbers[i];
                    TestFrame src(g.w, g.h, g.w * 4 + g.srcPadding, 0x5A), dst(g.w, g.h, g.w * 4 + g.dstPadding);
                    src.Fill([&](int32_t y, int32_t x) { return ClipPixel(i, y, x, g.w); });
                    dst.Fill([&](int32_t y, int32_t x) { return 0xD0000000u ^ static_cast<uint32_t>(y * 977 + x * 31 + i); });
                    std::vector<uint32_t> modelSrc = src.Pixels(), modelDst = dst.Pixels();
                    model.Run(modelSrc, modelDst, t);
                    EXPECT_EQ(inst.Run(src, dst, t, kernels), 0);
                    ASSERT_TRUE(SamePlane(modelDst, dst.Pixels(), g.w)) << "destination of call " << i;
                    ASSERT_TRUE(SamePlane(modelSrc, src.Pixels(), g.w)) << "source after call " << i;
                    if (!settings.motionDisabled && g.h >= 2) {
                        const std::vector<uint8_t> map(inst.d.motionMap, inst.d.motionMap + static_cast<size_t>(g.w) * g.h);
                        ASSERT_TRUE(SamePlane(model.motionMap(), map, g.w)) << "motion map after call " << i;
                    }
                    // Only the plain copy without switches moves the bytes beyond the pixels.
                    const bool plainCopy = settings.motionDisabled && !settings.phaseShift &&
                                           settings.swapBefore == settings.swapAfter && !settings.swapBefore;
                    if (!plainCopy) {
                        EXPECT_TRUE(dst.PaddingIntact());
                    }
                    EXPECT_TRUE(src.PaddingIntact());
                }
            }
        }
    }
}

}  // namespace
}  // namespace velmo::stagetest
