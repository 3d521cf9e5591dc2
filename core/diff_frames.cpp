// Frame differencing: each interior pixel against the same pixel of the previous frame, and in
// FrameAndField also against the neighbouring row of the other field.
#include <cstdint>
#include <limits>

#include "core/stages.h"

namespace velmo {

int32_t DiffFrames(DeinterlaceInstance* inst, const Bitmap& src, const KernelTable& kernels) {
    const int32_t w = src.w;
    const int32_t h = src.h;
    const int color = inst->compareColor != 0 ? 1 : 0;
    const bool fieldTest = inst->diffMode == FrameAndField;
    const int32_t threshold = inst->motionThreshold;
    uint32_t* prev = inst->prevFrame;
    uint8_t* map = inst->motionMap;

    int64_t moving = 0;
    // Top to bottom: an even row's field test reads prevFrame row y + 1 before that row is
    // overwritten with this frame's words.
    for (int32_t y = 1; y <= h - 2; ++y) {
        const uint32_t* cur = PixelRowOf(src, y);
        uint32_t* stored = PackedRow(prev, w, y);
        uint8_t* mapRow = PackedRow(map, w, y);
        if (!fieldTest) {
            moving += kernels.diffFrames[color][FrameTest](cur, stored, nullptr, mapRow, w, threshold);
        } else if (y % 2 == 1) {
            moving += kernels.diffFrames[color][FieldAgainstPixels](cur, stored, PixelRowOf(src, y - 1),
                                                                    mapRow, w, threshold);
        } else {
            moving += kernels.diffFrames[color][FieldAgainstStored](cur, stored, PackedRow(prev, w, y + 1),
                                                                    mapRow, w, threshold);
        }
    }
    const int64_t most = std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(moving < most ? moving : most);
}

}  // namespace velmo
