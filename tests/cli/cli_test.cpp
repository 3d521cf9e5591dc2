// The velmo tool end to end: raw frames against the filter library, video files through FFmpeg
// (size, rate, frame count and audio kept), every refusal and failure (exit status, one line on
// standard error, nothing left under the output name, the input untouched), the Config line,
// the demo.
#include <fcntl.h>
#include <png.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cctype>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;
using Config = std::array<int64_t, 12>;
const Config kDefaults = {0, 0, 15, 100, 0, 0, 0, 0, 0, 0, 1, 0};

Bytes ReadFile(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

void WriteFile(const fs::path& p, const Bytes& b) {
    std::ofstream f(p, std::ios::binary);
    f.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

std::string Text(const Bytes& b) { return std::string(b.begin(), b.end()); }

std::string FindInPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::stringstream dirs(path ? path : "");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        const std::string p = (dir.empty() ? "." : dir) + "/" + name;
        if (access(p.c_str(), X_OK) == 0) return p;
    }
    return "";
}

const std::string& Ffmpeg() {
    static const std::string p = FindInPath("ffmpeg");
    return p;
}
const std::string& Ffprobe() {
    static const std::string p = FindInPath("ffprobe");
    return p;
}
bool HaveFfmpeg() { return !Ffmpeg().empty() && !Ffprobe().empty(); }

#define NEED_FFMPEG() \
    if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg and ffprobe are not installed"

struct Invocation {
    std::string program = VELMO_BIN;
    std::vector<std::string> args;
    std::vector<std::pair<std::string, std::optional<std::string>>> env;  // nullopt: unset
    std::string stdinPath = "/dev/null";
    std::string stdoutPath;  // "" captures it
    long fileSizeLimit = -1;
    std::string cwd;
};

struct RunResult {
    int code = -1;    // exit status, -1 when killed
    int signal = 0;   // the signal that ended it
    std::string out;
    std::string err;
};

// Where the output of the programs run is caught; removed when the tests end.
fs::path CaptureDir() {
    struct Dir {
        Dir() {
            char templ[] = "/tmp/velmo-cli-capture-XXXXXX";
            path = mkdtemp(templ);
        }
        ~Dir() {
            std::error_code ec;
            fs::remove_all(path, ec);
        }
        fs::path path;
    };
    static const Dir dir;
    return dir.path;
}

pid_t Start(const Invocation& call, const std::string& outPath, const std::string& errPath, int stdinFd = -1) {
    const pid_t pid = fork();
    if (pid != 0) return pid;
    if (!call.cwd.empty() && chdir(call.cwd.c_str()) != 0) _exit(126);
    const int in = stdinFd >= 0 ? stdinFd : open(call.stdinPath.c_str(), O_RDONLY);
    const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0) _exit(126);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    if (call.fileSizeLimit >= 0) {
        struct rlimit rl = {static_cast<rlim_t>(call.fileSizeLimit), static_cast<rlim_t>(call.fileSizeLimit)};
        setrlimit(RLIMIT_FSIZE, &rl);
    }
    for (const auto& [k, v] : call.env) {
        if (v) {
            setenv(k.c_str(), v->c_str(), 1);
        } else {
            unsetenv(k.c_str());
        }
    }
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(call.program.c_str()));
    for (const auto& a : call.args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(call.program.c_str(), argv.data());
    _exit(127);
}

RunResult Finish(pid_t pid, const std::string& outPath, const std::string& errPath, bool capturedOut) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    RunResult r;
    if (WIFEXITED(status)) r.code = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) r.signal = WTERMSIG(status);
    if (capturedOut) r.out = Text(ReadFile(outPath));
    r.err = Text(ReadFile(errPath));
    return r;
}

RunResult RunProgram(const Invocation& call) {
    static int counter = 0;
    const std::string tag = std::to_string(getpid()) + "-" + std::to_string(counter++);
    const std::string outPath = call.stdoutPath.empty() ? (CaptureDir() / ("out-" + tag)).string() : call.stdoutPath;
    const std::string errPath = (CaptureDir() / ("err-" + tag)).string();
    const pid_t pid = Start(call, outPath, errPath);
    RunResult r = Finish(pid, outPath, errPath, call.stdoutPath.empty());
    if (call.stdoutPath.empty()) unlink(outPath.c_str());
    unlink(errPath.c_str());
    return r;
}

RunResult Velmo(std::vector<std::string> args) {
    Invocation s;
    s.args = std::move(args);
    return RunProgram(s);
}

std::string Describe(const RunResult& r) {
    return "exit " + std::to_string(r.code) + (r.signal ? " signal " + std::to_string(r.signal) : "") +
           "\nstdout: " + r.out + "\nstderr: " + r.err;
}

// Exactly one line, "velmo: ...".
::testing::AssertionResult OneErrorLine(const RunResult& r) {
    const std::string& e = r.err;
    if (e.rfind("velmo: ", 0) != 0 || e.empty() || e.back() != '\n' || e.find('\n') != e.size() - 1) {
        return ::testing::AssertionFailure() << "standard error is not one 'velmo: ' line: [" << e << "]";
    }
    return ::testing::AssertionSuccess();
}

class TempDir {
public:
    TempDir() {
        char templ[] = "/tmp/velmo-cli-test-XXXXXX";
        path_ = mkdtemp(templ);
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    const fs::path& path() const { return path_; }
    fs::path operator/(const std::string& name) const { return path_ / name; }
    std::set<std::string> Names() const {
        std::set<std::string> names;
        for (const auto& e : fs::directory_iterator(path_)) names.insert(e.path().filename().string());
        return names;
    }

private:
    fs::path path_;
};

// Frames of an interlaced clip, top row first, 4 bytes a pixel; byte 3 varies from pixel to
// pixel so that what the tool does with it shows. Made with FFmpeg's test source through its
// interlace filter when FFmpeg is there, else drawn here (bars moving between the fields).
Bytes MakeFrames(int w, int h, int frames) {
    const size_t frameBytes = size_t(w) * 4 * h;
    Bytes data;
    if (HaveFfmpeg() && w >= 8 && h >= 8) {
        TempDir tmp;
        const int eh = h + (h % 2);  // the interlace filter wants whole row pairs
        Invocation s;
        s.program = Ffmpeg();
        s.args = {"-v", "error", "-f", "lavfi", "-i",
                  "testsrc2=size=" + std::to_string(w) + "x" + std::to_string(eh) + ":rate=50",
                  "-vf", "interlace", "-frames:v", std::to_string(frames), "-f", "rawvideo", "-pix_fmt", "bgra",
                  (tmp / "clip.raw").string()};
        const RunResult r = RunProgram(s);
        EXPECT_EQ(r.code, 0) << Describe(r);
        const Bytes all = ReadFile(tmp / "clip.raw");
        const size_t full = size_t(w) * 4 * eh;
        for (int n = 0; n < frames && (n + 1) * full <= all.size(); ++n) {
            data.insert(data.end(), all.begin() + n * full, all.begin() + n * full + frameBytes);
        }
    } else {
        data.resize(frameBytes * frames);
        for (int n = 0; n < frames; ++n) {
            for (int y = 0; y < h; ++y) {
                const int t = 2 * n + (y & 1);
                for (int x = 0; x < w; ++x) {
                    uint8_t* p = &data[n * frameBytes + (size_t(y) * w + x) * 4];
                    const bool bar = ((x + 5 * t) / 12) % 2 == 0 && y > h / 4;
                    p[0] = bar ? 220 : uint8_t(x * 3);
                    p[1] = bar ? 40 : uint8_t(y * 5);
                    p[2] = bar ? 90 : uint8_t((x ^ y) * 7);
                }
            }
        }
    }
    EXPECT_EQ(data.size(), frameBytes * frames);
    for (size_t i = 3; i < data.size(); i += 4) data[i] = static_cast<uint8_t>(i * 37 / 4);
    return data;
}

// The bytes the library gives for these frames, through the reference driver.
Bytes Reference(const Bytes& frames, int w, int h, const Config& config, const std::string& order, int start) {
    TempDir tmp;
    WriteFile(tmp / "in.raw", frames);
    Invocation s;
    s.program = VELMO_REFERENCE;
    s.args = {std::to_string(w), std::to_string(h), order, std::to_string(start)};
    for (auto v : config) s.args.push_back(std::to_string(v));
    s.args.push_back((tmp / "in.raw").string());
    s.args.push_back((tmp / "out.raw").string());
    const RunResult r = RunProgram(s);
    EXPECT_EQ(r.code, 0) << Describe(r);
    return ReadFile(tmp / "out.raw");
}

::testing::AssertionResult SameFrames(const Bytes& got, const Bytes& want, int w, int h) {
    if (got.size() != want.size()) {
        return ::testing::AssertionFailure() << "sizes differ: " << got.size() << " and " << want.size();
    }
    for (size_t i = 0; i < got.size(); ++i) {
        if (got[i] != want[i]) {
            const size_t frame = size_t(w) * 4 * h;
            const size_t at = i % frame;
            return ::testing::AssertionFailure()
                   << "first difference in frame " << i / frame << ", row " << at / (size_t(w) * 4) << ", column "
                   << (at % (size_t(w) * 4)) / 4 << ", byte " << at % 4 << ": " << int(got[i]) << " instead of "
                   << int(want[i]);
        }
    }
    return ::testing::AssertionSuccess();
}

std::string Size(int w, int h) { return std::to_string(w) + "x" + std::to_string(h); }

// ---------------------------------------------------------------------------------------------
// Raw frames: the tool's bytes are the library's, in both row orders, for every kind of setting.

struct RawCase {
    const char* name;
    std::vector<std::string> options;
    Config config;  // what the options amount to
    const char* order;
    int start;
    int w, h, frames;
};

TEST(RawFrames, MatchTheLibraryByteForByte) {
    const std::vector<RawCase> cases = {
        {"defaults", {}, kDefaults, "bottom-up", 0, 160, 120, 10},
        {"defaults top-down", {"--row-order", "top-down"}, kDefaults, "top-down", 0, 160, 120, 10},
        {"field, denoise, cubic, luma",
         {"--mode", "field", "--denoise", "--cubic", "--luma", "--threshold", "10"},
         {0, 0, 10, 100, 0, 0, 0, 0, 1, 1, 0, 1}, "bottom-up", 0, 160, 120, 10},
        {"frame and field, blend, grey, from a Config line",
         {"--config", "Config(1, 1, 20, 100, 0, 0, 0, 0, 0, 2, 1, 0)", "--row-order", "top-down"},
         {1, 1, 20, 100, 0, 0, 0, 0, 0, 2, 1, 0}, "top-down", 0, 160, 120, 10},
        {"named options override the Config line",
         {"--blend", "--config", "Config(0, 0, 15, 100, 0, 0, 0, 0, 0, 0, 1, 0)", "--threshold", "30"},
         {0, 1, 30, 100, 0, 0, 0, 0, 0, 0, 1, 0}, "bottom-up", 0, 160, 120, 10},
        {"swap before, phase shift, cubic", {"--phase-shift", "--swap-before", "--cubic"},
         {0, 0, 15, 100, 1, 1, 0, 0, 0, 0, 1, 1}, "bottom-up", 0, 160, 120, 10},
        {"phase shift starting at frame 7", {"--phase-shift", "--start-frame", "7", "--row-order", "top-down"},
         {0, 0, 15, 100, 1, 0, 0, 0, 0, 0, 1, 0}, "top-down", 7, 160, 120, 10},
        {"all three corrections, odd height, cubic",
         {"--phase-shift", "--swap-before", "--swap-after", "--cubic", "--row-order", "top-down"},
         {0, 0, 15, 100, 1, 1, 1, 0, 0, 0, 1, 1}, "top-down", 0, 160, 119, 10},
        {"swap after without motion processing, odd height", {"--swap-after", "--no-motion"},
         {0, 0, 15, 100, 0, 0, 1, 1, 0, 0, 1, 0}, "bottom-up", 0, 160, 119, 10},
        {"cancelling swaps, mode 3 from the script",
         {"--config", "Config(0, 0, 15, 100, 0, 1, 1, 0, 0, 3, 1, 0)"},
         {0, 0, 15, 100, 0, 1, 1, 0, 0, 3, 1, 0}, "bottom-up", 0, 160, 120, 10},
        {"scene change", {"--scene-threshold", "3", "--mode", "frame-and-field"},
         {0, 0, 15, 3, 0, 0, 0, 0, 0, 2, 1, 0}, "bottom-up", 0, 160, 120, 10},
        {"one row", {}, kDefaults, "bottom-up", 0, 16, 1, 3},
        {"one row, phase shift", {"--phase-shift"}, {0, 0, 15, 100, 1, 0, 0, 0, 0, 0, 1, 0}, "bottom-up", 0, 16, 1, 3},
        {"two rows, cubic", {"--cubic"}, {0, 0, 15, 100, 0, 0, 0, 0, 0, 0, 1, 1}, "top-down", 0, 16, 2, 3},
        {"one column, denoise", {"--denoise"}, {0, 0, 15, 100, 0, 0, 0, 0, 1, 0, 1, 0}, "bottom-up", 0, 1, 40, 4},
    };
    for (const RawCase& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir tmp;
        const Bytes frames = MakeFrames(c.w, c.h, c.frames);
        WriteFile(tmp / "in.raw", frames);
        const Bytes want = Reference(frames, c.w, c.h, c.config, c.order, c.start);

        std::vector<std::string> args = {"--raw", Size(c.w, c.h)};
        args.insert(args.end(), c.options.begin(), c.options.end());
        args.push_back((tmp / "in.raw").string());
        auto withOutput = [&](std::vector<std::string> a, const std::string& out) {
            a.push_back((tmp / out).string());
            return a;
        };
        RunResult r = Velmo(withOutput(args, "out.raw"));
        ASSERT_EQ(r.code, 0) << Describe(r);
        EXPECT_TRUE(SameFrames(ReadFile(tmp / "out.raw"), want, c.w, c.h));

        // Every kernel level the machine has gives the same bytes.
        for (const char* level : {"reference", "sse2", "avx2"}) {
            auto a = args;
            a.insert(a.begin(), {"--kernels", level});
            r = Velmo(withOutput(a, std::string("out-") + level + ".raw"));
            if (r.code == 1 && r.err.find("not available") != std::string::npos) continue;
            ASSERT_EQ(r.code, 0) << level << ": " << Describe(r);
            EXPECT_TRUE(SameFrames(ReadFile(tmp / (std::string("out-") + level + ".raw")), want, c.w, c.h)) << level;
        }
    }
}

TEST(RawFrames, PipesCarryTheSameBytesAsFiles) {
    TempDir tmp;
    const int w = 96, h = 64;
    const Bytes frames = MakeFrames(w, h, 6);
    WriteFile(tmp / "in.raw", frames);
    ASSERT_EQ(Velmo({"--raw", Size(w, h), (tmp / "in.raw").string(), (tmp / "file.raw").string()}).code, 0);
    Invocation s;
    s.args = {"--raw", Size(w, h), "-", "-"};
    s.stdinPath = (tmp / "in.raw").string();
    s.stdoutPath = (tmp / "pipe.raw").string();
    const RunResult r = RunProgram(s);
    ASSERT_EQ(r.code, 0) << Describe(r);
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(SameFrames(ReadFile(tmp / "pipe.raw"), ReadFile(tmp / "file.raw"), w, h));
}

TEST(RawFrames, RowOrderDecidesWhichFieldIsKept) {
    // A still frame whose top picture row is white and the rest black, then the same frame with
    // a bar moving everywhere: in moving areas the odd memory rows are rebuilt, so with
    // bottom-up the top row of an even-height picture (memory row h - 1, odd) is rebuilt, and
    // with top-down it is kept.
    const int w = 8, h = 8;
    Bytes frames(size_t(w) * 4 * h * 2, 0);
    for (int n = 0; n < 2; ++n) {
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                uint8_t* p = &frames[(size_t(n) * h * w + size_t(y) * w + x) * 4];
                const uint8_t v = n == 1 ? uint8_t(y % 2 ? 200 : 40) : uint8_t(y == 0 ? 255 : 0);
                p[0] = p[1] = p[2] = v;
            }
        }
    }
    TempDir tmp;
    WriteFile(tmp / "in.raw", frames);
    for (const char* order : {"bottom-up", "top-down"}) {
        SCOPED_TRACE(order);
        const std::string out = (tmp / (std::string(order) + ".raw")).string();
        const RunResult r = Velmo({"--raw", Size(w, h), "--row-order", order, "--scene-threshold", "0",
                                   (tmp / "in.raw").string(), out});
        ASSERT_EQ(r.code, 0) << Describe(r);
        const Bytes got = ReadFile(out);
        const uint8_t* second = &got[size_t(w) * 4 * h];
        const uint8_t* input = &frames[size_t(w) * 4 * h];
        const bool bottomUp = std::string(order) == "bottom-up";
        // Picture row 3 is memory row 4 (even, kept) bottom-up and memory row 3 (odd, rebuilt)
        // top-down; picture row 4 the other way round.
        const int keptRow = bottomUp ? 3 : 4;
        const int rebuiltRow = bottomUp ? 4 : 3;
        EXPECT_EQ(second[keptRow * w * 4], input[keptRow * w * 4]);
        EXPECT_NE(second[rebuiltRow * w * 4], input[rebuiltRow * w * 4]);
    }
}

TEST(RawFrames, ProgressLineOnRequestOnly) {
    TempDir tmp;
    WriteFile(tmp / "in.raw", MakeFrames(32, 16, 5));
    const std::string in = (tmp / "in.raw").string();
    RunResult r = Velmo({"--raw", "32x16", "--progress", in, (tmp / "a.raw").string()});
    ASSERT_EQ(r.code, 0) << Describe(r);
    EXPECT_NE(r.err.find("5/5 frames"), std::string::npos) << r.err;
    // Standard error is not a terminal here: nothing by default, nothing with --quiet.
    r = Velmo({"--raw", "32x16", in, (tmp / "b.raw").string()});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.err, "");
    r = Velmo({"--raw", "32x16", "--progress", "--quiet", in, (tmp / "c.raw").string()});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.err, "");
}

// ---------------------------------------------------------------------------------------------
// Video files through FFmpeg.

std::string Probe(const fs::path& file, const std::string& stream, const std::string& entries) {
    Invocation s;
    s.program = Ffprobe();
    s.args = {"-v", "error", "-count_frames", "-select_streams", stream, "-show_entries", "stream=" + entries,
              "-of", "default=noprint_wrappers=1", file.string()};
    const RunResult r = RunProgram(s);
    EXPECT_EQ(r.code, 0) << Describe(r);
    return r.out;
}

// md5 of a stream's packets, unchanged by a copy.
std::string StreamHash(const fs::path& file, const std::string& stream) {
    Invocation s;
    s.program = Ffmpeg();
    s.args = {"-v", "error", "-i", file.string(), "-map", "0:" + stream, "-c", "copy", "-f", "md5", "-"};
    const RunResult r = RunProgram(s);
    EXPECT_EQ(r.code, 0) << Describe(r);
    return r.out;
}

Bytes DecodeRaw(const fs::path& file) {
    TempDir tmp;
    Invocation s;
    s.program = Ffmpeg();
    s.args = {"-v", "error", "-i", file.string(), "-map", "0:v:0", "-f", "rawvideo", "-pix_fmt", "bgra",
              (tmp / "v.raw").string()};
    const RunResult r = RunProgram(s);
    EXPECT_EQ(r.code, 0) << Describe(r);
    return ReadFile(tmp / "v.raw");
}

void MakeClip(const fs::path& file, const std::string& audioCodec, int w = 160, int h = 120, int frames = 10) {
    Invocation s;
    s.program = Ffmpeg();
    s.args = {"-v", "error", "-y", "-f", "lavfi", "-i", "testsrc2=size=" + Size(w, h) + ":rate=50",
              "-f", "lavfi", "-i", "sine=frequency=440:sample_rate=48000", "-vf", "interlace,setsar=8/9",
              "-frames:v", std::to_string(frames), "-t", std::to_string(frames / 25.0), "-c:v", "ffv1",
              "-c:a", audioCodec, file.string()};
    const RunResult r = RunProgram(s);
    ASSERT_EQ(r.code, 0) << Describe(r);
}

TEST(VideoFiles, KeepSizeRateFramesAndAudio) {
    NEED_FFMPEG();
    struct FileCase {
        const char* clip;
        const char* audio;
        const char* output;
        std::vector<std::string> options;
        const char* videoCodec;
    };
    const std::vector<FileCase> cases = {
        {"clip.mkv", "pcm_s16le", "out.mkv", {}, "ffv1"},
        {"clip.mkv", "flac", "out.avi", {}, "ffv1"},
        {"clip.mkv", "aac", "out.mp4", {}, "h264"},
        {"clip.mkv", "pcm_s16le", "chosen.mkv", {"--codec", "libx264", "--encoder-options", "-crf 30 -preset fast"}, "h264"},
    };
    for (const FileCase& c : cases) {
        SCOPED_TRACE(c.output);
        TempDir tmp;
        MakeClip(tmp / c.clip, c.audio);
        const Bytes before = ReadFile(tmp / c.clip);
        std::vector<std::string> args = c.options;
        args.push_back((tmp / c.clip).string());
        args.push_back((tmp / c.output).string());
        const RunResult r = Velmo(args);
        ASSERT_EQ(r.code, 0) << Describe(r);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(tmp.Names(), (std::set<std::string>{c.clip, c.output}));
        EXPECT_EQ(ReadFile(tmp / c.clip), before);
        EXPECT_EQ(Probe(tmp / c.output, "v:0", "codec_name,width,height,sample_aspect_ratio,r_frame_rate,nb_read_frames"),
                  std::string("codec_name=") + c.videoCodec +
                      "\nwidth=160\nheight=120\nsample_aspect_ratio=8:9\nr_frame_rate=25/1\nnb_read_frames=10\n");
        EXPECT_EQ(Probe(tmp / c.output, "a", "codec_name,sample_rate"),
                  Probe(tmp / c.clip, "a", "codec_name,sample_rate"));
        EXPECT_EQ(StreamHash(tmp / c.output, "a:0"), StreamHash(tmp / c.clip, "a:0"));
    }
}

TEST(VideoFiles, LosslessOutputHoldsTheFilteredFrames) {
    NEED_FFMPEG();
    TempDir tmp;
    MakeClip(tmp / "clip.mkv", "pcm_s16le");
    const Bytes decoded = DecodeRaw(tmp / "clip.mkv");
    WriteFile(tmp / "decoded.raw", decoded);
    for (const char* order : {"bottom-up", "top-down"}) {
        SCOPED_TRACE(order);
        const std::vector<std::string> settings = {"--row-order", order, "--mode", "frame-and-field", "--cubic"};
        auto a = settings;
        a.insert(a.end(), {(tmp / "clip.mkv").string(), (tmp / (std::string(order) + ".mkv")).string()});
        RunResult r = Velmo(a);
        ASSERT_EQ(r.code, 0) << Describe(r);
        a = settings;
        a.insert(a.begin(), {"--raw", "160x120"});
        a.insert(a.end(), {(tmp / "decoded.raw").string(), (tmp / (std::string(order) + ".raw")).string()});
        r = Velmo(a);
        ASSERT_EQ(r.code, 0) << Describe(r);
        Bytes viaFile = DecodeRaw(tmp / (std::string(order) + ".mkv"));
        Bytes viaRaw = ReadFile(tmp / (std::string(order) + ".raw"));
        // Byte 3 carries nothing and is not stored.
        ASSERT_EQ(viaFile.size(), viaRaw.size());
        for (size_t i = 3; i < viaFile.size(); i += 4) viaFile[i] = viaRaw[i] = 0;
        EXPECT_TRUE(SameFrames(viaFile, viaRaw, 160, 120));
        EXPECT_NE(viaRaw, decoded);  // the clip moves: the filter changed it
    }
}

// ---------------------------------------------------------------------------------------------
// Refusals and failures: exit status, one line, nothing under the output name, input untouched.

struct ErrorCase {
    const char* name;
    std::vector<std::string> args;  // "IN" and "OUT" stand for the files in the test directory
    int code;
    const char* message;  // part of the line
    bool needsFfmpeg = false;
    std::vector<std::pair<std::string, std::optional<std::string>>> env = {};
    const char* stdoutPath = nullptr;
    long fileSizeLimit = -1;
};

TEST(Errors, OneLineNothingLeftInputUntouched) {
    const std::vector<ErrorCase> cases = {
        {"unknown option", {"--sharpen", "IN.mkv", "OUT.mkv"}, 2, "unknown option '--sharpen'"},
        {"unknown mode", {"--mode", "fields", "IN.mkv", "OUT.mkv"}, 2, "--mode: unknown value 'fields'"},
        {"unknown row order", {"--row-order", "sideways", "IN.mkv", "OUT.mkv"}, 2, "--row-order"},
        {"unknown kernels", {"--kernels", "mmx", "IN.mkv", "OUT.mkv"}, 2, "--kernels"},
        {"value missing", {"IN.mkv", "OUT.mkv", "--threshold"}, 2, "--threshold needs a value"},
        {"threshold not an integer", {"--threshold", "1.5", "IN.mkv", "OUT.mkv"}, 2, "not an integer"},
        {"threshold too large", {"--threshold", "2147483648", "IN.mkv", "OUT.mkv"}, 2, "32-bit range"},
        {"negative start frame", {"--start-frame", "-1", "IN.mkv", "OUT.mkv"}, 2, "--start-frame"},
        {"Config with 11 values", {"--config", "Config(0, 0, 15, 100, 0, 0, 0, 0, 0, 0, 1)", "IN.mkv", "OUT.mkv"},
         2, "Config takes 12 values, got 11"},
        {"Config with 13 values",
         {"--config", "Config(0, 0, 15, 100, 0, 0, 0, 0, 0, 0, 1, 0, 0)", "IN.mkv", "OUT.mkv"}, 2, "got 13"},
        {"Config with a fraction", {"--config", "Config(0, 0, 1.5, 100, 0, 0, 0, 0, 0, 0, 1, 0)", "IN.mkv", "OUT.mkv"},
         2, "value 3 '1.5' is not an integer"},
        {"Config with an empty value", {"--config", "Config(0, 0, , 100, 0, 0, 0, 0, 0, 0, 1, 0)", "IN.mkv", "OUT.mkv"},
         2, "value 3 '' is not an integer"},
        {"Config out of range",
         {"--config", "Config(0, 0, 15, -2147483649, 0, 0, 0, 0, 0, 0, 1, 0)", "IN.mkv", "OUT.mkv"}, 2,
         "value 4 -2147483649 is out of the 32-bit range"},
        {"not a Config call", {"--config", "Setup(0, 0, 15, 100, 0, 0, 0, 0, 0, 0, 1, 0)", "IN.mkv", "OUT.mkv"}, 2,
         "expected Config"},
        {"Config without parentheses", {"--config", "Config 0, 0, 15", "IN.mkv", "OUT.mkv"}, 2, "expected Config"},
        {"Config with text after it",
         {"--config", "Config(0, 0, 15, 100, 0, 0, 0, 0, 0, 0, 1, 0) x", "IN.mkv", "OUT.mkv"}, 2, "expected Config"},
        {"size zero", {"--raw", "0x120", "IN.raw", "OUT.raw"}, 2, "is not positive"},
        {"size negative", {"--raw", "160x-2", "IN.raw", "OUT.raw"}, 2, "is not positive"},
        {"size too large", {"--raw", "40000x40000", "IN.raw", "OUT.raw"}, 2, "too large"},
        {"size beyond 32 bits", {"--raw", "99999999999x2", "IN.raw", "OUT.raw"}, 2, "too large"},
        {"size malformed", {"--raw", "160by120", "IN.raw", "OUT.raw"}, 2, "is not a size"},
        {"one file only", {"IN.mkv"}, 2, "needs INPUT and OUTPUT"},
        {"pipe without --raw", {"-", "OUT.mkv"}, 2, "--raw"},
        {"missing input", {"--raw", "160x120", "NOSUCH.raw", "OUT.raw"}, 1, "cannot read"},
        {"missing video input", {"NOSUCH.mkv", "OUT.mkv"}, 1, "cannot read"},
        {"input is a directory", {"--raw", "160x120", "DIR", "OUT.raw"}, 1, "directory"},
        {"output is the input", {"--raw", "160x120", "IN.raw", "IN.raw"}, 2, "is the input"},
        {"output is the input by another path", {"--raw", "160x120", "IN.raw", "DIR/../IN.raw"}, 2, "is the input"},
        {"output is a link to the input", {"--raw", "160x120", "IN.raw", "LINK.raw"}, 2, "is the input"},
        {"output is a hard link of the input", {"--raw", "160x120", "IN.raw", "HARD.raw"}, 2, "is the input"},
        {"video output is the input", {"IN.mkv", "IN.mkv"}, 2, "is the input", true},
        {"leftover bytes", {"--raw", "160x120", "SHORT.raw", "OUT.raw"}, 1, "1000 bytes left over after 3 whole frames"},
        {"output directory missing", {"--raw", "160x120", "IN.raw", "NODIR/OUT.raw"}, 1, "cannot create"},
        {"output is a directory", {"--raw", "160x120", "IN.raw", "DIR"}, 1, "is a directory"},
        {"full disk on standard output", {"--raw", "160x120", "IN.raw", "-"}, 1, "No space left on device", false, {},
         "/dev/full"},
        {"full device as output", {"--raw", "160x120", "IN.raw", "/dev/full"}, 1, "No space left on device"},
        {"file size limit", {"--raw", "160x120", "IN.raw", "OUT.raw"}, 1, "cannot write", false, {}, nullptr, 100000},
        {"file size limit for ffmpeg", {"IN.mkv", "OUT.mkv"}, 1, "ffmpeg could not encode", true, {}, nullptr, 20000},
        {"ffmpeg not in PATH", {"IN.mkv", "OUT.mkv"}, 1, "ffmpeg is not installed", false, {{"PATH", "/nonexistent"}}},
        {"VELMO_FFMPEG names nothing", {"IN.mkv", "OUT.mkv"}, 1, "VELMO_FFMPEG", false,
         {{"VELMO_FFMPEG", "/nonexistent/ffmpeg"}}},
        {"not a video", {"JUNK.mkv", "OUT.mkv"}, 1, "not a video FFmpeg can read", true},
        {"no video stream", {"AUDIO.wav", "OUT.mkv"}, 1, "has no video stream", true},
        {"unknown encoder", {"--codec", "nosuchcodec", "IN.mkv", "OUT.mkv"}, 1, "Unknown encoder 'nosuchcodec'", true},
        {"audio the container cannot hold", {"IN.mkv", "OUT.mp4"}, 1, "ffmpeg could not encode", true},
    };
    for (const ErrorCase& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.needsFfmpeg && !HaveFfmpeg()) continue;
        TempDir tmp;
        WriteFile(tmp / "IN.raw", MakeFrames(160, 120, 4));
        Bytes shortClip = MakeFrames(160, 120, 3);
        shortClip.resize(shortClip.size() + 1000, 7);
        WriteFile(tmp / "SHORT.raw", shortClip);
        WriteFile(tmp / "JUNK.mkv", Bytes(3000, 0x5A));
        fs::create_directory(tmp / "DIR");
        fs::create_symlink(tmp / "IN.raw", tmp / "LINK.raw");
        fs::create_hard_link(tmp / "IN.raw", tmp / "HARD.raw");
        if (HaveFfmpeg()) {
            MakeClip(tmp / "IN.mkv", "pcm_s16le");
            Invocation s;
            s.program = Ffmpeg();
            s.args = {"-v", "error", "-f", "lavfi", "-i", "sine=duration=0.2", (tmp / "AUDIO.wav").string()};
            ASSERT_EQ(RunProgram(s).code, 0);
        } else {
            WriteFile(tmp / "IN.mkv", Bytes(3000, 1));
        }
        const std::set<std::string> namesBefore = tmp.Names();
        std::vector<Bytes> contents;
        for (const auto& n : namesBefore) contents.push_back(fs::is_regular_file(tmp / n) ? ReadFile(tmp / n) : Bytes());

        Invocation s;
        for (const auto& a : c.args) {
            // Names of the test directory's files are in capitals: IN.raw, DIR/../IN.raw.
            const bool file = std::isupper(static_cast<unsigned char>(a[0])) && a.find_first_of(" (") == std::string::npos;
            s.args.push_back(file ? (tmp / a).string() : a);
        }
        s.env = c.env;
        if (c.stdoutPath) s.stdoutPath = c.stdoutPath;
        s.fileSizeLimit = c.fileSizeLimit;
        const RunResult r = RunProgram(s);
        EXPECT_EQ(r.code, c.code) << Describe(r);
        EXPECT_TRUE(OneErrorLine(r));
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_EQ(tmp.Names(), namesBefore) << "files were added or removed";
        size_t i = 0;
        for (const auto& n : namesBefore) {
            if (fs::is_regular_file(tmp / n)) {
                EXPECT_EQ(ReadFile(tmp / n), contents[i]) << n << " changed";
            }
            ++i;
        }
    }
}

TEST(Errors, FullFilesystemLeavesNothingBehind) {
    TempDir tmp;
    const fs::path small = tmp / "small";
    fs::create_directory(small);
    if (mount("tmpfs", small.c_str(), "tmpfs", 0, "size=64k") != 0 || fs::space(small).capacity > 1024 * 1024) {
        GTEST_SKIP() << "cannot mount a small tmpfs here: " << std::strerror(errno);
    }
    struct Unmount {
        fs::path p;
        ~Unmount() { umount2(p.c_str(), MNT_DETACH); }
    } unmount{small};
    WriteFile(tmp / "in.raw", MakeFrames(160, 120, 4));  // 307200 bytes, more than fits
    RunResult r = Velmo({"--raw", "160x120", (tmp / "in.raw").string(), (small / "out.raw").string()});
    EXPECT_EQ(r.code, 1) << Describe(r);
    EXPECT_TRUE(OneErrorLine(r));
    EXPECT_NE(r.err.find("No space left on device"), std::string::npos) << r.err;
    EXPECT_TRUE(fs::is_empty(small)) << "something was left in the full filesystem";
    if (HaveFfmpeg()) {
        MakeClip(tmp / "clip.mkv", "pcm_s16le", 160, 120, 10);
        r = Velmo({(tmp / "clip.mkv").string(), (small / "out.mkv").string()});
        EXPECT_EQ(r.code, 1) << Describe(r);
        EXPECT_TRUE(OneErrorLine(r));
        EXPECT_TRUE(fs::is_empty(small)) << "something was left in the full filesystem";
    }
}

TEST(Errors, InterruptionRemovesThePartialOutput) {
    TempDir tmp;
    const Bytes frames = MakeFrames(64, 32, 2);
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    Invocation s;
    s.args = {"--raw", "64x32", "-", (tmp / "out.raw").string()};
    const std::string outPath = (CaptureDir() / "interrupt-out").string();
    const std::string errPath = (CaptureDir() / "interrupt-err").string();
    const pid_t pid = Start(s, outPath, errPath, fds[0]);
    close(fds[0]);
    // One frame goes through; then the tool waits for the next with a partial output on disk.
    ASSERT_EQ(write(fds[1], frames.data(), frames.size() / 2), ssize_t(frames.size() / 2));
    bool seen = false;
    for (int i = 0; i < 3000 && !seen; ++i) {
        for (const auto& n : tmp.Names()) {
            if (n.find(".velmo-") != std::string::npos && fs::file_size(tmp / n) == frames.size() / 2) seen = true;
        }
        if (!seen) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(seen) << "no partial output appeared";
    kill(pid, SIGTERM);
    const RunResult r = Finish(pid, outPath, errPath, true);
    close(fds[1]);
    EXPECT_EQ(r.signal, SIGTERM) << Describe(r);
    EXPECT_TRUE(tmp.Names().empty()) << *tmp.Names().begin();
}

// ---------------------------------------------------------------------------------------------
// The Config line.

TEST(ConfigLine, PrintedAsTheScriptWritesItAndReadBack) {
    struct Case {
        std::vector<std::string> options;
        const char* line;
    };
    const std::vector<Case> cases = {
        {{}, "Config(0, 0, 15, 100, 0, 0, 0, 0, 0, 0, 1, 0)"},
        {{"--config", "  VirtualDub.video.filters.instance[0].Config(5, -1, -3, 100, 0, 0, 0, 0, 1, 7, 1, 0);  "},
         "Config(1, 1, -3, 100, 0, 0, 0, 0, 1, 7, 1, 0)"},
        {{"--config", "Config(0,0,+20,100,0,0,0,0,0,2,0,0)"}, "Config(0, 0, 20, 100, 0, 0, 0, 0, 0, 2, 0, 0)"},
        {{"--config", "Config(0, 0, -2147483648, 2147483647, 0, 0, 0, 0, 0, -7, 1, 0)"},
         "Config(0, 0, -2147483648, 2147483647, 0, 0, 0, 0, 0, -7, 1, 0)"},
        {{"--mode", "field", "--threshold", "22", "--scene-threshold", "40", "--luma", "--denoise", "--cubic",
          "--blend", "--show-motion", "--phase-shift", "--swap-before", "--swap-after", "--no-motion"},
         "Config(1, 1, 22, 40, 1, 1, 1, 1, 1, 1, 0, 1)"},
        {{"--threshold=30", "--config", "Config(0, 0, 15, 100, 0, 0, 0, 0, 0, 2, 0, 0)", "--color"},
         "Config(0, 0, 30, 100, 0, 0, 0, 0, 0, 2, 1, 0)"},
        {{"--config", "Config(0, 0, 15, 100, 0, 0, 0, 0, 0, 1, 1, 0)", "--mode=frame-and-field"},
         "Config(0, 0, 15, 100, 0, 0, 0, 0, 0, 2, 1, 0)"},
    };
    for (const Case& c : cases) {
        auto args = c.options;
        args.push_back("--print-config");
        RunResult r = Velmo(args);
        ASSERT_EQ(r.code, 0) << Describe(r);
        EXPECT_EQ(r.out, std::string(c.line) + "\n");
        // The printed line, given back, gives itself again.
        r = Velmo({"--config", c.line, "--print-config"});
        ASSERT_EQ(r.code, 0) << Describe(r);
        EXPECT_EQ(r.out, std::string(c.line) + "\n");
    }
}

// ---------------------------------------------------------------------------------------------
// Demo, help, version.

struct Picture {
    int w = 0, h = 0;
    Bytes rgb;
};

Picture ReadPng(const fs::path& p) {
    Picture pic;
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, p.c_str())) return pic;
    image.format = PNG_FORMAT_RGB;
    pic.rgb.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, pic.rgb.data(), 0, nullptr)) {
        pic.rgb.clear();
        return pic;
    }
    pic.w = static_cast<int>(image.width);
    pic.h = static_cast<int>(image.height);
    return pic;
}

TEST(Demo, WritesThreePicturesAndTheShareThatMoved) {
    TempDir tmp;
    Invocation s;
    s.args = {"demo", "nested/pictures"};
    s.cwd = tmp.path().string();
    s.env = {{"PATH", "/nonexistent"}};  // no FFmpeg needed
    const RunResult r = RunProgram(s);
    ASSERT_EQ(r.code, 0) << Describe(r);
    EXPECT_EQ(r.err, "");
    const fs::path dir = tmp / "nested/pictures";
    EXPECT_EQ(Text(ReadFile(dir.parent_path().parent_path() / "nested/pictures/before.png")).substr(1, 3), "PNG");
    const Picture before = ReadPng(dir / "before.png");
    const Picture after = ReadPng(dir / "after.png");
    const Picture motion = ReadPng(dir / "motion.png");
    for (const Picture* p : {&before, &after, &motion}) {
        EXPECT_GE(p->w, 320);
        EXPECT_EQ(p->w, before.w);
        EXPECT_EQ(p->h, before.h);
    }
    EXPECT_NE(before.rgb, after.rgb);
    size_t grey = 0, changed = 0;
    const size_t pixels = size_t(before.w) * before.h;
    for (size_t i = 0; i < pixels; ++i) {
        const uint8_t* m = &motion.rgb[3 * i];
        if (m[0] == 0x7F && m[1] == 0x7F && m[2] == 0x7F) ++grey;
        if (std::memcmp(&before.rgb[3 * i], &after.rgb[3 * i], 3) != 0) ++changed;
    }
    // Mostly still background, some moving objects; deinterlacing changes only where it moves.
    EXPECT_GT(grey, pixels / 2);
    EXPECT_LT(grey, pixels - pixels / 100);
    EXPECT_GT(changed, 0u);
    EXPECT_LE(changed, pixels - grey);
    for (const char* name : {"before.png", "after.png", "motion.png", "% of the pixels moved"}) {
        EXPECT_NE(r.out.find(name), std::string::npos) << r.out;
    }
}

TEST(Usage, HelpAndVersion) {
    RunResult r = Velmo({"--version"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, std::string("velmo ") + VELMO_VERSION_TEXT + "\n");
    r = Velmo({"--help"});
    EXPECT_EQ(r.code, 0);
    for (const char* part : {"Usage: velmo", "--raw WxH", "bottom-up", "top-down", "Exit status", "--config",
                             "--print-config", "velmo demo"}) {
        EXPECT_NE(r.out.find(part), std::string::npos) << part;
    }
}

}  // namespace
