// Motion-map denoising: drop moving pixels with fewer than ten moving pixels in their 5 x 5
// window, then grow what is kept by two pixels in every direction. Two whole-frame passes, so
// the result does not depend on the order of the rows.
#include "core/stages.h"

namespace velmo {

void DenoiseMotionMap(DeinterlaceInstance* inst, int32_t w, int32_t h, const KernelTable& kernels) {
    uint8_t* map = inst->motionMap;
    uint8_t* kept = inst->denoiseMap;
    for (int32_t y = 0; y < h; ++y) kernels.speck(map, PackedRow(kept, w, y), w, h, y);
    for (int32_t y = 0; y < h; ++y) kernels.grow(kept, PackedRow(map, w, y), w, h, y);
}

}  // namespace velmo
