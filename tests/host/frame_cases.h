// Frames and settings shared by the native host-layer test and the Windows test host: the same
// deterministic pictures, the same runs of settings, the same checksums. Both programs compare
// what they produce against the checksums in frame_hashes.inc, so the native build and every
// Windows module are held to the same output, bit for bit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/main.h"

namespace velmo {
namespace frames {

constexpr int kSettings = 12;
constexpr int kMaxFrames = 6;

// The settings in the order of the script's Config call.
inline int32_t& SettingInScriptOrder(DeinterlaceInstance& inst, int k) {
    switch (k) {
        case 0: return inst.showMotionOnly;
        case 1: return inst.blendMotion;
        case 2: return inst.motionThreshold;
        case 3: return inst.sceneThreshold;
        case 4: return inst.phaseShift;
        case 5: return inst.swapBefore;
        case 6: return inst.swapAfter;
        case 7: return inst.motionDisabled;
        case 8: return inst.denoiseMotion;
        case 9: return inst.diffMode;
        case 10: return inst.compareColor;
        default: return inst.cubicInterpolation;
    }
}

struct FrameCase {
    const char* name;
    int32_t w, h;
    int32_t srcPad, dstPad;     // bytes of every row beyond its w pixels, source and destination
    int32_t config[kSettings];  // Config arguments, script order
    int32_t sourceFrames[kMaxFrames];  // the source frame number of each call; -1 ends the run
};

// showMotionOnly, blendMotion, motionThreshold, sceneThreshold, phaseShift, swapBefore,
// swapAfter, motionDisabled, denoiseMotion, diffMode, compareColor, cubicInterpolation
inline const std::vector<FrameCase>& Cases() {
    static const std::vector<FrameCase> cases = {
        {"defaults", 64, 48, 32, 12, {0, 0, 15, 100, 0, 0, 0, 0, 0, 0, 1, 0}, {0, 1, 2, 3, 4, -1}},
        {"fields-luma-cubic", 53, 31, 4, 0, {0, 0, 10, 100, 0, 0, 0, 0, 0, 1, 0, 1}, {0, 1, 2, -1}},
        {"frame-and-field-blend-denoise", 40, 36, 0, 20, {0, 1, 8, 100, 0, 0, 0, 0, 1, 2, 1, 0},
         {0, 1, 2, 3, -1}},
        {"luma-frames-grey-cubic", 37, 26, 8, 8, {1, 0, 6, 100, 0, 0, 0, 0, 0, 0, 0, 1}, {0, 1, 2, -1}},
        {"swap-shift-grey", 48, 30, 16, 4, {1, 0, 15, 100, 1, 1, 0, 0, 0, 0, 1, 0}, {0, 1, 2, 3, -1}},
        {"shift-jumps", 44, 28, 4, 4, {0, 0, 15, 100, 1, 0, 0, 0, 0, 0, 1, 1}, {0, 1, 2, 7, 8, -1}},
        {"shift-swap-restart", 36, 24, 0, 0, {0, 1, 20, 100, 1, 0, 1, 0, 0, 1, 0, 0}, {0, 1, 0, 1, -1}},
        {"swap-shift-swap-odd", 33, 27, 12, 4, {0, 0, 12, 100, 1, 1, 1, 0, 1, 1, 1, 1}, {0, 1, 2, 3, -1}},
        {"swap-after-no-motion", 32, 20, 8, 0, {0, 0, 15, 100, 0, 0, 1, 1, 0, 0, 1, 0}, {0, 1, 2, -1}},
        {"shift-no-motion-odd", 21, 15, 4, 8, {0, 0, 15, 100, 1, 0, 0, 1, 0, 0, 1, 0}, {0, 1, 2, -1}},
        {"plain-copy-no-motion", 30, 17, 12, 20, {0, 0, 15, 100, 0, 0, 0, 1, 0, 0, 1, 0}, {0, 1, -1}},
        {"cancelling-swaps", 24, 16, 4, 8, {0, 0, 15, 100, 0, 1, 1, 0, 0, 0, 0, 0}, {0, 1, 2, -1}},
        {"cancelling-swaps-no-motion", 24, 9, 8, 12, {0, 0, 15, 100, 0, 1, 1, 1, 0, 0, 1, 0}, {0, 1, -1}},
        {"scene-change-mode-7", 40, 24, 0, 4, {0, 0, -3, 5, 0, 0, 0, 0, 1, 7, 1, 1}, {0, 1, 2, -1}},
        {"tiny", 5, 3, 4, 0, {0, 0, 15, 100, 1, 0, 0, 0, 0, 0, 1, 1}, {0, 1, 2, -1}},
        {"two-rows", 8, 2, 0, 4, {0, 1, 15, 100, 0, 1, 0, 0, 1, 2, 1, 0}, {0, 1, -1}},
        {"one-row", 7, 1, 4, 4, {0, 0, 15, 100, 0, 0, 0, 0, 0, 0, 1, 0}, {0, 1, -1}},
    };
    return cases;
}

inline int FrameCount(const FrameCase& c) {
    int n = 0;
    while (n < kMaxFrames && c.sourceFrames[n] >= 0) ++n;
    return n;
}

inline uint32_t Mix(uint32_t v) {
    v ^= v >> 16;
    v *= 0x7FEB352Du;
    v ^= v >> 15;
    v *= 0x846CA68Bu;
    v ^= v >> 16;
    return v;
}

// Pixel (x, y) of source frame n, y in memory order. A diagonal gradient, a bright box that moves
// right and up by 3 pixels per frame, seen in each field at a different moment (odd rows lag
// half a frame behind, so the box combs), slow noise of a few levels in every channel, and a
// random byte 3.
inline uint32_t SourcePixel(int32_t x, int32_t y, int32_t n) {
    const uint32_t noise = Mix(static_cast<uint32_t>(x) * 73856093u ^ static_cast<uint32_t>(y) * 19349663u ^
                               static_cast<uint32_t>(n) * 83492791u);
    int32_t b = (x * 5 + y * 3) & 0xFF;
    int32_t g = (x * 2 + y * 7 + 40) & 0xFF;
    int32_t r = (200 - x - y * 2) & 0xFF;
    const int32_t t2 = 2 * n + (y & 1);  // time in fields
    const int32_t bx = (3 * t2) / 2 % 64 - 8, by = 20 - (3 * t2) / 2 % 24;
    if (x >= bx && x < bx + 12 && y >= by && y < by + 10) {
        b = 250;
        g = 240 - (x & 7) * 3;
        r = 30 + (y & 3) * 20;
    }
    b = (b + static_cast<int32_t>(noise & 7)) & 0xFF;
    g = (g + static_cast<int32_t>((noise >> 3) & 7)) & 0xFF;
    r = (r + static_cast<int32_t>((noise >> 6) & 7)) & 0xFF;
    return static_cast<uint32_t>(b) | static_cast<uint32_t>(g) << 8 | static_cast<uint32_t>(r) << 16 |
           (noise >> 24) << 24;
}

// A frame buffer as a host holds it: h rows at a positive pitch, with guard bytes before and
// after that nothing may touch.
class HostFrame {
public:
    static constexpr size_t kGuard = 64;
    static constexpr uint8_t kGuardByte = 0xE7;

    HostFrame(int32_t w, int32_t h, int32_t pad)
        : w_(w), h_(h), pitch_(w * 4 + pad),
          mem_(kGuard * 2 + static_cast<size_t>(w * 4 + pad) * static_cast<size_t>(h), kGuardByte) {}

    int32_t w() const { return w_; }
    int32_t h() const { return h_; }
    int32_t pitch() const { return pitch_; }
    size_t bytes() const { return static_cast<size_t>(pitch_) * static_cast<size_t>(h_); }
    uint8_t* data() { return mem_.data() + kGuard; }
    const uint8_t* data() const { return mem_.data() + kGuard; }
    uint32_t Pixel(int32_t x, int32_t y) const {
        uint32_t p;
        std::memcpy(&p, data() + static_cast<size_t>(y) * pitch_ + 4 * x, 4);
        return p;
    }

    // Source frame n, padding bytes included.
    void FillSource(int32_t n) {
        for (int32_t y = 0; y < h_; ++y) {
            uint8_t* row = data() + static_cast<size_t>(y) * pitch_;
            for (int32_t x = 0; x < w_; ++x) {
                const uint32_t p = SourcePixel(x, y, n);
                std::memcpy(row + 4 * x, &p, 4);
            }
            for (int32_t i = w_ * 4; i < pitch_; ++i)
                row[i] = static_cast<uint8_t>(Mix(static_cast<uint32_t>(n * 7919 + y * 131 + i)) >> 8);
        }
    }
    // What a destination holds before a call: a pattern that differs from frame to frame.
    void FillDestination(int32_t n) {
        uint8_t* d = data();
        for (size_t i = 0; i < bytes(); ++i) d[i] = static_cast<uint8_t>(Mix(static_cast<uint32_t>(i) + 977u * n) >> 24);
    }
    bool GuardsIntact() const {
        for (size_t i = 0; i < kGuard; ++i)
            if (mem_[i] != kGuardByte || mem_[mem_.size() - 1 - i] != kGuardByte) return false;
        return true;
    }
    bool SameBytes(const HostFrame& o) const { return mem_ == o.mem_; }

private:
    int32_t w_, h_, pitch_;
    std::vector<uint8_t> mem_;
};

inline uint64_t Fnv1a(uint64_t hash, const uint8_t* p, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        hash ^= p[i];
        hash *= 1099511628211ull;
    }
    return hash;
}

// The checksum of one call: the whole destination, then the whole source (a correction leaves
// the corrected frame in the source), rows with their padding.
inline uint64_t CallHash(const HostFrame& dst, const HostFrame& src) {
    uint64_t hash = 14695981039346656037ull;
    hash = Fnv1a(hash, dst.data(), dst.bytes());
    return Fnv1a(hash, src.data(), src.bytes());
}

struct ExpectedHashes {
    const char* name;
    uint64_t calls[kMaxFrames];
};

inline const std::vector<ExpectedHashes>& Expected() {
    static const std::vector<ExpectedHashes> table = {
#include "frame_hashes.inc"
    };
    return table;
}

// The expected checksums of a case, or null when the table has none for it.
inline const ExpectedHashes* ExpectedFor(const char* name) {
    for (const ExpectedHashes& e : Expected())
        if (std::strcmp(e.name, name) == 0) return &e;
    return nullptr;
}

// The table as frame_hashes.inc spells it, for replacing the file when the output of the filter
// changes on purpose.
inline std::string FormatHashTable(const std::vector<std::vector<uint64_t>>& perCase) {
    std::string out;
    char line[64];
    for (size_t c = 0; c < Cases().size(); ++c) {
        out += std::string("{\"") + Cases()[c].name + "\", {";
        for (size_t k = 0; k < perCase[c].size(); ++k) {
            std::snprintf(line, sizeof line, "%s0x%016llxull", k ? ", " : "",
                          static_cast<unsigned long long>(perCase[c][k]));
            out += line;
        }
        out += "}},\n";
    }
    return out;
}

}  // namespace frames
}  // namespace velmo
