// Files through the wide Windows file API: untranslated bytes, large reads and writes, a lock
// on the input, FlushFileBuffers before the swap, and ReplaceFileW for the swap.
#include <algorithm>
#include <utility>

#include "platform/windows/windows_platform.h"

namespace ferrule::platform::windows {

namespace {

// Transfers are cut into pieces that a DWORD count can hold.
constexpr std::size_t kMaxTransfer = std::size_t{1} << 30;

// Tells the debug channel which call failed on which path, and why (the last error is kept).
void report(DebugChannel& debug, const char* call, const Path& path) {
    const DWORD error = GetLastError();
    if (debug.enabled()) {
        wchar_t* text = nullptr;
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                           FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, error, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
        const std::string reason = text != nullptr ? toUtf8(text) : std::string();
        LocalFree(text);
        debugPrint(debug, "%s %s: error %lu %s\n", call, toUtf8(path.native()).c_str(),
                   static_cast<unsigned long>(error), reason.c_str());
    }
    SetLastError(error);
}

std::optional<FileState> stateOfHandle(HANDLE handle) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handle, &info)) return std::nullopt;
    const auto wide = [](DWORD high, DWORD low) {
        return std::uint64_t{high} << 32 | std::uint64_t{low};
    };
    return FileState{info.dwVolumeSerialNumber, wide(info.nFileIndexHigh, info.nFileIndexLow),
                     wide(info.nFileSizeHigh, info.nFileSizeLow),
                     static_cast<std::int64_t>(wide(info.ftLastWriteTime.dwHighDateTime,
                                                    info.ftLastWriteTime.dwLowDateTime))};
}

class Handle {
  public:
    explicit Handle(HANDLE handle) : handle_(handle) {}
    ~Handle() { close(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return handle_; }
    HANDLE release() {
        const HANDLE handle = handle_;
        handle_ = INVALID_HANDLE_VALUE;
        return handle;
    }
    bool close() {
        const HANDLE handle = release();
        return handle == INVALID_HANDLE_VALUE || CloseHandle(handle) != 0;
    }

  private:
    HANDLE handle_;
};

class WindowsInputFile final : public InputFile {
  public:
    WindowsInputFile(HANDLE handle, Path path, DebugChannel& debug)
        : handle_(handle), path_(std::move(path)), debug_(debug) {}

    std::ptrdiff_t read(char* buffer, std::size_t size) override {
        DWORD count = 0;
        const auto wanted = static_cast<DWORD>(std::min(size, kMaxTransfer));
        if (ReadFile(handle_.get(), buffer, wanted, &count, nullptr)) {
            return static_cast<std::ptrdiff_t>(count);
        }
        report(debug_, "ReadFile", path_);
        return -1;
    }

    // One byte far beyond any end of file is locked: other programs can still read the file, and
    // every conversion asks for the same byte. Released when the handle is closed.
    bool lock() override {
        OVERLAPPED beyondEnd{};
        beyondEnd.Offset = 0xFFFFFFFE;
        beyondEnd.OffsetHigh = 0x7FFFFFFF;
        if (LockFileEx(handle_.get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                       &beyondEnd)) {
            return true;
        }
        report(debug_, "LockFileEx", path_);
        return false;
    }

    std::optional<FileState> state() override { return stateOfHandle(handle_.get()); }

  private:
    Handle handle_;
    Path path_;
    DebugChannel& debug_;
};

class WindowsOutputFile final : public OutputFile {
  public:
    WindowsOutputFile(HANDLE handle, Path path, DebugChannel& debug)
        : handle_(handle), path_(std::move(path)), debug_(debug) {}

    bool write(const char* data, std::size_t size) override {
        while (size > 0) {
            DWORD count = 0;
            const auto wanted = static_cast<DWORD>(std::min(size, kMaxTransfer));
            if (!WriteFile(handle_.get(), data, wanted, &count, nullptr) || count == 0) {
                return check(false, "WriteFile");
            }
            data += count;
            size -= count;
        }
        return true;
    }
    bool sync() override { return check(FlushFileBuffers(handle_.get()) != 0, "FlushFileBuffers"); }
    bool close() override { return check(handle_.close(), "CloseHandle"); }

  private:
    bool check(bool succeeded, const char* call) {
        if (!succeeded) report(debug_, call, path_);
        return succeeded;
    }

    Handle handle_;
    Path path_;
    DebugChannel& debug_;
};

bool sameFile(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
           a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
}

}  // namespace

std::wstring extendedLengthPath(const Path& path) {
    const std::wstring& text = path.native();
    if (text.starts_with(L"\\\\?\\") || text.starts_with(L"\\\\.\\")) return text;
    const DWORD size = GetFullPathNameW(text.c_str(), 0, nullptr, nullptr);
    if (size == 0) return text;
    std::wstring full(size, L'\0');
    const DWORD length = GetFullPathNameW(text.c_str(), size, full.data(), nullptr);
    if (length == 0 || length >= size) return text;
    full.resize(length);
    // A device name (CON, NUL) comes back as "\\.\NUL" and is left as it is.
    if (full.starts_with(L"\\\\?\\") || full.starts_with(L"\\\\.\\")) return full;
    if (full.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

// Shared for reading, not for writing: a file that another program has open for writing cannot
// be read half-written, nor written while it is converted. Shared for deletion, so that
// ReplaceFileW can give it its new name while it is open (and locked). A directory cannot be
// opened this way.
std::unique_ptr<InputFile> WindowsFileSystem::openForReading(const Path& path) {
    const HANDLE handle = CreateFileW(extendedLengthPath(path).c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        report(debug_, "CreateFileW", path);
        return nullptr;
    }
    return std::make_unique<WindowsInputFile>(handle, path, debug_);
}

// The temporary file is created new, or opened as it stands without following a reparse point
// (a symbolic link or junction); it must then be a plain disk file other than the input itself
// (a hard link to the input would otherwise be emptied), and only then is it truncated. The
// converted file gets the access rights the folder gives new files; the input's read-only
// attribute is not carried over (it would stop the next run from replacing "_original").
std::unique_ptr<OutputFile> WindowsFileSystem::createTemporary(const Path& path,
                                                               const Path& input) {
    BY_HANDLE_FILE_INFORMATION inputInfo{};
    {
        const Handle inputHandle(CreateFileW(extendedLengthPath(input).c_str(),
                                             FILE_READ_ATTRIBUTES,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                             nullptr, OPEN_EXISTING, 0, nullptr));
        if (!inputHandle.valid() || !GetFileInformationByHandle(inputHandle.get(), &inputInfo)) {
            report(debug_, "GetFileInformationByHandle", input);
            return nullptr;
        }
    }

    const std::wstring target = extendedLengthPath(path);
    constexpr DWORD kFlags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;
    bool created = true;
    HANDLE raw = CreateFileW(target.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                             kFlags, nullptr);
    if (raw == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_EXISTS) {
        created = false;
        raw = CreateFileW(target.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          kFlags, nullptr);
    }
    Handle handle(raw);
    if (!handle.valid()) {
        report(debug_, "CreateFileW", path);
        return nullptr;
    }

    BY_HANDLE_FILE_INFORMATION info{};
    const bool usable =
        GetFileType(handle.get()) == FILE_TYPE_DISK &&
        GetFileInformationByHandle(handle.get(), &info) &&
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) == 0 &&
        !sameFile(info, inputInfo) && (created || SetEndOfFile(handle.get()));
    if (!usable) {
        debugPrint(debug_, "%s: not a plain file of its own, or cannot be emptied\n",
                   toUtf8(path.native()).c_str());
        handle.close();
        if (created) DeleteFileW(target.c_str());
        return nullptr;
    }
    return std::make_unique<WindowsOutputFile>(handle.release(), path, debug_);
}

std::optional<FileState> WindowsFileSystem::stateOf(const Path& path) {
    const Handle handle(CreateFileW(extendedLengthPath(path).c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
    std::optional<FileState> state;
    if (handle.valid()) state = stateOfHandle(handle.get());
    if (!state) report(debug_, "GetFileInformationByHandle", path);
    return state;
}

bool WindowsFileSystem::exists(const Path& path) {
    return GetFileAttributesW(extendedLengthPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// DeleteFileW removes files only: a directory stays.
bool WindowsFileSystem::removeFile(const Path& path) {
    if (DeleteFileW(extendedLengthPath(path).c_str())) return true;
    report(debug_, "DeleteFileW", path);
    return false;
}

// Never replaces an existing file. With MOVEFILE_WRITE_THROUGH the move is on the disk when the
// call returns.
bool WindowsFileSystem::rename(const Path& from, const Path& to) {
    if (MoveFileExW(extendedLengthPath(from).c_str(), extendedLengthPath(to).c_str(),
                    MOVEFILE_WRITE_THROUGH)) {
        return true;
    }
    report(debug_, "MoveFileExW", from);
    return false;
}

// ReplaceFileW gives the input the kept name and the converted file the input's name. When it
// fails having moved the input aside, the input is moved back. A failure before anything moved
// (a read-only input, say) leaves the two renames to the caller.
Replacement WindowsFileSystem::replaceKeeping(const Path& temporary, const Path& input,
                                              const Path& kept) {
    const std::wstring inputPath = extendedLengthPath(input);
    const std::wstring keptPath = extendedLengthPath(kept);
    if (ReplaceFileW(inputPath.c_str(), extendedLengthPath(temporary).c_str(), keptPath.c_str(), 0,
                     nullptr, nullptr)) {
        return Replacement::Done;
    }
    report(debug_, "ReplaceFileW", input);
    const DWORD error = GetLastError();
    if (GetFileAttributesW(inputPath.c_str()) == INVALID_FILE_ATTRIBUTES) {
        MoveFileExW(keptPath.c_str(), inputPath.c_str(), MOVEFILE_WRITE_THROUGH);
        return Replacement::Failed;
    }
    const bool nothingMoved = GetFileAttributesW(keptPath.c_str()) == INVALID_FILE_ATTRIBUTES;
    const bool refused = error == ERROR_UNABLE_TO_REMOVE_REPLACED || error == ERROR_ACCESS_DENIED ||
                         error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION;
    return nothingMoved && refused ? Replacement::Unsupported : Replacement::Failed;
}

// The moves were written through already; a directory cannot be flushed on its own.
void WindowsFileSystem::syncDirectoryOf(const Path&) {}

}  // namespace ferrule::platform::windows
