// Field differencing: combing between an odd row and the even rows above and below it.
#include <cstdint>
#include <cstring>
#include <limits>

#include "core/stages.h"

namespace velmo {

int32_t DiffFields(DeinterlaceInstance* inst, const Bitmap& src, const KernelTable& kernels) {
    const int32_t w = src.w;
    const int32_t h = src.h;
    const int color = inst->compareColor != 0 ? 1 : 0;
    // Only the square of the threshold counts. From 256 on no step product can exceed it.
    const int64_t t = inst->motionThreshold;
    const int64_t magnitude = t < 0 ? -t : t;
    const bool nothingMoves = magnitude >= 256;
    const uint32_t threshold2 = nothingMoves ? 0 : static_cast<uint32_t>(magnitude * magnitude);
    uint8_t* map = inst->motionMap;

    int64_t moving = 0;
    for (int32_t y = 1; y <= h - 2; ++y) {
        uint8_t* mapRow = PackedRow(map, w, y);
        if (y % 2 == 0 || nothingMoves) {
            std::memset(mapRow, 0, static_cast<size_t>(w));
            continue;
        }
        moving += kernels.diffFields[color](PixelRowOf(src, y - 1), PixelRowOf(src, y),
                                            PixelRowOf(src, y + 1), mapRow, w, threshold2);
    }
    const int64_t most = std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(moving < most ? moving : most);
}

}  // namespace velmo
