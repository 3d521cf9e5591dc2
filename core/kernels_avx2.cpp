// AVX2 row kernels: eight pixels (or thirty-two map bytes) per 256-bit register.
//
// The same arithmetic as the SSE2 kernels, twice as wide. The main loops take thirty-two
// pixels at a time; the rest of a row goes to the SSE2 kernel of the same row, which ends with
// the reference kernel. The 256-bit packs work within each 128-bit half, so map bytes made by
// packing are put back into pixel order with one cross-half permute.
//
// This file is compiled with -mavx2 and is only entered through the table once the CPU is
// known to have AVX2, so it includes no header with inline functions that other files could
// share (their AVX2 copies might be the ones the linker keeps).
#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "core/kernels.h"

namespace velmo {
namespace {

#if defined(VELMO_HAVE_SSE2_KERNELS)
const KernelTable& Narrower() { return kSse2Kernels; }
#else
const KernelTable& Narrower() { return kReferenceKernels; }
#endif

inline __m256i Load(const void* p) { return _mm256_loadu_si256(static_cast<const __m256i*>(p)); }
inline void Store(void* p, __m256i v) { _mm256_storeu_si256(static_cast<__m256i*>(p), v); }
inline __m128i Load16(const void* p) { return _mm_loadu_si128(static_cast<const __m128i*>(p)); }
inline void Store16(void* p, __m128i v) { _mm_storeu_si128(static_cast<__m128i*>(p), v); }
inline __m256i Ones() { return _mm256_set1_epi32(-1); }
inline __m256i Zero() { return _mm256_setzero_si256(); }

inline int32_t SumQuarters(__m256i acc) {
    const __m128i s = _mm_add_epi64(_mm256_castsi256_si128(acc), _mm256_extracti128_si256(acc, 1));
    return _mm_cvtsi128_si32(s) + _mm_cvtsi128_si32(_mm_srli_si128(s, 8));
}

// Bytes packed from four registers of eight 32-bit lanes (or two of sixteen 16-bit lanes) come
// out in groups of four pixels in the order 0, 2, 4, 6, 1, 3, 5, 7; this puts them in order.
inline __m256i InPixelOrder(__m256i packed) {
    return _mm256_permutevar8x32_epi32(packed, _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7));
}

inline __m256i PackMasks(__m256i m0, __m256i m1, __m256i m2, __m256i m3) {
    return InPixelOrder(_mm256_packs_epi16(_mm256_packs_epi32(m0, m1), _mm256_packs_epi32(m2, m3)));
}

inline __m256i Luma32(__m256i p) {
    const __m256i blueRed = _mm256_and_si256(p, _mm256_set1_epi32(0x00FF00FF));
    const __m256i greenA = _mm256_srli_epi16(p, 8);
    return _mm256_add_epi32(_mm256_madd_epi16(blueRed, _mm256_set1_epi32((76 << 16) | 30)),
                            _mm256_madd_epi16(greenA, _mm256_set1_epi32(150)));
}

inline __m256i LumaLevel32(__m256i p) { return _mm256_srli_epi32(Luma32(p), 8); }

// |a - b| as an unsigned 32-bit value, exact for every pair of signed lanes.
inline __m256i AbsDiff32(__m256i a, __m256i b) {
    const __m256i negative = _mm256_cmpgt_epi32(b, a);
    const __m256i d = _mm256_sub_epi32(a, b);
    return _mm256_sub_epi32(_mm256_xor_si256(d, negative), negative);
}

inline __m256i UnsignedAbove(__m256i a, __m256i biasedThreshold) {
    return _mm256_cmpgt_epi32(_mm256_xor_si256(a, _mm256_set1_epi32(INT32_MIN)), biasedThreshold);
}

inline __m256i ChannelsStill(__m256i p, __m256i q, __m256i t8) {
    const __m256i d = _mm256_or_si256(_mm256_subs_epu8(p, q), _mm256_subs_epu8(q, p));
    const __m256i above = _mm256_and_si256(_mm256_subs_epu8(d, t8), _mm256_set1_epi32(0x00FFFFFF));
    return _mm256_cmpeq_epi32(above, Zero());
}

// --- frame differencing ------------------------------------------------------------------

template <bool kColor, int kKind>
int32_t DiffFramesRow(const uint32_t* cur, uint32_t* prev, const uint32_t* ref, uint8_t* map,
                      int32_t w, int32_t threshold) {
    const __m256i every = threshold < 0 ? Ones() : Zero();
    const int32_t t = threshold < 0 ? 0 : threshold;
    const __m256i t8 = _mm256_set1_epi8(static_cast<char>(t > 255 ? 255 : t));
    const __m256i tBiased = _mm256_set1_epi32(static_cast<int32_t>(static_cast<uint32_t>(t) ^ 0x80000000u));
    const __m256i one8 = _mm256_set1_epi8(1);
    __m256i count = Zero();
    int32_t x = 0;
    for (; x + 32 <= w; x += 32) {
        __m256i m[4];
        for (int i = 0; i < 4; ++i) {
            const int32_t o = x + 8 * i;
            const __m256i p = Load(cur + o);
            const __m256i s = Load(prev + o);
            __m256i moves;
            if (kColor) {
                __m256i still = ChannelsStill(p, s, t8);
                if (kKind != FrameTest) still = _mm256_or_si256(still, ChannelsStill(p, Load(ref + o), t8));
                moves = _mm256_xor_si256(still, Ones());
                Store(prev + o, p);
            } else {
                const __m256i level = LumaLevel32(p);
                moves = UnsignedAbove(AbsDiff32(level, s), tBiased);
                if (kKind == FieldAgainstPixels) {
                    const __m256i r = LumaLevel32(Load(ref + o));
                    moves = _mm256_and_si256(moves, UnsignedAbove(AbsDiff32(level, r), tBiased));
                } else if (kKind == FieldAgainstStored) {
                    moves = _mm256_and_si256(moves, UnsignedAbove(AbsDiff32(level, Load(ref + o)), tBiased));
                }
                Store(prev + o, level);
            }
            m[i] = _mm256_or_si256(moves, every);
        }
        const __m256i bytes = _mm256_and_si256(PackMasks(m[0], m[1], m[2], m[3]), one8);
        Store(map + x, bytes);
        count = _mm256_add_epi64(count, _mm256_sad_epu8(bytes, Zero()));
    }
    int32_t moving = SumQuarters(count);
    if (x < w) {
        moving += Narrower().diffFrames[kColor ? 1 : 0][kKind](
            cur + x, prev + x, ref != nullptr ? ref + x : nullptr, map + x, w - x, threshold);
    }
    return moving;
}

// --- field differencing ------------------------------------------------------------------

// Full-scale luma of sixteen pixels as unsigned 16-bit lanes, in the packs' half-wise order
// (the same for the three rows, so the comparison lines up; InPixelOrder fixes the bytes).
inline __m256i Luma16(const uint32_t* p) {
    const __m256i half = _mm256_set1_epi32(32768);
    const __m256i a = _mm256_sub_epi32(Luma32(Load(p)), half);
    const __m256i b = _mm256_sub_epi32(Luma32(Load(p + 8)), half);
    return _mm256_xor_si256(_mm256_packs_epi32(a, b), _mm256_set1_epi16(static_cast<short>(0x8000)));
}

inline __m256i AbsDiffU16(__m256i a, __m256i b) {
    return _mm256_or_si256(_mm256_subs_epu16(a, b), _mm256_subs_epu16(b, a));
}

// See the SSE2 kernel: product > t2 * 65536 exactly when hi + (lo != 0) > t2.
inline __m256i LumaCombStill(__m256i u, __m256i c, __m256i d, __m256i t2) {
    const __m256i du = AbsDiffU16(u, c);
    const __m256i dd = AbsDiffU16(d, c);
    const __m256i lo = _mm256_mullo_epi16(du, dd);
    const __m256i hi = _mm256_mulhi_epu16(du, dd);
    const __m256i loNonZero = _mm256_xor_si256(_mm256_cmpeq_epi16(lo, Zero()), Ones());
    const __m256i roundedUp = _mm256_sub_epi16(hi, loNonZero);
    return _mm256_cmpeq_epi16(_mm256_subs_epu16(roundedUp, t2), Zero());
}

int32_t DiffFieldsRowLuma(const uint32_t* up, const uint32_t* cur, const uint32_t* down,
                          uint8_t* map, int32_t w, uint32_t threshold2) {
    if (threshold2 > 65535) return kReferenceKernels.diffFields[0](up, cur, down, map, w, threshold2);
    const __m256i t2 = _mm256_set1_epi16(static_cast<short>(threshold2));
    const __m256i one8 = _mm256_set1_epi8(1);
    __m256i count = Zero();
    int32_t x = 0;
    for (; x + 32 <= w; x += 32) {
        const __m256i s0 = LumaCombStill(Luma16(up + x), Luma16(cur + x), Luma16(down + x), t2);
        const __m256i s1 = LumaCombStill(Luma16(up + x + 16), Luma16(cur + x + 16), Luma16(down + x + 16), t2);
        const __m256i bytes = _mm256_andnot_si256(InPixelOrder(_mm256_packs_epi16(s0, s1)), one8);
        Store(map + x, bytes);
        count = _mm256_add_epi64(count, _mm256_sad_epu8(bytes, Zero()));
    }
    int32_t moving = SumQuarters(count);
    if (x < w) moving += Narrower().diffFields[0](up + x, cur + x, down + x, map + x, w - x, threshold2);
    return moving;
}

// See the SSE2 kernel: rising and falling steps multiplied apart, even and odd bytes apart.
inline __m256i ChannelCombStill(__m256i u, __m256i c, __m256i d, __m256i t2) {
    const __m256i lowByte = _mm256_set1_epi16(0x00FF);
    const __m256i riseU = _mm256_subs_epu8(u, c), fallU = _mm256_subs_epu8(c, u);
    const __m256i riseD = _mm256_subs_epu8(d, c), fallD = _mm256_subs_epu8(c, d);
    const __m256i even = _mm256_add_epi16(
        _mm256_mullo_epi16(_mm256_and_si256(riseU, lowByte), _mm256_and_si256(riseD, lowByte)),
        _mm256_mullo_epi16(_mm256_and_si256(fallU, lowByte), _mm256_and_si256(fallD, lowByte)));
    const __m256i odd =
        _mm256_add_epi16(_mm256_mullo_epi16(_mm256_srli_epi16(riseU, 8), _mm256_srli_epi16(riseD, 8)),
                         _mm256_mullo_epi16(_mm256_srli_epi16(fallU, 8), _mm256_srli_epi16(fallD, 8)));
    const __m256i evenAbove = _mm256_subs_epu16(even, t2);
    const __m256i greenAbove = _mm256_and_si256(_mm256_subs_epu16(odd, t2), _mm256_set1_epi32(0x0000FFFF));
    return _mm256_cmpeq_epi32(_mm256_or_si256(evenAbove, greenAbove), Zero());
}

int32_t DiffFieldsRowColor(const uint32_t* up, const uint32_t* cur, const uint32_t* down,
                           uint8_t* map, int32_t w, uint32_t threshold2) {
    if (threshold2 > 65535) return kReferenceKernels.diffFields[1](up, cur, down, map, w, threshold2);
    const __m256i t2 = _mm256_set1_epi16(static_cast<short>(threshold2));
    const __m256i one8 = _mm256_set1_epi8(1);
    __m256i count = Zero();
    int32_t x = 0;
    for (; x + 32 <= w; x += 32) {
        __m256i s[4];
        for (int i = 0; i < 4; ++i) {
            const int32_t o = x + 8 * i;
            s[i] = ChannelCombStill(Load(up + o), Load(cur + o), Load(down + o), t2);
        }
        const __m256i bytes = _mm256_andnot_si256(PackMasks(s[0], s[1], s[2], s[3]), one8);
        Store(map + x, bytes);
        count = _mm256_add_epi64(count, _mm256_sad_epu8(bytes, Zero()));
    }
    int32_t moving = SumQuarters(count);
    if (x < w) moving += Narrower().diffFields[1](up + x, cur + x, down + x, map + x, w - x, threshold2);
    return moving;
}

// --- denoising -----------------------------------------------------------------------------
// Vertical sums of a stretch into a stack array, then five overlapping loads; see the SSE2
// kernels. 32 bytes at a time, then 16, then one.

constexpr int32_t kStretch = 1024;

template <bool kGrow>
inline __m256i Combine(__m256i a, __m256i b) {
    return kGrow ? _mm256_or_si256(a, b) : _mm256_adds_epu8(a, b);
}

template <bool kGrow>
inline __m128i Combine16(__m128i a, __m128i b) {
    return kGrow ? _mm_or_si128(a, b) : _mm_adds_epu8(a, b);
}

template <bool kGrow>
inline int32_t CombineScalar(int32_t a, int32_t b) {
    if (kGrow) return a | b;
    const int32_t s = a + b;
    return s > 255 ? 255 : s;
}

template <bool kGrow>
void DenoiseRow(const uint8_t* in, uint8_t* outRow, int32_t w, int32_t h, int32_t y) {
    const int32_t y0 = y - 2 < 0 ? 0 : y - 2;
    const int32_t y1 = y + 2 > h - 1 ? h - 1 : y + 2;
    const uint8_t* rows[5];
    int32_t n = 0;
    for (int32_t r = y0; r <= y1; ++r) rows[n++] = in + static_cast<ptrdiff_t>(r) * w;
    const uint8_t* centre = in + static_cast<ptrdiff_t>(y) * w;

    alignas(32) uint8_t vertical[kStretch + 4];
    for (int32_t x0 = 0; x0 < w; x0 += kStretch) {
        const int32_t len = w - x0 < kStretch ? w - x0 : kStretch;
        const int32_t first = x0 - 2, end = x0 + len + 2;
        const int32_t lo = first < 0 ? 0 : first, hi = end > w ? w : end;
        for (int32_t c = first; c < lo; ++c) vertical[c - first] = 0;
        for (int32_t c = hi; c < end; ++c) vertical[c - first] = 0;
        int32_t c = lo;
        for (; c + 32 <= hi; c += 32) {
            __m256i v = Load(rows[0] + c);
            for (int32_t k = 1; k < n; ++k) v = Combine<kGrow>(v, Load(rows[k] + c));
            Store(vertical + (c - first), v);
        }
        for (; c + 16 <= hi; c += 16) {
            __m128i v = Load16(rows[0] + c);
            for (int32_t k = 1; k < n; ++k) v = Combine16<kGrow>(v, Load16(rows[k] + c));
            Store16(vertical + (c - first), v);
        }
        for (; c < hi; ++c) {
            int32_t v = rows[0][c];
            for (int32_t k = 1; k < n; ++k) v = CombineScalar<kGrow>(v, rows[k][c]);
            vertical[c - first] = static_cast<uint8_t>(v);
        }

        int32_t x = x0;
        for (; x + 32 <= x0 + len; x += 32) {
            const uint8_t* q = vertical + (x - x0);
            __m256i s = Combine<kGrow>(Load(q), Load(q + 1));
            s = Combine<kGrow>(s, Load(q + 2));
            s = Combine<kGrow>(s, Load(q + 3));
            s = Combine<kGrow>(s, Load(q + 4));
            __m256i out;
            if (kGrow) {
                out = _mm256_andnot_si256(_mm256_cmpeq_epi8(s, Zero()), _mm256_set1_epi8(1));
            } else {
                const __m256i few = _mm256_cmpeq_epi8(_mm256_subs_epu8(s, _mm256_set1_epi8(9)), Zero());
                const __m256i empty = _mm256_cmpeq_epi8(Load(centre + x), Zero());
                out = _mm256_andnot_si256(_mm256_or_si256(few, empty), _mm256_set1_epi8(1));
            }
            Store(outRow + x, out);
        }
        for (; x + 16 <= x0 + len; x += 16) {
            const uint8_t* q = vertical + (x - x0);
            __m128i s = Combine16<kGrow>(Load16(q), Load16(q + 1));
            s = Combine16<kGrow>(s, Load16(q + 2));
            s = Combine16<kGrow>(s, Load16(q + 3));
            s = Combine16<kGrow>(s, Load16(q + 4));
            const __m128i zero = _mm_setzero_si128();
            __m128i out;
            if (kGrow) {
                out = _mm_andnot_si128(_mm_cmpeq_epi8(s, zero), _mm_set1_epi8(1));
            } else {
                const __m128i few = _mm_cmpeq_epi8(_mm_subs_epu8(s, _mm_set1_epi8(9)), zero);
                const __m128i empty = _mm_cmpeq_epi8(Load16(centre + x), zero);
                out = _mm_andnot_si128(_mm_or_si128(few, empty), _mm_set1_epi8(1));
            }
            Store16(outRow + x, out);
        }
        for (; x < x0 + len; ++x) {
            const uint8_t* q = vertical + (x - x0);
            const int32_t s = kGrow ? (q[0] | q[1] | q[2] | q[3] | q[4]) : (q[0] + q[1] + q[2] + q[3] + q[4]);
            outRow[x] = kGrow ? (s != 0 ? 1 : 0) : ((centre[x] != 0 && s > 9) ? 1 : 0);
        }
    }
}

// --- output synthesis --------------------------------------------------------------------

inline __m256i Select(__m256i mask, __m256i ifSet, __m256i ifClear) {
    return _mm256_blendv_epi8(ifClear, ifSet, mask);
}

inline __m256i CubicHalf(__m256i u3, __m256i u1, __m256i d1, __m256i d3) {
    const __m256i inner = _mm256_add_epi16(u1, d1);
    const __m256i t =
        _mm256_sub_epi16(_mm256_add_epi16(_mm256_slli_epi16(inner, 2), inner), _mm256_add_epi16(u3, d3));
    return _mm256_srai_epi16(t, 3);
}

// Unpacking and packing both work within 128-bit halves, so the pixels keep their order.
inline __m256i Cubic(__m256i u3, __m256i u1, __m256i d1, __m256i d3, __m256i old) {
    const __m256i z = Zero();
    const __m256i lo = CubicHalf(_mm256_unpacklo_epi8(u3, z), _mm256_unpacklo_epi8(u1, z),
                                 _mm256_unpacklo_epi8(d1, z), _mm256_unpacklo_epi8(d3, z));
    const __m256i hi = CubicHalf(_mm256_unpackhi_epi8(u3, z), _mm256_unpackhi_epi8(u1, z),
                                 _mm256_unpackhi_epi8(d1, z), _mm256_unpackhi_epi8(d3, z));
    return Select(_mm256_set1_epi32(0x00FFFFFF), _mm256_packus_epi16(lo, hi), old);
}

template <int kOp>
inline __m256i Operate(const uint32_t* const* rows, const uint32_t* dst, int32_t o, __m256i a,
                       __m256i b, __m256i c) {
    switch (kOp) {
        case OpLinear: {
            const __m256i m = _mm256_set1_epi32(0xFEFEFE);
            return _mm256_add_epi32(_mm256_srli_epi32(_mm256_and_si256(a, m), 1),
                                    _mm256_srli_epi32(_mm256_and_si256(b, m), 1));
        }
        case OpBlend: {
            const __m256i m2 = _mm256_set1_epi32(0xFCFCFC), m1 = _mm256_set1_epi32(0xFEFEFE);
            return _mm256_add_epi32(_mm256_add_epi32(_mm256_srli_epi32(_mm256_and_si256(a, m2), 2),
                                                     _mm256_srli_epi32(_mm256_and_si256(b, m2), 2)),
                                    _mm256_srli_epi32(_mm256_and_si256(c, m1), 1));
        }
        case OpCubic:
            return Cubic(Load(rows[0] + o), a, b, Load(rows[6] + o), Load(dst + o));
        default: return c;
    }
}

template <int kOp, int kStill, bool kEveryMoving>
int32_t OutputRowBody(uint32_t* dst, const uint32_t* const* rows, const uint8_t* const* map, int32_t w) {
    const uint32_t* a = rows[2];
    const uint32_t* b = rows[4];
    const uint32_t* c = rows[3];
    const __m256i grey = _mm256_set1_epi32(0x7F7F7F);
    int32_t x = 0;
    for (; x + 32 <= w; x += 32) {
        __m256i still[4] = {Zero(), Zero(), Zero(), Zero()};
        if (!kEveryMoving) {
            const __m256i m = _mm256_or_si256(_mm256_or_si256(Load(map[0] + x), Load(map[1] + x)), Load(map[2] + x));
            const __m256i stillBytes = _mm256_cmpeq_epi8(m, Zero());
            if (_mm256_movemask_epi8(stillBytes) == -1) {
                for (int i = 0; i < 4; ++i) Store(dst + x + 8 * i, kStill == StillGrey ? grey : Load(c + x + 8 * i));
                continue;
            }
            const __m128i lo = _mm256_castsi256_si128(stillBytes);
            const __m128i hi = _mm256_extracti128_si256(stillBytes, 1);
            still[0] = _mm256_cvtepi8_epi32(lo);
            still[1] = _mm256_cvtepi8_epi32(_mm_srli_si128(lo, 8));
            still[2] = _mm256_cvtepi8_epi32(hi);
            still[3] = _mm256_cvtepi8_epi32(_mm_srli_si128(hi, 8));
        }
        for (int i = 0; i < 4; ++i) {
            const int32_t o = x + 8 * i;
            const __m256i cv = Load(c + o);
            const __m256i v = Operate<kOp>(rows, dst, o, Load(a + o), Load(b + o), cv);
            Store(dst + o, kEveryMoving ? v : Select(still[i], kStill == StillGrey ? grey : cv, v));
        }
    }
    return x;
}

template <int kOp, int kStill>
void OutputRow(uint32_t* dst, const uint32_t* const* rows, const uint8_t* const* map, int32_t w) {
    const int32_t x = map[0] == nullptr ? OutputRowBody<kOp, kStill, true>(dst, rows, map, w)
                                        : OutputRowBody<kOp, kStill, false>(dst, rows, map, w);
    if (x < w) {
        const uint32_t* r[7];
        for (int i = 0; i < 7; ++i) r[i] = rows[i] != nullptr ? rows[i] + x : nullptr;
        const uint8_t* m[3];
        for (int i = 0; i < 3; ++i) m[i] = map[i] != nullptr ? map[i] + x : nullptr;
        Narrower().output[kOp][kStill](dst + x, r, m, w - x);
    }
}

}  // namespace

extern const KernelTable kAvx2Kernels = {
    "avx2",
    {{DiffFramesRow<false, FrameTest>, DiffFramesRow<false, FieldAgainstPixels>,
      DiffFramesRow<false, FieldAgainstStored>},
     {DiffFramesRow<true, FrameTest>, DiffFramesRow<true, FieldAgainstPixels>,
      DiffFramesRow<true, FieldAgainstStored>}},
    {DiffFieldsRowLuma, DiffFieldsRowColor},
    DenoiseRow<false>,
    DenoiseRow<true>,
    {{nullptr, OutputRow<OpCopy, StillGrey>},
     {OutputRow<OpLinear, StillCopy>, OutputRow<OpLinear, StillGrey>},
     {OutputRow<OpCubic, StillCopy>, OutputRow<OpCubic, StillGrey>},
     {OutputRow<OpBlend, StillCopy>, OutputRow<OpBlend, StillGrey>}},
};

}  // namespace velmo
