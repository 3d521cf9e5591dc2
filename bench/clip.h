// Synthetic interlaced clips for the benchmarks and the whole-frame tests: a frame of 32-bit
// pixels (byte 0 blue, 1 green, 2 red) whose even rows show the scene at one instant and whose
// odd rows show it half a frame later, as a camera that films fields would.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace velmo::clip {

enum class Scene {
    Moving,  // still background with noise, bright bars that move sideways: some of the frame moves
    Still,   // the same picture in every frame, both fields at one instant: nothing moves
    Combs,   // dark even rows, bright odd rows, swapped every frame: everything moves
};

inline uint32_t Pack(int32_t b, int32_t g, int32_t r) {
    auto c = [](int32_t v) { return static_cast<uint32_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); };
    return c(b) | c(g) << 8 | c(r) << 16 | 0xFF000000u;
}

// Small noise, the same for a given (x, y, frame).
inline int32_t Noise(uint32_t x, uint32_t y, uint32_t frame, int32_t amplitude) {
    uint32_t v = x * 0x9E3779B1u ^ y * 0x85EBCA77u ^ frame * 0xC2B2AE3Du;
    v ^= v >> 15;
    v *= 0x2C1B3C6Du;
    v ^= v >> 12;
    return static_cast<int32_t>(v % static_cast<uint32_t>(2 * amplitude + 1)) - amplitude;
}

// Paints frame number `frame` of the scene into a w x h frame of `pitch` bytes per row.
inline void PaintFrame(uint8_t* data, int32_t w, int32_t h, int32_t pitch, int32_t frame, Scene scene) {
    for (int32_t y = 0; y < h; ++y) {
        uint32_t* row = reinterpret_cast<uint32_t*>(data + static_cast<ptrdiff_t>(y) * pitch);
        // Time in fields: the odd rows are half a frame later.
        const int32_t field = scene == Scene::Still ? 0 : 2 * frame + (y & 1);
        for (int32_t x = 0; x < w; ++x) {
            if (scene == Scene::Combs) {
                const bool bright = ((y + frame) & 1) != 0;
                const int32_t base = bright ? 200 : 40;
                row[x] = Pack(base + Noise(x, y, frame, 20), base + Noise(x + 7, y, frame, 20),
                              base + Noise(x + 13, y, frame, 20));
                continue;
            }
            // Background: a diagonal gradient with low noise.
            const int32_t g = (x * 160) / w + (y * 60) / h + 20;
            int32_t b = g, gr = g, r = g / 2 + 40;
            // Three bars, each a sixth of the width, at their own speeds and heights.
            for (int32_t k = 0; k < 3; ++k) {
                const int32_t top = h / 8 + k * (h / 3), height = h / 6;
                const int32_t barW = w / 6;
                const int32_t speed = (w / 120 + 1) * (k + 1);
                const int32_t left = ((field * speed) % (w + barW)) - barW;
                if (y >= top && y < top + height && x >= left && x < left + barW) {
                    b = 230 - 60 * k;
                    gr = 60 + 70 * k;
                    r = 200;
                }
            }
            const int32_t n = scene == Scene::Still ? Noise(x, y, 0, 2) : Noise(x, y, frame, 2);
            row[x] = Pack(b + n, gr + n, r - n);
        }
    }
}

// `count` packed frames of a scene (pitch w * 4), frame numbers first, first + 1, ...
inline std::vector<std::vector<uint32_t>> MakeClip(int32_t w, int32_t h, int32_t count, Scene scene,
                                                   int32_t first = 0) {
    std::vector<std::vector<uint32_t>> frames(count, std::vector<uint32_t>(static_cast<size_t>(w) * h));
    for (int32_t i = 0; i < count; ++i) {
        PaintFrame(reinterpret_cast<uint8_t*>(frames[i].data()), w, h, w * 4, first + i, scene);
    }
    return frames;
}

}  // namespace velmo::clip
