#include "cli/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "cli/error.h"

namespace velmo::cli {
namespace {

// What an interruption cleans up. Plain arrays, so that the handler only reads memory and calls
// async-signal-safe functions.
constexpr int kMaxChildren = 4;
volatile sig_atomic_t gChildren[kMaxChildren];
char gTempPath[PATH_MAX + 64];
volatile sig_atomic_t gHaveTemp = 0;

void OnInterrupt(int sig) {
    // The children are stopped for good, and reaped, before the partial output goes: a child
    // still running could write it again.
    for (int i = 0; i < kMaxChildren; ++i) {
        if (gChildren[i] > 0) kill(static_cast<pid_t>(gChildren[i]), SIGKILL);
    }
    for (int i = 0; i < kMaxChildren; ++i) {
        if (gChildren[i] > 0) waitpid(static_cast<pid_t>(gChildren[i]), nullptr, 0);
    }
    if (gHaveTemp) unlink(gTempPath);
    signal(sig, SIG_DFL);
    raise(sig);
}

void SetTempForSignals(const std::string& path) {
    gHaveTemp = 0;
    if (path.size() < sizeof gTempPath) {
        std::memcpy(gTempPath, path.c_str(), path.size() + 1);
        gHaveTemp = 1;
    }
}

std::string DirName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string BaseName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

size_t ReadFull(int fd, void* data, size_t n, const std::string& what) {
    size_t done = 0;
    auto* p = static_cast<uint8_t*>(data);
    while (done < n) {
        const ssize_t r = read(fd, p + done, n - done);
        if (r < 0) {
            if (errno == EINTR) continue;
            RuntimeError(WithErrno("cannot read " + what, errno));
        }
        if (r == 0) break;
        done += static_cast<size_t>(r);
    }
    return done;
}

void WriteAll(int fd, const void* data, size_t n, const std::string& what) {
    size_t done = 0;
    const auto* p = static_cast<const uint8_t*>(data);
    while (done < n) {
        const ssize_t r = write(fd, p + done, n - done);
        if (r < 0) {
            if (errno == EINTR) continue;
            RuntimeError(WithErrno("cannot write " + what, errno));
        }
        done += static_cast<size_t>(r);
    }
}

static FileId FromStat(const struct stat& st) {
    FileId id;
    id.valid = true;
    id.dev = st.st_dev;
    id.ino = st.st_ino;
    id.regular = S_ISREG(st.st_mode);
    id.size = static_cast<int64_t>(st.st_size);
    return id;
}

FileId IdOfPath(const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return FileId{};
    return FromStat(st);
}

FileId IdOfFd(int fd) {
    struct stat st;
    if (fstat(fd, &st) != 0) return FileId{};
    return FromStat(st);
}

OutputFile::OutputFile(const std::string& path) : name_(path), finalPath_(path) {
    if (path == "-") {
        stdout_ = true;
        fd_ = STDOUT_FILENO;
        writePath_ = "pipe:1";
        return;
    }
    struct stat st;
    if (lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        // Replace what the link points at, not the link.
        char resolved[PATH_MAX];
        if (realpath(path.c_str(), resolved) != nullptr) finalPath_ = resolved;
    }
    if (stat(finalPath_.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) RuntimeError(name_ + " is a directory");
        if (!S_ISREG(st.st_mode)) {
            // A device or a pipe: there is nothing to rename.
            fd_ = open(finalPath_.c_str(), O_WRONLY | O_CLOEXEC);
            if (fd_ < 0) RuntimeError(WithErrno("cannot open " + name_, errno));
            writePath_ = finalPath_;
            return;
        }
    }
    const std::string base = BaseName(finalPath_);
    const size_t dot = base.find_last_of('.');
    const std::string ext = (dot == std::string::npos || dot == 0) ? "" : base.substr(dot);
    const std::string stem = base.substr(0, base.size() - ext.size());
    std::string templ = DirName(finalPath_) + "/." + stem + ".velmo-XXXXXX" + ext;
    std::vector<char> buf(templ.begin(), templ.end());
    buf.push_back('\0');
    fd_ = mkostemps(buf.data(), static_cast<int>(ext.size()), O_CLOEXEC);
    if (fd_ < 0) {
        RuntimeError(WithErrno("cannot create " + name_ + " (a file in " + DirName(finalPath_) + ")", errno));
    }
    writePath_ = buf.data();
    temporary_ = true;
    SetTempForSignals(writePath_);
    // mkstemp makes the file private; give it the mode a new file would get.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd_, 0666 & ~mask);
}

OutputFile::~OutputFile() {
    if (!done_) Discard();
}

void OutputFile::CloseFd() {
    if (fd_ >= 0 && !stdout_) close(fd_);
    fd_ = -1;
}

void OutputFile::Discard() {
    done_ = true;
    CloseFd();
    if (temporary_) {
        unlink(writePath_.c_str());
        gHaveTemp = 0;
    }
}

void OutputFile::Commit() {
    if (stdout_) {
        done_ = true;
        return;
    }
    if (temporary_) {
        int fd = fd_;
        if (fd < 0) fd = open(writePath_.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0 || fsync(fd) != 0) {
            const int err = errno;
            if (fd >= 0 && fd != fd_) close(fd);
            RuntimeError(WithErrno("cannot write " + name_, err));
        }
        if (fd != fd_) close(fd);
    }
    if (fd_ >= 0) {
        const int r = close(fd_);
        fd_ = -1;
        if (r != 0 && errno != EINTR) RuntimeError(WithErrno("cannot write " + name_, errno));
    }
    if (temporary_) {
        if (rename(writePath_.c_str(), finalPath_.c_str()) != 0) {
            RuntimeError(WithErrno("cannot rename the finished output to " + name_, errno));
        }
        gHaveTemp = 0;
    }
    done_ = true;
}

void InstallSignalHandlers() {
    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sa_handler = OnInterrupt;
    sigemptyset(&sa.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction old;
        sigaction(sig, nullptr, &old);
        if (old.sa_handler != SIG_IGN) sigaction(sig, &sa, nullptr);
    }
    signal(SIGPIPE, SIG_IGN);
    // Past a file size limit a write fails with EFBIG, reported like a full disk.
    signal(SIGXFSZ, SIG_IGN);
}

void RegisterChild(pid_t pid) {
    for (int i = 0; i < kMaxChildren; ++i) {
        if (gChildren[i] == 0) {
            gChildren[i] = pid;
            return;
        }
    }
}

void UnregisterChild(pid_t pid) {
    for (int i = 0; i < kMaxChildren; ++i) {
        if (gChildren[i] == pid) gChildren[i] = 0;
    }
}

}  // namespace velmo::cli
