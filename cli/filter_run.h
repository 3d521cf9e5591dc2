// Runs the filter over a stream of frames as a host does: one instance, buffers acquired once,
// RunFrame on every frame in order, and the rows laid out in the chosen order.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cli/options.h"
#include "core/main.h"

namespace velmo::cli {

// Frames come and go top row first, rows packed, 4 bytes a pixel.
class FrameSource {
public:
    virtual ~FrameSource() = default;
    // Fills one frame; false at the end of the input.
    virtual bool Read(uint8_t* frame) = 0;
    // After the last frame: throws when the input did not end cleanly.
    virtual void Finish() {}
    // Frames in the whole input, or -1 when not known; `exact` false for an estimate.
    virtual int64_t TotalFrames(bool* exact) const {
        *exact = false;
        return -1;
    }
};

class FrameSink {
public:
    virtual ~FrameSink() = default;
    virtual void Write(const uint8_t* frame) = 0;
    // After the last frame: completes the output (throws on failure).
    virtual void Finish(int64_t frames) = 0;
};

class FilterRun {
public:
    // Acquires the working buffers for frames of `size`; throws when memory runs out.
    FilterRun(const DeinterlaceInstance& settings, FrameSize size, RowOrder order, int32_t startFrame);
    ~FilterRun();
    FilterRun(const FilterRun&) = delete;
    FilterRun& operator=(const FilterRun&) = delete;

    // Deinterlaces the next frame (top row first); the result, top row first, stays valid
    // until the next call.
    const uint8_t* Process(const uint8_t* frame);
    const DeinterlaceInstance& instance() const { return inst_; }
    size_t frameBytes() const { return frameBytes_; }
    int64_t framesDone() const { return done_; }

private:
    // Copies a top-down frame into a buffer laid out in the filter's row order, or back.
    void ToFilterRows(const uint8_t* topDown, uint8_t* filterRows) const;
    void FromFilterRows(const uint8_t* filterRows, uint8_t* topDown) const;

    DeinterlaceInstance inst_;
    FrameSize size_;
    RowOrder order_;
    int32_t startFrame_;
    size_t pitch_;
    size_t frameBytes_;
    std::vector<uint8_t> src_;
    std::vector<uint8_t> dst_;
    std::vector<uint8_t> out_;
    int64_t done_ = 0;
};

class Progress;
// Reads every frame, runs the filter, writes the result; returns the number of frames.
int64_t RunFrames(FrameSource& source, FilterRun& run, FrameSink& sink, Progress& progress);

}  // namespace velmo::cli
