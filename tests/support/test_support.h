// Helpers shared by the tests: files in temporary directories, running the built program, and
// converting bytes in memory.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/conversion.h"
#include "common/output.h"

namespace ferrule::test {

namespace fs = std::filesystem;

std::string readFile(const fs::path& path);
void writeFile(const fs::path& path, std::string_view bytes);

// A bundled example or golden file, by its path below the source tree.
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
    fs::path operator/(std::string_view name) const { return path_ / name; }
    // The names of the entries in the directory, sorted.
    std::vector<std::string> entries() const;

  private:
    fs::path path_;
};

struct ProgramRun {
    int status = -1;  // exit status, or -1 when the program did not exit normally
    std::string out;
    std::string err;
    long maxResidentKiB = 0;  // the child's peak resident memory (ru_maxrss; POSIX)
    double seconds = 0;       // wall-clock time of the run (POSIX)
#if defined(_WIN32)
    std::string debug;  // what the program sent to the debugger output (RunOptions::underDebugger)
#endif
};

struct RunOptions {
    std::vector<std::pair<std::string, std::string>> environment;  // added to the inherited one
    std::optional<long> fileSizeLimit;                             // RLIMIT_FSIZE in bytes
    fs::path workingDirectory;                                     // empty: the test's own
#if defined(_WIN32)
    bool underDebugger = false;  // run the program as its debugger, collecting its debug output
#endif
};

// A path as runFerrule takes it: UTF-8 text.
std::string pathArgument(const fs::path& path);

RunOptions inDirectory(const fs::path& directory);
RunOptions withFileSizeLimit(long bytes);
RunOptions withEnvironment(std::string name, std::string value);

// The start-up lines of the program on a UTF-8 console.
inline const std::string kStartLines =
    "Ferrule program Ver1.01  2019/May/25th \n\nしばらくお待ちください...\n\n";

// The line that tells the outcome: "[NG] text" on standard error, "[OK] text" on standard output.
std::string ng(std::string_view text);
std::string ok(std::string_view text);
// The outcome line of a run, without its line end, wherever it was printed (on Windows with
// FERRULE_NOTIFY_STDERR=1); empty when there is none.
std::string told(const ProgramRun& run);

// The built ferrule, started with the given arguments and running; wait() collects what it
// printed. On POSIX, when the environment variable FERRULE_TEST_WRAPPER is set (e.g.
// "valgrind --error-exitcode=99 -q"), its words are put before the program, found on the PATH.
class StartedRun {
  public:
    StartedRun(const std::vector<std::string>& arguments, const RunOptions& options);
    ~StartedRun();
    StartedRun(const StartedRun&) = delete;
    StartedRun& operator=(const StartedRun&) = delete;
    ProgramRun wait();

  private:
    struct Process;
    std::unique_ptr<Process> process_;
};

// Runs the built ferrule to its end.
ProgramRun runFerrule(const std::vector<std::string>& arguments, const RunOptions& options = {});

// Collects the converted text.
class StringSink final : public OutputSink {
  public:
    void write(std::string_view bytes) override { text.append(bytes); }
    std::string text;
};

// Collects the debug lines.
class RecordingDebugChannel final : public DebugChannel {
  public:
    RecordingDebugChannel() : DebugChannel(true) {}
    void emit(const char* text) override { lines.emplace_back(text); }
    std::vector<std::string> lines;
};

struct Converted {
    std::string output;
    Outcome outcome = Outcome::InProgress;
    std::string headerErrorLine;
};

// Converts `input` in memory: byte by byte, or in blocks of `blockSize` bytes.
Converted convertBytes(std::string_view input, std::size_t blockSize = 0,
                       ConversionOptions options = {});

// An 80-column header-type record: 60 columns of text, a 20-column label, CR LF.
std::string record(std::string_view text, std::string_view label);

// The lines of a text, each with its line end; the last one may have none.
std::vector<std::string_view> splitLines(std::string_view text);

// The words of FERRULE_TEST_WRAPPER; empty when the program runs on its own.
std::vector<std::string> testWrapper();

}  // namespace ferrule::test
