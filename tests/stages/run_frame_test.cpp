// RunFrame as a whole: what each correction class does with and without motion processing,
// small and empty frames, pitches, settings changed between frames, and the buffers.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <random>
#include <string>

#include "tests/stages/frames.h"
#include "tests/stages/model.h"

namespace velmo::stagetest {
namespace {

uint32_t Tag(int32_t y, int32_t x) { return 0x01000000u * static_cast<uint32_t>(y + 1) | static_cast<uint32_t>(y) << 8 | static_cast<uint32_t>(x); }

enum class Dst { SourcePitchCopy, PixelCopy, Corrected, Output };

// Outcome of one call by correction class and motionDisabled, on a 5 x 7 frame (odd height) with
// rows longer than their pixels. Output synthesis is recognisable: nothing moves and still
// areas are painted grey.
TEST(RunFrameOutcome, ByCorrectionClassAndMotionDisabled) {
    struct Case {
        const char* what;
        int32_t phaseShift, swapBefore, swapAfter, motionDisabled;
        Dst dst;
        bool sourceCorrected, fieldFrameUsed, stagesRun;
    } cases[] = {
        {"none, motion off", 0, 0, 0, 1, Dst::SourcePitchCopy, false, false, false},
        {"none, motion on", 0, 0, 0, 0, Dst::Output, false, false, true},
        {"cancelling swaps, motion off", 0, 1, 1, 1, Dst::PixelCopy, false, false, false},
        {"cancelling swaps, motion on", 0, 1, 1, 0, Dst::Output, false, false, true},
        {"swap, motion off", 0, 1, 0, 1, Dst::Corrected, false, true, false},
        {"swap, motion on", 0, 1, 0, 0, Dst::Output, true, true, true},
        {"shift, motion off", 1, 0, 0, 1, Dst::Corrected, false, true, false},
        {"shift, motion on", 1, 0, 0, 0, Dst::Output, true, true, true},
    };
    const int32_t w = 5, h = 7;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Instance inst;
        inst.d.phaseShift = c.phaseShift;
        inst.d.swapBefore = c.swapBefore;
        inst.d.swapAfter = c.swapAfter;
        inst.d.motionDisabled = c.motionDisabled;
        inst.d.showMotionOnly = 1;
        inst.d.motionThreshold = 1000;
        inst.Start(w, h);
        if (inst.d.motionMap) std::memset(inst.d.motionMap + w, 7, static_cast<size_t>(w) * (h - 2));
        TestFrame src(w, h, w * 4 + 12, 0x3C), dst(w, h, w * 4 + 16);
        src.Fill(Tag);
        // The corrected frame of both correcting cases on frame 0: the swap exchanges each pair,
        // the shift repeats each even row; the odd height's last row stays.
        auto corrected = [&](int32_t y, int32_t x) {
            if (y == h - 1) return Tag(y, x);
            return c.phaseShift ? Tag(y / 2 * 2, x) : Tag(y ^ 1, x);
        };
        EXPECT_EQ(inst.Run(src, dst, 0), 0);
        for (int32_t y = 0; y < h; ++y) {
            for (int32_t x = 0; x < w; ++x) {
                uint32_t expected = 0;
                switch (c.dst) {
                    case Dst::SourcePitchCopy:
                    case Dst::PixelCopy: expected = Tag(y, x); break;
                    case Dst::Corrected: expected = corrected(y, x); break;
                    case Dst::Output:
                        expected = (y == 0 || y == h - 1) ? (c.sourceCorrected ? corrected(y, x) : Tag(y, x)) : 0x7F7F7Fu;
                        break;
                }
                EXPECT_EQ(dst.at(y, x), expected) << "destination (" << y << ", " << x << ")";
                EXPECT_EQ(src.at(y, x), c.sourceCorrected ? corrected(y, x) : Tag(y, x)) << "source (" << y << ", " << x << ")";
            }
        }
        // Bytes beyond the pixels: only the plain copy without switches moves them (up to the
        // source pitch, which is the smaller here).
        const uint8_t* dstBytes = dst.bytes().data();
        for (int32_t y = 0; y < h; ++y) {
            for (int32_t i = w * 4; i < dst.pitch(); ++i) {
                const uint8_t expected = (c.dst == Dst::SourcePitchCopy && i < src.pitch()) ? 0x3C : kPad;
                ASSERT_EQ(dstBytes[static_cast<size_t>(y) * dst.pitch() + i], expected) << "row " << y << " byte " << i;
            }
        }
        EXPECT_TRUE(src.PaddingIntact());
        EXPECT_EQ(inst.d.fieldFrame != nullptr, c.fieldFrameUsed);
        if (c.fieldFrameUsed) {
            for (int32_t y = 1; y < h - 1; y += 2)
                EXPECT_EQ(inst.d.fieldFrame[static_cast<size_t>(y) * w], Tag(y, 0)) << "fieldFrame keeps the odd rows";
        }
        if (inst.d.motionMap) {
            EXPECT_EQ(inst.d.motionMap[w], c.stagesRun ? 0 : 7);
        }
    }
}

// Heights 0 to 3 and 7, with and without motion processing: what reaches the destination.
TEST(RunFrameGeometry, SmallAndEmptyFrames) {
    struct Case {
        int32_t w, h;
        int32_t motionDisabled, swapBefore;
        const char* expect;  // per row: 's' source, 'g' grey, 'u' untouched, 'x' swapped pair
    } cases[] = {
        {4, 0, 0, 0, ""},      {4, 0, 1, 1, ""},      {4, 1, 0, 0, "u"},    {4, 1, 1, 0, "s"},
        {4, 1, 0, 1, "s"},     {4, 2, 0, 0, "ss"},    {4, 2, 1, 1, "xx"},   {4, 3, 0, 0, "sgs"},
        {4, 3, 0, 1, "xgs"},   {4, 7, 0, 0, "sgggggs"}, {4, 7, 1, 1, "xxxxxxs"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h) + (c.motionDisabled ? " motion off" : " motion on") +
                     (c.swapBefore ? " swap" : ""));
        Instance inst;
        inst.d.motionDisabled = c.motionDisabled;
        inst.d.swapBefore = c.swapBefore;
        inst.d.showMotionOnly = 1;
        inst.d.motionThreshold = 1000;
        inst.Start(c.w, c.h);
        TestFrame src(c.w, c.h), dst(c.w, c.h);
        src.Fill(Tag);
        dst.Fill([](int32_t, int32_t) { return 0xEEEEEEEEu; });
        EXPECT_EQ(inst.Run(src, dst, 0), 0);
        for (int32_t y = 0; y < c.h; ++y) {
            for (int32_t x = 0; x < c.w; ++x) {
                uint32_t expected = 0;
                switch (c.expect[y]) {
                    case 's': expected = Tag(y, x); break;
                    case 'g': expected = 0x7F7F7Fu; break;
                    case 'u': expected = 0xEEEEEEEEu; break;
                    case 'x': expected = Tag(y ^ 1, x); break;
                }
                EXPECT_EQ(dst.at(y, x), expected) << "(" << y << ", " << x << ")";
            }
        }
    }
}

// Zero or negative sizes: nothing is read or written (null pixel pointers would crash).
TEST(RunFrameGeometry, NoPixelsNothingTouched) {
    for (const Bitmap b : {Bitmap{nullptr, 0, 5, 0}, Bitmap{nullptr, 5, 0, 20}, Bitmap{nullptr, -3, 4, 16},
                           Bitmap{nullptr, 4, -2, 16}}) {
        for (int32_t disabled : {0, 1}) {
            Instance inst;
            inst.d.motionDisabled = disabled;
            inst.d.phaseShift = 1;
            FrameContext ctx{b, b, 3};
            EXPECT_EQ(RunFrame(&inst.d, ctx), 0);
            EXPECT_EQ(inst.d.motionMap, nullptr) << "nothing acquired for an empty frame";
        }
    }
}

// The plain copy without switches takes each row's bytes up to the source pitch, but never more
// than the destination pitch; the rows keep their places at each bitmap's own pitch.
TEST(RunFramePitch, PlainCopyRespectsBothPitches) {
    struct Case {
        int32_t srcPadding, dstPadding;
    } cases[] = {{0, 0}, {8, 8}, {12, 4}, {4, 12}, {0, 8}, {8, 0}};
    const int32_t w = 3, h = 5;
    for (const Case& c : cases) {
        SCOPED_TRACE("padding " + std::to_string(c.srcPadding) + " / " + std::to_string(c.dstPadding));
        Instance inst;
        inst.d.motionDisabled = 1;
        inst.Start(w, h);
        TestFrame src(w, h, w * 4 + c.srcPadding, 0x3C), dst(w, h, w * 4 + c.dstPadding);
        src.Fill(Tag);
        inst.Run(src, dst, 0);
        EXPECT_EQ(dst.Pixels(), src.Pixels());
        const int32_t copied = std::min(c.srcPadding, c.dstPadding);
        for (int32_t y = 0; y < h; ++y)
            for (int32_t i = 0; i < c.dstPadding; ++i)
                EXPECT_EQ(dst.bytes()[static_cast<size_t>(y) * dst.pitch() + w * 4 + i], i < copied ? 0x3C : kPad)
                    << "row " << y << " padding byte " << i;
    }
}

// Settings that enter the buffer conditions, or the frame size, change between frames without a
// new StartBuffers. Every frame still matches the model run with the same changes (a buffer
// acquired late starts as StartBuffers would make it; a new size starts afresh).
TEST(RunFrameSettingsChange, BuffersFollowTheSettings) {
    struct Change {
        int32_t atCall;
        void (*apply)(DeinterlaceInstance&);
    };
    struct Case {
        const char* what;
        void (*start)(DeinterlaceInstance&);
        Change change;
    } cases[] = {
        {"denoise switched on", [](DeinterlaceInstance&) {}, {2, [](DeinterlaceInstance& d) { d.denoiseMotion = 1; }}},
        {"phase shift switched on", [](DeinterlaceInstance&) {}, {2, [](DeinterlaceInstance& d) { d.phaseShift = 1; }}},
        {"one swap switched on", [](DeinterlaceInstance&) {}, {1, [](DeinterlaceInstance& d) { d.swapAfter = 1; }}},
        {"field to frame differencing", [](DeinterlaceInstance& d) { d.diffMode = FieldOnly; },
         {2, [](DeinterlaceInstance& d) { d.diffMode = FrameAndField; }}},
        {"motion processing switched on", [](DeinterlaceInstance& d) { d.motionDisabled = 1; },
         {1, [](DeinterlaceInstance& d) { d.motionDisabled = 0; }}},
        {"denoise and shift switched off", [](DeinterlaceInstance& d) { d.denoiseMotion = 1; d.phaseShift = 1; },
         {2, [](DeinterlaceInstance& d) { d.denoiseMotion = 0; d.phaseShift = 0; }}},
    };
    const int32_t w = 14, h = 11;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Instance inst;
        c.start(inst.d);
        inst.d.motionThreshold = 20;
        inst.Start(w, h);
        std::mt19937 rng(5);
        FrameModel model(inst.d, w, h);
        for (int32_t f = 0; f < 5; ++f) {
            if (f == c.change.atCall) {
                c.change.apply(inst.d);
                model.SetSettings(inst.d);
            }
            TestFrame src(w, h, w * 4 + 8), dst(w, h);
            src.Fill([&](int32_t y, int32_t x) { return x < w / 2 ? Tag(y, x) * 7919u : static_cast<uint32_t>(rng()); });
            std::vector<uint32_t> expectedSrc = src.Pixels(), expected = dst.Pixels();
            model.Run(expectedSrc, expected, f);
            EXPECT_EQ(inst.Run(src, dst, f), 0);
            ASSERT_TRUE(SamePlane(expected, dst.Pixels(), w)) << "call " << f;
        }
    }
}

// A frame of another size without a new StartBuffers: every buffer is re-acquired for it and the
// call behaves as the first call after StartBuffers.
TEST(RunFrameSettingsChange, FrameSizeChange) {
    for (int32_t shift : {0, 1}) {
        Instance inst;
        inst.d.phaseShift = shift;
        inst.d.denoiseMotion = 1;
        inst.d.diffMode = FrameAndField;
        inst.Start(8, 6);
        TestFrame small(8, 6), smallDst(8, 6);
        small.Fill([](int32_t y, int32_t x) { return Tag(y, x) * 31u; });
        inst.Run(small, smallDst, 0);
        inst.Run(small, smallDst, 1);
        for (auto [w, h] : {std::pair<int32_t, int32_t>{20, 13}, {3, 30}}) {
            TestFrame big(w, h), bigDst(w, h);
            big.Fill([](int32_t y, int32_t x) { return Tag(y, x) * 131u; });
            Instance fresh;
            fresh.d = inst.d;
            fresh.d.prevFrame = nullptr;
            fresh.d.fieldFrame = nullptr;
            fresh.d.motionMap = nullptr;
            fresh.d.denoiseMap = nullptr;
            fresh.Start(w, h);
            TestFrame big2(w, h), freshDst(w, h);
            big2.SetPixels(big.Pixels());
            inst.Run(big, bigDst, 2);
            fresh.Run(big2, freshDst, 0);
            EXPECT_TRUE(SamePlane(freshDst.Pixels(), bigDst.Pixels(), w));
            for (int k = 0; k < kBufferKinds; ++k) {
                const BufferKind kind = static_cast<BufferKind>(k);
                if (BufferNeeded(inst.d, kind)) {
                    EXPECT_TRUE(BufferFits(BufferSlot(inst.d, kind), w, h));
                }
            }
        }
    }
}

// In the normal path RunFrame acquires nothing: the buffers stay where StartBuffers put them.
TEST(RunFrameBuffers, SteadySettingsKeepTheBuffers) {
    Instance inst;
    inst.d.phaseShift = 1;
    inst.d.denoiseMotion = 1;
    inst.Start(9, 8);
    const DeinterlaceInstance before = inst.d;
    for (int32_t f = 0; f < 4; ++f) {
        TestFrame src(9, 8), dst(9, 8);
        src.Fill([&](int32_t y, int32_t x) { return Tag(y, x + f); });
        inst.Run(src, dst, f);
    }
    EXPECT_EQ(inst.d.prevFrame, before.prevFrame);
    EXPECT_EQ(inst.d.fieldFrame, before.fieldFrame);
    EXPECT_EQ(inst.d.motionMap, before.motionMap);
    EXPECT_EQ(inst.d.denoiseMap, before.denoiseMap);
}

}  // namespace
}  // namespace velmo::stagetest
