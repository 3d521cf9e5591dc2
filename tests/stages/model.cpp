#include "tests/stages/model.h"

#include <algorithm>

namespace velmo::stagetest {
namespace {

int64_t Chan(uint32_t p, int shift) { return (p >> shift) & 0xFF; }
int64_t B(uint32_t p) { return Chan(p, 0); }
int64_t G(uint32_t p) { return Chan(p, 8); }
int64_t R(uint32_t p) { return Chan(p, 16); }
int64_t FullLuma(uint32_t p) { return 76 * R(p) + 150 * G(p) + 30 * B(p); }
int64_t Level(uint32_t p) { return FullLuma(p) / 256; }
int64_t Abs(int64_t v) { return v < 0 ? -v : v; }

bool Over(int64_t a, int64_t b, int32_t t) { return Abs(a - b) > t; }
bool ChannelsOver(uint32_t p, uint32_t q, int32_t t) {
    return Over(B(p), B(q), t) || Over(G(p), G(q), t) || Over(R(p), R(q), t);
}

uint32_t Clamp8(int64_t v) { return static_cast<uint32_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }

}  // namespace

FrameModel::FrameModel(const DeinterlaceInstance& settings, int32_t w, int32_t h)
    : s_(settings), w_(w), h_(h), prev_(static_cast<size_t>(w) * h, 0), map_(static_cast<size_t>(w) * h, 0),
      saved_(static_cast<size_t>(w) * h, 0) {}

std::vector<uint32_t> FrameModel::Correct(const std::vector<uint32_t>& src, int32_t sourceFrame) {
    std::vector<uint32_t> frame = src;
    const int32_t pairs = h_ / 2;
    auto swapFields = [&](std::vector<uint32_t>& f) {
        for (int32_t k = 0; k < pairs; ++k)
            for (int32_t x = 0; x < w_; ++x) std::swap(Px(f, 2 * k, x), Px(f, 2 * k + 1, x));
    };
    if (s_.swapBefore) swapFields(frame);
    if (s_.phaseShift) {
        std::vector<uint32_t> shifted = frame;
        const bool first = sourceFrame == 0 || !haveSaved_;
        for (int32_t k = 0; k < pairs; ++k) {
            for (int32_t x = 0; x < w_; ++x) {
                Px(shifted, 2 * k + 1, x) = Px(frame, 2 * k, x);
                Px(shifted, 2 * k, x) = first ? Px(frame, 2 * k, x) : Px(saved_, 2 * k + 1, x);
            }
        }
        saved_ = frame;
        haveSaved_ = haveSaved_ || pairs > 0;
        frame = shifted;
    }
    if (s_.swapAfter) swapFields(frame);
    return frame;  // an odd height's last row stays the source's
}

int64_t FrameModel::DiffFrames(const std::vector<uint32_t>& src) {
    const std::vector<uint32_t> old = prev_;
    const int32_t t = s_.motionThreshold;
    const bool color = s_.compareColor != 0;
    int64_t moving = 0;
    for (int32_t y = 1; y <= h_ - 2; ++y) {
        for (int32_t x = 0; x < w_; ++x) {
            const uint32_t p = src[static_cast<size_t>(y) * w_ + x];
            const uint32_t s = old[static_cast<size_t>(y) * w_ + x];
            const int64_t level = Level(p);
            bool moves = color ? ChannelsOver(p, s, t) : Over(level, static_cast<int32_t>(s), t);
            if (s_.diffMode == FrameAndField) {
                if (y % 2 == 1) {
                    const uint32_t r = src[static_cast<size_t>(y - 1) * w_ + x];
                    moves = moves && (color ? ChannelsOver(p, r, t) : Over(level, Level(r), t));
                } else {
                    const uint32_t r = old[static_cast<size_t>(y + 1) * w_ + x];
                    moves = moves && (color ? ChannelsOver(p, r, t) : Over(level, static_cast<int32_t>(r), t));
                }
            }
            map_[static_cast<size_t>(y) * w_ + x] = moves;
            prev_[static_cast<size_t>(y) * w_ + x] = color ? p : static_cast<uint32_t>(level);
            moving += moves;
        }
    }
    return moving;
}

int64_t FrameModel::DiffFields(const std::vector<uint32_t>& src) {
    const int64_t t2 = static_cast<int64_t>(s_.motionThreshold) * s_.motionThreshold;
    int64_t moving = 0;
    for (int32_t y = 1; y <= h_ - 2; ++y) {
        for (int32_t x = 0; x < w_; ++x) {
            bool moves = false;
            if (y % 2 == 1) {
                const uint32_t u = src[static_cast<size_t>(y - 1) * w_ + x];
                const uint32_t c = src[static_cast<size_t>(y) * w_ + x];
                const uint32_t d = src[static_cast<size_t>(y + 1) * w_ + x];
                if (s_.compareColor) {
                    for (int shift : {0, 8, 16})
                        moves = moves || (Chan(u, shift) - Chan(c, shift)) * (Chan(d, shift) - Chan(c, shift)) > t2;
                } else if (t2 < 65536) {  // from 256 on the limit is above every product
                    moves = Abs(FullLuma(u) - FullLuma(c)) * Abs(FullLuma(d) - FullLuma(c)) > t2 * 65536;
                }
            }
            map_[static_cast<size_t>(y) * w_ + x] = moves;
            moving += moves;
        }
    }
    return moving;
}

void FrameModel::Denoise() {
    auto window = [&](const std::vector<uint8_t>& plane, int32_t y, int32_t x, bool any) {
        int32_t sum = 0;
        for (int32_t r = std::max(0, y - 2); r <= std::min(h_ - 1, y + 2); ++r)
            for (int32_t c = std::max(0, x - 2); c <= std::min(w_ - 1, x + 2); ++c) sum += plane[static_cast<size_t>(r) * w_ + c] != 0;
        return any ? sum > 0 : sum > 9;
    };
    std::vector<uint8_t> kept(map_.size());
    for (int32_t y = 0; y < h_; ++y)
        for (int32_t x = 0; x < w_; ++x)
            kept[static_cast<size_t>(y) * w_ + x] = map_[static_cast<size_t>(y) * w_ + x] != 0 && window(map_, y, x, false);
    for (int32_t y = 0; y < h_; ++y)
        for (int32_t x = 0; x < w_; ++x) map_[static_cast<size_t>(y) * w_ + x] = window(kept, y, x, true);
}

void FrameModel::Output(const std::vector<uint32_t>& src, std::vector<uint32_t>& dst, bool sceneChange) {
    auto at = [&](int32_t y, int32_t x) { return src[static_cast<size_t>(y) * w_ + x]; };
    for (int32_t x = 0; x < w_; ++x) {
        dst[x] = at(0, x);
        dst[static_cast<size_t>(h_ - 1) * w_ + x] = at(h_ - 1, x);
    }
    for (int32_t y = 1; y <= h_ - 2; ++y) {
        for (int32_t x = 0; x < w_; ++x) {
            uint32_t& out = dst[static_cast<size_t>(y) * w_ + x];
            const bool moving = sceneChange || map_[static_cast<size_t>(y - 1) * w_ + x] ||
                                map_[static_cast<size_t>(y) * w_ + x] || map_[static_cast<size_t>(y + 1) * w_ + x];
            const uint32_t a = at(y - 1, x), b = at(y + 1, x), c = at(y, x);
            if (!s_.blendMotion && !s_.showMotionOnly && y % 2 == 0) {
                out = c;
            } else if (!moving) {
                out = s_.showMotionOnly ? 0x7F7F7Fu : c;
            } else if (s_.blendMotion) {
                uint32_t v = 0;
                for (int shift : {0, 8, 16}) v |= static_cast<uint32_t>(Chan(a, shift) / 4 + Chan(b, shift) / 4 + Chan(c, shift) / 2) << shift;
                out = v;
            } else if (y % 2 == 0) {
                out = c;
            } else if (s_.cubicInterpolation && y > 2 && y < h_ - 3) {
                uint32_t v = out & 0xFF000000u;
                for (int shift : {0, 8, 16}) {
                    const int64_t t = 5 * (Chan(a, shift) + Chan(b, shift)) - Chan(at(y - 3, x), shift) - Chan(at(y + 3, x), shift);
                    const int64_t q = t >= 0 ? t / 8 : -((-t + 7) / 8);
                    v |= Clamp8(q) << shift;
                }
                out = v;
            } else {
                uint32_t v = 0;
                for (int shift : {0, 8, 16}) v |= static_cast<uint32_t>(Chan(a, shift) / 2 + Chan(b, shift) / 2) << shift;
                out = v;
            }
        }
    }
}

void FrameModel::Run(std::vector<uint32_t>& src, std::vector<uint32_t>& dst, int32_t sourceFrame) {
    if (w_ <= 0 || h_ <= 0) return;
    const bool corrects = s_.phaseShift || (s_.swapBefore != s_.swapAfter);
    if (!corrects) {
        if (s_.motionDisabled) {
            dst = src;
            return;
        }
    } else {
        std::vector<uint32_t> corrected = Correct(src, sourceFrame);
        dst = corrected;
        if (s_.motionDisabled) return;
        src = corrected;
    }
    if (h_ < 2) return;
    const int64_t moving = (s_.diffMode == FrameOnly || s_.diffMode == FrameAndField) ? DiffFrames(src) : DiffFields(src);
    const bool sceneChange = moving * 100 / (static_cast<int64_t>(w_) * h_) >= s_.sceneThreshold;
    if (!sceneChange && s_.denoiseMotion) Denoise();
    Output(src, dst, sceneChange);
}

}  // namespace velmo::stagetest
