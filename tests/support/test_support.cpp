#include "tests/support/test_support.h"

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <utility>

namespace ferrule::test {

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path.string());
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const fs::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

RunOptions inDirectory(const fs::path& directory) {
    RunOptions options;
    options.workingDirectory = directory;
    return options;
}

RunOptions withFileSizeLimit(long bytes) {
    RunOptions options;
    options.fileSizeLimit = bytes;
    return options;
}

RunOptions withEnvironment(std::string name, std::string value) {
    RunOptions options;
    options.environment.emplace_back(std::move(name), std::move(value));
    return options;
}

std::string ng(std::string_view text) {
    return "[NG] " + std::string(text) + "\n";
}
std::string ok(std::string_view text) {
    return "[OK] " + std::string(text) + "\n";
}

std::string told(const ProgramRun& run) {
    for (const std::string* stream : {&run.err, &run.out}) {
        std::size_t start = stream->starts_with("[") ? 0 : stream->rfind("\n[");
        if (start == std::string::npos) continue;
        if ((*stream)[start] == '\n') ++start;
        return stream->substr(start, stream->find('\n', start) - start);
    }
    return {};
}

fs::path sourcePath(std::string_view relative) {
    return fs::path(FERRULE_SOURCE_DIR) / relative;
}

std::string sourceFile(std::string_view relative) {
    return readFile(sourcePath(relative));
}

std::string pathArgument(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

// The Windows versions of TempDir's constructor and of runFerrule are in test_support_windows.cpp.
#if !defined(_WIN32)
TempDir::TempDir() {
    std::string pattern = (fs::temp_directory_path() / "ferrule-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}
#endif

TempDir::~TempDir() {
    std::error_code ignored;
    // Tests may leave read-only directories behind.
    for (const auto& entry : fs::recursive_directory_iterator(path_, ignored)) {
        fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    }
    fs::remove_all(path_, ignored);
}

std::vector<std::string> TempDir::entries() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(path_)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

ProgramRun runFerrule(const std::vector<std::string>& arguments, const RunOptions& options) {
    return StartedRun(arguments, options).wait();
}

#if !defined(_WIN32)
struct StartedRun::Process {
    TempDir capture;
    pid_t pid = -1;
    std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();
};

StartedRun::StartedRun(const std::vector<std::string>& arguments, const RunOptions& options)
    : process_(std::make_unique<Process>()) {
    const fs::path outPath = process_->capture / "stdout";
    const fs::path errPath = process_->capture / "stderr";

    std::vector<std::string> argv = testWrapper();
    argv.emplace_back(FERRULE_BINARY);
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<char*> argvPointers;
    for (auto& argument : argv) argvPointers.push_back(argument.data());
    argvPointers.push_back(nullptr);

    process_->pid = ::fork();
    if (process_->pid < 0) throw std::runtime_error("fork failed");
    if (process_->pid == 0) {
        const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (out < 0 || err < 0) ::_exit(126);
        ::dup2(out, STDOUT_FILENO);
        ::dup2(err, STDERR_FILENO);
        if (!options.workingDirectory.empty() && ::chdir(options.workingDirectory.c_str()) != 0) {
            ::_exit(125);
        }
        ::unsetenv("FERRULE_DEBUG");
        for (const auto& [name, value] : options.environment) {
            ::setenv(name.c_str(), value.c_str(), 1);
        }
        if (options.fileSizeLimit) {
            const rlimit limit{static_cast<rlim_t>(*options.fileSizeLimit),
                               static_cast<rlim_t>(*options.fileSizeLimit)};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        }
        ::execvp(argvPointers[0], argvPointers.data());
        ::_exit(127);
    }
}

StartedRun::~StartedRun() {
    if (process_->pid > 0) wait();
}

ProgramRun StartedRun::wait() {
    int waitStatus = 0;
    rusage usage{};
    ::wait4(process_->pid, &waitStatus, 0, &usage);
    process_->pid = -1;

    ProgramRun run;
    run.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - process_->started).count();
    run.maxResidentKiB = usage.ru_maxrss;
    run.status = WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : -1;
    run.out = readFile(process_->capture / "stdout");
    run.err = readFile(process_->capture / "stderr");
    return run;
}
#endif

Converted convertBytes(std::string_view input, std::size_t blockSize, ConversionOptions options) {
    StringSink sink;
    SilentDebugChannel debug;
    Conversion conversion(sink, debug, options);
    if (blockSize == 0) {
        for (const char ch : input) {
            if (!conversion.feedByte(ch)) break;
        }
    } else {
        for (std::size_t at = 0; at < input.size(); at += blockSize) {
            if (!conversion.feed(input.substr(at, blockSize))) break;
        }
    }
    conversion.finish();
    return Converted{sink.text, conversion.outcome(), conversion.headerErrorLine()};
}

std::string record(std::string_view text, std::string_view label) {
    std::string line(text);
    line.resize(60, ' ');
    line.append(label);
    line.resize(80, ' ');
    return line + "\r\n";
}

std::vector<std::string_view> splitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::size_t size = end == std::string_view::npos ? text.size() : end + 1;
        lines.push_back(text.substr(0, size));
        text.remove_prefix(size);
    }
    return lines;
}

std::vector<std::string> testWrapper() {
    std::vector<std::string> words;
    const char* wrapper = std::getenv("FERRULE_TEST_WRAPPER");
    if (wrapper == nullptr) return words;
    std::istringstream in(wrapper);
    for (std::string word; in >> word;) words.push_back(word);
    return words;
}

}  // namespace ferrule::test
