#include "cli/progress.h"

#include <unistd.h>

#include <cstdio>
#include <string>

namespace velmo::cli {
namespace {

std::string Clock(double seconds) {
    const long s = static_cast<long>(seconds + 0.5);
    char buf[32];
    if (s >= 3600) {
        std::snprintf(buf, sizeof buf, "%ld:%02ld:%02ld", s / 3600, (s / 60) % 60, s % 60);
    } else {
        std::snprintf(buf, sizeof buf, "%ld:%02ld", s / 60, s % 60);
    }
    return buf;
}

}  // namespace

Progress::Progress(ProgressMode mode, int64_t total, bool exact) : total_(total), exact_(exact) {
    terminal_ = isatty(STDERR_FILENO) != 0;
    enabled_ = mode == ProgressMode::On || (mode == ProgressMode::Auto && terminal_);
    start_ = lastPrint_ = std::chrono::steady_clock::now();
}

void Progress::Update(int64_t done) {
    if (!enabled_) return;
    const auto now = std::chrono::steady_clock::now();
    // A terminal line is redrawn four times a second; a log gets a line every few seconds.
    const auto every = terminal_ ? std::chrono::milliseconds(250) : std::chrono::milliseconds(5000);
    if (now - lastPrint_ < every) return;
    lastPrint_ = now;
    Print(done, false);
}

void Progress::Done(int64_t done) {
    if (!enabled_) return;
    Print(done, true);
}

void Progress::Print(int64_t done, bool last) {
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    const double fps = elapsed > 0 ? done / elapsed : 0.0;
    std::string line = "velmo: " + std::to_string(done);
    int64_t total = total_;
    if (last) total = done;
    if (total >= 0) {
        if (total < done) total = done;  // an estimate that fell short
        line += "/" + std::string(!exact_ && !last ? "~" : "") + std::to_string(total);
    }
    line += " frames";
    char buf[64];
    std::snprintf(buf, sizeof buf, ", %.1f fps", fps);
    line += buf;
    if (last) {
        line += ", " + Clock(elapsed) + " in all";
    } else if (total > 0 && fps > 0) {
        line += ", " + Clock((total - done) / fps) + " left";
    }
    if (terminal_) {
        std::fprintf(stderr, "\r%s\033[K%s", line.c_str(), last ? "\n" : "");
    } else {
        std::fprintf(stderr, "%s\n", line.c_str());
    }
    std::fflush(stderr);
    printed_ = true;
}

}  // namespace velmo::cli
