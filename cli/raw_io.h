// Raw frames: 4 bytes a pixel (blue, green, red, unused), rows packed, top row first, one frame
// after another; "-" is standard input or output.
#pragma once

#include <string>

#include "cli/files.h"
#include "cli/filter_run.h"

namespace velmo::cli {

class RawSource : public FrameSource {
public:
    RawSource(const std::string& path, size_t frameBytes);  // throws when it cannot be read
    ~RawSource() override;
    bool Read(uint8_t* frame) override;
    // Throws naming the bytes after the last whole frame, if any.
    void Finish() override;
    int64_t TotalFrames(bool* exact) const override;
    int fd() const { return fd_; }

private:
    std::string name_;
    int fd_ = -1;
    bool ownFd_ = false;
    size_t frameBytes_;
    int64_t frames_ = 0;
    size_t leftover_ = 0;
    int64_t total_ = -1;
};

class RawSink : public FrameSink {
public:
    RawSink(OutputFile& out, size_t frameBytes) : out_(out), frameBytes_(frameBytes) {}
    void Write(const uint8_t* frame) override;
    void Finish(int64_t frames) override;

private:
    OutputFile& out_;
    size_t frameBytes_;
};

}  // namespace velmo::cli
