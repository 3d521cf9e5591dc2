// The Config(...) line through the host's two script callbacks: the handler the script runs and
// the line the filter writes into the host's script.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/main.h"
#include "host/config_line.h"
#include "host/records.h"
#include "host/script.h"

namespace velmo {
namespace host {
namespace {

// A host's new instance record: whatever the allocator left there (by default the pattern of a
// debugging allocator; zero where a line of the defaults is wanted), then InitSettings.
struct Instance {
    DeinterlaceInstance inst;
    HostFilterContext ctx;
    explicit Instance(int fill = 0xCD) {
        std::memset(&inst, fill, sizeof inst);
        std::memset(&ctx, 0xCD, sizeof ctx);
        ctx.instance = &inst;
        velmo::InitSettings(&inst);
    }
};

// Argument values as the host's interpreter lays them out: tag, a host link, the value.
std::vector<ScriptValue> Values(const std::vector<int32_t>& ints) {
    std::vector<ScriptValue> v(ints.size());
    for (size_t k = 0; k < ints.size(); ++k) {
        std::memset(&v[k], 0xAB, sizeof v[k]);
        v[k].type = 1;
        v[k].value.i = ints[k];
    }
    return v;
}

void RunConfig(Instance& in, const std::vector<int32_t>& ints) {
    std::vector<ScriptValue> v = Values(ints);
    ScriptConfig(nullptr, &in.ctx, v.data(), static_cast<int32_t>(v.size()));
}

std::string Line(Instance& in) {
    char buf[kConfigLineMax];
    EXPECT_TRUE(FormatScript(&in.ctx, nullptr, buf, sizeof buf));
    return buf;
}

// Reads a written line back into the twelve numbers, demanding the exact form.
bool ParseLine(const std::string& line, std::vector<int32_t>* out) {
    int v[12];
    int used = -1;
    const int got = std::sscanf(line.c_str(), "Config(%d, %d, %d, %d, %d, %d, %d, %d, %d, %d, %d, %d)%n", &v[0],
                                &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], &v[7], &v[8], &v[9], &v[10], &v[11],
                                &used);
    if (got != 12 || used != static_cast<int>(line.size())) return false;
    out->assign(v, v + 12);
    return true;
}

using Field = int32_t DeinterlaceInstance::*;
// The settings in argument order, spelt out: motionDisabled is eighth, not last.
const Field kArgOrder[12] = {
    &DeinterlaceInstance::showMotionOnly, &DeinterlaceInstance::blendMotion,
    &DeinterlaceInstance::motionThreshold, &DeinterlaceInstance::sceneThreshold,
    &DeinterlaceInstance::phaseShift,     &DeinterlaceInstance::swapBefore,
    &DeinterlaceInstance::swapAfter,      &DeinterlaceInstance::motionDisabled,
    &DeinterlaceInstance::denoiseMotion,  &DeinterlaceInstance::diffMode,
    &DeinterlaceInstance::compareColor,   &DeinterlaceInstance::cubicInterpolation,
};
const int kSwitchArgs[9] = {0, 1, 4, 5, 6, 7, 8, 10, 11};

TEST(Script, WrittenLineRunsBackToTheSameSettingsForEverySwitchPattern) {
    // motionThreshold, sceneThreshold, diffMode
    const int32_t numbers[][3] = {{15, 100, 0}, {-3, 0, 7}, {INT_MIN, INT_MAX, 2}, {255, -100, 1}, {0, 50, -1}};
    for (int pattern = 0; pattern < 512; ++pattern) {
        Instance written;
        for (int s = 0; s < 9; ++s) written.inst.*kArgOrder[kSwitchArgs[s]] = (pattern >> s) & 1;
        const int32_t* n = numbers[pattern % 5];
        written.inst.motionThreshold = n[0];
        written.inst.sceneThreshold = n[1];
        written.inst.diffMode = n[2];

        const std::string line = Line(written);
        char shared[kConfigLineMax];
        ASSERT_TRUE(FormatConfigLine(written.inst, shared, sizeof shared));
        EXPECT_EQ(line, shared) << "the tool and the host write the same line";
        std::vector<int32_t> args;
        ASSERT_TRUE(ParseLine(line, &args)) << line;

        Instance restored;
        const DeinterlaceInstance before = restored.inst;
        RunConfig(restored, args);
        for (int k = 0; k < 12; ++k)
            ASSERT_EQ(restored.inst.*kArgOrder[k], written.inst.*kArgOrder[k]) << "argument " << k + 1 << ": " << line;
        EXPECT_EQ(std::memcmp(&restored.inst, &before, offsetof(DeinterlaceInstance, showMotionOnly)), 0)
            << "the buffer pointers are not the script's";
    }
}

TEST(Script, EachArgumentReachesItsOwnSetting) {
    // Argument k alone set to a value; the switches store 1 for any nonzero value, the three
    // numbers store the value itself.
    const int32_t values[] = {1, 5, -1, INT_MIN, INT_MAX, -3, 7};
    for (int k = 0; k < 12; ++k) {
        const bool isSwitch = k != 2 && k != 3 && k != 9;
        for (int32_t value : values) {
            Instance in;
            std::vector<int32_t> args(12, 0);
            args[k] = value;
            RunConfig(in, args);
            for (int j = 0; j < 12; ++j) {
                const int32_t want = j != k ? 0 : isSwitch ? 1 : value;
                EXPECT_EQ(in.inst.*kArgOrder[j], want) << "argument " << k + 1 << " = " << value << ", setting " << j + 1;
            }
        }
    }
}

TEST(Script, LinesOfKnownSettings) {
    struct Case {
        const char* what;
        std::vector<int32_t> args;  // empty: the defaults of a new instance
        const char* line;
    };
    const Case cases[] = {
        {"defaults", {}, "Config(0, 0, 15, 100, 0, 0, 0, 0, 0, 0, 1, 0)"},
        {"negative threshold and mode 7", {0, 0, -3, 100, 0, 0, 0, 0, 0, 7, 1, 0},
         "Config(0, 0, -3, 100, 0, 0, 0, 0, 0, 7, 1, 0)"},
        {"switches 5 and -1 come back as 1", {5, -1, 15, 100, 0, 0, 0, -1, 0, 0, 5, 0},
         "Config(1, 1, 15, 100, 0, 0, 0, 1, 0, 0, 1, 0)"},
        {"motionDisabled is eighth", {0, 0, 15, 100, 0, 0, 0, 1, 0, 0, 1, 0},
         "Config(0, 0, 15, 100, 0, 0, 0, 1, 0, 0, 1, 0)"},
        {"every switch on", {1, 1, 255, 0, 1, 1, 1, 1, 1, 2, 1, 1},
         "Config(1, 1, 255, 0, 1, 1, 1, 1, 1, 2, 1, 1)"},
    };
    for (const Case& c : cases) {
        Instance in(0);
        if (!c.args.empty()) RunConfig(in, c.args);
        EXPECT_EQ(Line(in), c.line) << c.what;
    }
    Instance fresh(0);
    EXPECT_EQ(Line(fresh).size(), 45u);
}

TEST(Script, LongestLineFitsTheLargestBuffer) {
    Instance in;
    for (int k = 0; k < 12; ++k) in.inst.*kArgOrder[k] = INT_MIN;  // set in the record, past the script
    const std::string line = Line(in);
    EXPECT_EQ(line.size(), 162u);
    EXPECT_EQ(kConfigLineMax, 163u);
    EXPECT_EQ(line.rfind("Config(-2147483648, ", 0), 0u);
}

TEST(Script, SmallBuffersAreNeverOverrunAndNeverHoldACutLine) {
    Instance shortLine(0);  // the 45-character default line
    Instance longLine;   // 162 characters
    for (int k = 0; k < 12; ++k) longLine.inst.*kArgOrder[k] = INT_MIN;
    const size_t kGuard = 32;
    struct Case {
        Instance* in;
        size_t length;
        int32_t size;
    };
    const Case cases[] = {
        {&shortLine, 45, 0},   {&shortLine, 45, 1},   {&shortLine, 45, 44},  {&shortLine, 45, 45},
        {&shortLine, 45, 46},  {&shortLine, 45, 163}, {&longLine, 162, 1},   {&longLine, 162, 46},
        {&longLine, 162, 161}, {&longLine, 162, 162}, {&longLine, 162, 163}, {&longLine, 162, 200},
    };
    for (const Case& c : cases) {
        std::vector<char> mem(static_cast<size_t>(c.size) + 2 * kGuard, '#');
        char* buf = mem.data() + kGuard;
        const bool whole = FormatScript(&c.in->ctx, nullptr, buf, c.size);
        const std::string where = "line of " + std::to_string(c.length) + " in " + std::to_string(c.size) + " bytes";
        for (size_t i = 0; i < kGuard; ++i) {
            ASSERT_EQ(mem[i], '#') << where << ": written before the buffer";
            ASSERT_EQ(mem[kGuard + c.size + i], '#') << where << ": written past the buffer";
        }
        const bool fits = static_cast<size_t>(c.size) > c.length;
        EXPECT_EQ(whole, fits) << where;
        if (c.size == 0) continue;
        const size_t len = strnlen(buf, static_cast<size_t>(c.size));
        ASSERT_LT(len, static_cast<size_t>(c.size)) << where << ": not terminated";
        if (fits) {
            EXPECT_EQ(len, c.length) << where;
        } else {
            EXPECT_EQ(len, 0u) << where << ": a cut-off line is left behind";
        }
    }
    // A negative size is no room at all.
    char untouched[4] = {'#', '#', '#', '#'};
    EXPECT_FALSE(FormatScript(&shortLine.ctx, nullptr, untouched, -1));
    EXPECT_EQ(untouched[0], '#');
}

TEST(Script, OnlyTheArgumentsTheHostPassesAreRead) {
    // Exactly `count` values are allocated, so a read past them is caught by the sanitizers;
    // the settings after them keep their values.
    const std::vector<int32_t> full = {1, 1, 99, 42, 1, 1, 1, 1, 1, 2, 0, 1};
    for (int32_t count : {0, 1, 3, 8, 11, 12}) {
        Instance in;
        Instance untouched;
        std::unique_ptr<ScriptValue[]> args(new ScriptValue[count > 0 ? count : 1]);
        for (int32_t k = 0; k < count; ++k) {
            args[k].type = 1;
            args[k].link = nullptr;
            args[k].value.i = full[k];
        }
        ScriptConfig(nullptr, &in.ctx, count > 0 ? args.get() : nullptr, count);
        for (int k = 0; k < 12; ++k) {
            const int32_t want = k < count ? full[k] : untouched.inst.*kArgOrder[k];
            EXPECT_EQ(in.inst.*kArgOrder[k], want) << count << " arguments, setting " << k + 1;
        }
    }
    // More than twelve: the first twelve count.
    Instance in;
    std::vector<int32_t> more = full;
    more.push_back(77);
    RunConfig(in, more);
    for (int k = 0; k < 12; ++k) EXPECT_EQ(in.inst.*kArgOrder[k], full[k]);
}

}  // namespace
}  // namespace host
}  // namespace velmo
