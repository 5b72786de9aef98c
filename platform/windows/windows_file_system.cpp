// Files through the wide Windows file API: untranslated bytes, large reads and writes,
// FlushFileBuffers before the swap, moves that reach the disk before they return.
#include <algorithm>

#include "platform/windows/windows_platform.h"

namespace ferrule::platform::windows {

namespace {

// Transfers are cut into pieces that a DWORD count can hold.
constexpr std::size_t kMaxTransfer = std::size_t{1} << 30;

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
    explicit WindowsInputFile(HANDLE handle) : handle_(handle) {}
    std::ptrdiff_t read(char* buffer, std::size_t size) override {
        DWORD count = 0;
        const auto wanted = static_cast<DWORD>(std::min(size, kMaxTransfer));
        if (!ReadFile(handle_.get(), buffer, wanted, &count, nullptr)) return -1;
        return static_cast<std::ptrdiff_t>(count);
    }

  private:
    Handle handle_;
};

class WindowsOutputFile final : public OutputFile {
  public:
    explicit WindowsOutputFile(HANDLE handle) : handle_(handle) {}
    bool write(const char* data, std::size_t size) override {
        while (size > 0) {
            DWORD count = 0;
            const auto wanted = static_cast<DWORD>(std::min(size, kMaxTransfer));
            if (!WriteFile(handle_.get(), data, wanted, &count, nullptr) || count == 0)
                return false;
            data += count;
            size -= count;
        }
        return true;
    }
    bool sync() override { return FlushFileBuffers(handle_.get()) != 0; }
    bool close() override { return handle_.close(); }

  private:
    Handle handle_;
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

// Shared for reading only, as the runtime's "rb" opening is: a file that another program has
// open for writing cannot be read half-written. A directory cannot be opened this way.
std::unique_ptr<InputFile> WindowsFileSystem::openForReading(const Path& path) {
    const HANDLE handle =
        CreateFileW(extendedLengthPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    return std::make_unique<WindowsInputFile>(handle);
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
    if (!handle.valid()) return nullptr;

    BY_HANDLE_FILE_INFORMATION info{};
    const bool usable =
        GetFileType(handle.get()) == FILE_TYPE_DISK &&
        GetFileInformationByHandle(handle.get(), &info) &&
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) == 0 &&
        !sameFile(info, inputInfo) && SetEndOfFile(handle.get());
    if (!usable) {
        handle.close();
        if (created) DeleteFileW(target.c_str());
        return nullptr;
    }
    return std::make_unique<WindowsOutputFile>(handle.release());
}

bool WindowsFileSystem::exists(const Path& path) {
    return GetFileAttributesW(extendedLengthPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// DeleteFileW removes files only: a directory stays.
bool WindowsFileSystem::removeFile(const Path& path) {
    return DeleteFileW(extendedLengthPath(path).c_str()) != 0;
}

// Never replaces an existing file. With MOVEFILE_WRITE_THROUGH the move is on the disk when the
// call returns.
bool WindowsFileSystem::rename(const Path& from, const Path& to) {
    return MoveFileExW(extendedLengthPath(from).c_str(), extendedLengthPath(to).c_str(),
                       MOVEFILE_WRITE_THROUGH) != 0;
}

// The moves were written through already; a directory cannot be flushed on its own.
void WindowsFileSystem::syncDirectoryOf(const Path&) {}

}  // namespace ferrule::platform::windows
