// The settings in the order of the script's Config call, and the Config(...) line itself.
// Shared by the host's script binding and the command-line tool.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/main.h"

namespace velmo {

constexpr int kConfigArgs = 12;
// The longest line: twelve values of eleven characters, 30 characters of frame, the zero byte.
constexpr size_t kConfigLineMax = 163;

// Stores the twelve values of a Config call, in script order, into the settings: switches
// become 0 or 1, motionThreshold, sceneThreshold and diffMode are stored unchanged.
void ApplyConfigArgs(DeinterlaceInstance* inst, const int32_t args[kConfigArgs]);
// Stores the value of argument `position` (0 to 11, script order) by the same rule; any other
// position stores nothing.
void ApplyConfigArg(DeinterlaceInstance* inst, int position, int32_t value);
// The twelve settings in script order.
void ConfigArgsOf(const DeinterlaceInstance& inst, int32_t args[kConfigArgs]);
// Writes "Config(a, b, ..., l)" into buf. Never writes past size bytes; when size >= 1 the text
// is always terminated. Returns false, leaving an empty string, when the line does not fit.
bool FormatConfigLine(const DeinterlaceInstance& inst, char* buf, size_t size);

}  // namespace velmo
