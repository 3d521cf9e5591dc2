// The frame driver: field-order correction, motion detection, scene-change test, denoising and
// output, in that order.
#include "core/buffers.h"
#include "core/fast_copy.h"
#include "core/stages.h"

namespace velmo {
namespace {

enum class Correction { None, CancellingSwaps, Corrected };

Correction CorrectionOf(const DeinterlaceInstance& inst) {
    if (CorrectionRuns(inst)) return Correction::Corrected;
    if (inst.swapBefore != 0 && inst.swapAfter != 0) return Correction::CancellingSwaps;
    return Correction::None;
}

// Every source row onto the destination row of the same number, `bytes` each.
void CopyRows(const Bitmap& from, const Bitmap& to, int32_t h, size_t bytes) {
    for (int32_t y = 0; y < h; ++y) FastCopy(RowOf(to, y), RowOf(from, y), bytes);
}

// The copy without any field-order switch: the whole source pitch of each row, bytes beyond the
// pixels included, but never more than a destination row holds.
size_t PlainCopyBytes(const FrameContext& ctx) {
    const int32_t pitch = ctx.dst.pitch < ctx.src.pitch ? ctx.dst.pitch : ctx.src.pitch;
    return pitch > 0 ? static_cast<size_t>(pitch) : 0;
}

}  // namespace

int RunFrameWith(DeinterlaceInstance* inst, FrameContext& ctx, const KernelTable& kernels) {
    const Bitmap& src = ctx.src;
    const int32_t w = src.w;
    const int32_t h = src.h;
    if (w <= 0 || h <= 0) return 0;
    const Correction correction = CorrectionOf(*inst);

    // Buffers missing or sized for another frame (settings or frame size changed since
    // StartBuffers) are acquired now; when memory cannot be had the frame passes through.
    if (!EnsureBuffers(inst, w, h)) {
        const size_t bytes = correction == Correction::None ? PlainCopyBytes(ctx) : RowBytes(w);
        CopyRows(src, ctx.dst, h, bytes);
        return 0;
    }

    switch (correction) {
        case Correction::None:
            if (inst->motionDisabled != 0) {
                CopyRows(src, ctx.dst, h, PlainCopyBytes(ctx));
                return 0;
            }
            break;
        case Correction::CancellingSwaps:
            if (inst->motionDisabled != 0) {
                CopyRows(src, ctx.dst, h, RowBytes(w));
                return 0;
            }
            break;
        case Correction::Corrected:
            CorrectFieldOrder(inst, ctx);
            if (inst->motionDisabled != 0) return 0;
            // From here on every stage reads the corrected frame from the source.
            CopyRows(ctx.dst, src, h, RowBytes(w));
            break;
    }
    if (h < 2) return 0;

    const int32_t movingCount = (inst->diffMode == FrameOnly || inst->diffMode == FrameAndField)
                                    ? DiffFrames(inst, src, kernels)
                                    : DiffFields(inst, src, kernels);
    const bool sceneChange = CheckSceneChange(movingCount, w, h, inst->sceneThreshold);
    if (!sceneChange && inst->denoiseMotion != 0) DenoiseMotionMap(inst, w, h, kernels);
    WriteOutputFrame(ctx, *inst, sceneChange, kernels);
    return 0;
}

int RunFrame(DeinterlaceInstance* inst, FrameContext& ctx) {
    return RunFrameWith(inst, ctx, ActiveKernels());
}

}  // namespace velmo
