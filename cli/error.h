// Errors of the tool: one line for standard error and the exit status that goes with it.
#pragma once

#include <stdexcept>
#include <string>

namespace velmo::cli {

// Exit statuses, as --help documents them.
constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;  // the input could not be read or processed, ffmpeg failed, a write failed
constexpr int kExitUsage = 2;    // the command line is wrong

struct Failure : std::runtime_error {
    Failure(int exitCode, const std::string& message) : std::runtime_error(message), code(exitCode) {}
    int code;
};

[[noreturn]] inline void UsageError(const std::string& message) { throw Failure(kExitUsage, message); }
[[noreturn]] inline void RuntimeError(const std::string& message) { throw Failure(kExitFailure, message); }

// "message: strerror(err)".
std::string WithErrno(const std::string& message, int err);

}  // namespace velmo::cli
