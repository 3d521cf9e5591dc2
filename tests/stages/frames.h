// Frames with padded rows, instances that own their buffers, and one-call helpers for the stage
// tests.
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

#include <gtest/gtest.h>

#include "core/buffers.h"
#include "core/kernels.h"
#include "core/main.h"
#include "core/stages.h"

namespace velmo::stagetest {

constexpr uint8_t kPad = 0xA5;

inline uint32_t Px(int32_t b, int32_t g, int32_t r, int32_t a = 0) {
    return static_cast<uint32_t>(b & 0xFF) | static_cast<uint32_t>(g & 0xFF) << 8 |
           static_cast<uint32_t>(r & 0xFF) << 16 | static_cast<uint32_t>(a & 0xFF) << 24;
}
inline uint32_t Grey(int32_t v, int32_t a = 0) { return Px(v, v, v, a); }

// A w x h frame whose rows are `pitch` bytes apart (w * 4 when pitch is 0). The bytes beyond
// each row's pixels hold a pad byte. The block is exactly pitch * h bytes, so the sanitizers see
// any access past the last row.
class TestFrame {
public:
    TestFrame(int32_t w, int32_t h, int32_t pitch = 0, uint8_t pad = kPad)
        : w_(w), h_(h), pitch_(pitch != 0 ? pitch : w * 4), pad_(pad),
          bytes_(static_cast<size_t>(pitch_) * (h > 0 ? h : 0) + (h > 0 ? 0 : 1), pad) {
        Fill([](int32_t, int32_t) { return 0u; });
    }

    int32_t w() const { return w_; }
    int32_t h() const { return h_; }
    int32_t pitch() const { return pitch_; }

    uint32_t* row(int32_t y) { return reinterpret_cast<uint32_t*>(bytes_.data() + static_cast<size_t>(y) * pitch_); }
    const uint32_t* row(int32_t y) const {
        return reinterpret_cast<const uint32_t*>(bytes_.data() + static_cast<size_t>(y) * pitch_);
    }
    uint32_t& at(int32_t y, int32_t x) { return row(y)[x]; }
    uint32_t at(int32_t y, int32_t x) const { return row(y)[x]; }

    void Fill(const std::function<uint32_t(int32_t y, int32_t x)>& f) {
        for (int32_t y = 0; y < h_; ++y)
            for (int32_t x = 0; x < w_; ++x) at(y, x) = f(y, x);
    }
    // The frame's pixels, rows packed.
    std::vector<uint32_t> Pixels() const {
        std::vector<uint32_t> p(static_cast<size_t>(w_ > 0 ? w_ : 0) * (h_ > 0 ? h_ : 0));
        for (int32_t y = 0; y < h_ && w_ > 0; ++y)
            std::memcpy(p.data() + static_cast<size_t>(y) * w_, row(y), static_cast<size_t>(w_) * 4);
        return p;
    }
    void SetPixels(const std::vector<uint32_t>& p) {
        for (int32_t y = 0; y < h_; ++y) std::memcpy(row(y), p.data() + static_cast<size_t>(y) * w_, static_cast<size_t>(w_) * 4);
    }
    // Rewrites the bytes beyond every row's pixels.
    void SetPadding(uint8_t pad) {
        pad_ = pad;
        for (int32_t y = 0; y < h_; ++y)
            std::memset(bytes_.data() + static_cast<size_t>(y) * pitch_ + static_cast<size_t>(w_) * 4, pad,
                        static_cast<size_t>(pitch_ - w_ * 4));
    }
    bool PaddingIntact() const {
        for (int32_t y = 0; y < h_; ++y)
            for (int32_t i = w_ * 4; i < pitch_; ++i)
                if (bytes_[static_cast<size_t>(y) * pitch_ + i] != pad_) return false;
        return true;
    }
    const std::vector<uint8_t>& bytes() const { return bytes_; }

    Bitmap view() { return Bitmap{bytes_.data(), w_, h_, pitch_}; }

private:
    int32_t w_, h_, pitch_;
    uint8_t pad_;
    std::vector<uint8_t> bytes_;
};

// An instance with the defaults, no field-order switch and no display switch; its buffers are
// released when it goes.
class Instance {
public:
    Instance() {
        std::memset(&d, 0, sizeof d);
        InitSettings(&d);
    }
    ~Instance() { EndBuffers(&d); }
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    void Start(int32_t w, int32_t h) { StartBuffers(&d, Bitmap{nullptr, w, h, 0}); }
    int Run(TestFrame& src, TestFrame& dst, int32_t sourceFrame = 0, const KernelTable* kernels = nullptr) {
        FrameContext ctx{src.view(), dst.view(), sourceFrame};
        return kernels != nullptr ? RunFrameWith(&d, ctx, *kernels) : RunFrame(&d, ctx);
    }
    uint8_t& map(int32_t y, int32_t x) { return d.motionMap[static_cast<size_t>(y) * mapWidth + x]; }

    DeinterlaceInstance d;
    int32_t mapWidth = 0;  // set by tests that address the map
};

inline FrameContext ContextOf(TestFrame& src, TestFrame& dst, int32_t sourceFrame = 0) {
    return FrameContext{src.view(), dst.view(), sourceFrame};
}

// Packed w-wide planes compared element by element; a failure names the first difference.
template <typename T>
::testing::AssertionResult SamePlane(const std::vector<T>& expected, const std::vector<T>& actual, int32_t w) {
    if (expected.size() != actual.size())
        return ::testing::AssertionFailure() << "sizes differ: " << expected.size() << " and " << actual.size();
    for (size_t i = 0; i < expected.size(); ++i) {
        if (expected[i] != actual[i]) {
            return ::testing::AssertionFailure()
                   << "first difference at row " << i / w << ", column " << i % w << ": expected 0x" << std::hex
                   << static_cast<uint64_t>(expected[i]) << ", got 0x" << static_cast<uint64_t>(actual[i]);
        }
    }
    return ::testing::AssertionSuccess();
}

// The kernel tables this build and this CPU have.
inline std::vector<const KernelTable*> AvailableKernels() {
    std::vector<const KernelTable*> tables;
    for (int l = 0; l < kKernelLevels; ++l)
        if (const KernelTable* t = KernelsFor(static_cast<KernelLevel>(l))) tables.push_back(t);
    return tables;
}

}  // namespace velmo::stagetest
