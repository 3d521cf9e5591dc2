#include "cli/raw_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "cli/error.h"

namespace velmo::cli {

RawSource::RawSource(const std::string& path, size_t frameBytes) : frameBytes_(frameBytes) {
    if (path == "-") {
        name_ = "standard input";
        fd_ = STDIN_FILENO;
    } else {
        name_ = path;
        fd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0) RuntimeError(WithErrno("cannot read " + path, errno));
        ownFd_ = true;
    }
    struct stat st;
    if (fstat(fd_, &st) == 0) {
        if (S_ISDIR(st.st_mode)) RuntimeError("cannot read " + name_ + ": it is a directory");
        if (S_ISREG(st.st_mode)) {
            // What is left of the file from where reading starts.
            const off_t at = lseek(fd_, 0, SEEK_CUR);
            const int64_t bytes = int64_t(st.st_size) - (at > 0 ? at : 0);
            total_ = bytes / static_cast<int64_t>(frameBytes_);
        }
    }
}

RawSource::~RawSource() {
    if (ownFd_) close(fd_);
}

bool RawSource::Read(uint8_t* frame) {
    if (leftover_ != 0) return false;
    const size_t n = ReadFull(fd_, frame, frameBytes_, name_);
    if (n == frameBytes_) {
        ++frames_;
        return true;
    }
    leftover_ = n;
    return false;
}

void RawSource::Finish() {
    if (leftover_ == 0) return;
    RuntimeError(name_ + ": " + std::to_string(leftover_) + " bytes left over after " +
                 std::to_string(frames_) + " whole frames of " + std::to_string(frameBytes_) +
                 " bytes; the input is not a whole number of frames of this size");
}

int64_t RawSource::TotalFrames(bool* exact) const {
    *exact = total_ >= 0;
    return total_;
}

void RawSink::Write(const uint8_t* frame) {
    WriteAll(out_.fd(), frame, frameBytes_, out_.isStdout() ? "standard output" : out_.name());
}

void RawSink::Finish(int64_t) { out_.Commit(); }

}  // namespace velmo::cli
