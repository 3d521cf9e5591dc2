// The progress line on standard error: frames done of the total, frames per second, time left.
#pragma once

#include <chrono>
#include <cstdint>

#include "cli/options.h"

namespace velmo::cli {

class Progress {
public:
    // total < 0 when not known; exact false when it is an estimate.
    Progress(ProgressMode mode, int64_t total, bool exact);
    void Update(int64_t done);
    // The last line, ended with a newline.
    void Done(int64_t done);
    bool enabled() const { return enabled_; }

private:
    void Print(int64_t done, bool last);
    bool enabled_ = false;
    bool terminal_ = false;
    bool printed_ = false;
    int64_t total_;
    bool exact_;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point lastPrint_;
};

}  // namespace velmo::cli
