#include "host/config_line.h"

#include <cstdio>

namespace velmo {

void ApplyConfigArgs(DeinterlaceInstance* inst, const int32_t a[kConfigArgs]) {
    auto sw = [](int32_t v) { return v != 0 ? 1 : 0; };
    inst->showMotionOnly = sw(a[0]);
    inst->blendMotion = sw(a[1]);
    inst->motionThreshold = a[2];
    inst->sceneThreshold = a[3];
    inst->phaseShift = sw(a[4]);
    inst->swapBefore = sw(a[5]);
    inst->swapAfter = sw(a[6]);
    inst->motionDisabled = sw(a[7]);
    inst->denoiseMotion = sw(a[8]);
    inst->diffMode = a[9];
    inst->compareColor = sw(a[10]);
    inst->cubicInterpolation = sw(a[11]);
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
