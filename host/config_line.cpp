#include "host/config_line.h"

#include <cstdio>

namespace velmo {

void ApplyConfigArg(DeinterlaceInstance* inst, int position, int32_t value) {
    const int32_t on = value != 0 ? 1 : 0;
    switch (position) {
        case 0: inst->showMotionOnly = on; break;
        case 1: inst->blendMotion = on; break;
        case 2: inst->motionThreshold = value; break;
        case 3: inst->sceneThreshold = value; break;
        case 4: inst->phaseShift = on; break;
        case 5: inst->swapBefore = on; break;
        case 6: inst->swapAfter = on; break;
        case 7: inst->motionDisabled = on; break;
        case 8: inst->denoiseMotion = on; break;
        case 9: inst->diffMode = value; break;
        case 10: inst->compareColor = on; break;
        case 11: inst->cubicInterpolation = on; break;
        default: break;
    }
}

void ApplyConfigArgs(DeinterlaceInstance* inst, const int32_t a[kConfigArgs]) {
    for (int k = 0; k < kConfigArgs; ++k) ApplyConfigArg(inst, k, a[k]);
}

void ConfigArgsOf(const DeinterlaceInstance& inst, int32_t a[kConfigArgs]) {
    a[0] = inst.showMotionOnly;
    a[1] = inst.blendMotion;
    a[2] = inst.motionThreshold;
    a[3] = inst.sceneThreshold;
    a[4] = inst.phaseShift;
    a[5] = inst.swapBefore;
    a[6] = inst.swapAfter;
    a[7] = inst.motionDisabled;
    a[8] = inst.denoiseMotion;
    a[9] = inst.diffMode;
    a[10] = inst.compareColor;
    a[11] = inst.cubicInterpolation;
}

bool FormatConfigLine(const DeinterlaceInstance& inst, char* buf, size_t size) {
    if (buf == nullptr || size == 0) return false;
    int32_t a[kConfigArgs];
    ConfigArgsOf(inst, a);
    // Formatted into a buffer that always holds the longest line, then copied only if it fits:
    // a cut-off line is never left behind as if it were whole.
    char line[kConfigLineMax + 8];
    const int n = std::snprintf(line, sizeof line,
                                "Config(%d, %d, %d, %d, %d, %d, %d, %d, %d, %d, %d, %d)",
                                static_cast<int>(a[0]), static_cast<int>(a[1]),
                                static_cast<int>(a[2]), static_cast<int>(a[3]),
                                static_cast<int>(a[4]), static_cast<int>(a[5]),
                                static_cast<int>(a[6]), static_cast<int>(a[7]),
                                static_cast<int>(a[8]), static_cast<int>(a[9]),
                                static_cast<int>(a[10]), static_cast<int>(a[11]));
    if (n < 0 || static_cast<size_t>(n) >= size || static_cast<size_t>(n) >= sizeof line) {
        buf[0] = '\0';
        return false;
    }
    for (int i = 0; i <= n; ++i) buf[i] = line[i];
    return true;
}

}  // namespace velmo
