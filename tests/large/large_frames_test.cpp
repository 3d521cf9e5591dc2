// 8K frames (7680 x 4320, 33 million pixels) through RunFrame in every mode: the moving share is
// counted without overflow, so a fully moving frame is a scene change at threshold 99, and the
// odd rows are rebuilt everywhere.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/main.h"
#include "core/stages.h"

namespace velmo {
namespace {

constexpr int32_t kW = 7680;
constexpr int32_t kH = 4320;

struct Mode {
    const char* name;
    int32_t diffMode, compareColor, denoise, blend, grey, cubic, phaseShift, swapAfter;
};

constexpr Mode kModes[] = {
    {"frame colour", FrameOnly, 1, 0, 0, 0, 0, 0, 0},
    {"frame luma, cubic", FrameOnly, 0, 0, 0, 0, 1, 0, 0},
    {"frame-and-field colour, blend", FrameAndField, 1, 0, 1, 0, 0, 0, 0},
    {"frame-and-field luma, grey", FrameAndField, 0, 1, 0, 1, 0, 0, 0},
    {"field colour, denoise", FieldOnly, 1, 1, 0, 0, 0, 0, 0},
    {"frame colour, phase shift and swap", FrameOnly, 1, 0, 0, 0, 0, 1, 1},
};

TEST(LargeFrames, EightKInEveryMode) {
    const size_t pitch = static_cast<size_t>(kW) * 4;
    std::vector<uint8_t> src(pitch * kH), dst(pitch * kH);
    for (const Mode& m : kModes) {
        SCOPED_TRACE(m.name);
        DeinterlaceInstance inst;
        std::memset(&inst, 0, sizeof inst);
        InitSettings(&inst);
        inst.diffMode = m.diffMode;
        inst.compareColor = m.compareColor;
        inst.denoiseMotion = m.denoise;
        inst.blendMotion = m.blend;
        inst.showMotionOnly = m.grey;
        inst.cubicInterpolation = m.cubic;
        inst.phaseShift = m.phaseShift;
        inst.swapAfter = m.swapAfter;
        // Frame differencing against the zero previous frame sees every interior pixel move;
        // field differencing sees the comb of alternating rows in its odd rows (49 %).
        inst.sceneThreshold = m.diffMode == FieldOnly ? 49 : 99;
        Bitmap s{src.data(), kW, kH, static_cast<int32_t>(pitch)};
        StartBuffers(&inst, s);
        ASSERT_NE(inst.motionMap, nullptr);
        for (int32_t y = 0; y < kH; ++y) {
            const uint32_t value = (y & 1) ? 0x00F0F0F0u : 0x00101010u;
            uint32_t* row = reinterpret_cast<uint32_t*>(src.data() + y * pitch);
            for (int32_t x = 0; x < kW; ++x) row[x] = value;
        }
        std::memset(dst.data(), 0xAB, dst.size());
        FrameContext ctx{s, Bitmap{dst.data(), kW, kH, static_cast<int32_t>(pitch)}, 0};
        EXPECT_EQ(RunFrame(&inst, ctx), 0);

        // A scene change: every odd interior row is rebuilt from the rows around it, and no
        // still pixel is painted grey.
        const int32_t rows[] = {1, 2, kH / 2 + 1, kH - 3, kH - 2};
        for (int32_t y : rows) {
            const uint32_t* out = reinterpret_cast<const uint32_t*>(dst.data() + y * pitch);
            const uint32_t* in = reinterpret_cast<const uint32_t*>(src.data() + y * pitch);
            for (int32_t x : {0, 1, kW / 2, kW - 1}) {
                const uint32_t v = out[x];
                EXPECT_NE(v, 0x7F7F7Fu) << "row " << y << " column " << x;
                EXPECT_NE(v, 0xABABABABu) << "row " << y << " column " << x;
                if ((y & 1) && !m.blend && !m.phaseShift) {
                    EXPECT_NE(v, in[x]) << "odd row " << y << " column " << x << " not rebuilt";
                }
            }
        }
        EXPECT_TRUE(CheckSceneChange(kW * (kH - 2), kW, kH, 99));
        EXPECT_FALSE(CheckSceneChange(kW * (kH - 2), kW, kH, 100));
        EndBuffers(&inst);
    }
}

}  // namespace
}  // namespace velmo
