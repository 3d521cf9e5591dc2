// Rows and planes for checking the fast kernels against the reference ones.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/kernels.h"

namespace velmo::kerneltest {

// The fast levels; a test of a level that this build or this CPU lacks is skipped.
inline std::vector<KernelLevel> FastLevels() { return {KernelLevel::SSE2, KernelLevel::AVX2}; }

inline std::string LevelName(const ::testing::TestParamInfo<KernelLevel>& info) {
    return KernelLevelName(info.param);
}

// A row of n elements inside a block with `pad` guard elements on each side that hold a
// sentinel pattern and must never change. With pad 0 the row is a heap block of its own, so
// that the sanitizers see any access past either end (a row at the end of its buffer).
template <typename T>
class GuardedRow {
public:
    GuardedRow(int32_t n, int32_t pad) : n_(n), pad_(pad), mem_(new T[static_cast<size_t>(n) + 2 * pad]) {
        std::memset(mem_.get(), kSentinel, (static_cast<size_t>(n) + 2 * pad) * sizeof(T));
    }
    T* data() { return mem_.get() + pad_; }
    const T* data() const { return mem_.get() + pad_; }
    T& operator[](int32_t i) { return data()[i]; }
    const T& operator[](int32_t i) const { return data()[i]; }
    int32_t size() const { return n_; }

    bool GuardsIntact() const {
        const uint8_t* before = reinterpret_cast<const uint8_t*>(mem_.get());
        const uint8_t* after = reinterpret_cast<const uint8_t*>(data() + n_);
        for (size_t i = 0; i < pad_ * sizeof(T); ++i) {
            if (before[i] != kSentinel || after[i] != kSentinel) return false;
        }
        return true;
    }
    void CopyFrom(const T* src) { std::memcpy(data(), src, static_cast<size_t>(n_) * sizeof(T)); }

private:
    static constexpr uint8_t kSentinel = 0xA5;
    int32_t n_;
    int32_t pad_;
    std::unique_ptr<T[]> mem_;
};

// Index of the first element where a and b differ, or -1.
template <typename T>
int32_t FirstMismatch(const T* a, const T* b, int32_t n) {
    for (int32_t i = 0; i < n; ++i) {
        if (a[i] != b[i]) return i;
    }
    return -1;
}

template <typename T>
::testing::AssertionResult SameRow(const T* expected, const T* actual, int32_t n) {
    const int32_t i = FirstMismatch(expected, actual, n);
    if (i < 0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "first difference at element " << i << " of " << n
                                         << ": reference 0x" << std::hex
                                         << static_cast<uint64_t>(expected[i]) << ", fast 0x"
                                         << static_cast<uint64_t>(actual[i]);
}

// Widths that cover every tail length of every vector width, and long rows.
inline std::vector<int32_t> TestWidths() {
    std::vector<int32_t> w;
    for (int32_t i = 1; i <= 67; ++i) w.push_back(i);
    for (int32_t i : {96, 720, 1920, 3840 + 13}) w.push_back(i);
    return w;
}

inline uint32_t MakePixel(int32_t b, int32_t g, int32_t r, int32_t a) {
    auto clamp = [](int32_t v) { return static_cast<uint32_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); };
    return clamp(b) | clamp(g) << 8 | clamp(r) << 16 | clamp(a) << 24;
}

inline uint32_t Grey(int32_t v, int32_t byte3 = 0) { return MakePixel(v, v, v, byte3); }

// A test over every fast level; skipped for a level this build or this CPU does not have.
class FastKernels : public ::testing::TestWithParam<KernelLevel> {
protected:
    void SetUp() override {
        fast_ = KernelsFor(GetParam());
        if (fast_ == nullptr) GTEST_SKIP() << KernelLevelName(GetParam()) << " kernels are not available here";
    }
    const KernelTable& fast() const { return *fast_; }
    const KernelTable& ref() const { return kReferenceKernels; }

private:
    const KernelTable* fast_ = nullptr;
};

}  // namespace velmo::kerneltest
