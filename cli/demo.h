// The built-in demo: an interlaced sample rendered in memory, deinterlaced, written as PNGs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/options.h"

namespace velmo::cli {

constexpr int32_t kDemoWidth = 640;
constexpr int32_t kDemoHeight = 400;
constexpr int kDemoFrames = 6;

// Frame n of the sample, top row first: each field shows the scene at its own moment (the top
// field first), so everything that moves combs.
std::vector<uint8_t> RenderDemoFrame(int n);

// Runs the demo as the options say (settings, row order); returns the exit status.
int RunDemo(const Options& options);

}  // namespace velmo::cli
