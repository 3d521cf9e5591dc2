#include "cli/subprocess.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include "cli/error.h"
#include "cli/files.h"

extern char** environ;

namespace velmo::cli {
namespace {

bool IsExecutableFile(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

std::string SearchPath(const std::string& name) {
    if (name.find('/') != std::string::npos) return IsExecutableFile(name) ? name : "";
    const char* path = std::getenv("PATH");
    if (path == nullptr) return "";
    std::string dirs = path;
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        std::string dir = dirs.substr(start, end - start);
        if (dir.empty()) dir = ".";
        const std::string candidate = dir + "/" + name;
        if (IsExecutableFile(candidate)) return candidate;
        start = end + 1;
    }
    return "";
}

void Pipe(int fds[2]) {
    if (pipe2(fds, O_CLOEXEC) != 0) RuntimeError(WithErrno("cannot create a pipe", errno));
}

// Bigger pipes let a whole frame through at once; failure only costs speed.
void WidenPipe(int fd) { fcntl(fd, F_SETPIPE_SZ, 1 << 20); }

}  // namespace

std::string FindProgram(const std::string& name, const char* envVar) {
    const char* over = std::getenv(envVar);
    if (over != nullptr && *over != '\0') return SearchPath(over);
    return SearchPath(name);
}

Child::Child(const Command& command) {
    FILE* errFile = std::tmpfile();
    if (errFile == nullptr) RuntimeError(WithErrno("cannot create a temporary file", errno));
    stderrFile_ = fcntl(fileno(errFile), F_DUPFD_CLOEXEC, 3);
    std::fclose(errFile);
    if (stderrFile_ < 0) RuntimeError(WithErrno("cannot create a temporary file", errno));

    int in[2] = {-1, -1};
    int out[2] = {-1, -1};
    const int devNull = open("/dev/null", O_RDWR | O_CLOEXEC);
    if (devNull < 0) RuntimeError(WithErrno("cannot open /dev/null", errno));
    if (command.pipeStdin) Pipe(in);
    if (command.pipeStdout) Pipe(out);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, command.pipeStdin ? in[0] : devNull, STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, command.pipeStdout ? out[1] : devNull, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, stderrFile_, STDERR_FILENO);

    // The tool ignores SIGPIPE and SIGXFSZ for itself; the child gets the defaults back.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGXFSZ);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(command.program.c_str()));
    for (const auto& a : command.args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    const int err = posix_spawn(&pid_, command.program.c_str(), &actions, &attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    close(devNull);
    if (command.pipeStdin) close(in[0]);
    if (command.pipeStdout) close(out[1]);
    if (err != 0) {
        if (command.pipeStdin) close(in[1]);
        if (command.pipeStdout) close(out[0]);
        close(stderrFile_);
        stderrFile_ = -1;
        pid_ = -1;
        RuntimeError(WithErrno("cannot run " + command.program, err));
    }
    RegisterChild(pid_);
    if (command.pipeStdin) {
        stdin_ = in[1];
        WidenPipe(stdin_);
    }
    if (command.pipeStdout) {
        stdout_ = out[0];
        WidenPipe(stdout_);
    }
}

Child::~Child() {
    if (pid_ > 0 && !reaped_) {
        Terminate();
        CloseStdin();
        CloseStdout();
        Wait();
    }
    CloseStdin();
    CloseStdout();
    if (stderrFile_ >= 0) close(stderrFile_);
}

void Child::CloseStdin() {
    if (stdin_ >= 0) close(stdin_);
    stdin_ = -1;
}

void Child::CloseStdout() {
    if (stdout_ >= 0) close(stdout_);
    stdout_ = -1;
}

// A child stopped early has failed or is no longer wanted: nothing it would still write is kept,
// so it gets no chance to finish its output.
void Child::Terminate() {
    if (pid_ > 0 && !reaped_) kill(pid_, SIGKILL);
}

bool Child::Wait() {
    if (!reaped_) {
        int status = 0;
        pid_t r;
        do {
            r = waitpid(pid_, &status, 0);
        } while (r < 0 && errno == EINTR);
        status_ = r == pid_ ? status : -1;
        reaped_ = true;
        UnregisterChild(pid_);
    }
    return status_ != -1 && WIFEXITED(status_) && WEXITSTATUS(status_) == 0;
}

std::string Child::StatusText() const {
    if (status_ == -1) return "lost";
    if (WIFEXITED(status_)) return "exit status " + std::to_string(WEXITSTATUS(status_));
    if (WIFSIGNALED(status_)) return "killed by signal " + std::to_string(WTERMSIG(status_));
    return "stopped";
}

std::string Child::ErrorText() const {
    std::string text;
    if (stderrFile_ < 0) return text;
    struct stat st;
    if (fstat(stderrFile_, &st) != 0) return text;
    constexpr off_t kTail = 64 * 1024;
    off_t at = st.st_size > kTail ? st.st_size - kTail : 0;
    char buf[4096];
    while (true) {
        const ssize_t r = pread(stderrFile_, buf, sizeof buf, at);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        text.append(buf, static_cast<size_t>(r));
        at += r;
    }
    return text;
}

static std::vector<std::string> NonEmptyLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.pop_back();
        if (!line.empty()) lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

std::string Child::FirstErrorLine() const {
    const auto lines = NonEmptyLines(ErrorText());
    if (lines.empty()) return "";
    std::string line = lines.front();
    // "[matroska @ 0x55d0c0] message" -> "matroska: message"
    if (line.size() > 2 && line[0] == '[') {
        const size_t at = line.find(" @ 0x");
        const size_t close = line.find("] ");
        if (at != std::string::npos && close != std::string::npos && at < close) {
            line = line.substr(1, at - 1) + ": " + line.substr(close + 2);
        }
    }
    return line;
}

int Child::ErrorLines() const { return static_cast<int>(NonEmptyLines(ErrorText()).size()); }

}  // namespace velmo::cli
