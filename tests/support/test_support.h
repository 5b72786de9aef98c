// Helpers shared by the tests: files in temporary directories, and running the built program.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/platform.h"

namespace ferrule::test {

namespace fs = std::filesystem;

// A path from its UTF-8 text.
inline fs::path utf8Path(std::string_view text) {
    return fs::path(std::u8string(text.begin(), text.end()));
}

std::string readFile(const fs::path& path);
void writeFile(const fs::path& path, std::string_view bytes);

// A file below the source tree, by its path there.
fs::path sourcePath(std::string_view relative);
std::string sourceFile(std::string_view relative);

// A fresh directory, removed with everything in it at the end of the test.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const fs::path& path() const { return path_; }
    fs::path operator/(std::string_view name) const { return path_ / utf8Path(name); }

  private:
    fs::path path_;
};

// The names of the entries of a directory, sorted, in UTF-8.
std::vector<std::string> entries(const fs::path& directory);

struct ProgramRun {
    int status = -1;  // exit status, or -1 when the program did not exit normally
    std::string out;
    std::string err;
    long maxResidentKiB = 0;  // the child's peak resident memory (POSIX)
    double seconds = 0;       // wall-clock time of the run (POSIX)
};

struct RunOptions {
    std::vector<std::pair<std::string, std::string>> environment;  // added to the inherited one
    std::optional<long> fileSizeLimit;                             // RLIMIT_FSIZE in bytes
    fs::path workingDirectory;                                     // empty: the test's own
    std::vector<std::string> wrapper;  // a program the ferrule runs under, and its arguments
    // POSIX: the program starts with its standard output and error closed.
    bool closedStandardStreams = false;
    // POSIX: its standard output and error are a pipe whose reader has gone (a pager that quit).
    bool closedPipe = false;
    // POSIX: the program runs as this user and group (the test runs as root).
    std::optional<std::pair<unsigned, unsigned>> user;
    // Windows: another program of the build than ferrule.exe (ferrule-report.exe).
    fs::path program;
};

inline RunOptions inDirectory(const fs::path& directory) {
    RunOptions options;
    options.workingDirectory = directory;
    return options;
}

// The built ferrule, started with the given arguments (UTF-8) and running; wait() collects what
// it printed. On Windows the messages are also written to standard error (FERRULE_NOTIFY_STDERR),
// and the options' environment is not used.
// On POSIX, when FERRULE_TEST_WRAPPER is set (e.g. "valgrind --error-exitcode=99 -q"), its words
// are put before the program, found on the PATH.
class StartedRun {
  public:
    StartedRun(const std::vector<std::string>& arguments, const RunOptions& options = {});
    ~StartedRun();
    StartedRun(const StartedRun&) = delete;
    StartedRun& operator=(const StartedRun&) = delete;
    ProgramRun wait();

  private:
    struct Process;
    std::unique_ptr<Process> process_;
};

inline ProgramRun runFerrule(const std::vector<std::string>& arguments,
                             const RunOptions& options = {}) {
    return StartedRun(arguments, options).wait();
}

// What a run said of the outcome ("[OK] ..." or "[NG] ...", a header error's message over
// several lines) without its last line end, wherever it was printed; empty when it said none.
std::string told(const ProgramRun& run);

// A console and notifier for the program's driver run in the test process: what it says is kept,
// each notice as a line "[caption] text", on `out` when the file was converted and on `err`
// otherwise. Given a capacity, it keeps no more than that, and so never allocates while it keeps.
struct SaidToConsole final : platform::Console, platform::Notifier {
    explicit SaidToConsole(std::size_t capacity = 0) : limited(capacity > 0) {
        out.reserve(capacity);
        err.reserve(capacity);
    }
    void writeOutput(std::string_view text) override { keep(out, text); }
    void writeError(std::string_view text) override { keep(err, text); }
    bool writeData(std::string_view bytes) override {
        keep(out, bytes);
        return true;
    }
    void notify(bool converted, std::string_view caption, std::string_view text) override {
        std::string& to = converted ? out : err;
        keep(to, "[");
        keep(to, caption);
        keep(to, "] ");
        keep(to, text);
        keep(to, "\n");
    }
    void keep(std::string& to, std::string_view text) const {
        if (!limited || to.size() + text.size() <= to.capacity()) to += text;
    }
    bool limited;
    std::string out;
    std::string err;
};

// Whether the program runs under a wrapper (valgrind) or a sanitizer, which measure themselves.
bool measuredByTool();

// The program FERRULE_TEST_WRAPPER names when it is not installed (a test then skips, saying so);
// empty when there is none or it is there.
std::string missingWrapper();

}  // namespace ferrule::test
