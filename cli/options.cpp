#include "cli/options.h"

#include <cctype>
#include <cstring>
#include <functional>

#include "cli/error.h"

namespace velmo::cli {
namespace {

std::string Trim(const std::string& s) {
    size_t b = 0;
    size_t e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

bool IsPrefixChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.' || c == '[' || c == ']';
}

int32_t NumberOption(const std::string& option, const std::string& value) {
    int32_t v = 0;
    switch (ParseInt32(value, &v)) {
        case IntParse::Ok: return v;
        case IntParse::NotInteger: UsageError(option + ": '" + value + "' is not an integer");
        case IntParse::OutOfRange: UsageError(option + ": " + value + " is out of the 32-bit range");
    }
    return v;
}

const char* const kHelp = R"HELP(Usage: velmo [OPTIONS] INPUT OUTPUT
       velmo --raw WxH [OPTIONS] INPUT|- OUTPUT|-
       velmo demo [DIR]
       velmo --print-config [SETTINGS]

Deinterlaces video only where the picture moves, with the filter of the Velmo VirtualDub
modules: the same Config line gives the same picture. INPUT is any video FFmpeg can read,
OUTPUT any file it can write; the container follows the extension. Frame size, frame rate and
audio are kept. The output is written under a temporary name beside OUTPUT and renamed only
when everything succeeded; the input is never touched.

Input and output:
  --raw WxH            INPUT and OUTPUT are raw frames of W x H pixels, 4 bytes a pixel
                       (blue, green, red, unused), rows packed, top row of the picture first;
                       '-' is standard input or output. FFmpeg is not needed.
  --codec NAME         FFmpeg video encoder (default: ffv1, lossless, for .mkv and .avi;
                       libx264 at high quality for .mp4, .m4v and .mov; otherwise FFmpeg's
                       choice for the container)
  --encoder-options "OPTIONS"
                       more FFmpeg output options, e.g. "-crf 18 -preset slow"
  --row-order bottom-up|top-down
                       how a frame's rows are handed to the filter. The filter keeps the
                       even rows in memory and rebuilds the odd ones where the picture moves.
                       bottom-up (default; VirtualDub stores frames this way, so a Config line
                       gives the same picture as there) puts the bottom row of the picture
                       first: the field holding the bottom row is kept (the bottom field, in
                       a picture of even height). top-down keeps the field holding the top
                       row, the top field.
  --start-frame N      number of the first frame (default 0), as a host numbers frames. With
                       --phase-shift, frame 0, and the first frame of any run, takes both
                       fields from itself: there is no earlier frame to take one from.
  --progress, --quiet  force, or turn off, the progress line on standard error (frames done of
                       the total, frames per second, time left); shown by default when
                       standard error is a terminal
  --kernels reference|sse2|avx2
                       pixel kernels to use (all give the same picture; default the fastest)

Settings (defaults: motion against the previous frame on each colour channel, threshold 15,
scene threshold 100, no denoising, linear interpolation):
  --config "Config(a, b, c, d, e, f, g, h, i, j, k, l)"
                       all twelve settings as the VirtualDub script line writes them: show
                       motion, blend, threshold, scene threshold, phase shift, swap before,
                       swap after, no motion, denoise, mode (0 frame, 1 field, 2 frame and
                       field), colour, cubic. The options below override it.
  --mode frame|field|frame-and-field
                       find motion against the previous frame, by combing within the frame,
                       or both
  --threshold N        motion threshold (15 to 35 suit most video, 10 to 20 with --denoise)
  --scene-threshold N  percentage of moving pixels from which the whole frame counts as moving
  --luma, --color      compare luma only, or each colour channel
  --denoise            remove isolated specks from the motion map
  --cubic              four-tap cubic instead of linear interpolation
  --blend              blend moving pixels with their vertical neighbours
  --show-motion        paint still areas grey
  --phase-shift        take one field from the previous frame
  --swap-before, --swap-after
                       swap the fields before, or after, the phase shift
  --no-motion          no motion processing: only the field-order correction runs
  --print-config       print the resulting Config(...) line and exit

Other:
  velmo demo [DIR]     render a built-in interlaced sample and write before.png, after.png
                       and motion.png into DIR (default ./velmo-demo); needs no FFmpeg
  --help, --version

Exit status: 0 success; 1 the input could not be read or processed, FFmpeg is missing or
failed, or the output could not be written (nothing is then left under the output name);
2 the command line is wrong.

Environment: VELMO_FFMPEG and VELMO_FFPROBE name the programs to run (default: ffmpeg and
ffprobe, searched in PATH).
)HELP";

}  // namespace

std::string WithErrno(const std::string& message, int err) {
    return message + ": " + std::strerror(err);
}

IntParse ParseInt32(const std::string& text, int32_t* value) {
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i == text.size()) return IntParse::NotInteger;
    int64_t v = 0;
    bool overflow = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c < '0' || c > '9') return IntParse::NotInteger;
        if (!overflow) {
            v = v * 10 + (c - '0');
            if (v > int64_t(INT32_MAX) + 1) overflow = true;
        }
    }
    if (negative) v = -v;
    if (overflow || v > INT32_MAX || v < INT32_MIN) return IntParse::OutOfRange;
    *value = static_cast<int32_t>(v);
    return IntParse::Ok;
}

void ParseConfigLine(const std::string& text, int32_t args[kConfigArgs]) {
    const std::string shown = "--config: expected Config(a, b, ..., l) with twelve integers, got '" +
                              Trim(text) + "'";
    std::string line = Trim(text);
    if (!line.empty() && line.back() == ';') line = Trim(line.substr(0, line.size() - 1));
    const size_t name = line.find("Config");
    if (name == std::string::npos) UsageError(shown);
    // What comes before the name is the object a host's script calls it on.
    const std::string prefix = line.substr(0, name);
    if (!prefix.empty()) {
        if (prefix.back() != '.') UsageError(shown);
        for (char c : prefix) {
            if (!IsPrefixChar(c)) UsageError(shown);
        }
    }
    size_t open = name + std::strlen("Config");
    while (open < line.size() && std::isspace(static_cast<unsigned char>(line[open]))) ++open;
    if (open >= line.size() || line[open] != '(' || line.back() != ')') UsageError(shown);
    const std::string inner = line.substr(open + 1, line.size() - open - 2);

    std::vector<std::string> values;
    size_t start = 0;
    while (true) {
        const size_t comma = inner.find(',', start);
        values.push_back(Trim(inner.substr(start, comma == std::string::npos ? std::string::npos
                                                                             : comma - start)));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    if (values.size() == 1 && values[0].empty()) values.clear();
    if (values.size() != static_cast<size_t>(kConfigArgs)) {
        UsageError("--config: Config takes " + std::to_string(kConfigArgs) + " values, got " +
                   std::to_string(values.size()));
    }
    for (int i = 0; i < kConfigArgs; ++i) {
        switch (ParseInt32(values[i], &args[i])) {
            case IntParse::Ok: break;
            case IntParse::NotInteger:
                UsageError("--config: value " + std::to_string(i + 1) + " '" + values[i] +
                           "' is not an integer");
            case IntParse::OutOfRange:
                UsageError("--config: value " + std::to_string(i + 1) + " " + values[i] +
                           " is out of the 32-bit range");
        }
    }
}

void CheckFrameSize(int64_t w, int64_t h, const std::string& what, int exitCode) {
    const std::string size = std::to_string(w) + "x" + std::to_string(h);
    if (w <= 0 || h <= 0) throw Failure(exitCode, what + ": frame size " + size + " is not positive");
    if (w > kMaxSide || h > kMaxSide || w * h * 4 > kMaxFrameBytes) {
        throw Failure(exitCode, what + ": frame size " + size + " is too large (at most " +
                                    std::to_string(kMaxSide) + " pixels a side and " +
                                    std::to_string(kMaxFrameBytes >> 20) + " MiB a frame)");
    }
}

FrameSize ParseFrameSize(const std::string& text) {
    const size_t x = text.find_first_of("xX");
    const std::string bad = "--raw: '" + text + "' is not a size WxH, e.g. 720x480";
    if (x == std::string::npos) UsageError(bad);
    int32_t w = 0;
    int32_t h = 0;
    const std::string ws = text.substr(0, x);
    const std::string hs = text.substr(x + 1);
    for (const std::string* part : {&ws, &hs}) {
        if (part->empty() || !(std::isdigit(static_cast<unsigned char>((*part)[0])) || (*part)[0] == '-'))
            UsageError(bad);
    }
    const IntParse pw = ParseInt32(ws, &w);
    const IntParse ph = ParseInt32(hs, &h);
    if (pw == IntParse::NotInteger || ph == IntParse::NotInteger) UsageError(bad);
    if (pw == IntParse::OutOfRange || ph == IntParse::OutOfRange) {
        UsageError("--raw: frame size " + text + " is too large (at most " + std::to_string(kMaxSide) +
                   " pixels a side)");
    }
    CheckFrameSize(w, h, "--raw", kExitUsage);
    return FrameSize{w, h};
}

std::vector<std::string> SplitOptionWords(const std::string& text) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    char quote = 0;
    for (char c : text) {
        if (quote != 0) {
            if (c == quote) {
                quote = 0;
            } else {
                word += c;
            }
        } else if (c == '\'' || c == '"') {
            quote = c;
            inWord = true;
        } else if (std::isspace(static_cast<unsigned char>(c))) {
            if (inWord) words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (quote != 0) UsageError("--encoder-options: unbalanced quote in '" + text + "'");
    if (inWord) words.push_back(word);
    return words;
}

Options ParseCommandLine(const std::vector<std::string>& args) {
    Options o;
    InitSettings(&o.settings);
    std::vector<std::function<void(DeinterlaceInstance&)>> overrides;
    std::vector<std::string> positional;
    std::string configText;
    bool haveConfig = false;
    bool printConfig = false;
    std::vector<std::string> fileOnly;  // options that make no sense for the demo

    auto flag = [&](void (*set)(DeinterlaceInstance&)) { overrides.emplace_back(set); };

    bool optionsEnd = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (optionsEnd || a.size() < 2 || a[0] != '-') {
            positional.push_back(a);
            continue;
        }
        if (a == "--") {
            optionsEnd = true;
            continue;
        }
        std::string name = a;
        std::optional<std::string> inlineValue;
        const size_t eq = a.find('=');
        if (a.rfind("--", 0) == 0 && eq != std::string::npos) {
            name = a.substr(0, eq);
            inlineValue = a.substr(eq + 1);
        }
        auto value = [&]() -> std::string {
            if (inlineValue) return *inlineValue;
            if (i + 1 >= args.size()) UsageError(name + " needs a value (see velmo --help)");
            return args[++i];
        };
        auto noValue = [&]() {
            if (inlineValue) UsageError(name + " takes no value");
        };

        if (name == "--help" || name == "-h") {
            noValue();
            o.command = Command::Help;
            return o;
        } else if (name == "--version") {
            noValue();
            o.command = Command::Version;
            return o;
        } else if (name == "--raw") {
            o.raw = true;
            o.rawSize = ParseFrameSize(value());
            fileOnly.push_back(name);
        } else if (name == "--codec") {
            o.codec = value();
            if (o.codec.empty()) UsageError("--codec needs an encoder name");
            fileOnly.push_back(name);
        } else if (name == "--encoder-options") {
            for (auto& w : SplitOptionWords(value())) o.encoderOptions.push_back(w);
            fileOnly.push_back(name);
        } else if (name == "--row-order") {
            const std::string v = value();
            if (v == "bottom-up") {
                o.rowOrder = RowOrder::BottomUp;
            } else if (v == "top-down") {
                o.rowOrder = RowOrder::TopDown;
            } else {
                UsageError("--row-order: unknown value '" + v + "' (bottom-up or top-down)");
            }
        } else if (name == "--start-frame") {
            o.startFrame = NumberOption(name, value());
            if (o.startFrame < 0) UsageError("--start-frame: frame numbers start at 0");
        } else if (name == "--progress") {
            noValue();
            o.progress = ProgressMode::On;
        } else if (name == "--quiet" || name == "-q") {
            noValue();
            o.progress = ProgressMode::Off;
        } else if (name == "--kernels") {
            const std::string v = value();
            bool found = false;
            for (int l = 0; l < kKernelLevels; ++l) {
                if (v == KernelLevelName(static_cast<KernelLevel>(l))) {
                    o.kernels = static_cast<KernelLevel>(l);
                    found = true;
                }
            }
            if (!found) UsageError("--kernels: unknown value '" + v + "' (reference, sse2 or avx2)");
        } else if (name == "--config") {
            configText = value();
            haveConfig = true;
        } else if (name == "--print-config") {
            noValue();
            printConfig = true;
        } else if (name == "--mode") {
            const std::string v = value();
            int32_t mode = 0;
            if (v == "frame") {
                mode = FrameOnly;
            } else if (v == "field") {
                mode = FieldOnly;
            } else if (v == "frame-and-field") {
                mode = FrameAndField;
            } else {
                UsageError("--mode: unknown value '" + v + "' (frame, field or frame-and-field)");
            }
            overrides.emplace_back([mode](DeinterlaceInstance& s) { s.diffMode = mode; });
        } else if (name == "--threshold") {
            const int32_t v = NumberOption(name, value());
            overrides.emplace_back([v](DeinterlaceInstance& s) { s.motionThreshold = v; });
        } else if (name == "--scene-threshold") {
            const int32_t v = NumberOption(name, value());
            overrides.emplace_back([v](DeinterlaceInstance& s) { s.sceneThreshold = v; });
        } else if (name == "--luma") {
            noValue();
            flag([](DeinterlaceInstance& s) { s.compareColor = 0; });
        } else if (name == "--color" || name == "--colour") {
            noValue();
            flag([](DeinterlaceInstance& s) { s.compareColor = 1; });
        } else if (name == "--denoise") {
            noValue();
            flag([](DeinterlaceInstance& s) { s.denoiseMotion = 1; });
        } else if (name == "--cubic") {
            noValue();
            flag([](DeinterlaceInstance& s) { s.cubicInterpolation = 1; });
        } else if (name == "--blend") {
            noValue();
            flag([](DeinterlaceInstance& s) { s.blendMotion = 1; });
        } else if (name == "--show-motion") {
            noValue();
            flag([](DeinterlaceInstance& s) { s.showMotionOnly = 1; });
        } else if (name == "--phase-shift") {
            noValue();
            flag([](DeinterlaceInstance& s) { s.phaseShift = 1; });
        } else if (name == "--swap-before") {
            noValue();
            flag([](DeinterlaceInstance& s) { s.swapBefore = 1; });
        } else if (name == "--swap-after") {
            noValue();
            flag([](DeinterlaceInstance& s) { s.swapAfter = 1; });
        } else if (name == "--no-motion") {
            noValue();
            flag([](DeinterlaceInstance& s) { s.motionDisabled = 1; });
        } else {
            UsageError("unknown option '" + a + "' (see velmo --help)");
        }
    }

    if (haveConfig) {
        int32_t values[kConfigArgs];
        ParseConfigLine(configText, values);
        ApplyConfigArgs(&o.settings, values);
    }
    for (auto& apply : overrides) apply(o.settings);

    if (printConfig) {
        if (!positional.empty()) UsageError("--print-config takes no INPUT or OUTPUT");
        o.command = Command::PrintConfig;
        return o;
    }
    if (!positional.empty() && positional[0] == "demo") {
        if (!fileOnly.empty()) UsageError("demo: " + fileOnly[0] + " does not apply to the demo");
        if (positional.size() > 2) UsageError("demo takes at most one directory");
        o.command = Command::Demo;
        o.output = positional.size() == 2 ? positional[1] : "velmo-demo";
        if (o.output.empty()) UsageError("demo: the directory name is empty");
        return o;
    }
    if (positional.size() != 2) {
        UsageError(positional.size() < 2 ? "needs INPUT and OUTPUT (see velmo --help)"
                                         : "too many arguments: '" + positional[2] + "' (see velmo --help)");
    }
    o.input = positional[0];
    o.output = positional[1];
    if (o.input.empty() || o.output.empty()) UsageError("INPUT and OUTPUT must not be empty");
    if (!o.raw && (o.input == "-" || o.output == "-")) {
        UsageError("standard input and output ('-') carry raw frames only: give --raw WxH");
    }
    if (o.raw && (!o.codec.empty() || !o.encoderOptions.empty())) {
        UsageError("--codec and --encoder-options do not apply to --raw");
    }
    return o;
}

std::string HelpText() { return kHelp; }

std::string VersionText() { return std::string("velmo ") + VELMO_VERSION_TEXT + "\n"; }

}  // namespace velmo::cli
