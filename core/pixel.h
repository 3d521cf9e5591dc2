// Pixel arithmetic shared by the stages: channels, luma, the threshold test.
#pragma once

#include <cstdint>

namespace velmo {

constexpr uint32_t kGrey = 0x7F7F7Fu;

inline int32_t Blue(uint32_t p) { return static_cast<int32_t>(p & 0xFF); }
inline int32_t Green(uint32_t p) { return static_cast<int32_t>((p >> 8) & 0xFF); }
inline int32_t Red(uint32_t p) { return static_cast<int32_t>((p >> 16) & 0xFF); }

// Full-scale luma, 0 to 65280: 76 R + 150 G + 30 B (the weights sum to 256).
inline int32_t Luma(uint32_t p) { return 76 * Red(p) + 150 * Green(p) + 30 * Blue(p); }
// Luma level, 0 to 255.
inline int32_t LumaLevel(uint32_t p) { return Luma(p) >> 8; }

// Two values differ when the magnitude of their difference is strictly above the threshold.
// Formed in 64 bits so that a stored word of any value cannot overflow the difference.
inline bool Differs(int64_t a, int64_t b, int32_t threshold) {
    const int64_t d = a - b;
    return (d < 0 ? -d : d) > threshold;
}

// Channel test: blue, then red, then green; the first channel that differs decides.
inline bool ChannelsDiffer(uint32_t p, uint32_t q, int32_t threshold) {
    if (Differs(Blue(p), Blue(q), threshold)) return true;
    if (Differs(Red(p), Red(q), threshold)) return true;
    return Differs(Green(p), Green(q), threshold);
}

}  // namespace velmo
