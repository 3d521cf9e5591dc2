// The whole frame pipeline on random frames and settings: frame sizes 0 x 0 to 64 x 64, pitches
// of at least the row, any values in all twelve settings (written straight into the record), and
// settings and frame-size changes between frames without a new StartBuffers. The fastest kernels
// must give exactly what the reference kernels give, and nothing may land outside the frames.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/buffers.h"
#include "core/kernels.h"
#include "core/main.h"
#include "core/stages.h"
#include "fuzz_input.h"

namespace {

using velmo::Bitmap;
using velmo::DeinterlaceInstance;
using velmo::FrameContext;

constexpr uint8_t kPad = 0xC3;

void Settle(DeinterlaceInstance& a, velmo::fuzz::Input& in) {
    int32_t* s = &a.showMotionOnly;
    for (int i = 0; i < 12; ++i) s[i] = in.Setting();
}

void CopySettings(const DeinterlaceInstance& from, DeinterlaceInstance& to) {
    std::memcpy(&to.showMotionOnly, &from.showMotionOnly, 12 * sizeof(int32_t));
}

struct Frame {
    std::vector<uint8_t> bytes;
    Bitmap view;
};

Frame MakeFrame(int32_t w, int32_t h, int32_t pitch) {
    Frame f;
    f.bytes.assign(static_cast<size_t>(pitch) * (h > 0 ? h : 1) + 4, kPad);
    f.view = Bitmap{f.bytes.data(), w, h, pitch};
    return f;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    velmo::fuzz::Input in(data, size);
    const velmo::KernelTable& fast = velmo::ActiveKernels();
    const velmo::KernelTable& ref = velmo::kReferenceKernels;

    DeinterlaceInstance a, b;
    std::memset(&a, 0xCD, sizeof a);
    velmo::InitSettings(&a);
    Settle(a, in);
    std::memcpy(&b, &a, sizeof a);
    b.prevFrame = nullptr;

    int32_t w = static_cast<int32_t>(in.Below(65));
    int32_t h = static_cast<int32_t>(in.Below(65));
    velmo::StartBuffers(&a, Bitmap{nullptr, w, h, w * 4});
    velmo::StartBuffers(&b, Bitmap{nullptr, w, h, w * 4});

    const int frames = 1 + static_cast<int>(in.Below(5));
    for (int n = 0; n < frames; ++n) {
        const uint8_t change = in.Byte();
        if (change & 1) {  // new settings, no new StartBuffers
            Settle(a, in);
            CopySettings(a, b);
        }
        if (change & 2) {  // new frame size, no new StartBuffers
            w = static_cast<int32_t>(in.Below(65));
            h = static_cast<int32_t>(in.Below(65));
        }
        const int32_t srcPitch = w * 4 + 4 * static_cast<int32_t>(in.Below(4)) + (w == 0 ? 4 : 0);
        const int32_t dstPitch = w * 4 + 4 * static_cast<int32_t>(in.Below(4)) + (w == 0 ? 4 : 0);
        Frame srcA = MakeFrame(w, h, srcPitch);
        for (int32_t y = 0; y < h; ++y) {
            uint8_t* row = srcA.bytes.data() + static_cast<size_t>(y) * srcPitch;
            for (int32_t x = 0; x < w * 4; ++x) row[x] = in.Byte();
        }
        Frame srcB = srcA;
        srcB.view.data = srcB.bytes.data();
        Frame dstA = MakeFrame(w, h, dstPitch);
        Frame dstB = MakeFrame(w, h, dstPitch);
        const int32_t sourceFrame = static_cast<int32_t>(in.Below(3));

        FrameContext ca{srcA.view, dstA.view, sourceFrame};
        FrameContext cb{srcB.view, dstB.view, sourceFrame};
        velmo::RunFrameWith(&a, ca, fast);
        velmo::RunFrameWith(&b, cb, ref);

        if (dstA.bytes != dstB.bytes || srcA.bytes != srcB.bytes) std::abort();
        // Bytes between a destination row's pixels and the next row stay untouched, except
        // where the plain copy moves whole source rows.
        const bool plainCopy = a.motionDisabled != 0 && a.phaseShift == 0 &&
                               a.swapBefore == 0 && a.swapAfter == 0;
        if (!plainCopy) {
            for (int32_t y = 0; y < h; ++y) {
                const uint8_t* row = dstA.bytes.data() + static_cast<size_t>(y) * dstPitch;
                for (int32_t x = w * 4; x < dstPitch; ++x) {
                    if (row[x] != kPad) std::abort();
                }
            }
        }
        if (velmo::BufferFits(a.motionMap, w, h) && velmo::BufferFits(b.motionMap, w, h) &&
            std::memcmp(a.motionMap, b.motionMap, static_cast<size_t>(w) * h) != 0) {
            std::abort();
        }
    }
    velmo::EndBuffers(&a);
    velmo::EndBuffers(&b);
    return 0;
}
