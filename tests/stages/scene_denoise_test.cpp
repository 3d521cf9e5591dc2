// The scene-change test and the motion-map denoising.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/stages/frames.h"

namespace velmo::stagetest {
namespace {

// Only rows 1 to h - 2 are ever counted, so a fully moving interior gives a percentage ceiling
// that depends on the height; the threshold is met at the ceiling and missed one above it.
TEST(SceneChange, CeilingsOfAFullyMovingInterior) {
    struct Case {
        int32_t w, h, ceiling;
    } cases[] = {
        {720, 480, 99}, {16, 200, 99}, {3, 199, 98}, {5, 100, 98}, {7, 10, 80},
        {9, 4, 50}, {11, 3, 33}, {13, 2, 0}, {7680, 4320, 99},  // 8K: movingCount * 100 > 2^31
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h));
        const int32_t moving = c.w * (c.h - 2);
        EXPECT_TRUE(CheckSceneChange(moving, c.w, c.h, c.ceiling));
        EXPECT_FALSE(CheckSceneChange(moving, c.w, c.h, c.ceiling + 1));
        EXPECT_FALSE(CheckSceneChange(moving, c.w, c.h, 100));
    }
}

TEST(SceneChange, PercentRoundsDownAndMeetsTheThreshold) {
    struct Case {
        int32_t moving, w, h, threshold;
        bool scene;
    } cases[] = {
        {50, 10, 10, 50, true},   // exactly 50 %
        {50, 10, 10, 51, false},
        {49, 10, 10, 49, true},
        {59, 10, 10, 50, true},   // 59 % -> 59
        {9, 10, 100, 1, false},   // 0.9 % -> 0
        {10, 10, 100, 1, true},
        {499, 10, 100, 50, false}, // 49.9 % -> 49
        {0, 10, 10, 0, true},     // 0 and below: every frame
        {0, 10, 10, -5, true},
        {0, 10, 10, 1, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CheckSceneChange(c.moving, c.w, c.h, c.threshold), c.scene)
            << c.moving << " of " << c.w << "x" << c.h << " at " << c.threshold;
    }
}

// Maps drawn as text: '#' moving, '.' still; rows in memory order.
std::vector<uint8_t> MapOf(const std::vector<std::string>& art) {
    std::vector<uint8_t> map;
    for (const std::string& row : art)
        for (char ch : row) map.push_back(ch == '#' ? 1 : 0);
    return map;
}

std::vector<std::string> ArtOf(const uint8_t* map, int32_t w, int32_t h) {
    std::vector<std::string> art;
    for (int32_t y = 0; y < h; ++y) {
        std::string row;
        for (int32_t x = 0; x < w; ++x) row += map[static_cast<size_t>(y) * w + x] ? '#' : '.';
        art.push_back(row);
    }
    return art;
}

struct DenoiseCase {
    const char* what;
    std::vector<std::string> before, after;
};

void PrintTo(const DenoiseCase& c, std::ostream* os) { *os << c.what; }

std::vector<std::string> Full(int32_t w, int32_t h) { return std::vector<std::string>(h, std::string(w, '#')); }

class Denoise : public ::testing::TestWithParam<DenoiseCase> {};

TEST_P(Denoise, CleansTheMap) {
    const DenoiseCase& c = GetParam();
    const int32_t h = static_cast<int32_t>(c.before.size());
    const int32_t w = static_cast<int32_t>(c.before[0].size());
    for (const KernelTable* k : AvailableKernels()) {
        SCOPED_TRACE(k->name);
        Instance inst;
        inst.d.denoiseMotion = 1;
        inst.Start(w, h);
        std::memset(inst.d.denoiseMap, 0xCC, static_cast<size_t>(w) * h);  // never cleared: any content
        const std::vector<uint8_t> before = MapOf(c.before);
        std::memcpy(inst.d.motionMap, before.data(), before.size());
        DenoiseMotionMap(&inst.d, w, h, *k);
        EXPECT_EQ(ArtOf(inst.d.motionMap, w, h), c.after);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, Denoise,
    ::testing::Values(
        DenoiseCase{"single pixel and a long line vanish",
                    {"..........", "..#.......", "..........", "..........", "##########", "..........",
                     "..........", ".......#..", ".......#..", ".......#.."},
                    std::vector<std::string>(10, "..........")},
        DenoiseCase{"2x4 band vanishes",
                    {"..........", "..........", "..........", "...####...", "...####...", "..........",
                     "..........", ".........."},
                    std::vector<std::string>(8, "..........")},
        DenoiseCase{"2x5 band becomes a 6x5 block",
                    {".........", ".........", ".........", ".........", "..#####..", "..#####..", ".........",
                     ".........", ".........", "........."},
                    {".........", ".........", "..#####..", "..#####..", "..#####..", "..#####..", "..#####..",
                     "..#####..", ".........", "........."}},
        DenoiseCase{"2x11 band becomes a 6x11 block",
                    {"...............", "...............", "...............", "..###########..",
                     "..###########..", "...............", "...............", "..............."},
                    {"...............", "..###########..", "..###########..", "..###########..",
                     "..###########..", "..###########..", "..###########..", "..............."}},
        DenoiseCase{"4x4 block becomes 8x8 without its corners",
                    {"............", "............", "............", "............", "....####....",
                     "....####....", "....####....", "....####....", "............", "............",
                     "............", "............"},
                    {"............", "............", "...######...", "..########..", "..########..",
                     "..########..", "..########..", "..########..", "..########..", "...######...",
                     "............", "............"}},
        DenoiseCase{"a full 5x5 map stays full (corners set by growth)", Full(5, 5), Full(5, 5)},
        DenoiseCase{"a full 9x6 map stays full", Full(9, 6), Full(9, 6)},
        DenoiseCase{"fewer than ten pixels lose everything", Full(3, 3), std::vector<std::string>(3, "...")},
        DenoiseCase{"a corner pixel alone is never kept",
                    {"#....", ".....", ".....", ".....", "....."}, std::vector<std::string>(5, ".....")},
        DenoiseCase{"a 2-row band on the edge rows survives",
                    {"########", "########", "........", "........", "........", "........"},
                    {"########", "########", "########", "########", "........", "........"}}),
    [](const ::testing::TestParamInfo<DenoiseCase>& info) { return "Case" + std::to_string(info.index); });

// Rows 0 and h - 1 are left by the last denoising pass and take part in the next frame's speck
// filter: a moving row 1 under a stale moving row 0 survives, under a still row 0 it vanishes.
TEST(DenoiseThroughRunFrame, StaleEdgeRowsCarryOver) {
    const int32_t w = 8, h = 6;
    for (bool staleTop : {true, false}) {
        SCOPED_TRACE(staleTop ? "row 0 moving from the last pass" : "row 0 still");
        Instance inst;
        inst.d.denoiseMotion = 1;
        inst.d.diffMode = FieldOnly;
        inst.d.showMotionOnly = 1;
        inst.Start(w, h);
        inst.mapWidth = w;
        for (int32_t x = 0; x < w; ++x) inst.map(0, x) = staleTop ? 1 : 0;
        // Row 1 combs against rows 0 and 2; nothing else does.
        TestFrame src(w, h), dst(w, h);
        src.Fill([](int32_t y, int32_t) { return y == 1 ? Grey(255) : Grey(0); });
        inst.Run(src, dst, 1);
        const std::vector<std::string> expected =
            staleTop ? std::vector<std::string>{"########", "########", "########", "########", "........", "........"}
                     : std::vector<std::string>(h, "........");
        EXPECT_EQ(ArtOf(inst.d.motionMap, w, h), expected);
        // The picture follows the map: grey only where nothing moves. Output row 4 reads map
        // rows 3 to 5, so it moves with the grown area.
        EXPECT_EQ(dst.at(4, 3), staleTop ? Grey(0) : 0x7F7F7Fu);
        EXPECT_EQ(dst.at(2, 3), staleTop ? Grey(0) : 0x7F7F7Fu);
    }
}

// A scene change skips denoising: the map keeps the unfiltered result, rows 0 and h - 1 their
// old content.
TEST(DenoiseThroughRunFrame, SkippedOnASceneChange) {
    const int32_t w = 8, h = 6;
    Instance inst;
    inst.d.denoiseMotion = 1;
    inst.d.diffMode = FieldOnly;
    inst.d.sceneThreshold = 0;
    inst.Start(w, h);
    inst.mapWidth = w;
    inst.map(h - 1, 4) = 1;
    TestFrame src(w, h), dst(w, h);
    src.Fill([](int32_t y, int32_t x) { return y == 1 && x == 2 ? Grey(255) : Grey(0); });
    inst.Run(src, dst, 0);
    EXPECT_EQ(ArtOf(inst.d.motionMap, w, h),
              (std::vector<std::string>{"........", "..#.....", "........", "........", "........", "....#..."}));
}

}  // namespace
}  // namespace velmo::stagetest
