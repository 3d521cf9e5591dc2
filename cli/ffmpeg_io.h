// Video files through the ffmpeg and ffprobe programs: frames travel through pipes as raw
// 32-bit pixels, so the tool is tied to no library version of FFmpeg.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "cli/files.h"
#include "cli/filter_run.h"
#include "cli/subprocess.h"

namespace velmo::cli {

struct FfmpegPrograms {
    std::string ffmpeg;
    std::string ffprobe;
};
// Finds both programs (VELMO_FFMPEG, VELMO_FFPROBE, else PATH); throws naming what is missing.
FfmpegPrograms FindFfmpeg();

struct VideoInfo {
    FrameSize size;
    std::string rate;          // "num/den"
    std::string aspect;        // sample aspect ratio "num/den", "" when square or unknown
    std::string colorSpace;    // as ffprobe names it, "" when not tagged
    std::string colorPrimaries;
    std::string colorTransfer;
    int64_t frames = -1;       // -1 when not known
    bool framesExact = false;
};
// The first video stream of the input (not counting cover pictures). Throws when there is none
// or ffprobe cannot read the file.
VideoInfo ProbeVideo(const FfmpegPrograms& programs, const std::string& input);

class FfmpegSource : public FrameSource {
public:
    FfmpegSource(const FfmpegPrograms& programs, const std::string& input, const VideoInfo& info);
    bool Read(uint8_t* frame) override;
    void Finish() override;
    int64_t TotalFrames(bool* exact) const override;

private:
    std::string input_;
    VideoInfo info_;
    size_t frameBytes_;
    std::unique_ptr<Child> decoder_;
    size_t partial_ = 0;
};

struct EncodeSettings {
    std::string codec;                        // "" for the container's default
    std::vector<std::string> encoderOptions;  // appended after the defaults
};

// Starts the encoder with the first frame, so that an input that yields no frame starts none.
class FfmpegSink : public FrameSink {
public:
    FfmpegSink(const FfmpegPrograms& programs, const std::string& input, const VideoInfo& info,
               const EncodeSettings& encode, OutputFile& out);
    void Write(const uint8_t* frame) override;
    void Finish(int64_t frames) override;
    // The encoder's whole argument vector (for messages and tests).
    std::vector<std::string> EncoderArgs() const;

private:
    [[noreturn]] void EncoderFailed();
    void CheckWritten(int64_t frames);
    FfmpegPrograms programs_;
    std::string input_;
    VideoInfo info_;
    EncodeSettings encode_;
    OutputFile& out_;
    size_t frameBytes_;
    std::unique_ptr<Child> encoder_;
};

// The video encoder the tool uses for an output name when --codec is not given ("" for
// FFmpeg's own choice).
std::string DefaultCodecFor(const std::string& output);

}  // namespace velmo::cli
