// velmo: the motion-adaptive deinterlacer on the command line.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "cli/demo.h"
#include "cli/error.h"
#include "cli/ffmpeg_io.h"
#include "cli/files.h"
#include "cli/filter_run.h"
#include "cli/options.h"
#include "cli/progress.h"
#include "cli/raw_io.h"
#include "host/config_line.h"

namespace velmo::cli {
namespace {

void RefuseSameFile(const Options& o) {
    const FileId in = o.input == "-" ? IdOfFd(STDIN_FILENO) : IdOfPath(o.input);
    const FileId out = o.output == "-" ? IdOfFd(STDOUT_FILENO) : IdOfPath(o.output);
    if (in.regular && SameFile(in, out)) {
        UsageError("the output " + (o.output == "-" ? std::string("(standard output)") : o.output) +
                   " is the input " + (o.input == "-" ? std::string("(standard input)") : o.input) +
                   "; give another name");
    }
}

void CheckReadable(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) RuntimeError(WithErrno("cannot read " + path, errno));
    struct stat st;
    const bool dir = fstat(fd, &st) == 0 && S_ISDIR(st.st_mode);
    close(fd);
    if (dir) RuntimeError("cannot read " + path + ": it is a directory");
}

int ProcessRaw(const Options& o) {
    RefuseSameFile(o);
    RawSource source(o.input, static_cast<size_t>(o.rawSize.w) * 4 * static_cast<size_t>(o.rawSize.h));
    FilterRun run(o.settings, o.rawSize, o.rowOrder, o.startFrame);
    OutputFile out(o.output);
    RawSink sink(out, run.frameBytes());
    bool exact = false;
    const int64_t total = source.TotalFrames(&exact);
    Progress progress(o.progress, total, exact);
    RunFrames(source, run, sink, progress);
    return kExitOk;
}

int ProcessFile(const Options& o) {
    CheckReadable(o.input);
    RefuseSameFile(o);
    const FfmpegPrograms programs = FindFfmpeg();
    const VideoInfo info = ProbeVideo(programs, o.input);
    FilterRun run(o.settings, info.size, o.rowOrder, o.startFrame);
    OutputFile out(o.output);
    FfmpegSource source(programs, o.input, info);
    FfmpegSink sink(programs, o.input, info, EncodeSettings{o.codec, o.encoderOptions}, out);
    Progress progress(o.progress, info.frames, info.framesExact);
    RunFrames(source, run, sink, progress);
    return kExitOk;
}

int Main(const std::vector<std::string>& args) {
    const Options o = ParseCommandLine(args);
    switch (o.command) {
        case Command::Help:
            std::fputs(HelpText().c_str(), stdout);
            return kExitOk;
        case Command::Version:
            std::fputs(VersionText().c_str(), stdout);
            return kExitOk;
        case Command::PrintConfig: {
            char line[kConfigLineMax];
            FormatConfigLine(o.settings, line, sizeof line);
            std::printf("%s\n", line);
            return kExitOk;
        }
        default: break;
    }
    if (o.kernels && !ForceKernelLevel(*o.kernels)) {
        RuntimeError(std::string("--kernels: the ") + KernelLevelName(*o.kernels) +
                     " kernels are not available in this build or on this processor");
    }
    InstallSignalHandlers();
    if (o.command == Command::Demo) return RunDemo(o);
    return o.raw ? ProcessRaw(o) : ProcessFile(o);
}

void Report(const std::string& message) {
    std::string line = message;
    for (char& c : line) {
        if (c == '\n' || c == '\r') c = ' ';
    }
    std::fprintf(stderr, "velmo: %s\n", line.c_str());
}

}  // namespace
}  // namespace velmo::cli

int main(int argc, char** argv) {
    using namespace velmo::cli;
    std::vector<std::string> args(argv + 1, argv + argc);
    try {
        const int status = Main(args);
        if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
            Report(WithErrno("cannot write standard output", errno));
            return kExitFailure;
        }
        return status;
    } catch (const Failure& f) {
        Report(f.what());
        return f.code;
    } catch (const std::bad_alloc&) {
        Report("out of memory");
        return kExitFailure;
    } catch (const std::exception& e) {
        Report(e.what());
        return kExitFailure;
    }
}
