// The command line of velmo: settings, input and output, and the Config(...) line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/kernels.h"
#include "core/main.h"
#include "host/config_line.h"

namespace velmo::cli {

enum class Command { Process, Demo, PrintConfig, Help, Version };
// The order in which a frame's rows are handed to the filter. VirtualDub keeps frames bottom
// row first in memory; the filter rebuilds the odd memory rows.
enum class RowOrder { BottomUp, TopDown };
enum class ProgressMode { Auto, On, Off };

struct FrameSize {
    int32_t w = 0;
    int32_t h = 0;
};

// Largest frame the tool takes: pixels a side, and bytes of one 32-bit frame.
constexpr int32_t kMaxSide = 32768;
constexpr int64_t kMaxFrameBytes = int64_t(1) << 30;

struct Options {
    Command command = Command::Process;
    DeinterlaceInstance settings{};  // pointers null; the buffers are acquired per run
    bool raw = false;
    FrameSize rawSize;
    std::string input;
    std::string output;  // the demo's directory for Command::Demo
    std::string codec;
    std::vector<std::string> encoderOptions;
    RowOrder rowOrder = RowOrder::BottomUp;
    int32_t startFrame = 0;
    ProgressMode progress = ProgressMode::Auto;
    std::optional<KernelLevel> kernels;
};

// Parses the whole command line; throws Failure (usage) with a one-line message.
Options ParseCommandLine(const std::vector<std::string>& args);

// A decimal integer with an optional sign, in the signed 32-bit range.
enum class IntParse { Ok, NotInteger, OutOfRange };
IntParse ParseInt32(const std::string& text, int32_t* value);

// The twelve values of a script line "Config(a, ..., l)", as VirtualDub writes it, with an
// optional object prefix ("VirtualDub.video.filters.instance[0].") and trailing ';'. Throws
// Failure (usage) naming the fault.
void ParseConfigLine(const std::string& text, int32_t args[kConfigArgs]);

// "WxH", both positive and within the limits above; `what` names the source in messages.
FrameSize ParseFrameSize(const std::string& text);
// Throws when w x h is not positive or too large; `what` names where the size came from.
void CheckFrameSize(int64_t w, int64_t h, const std::string& what, int exitCode);

// Splits FFmpeg options at white space; single or double quotes keep spaces in a word.
std::vector<std::string> SplitOptionWords(const std::string& text);

std::string HelpText();
std::string VersionText();

}  // namespace velmo::cli
