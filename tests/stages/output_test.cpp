// Output synthesis: the pixel operations, which rows each mode rebuilds, where cubic applies,
// and which bytes are written.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "tests/stages/frames.h"

namespace velmo::stagetest {
namespace {

struct OutputSetup {
    int32_t blend = 0, grey = 0, cubic = 0;
};

// Runs the output stage alone on src with an instance whose motion map the caller may fill.
class OutputStage {
public:
    OutputStage(int32_t w, int32_t h, OutputSetup s) : w_(w) {
        inst_.d.blendMotion = s.blend;
        inst_.d.showMotionOnly = s.grey;
        inst_.d.cubicInterpolation = s.cubic;
        inst_.Start(w, h);
        inst_.mapWidth = w;
    }
    uint8_t& map(int32_t y, int32_t x) { return inst_.map(y, x); }
    void Write(TestFrame& src, TestFrame& dst, bool sceneChange, const KernelTable& k = ActiveKernels()) {
        WriteOutputFrame(ContextOf(src, dst), inst_.d, sceneChange, k);
    }

private:
    int32_t w_;
    Instance inst_;
};

// Per channel: the linear and blend examples, on all three channels at once, byte 3 of the
// neighbours set so that a mask that let it through would show.
TEST(OutputPixels, LinearAndBlendExamples) {
    struct Case {
        const char* what;
        int32_t blend;
        int32_t above, centre, below;
        int32_t expected;
    } cases[] = {
        {"linear 255/255", 0, 255, 0, 255, 254},
        {"linear 1/1", 0, 1, 0, 1, 0},
        {"linear 255/0", 0, 255, 0, 0, 127},
        {"linear 0/255", 0, 0, 0, 255, 127},
        {"blend 255/255/255", 1, 255, 255, 255, 253},
        {"blend 0/255/0", 1, 0, 255, 0, 127},
        {"blend 3/0/3", 1, 3, 0, 3, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestFrame src(1, 3), dst(1, 3);
        src.at(0, 0) = Grey(c.above, 0xFF);
        src.at(1, 0) = Grey(c.centre, 0xFF);
        src.at(2, 0) = Grey(c.below, 0xFF);
        dst.Fill([](int32_t, int32_t) { return 0xEEEEEEEEu; });
        OutputStage stage(1, 3, {c.blend, 0, 0});
        stage.Write(src, dst, /*sceneChange=*/true);
        EXPECT_EQ(dst.at(1, 0), Grey(c.expected, 0)) << std::hex << dst.at(1, 0);
        EXPECT_EQ(dst.at(0, 0), src.at(0, 0));
        EXPECT_EQ(dst.at(2, 0), src.at(2, 0));
    }
}

// Cubic on the one row of a 7-row frame where it applies (row 3, taps on rows 0, 2, 4, 6), each
// channel with its own example; byte 3 of the destination is left as it was.
TEST(OutputPixels, CubicExamples) {
    struct Channel {
        int32_t inner, outer, expected;
    };
    struct Case {
        const char* what;
        Channel blue, green, red;
    } cases[] = {
        {"equal values", {0, 0, 0}, {77, 77, 77}, {255, 255, 255}},
        {"clamps at both ends", {0, 255, 0}, {255, 0, 255}, {100, 101, 99}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestFrame src(1, 7), dst(1, 7);
        const uint32_t inner = Px(c.blue.inner, c.green.inner, c.red.inner, 0x11);
        const uint32_t outer = Px(c.blue.outer, c.green.outer, c.red.outer, 0x22);
        src.Fill([&](int32_t y, int32_t) { return y == 2 || y == 4 ? inner : (y == 0 || y == 6 ? outer : Grey(9, 0x33)); });
        dst.Fill([](int32_t, int32_t) { return 0xEE000000u; });
        OutputStage stage(1, 7, {0, 0, 1});
        stage.Write(src, dst, true);
        EXPECT_EQ(dst.at(3, 0), Px(c.blue.expected, c.green.expected, c.red.expected, 0xEE)) << std::hex << dst.at(3, 0);
    }
}

// 5 * (inner + inner) - (outer + outer), divided by 8 rounding down, clamped to 0..255.
TEST(OutputPixels, CubicDividesByEightAndClamps) {
    struct Case {
        int32_t inner, outer, expected;
    } cases[] = {
        {100, 101, 99},   // 798 / 8 = 99.75
        {17, 3, 20},      // 164 / 8 = 20.5
        {1, 4, 0},        // 2 / 8
        {1, 6, 0},        // -2: below zero
        {200, 160, 210},  // 1680 / 8
        {203, 0, 253},    // 2030 / 8 = 253.75
        {255, 0, 255},    // 2550 / 8 = 318: above 255
    };
    for (const Case& c : cases) {
        TestFrame src(1, 7), dst(1, 7);
        src.Fill([&](int32_t y, int32_t) { return Grey(y == 2 || y == 4 ? c.inner : (y == 0 || y == 6 ? c.outer : 0)); });
        OutputStage stage(1, 7, {0, 0, 1});
        stage.Write(src, dst, true);
        EXPECT_EQ(dst.at(3, 0) & 0xFFFFFFu, Grey(c.expected)) << "inner " << c.inner << " outer " << c.outer;
    }
}

// Which odd rows use cubic: those with 2 < y < h - 3; the others near the edges use linear.
// Even rows of the source hold y * y, so that cubic and linear give different values.
TEST(OutputPixels, CubicOnlyWhereAllFourTapsExist) {
    struct Case {
        int32_t h;
        std::vector<int32_t> cubicRows;
    } cases[] = {
        {6, {}},
        {7, {3}},
        {8, {3}},
        {9, {3, 5}},
        {10, {3, 5}},
        {13, {3, 5, 7, 9}},
    };
    auto even = [](int32_t y) { return y * y; };
    for (const Case& c : cases) {
        SCOPED_TRACE("h = " + std::to_string(c.h));
        TestFrame src(2, c.h), dst(2, c.h);
        src.Fill([&](int32_t y, int32_t) { return y % 2 == 0 ? Grey(even(y)) : Grey(255); });
        OutputStage stage(2, c.h, {0, 0, 1});
        stage.Write(src, dst, true);
        for (int32_t y = 1; y <= c.h - 2; y += 2) {
            const bool cubic = std::find(c.cubicRows.begin(), c.cubicRows.end(), y) != c.cubicRows.end();
            const int32_t expected = cubic ? (5 * (even(y - 1) + even(y + 1)) - even(y - 3) - even(y + 3)) / 8
                                           : even(y - 1) / 2 + even(y + 1) / 2;
            EXPECT_EQ(dst.at(y, 1) & 0xFFFFFFu, Grey(expected)) << "row " << y << (cubic ? " (cubic)" : " (linear)");
        }
    }
}

// One moving map byte at (6, 2) in a 5 x 12 frame whose even rows are 200 and odd rows 10.
// Column 2 of rows 5, 6 and 7 moves; what each mode writes there and elsewhere.
TEST(OutputModes, WhatEachModeWritesAroundOneMovingByte) {
    const uint32_t evenPx = Grey(200, 0x40), oddPx = Grey(10, 0x80);
    const uint32_t grey = 0x7F7F7Fu;
    struct Case {
        const char* what;
        OutputSetup setup;
        uint32_t still[2];      // expected still pixel in [even row, odd row]
        uint32_t moving[2];     // expected moving pixel in [even row, odd row]
    } cases[] = {
        {"interpolating", {0, 0, 0}, {evenPx, oddPx}, {evenPx, Grey(200)}},
        {"blending", {1, 0, 0}, {evenPx, oddPx}, {Grey(104), Grey(105)}},
        {"grey interpolating", {0, 1, 0}, {grey, grey}, {evenPx, Grey(200)}},
        {"grey blending", {1, 1, 0}, {grey, grey}, {Grey(104), Grey(105)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const int32_t w = 5, h = 12;
        TestFrame src(w, h), dst(w, h);
        src.Fill([&](int32_t y, int32_t) { return y % 2 == 0 ? evenPx : oddPx; });
        OutputStage stage(w, h, c.setup);
        stage.map(6, 2) = 1;
        stage.Write(src, dst, false);
        for (int32_t y = 0; y < h; ++y) {
            for (int32_t x = 0; x < w; ++x) {
                uint32_t expected;
                if (y == 0 || y == h - 1) {
                    expected = src.at(y, x);
                } else if (x == 2 && y >= 5 && y <= 7) {
                    expected = c.moving[y % 2];
                } else {
                    expected = c.still[y % 2];
                }
                EXPECT_EQ(dst.at(y, x), expected) << "at (" << y << ", " << x << ")";
            }
        }
    }
}

// Map rows 0 and h - 1 (written only by denoising) steer output rows 1 and h - 2.
TEST(OutputModes, EdgeMapRowsSteerTheirNeighbours) {
    const int32_t w = 3, h = 6;
    TestFrame src(w, h), dst(w, h);
    src.Fill([](int32_t y, int32_t) { return y % 2 == 0 ? Grey(100) : Grey(0); });
    OutputStage stage(w, h, {1, 0, 0});
    stage.map(0, 0) = 1;
    stage.map(h - 1, 2) = 1;
    stage.Write(src, dst, false);
    EXPECT_EQ(dst.at(1, 0), Grey(50));       // blended: 25 + 25 + 0
    EXPECT_EQ(dst.at(1, 1), Grey(0));        // still
    EXPECT_EQ(dst.at(h - 2, 2), Grey(50));   // blended: 0 + 0 + 50
    EXPECT_EQ(dst.at(h - 2, 1), Grey(100));  // still
}

// With nothing moving and no scene change, the interpolating mode gives the source back, byte 3
// included; a scene change makes every pixel of rows 1 to h - 2 move, so nothing is grey.
TEST(OutputModes, EmptyMapAndSceneChange) {
    std::mt19937 rng(7);
    const int32_t w = 9, h = 11;
    TestFrame src(w, h);
    src.Fill([&](int32_t, int32_t) { return static_cast<uint32_t>(rng()); });
    {
        TestFrame dst(w, h);
        OutputStage stage(w, h, {0, 0, 0});
        stage.Write(src, dst, false);
        EXPECT_EQ(dst.Pixels(), src.Pixels());
    }
    {
        TestFrame dst(w, h);
        OutputStage stage(w, h, {0, 1, 0});
        stage.Write(src, dst, true);
        for (int32_t y = 0; y < h; ++y) {
            for (int32_t x = 0; x < w; ++x) {
                if (y % 2 == 0) {
                    EXPECT_EQ(dst.at(y, x), src.at(y, x)) << y << "," << x;
                } else if (y < h - 1) {
                    const uint32_t a = src.at(y - 1, x), b = src.at(y + 1, x);
                    EXPECT_EQ(dst.at(y, x), ((a & 0xFEFEFEu) >> 1) + ((b & 0xFEFEFEu) >> 1)) << y << "," << x;
                }
            }
        }
    }
}

// Two rows: both are copied; the map is not consulted (here it does not even exist).
TEST(OutputModes, TwoRowsAreCopied) {
    TestFrame src(4, 2), dst(4, 2);
    src.Fill([](int32_t y, int32_t x) { return Px(x, y, 7, 0x99); });
    DeinterlaceInstance inst{};
    InitSettings(&inst);
    inst.blendMotion = 1;
    inst.showMotionOnly = 1;
    WriteOutputFrame(ContextOf(src, dst), inst, false, ActiveKernels());
    EXPECT_EQ(dst.Pixels(), src.Pixels());
}

// Rows of different pitches, both longer than their pixels: the destination's bytes beyond the
// pixels keep their pad, and the source's are never read (changing them changes nothing).
TEST(OutputModes, BytesBeyondThePixelsAreNeitherReadNorWritten) {
    for (const OutputSetup setup : {OutputSetup{0, 0, 0}, OutputSetup{1, 0, 0}, OutputSetup{0, 1, 1}, OutputSetup{1, 1, 0}}) {
        const int32_t w = 13, h = 16;
        std::vector<uint32_t> first;
        for (uint8_t srcPad : {0x00, 0xFF}) {
            std::mt19937 rng(3);
            TestFrame src(w, h, w * 4 + 20, srcPad), dst(w, h, w * 4 + 36);
            src.Fill([&](int32_t, int32_t) { return static_cast<uint32_t>(rng()); });
            OutputStage stage(w, h, setup);
            for (int32_t y = 0; y < h; ++y)
                for (int32_t x = 0; x < w; ++x) stage.map(y, x) = (rng() % 5 == 0) ? 1 : 0;
            stage.Write(src, dst, false);
            EXPECT_TRUE(dst.PaddingIntact());
            EXPECT_TRUE(src.PaddingIntact());
            if (first.empty()) {
                first = dst.Pixels();
            } else {
                EXPECT_EQ(dst.Pixels(), first) << "the source padding changed the output";
            }
        }
    }
}

}  // namespace
}  // namespace velmo::stagetest
