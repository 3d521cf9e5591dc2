// Scene change: so large a share of the picture moves that the whole frame counts as moving.
#include <cstdint>

#include "core/stages.h"

namespace velmo {

bool CheckSceneChange(int32_t movingCount, int32_t w, int32_t h, int32_t sceneThreshold) {
    if (w <= 0 || h <= 0) return false;
    // In 64 bits: movingCount * 100 leaves 32 bits from about 21 million pixels (8K frames).
    const int64_t area = static_cast<int64_t>(w) * h;
    const int64_t percent = static_cast<int64_t>(movingCount) * 100 / area;
    return percent >= sceneThreshold;
}

}  // namespace velmo
