// Motion detection: field differencing's comb test, frame differencing's frame and field tests,
// which rows each stage writes, and the counts.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "tests/stages/frames.h"

namespace velmo::stagetest {
namespace {

// An instance with a motion map (and a previous frame) for a w x h frame, the map rows poisoned
// with 7 so that untouched bytes show.
class Detection {
public:
    Detection(int32_t w, int32_t h, int32_t diffMode, int32_t compareColor, int32_t threshold) : w_(w), h_(h) {
        inst_.d.diffMode = diffMode;
        inst_.d.compareColor = compareColor;
        inst_.d.motionThreshold = threshold;
        inst_.Start(w, h);
        std::memset(inst_.d.motionMap, 7, static_cast<size_t>(w) * h);
    }
    DeinterlaceInstance& d() { return inst_.d; }
    uint8_t map(int32_t y, int32_t x) const { return inst_.d.motionMap[static_cast<size_t>(y) * w_ + x]; }
    uint32_t& prev(int32_t y, int32_t x) { return inst_.d.prevFrame[static_cast<size_t>(y) * w_ + x]; }
    int32_t Fields(TestFrame& f) { return DiffFields(&inst_.d, f.view(), ActiveKernels()); }
    int32_t Frames(TestFrame& f, const KernelTable& k = ActiveKernels()) { return DiffFrames(&inst_.d, f.view(), k); }

private:
    int32_t w_, h_;
    Instance inst_;
};

// One odd-row pixel between its neighbours above (U) and below (D), in both forms.
TEST(DiffFields, CombTestExamples) {
    struct Case {
        const char* what;
        uint32_t u, c, d;
        int32_t threshold;
        bool colourMoves, lumaMoves;
    } cases[] = {
        {"grey 0,15,0 at 15", Grey(0), Grey(15), Grey(0), 15, false, false},
        {"grey 0,16,0 at 15", Grey(0), Grey(16), Grey(0), 15, true, true},
        {"grey 0,16,0 at -15", Grey(0), Grey(16), Grey(0), -15, true, true},
        {"grey 0,15,0 at -15", Grey(0), Grey(15), Grey(0), -15, false, false},
        {"stripe black,white,black at 254", Grey(0), Grey(255), Grey(0), 254, true, true},
        {"stripe white,black,white at 254", Grey(255), Grey(0), Grey(255), 254, true, true},
        {"stripe white,black,white at -254", Grey(255), Grey(0), Grey(255), -254, true, true},
        {"stripe black,white,black at 255", Grey(0), Grey(255), Grey(0), 255, false, false},
        {"stripe white,black,white at -255", Grey(255), Grey(0), Grey(255), -255, false, false},
        {"stripe at 256", Grey(0), Grey(255), Grey(0), 256, false, false},
        {"stripe at INT_MIN", Grey(0), Grey(255), Grey(0), INT_MIN, false, false},
        {"stripe at INT_MAX", Grey(0), Grey(255), Grey(0), INT_MAX, false, false},
        {"grey ramp 0,128,255 at 15", Grey(0), Grey(128), Grey(255), 15, false, true},
        {"grey ramp 0,128,255 at 0", Grey(0), Grey(128), Grey(255), 0, false, true},
        {"one channel combs (red)", Px(9, 9, 0), Px(9, 9, 100), Px(9, 9, 0), 15, true, true},
        {"green combs only at 0", Px(0, 10, 0), Px(0, 11, 0), Px(0, 10, 0), 0, true, true},
        {"equal neighbours at 0", Grey(40), Grey(40), Grey(40), 0, false, false},
        {"byte 3 only", Grey(40, 0), Grey(40, 0xFF), Grey(40, 0), 0, false, false},
    };
    for (const Case& c : cases) {
        for (int32_t colour : {1, 0}) {
            SCOPED_TRACE(std::string(c.what) + (colour ? ", colour" : ", luma"));
            TestFrame f(2, 3);
            f.Fill([&](int32_t y, int32_t) { return y == 0 ? c.u : (y == 1 ? c.c : c.d); });
            Detection det(2, 3, FieldOnly, colour, c.threshold);
            const bool moves = colour ? c.colourMoves : c.lumaMoves;
            EXPECT_EQ(det.Fields(f), moves ? 2 : 0);
            EXPECT_EQ(det.map(1, 0), moves ? 1 : 0);
            EXPECT_EQ(det.map(1, 1), moves ? 1 : 0);
            EXPECT_EQ(det.map(0, 0), 7);  // rows 0 and h - 1 are not written
            EXPECT_EQ(det.map(2, 1), 7);
        }
    }
}

// Alternating black and white rows: every odd interior row moves, even interior rows end at 0,
// rows 0 and h - 1 keep what they held.
TEST(DiffFields, StripesWriteOddRowsAndClearEvenRows) {
    for (int32_t h : {2, 3, 8, 9}) {
        for (int32_t colour : {0, 1}) {
            SCOPED_TRACE("h = " + std::to_string(h) + (colour ? ", colour" : ", luma"));
            const int32_t w = 5;
            TestFrame f(w, h, w * 4 + 8);
            f.Fill([](int32_t y, int32_t) { return y % 2 == 0 ? Grey(0) : Grey(255); });
            Detection det(w, h, FieldOnly, colour, 15);
            int32_t oddRows = 0;
            for (int32_t y = 1; y <= h - 2; y += 2) ++oddRows;
            EXPECT_EQ(det.Fields(f), w * oddRows);
            for (int32_t y = 0; y < h; ++y) {
                const uint8_t expected = (y == 0 || y == h - 1) ? 7 : (y % 2 == 1 ? 1 : 0);
                for (int32_t x = 0; x < w; ++x) EXPECT_EQ(det.map(y, x), expected) << y << "," << x;
            }
        }
    }
}

// The frame test against the stored previous frame: a difference equal to the threshold is still,
// one more moves, for each channel and for the luma level; byte 3 is never compared but stored.
TEST(DiffFrames, ThresholdIsStrict) {
    struct Case {
        const char* what;
        int32_t colour;
        uint32_t before, after;
        int32_t threshold;
        bool moves;
    } cases[] = {
        {"blue +15 at 15", 1, Px(100, 50, 50), Px(115, 50, 50), 15, false},
        {"blue +16 at 15", 1, Px(100, 50, 50), Px(116, 50, 50), 15, true},
        {"green -16 at 15", 1, Px(100, 50, 50), Px(100, 34, 50), 15, true},
        {"red +16 at 15", 1, Px(100, 50, 50), Px(100, 50, 66), 15, true},
        {"red +15 at 15", 1, Px(100, 50, 50), Px(100, 50, 65), 15, false},
        {"byte 3 only at 0", 1, Px(1, 2, 3, 0), Px(1, 2, 3, 0xFF), 0, false},
        {"any change at 0", 1, Px(1, 2, 3), Px(1, 3, 3), 0, true},
        {"no change at -1", 1, Px(1, 2, 3), Px(1, 2, 3), -1, true},
        {"full swing at 255", 1, Px(0, 0, 0), Px(255, 255, 255), 255, false},
        {"level 100 -> 115 at 15", 0, Grey(100), Grey(115), 15, false},
        {"level 100 -> 116 at 15", 0, Grey(100), Grey(116), 15, true},
        {"level 116 -> 100 at 15", 0, Grey(116), Grey(100), 15, true},
        {"colour shift, same level", 0, Px(0, 0, 255), Px(0, 129, 0), 0, false},  // both level 75
        {"byte 3 only, luma", 0, Grey(9, 0), Grey(9, 0xFF), 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestFrame a(1, 3), b(1, 3);
        a.Fill([&](int32_t, int32_t) { return c.before; });
        b.Fill([&](int32_t, int32_t) { return c.after; });
        Detection det(1, 3, FrameOnly, c.colour, c.threshold);
        det.Frames(a);
        EXPECT_EQ(det.Frames(b), c.moves ? 1 : 0);
        EXPECT_EQ(det.map(1, 0), c.moves ? 1 : 0);
        EXPECT_EQ(det.prev(1, 0), c.colour ? c.after : static_cast<uint32_t>((76 * ((c.after >> 16) & 255) + 150 * ((c.after >> 8) & 255) + 30 * (c.after & 255)) >> 8));
        EXPECT_EQ(det.map(0, 0), 7);
        EXPECT_EQ(det.map(2, 0), 7);
        EXPECT_EQ(det.prev(0, 0), 0u);
        EXPECT_EQ(det.prev(2, 0), 0u);
    }
}

// Frames of two rows have no interior row: nothing is written, nothing counted.
TEST(DiffFrames, TwoRowsWriteNothing) {
    for (int32_t mode : {FrameOnly, FrameAndField}) {
        TestFrame f(3, 2);
        f.Fill([](int32_t, int32_t) { return Grey(200); });
        Detection det(3, 2, mode, 1, 15);
        EXPECT_EQ(det.Frames(f), 0);
        for (int32_t y = 0; y < 2; ++y)
            for (int32_t x = 0; x < 3; ++x) {
                EXPECT_EQ(det.map(y, x), 7);
                EXPECT_EQ(det.prev(y, x), 0u);
            }
    }
}

// FrameAndField: odd rows are tested against the source row above, even rows against the row
// below as the previous call stored it (not as this call rewrites it). Frame A is black; frame B
// lights rows 2 and 3. Row 2 moves (black below in A), row 3 does not (lit above in B). With an
// even height the last interior row meets the zero row h - 1 of prevFrame.
TEST(DiffFrames, FieldTestReferences) {
    for (const KernelTable* k : AvailableKernels()) {
        for (int32_t colour : {0, 1}) {
            SCOPED_TRACE(std::string(k->name) + (colour ? ", colour" : ", luma"));
            const int32_t w = 3, h = 6;
            TestFrame a(w, h), b(w, h);
            a.Fill([](int32_t, int32_t) { return Grey(0); });
            b.Fill([](int32_t y, int32_t) { return y == 2 || y == 3 ? Grey(100) : (y == 4 ? Grey(40) : Grey(0)); });
            Detection det(w, h, FrameAndField, colour, 15);
            det.Frames(a, *k);
            EXPECT_EQ(det.Frames(b, *k), 2 * w);
            // row 1: no frame change; row 2: changed, and differs from A's row 3; row 3: changed
            // but equal to row 2 above; row 4: changed, and differs from the zero row 5.
            const uint8_t expected[] = {7, 0, 1, 0, 1, 7};
            for (int32_t y = 0; y < h; ++y)
                for (int32_t x = 0; x < w; ++x) EXPECT_EQ(det.map(y, x), expected[y]) << "row " << y;
        }
    }
}

// A pixel moves only when both the frame test and the field test find a difference.
TEST(DiffFrames, BothTestsMustFire) {
    struct Case {
        const char* what;
        uint32_t before, above, now;
        bool moves;
    } cases[] = {
        {"frame and field differ", Grey(0), Grey(0), Grey(100), true},
        {"frame differs, field equal", Grey(0), Grey(100), Grey(100), false},
        {"frame equal, field differs", Grey(100), Grey(0), Grey(100), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestFrame a(1, 3), b(1, 3);
        a.Fill([&](int32_t, int32_t) { return c.before; });
        b.Fill([&](int32_t y, int32_t) { return y == 0 ? c.above : c.now; });
        Detection det(1, 3, FrameAndField, 1, 15);
        det.Frames(a);
        EXPECT_EQ(det.Frames(b), c.moves ? 1 : 0);
    }
}

// After compareColor changes with the buffers kept, the first frame compares against words of
// the other kind: a stored pixel read as a number is far from any level (even one whose top bit
// is set), and a stored level read as a pixel is blue only.
TEST(DiffFrames, WordsOfTheOtherKind) {
    struct Case {
        const char* what;
        int32_t firstColour;
        uint32_t pixel;
        bool moves;
    } cases[] = {
        {"pixel read as a level", 1, Px(10, 200, 30), true},
        {"pixel with byte 3 set read as a level", 1, Px(10, 200, 30, 0x80), true},
        {"white with byte 3 set read as a level", 1, 0xFFFFFFFFu, true},
        {"grey level read as a pixel", 0, Grey(100), true},
        {"black level read as a pixel", 0, Grey(0), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestFrame f(1, 3);
        f.Fill([&](int32_t, int32_t) { return c.pixel; });
        Detection det(1, 3, FrameOnly, c.firstColour, 15);
        det.Frames(f);
        det.d().compareColor = 1 - c.firstColour;
        EXPECT_EQ(det.Frames(f), c.moves ? 1 : 0);
    }
}

}  // namespace
}  // namespace velmo::stagetest
