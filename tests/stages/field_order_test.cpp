// Field swaps and the phase shift, seen through RunFrame with motion processing off (the
// destination then holds the corrected frame), and the rule that a fieldFrame nobody has written
// is never read.
#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "tests/stages/frames.h"

namespace velmo::stagetest {
namespace {

// Pixel (y, x) of clip frame f tells where it came from.
uint32_t Tag(int32_t f, int32_t y, int32_t x) { return static_cast<uint32_t>(f) << 16 | static_cast<uint32_t>(y) << 8 | static_cast<uint32_t>(x); }

struct From {
    bool previous;   // from the frame of the previous call rather than the current one
    int32_t offset;  // row 2k + offset
};

struct ShiftCase {
    const char* what;
    int32_t phaseShift, swapBefore, swapAfter;
    From even, odd;          // destination rows 2k and 2k + 1
    int32_t firstFrameRow;   // on frame 0 both rows of pair k are current row 2k + this
};

const ShiftCase kCases[] = {
    {"swap before", 0, 1, 0, {false, 1}, {false, 0}, -1},
    {"swap after", 0, 0, 1, {false, 1}, {false, 0}, -1},
    {"shift", 1, 0, 0, {true, 1}, {false, 0}, 0},
    {"swap, shift", 1, 1, 0, {true, 0}, {false, 1}, 1},
    {"shift, swap", 1, 0, 1, {false, 0}, {true, 1}, 0},
    {"swap, shift, swap", 1, 1, 1, {false, 1}, {true, 0}, 1},
};

void PrintTo(const ShiftCase& c, std::ostream* os) { *os << c.what; }

class FieldOrder : public ::testing::TestWithParam<ShiftCase> {};

// Frames 0, 1, 2 in order, for even and odd heights. An odd height's last row passes through.
TEST_P(FieldOrder, FramesZeroOneTwo) {
    const ShiftCase& c = GetParam();
    for (int32_t h : {8, 7, 2}) {
        const int32_t w = 3;
        SCOPED_TRACE(std::string(c.what) + ", h = " + std::to_string(h));
        Instance inst;
        inst.d.phaseShift = c.phaseShift;
        inst.d.swapBefore = c.swapBefore;
        inst.d.swapAfter = c.swapAfter;
        inst.d.motionDisabled = 1;
        inst.Start(w, h);
        for (int32_t f = 0; f < 3; ++f) {
            TestFrame src(w, h, w * 4 + 4), dst(w, h, w * 4 + 8);
            src.Fill([&](int32_t y, int32_t x) { return Tag(f, y, x); });
            const std::vector<uint32_t> before = src.Pixels();
            EXPECT_EQ(inst.Run(src, dst, f), 0);
            EXPECT_EQ(src.Pixels(), before) << "the source is not written";
            EXPECT_TRUE(dst.PaddingIntact());
            for (int32_t y = 0; y < h; ++y) {
                const int32_t k = y / 2;
                uint32_t expected;
                if (y == h - 1 && h % 2 == 1) {
                    expected = Tag(f, y, 0);
                } else if (f == 0 && c.firstFrameRow >= 0) {
                    expected = Tag(0, 2 * k + c.firstFrameRow, 0);
                } else {
                    const From& from = y % 2 == 0 ? c.even : c.odd;
                    expected = Tag(from.previous ? f - 1 : f, 2 * k + from.offset, 0);
                }
                EXPECT_EQ(dst.at(y, 0), expected) << "frame " << f << ", row " << y << std::hex << ": 0x" << dst.at(y, 0);
                EXPECT_EQ(dst.at(y, 2), expected | 2u) << "frame " << f << ", row " << y;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, FieldOrder, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<ShiftCase>& info) {
                             std::string name;
                             for (const char* p = info.param.what; *p; ++p)
                                 if (std::isalnum(static_cast<unsigned char>(*p))) name += *p;
                             return name;
                         });

// With motion processing on, the corrected frame is what detection and output see: the source
// holds it after the call, and an all-still interpolated output equals it.
TEST(FieldOrderWithMotion, SourceHoldsTheCorrectedFrame) {
    for (const ShiftCase& c : kCases) {
        SCOPED_TRACE(c.what);
        const int32_t w = 4, h = 9;
        Instance off, on;
        for (Instance* inst : {&off, &on}) {
            inst->d.phaseShift = c.phaseShift;
            inst->d.swapBefore = c.swapBefore;
            inst->d.swapAfter = c.swapAfter;
            inst->d.motionThreshold = 300;  // nothing moves
            inst->Start(w, h);
        }
        off.d.motionDisabled = 1;
        for (int32_t f = 0; f < 3; ++f) {
            TestFrame src1(w, h), dst1(w, h), src2(w, h, w * 4 + 12), dst2(w, h);
            src1.Fill([&](int32_t y, int32_t x) { return Tag(f, y, x); });
            src2.SetPixels(src1.Pixels());
            off.Run(src1, dst1, f);
            on.Run(src2, dst2, f);
            EXPECT_EQ(src2.Pixels(), dst1.Pixels()) << "frame " << f;
            EXPECT_EQ(dst2.Pixels(), dst1.Pixels()) << "frame " << f;
        }
    }
}

// fieldFrame is not cleared when acquired. Whatever it holds then never reaches the picture: a
// phase shift whose kept rows no call has written yet acts as on frame 0, whatever the frame
// number. Rows a plain swap wrote are the previous frame's rows and are used.
TEST(FieldOrderFreshBuffer, UnwrittenRowsAreNeverRead) {
    struct Step {
        int32_t phaseShift, swapBefore, swapAfter;
        int32_t sourceFrame;
    };
    struct Case {
        const char* what;
        std::vector<Step> steps;
        // Destination of the last step, rows 0 and 1 (frames are numbered by step).
        uint32_t row0, row1;
    } cases[] = {
        {"first shift call at frame 5", {{1, 0, 0, 5}}, Tag(0, 0, 0), Tag(0, 0, 0)},
        {"first swap-shift call at frame 5", {{1, 1, 0, 5}}, Tag(0, 1, 0), Tag(0, 1, 0)},
        {"second shift call uses the first", {{1, 0, 0, 5}, {1, 0, 0, 6}}, Tag(0, 1, 0), Tag(1, 0, 0)},
        {"shift after a swap reads the swap's odd rows", {{0, 1, 0, 5}, {1, 0, 0, 6}}, Tag(0, 1, 0), Tag(1, 0, 0)},
        {"swap-shift after a swap: even rows never written", {{0, 1, 0, 5}, {1, 1, 0, 6}}, Tag(1, 1, 0), Tag(1, 1, 0)},
        {"swap-shift after a shift: even rows never written", {{1, 0, 0, 5}, {1, 1, 0, 6}}, Tag(1, 1, 0), Tag(1, 1, 0)},
        {"then the next swap-shift uses it", {{1, 0, 0, 5}, {1, 1, 0, 6}, {1, 1, 0, 7}}, Tag(1, 0, 0), Tag(2, 1, 0)},
        {"shift-swap-shift after a shift-swap", {{1, 0, 1, 5}, {1, 1, 1, 6}}, Tag(1, 1, 0), Tag(1, 1, 0)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const int32_t w = 2, h = 4;
        Instance inst;
        inst.d.motionDisabled = 1;
        inst.d.phaseShift = 1;
        inst.Start(w, h);
        std::memset(inst.d.fieldFrame, 0xCD, static_cast<size_t>(w) * h * 4);  // what malloc may leave
        TestFrame dst(w, h);
        for (size_t i = 0; i < c.steps.size(); ++i) {
            const Step& s = c.steps[i];
            inst.d.phaseShift = s.phaseShift;
            inst.d.swapBefore = s.swapBefore;
            inst.d.swapAfter = s.swapAfter;
            TestFrame src(w, h);
            src.Fill([&](int32_t y, int32_t x) { return Tag(static_cast<int32_t>(i), y, x); });
            inst.Run(src, dst, s.sourceFrame);
        }
        EXPECT_EQ(dst.at(0, 0), c.row0) << std::hex << dst.at(0, 0);
        EXPECT_EQ(dst.at(1, 0), c.row1) << std::hex << dst.at(1, 0);
        for (uint32_t p : dst.Pixels()) EXPECT_NE(p, 0xCDCDCDCDu);
    }
}

// A new frame size re-acquires fieldFrame; the first call after that acts as frame 0 again.
TEST(FieldOrderFreshBuffer, NewFrameSizeStartsAgain) {
    Instance inst;
    inst.d.phaseShift = 1;
    inst.d.motionDisabled = 1;
    inst.Start(2, 4);
    TestFrame a(2, 4), da(2, 4);
    a.Fill([](int32_t y, int32_t x) { return Tag(0, y, x); });
    inst.Run(a, da, 0);
    TestFrame b(3, 6), db(3, 6);
    b.Fill([](int32_t y, int32_t x) { return Tag(1, y, x); });
    inst.Run(b, db, 1);
    EXPECT_TRUE(BufferFits(inst.d.fieldFrame, 3, 6));
    for (int32_t y = 0; y < 6; ++y) EXPECT_EQ(db.at(y, 1), Tag(1, y / 2 * 2, 1)) << "row " << y;
}

// A frame of one row has no pair: nothing is corrected, the row passes through.
TEST(FieldOrder, OneRowPassesThrough) {
    for (const ShiftCase& c : kCases) {
        for (int32_t disabled : {0, 1}) {
            SCOPED_TRACE(std::string(c.what) + (disabled ? ", motion off" : ", motion on"));
            Instance inst;
            inst.d.phaseShift = c.phaseShift;
            inst.d.swapBefore = c.swapBefore;
            inst.d.swapAfter = c.swapAfter;
            inst.d.motionDisabled = disabled;
            inst.Start(5, 1);
            TestFrame src(5, 1), dst(5, 1);
            src.Fill([](int32_t y, int32_t x) { return Tag(3, y, x); });
            inst.Run(src, dst, 4);
            EXPECT_EQ(dst.Pixels(), src.Pixels());
        }
    }
}

}  // namespace
}  // namespace velmo::stagetest
