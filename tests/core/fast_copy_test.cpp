#include <gtest/gtest.h>

#include <vector>

#include "core/fast_copy.h"

namespace velmo {
namespace {

constexpr size_t kGuard = 40;

// Copies `length` bytes into the middle of a guarded buffer at the given misalignment.
void CheckCopy(size_t length, size_t offset) {
    std::vector<uint8_t> src(length + 8), dst(length + 2 * kGuard + 8, 0xEE);
    for (size_t i = 0; i < src.size(); ++i) src[i] = static_cast<uint8_t>(i * 7 + 3);
    uint8_t* d = dst.data() + kGuard + offset;
    FastCopy(d, src.data() + offset, length);
    for (size_t i = 0; i < dst.size(); ++i) {
        const uint8_t* p = dst.data() + i;
        if (p >= d && p < d + length) {
            ASSERT_EQ(*p, src[offset + (p - d)]) << "length " << length << " byte " << (p - d);
        } else {
            ASSERT_EQ(*p, 0xEE) << "length " << length << " wrote outside at " << (p - d);
        }
    }
}

TEST(FastCopy, CopiesExactlyTheLength) {
    for (size_t length : {0, 1, 2, 3, 4, 28, 31, 32, 33, 35, 36, 63, 64, 65, 96, 2880, 15360 + 28}) {
        for (size_t offset : {0, 4, 1}) CheckCopy(length, offset);
    }
}

TEST(FastCopy, NullOrEmptyDoesNothing) {
    uint8_t byte = 0x5A;
    uint8_t other = 0x11;
    FastCopy(nullptr, &other, 1);
    FastCopy(&byte, nullptr, 1);
    FastCopy(&byte, &other, 0);
    EXPECT_EQ(byte, 0x5A);
}

TEST(ZeroFill, ClearsExactlyTheLength) {
    for (size_t length : {0, 1, 7, 8, 9, 64, 1000, 345600}) {
        std::vector<uint8_t> buf(length + 2 * kGuard, 0xEE);
        ZeroFill(buf.data() + kGuard, length);
        for (size_t i = 0; i < buf.size(); ++i) {
            const bool inside = i >= kGuard && i < kGuard + length;
            ASSERT_EQ(buf[i], inside ? 0 : 0xEE) << "length " << length << " at " << i;
        }
    }
}

}  // namespace
}  // namespace velmo
