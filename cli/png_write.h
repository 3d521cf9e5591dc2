// PNG pictures of 32-bit frames (blue, green, red, unused; top row first) through libpng.
#pragma once

#include <cstdint>
#include <string>

namespace velmo::cli {

// Writes an 8-bit RGB picture under a temporary name, renamed onto `path` when complete.
// Throws on failure.
void WritePng(const std::string& path, const uint8_t* frame, int32_t w, int32_t h);

}  // namespace velmo::cli
