// Output synthesis: moving areas get their odd rows rebuilt (or every pixel blended), still
// areas are copied, or painted grey when only the motion is to be shown.
#include "core/fast_copy.h"
#include "core/stages.h"

namespace velmo {

void WriteOutputFrame(const FrameContext& ctx, const DeinterlaceInstance& inst, bool sceneChange,
                      const KernelTable& kernels) {
    const Bitmap& src = ctx.src;
    const Bitmap& dst = ctx.dst;
    const int32_t w = src.w;
    const int32_t h = src.h;
    const size_t bytes = RowBytes(w);
    const bool blend = inst.blendMotion != 0;
    const bool grey = inst.showMotionOnly != 0;
    const bool cubic = inst.cubicInterpolation != 0;
    const StillOp still = grey ? StillGrey : StillCopy;

    FastCopy(RowOf(dst, 0), RowOf(src, 0), bytes);
    for (int32_t y = 1; y <= h - 2; ++y) {
        const bool odd = y % 2 == 1;
        if (!odd && !blend && !grey) {
            // Interpolating: even rows are never rebuilt.
            FastCopy(RowOf(dst, y), RowOf(src, y), bytes);
            continue;
        }
        OutputOp op;
        if (blend) {
            op = OpBlend;
        } else if (odd) {
            op = (cubic && y > 2 && y < h - 3) ? OpCubic : OpLinear;
        } else {
            op = OpCopy;  // grey interpolating, even row: moving pixels are copied
        }

        const uint32_t* rows[7];
        for (int i = 0; i < 7; ++i) {
            const int32_t r = y - 3 + i;
            rows[i] = (r >= 0 && r < h) ? PixelRowOf(src, r) : nullptr;
        }
        const uint8_t* map[3] = {nullptr, nullptr, nullptr};
        if (!sceneChange) {
            for (int i = 0; i < 3; ++i) map[i] = PackedRow(inst.motionMap, w, y - 1 + i);
        }
        kernels.output[op][still](PixelRowOf(dst, y), rows, map, w);
    }
    FastCopy(RowOf(dst, h - 1), RowOf(src, h - 1), bytes);
}

}  // namespace velmo
