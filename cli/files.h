// Files of the tool: reading and writing whole blocks, the identity of a file, and an output
// that appears under its final name only when it is complete.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace velmo::cli {

// Reads up to n bytes, stopping early only at the end of the input. Throws on a read error.
size_t ReadFull(int fd, void* data, size_t n, const std::string& what);
// Writes all n bytes. Throws on a write error (a full disk, a closed pipe).
void WriteAll(int fd, const void* data, size_t n, const std::string& what);

// Device and inode of a file; valid is false when it does not exist (or cannot be stat'ed).
struct FileId {
    bool valid = false;
    dev_t dev = 0;
    ino_t ino = 0;
    bool regular = false;
    int64_t size = 0;
};
FileId IdOfPath(const std::string& path);
FileId IdOfFd(int fd);
inline bool SameFile(const FileId& a, const FileId& b) {
    return a.valid && b.valid && a.dev == b.dev && a.ino == b.ino;
}

// Where the result goes. A regular file (or a name that does not exist yet) is written under a
// temporary name in the same directory and renamed onto the final name by Commit; until then,
// and after any failure, nothing appears under the final name. "-" is standard output, and an
// existing device or pipe (/dev/null, a FIFO) is written directly.
class OutputFile {
public:
    explicit OutputFile(const std::string& path);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    int fd() const { return fd_; }
    // The name a child program should write to: the temporary name, or the final one when
    // written directly.
    const std::string& writePath() const { return writePath_; }
    const std::string& name() const { return name_; }
    bool isStdout() const { return stdout_; }
    // Whether the result goes to a regular file (under its temporary name until Commit).
    bool isTemporary() const { return temporary_; }
    // Closes the tool's own descriptor when another program writes the file by name.
    void CloseFd();
    // Flushes the file to disk and moves it onto the final name. Throws on failure.
    void Commit();

private:
    void Discard();
    std::string name_;
    std::string finalPath_;
    std::string writePath_;
    int fd_ = -1;
    bool temporary_ = false;
    bool stdout_ = false;
    bool done_ = false;
};

// Removes the temporary output and stops the children when the tool is interrupted (SIGINT,
// SIGTERM, SIGHUP), and makes writes to a closed pipe or past the file size limit fail with an
// error instead of a signal.
void InstallSignalHandlers();
// Children that an interruption stops; at most a few at a time.
void RegisterChild(pid_t pid);
void UnregisterChild(pid_t pid);

}  // namespace velmo::cli
