// Denoising and output rows: every fast level against the reference kernels, bit for bit.
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "core/kernels.h"
#include "tests/kernels/kernel_rows.h"

namespace velmo::kerneltest {
namespace {

class MapKernels : public FastKernels {};

enum class Fill { Empty, Sparse, Half, Dense, Full, Blocks, AnyBytes };
const char* FillName(Fill f) {
    const char* names[] = {"empty", "5%", "50%", "95%", "full", "blocks", "any bytes"};
    return names[static_cast<int>(f)];
}

// A w x h motion map (its own heap block, so that the sanitizers see reads past its end).
std::unique_ptr<uint8_t[]> MakePlane(int32_t w, int32_t h, Fill fill, std::mt19937& rng) {
    const size_t n = static_cast<size_t>(w) * h;
    std::unique_ptr<uint8_t[]> p(new uint8_t[n]);
    auto chance = [&](uint32_t percent) { return rng() % 100 < percent ? 1 : 0; };
    for (size_t i = 0; i < n; ++i) {
        switch (fill) {
            case Fill::Empty: p[i] = 0; break;
            case Fill::Sparse: p[i] = static_cast<uint8_t>(chance(5)); break;
            case Fill::Half: p[i] = static_cast<uint8_t>(chance(50)); break;
            case Fill::Dense: p[i] = static_cast<uint8_t>(chance(95)); break;
            case Fill::Full: p[i] = 1; break;
            case Fill::Blocks: p[i] = 0; break;
            case Fill::AnyBytes: p[i] = rng() % 2 ? static_cast<uint8_t>(rng()) : 0; break;
        }
    }
    if (fill == Fill::Blocks) {
        for (int k = 0; k < 1 + (w * h) / 200; ++k) {
            const int32_t x0 = static_cast<int32_t>(rng() % w), y0 = static_cast<int32_t>(rng() % h);
            const int32_t bw = 1 + static_cast<int32_t>(rng() % 8), bh = 1 + static_cast<int32_t>(rng() % 6);
            for (int32_t y = y0; y < y0 + bh && y < h; ++y)
                for (int32_t x = x0; x < x0 + bw && x < w; ++x) p[static_cast<size_t>(y) * w + x] = 1;
        }
    }
    return p;
}

struct PlaneSize {
    int32_t w, h;
};

std::vector<PlaneSize> DenoiseSizes() {
    std::vector<PlaneSize> sizes;
    for (int32_t w : {1, 2, 3, 4, 5, 6, 7, 9, 15, 16, 17, 18, 31, 32, 33, 34, 40, 47, 63, 64, 65}) {
        for (int32_t h : {1, 2, 3, 4, 5, 6, 9, 17, 40}) sizes.push_back({w, h});
    }
    // Longer rows: several stretches of vertical sums, and stretch ends that are not vector ends.
    for (PlaneSize s : {PlaneSize{100, 100}, PlaneSize{720, 8}, PlaneSize{1023, 5}, PlaneSize{1026, 6},
                        PlaneSize{1040, 5}, PlaneSize{2100, 7}, PlaneSize{3853, 5}}) {
        sizes.push_back(s);
    }
    return sizes;
}

TEST_P(MapKernels, SpeckFilterAndGrowthMatchTheReference) {
    for (PlaneSize size : DenoiseSizes()) {
        for (Fill fill : {Fill::Empty, Fill::Sparse, Fill::Half, Fill::Dense, Fill::Full, Fill::Blocks, Fill::AnyBytes}) {
            const int32_t w = size.w, h = size.h;
            std::mt19937 rng(static_cast<uint32_t>(w * 131 + h * 7 + static_cast<int>(fill)));
            const std::unique_ptr<uint8_t[]> plane = MakePlane(w, h, fill, rng);
            for (int grow = 0; grow < 2; ++grow) {
                const DenoiseRowFn refFn = grow ? ref().grow : ref().speck;
                const DenoiseRowFn fastFn = grow ? fast().grow : fast().speck;
                for (int32_t y = 0; y < h; ++y) {
                    SCOPED_TRACE(::testing::Message() << (grow ? "growth" : "speck filter") << ", " << w << " x " << h
                                                      << ", " << FillName(fill) << ", row " << y);
                    const int32_t pad = (y % 2) ? 0 : 9;
                    GuardedRow<uint8_t> outRef(w, pad), outFast(w, pad);
                    for (int32_t x = 0; x < w; ++x) outRef[x] = outFast[x] = static_cast<uint8_t>(rng());
                    refFn(plane.get(), outRef.data(), w, h, y);
                    fastFn(plane.get(), outFast.data(), w, h, y);
                    ASSERT_TRUE(SameRow(outRef.data(), outFast.data(), w));
                    ASSERT_TRUE(outFast.GuardsIntact());
                }
            }
        }
    }
}

// --- output rows ---------------------------------------------------------------------------

// Pixels that reach the clamps of the cubic taps and the carries of the packed operations.
uint32_t OutputPixel(std::mt19937& rng) {
    switch (rng() % 4) {
        case 0: return static_cast<uint32_t>(rng());
        case 1: return (rng() % 2 ? 0x00FFFFFFu : 0u) | (static_cast<uint32_t>(rng()) & 0xFF000000u);
        case 2: {
            const uint32_t b = rng() % 2 ? 255 : 0, g = rng() % 2 ? 255 : 0, r = rng() % 2 ? 255 : 0;
            return b | g << 8 | r << 16 | (static_cast<uint32_t>(rng()) & 0xFF000000u);
        }
        default: {
            const uint32_t v = 96 + rng() % 64;
            return v | v << 8 | v << 16 | (static_cast<uint32_t>(rng()) << 24);
        }
    }
}

enum class Motion { EveryPixel, None, Sparse, Half, All, Runs };
const char* MotionName(Motion m) {
    const char* names[] = {"scene change", "none", "sparse", "half", "all", "runs"};
    return names[static_cast<int>(m)];
}

uint8_t MapByte(Motion m, int32_t x, std::mt19937& rng) {
    const uint8_t moving = static_cast<uint8_t>(1 + rng() % 255);  // any non-zero byte moves
    switch (m) {
        case Motion::Sparse: return rng() % 30 == 0 ? moving : 0;
        case Motion::Half: return rng() % 2 ? moving : 0;
        case Motion::All: return moving;
        case Motion::Runs: return (x / 21) % 3 == 0 ? 1 : 0;
        default: return 0;
    }
}

TEST_P(MapKernels, OutputRowsMatchTheReference) {
    const char* opNames[] = {"copy", "linear", "cubic", "blend"};
    for (int op = 0; op < 4; ++op) {
        for (int still = 0; still < 2; ++still) {
            if (op == OpCopy && still == StillCopy) continue;
            for (Motion motion : {Motion::EveryPixel, Motion::None, Motion::Sparse, Motion::Half, Motion::All, Motion::Runs}) {
                for (int32_t w : TestWidths()) {
                    SCOPED_TRACE(::testing::Message() << opNames[op] << (still ? ", grey" : ", copy") << " when still, "
                                                      << MotionName(motion) << ", w " << w);
                    std::mt19937 rng(static_cast<uint32_t>(w * 613 + op * 37 + still * 11 + static_cast<int>(motion)));
                    const int32_t pad = w % 2 ? 0 : 3;
                    std::vector<std::unique_ptr<GuardedRow<uint32_t>>> rows;
                    const uint32_t* rowPtr[7];
                    // Rows 3 away from y are only handed over where cubic can apply; leave them
                    // out of some other rows, as at the top and bottom of a frame.
                    const bool outerRows = op == OpCubic || rng() % 2;
                    for (int i = 0; i < 7; ++i) {
                        rows.emplace_back(new GuardedRow<uint32_t>(w, pad));
                        for (int32_t x = 0; x < w; ++x) (*rows.back())[x] = OutputPixel(rng);
                        const bool present = outerRows || (i != 0 && i != 6 && i != 1 && i != 5);
                        rowPtr[i] = present ? rows.back()->data() : nullptr;
                    }
                    std::vector<std::unique_ptr<GuardedRow<uint8_t>>> maps;
                    const uint8_t* mapPtr[3];
                    for (int i = 0; i < 3; ++i) {
                        maps.emplace_back(new GuardedRow<uint8_t>(w, pad));
                        for (int32_t x = 0; x < w; ++x) (*maps.back())[x] = MapByte(motion, x, rng);
                        mapPtr[i] = motion == Motion::EveryPixel ? nullptr : maps.back()->data();
                    }
                    GuardedRow<uint32_t> dstRef(w, pad), dstFast(w, pad);
                    for (int32_t x = 0; x < w; ++x) dstRef[x] = dstFast[x] = static_cast<uint32_t>(rng());

                    ref().output[op][still](dstRef.data(), rowPtr, mapPtr, w);
                    fast().output[op][still](dstFast.data(), rowPtr, mapPtr, w);
                    ASSERT_TRUE(SameRow(dstRef.data(), dstFast.data(), w));
                    ASSERT_TRUE(dstFast.GuardsIntact());
                    for (const auto& r : rows) ASSERT_TRUE(r->GuardsIntact());
                }
            }
        }
    }
}

// Known answers per channel, so that a fault shared by both levels cannot hide. The seven rows
// hold one pixel each; byte 3 of the destination starts at 0xAB.
TEST_P(MapKernels, OutputKnownAnswers) {
    struct Case {
        int op;
        uint32_t y3, y1, c, y1d, y3d;  // rows y-3, y-1, y, y+1, y+3
        uint32_t expected;
    };
    auto grey = [](uint32_t v, uint32_t a) { return v | v << 8 | v << 16 | a << 24; };
    const Case cases[] = {
        {OpLinear, 0, grey(255, 9), grey(1, 9), grey(255, 9), 0, grey(254, 0)},
        {OpLinear, 0, grey(1, 9), 0, grey(1, 9), 0, grey(0, 0)},
        {OpLinear, 0, grey(255, 9), 0, grey(0, 9), 0, grey(127, 0)},
        {OpBlend, 0, grey(255, 9), grey(255, 9), grey(255, 9), 0, grey(253, 0)},
        {OpCubic, grey(77, 1), grey(77, 2), grey(3, 3), grey(77, 4), grey(77, 5), grey(77, 0xAB)},
        {OpCubic, grey(255, 1), grey(0, 2), grey(3, 3), grey(0, 4), grey(255, 5), grey(0, 0xAB)},
        {OpCubic, grey(0, 1), grey(255, 2), grey(3, 3), grey(255, 4), grey(0, 5), grey(255, 0xAB)},
        {OpCubic, grey(101, 1), grey(100, 2), grey(3, 3), grey(100, 4), grey(101, 5), grey(99, 0xAB)},
        // Per channel: blue 5 * 1 - 3 = 2 gives 0; red -1 >> 3 is -1, clamped to 0.
        {OpCubic, 0x00010203u, 0x00000100u, 0, 0x00000001u, 0x00000000u, 0xAB000000u},
    };
    for (const Case& c : cases) {
        for (int32_t w : {1, 16, 40}) {
            SCOPED_TRACE(::testing::Message() << "operation " << c.op << ", w " << w);
            const std::vector<uint32_t> y3(w, c.y3), y2(w, 0x11111111u), y1(w, c.y1), mid(w, c.c), y1d(w, c.y1d),
                y2d(w, 0x22222222u), y3d(w, c.y3d);
            const uint32_t* rows[7] = {y3.data(), y2.data(), y1.data(), mid.data(), y1d.data(), y2d.data(), y3d.data()};
            const uint8_t* none[3] = {nullptr, nullptr, nullptr};
            for (const KernelTable* table : {&ref(), &fast()}) {
                std::vector<uint32_t> dst(w, 0xABCDEF01u);
                table->output[c.op][StillCopy](dst.data(), rows, none, w);
                EXPECT_EQ(dst[0], c.expected) << table->name;
                EXPECT_EQ(dst[w - 1], c.expected) << table->name;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Levels, MapKernels, ::testing::ValuesIn(FastLevels()), LevelName);

}  // namespace
}  // namespace velmo::kerneltest
