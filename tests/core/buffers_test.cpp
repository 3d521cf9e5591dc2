#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/buffers.h"
#include "core/main.h"

namespace velmo {
namespace {

DeinterlaceInstance FreshInstance() {
    DeinterlaceInstance inst;
    std::memset(&inst, 0xA5, sizeof inst);  // a host's record is not known to be zero-filled
    InitSettings(&inst);
    inst.showMotionOnly = inst.blendMotion = inst.phaseShift = 0;
    inst.swapBefore = inst.swapAfter = 0;
    return inst;
}

// StartBuffers reads only the width and height.
Bitmap Frame(int32_t w, int32_t h) { return Bitmap{nullptr, w, h, 0}; }

bool AllZero(const void* p, size_t n) {
    const uint8_t* b = static_cast<const uint8_t*>(p);
    for (size_t i = 0; i < n; ++i) if (b[i] != 0) return false;
    return true;
}

TEST(InitSettings, WritesDefaultsAndOwnsNothing) {
    DeinterlaceInstance inst;
    std::memset(&inst, 0xA5, sizeof inst);
    EXPECT_EQ(InitSettings(&inst), 0);
    EXPECT_EQ(inst.prevFrame, nullptr);
    EXPECT_EQ(inst.fieldFrame, nullptr);
    EXPECT_EQ(inst.motionMap, nullptr);
    EXPECT_EQ(inst.denoiseMap, nullptr);
    EXPECT_EQ(inst.motionThreshold, 15);
    EXPECT_EQ(inst.sceneThreshold, 100);
    EXPECT_EQ(inst.denoiseMotion, 0);
    EXPECT_EQ(inst.diffMode, 0);
    EXPECT_EQ(inst.compareColor, 1);
    EXPECT_EQ(inst.motionDisabled, 0);
    EXPECT_EQ(inst.cubicInterpolation, 0);
    // The five switches it does not write keep what the record held.
    EXPECT_EQ(inst.showMotionOnly, static_cast<int32_t>(0xA5A5A5A5u));
    EXPECT_EQ(inst.swapAfter, static_cast<int32_t>(0xA5A5A5A5u));
    EXPECT_EQ(EndBuffers(&inst), 0);  // releases nothing: the pointers are null
}

struct AcquireCase {
    const char* what;
    int32_t diffMode, phaseShift, swapBefore, swapAfter, motionDisabled, denoiseMotion;
    bool prev, field, motion, denoise;
};

class Acquisition : public ::testing::TestWithParam<AcquireCase> {};

TEST_P(Acquisition, FollowsTheSettings) {
    const AcquireCase& c = GetParam();
    DeinterlaceInstance inst = FreshInstance();
    inst.diffMode = c.diffMode;
    inst.phaseShift = c.phaseShift;
    inst.swapBefore = c.swapBefore;
    inst.swapAfter = c.swapAfter;
    inst.motionDisabled = c.motionDisabled;
    inst.denoiseMotion = c.denoiseMotion;
    EXPECT_EQ(StartBuffers(&inst, Frame(720, 480)), 0);
    EXPECT_EQ(inst.prevFrame != nullptr, c.prev) << c.what;
    EXPECT_EQ(inst.fieldFrame != nullptr, c.field) << c.what;
    EXPECT_EQ(inst.motionMap != nullptr, c.motion) << c.what;
    EXPECT_EQ(inst.denoiseMap != nullptr, c.denoise) << c.what;
    if (inst.prevFrame) {
        EXPECT_TRUE(AllZero(inst.prevFrame, 1382400));
        EXPECT_TRUE(BufferFits(inst.prevFrame, 720, 480));
    }
    if (inst.motionMap) {
        EXPECT_TRUE(AllZero(inst.motionMap, 345600));
    }
    EndBuffers(&inst);
    EXPECT_EQ(inst.prevFrame, nullptr);
    EXPECT_EQ(inst.fieldFrame, nullptr);
    EXPECT_EQ(inst.motionMap, nullptr);
    EXPECT_EQ(inst.denoiseMap, nullptr);
    EndBuffers(&inst);  // a second run has nothing left to release
}

INSTANTIATE_TEST_SUITE_P(
    Table, Acquisition,
    ::testing::Values(
        AcquireCase{"defaults", 0, 0, 0, 0, 0, 0, true, false, true, false},
        AcquireCase{"frame-and-field", 2, 0, 0, 0, 0, 0, true, false, true, false},
        AcquireCase{"field-only", 1, 0, 0, 0, 0, 0, false, false, true, false},
        AcquireCase{"diffMode 7 acts as field-only", 7, 0, 0, 0, 0, 0, false, false, true, false},
        AcquireCase{"both swaps cancel", 0, 0, 1, 1, 0, 0, true, false, true, false},
        AcquireCase{"swap before", 0, 0, 1, 0, 0, 0, true, true, true, false},
        AcquireCase{"swap after", 0, 0, 0, 1, 0, 0, true, true, true, false},
        AcquireCase{"phase shift with both swaps", 0, 1, 1, 1, 0, 0, true, true, true, false},
        AcquireCase{"motion disabled", 0, 0, 0, 0, 1, 1, true, false, false, true},
        AcquireCase{"denoise, field-only", 1, 0, 0, 0, 0, 1, false, false, true, true}));

TEST(Buffers, SizesOf720x480) {
    size_t bytes = 0;
    ASSERT_TRUE(BufferBytes(BufferKind::PrevFrame, 720, 480, &bytes));
    EXPECT_EQ(bytes, 1382400u);
    ASSERT_TRUE(BufferBytes(BufferKind::FieldFrame, 720, 480, &bytes));
    EXPECT_EQ(bytes, 1382400u);
    ASSERT_TRUE(BufferBytes(BufferKind::MotionMap, 720, 480, &bytes));
    EXPECT_EQ(bytes, 345600u);
    ASSERT_TRUE(BufferBytes(BufferKind::DenoiseMap, 720, 480, &bytes));
    EXPECT_EQ(bytes, 345600u);
}

TEST(Buffers, SizesThatDoNotFitAcquireNothing) {
    size_t bytes = 0;
    EXPECT_FALSE(BufferBytes(BufferKind::MotionMap, 0, 480, &bytes));
    EXPECT_FALSE(BufferBytes(BufferKind::MotionMap, 720, -1, &bytes));
    EXPECT_FALSE(BufferBytes(BufferKind::PrevFrame, INT32_MAX, INT32_MAX, &bytes));
    if (sizeof(size_t) == 4) {
        // 32768 x 32768 pixels of 4 bytes is 4 GiB: more than a 32-bit process can hold.
        EXPECT_FALSE(BufferBytes(BufferKind::PrevFrame, 32768, 32768, &bytes));
    }
    DeinterlaceInstance inst = FreshInstance();
    inst.denoiseMotion = 1;
    inst.phaseShift = 1;
    StartBuffers(&inst, Frame(INT32_MAX, INT32_MAX));
    EXPECT_EQ(inst.prevFrame, nullptr);
    EXPECT_EQ(inst.fieldFrame, nullptr);
    EXPECT_EQ(inst.motionMap, nullptr);
    EXPECT_EQ(inst.denoiseMap, nullptr);
    StartBuffers(&inst, Frame(0, 0));
    EXPECT_EQ(inst.motionMap, nullptr);
    EndBuffers(&inst);
}

TEST(Buffers, SettingsChangedBetweenStartAndEndLeakNothing) {
    // The leak checker of the sanitizer build sees any block left behind.
    DeinterlaceInstance inst = FreshInstance();
    inst.denoiseMotion = 1;
    inst.phaseShift = 1;
    StartBuffers(&inst, Frame(64, 48));
    inst.diffMode = 1;
    inst.phaseShift = 0;
    inst.denoiseMotion = 0;
    inst.motionDisabled = 1;
    EndBuffers(&inst);
    EXPECT_EQ(inst.prevFrame, nullptr);
    EXPECT_EQ(inst.fieldFrame, nullptr);
    EXPECT_EQ(inst.motionMap, nullptr);
    EXPECT_EQ(inst.denoiseMap, nullptr);

    // A second StartBuffers without EndBuffers replaces the blocks instead of leaking them.
    inst.motionDisabled = 0;
    StartBuffers(&inst, Frame(64, 48));
    StartBuffers(&inst, Frame(32, 16));
    EXPECT_TRUE(BufferFits(inst.motionMap, 32, 16));
    EXPECT_FALSE(BufferFits(inst.motionMap, 64, 48));
    EndBuffers(&inst);
}

TEST(Buffers, EnsureReplacesMissingAndMisSizedBlocks) {
    DeinterlaceInstance inst = FreshInstance();
    StartBuffers(&inst, Frame(16, 8));
    inst.denoiseMotion = 1;  // switched on after StartBuffers
    inst.swapBefore = 1;
    ASSERT_TRUE(EnsureBuffers(&inst, 20, 10));
    EXPECT_TRUE(BufferFits(inst.prevFrame, 20, 10));
    EXPECT_TRUE(BufferFits(inst.motionMap, 20, 10));
    EXPECT_TRUE(BufferFits(inst.denoiseMap, 20, 10));
    EXPECT_TRUE(BufferFits(inst.fieldFrame, 20, 10));
    EXPECT_TRUE(AllZero(inst.prevFrame, 20 * 10 * 4));
    EXPECT_TRUE(AllZero(inst.motionMap, 20 * 10));
    EXPECT_FALSE(EnsureBuffers(&inst, INT32_MAX, INT32_MAX));
    EndBuffers(&inst);
}

}  // namespace
}  // namespace velmo
