// Frame and field differencing rows: every fast level against the reference kernels, bit for
// bit, on random rows built to sit on and around the thresholds.
#include <climits>
#include <cstdint>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "core/kernels.h"
#include "core/pixel.h"
#include "tests/kernels/kernel_rows.h"

namespace velmo::kerneltest {
namespace {

class DiffKernels : public FastKernels {};

int32_t Clamp(int64_t v, int64_t lo, int64_t hi) {
    return static_cast<int32_t>(v < lo ? lo : (v > hi ? hi : v));
}

// A step that lands on, just inside or just outside a threshold t (t clamped to 0..256).
int32_t StepAround(int32_t t, std::mt19937& rng) {
    const int32_t s = rng() % 2 ? 1 : -1;
    switch (rng() % 5) {
        case 0: return s * t;
        case 1: return s * (t + 1);
        case 2: return s * (t > 0 ? t - 1 : 0);
        case 3: return 0;
        default: return static_cast<int32_t>(rng() % 7) - 3;
    }
}

// A pixel whose channels differ from p's by steps around t, with byte 3 random.
uint32_t PixelAround(uint32_t p, int32_t t, std::mt19937& rng) {
    if (rng() % 4 == 0) return static_cast<uint32_t>(rng());
    return MakePixel(Blue(p) + StepAround(t, rng), Green(p) + StepAround(t, rng),
                     Red(p) + StepAround(t, rng), static_cast<int32_t>(rng() & 0xFF));
}

// Words that stress the luma test's signed difference.
constexpr uint32_t kExtremeWords[] = {0u,          1u,          255u,        256u,
                                      0x7FFFFFFFu, 0x80000000u, 0x800000FFu, 0x80000100u,
                                      0xFFFFFFFFu, 0xFFFFFF01u, 0x7FFFFF00u, 0x00FFFFFFu};

enum class Stored { SameKind, OtherKind, AnyWord };

// A prevFrame word for the pixel p: of the kind the mode stores, of the other kind, or any.
uint32_t StoredWord(uint32_t p, bool color, int32_t t, Stored stored, std::mt19937& rng) {
    switch (stored) {
        case Stored::SameKind:
            if (color) return PixelAround(p, t, rng);
            return static_cast<uint32_t>(Clamp(int64_t{LumaLevel(p)} + StepAround(t, rng), 0, 255));
        case Stored::OtherKind:
            if (color) return static_cast<uint32_t>(Clamp(int64_t{LumaLevel(p)} + StepAround(t, rng), 0, 255));
            return rng() % 2 ? static_cast<uint32_t>(rng()) : PixelAround(p, t, rng);
        case Stored::AnyWord:
            break;
    }
    return rng() % 2 ? kExtremeWords[rng() % (sizeof(kExtremeWords) / sizeof(kExtremeWords[0]))]
                     : static_cast<uint32_t>(rng());
}

constexpr int32_t kFrameThresholds[] = {INT_MIN, -1000, -1, 0, 1, 15, 100, 254, 255, 256, 1000, INT_MAX};

TEST_P(DiffKernels, FrameDifferencingMatchesTheReference) {
    const char* kindNames[] = {"frame test", "field test against pixels", "field test against stored words"};
    for (int color = 0; color < 2; ++color) {
        for (int kind = 0; kind < 3; ++kind) {
            for (Stored stored : {Stored::SameKind, Stored::OtherKind, Stored::AnyWord}) {
                for (int32_t threshold : kFrameThresholds) {
                    for (int32_t w : TestWidths()) {
                        SCOPED_TRACE(::testing::Message()
                                     << (color ? "colour" : "luma") << ", " << kindNames[kind] << ", stored kind "
                                     << static_cast<int>(stored) << ", threshold " << threshold << ", w " << w);
                        std::mt19937 rng(static_cast<uint32_t>(w) * 7919u + static_cast<uint32_t>(threshold) * 31u +
                                         static_cast<uint32_t>(kind * 5 + color));
                        const int32_t t = Clamp(threshold, 0, 256);
                        const int32_t pad = w % 2 ? 0 : 5;
                        GuardedRow<uint32_t> cur(w, pad), refRow(w, pad), prevRef(w, pad), prevFast(w, pad);
                        GuardedRow<uint8_t> mapRef(w, pad), mapFast(w, pad);
                        std::vector<uint32_t> curCopy(w), refCopy(w);
                        for (int32_t x = 0; x < w; ++x) {
                            const uint32_t p = static_cast<uint32_t>(rng());
                            cur[x] = p;
                            prevRef[x] = StoredWord(p, color, t, stored, rng);
                            refRow[x] = kind == FieldAgainstPixels ? PixelAround(p, t, rng)
                                                                   : StoredWord(p, color, t, stored, rng);
                            mapRef[x] = mapFast[x] = static_cast<uint8_t>(rng());
                            curCopy[x] = cur[x];
                            refCopy[x] = refRow[x];
                        }
                        prevFast.CopyFrom(prevRef.data());
                        const uint32_t* r = kind == FrameTest ? nullptr : refRow.data();

                        const int32_t nRef =
                            ref().diffFrames[color][kind](cur.data(), prevRef.data(), r, mapRef.data(), w, threshold);
                        const int32_t nFast =
                            fast().diffFrames[color][kind](cur.data(), prevFast.data(), r, mapFast.data(), w, threshold);
                        ASSERT_EQ(nRef, nFast);
                        ASSERT_TRUE(SameRow(mapRef.data(), mapFast.data(), w)) << "motion map";
                        ASSERT_TRUE(SameRow(prevRef.data(), prevFast.data(), w)) << "stored words";
                        ASSERT_TRUE(mapFast.GuardsIntact() && prevFast.GuardsIntact());
                        ASSERT_TRUE(SameRow(curCopy.data(), cur.data(), w)) << "current row changed";
                        ASSERT_TRUE(SameRow(refCopy.data(), refRow.data(), w)) << "reference row changed";
                    }
                }
            }
        }
    }
}

// Known answers at the edges of the frame test, so that a fault shared by both levels cannot
// hide: an exact threshold is still, one more moves, stored pixels in luma mode read as large
// signed numbers.
TEST_P(DiffKernels, FrameDifferencingKnownAnswers) {
    struct Case {
        int color;
        uint32_t pixel;
        uint32_t stored;
        int32_t threshold;
        uint8_t moves;
    };
    const Case cases[] = {
        {1, Grey(100), Grey(115), 15, 0},      {1, Grey(100), Grey(116), 15, 1},
        {1, Grey(100, 0), Grey(100, 255), -1, 1},  // a negative threshold: everything moves
        {1, Grey(7, 0), Grey(7, 200), 0, 0},   // byte 3 is never compared
        {1, 0x00FFFFFFu, 0u, 254, 1},          {1, 0x00FFFFFFu, 0u, 255, 0},
        {1, 0x00FFFFFFu, 0u, INT_MAX, 0},      {1, 0u, 0u, INT_MIN, 1},
        {1, Grey(9), 9u, 0, 1},                // a stored level reads as a blue-only pixel
        {0, Grey(200), 185u, 15, 0},           {0, Grey(200), 184u, 15, 1},
        {0, Grey(255), 0x80000000u, INT_MAX, 1},  // 255 + 2^31 exceeds every threshold
        {0, Grey(0), 0x80000000u, INT_MAX, 1},    {0, Grey(0), 0x80000001u, INT_MAX, 0},
        {0, Grey(0), 0x7FFFFFFFu, INT_MAX, 0},    {0, Grey(255), 0x7FFFFFFFu, INT_MAX - 256, 1},
        {0, Grey(3), 0xFFFFFFFFu, 3, 1},          {0, Grey(3), 0xFFFFFFFFu, 4, 0},
    };
    for (const Case& c : cases) {
        for (int32_t w : {1, 16, 37}) {
            SCOPED_TRACE(::testing::Message() << "pixel 0x" << std::hex << c.pixel << ", stored 0x" << c.stored
                                              << std::dec << ", threshold " << c.threshold << ", w " << w);
            for (const KernelTable* table : {&ref(), &fast()}) {
                std::vector<uint32_t> cur(w, c.pixel), prev(w, c.stored);
                std::vector<uint8_t> map(w, 9);
                const int32_t n = table->diffFrames[c.color][FrameTest](cur.data(), prev.data(), nullptr, map.data(),
                                                                        w, c.threshold);
                EXPECT_EQ(n, c.moves ? w : 0) << table->name;
                EXPECT_EQ(map[w - 1], c.moves) << table->name;
                EXPECT_EQ(prev[w - 1], c.color ? c.pixel : static_cast<uint32_t>(LumaLevel(c.pixel))) << table->name;
            }
        }
    }
}

// --- field differencing --------------------------------------------------------------------

// One pixel of each full-scale luma value that some pixel has (0 where none has it).
const std::vector<uint32_t>& PixelOfLuma() {
    static const std::vector<uint32_t> table = [] {
        std::vector<uint32_t> t(65281, 0);
        std::vector<bool> seen(65281, false);
        for (int32_t r = 0; r < 256; ++r)
            for (int32_t g = 0; g < 256; ++g)
                for (int32_t b = 0; b < 256; ++b) {
                    const int32_t l = 76 * r + 150 * g + 30 * b;
                    if (!seen[l]) seen[l] = true, t[l] = MakePixel(b, g, r, 0);
                }
        return t;
    }();
    return table;
}

// A pixel whose luma is the nearest reachable value to `luma`.
uint32_t PixelNearLuma(int64_t luma) {
    const std::vector<uint32_t>& t = PixelOfLuma();
    int32_t l = Clamp(luma, 0, 65280);
    for (int32_t d = 0; d < 65281; ++d) {
        if (l + d <= 65280 && Luma(t[l + d]) == l + d) return t[l + d];
        if (l - d >= 0 && Luma(t[l - d]) == l - d) return t[l - d];
    }
    return 0;
}

enum class Content { Random, Combs, NearLumaLimit, NearChannelLimit };

// Pixels U, C, D of one column: random; combed (C beyond both neighbours); luma steps whose
// product lies within a few units of threshold2 * 65536; or channel steps whose product lies
// on or next to threshold2.
void MakeColumn(Content content, uint32_t threshold2, std::mt19937& rng, uint32_t* u, uint32_t* c, uint32_t* d) {
    *u = static_cast<uint32_t>(rng());
    *c = static_cast<uint32_t>(rng());
    *d = static_cast<uint32_t>(rng());
    switch (content) {
        case Content::Random: return;
        case Content::Combs: {
            const int32_t v = static_cast<int32_t>(rng() % 256), s = rng() % 2 ? 1 : -1;
            *c = MakePixel(v, v + s * static_cast<int32_t>(rng() % 40), v, static_cast<int32_t>(rng() & 0xFF));
            *u = MakePixel(v + s * static_cast<int32_t>(rng() % 60), v, v - s * static_cast<int32_t>(rng() % 60),
                           static_cast<int32_t>(rng() & 0xFF));
            *d = PixelAround(*u, static_cast<int32_t>(rng() % 30), rng);
            return;
        }
        case Content::NearLumaLimit: {
            const int64_t du = Luma(*u) - Luma(*c);
            const int64_t mag = du < 0 ? -du : du;
            if (mag == 0) return;
            const int64_t want = static_cast<int64_t>(threshold2) * 65536 / mag + static_cast<int64_t>(rng() % 5) - 2;
            const int64_t lc = Luma(*c);
            const int64_t ld = (rng() % 2 && lc + want <= 65280) || lc - want < 0 ? lc + want : lc - want;
            *d = PixelNearLuma(ld);
            return;
        }
        case Content::NearChannelLimit: {
            // Each channel: steps a and b with a * b on or next to threshold2, same sign.
            int32_t cu[3], cc[3], cd[3];
            for (int ch = 0; ch < 3; ++ch) {
                const int32_t a = 1 + static_cast<int32_t>(rng() % 255);
                const int32_t b = Clamp(int64_t{threshold2 / static_cast<uint32_t>(a)} + static_cast<int64_t>(rng() % 3) - 1, 0, 255);
                const bool up = rng() % 2;
                const int32_t room = 255 - (a > b ? a : b);
                const int32_t base = room > 0 ? static_cast<int32_t>(rng() % (room + 1)) : 0;
                cc[ch] = up ? base : 255 - base;
                cu[ch] = up ? cc[ch] + a : cc[ch] - a;
                cd[ch] = up ? cc[ch] + b : cc[ch] - b;
            }
            *u = MakePixel(cu[0], cu[1], cu[2], static_cast<int32_t>(rng() & 0xFF));
            *c = MakePixel(cc[0], cc[1], cc[2], static_cast<int32_t>(rng() & 0xFF));
            *d = MakePixel(cd[0], cd[1], cd[2], static_cast<int32_t>(rng() & 0xFF));
            return;
        }
    }
}

constexpr uint32_t kFieldThresholds[] = {0u,     1u,     2u,     224u,        225u,       226u,       1000u,
                                         40000u, 65024u, 65025u, 65535u,      65536u,     100000u,    0xFFFFFFFFu};

TEST_P(DiffKernels, FieldDifferencingMatchesTheReference) {
    for (int color = 0; color < 2; ++color) {
        for (Content content : {Content::Random, Content::Combs, Content::NearLumaLimit, Content::NearChannelLimit}) {
            for (uint32_t threshold2 : kFieldThresholds) {
                for (int32_t w : TestWidths()) {
                    SCOPED_TRACE(::testing::Message() << (color ? "colour" : "luma") << ", content "
                                                      << static_cast<int>(content) << ", threshold2 " << threshold2
                                                      << ", w " << w);
                    std::mt19937 rng(static_cast<uint32_t>(w) * 104729u + threshold2 * 17u + static_cast<uint32_t>(color));
                    const int32_t pad = w % 3 ? 0 : 7;
                    GuardedRow<uint32_t> up(w, pad), cur(w, pad), down(w, pad);
                    GuardedRow<uint8_t> mapRef(w, pad), mapFast(w, pad);
                    for (int32_t x = 0; x < w; ++x) {
                        MakeColumn(content, threshold2, rng, &up[x], &cur[x], &down[x]);
                        mapRef[x] = mapFast[x] = static_cast<uint8_t>(rng());
                    }
                    const int32_t nRef =
                        ref().diffFields[color](up.data(), cur.data(), down.data(), mapRef.data(), w, threshold2);
                    const int32_t nFast =
                        fast().diffFields[color](up.data(), cur.data(), down.data(), mapFast.data(), w, threshold2);
                    ASSERT_EQ(nRef, nFast);
                    ASSERT_TRUE(SameRow(mapRef.data(), mapFast.data(), w));
                    ASSERT_TRUE(mapFast.GuardsIntact());
                }
            }
        }
    }
}

// The luma comb test needs the exact 32-bit product of two steps of up to 65280 against
// threshold2 * 65536. These columns put the product exactly on the limit (still), one unit of
// the low half above it (moving), and at the largest product there is.
TEST_P(DiffKernels, LumaCombProductIsExact) {
    struct Case {
        uint32_t u, c, d;
        uint32_t threshold2;
        uint8_t lumaMoves;
        uint8_t colorMoves;
    };
    const uint32_t white = Grey(255), black = Grey(0);
    const Case cases[] = {
        {white, black, white, 65025, 0, 0},          // 65280^2 == 65025 * 65536 exactly
        {white, black, white, 65024, 1, 1},
        {Grey(0), Grey(15), Grey(0), 225, 0, 0},     // 3840^2 == 225 * 65536
        {Grey(0), Grey(16), Grey(0), 225, 1, 1},
        {Grey(0), Grey(128), Grey(255), 225, 1, 0},  // between its neighbours: luma only
        {Grey(20), Grey(10), Grey(30), 200, 0, 0},   // 2560 * 5120 == 200 * 65536
        {Grey(20), Grey(10), Grey(30), 199, 1, 1},
        // 150 * 65280 = 9792000 = 149 * 65536 + 27136: high half 149, low half non-zero.
        {MakePixel(0, 1, 0, 0), black, white, 149, 1, 1},  // green 1 * 255 > 149
        {MakePixel(0, 1, 0, 0), black, white, 150, 0, 1},
        // 30 * 65280 = 1958400 = 29 * 65536 + 57856.
        {MakePixel(1, 0, 0, 0), black, white, 29, 1, 1},
        {MakePixel(1, 0, 0, 0), black, white, 30, 0, 1},
        // 256 * 256 = 65536 = 1 * 65536: low half zero, high half on the limit.
        {MakePixel(0, 0, 0, 0), Grey(1), MakePixel(0, 0, 0, 0), 1, 0, 0},
        {MakePixel(0, 0, 0, 0), Grey(1), MakePixel(0, 0, 0, 0), 0, 1, 1},
        {Grey(9, 1), Grey(9, 2), Grey(9, 3), 0, 0, 0},  // only byte 3 differs
    };
    for (const Case& c : cases) {
        for (int32_t w : {1, 16, 17, 40}) {
            SCOPED_TRACE(::testing::Message() << std::hex << "U 0x" << c.u << " C 0x" << c.c << " D 0x" << c.d
                                              << std::dec << ", threshold2 " << c.threshold2 << ", w " << w);
            for (const KernelTable* table : {&ref(), &fast()}) {
                for (int color = 0; color < 2; ++color) {
                    std::vector<uint32_t> u(w, c.u), cur(w, c.c), d(w, c.d);
                    std::vector<uint8_t> map(w, 7);
                    const uint8_t want = color ? c.colorMoves : c.lumaMoves;
                    const int32_t n = table->diffFields[color](u.data(), cur.data(), d.data(), map.data(), w, c.threshold2);
                    EXPECT_EQ(n, want ? w : 0) << table->name << (color ? " colour" : " luma");
                    EXPECT_EQ(map[0], want) << table->name << (color ? " colour" : " luma");
                    EXPECT_EQ(map[w - 1], want) << table->name << (color ? " colour" : " luma");
                }
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Levels, DiffKernels, ::testing::ValuesIn(FastLevels()), LevelName);

}  // namespace
}  // namespace velmo::kerneltest
