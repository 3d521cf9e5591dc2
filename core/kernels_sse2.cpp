// SSE2 row kernels: four pixels (or sixteen map bytes) per 128-bit register.
//
// Every kernel gives exactly the bytes and counts of the reference kernel. The main loops
// take sixteen pixels at a time, so that the motion map is read and written sixteen bytes at
// once; the last 0 to 15 pixels of a row go to the reference kernel itself. No load or store
// ever reaches past the row's w pixels: the rows live in frames and buffers whose last row
// may end at the end of its memory block.
//
// This file is also the kernel set of the Pentium 4 module, so it uses SSE2 only and nothing
// that needs a 64-bit target.
#include <emmintrin.h>

#include <cstddef>
#include <cstdint>

#include "core/kernels.h"

namespace velmo {
namespace {

inline __m128i Load(const void* p) { return _mm_loadu_si128(static_cast<const __m128i*>(p)); }
inline void Store(void* p, __m128i v) { _mm_storeu_si128(static_cast<__m128i*>(p), v); }
inline __m128i Ones() { return _mm_set1_epi32(-1); }

// Sum of the two 64-bit halves of a _mm_sad_epu8 accumulator.
inline int32_t SumHalves(__m128i acc) {
    return _mm_cvtsi128_si32(acc) + _mm_cvtsi128_si32(_mm_srli_si128(acc, 8));
}

// Sixteen pixel masks (all ones or zero per 32-bit lane, four registers in pixel order) as
// sixteen map bytes of -1 or 0.
inline __m128i PackMasks(__m128i m0, __m128i m1, __m128i m2, __m128i m3) {
    return _mm_packs_epi16(_mm_packs_epi32(m0, m1), _mm_packs_epi32(m2, m3));
}

// Full-scale luma 76 R + 150 G + 30 B of four pixels, in 32-bit lanes. Blue and red sit in
// the even bytes, green and byte 3 in the odd bytes; one multiply-add of each pair (byte 3
// weighted 0) gives the two partial sums of a pixel.
inline __m128i Luma32(__m128i p) {
    const __m128i blueRed = _mm_and_si128(p, _mm_set1_epi32(0x00FF00FF));
    const __m128i greenA = _mm_srli_epi16(p, 8);
    return _mm_add_epi32(_mm_madd_epi16(blueRed, _mm_set1_epi32((76 << 16) | 30)),
                         _mm_madd_epi16(greenA, _mm_set1_epi32(150)));
}

inline __m128i LumaLevel32(__m128i p) { return _mm_srli_epi32(Luma32(p), 8); }

// |a - b| of signed 32-bit lanes, as an unsigned 32-bit value. Exact for every pair: the
// magnitude is below 2^32, so negating the wrapped difference where b > a gives it modulo 2^32.
inline __m128i AbsDiff32(__m128i a, __m128i b) {
    const __m128i negative = _mm_cmpgt_epi32(b, a);
    const __m128i d = _mm_sub_epi32(a, b);
    return _mm_sub_epi32(_mm_xor_si128(d, negative), negative);
}

// Unsigned a > t for a threshold t >= 0 given as t ^ 0x80000000 (signed compare after the bias).
inline __m128i UnsignedAbove(__m128i a, __m128i biasedThreshold) {
    return _mm_cmpgt_epi32(_mm_xor_si128(a, _mm_set1_epi32(INT32_MIN)), biasedThreshold);
}

// All ones in the pixels where no colour channel of p and q differs by more than t8 (the
// threshold clamped to 0..255 in every byte). Byte 3 is masked out of the test.
inline __m128i ChannelsStill(__m128i p, __m128i q, __m128i t8) {
    const __m128i d = _mm_or_si128(_mm_subs_epu8(p, q), _mm_subs_epu8(q, p));
    const __m128i above = _mm_and_si128(_mm_subs_epu8(d, t8), _mm_set1_epi32(0x00FFFFFF));
    return _mm_cmpeq_epi32(above, _mm_setzero_si128());
}

// --- frame differencing ------------------------------------------------------------------

template <bool kColor, int kKind>
int32_t DiffFramesRow(const uint32_t* cur, uint32_t* prev, const uint32_t* ref, uint8_t* map,
                      int32_t w, int32_t threshold) {
    // A negative threshold makes every value differ from every other.
    const __m128i every = threshold < 0 ? Ones() : _mm_setzero_si128();
    const int32_t t = threshold < 0 ? 0 : threshold;
    const __m128i t8 = _mm_set1_epi8(static_cast<char>(t > 255 ? 255 : t));
    const __m128i tBiased = _mm_set1_epi32(static_cast<int32_t>(static_cast<uint32_t>(t) ^ 0x80000000u));
    const __m128i one8 = _mm_set1_epi8(1);
    __m128i count = _mm_setzero_si128();
    int32_t x = 0;
    for (; x + 16 <= w; x += 16) {
        __m128i m[4];
        for (int i = 0; i < 4; ++i) {
            const int32_t o = x + 4 * i;
            const __m128i p = Load(cur + o);
            const __m128i s = Load(prev + o);
            __m128i moves;
            if (kColor) {
                __m128i still = ChannelsStill(p, s, t8);
                if (kKind != FrameTest) still = _mm_or_si128(still, ChannelsStill(p, Load(ref + o), t8));
                moves = _mm_xor_si128(still, Ones());
                Store(prev + o, p);
            } else {
                const __m128i level = LumaLevel32(p);
                moves = UnsignedAbove(AbsDiff32(level, s), tBiased);
                if (kKind == FieldAgainstPixels) {
                    const __m128i r = LumaLevel32(Load(ref + o));
                    moves = _mm_and_si128(moves, UnsignedAbove(AbsDiff32(level, r), tBiased));
                } else if (kKind == FieldAgainstStored) {
                    moves = _mm_and_si128(moves, UnsignedAbove(AbsDiff32(level, Load(ref + o)), tBiased));
                }
                Store(prev + o, level);
            }
            m[i] = _mm_or_si128(moves, every);
        }
        const __m128i bytes = _mm_and_si128(PackMasks(m[0], m[1], m[2], m[3]), one8);
        Store(map + x, bytes);
        count = _mm_add_epi64(count, _mm_sad_epu8(bytes, _mm_setzero_si128()));
    }
    int32_t moving = SumHalves(count);
    if (x < w) {
        moving += kReferenceKernels.diffFrames[kColor ? 1 : 0][kKind](
            cur + x, prev + x, ref != nullptr ? ref + x : nullptr, map + x, w - x, threshold);
    }
    return moving;
}

// --- field differencing ------------------------------------------------------------------

// Full-scale luma of eight pixels as unsigned 16-bit lanes (it never exceeds 65280). The
// signed pack saturates, so the values are moved into its range and back.
inline __m128i Luma16(const uint32_t* p) {
    const __m128i half = _mm_set1_epi32(32768);
    const __m128i a = _mm_sub_epi32(Luma32(Load(p)), half);
    const __m128i b = _mm_sub_epi32(Luma32(Load(p + 4)), half);
    return _mm_xor_si128(_mm_packs_epi32(a, b), _mm_set1_epi16(static_cast<short>(0x8000)));
}

inline __m128i AbsDiffU16(__m128i a, __m128i b) {
    return _mm_or_si128(_mm_subs_epu16(a, b), _mm_subs_epu16(b, a));
}

// All ones in the 16-bit lanes whose comb product |dU| * |dD| is not above t2 * 65536.
// Both steps are at most 65280, so the product is exact as the 16-bit halves hi:lo of the
// unsigned 32-bit result. product > t2 * 65536 holds exactly when hi > t2, or hi == t2 and
// lo > 0, that is when hi + (lo != 0) > t2; hi is at most 65025, so adding 1 cannot wrap.
inline __m128i LumaCombStill(__m128i u, __m128i c, __m128i d, __m128i t2) {
    const __m128i du = AbsDiffU16(u, c);
    const __m128i dd = AbsDiffU16(d, c);
    const __m128i lo = _mm_mullo_epi16(du, dd);
    const __m128i hi = _mm_mulhi_epu16(du, dd);
    const __m128i loNonZero = _mm_xor_si128(_mm_cmpeq_epi16(lo, _mm_setzero_si128()), Ones());
    const __m128i roundedUp = _mm_sub_epi16(hi, loNonZero);
    return _mm_cmpeq_epi16(_mm_subs_epu16(roundedUp, t2), _mm_setzero_si128());
}

int32_t DiffFieldsRowLuma(const uint32_t* up, const uint32_t* cur, const uint32_t* down,
                          uint8_t* map, int32_t w, uint32_t threshold2) {
    if (threshold2 > 65535) return kReferenceKernels.diffFields[0](up, cur, down, map, w, threshold2);
    const __m128i t2 = _mm_set1_epi16(static_cast<short>(threshold2));
    const __m128i one8 = _mm_set1_epi8(1);
    __m128i count = _mm_setzero_si128();
    int32_t x = 0;
    for (; x + 16 <= w; x += 16) {
        const __m128i s0 = LumaCombStill(Luma16(up + x), Luma16(cur + x), Luma16(down + x), t2);
        const __m128i s1 =
            LumaCombStill(Luma16(up + x + 8), Luma16(cur + x + 8), Luma16(down + x + 8), t2);
        const __m128i bytes = _mm_andnot_si128(_mm_packs_epi16(s0, s1), one8);
        Store(map + x, bytes);
        count = _mm_add_epi64(count, _mm_sad_epu8(bytes, _mm_setzero_si128()));
    }
    int32_t moving = SumHalves(count);
    if (x < w) moving += kReferenceKernels.diffFields[0](up + x, cur + x, down + x, map + x, w - x, threshold2);
    return moving;
}

// All ones in the pixels where no colour channel combs: a channel combs when C is above both
// neighbours or below both and the product of the two steps is above t2. Of the rising steps
// (U - C, D - C clipped at 0) and the falling steps (C - U, C - D clipped at 0) at most one
// pair is non-zero on both sides, so their two products add up to the positive product or 0,
// at most 65025. Even bytes (blue, red) and odd bytes (green, byte 3) are multiplied apart.
inline __m128i ChannelCombStill(__m128i u, __m128i c, __m128i d, __m128i t2) {
    const __m128i lowByte = _mm_set1_epi16(0x00FF);
    const __m128i riseU = _mm_subs_epu8(u, c), fallU = _mm_subs_epu8(c, u);
    const __m128i riseD = _mm_subs_epu8(d, c), fallD = _mm_subs_epu8(c, d);
    const __m128i even = _mm_add_epi16(
        _mm_mullo_epi16(_mm_and_si128(riseU, lowByte), _mm_and_si128(riseD, lowByte)),
        _mm_mullo_epi16(_mm_and_si128(fallU, lowByte), _mm_and_si128(fallD, lowByte)));
    const __m128i odd = _mm_add_epi16(_mm_mullo_epi16(_mm_srli_epi16(riseU, 8), _mm_srli_epi16(riseD, 8)),
                                      _mm_mullo_epi16(_mm_srli_epi16(fallU, 8), _mm_srli_epi16(fallD, 8)));
    // Non-zero where the product is above t2: blue and red in both halves of the even lanes,
    // green in the low half of the odd lanes (the high half is byte 3, not tested).
    const __m128i evenAbove = _mm_subs_epu16(even, t2);
    const __m128i greenAbove = _mm_and_si128(_mm_subs_epu16(odd, t2), _mm_set1_epi32(0x0000FFFF));
    return _mm_cmpeq_epi32(_mm_or_si128(evenAbove, greenAbove), _mm_setzero_si128());
}

int32_t DiffFieldsRowColor(const uint32_t* up, const uint32_t* cur, const uint32_t* down,
                           uint8_t* map, int32_t w, uint32_t threshold2) {
    if (threshold2 > 65535) return kReferenceKernels.diffFields[1](up, cur, down, map, w, threshold2);
    const __m128i t2 = _mm_set1_epi16(static_cast<short>(threshold2));
    const __m128i one8 = _mm_set1_epi8(1);
    __m128i count = _mm_setzero_si128();
    int32_t x = 0;
    for (; x + 16 <= w; x += 16) {
        __m128i s[4];
        for (int i = 0; i < 4; ++i) {
            const int32_t o = x + 4 * i;
            s[i] = ChannelCombStill(Load(up + o), Load(cur + o), Load(down + o), t2);
        }
        const __m128i bytes = _mm_andnot_si128(PackMasks(s[0], s[1], s[2], s[3]), one8);
        Store(map + x, bytes);
        count = _mm_add_epi64(count, _mm_sad_epu8(bytes, _mm_setzero_si128()));
    }
    int32_t moving = SumHalves(count);
    if (x < w) moving += kReferenceKernels.diffFields[1](up + x, cur + x, down + x, map + x, w - x, threshold2);
    return moving;
}

// --- denoising -----------------------------------------------------------------------------
//
// A window sum is a vertical sum over the window's rows, then a horizontal sum of five of
// those. The vertical sums of a stretch of the row (two columns more on each side, zero
// outside the frame) go into a small array on the stack; the horizontal sums are then five
// overlapping loads from it. The speck filter only asks whether a sum is above 9, so byte
// sums that saturate at 255 answer exactly, whatever the map bytes hold. Growth only asks
// whether any byte is non-zero, so it ORs instead of adding.

constexpr int32_t kStretch = 1024;

template <bool kGrow>
inline __m128i Combine(__m128i a, __m128i b) {
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
    const __m128i zero = _mm_setzero_si128();
    const __m128i one8 = _mm_set1_epi8(1);
    const __m128i nine = _mm_set1_epi8(9);

    alignas(16) uint8_t vertical[kStretch + 4];
    for (int32_t x0 = 0; x0 < w; x0 += kStretch) {
        const int32_t len = w - x0 < kStretch ? w - x0 : kStretch;
        // vertical[i] is column x0 - 2 + i, for i = 0 .. len + 3.
        const int32_t first = x0 - 2, end = x0 + len + 2;
        const int32_t lo = first < 0 ? 0 : first, hi = end > w ? w : end;
        for (int32_t c = first; c < lo; ++c) vertical[c - first] = 0;
        for (int32_t c = hi; c < end; ++c) vertical[c - first] = 0;
        int32_t c = lo;
        for (; c + 16 <= hi; c += 16) {
            __m128i v = Load(rows[0] + c);
            for (int32_t k = 1; k < n; ++k) v = Combine<kGrow>(v, Load(rows[k] + c));
            Store(vertical + (c - first), v);
        }
        for (; c < hi; ++c) {
            int32_t v = rows[0][c];
            for (int32_t k = 1; k < n; ++k) v = CombineScalar<kGrow>(v, rows[k][c]);
            vertical[c - first] = static_cast<uint8_t>(v);
        }

        int32_t x = x0;
        for (; x + 16 <= x0 + len; x += 16) {
            const uint8_t* q = vertical + (x - x0);
            __m128i s = Combine<kGrow>(Load(q), Load(q + 1));
            s = Combine<kGrow>(s, Load(q + 2));
            s = Combine<kGrow>(s, Load(q + 3));
            s = Combine<kGrow>(s, Load(q + 4));
            __m128i out;
            if (kGrow) {
                out = _mm_andnot_si128(_mm_cmpeq_epi8(s, zero), one8);
            } else {
                const __m128i few = _mm_cmpeq_epi8(_mm_subs_epu8(s, nine), zero);
                const __m128i empty = _mm_cmpeq_epi8(Load(centre + x), zero);
                out = _mm_andnot_si128(_mm_or_si128(few, empty), one8);
            }
            Store(outRow + x, out);
        }
        for (; x < x0 + len; ++x) {
            const uint8_t* q = vertical + (x - x0);
            const int32_t s = kGrow ? (q[0] | q[1] | q[2] | q[3] | q[4]) : (q[0] + q[1] + q[2] + q[3] + q[4]);
            outRow[x] = kGrow ? (s != 0 ? 1 : 0) : ((centre[x] != 0 && s > 9) ? 1 : 0);
        }
    }
}

// --- output synthesis --------------------------------------------------------------------

// The four 32-bit lane masks of sixteen byte masks.
inline void ExpandMasks(__m128i bytes, __m128i out[4]) {
    const __m128i lo = _mm_unpacklo_epi8(bytes, bytes);
    const __m128i hi = _mm_unpackhi_epi8(bytes, bytes);
    out[0] = _mm_unpacklo_epi16(lo, lo);
    out[1] = _mm_unpackhi_epi16(lo, lo);
    out[2] = _mm_unpacklo_epi16(hi, hi);
    out[3] = _mm_unpackhi_epi16(hi, hi);
}

inline __m128i Select(__m128i mask, __m128i ifSet, __m128i ifClear) {
    return _mm_or_si128(_mm_and_si128(mask, ifSet), _mm_andnot_si128(mask, ifClear));
}

// Cubic (-1, 5, 5, -1) / 8 of one 16-bit half, shifted arithmetically.
inline __m128i CubicHalf(__m128i u3, __m128i u1, __m128i d1, __m128i d3) {
    const __m128i inner = _mm_add_epi16(u1, d1);
    const __m128i t = _mm_sub_epi16(_mm_add_epi16(_mm_slli_epi16(inner, 2), inner), _mm_add_epi16(u3, d3));
    return _mm_srai_epi16(t, 3);
}

// The cubic result of four pixels in the colour bytes, with byte 3 of `old`. The unsigned
// saturating pack is the clamp to 0..255.
inline __m128i Cubic(__m128i u3, __m128i u1, __m128i d1, __m128i d3, __m128i old) {
    const __m128i z = _mm_setzero_si128();
    const __m128i lo = CubicHalf(_mm_unpacklo_epi8(u3, z), _mm_unpacklo_epi8(u1, z),
                                 _mm_unpacklo_epi8(d1, z), _mm_unpacklo_epi8(d3, z));
    const __m128i hi = CubicHalf(_mm_unpackhi_epi8(u3, z), _mm_unpackhi_epi8(u1, z),
                                 _mm_unpackhi_epi8(d1, z), _mm_unpackhi_epi8(d3, z));
    return Select(_mm_set1_epi32(0x00FFFFFF), _mm_packus_epi16(lo, hi), old);
}

template <int kOp>
inline __m128i Operate(const uint32_t* const* rows, const uint32_t* dst, int32_t o, __m128i a,
                       __m128i b, __m128i c) {
    switch (kOp) {
        case OpLinear: {
            const __m128i m = _mm_set1_epi32(0xFEFEFE);
            return _mm_add_epi32(_mm_srli_epi32(_mm_and_si128(a, m), 1), _mm_srli_epi32(_mm_and_si128(b, m), 1));
        }
        case OpBlend: {
            const __m128i m2 = _mm_set1_epi32(0xFCFCFC), m1 = _mm_set1_epi32(0xFEFEFE);
            return _mm_add_epi32(_mm_add_epi32(_mm_srli_epi32(_mm_and_si128(a, m2), 2),
                                               _mm_srli_epi32(_mm_and_si128(b, m2), 2)),
                                 _mm_srli_epi32(_mm_and_si128(c, m1), 1));
        }
        case OpCubic:
            return Cubic(Load(rows[0] + o), a, b, Load(rows[6] + o), Load(dst + o));
        default: return c;
    }
}

template <int kOp, int kStill, bool kEveryMoving>
void OutputRowBody(uint32_t* dst, const uint32_t* const* rows, const uint8_t* const* map, int32_t w,
                   int32_t* done) {
    const uint32_t* a = rows[2];
    const uint32_t* b = rows[4];
    const uint32_t* c = rows[3];
    const __m128i grey = _mm_set1_epi32(0x7F7F7F);
    int32_t x = 0;
    for (; x + 16 <= w; x += 16) {
        __m128i still[4] = {_mm_setzero_si128(), _mm_setzero_si128(), _mm_setzero_si128(), _mm_setzero_si128()};
        if (!kEveryMoving) {
            const __m128i m = _mm_or_si128(_mm_or_si128(Load(map[0] + x), Load(map[1] + x)), Load(map[2] + x));
            const __m128i stillBytes = _mm_cmpeq_epi8(m, _mm_setzero_si128());
            if (_mm_movemask_epi8(stillBytes) == 0xFFFF) {
                for (int i = 0; i < 4; ++i) Store(dst + x + 4 * i, kStill == StillGrey ? grey : Load(c + x + 4 * i));
                continue;
            }
            ExpandMasks(stillBytes, still);
        }
        for (int i = 0; i < 4; ++i) {
            const int32_t o = x + 4 * i;
            const __m128i cv = Load(c + o);
            const __m128i v = Operate<kOp>(rows, dst, o, Load(a + o), Load(b + o), cv);
            Store(dst + o, kEveryMoving ? v : Select(still[i], kStill == StillGrey ? grey : cv, v));
        }
    }
    *done = x;
}

template <int kOp, int kStill>
void OutputRow(uint32_t* dst, const uint32_t* const* rows, const uint8_t* const* map, int32_t w) {
    int32_t x = 0;
    if (map[0] == nullptr) {
        OutputRowBody<kOp, kStill, true>(dst, rows, map, w, &x);
    } else {
        OutputRowBody<kOp, kStill, false>(dst, rows, map, w, &x);
    }
    if (x < w) {
        const uint32_t* r[7];
        for (int i = 0; i < 7; ++i) r[i] = rows[i] != nullptr ? rows[i] + x : nullptr;
        const uint8_t* m[3];
        for (int i = 0; i < 3; ++i) m[i] = map[i] != nullptr ? map[i] + x : nullptr;
        kReferenceKernels.output[kOp][kStill](dst + x, r, m, w - x);
    }
}

}  // namespace

extern const KernelTable kSse2Kernels = {
    "sse2",
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
