#include "cli/filter_run.h"

#include <cstring>

#include "cli/error.h"
#include "cli/progress.h"
#include "core/buffers.h"

namespace velmo::cli {

FilterRun::FilterRun(const DeinterlaceInstance& settings, FrameSize size, RowOrder order,
                     int32_t startFrame)
    : inst_(settings), size_(size), order_(order), startFrame_(startFrame) {
    inst_.prevFrame = nullptr;
    inst_.fieldFrame = nullptr;
    inst_.motionMap = nullptr;
    inst_.denoiseMap = nullptr;
    pitch_ = static_cast<size_t>(size.w) * 4;
    frameBytes_ = pitch_ * static_cast<size_t>(size.h);
    src_.resize(frameBytes_);
    dst_.resize(frameBytes_);
    if (order_ == RowOrder::BottomUp) out_.resize(frameBytes_);

    Bitmap bm{src_.data(), size.w, size.h, static_cast<int32_t>(pitch_)};
    StartBuffers(&inst_, bm);
    // StartBuffers reports nothing; RunFrame would use a missing buffer without looking.
    for (int k = 0; k < kBufferKinds; ++k) {
        const BufferKind kind = static_cast<BufferKind>(k);
        if (BufferNeeded(inst_, kind) && !BufferFits(BufferSlot(inst_, kind), size.w, size.h)) {
            EndBuffers(&inst_);
            RuntimeError("not enough memory for the working buffers of a " + std::to_string(size.w) +
                         "x" + std::to_string(size.h) + " frame");
        }
    }
}

FilterRun::~FilterRun() { EndBuffers(&inst_); }

void FilterRun::ToFilterRows(const uint8_t* topDown, uint8_t* filterRows) const {
    if (order_ == RowOrder::TopDown) {
        std::memcpy(filterRows, topDown, frameBytes_);
        return;
    }
    const size_t h = static_cast<size_t>(size_.h);
    for (size_t y = 0; y < h; ++y) std::memcpy(filterRows + (h - 1 - y) * pitch_, topDown + y * pitch_, pitch_);
}

void FilterRun::FromFilterRows(const uint8_t* filterRows, uint8_t* topDown) const {
    ToFilterRows(filterRows, topDown);  // reversing the rows is its own inverse
}

const uint8_t* FilterRun::Process(const uint8_t* frame) {
    ToFilterRows(frame, src_.data());

    // Rows the filter leaves as the destination held them get the source's: the last row of an
    // odd-height frame after a field-order correction (the pairs of rows stop before it), the
    // only row of a one-row frame, and byte 3 of the pixels that cubic interpolation writes.
    const size_t h = static_cast<size_t>(size_.h);
    if (inst_.cubicInterpolation != 0 && inst_.motionDisabled == 0) {
        std::memcpy(dst_.data(), src_.data(), frameBytes_);
    } else if (h % 2 == 1) {
        std::memcpy(dst_.data() + (h - 1) * pitch_, src_.data() + (h - 1) * pitch_, pitch_);
    }

    FrameContext ctx;
    ctx.src = Bitmap{src_.data(), size_.w, size_.h, static_cast<int32_t>(pitch_)};
    ctx.dst = Bitmap{dst_.data(), size_.w, size_.h, static_cast<int32_t>(pitch_)};
    const int64_t number = int64_t(startFrame_) + done_;
    ctx.sourceFrame = number > INT32_MAX ? INT32_MAX : static_cast<int32_t>(number);
    RunFrame(&inst_, ctx);
    ++done_;

    if (order_ == RowOrder::TopDown) return dst_.data();
    FromFilterRows(dst_.data(), out_.data());
    return out_.data();
}

int64_t RunFrames(FrameSource& source, FilterRun& run, FrameSink& sink, Progress& progress) {
    std::vector<uint8_t> frame(run.frameBytes());
    int64_t frames = 0;
    while (source.Read(frame.data())) {
        sink.Write(run.Process(frame.data()));
        ++frames;
        progress.Update(frames);
    }
    source.Finish();
    sink.Finish(frames);
    progress.Done(frames);
    return frames;
}

}  // namespace velmo::cli
