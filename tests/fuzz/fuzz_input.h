// Reads typed values off the fuzzer's bytes; zeros once they run out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace velmo::fuzz {

class Input {
public:
    Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    uint32_t Word() {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v |= uint32_t(Byte()) << (8 * i);
        return v;
    }
    int32_t Int() { return static_cast<int32_t>(Word()); }
    // 0 to n - 1.
    uint32_t Below(uint32_t n) { return n == 0 ? 0 : Byte() % n; }
    // A setting: often a small value, sometimes anything.
    int32_t Setting() {
        const uint8_t kind = Byte();
        if (kind < 160) return kind % 3;
        if (kind < 220) return static_cast<int8_t>(Byte());
        return Int();
    }
    size_t left() const { return size_ - pos_; }
    const uint8_t* rest() const { return data_ + pos_; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

}  // namespace velmo::fuzz
