#include "cli/ffmpeg_io.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "cli/error.h"

namespace velmo::cli {
namespace {

// ffmpeg reads a name with a colon as a protocol ("a:b.mkv"), and one with a leading dash as an
// option: the file: prefix makes every path a plain file.
std::string FileUrl(const std::string& path) { return "file:" + path; }

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string Extension(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    return Lower(path.substr(dot + 1));
}

// "num/den" with both positive.
bool ParseRatio(const std::string& text, char sep, int64_t* num, int64_t* den) {
    const size_t s = text.find(sep);
    if (s == std::string::npos) return false;
    char* end = nullptr;
    const long long n = std::strtoll(text.c_str(), &end, 10);
    if (end != text.c_str() + s) return false;
    const long long d = std::strtoll(text.c_str() + s + 1, &end, 10);
    if (*end != '\0') return false;
    if (n <= 0 || d <= 0) return false;
    *num = n;
    *den = d;
    return true;
}

// The flat output of ffprobe: key=value or key="value" per line.
std::map<std::string, std::string> ParseFlat(const std::string& text) {
    std::map<std::string, std::string> out;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(start, end - start);
        const size_t eq = line.find('=');
        if (eq != std::string::npos) {
            std::string value = line.substr(eq + 1);
            if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
                value = value.substr(1, value.size() - 2);
            }
            out[line.substr(0, eq)] = value;
        }
        start = end + 1;
    }
    return out;
}

std::string ReadAll(int fd) {
    std::string text;
    char buf[4096];
    while (true) {
        const size_t n = ReadFull(fd, buf, sizeof buf, "ffprobe's output");
        text.append(buf, n);
        if (n < sizeof buf) break;
    }
    return text;
}

std::string Reason(const Child& child) {
    const std::string line = child.FirstErrorLine();
    return child.StatusText() + (line.empty() ? "" : ": " + line);
}

// The matrix the picture was decoded with, for an encoder that turns it back into YUV: the
// source's own when tagged, else BT.601, which FFmpeg assumes for untagged video. First the
// name the scale filter takes, then the tag of the stream.
struct Matrix {
    const char* scale;
    const char* tag;
};
Matrix MatrixOf(const std::string& colorSpace) {
    if (colorSpace == "bt709") return {"bt709", "bt709"};
    if (colorSpace == "bt470bg") return {"bt470", "bt470bg"};
    if (colorSpace == "smpte240m") return {"smpte240m", "smpte240m"};
    if (colorSpace == "fcc") return {"fcc", "fcc"};
    if (colorSpace == "bt2020nc") return {"bt2020", "bt2020nc"};
    return {"smpte170m", "smpte170m"};
}

bool KnownTag(const std::string& value) { return !value.empty() && value != "unknown" && value != "reserved"; }

}  // namespace

FfmpegPrograms FindFfmpeg() {
    FfmpegPrograms p;
    p.ffmpeg = FindProgram("ffmpeg", "VELMO_FFMPEG");
    p.ffprobe = FindProgram("ffprobe", "VELMO_FFPROBE");
    if (p.ffmpeg.empty()) {
        const char* over = std::getenv("VELMO_FFMPEG");
        if (over != nullptr && *over != '\0') {
            RuntimeError(std::string("VELMO_FFMPEG names '") + over + "', which is not an executable program");
        }
        RuntimeError("ffmpeg is not installed (not found in PATH), and video files need it; install FFmpeg, "
                     "set VELMO_FFMPEG, or use --raw");
    }
    if (p.ffprobe.empty()) {
        const char* over = std::getenv("VELMO_FFPROBE");
        if (over != nullptr && *over != '\0') {
            RuntimeError(std::string("VELMO_FFPROBE names '") + over + "', which is not an executable program");
        }
        // ffprobe ships beside ffmpeg.
        const size_t slash = p.ffmpeg.find_last_of('/');
        const std::string beside = (slash == std::string::npos ? "" : p.ffmpeg.substr(0, slash + 1)) + "ffprobe";
        if (access(beside.c_str(), X_OK) == 0) {
            p.ffprobe = beside;
        } else {
            RuntimeError("ffprobe is not installed (not found in PATH), and video files need it; install FFmpeg, "
                         "set VELMO_FFPROBE, or use --raw");
        }
    }
    return p;
}

VideoInfo ProbeVideo(const FfmpegPrograms& programs, const std::string& input) {
    Child::Command command;
    command.program = programs.ffprobe;
    command.args = {"-v", "error", "-select_streams", "V:0", "-show_entries",
                 "stream=width,height,avg_frame_rate,r_frame_rate,nb_frames,duration,"
                 "sample_aspect_ratio,color_space,color_primaries,color_transfer:format=duration",
                 "-of", "flat", FileUrl(input)};
    command.pipeStdout = true;
    Child probe(command);
    const std::string text = ReadAll(probe.stdoutFd());
    probe.CloseStdout();
    if (!probe.Wait()) {
        const std::string line = probe.FirstErrorLine();
        RuntimeError(input + ": not a video FFmpeg can read (ffprobe " + probe.StatusText() +
                     (line.empty() ? "" : ": " + line) + ")");
    }
    auto kv = ParseFlat(text);
    auto get = [&](const std::string& key) -> std::string {
        auto it = kv.find("streams.stream.0." + key);
        return it == kv.end() ? "" : it->second;
    };
    if (get("width").empty()) RuntimeError(input + ": has no video stream");

    VideoInfo info;
    const int64_t w = std::strtoll(get("width").c_str(), nullptr, 10);
    const int64_t h = std::strtoll(get("height").c_str(), nullptr, 10);
    CheckFrameSize(w, h, input, kExitFailure);
    info.size = FrameSize{static_cast<int32_t>(w), static_cast<int32_t>(h)};

    int64_t num = 0;
    int64_t den = 0;
    if (ParseRatio(get("avg_frame_rate"), '/', &num, &den) || ParseRatio(get("r_frame_rate"), '/', &num, &den)) {
        info.rate = std::to_string(num) + "/" + std::to_string(den);
    } else {
        info.rate = "25/1";
        std::fprintf(stderr, "velmo: warning: %s gives no frame rate; writing 25 frames per second\n",
                     input.c_str());
    }
    int64_t an = 0;
    int64_t ad = 0;
    if (ParseRatio(get("sample_aspect_ratio"), ':', &an, &ad) && an != ad) {
        info.aspect = std::to_string(an) + "/" + std::to_string(ad);
    }
    info.colorSpace = KnownTag(get("color_space")) ? get("color_space") : "";
    info.colorPrimaries = KnownTag(get("color_primaries")) ? get("color_primaries") : "";
    info.colorTransfer = KnownTag(get("color_transfer")) ? get("color_transfer") : "";

    char* end = nullptr;
    const std::string nb = get("nb_frames");
    const long long n = std::strtoll(nb.c_str(), &end, 10);
    if (!nb.empty() && *end == '\0' && n > 0) {
        info.frames = n;
        info.framesExact = true;
    } else {
        std::string dur = get("duration");
        if (dur.empty() || dur == "N/A") dur = kv.count("format.duration") ? kv["format.duration"] : "";
        const double seconds = std::strtod(dur.c_str(), &end);
        if (!dur.empty() && *end == '\0' && seconds > 0 && num > 0) {
            info.frames = static_cast<int64_t>(std::llround(seconds * double(num) / double(den)));
        }
    }
    return info;
}

FfmpegSource::FfmpegSource(const FfmpegPrograms& programs, const std::string& input, const VideoInfo& info)
    : input_(input), info_(info) {
    frameBytes_ = static_cast<size_t>(info.size.w) * 4 * static_cast<size_t>(info.size.h);
    Child::Command command;
    command.program = programs.ffmpeg;
    // Frames as the file stores them: no rotation from display metadata (that would turn the
    // fields sideways), every decoded frame passed on once (no frames repeated or dropped to
    // even out the timestamps).
    command.args = {"-nostdin", "-hide_banner", "-v", "error", "-noautorotate", "-i", FileUrl(input),
                 "-map", "0:V:0", "-an", "-sn", "-dn", "-fps_mode", "passthrough", "-f", "rawvideo", "-pix_fmt", "bgra", "pipe:1"};
    command.pipeStdout = true;
    decoder_ = std::make_unique<Child>(command);
}

bool FfmpegSource::Read(uint8_t* frame) {
    if (partial_ != 0) return false;
    const size_t n = ReadFull(decoder_->stdoutFd(), frame, frameBytes_, "ffmpeg's decoded frames");
    if (n == frameBytes_) return true;
    partial_ = n;
    return false;
}

void FfmpegSource::Finish() {
    decoder_->CloseStdout();
    if (!decoder_->Wait()) {
        RuntimeError("ffmpeg could not decode " + input_ + " (" + Reason(*decoder_) + ")");
    }
    if (partial_ != 0) {
        RuntimeError("ffmpeg ended " + input_ + " with a partial frame of " + std::to_string(partial_) + " bytes");
    }
    const int lines = decoder_->ErrorLines();
    if (lines > 0) {
        std::fprintf(stderr, "velmo: warning: ffmpeg reported %d problem%s decoding %s, first: %s\n", lines,
                     lines == 1 ? "" : "s", input_.c_str(), decoder_->FirstErrorLine().c_str());
    }
}

int64_t FfmpegSource::TotalFrames(bool* exact) const {
    *exact = info_.framesExact;
    return info_.frames;
}

std::string DefaultCodecFor(const std::string& output) {
    const std::string ext = Extension(output);
    if (ext == "mkv" || ext == "avi") return "ffv1";
    if (ext == "mp4" || ext == "m4v" || ext == "mov") return "libx264";
    return "";
}

FfmpegSink::FfmpegSink(const FfmpegPrograms& programs, const std::string& input, const VideoInfo& info,
                       const EncodeSettings& encode, OutputFile& out)
    : programs_(programs), input_(input), info_(info), encode_(encode), out_(out) {
    frameBytes_ = static_cast<size_t>(info.size.w) * 4 * static_cast<size_t>(info.size.h);
    if (encode_.codec.empty()) encode_.codec = DefaultCodecFor(out.name());
}

std::vector<std::string> FfmpegSink::EncoderArgs() const {
    const std::string size = std::to_string(info_.size.w) + "x" + std::to_string(info_.size.h);
    // Byte 3 of a pixel carries nothing: bgr0 keeps it out of the encoded picture.
    std::vector<std::string> a = {"-nostdin", "-hide_banner", "-v", "error", "-y",
                                  "-f", "rawvideo", "-pix_fmt", "bgr0", "-s", size, "-framerate", info_.rate};
    for (const char* s : {"-i", "pipe:0"}) a.push_back(s);
    // The audio comes straight from the input file, copied.
    for (const std::string& s : {std::string("-i"), FileUrl(input_), std::string("-map"), std::string("0:v:0"),
                                 std::string("-map"), std::string("1:a?"), std::string("-c:a"), std::string("copy"),
                                 std::string("-map_metadata"), std::string("1"), std::string("-map_chapters"),
                                 std::string("1")}) {
        a.push_back(s);
    }
    std::vector<std::string> filters;
    if (!info_.aspect.empty()) filters.push_back("setsar=" + info_.aspect);
    if (!encode_.codec.empty()) {
        a.push_back("-c:v");
        a.push_back(encode_.codec);
    }
    if (encode_.codec == "ffv1") {
        // Version 3: sliced and check-summed, the archival form.
        for (const char* s : {"-level", "3", "-g", "1", "-slicecrc", "1"}) a.push_back(s);
    } else if (encode_.codec == "libx264") {
        // Visually lossless 4:2:0, playable everywhere; the colours go back into YUV with the
        // matrix they were decoded with, and the stream says which.
        const Matrix m = MatrixOf(info_.colorSpace);
        filters.push_back(std::string("scale=out_color_matrix=") + m.scale + ":out_range=tv");
        filters.push_back("format=yuv420p");
        for (const char* s : {"-preset", "slow", "-crf", "16"}) a.push_back(s);
        a.push_back("-colorspace");
        a.push_back(m.tag);
        if (!info_.colorPrimaries.empty()) {
            a.push_back("-color_primaries");
            a.push_back(info_.colorPrimaries);
        }
        if (!info_.colorTransfer.empty()) {
            a.push_back("-color_trc");
            a.push_back(info_.colorTransfer);
        }
        const std::string ext = Extension(out_.name());
        if (ext == "mp4" || ext == "m4v" || ext == "mov") {
            a.push_back("-movflags");
            a.push_back("+faststart");
        }
    }
    if (!filters.empty()) {
        std::string chain;
        for (const auto& f : filters) chain += (chain.empty() ? "" : ",") + f;
        a.push_back("-vf");
        a.push_back(chain);
    }
    for (const auto& o : encode_.encoderOptions) a.push_back(o);
    a.push_back(FileUrl(out_.writePath()));
    return a;
}

void FfmpegSink::EncoderFailed() {
    encoder_->CloseStdin();
    encoder_->Wait();
    RuntimeError("ffmpeg could not encode " + out_.name() + " (" + Reason(*encoder_) + ")");
}

void FfmpegSink::Write(const uint8_t* frame) {
    if (!encoder_) {
        out_.CloseFd();  // ffmpeg writes the file by its name
        Child::Command command;
        command.program = programs_.ffmpeg;
        command.args = EncoderArgs();
        command.pipeStdin = true;
        encoder_ = std::make_unique<Child>(command);
    }
    try {
        WriteAll(encoder_->stdinFd(), frame, frameBytes_, "to ffmpeg");
    } catch (const Failure&) {
        EncoderFailed();
    }
}

void FfmpegSink::Finish(int64_t frames) {
    if (frames == 0 || !encoder_) RuntimeError(input_ + ": ffmpeg decoded no video frames");
    encoder_->CloseStdin();
    if (!encoder_->Wait()) EncoderFailed();
    if (out_.isTemporary()) CheckWritten(frames);
    out_.Commit();
}

// ffmpeg can end with success after a write failed (a full disk cuts the file short without a
// word): the written file must be readable and hold every frame.
void FfmpegSink::CheckWritten(int64_t frames) {
    Child::Command command;
    command.program = programs_.ffprobe;
    command.args = {"-v", "error", "-select_streams", "v:0", "-count_packets", "-show_entries",
                 "stream=nb_read_packets", "-of", "csv=p=0", FileUrl(out_.writePath())};
    command.pipeStdout = true;
    Child probe(command);
    const std::string text = ReadAll(probe.stdoutFd());
    probe.CloseStdout();
    const bool ok = probe.Wait();
    char* end = nullptr;
    const long long packets = std::strtoll(text.c_str(), &end, 10);
    if (!ok || end == text.c_str() || packets != frames) {
        const std::string line = probe.FirstErrorLine();
        RuntimeError("ffmpeg did not write " + out_.name() + " whole (" +
                     (ok && end != text.c_str() ? std::to_string(packets) + " of " + std::to_string(frames) + " frames"
                                                : "unreadable" + (line.empty() ? std::string() : ": " + line)) +
                     "); is the disk full?");
    }
}

}  // namespace velmo::cli
