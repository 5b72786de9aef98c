// The Windows side of the test helpers: temporary directories, and running the built ferrule.exe
// with CreateProcessW, its standard output and error redirected to files.
#include <random>
#include <stdexcept>

#include "platform/windows/windows_platform.h"
#include "tests/support/test_support.h"

namespace ferrule::test {

using platform::windows::toUtf16;

TempDir::TempDir() {
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const fs::path candidate =
            fs::temp_directory_path() / ("ferrule-test-" + std::to_string(random()));
        if (CreateDirectoryW(candidate.c_str(), nullptr)) {
            path_ = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary directory");
}

namespace {

class OwnedHandle {
  public:
    explicit OwnedHandle(HANDLE handle = nullptr) : handle_(handle) {}
    ~OwnedHandle() {
        if (handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    }
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;
    HANDLE get() const { return handle_; }

  private:
    HANDLE handle_;
};

// A file the child process inherits as one of its standard handles.
HANDLE inheritableFile(const fs::path& path, DWORD access, DWORD disposition) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    const HANDLE handle = CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      &inherit, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot open " + path.string());
    return handle;
}

}  // namespace

struct StartedRun::Process {
    TempDir capture;
    PROCESS_INFORMATION info{};
};

StartedRun::StartedRun(const std::vector<std::string>& arguments, const RunOptions& options)
    : process_(std::make_unique<Process>()) {
    if (options.fileSizeLimit) throw std::runtime_error("no file-size limit on Windows");
    // Each argument in quotation marks (no test gives one that holds a mark or ends in "\").
    const fs::path program = options.program.empty() ? fs::path(FERRULE_BINARY) : options.program;
    std::wstring commandLine = L"\"" + program.native() + L"\"";
    for (const std::string& argument : arguments) commandLine += L" \"" + toUtf16(argument) + L"\"";
    // Messages are written to standard error too; the program inherits this environment.
    SetEnvironmentVariableW(L"FERRULE_NOTIFY_STDERR", L"1");

    const OwnedHandle input(inheritableFile(L"NUL", GENERIC_READ, OPEN_EXISTING));
    const OwnedHandle output(
        inheritableFile(process_->capture / "stdout", GENERIC_WRITE, CREATE_ALWAYS));
    const OwnedHandle error(
        inheritableFile(process_->capture / "stderr", GENERIC_WRITE, CREATE_ALWAYS));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input.get();
    startup.hStdOutput = output.get();
    startup.hStdError = error.get();
    const std::wstring directory = options.workingDirectory.native();
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                        directory.empty() ? nullptr : directory.c_str(), &startup,
                        &process_->info)) {
        throw std::runtime_error("cannot start " + program.string());
    }
}

StartedRun::~StartedRun() {
    if (process_->info.hProcess != nullptr) wait();
}

ProgramRun StartedRun::wait() {
    ProgramRun run;
    {
        const OwnedHandle processHandle(process_->info.hProcess);
        const OwnedHandle threadHandle(process_->info.hThread);
        process_->info = {};
        WaitForSingleObject(processHandle.get(), INFINITE);
        DWORD exitCode = 0;
        if (GetExitCodeProcess(processHandle.get(), &exitCode))
            run.status = static_cast<int>(exitCode);
    }
    run.out = readFile(process_->capture / "stdout");
    run.err = readFile(process_->capture / "stderr");
    return run;
}

}  // namespace ferrule::test
