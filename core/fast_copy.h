// Whole-row copy and zero fill of the frame routine.
//
// The Windows modules copy with 8-byte MMX moves in 32-byte blocks, from the last block of the
// row towards the first, prefetching one block ahead; velmo-p2 stores normally, velmo-p3 and
// velmo-p4 store non-temporally (bypassing the caches). The native build uses the C library's
// copy, which picks the best instructions of the running CPU. The contract is the same in every
// build: exactly `length` bytes are copied, nothing before or after the destination range is
// touched, and a null address or a zero length does nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(VELMO_MMX_COPY)
#include <mmintrin.h>
#if defined(VELMO_NT_STORES)
#include <xmmintrin.h>
#endif
#endif

namespace velmo {

#if defined(VELMO_MMX_COPY)
namespace detail {

inline void PrefetchHint(uintptr_t address) {
    // Prefetching never faults, whatever the address; on a processor without prefetch
    // instructions this encoding is a hinting no-op.
    __asm__ __volatile__("prefetcht0 (%0)" : : "r"(address));
}

inline __m64 Load8(const uint8_t* p) {
    __m64 v;
    std::memcpy(&v, p, 8);
    return v;
}

inline void Store8(uint8_t* p, __m64 v) {
#if defined(VELMO_NT_STORES)
    _mm_stream_pi(reinterpret_cast<__m64*>(p), v);
#else
    std::memcpy(p, &v, 8);
#endif
}

}  // namespace detail
#endif

inline void FastCopy(void* destination, const void* source, size_t length) {
    if (destination == nullptr || source == nullptr || length == 0) return;
#if defined(VELMO_MMX_COPY)
    uint8_t* d = static_cast<uint8_t*>(destination);
    const uint8_t* s = static_cast<const uint8_t*>(source);
    const uintptr_t sAddr = reinterpret_cast<uintptr_t>(s);
    const size_t body = length & ~size_t(31);
    const size_t tail = length & 31;
    if (body != 0) {
        detail::PrefetchHint(sAddr + body - 32);
        size_t o = body;
        do {
            o -= 32;
            const __m64 w3 = detail::Load8(s + o + 24);
            const __m64 w2 = detail::Load8(s + o + 16);
            const __m64 w1 = detail::Load8(s + o + 8);
            const __m64 w0 = detail::Load8(s + o);
            detail::PrefetchHint(sAddr + o - 32);
            detail::Store8(d + o + 24, w3);
            detail::Store8(d + o + 16, w2);
            detail::Store8(d + o + 8, w1);
            detail::Store8(d + o, w0);
        } while (o != 0);
    }
    if (tail != 0) {
        uint8_t* dt = d + body;
        const uint8_t* st = s + body;
        const size_t words = tail / 2;
        for (size_t i = 0; i < words; ++i) std::memcpy(dt + 2 * i, st + 2 * i, 2);
        if (tail & 1) dt[tail - 1] = st[tail - 1];
    }
    _mm_empty();
#else
    std::memcpy(destination, source, length);
#endif
}

// Sets `length` bytes to zero.
inline void ZeroFill(void* destination, size_t length) {
    if (destination == nullptr || length == 0) return;
    uint8_t* d = static_cast<uint8_t*>(destination);
#if defined(VELMO_MMX_COPY) && defined(VELMO_NT_STORES)
    const size_t units = length / 8;
    const __m64 zero = _mm_setzero_si64();
    for (size_t i = 0; i < units; ++i) detail::Store8(d + 8 * i, zero);
    for (size_t i = units * 8; i < length; ++i) d[i] = 0;
    _mm_empty();
#elif defined(VELMO_MMX_COPY)
    // velmo-p2: byte stores.
    volatile uint8_t* v = d;
    for (size_t i = 0; i < length; ++i) v[i] = 0;
#else
    std::memset(d, 0, length);
#endif
}

}  // namespace velmo
