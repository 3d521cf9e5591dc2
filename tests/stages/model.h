// A plain, pixel-by-pixel model of the whole frame routine, written straight from the
// description of each stage (whole frames, separate passes, 64-bit arithmetic), to check the
// row-by-row implementation against on many settings and frames. It keeps its own copies of
// the state carried between calls.
#pragma once

#include <cstdint>
#include <vector>

#include "core/main.h"

namespace velmo::stagetest {

class FrameModel {
public:
    // Settings are read from `settings` (its buffer pointers are ignored); the state starts as
    // after StartBuffers for a w x h frame.
    FrameModel(const DeinterlaceInstance& settings, int32_t w, int32_t h);

    // One call: src and dst are packed w x h pixels; src may be rewritten (corrected frame).
    void Run(std::vector<uint32_t>& src, std::vector<uint32_t>& dst, int32_t sourceFrame);

    const std::vector<uint8_t>& motionMap() const { return map_; }
    // Settings changed between calls; the carried state stays.
    void SetSettings(const DeinterlaceInstance& settings) { s_ = settings; }

private:
    uint32_t& Px(std::vector<uint32_t>& f, int32_t y, int32_t x) { return f[static_cast<size_t>(y) * w_ + x]; }
    std::vector<uint32_t> Correct(const std::vector<uint32_t>& src, int32_t sourceFrame);
    int64_t DiffFrames(const std::vector<uint32_t>& src);
    int64_t DiffFields(const std::vector<uint32_t>& src);
    void Denoise();
    void Output(const std::vector<uint32_t>& src, std::vector<uint32_t>& dst, bool sceneChange);

    DeinterlaceInstance s_;
    int32_t w_, h_;
    std::vector<uint32_t> prev_;
    std::vector<uint8_t> map_;
    std::vector<uint32_t> saved_;  // the previous phase-shift call's frame after the swap before
    bool haveSaved_ = false;
};

}  // namespace velmo::stagetest
