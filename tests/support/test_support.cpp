#include "tests/support/test_support.h"

#if !defined(_WIN32)
#include <fcntl.h>
#include <grp.h>
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

fs::path sourcePath(std::string_view relative) {
    return fs::path(FERRULE_SOURCE_DIR) / relative;
}

std::string sourceFile(std::string_view relative) {
    return readFile(sourcePath(relative));
}

TempDir::~TempDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

std::vector<std::string> entries(const fs::path& directory) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(directory)) {
        const std::u8string name = entry.path().filename().u8string();
        names.emplace_back(name.begin(), name.end());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string told(const ProgramRun& run) {
    for (const std::string* stream : {&run.err, &run.out}) {
        for (const char* caption : {"[OK] ", "[NG] "}) {
            std::size_t at =
                stream->starts_with(caption) ? 0 : stream->rfind("\n" + std::string(caption));
            if (at == std::string::npos) continue;
            if ((*stream)[at] == '\n') ++at;
            std::string line = stream->substr(at);
            if (line.ends_with('\n')) line.pop_back();
            return line;
        }
    }
    return {};
}

namespace {

// The words of FERRULE_TEST_WRAPPER; empty when the program runs on its own.
std::vector<std::string> testWrapper() {
    std::vector<std::string> words;
    const char* wrapper = std::getenv("FERRULE_TEST_WRAPPER");
    if (wrapper == nullptr) return words;
    std::istringstream in(wrapper);
    for (std::string word; in >> word;) words.push_back(word);
    return words;
}

}  // namespace

std::string missingWrapper() {
    const std::vector<std::string> wrapper = testWrapper();
    if (wrapper.empty()) return {};
    const std::string probe = "command -v '" + wrapper.front() + "' >/dev/null 2>&1";
    return std::system(probe.c_str()) == 0 ? std::string() : wrapper.front();
}

bool measuredByTool() {
#if defined(__SANITIZE_ADDRESS__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return true;
#endif
#endif
    return !testWrapper().empty();
}

// The Windows versions of TempDir's constructor and of StartedRun are in
// test_support_windows.cpp.
#if !defined(_WIN32)
TempDir::TempDir() {
    std::string pattern = (fs::temp_directory_path() / "ferrule-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

struct StartedRun::Process {
    TempDir capture;
    TempDir reachable;  // a copy of the program, for a run as another user
    pid_t pid = -1;
    std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();
};

StartedRun::StartedRun(const std::vector<std::string>& arguments, const RunOptions& options)
    : process_(std::make_unique<Process>()) {
    const fs::path outPath = process_->capture / "stdout";
    const fs::path errPath = process_->capture / "stderr";
    std::vector<std::string> argv = testWrapper();
    argv.insert(argv.end(), options.wrapper.begin(), options.wrapper.end());
    // Another user may not reach the build's folder (a clone in root's home): that run starts a
    // copy of the program in a folder everyone can enter.
    fs::path program = FERRULE_BINARY;
    if (options.user) {
        const fs::path folder = process_->reachable.path();
        program = folder / "ferrule";
        fs::copy_file(FERRULE_BINARY, program);
        fs::permissions(folder,
                        fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
        fs::permissions(program, fs::perms::owner_all | fs::perms::group_exec |
                                     fs::perms::others_exec | fs::perms::group_read |
                                     fs::perms::others_read);
    }
    argv.push_back(program.string());
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<char*> argvPointers;
    for (auto& argument : argv) argvPointers.push_back(argument.data());
    argvPointers.push_back(nullptr);

    process_->pid = ::fork();
    if (process_->pid < 0) throw std::runtime_error("fork failed");
    if (process_->pid > 0) return;
    const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (out < 0 || err < 0) ::_exit(126);
    ::dup2(out, STDOUT_FILENO);
    ::dup2(err, STDERR_FILENO);
    if (!options.workingDirectory.empty() && ::chdir(options.workingDirectory.c_str()) != 0) {
        ::_exit(125);
    }
    ::unsetenv("FERRULE_DEBUG");
    for (const auto& [name, value] : options.environment) ::setenv(name.c_str(), value.c_str(), 1);
    if (options.fileSizeLimit) {
        const auto bytes = static_cast<rlim_t>(*options.fileSizeLimit);
        const rlimit limit{bytes, bytes};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    if (options.user) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(options.user->second) != 0 ||
            ::setuid(options.user->first) != 0) {
            ::_exit(124);
        }
    }
    if (options.closedPipe) {
        int ends[2];
        if (::pipe(ends) != 0) ::_exit(123);
        ::close(ends[0]);
        ::dup2(ends[1], STDOUT_FILENO);
        ::dup2(ends[1], STDERR_FILENO);
        ::close(ends[1]);
    }
    if (options.closedStandardStreams) {
        ::close(STDOUT_FILENO);
        ::close(STDERR_FILENO);
    }
    ::execvp(argvPointers[0], argvPointers.data());
    ::_exit(127);
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

}  // namespace ferrule::test
