// Reference kernels: the plain statement of every stage's arithmetic. Faster versions must
// match these byte for byte.
#include <algorithm>
#include <cstddef>

#include "core/kernels.h"
#include "core/pixel.h"

namespace velmo {
namespace {

// --- frame differencing ------------------------------------------------------------------

template <bool kColor, int kKind>
int32_t DiffFramesRowRef(const uint32_t* cur, uint32_t* prev, const uint32_t* ref, uint8_t* map,
                         int32_t w, int32_t threshold) {
    int32_t moving = 0;
    for (int32_t x = 0; x < w; ++x) {
        const uint32_t p = cur[x];
        const uint32_t s = prev[x];
        const int32_t level = LumaLevel(p);
        bool moves;
        if (kColor) {
            moves = ChannelsDiffer(p, s, threshold);
            if (kKind != FrameTest) moves = moves && ChannelsDiffer(p, ref[x], threshold);
        } else {
            moves = Differs(level, static_cast<int32_t>(s), threshold);
            if (kKind == FieldAgainstPixels) {
                moves = moves && Differs(level, LumaLevel(ref[x]), threshold);
            } else if (kKind == FieldAgainstStored) {
                moves = moves && Differs(level, static_cast<int32_t>(ref[x]), threshold);
            }
        }
        map[x] = moves ? 1 : 0;
        prev[x] = kColor ? p : static_cast<uint32_t>(level);
        moving += moves ? 1 : 0;
    }
    return moving;
}

// --- field differencing ------------------------------------------------------------------

int32_t DiffFieldsRowLumaRef(const uint32_t* up, const uint32_t* cur, const uint32_t* down,
                             uint8_t* map, int32_t w, uint32_t threshold2) {
    const uint32_t limit = threshold2 << 16;  // threshold2 <= 65025, so this fits
    int32_t moving = 0;
    for (int32_t x = 0; x < w; ++x) {
        const int32_t c = Luma(cur[x]);
        const int32_t du = Luma(up[x]) - c;
        const int32_t dd = Luma(down[x]) - c;
        const uint32_t product = static_cast<uint32_t>(du < 0 ? -du : du) *
                                 static_cast<uint32_t>(dd < 0 ? -dd : dd);
        const bool moves = product > limit;
        map[x] = moves ? 1 : 0;
        moving += moves ? 1 : 0;
    }
    return moving;
}

bool CombsIn(int32_t u, int32_t c, int32_t d, int32_t threshold2) {
    return (u - c) * (d - c) > threshold2;
}

int32_t DiffFieldsRowColorRef(const uint32_t* up, const uint32_t* cur, const uint32_t* down,
                              uint8_t* map, int32_t w, uint32_t threshold2) {
    const int32_t t = static_cast<int32_t>(threshold2);
    int32_t moving = 0;
    for (int32_t x = 0; x < w; ++x) {
        const uint32_t u = up[x], c = cur[x], d = down[x];
        const bool moves = CombsIn(Blue(u), Blue(c), Blue(d), t) ||
                           CombsIn(Red(u), Red(c), Red(d), t) ||
                           CombsIn(Green(u), Green(c), Green(d), t);
        map[x] = moves ? 1 : 0;
        moving += moves ? 1 : 0;
    }
    return moving;
}

// --- denoising -----------------------------------------------------------------------------

int32_t WindowSum(const uint8_t* in, int32_t w, int32_t h, int32_t y, int32_t x) {
    const int32_t y0 = std::max(0, y - 2), y1 = std::min(h - 1, y + 2);
    const int32_t x0 = std::max(0, x - 2), x1 = std::min(w - 1, x + 2);
    int32_t sum = 0;
    for (int32_t r = y0; r <= y1; ++r) {
        const uint8_t* row = in + static_cast<ptrdiff_t>(r) * w;
        for (int32_t c = x0; c <= x1; ++c) sum += row[c];
    }
    return sum;
}

void SpeckRowRef(const uint8_t* in, uint8_t* outRow, int32_t w, int32_t h, int32_t y) {
    const uint8_t* row = in + static_cast<ptrdiff_t>(y) * w;
    for (int32_t x = 0; x < w; ++x) {
        outRow[x] = (row[x] != 0 && WindowSum(in, w, h, y, x) > 9) ? 1 : 0;
    }
}

void GrowRowRef(const uint8_t* in, uint8_t* outRow, int32_t w, int32_t h, int32_t y) {
    const int32_t y0 = std::max(0, y - 2), y1 = std::min(h - 1, y + 2);
    for (int32_t x = 0; x < w; ++x) {
        const int32_t x0 = std::max(0, x - 2), x1 = std::min(w - 1, x + 2);
        uint8_t any = 0;
        for (int32_t r = y0; r <= y1 && !any; ++r) {
            const uint8_t* row = in + static_cast<ptrdiff_t>(r) * w;
            for (int32_t c = x0; c <= x1; ++c) any |= row[c];
        }
        outRow[x] = any ? 1 : 0;
    }
}

// --- output synthesis --------------------------------------------------------------------

uint32_t Linear(uint32_t a, uint32_t b) { return ((a & 0xFEFEFEu) >> 1) + ((b & 0xFEFEFEu) >> 1); }

uint32_t Blend(uint32_t a, uint32_t b, uint32_t c) {
    return ((a & 0xFCFCFCu) >> 2) + ((b & 0xFCFCFCu) >> 2) + ((c & 0xFEFEFEu) >> 1);
}

uint8_t CubicChannel(int32_t p3u, int32_t p1u, int32_t p1d, int32_t p3d) {
    const int32_t t = (5 * (p1u + p1d) - (p3u + p3d)) >> 3;  // arithmetic: towards minus infinity
    return static_cast<uint8_t>(t < 0 ? 0 : (t > 255 ? 255 : t));
}

template <int kOp, int kStill>
void OutputRowRef(uint32_t* dst, const uint32_t* const* rows, const uint8_t* const* map,
                  int32_t w) {
    const uint32_t* c = rows[3];
    const uint32_t* a = rows[2];
    const uint32_t* b = rows[4];
    for (int32_t x = 0; x < w; ++x) {
        const bool moving = map[0] == nullptr || (map[0][x] | map[1][x] | map[2][x]) != 0;
        if (!moving) {
            dst[x] = kStill == StillGrey ? kGrey : c[x];
            continue;
        }
        switch (kOp) {
            case OpCopy: dst[x] = c[x]; break;
            case OpLinear: dst[x] = Linear(a[x], b[x]); break;
            case OpBlend: dst[x] = Blend(a[x], b[x], c[x]); break;
            case OpCubic: {
                // Only the three colour bytes are written; byte 3 keeps what it held.
                uint8_t* out = reinterpret_cast<uint8_t*>(dst + x);
                const uint32_t u3 = rows[0][x], u1 = a[x], d1 = b[x], d3 = rows[6][x];
                out[0] = CubicChannel(Blue(u3), Blue(u1), Blue(d1), Blue(d3));
                out[1] = CubicChannel(Green(u3), Green(u1), Green(d1), Green(d3));
                out[2] = CubicChannel(Red(u3), Red(u1), Red(d1), Red(d3));
                break;
            }
        }
    }
}

}  // namespace

extern const KernelTable kReferenceKernels = {
    "reference",
    {{DiffFramesRowRef<false, FrameTest>, DiffFramesRowRef<false, FieldAgainstPixels>,
      DiffFramesRowRef<false, FieldAgainstStored>},
     {DiffFramesRowRef<true, FrameTest>, DiffFramesRowRef<true, FieldAgainstPixels>,
      DiffFramesRowRef<true, FieldAgainstStored>}},
    {DiffFieldsRowLumaRef, DiffFieldsRowColorRef},
    SpeckRowRef,
    GrowRowRef,
    {{nullptr, OutputRowRef<OpCopy, StillGrey>},
     {OutputRowRef<OpLinear, StillCopy>, OutputRowRef<OpLinear, StillGrey>},
     {OutputRowRef<OpCubic, StillCopy>, OutputRowRef<OpCubic, StillGrey>},
     {OutputRowRef<OpBlend, StillCopy>, OutputRowRef<OpBlend, StillGrey>}},
};

}  // namespace velmo
