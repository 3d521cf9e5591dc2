// Child programs (ffmpeg, ffprobe) run from an argument vector, never through a shell, with
// their standard error collected in an anonymous file so that no pipe can fill up and stall.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace velmo::cli {

// The program to run: the environment variable when it is set, else `name` searched in PATH.
// Empty when there is no such executable.
std::string FindProgram(const std::string& name, const char* envVar);

class Child {
public:
    struct Command {
        std::string program;            // path of the executable
        std::vector<std::string> args;  // argv[1...]
        bool pipeStdin = false;         // else /dev/null
        bool pipeStdout = false;        // else /dev/null
    };
    explicit Child(const Command& command);  // throws when the program cannot be started
    ~Child();                          // stops and reaps a child that is still running
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    int stdinFd() const { return stdin_; }
    int stdoutFd() const { return stdout_; }
    void CloseStdin();
    void CloseStdout();
    // Waits for the end; returns true when the program exited with status 0.
    bool Wait();
    void Terminate();
    // "exit status 1", "killed by signal 9".
    std::string StatusText() const;
    // What the program wrote on standard error (its last 64 KiB).
    std::string ErrorText() const;
    // The first non-empty line of ErrorText, which names the cause, with FFmpeg's
    // "[name @ 0x...] " turned into "name: "; "" when there is none.
    std::string FirstErrorLine() const;
    // The number of non-empty lines of ErrorText.
    int ErrorLines() const;

private:
    pid_t pid_ = -1;
    int stdin_ = -1;
    int stdout_ = -1;
    int stderrFile_ = -1;
    int status_ = 0;
    bool reaped_ = false;
};

}  // namespace velmo::cli
