// Files through the wide Windows file API, every step in the input's folder, whose handle is held
// for the whole conversion: untranslated bytes, large reads and writes, a lock on the input and on
// the temporary file, FlushFileBuffers before the swap, and ReplaceFileW for the swap.
#include <algorithm>
#include <cwchar>
#include <utility>

#include "platform/windows/windows_platform.h"

namespace ferrule::platform::windows {

namespace {

using Name = Folder::Name;

// Transfers are cut into pieces that a DWORD count can hold.
constexpr std::size_t kMaxTransfer = std::size_t{1} << 30;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// The longest path the file API takes, in UTF-16 units with its terminator.
constexpr std::size_t kMaxPath = 32768;

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

void say(DebugChannel& debug, const Path& path, const char* why) {
    debugPrint(debug, "%s: %s\n", toUtf8(path.native()).c_str(), why);
}

// A reparse point opened as such (a symbolic link or a junction) counts as a link.
FileState stateFrom(const BY_HANDLE_FILE_INFORMATION& info) {
    const auto wide = [](DWORD high, DWORD low) {
        return std::uint64_t{high} << 32 | std::uint64_t{low};
    };
    FileState state;
    state.kind =
        (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? FileState::Kind::SymbolicLink
        : (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0   ? FileState::Kind::Directory
                                                                    : FileState::Kind::Regular;
    state.device = info.dwVolumeSerialNumber;
    state.index = wide(info.nFileIndexHigh, info.nFileIndexLow);
    state.size = wide(info.nFileSizeHigh, info.nFileSizeLow);
    state.modified = static_cast<std::int64_t>(
        wide(info.ftLastWriteTime.dwHighDateTime, info.ftLastWriteTime.dwLowDateTime));
    return state;
}

std::optional<FileState> stateOfHandle(HANDLE handle) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handle, &info)) return std::nullopt;
    return stateFrom(info);
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
    void reset(HANDLE handle) {
        (void)close();
        handle_ = handle;
    }

  private:
    HANDLE handle_;
};

// The path the file system gives an open file or folder: links and junctions resolved, each name
// as it is spelt on the disk, "\\?\" in front. Empty when it cannot be told.
std::wstring finalPath(HANDLE handle) {
    std::wstring path(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        const DWORD length =
            GetFinalPathNameByHandleW(handle, path.data(), static_cast<DWORD>(path.size()),
                                      FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(length);  // the size asked for, its terminator included
    }
    return {};
}

// One byte far beyond any end of file is locked: other programs can still read the file, and
// every conversion asks for the same byte, on the input and on its temporary file.
OVERLAPPED conversionLockByte() {
    OVERLAPPED beyondEnd{};
    beyondEnd.Offset = 0xFFFFFFFE;
    beyondEnd.OffsetHigh = 0x7FFFFFFF;
    return beyondEnd;
}

bool takeConversionLock(HANDLE handle) {
    OVERLAPPED beyondEnd = conversionLockByte();
    return LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                      &beyondEnd) != 0;
}

// --- Interrupts ------------------------------------------------------------------------------
//
// A console control handler runs in a thread of its own, so the temporary file a conversion has
// created is recorded here, process-wide (its path, its identity, and its handle while it is
// open), under a lock that the swap holds too: an interrupt that comes during the swap waits
// until the input's name holds a whole file again. While the file is open the handler marks it
// for deletion through its handle (nothing else can rename it meanwhile: it is shared for reading
// only); once it is closed, the name is opened without following a link and the file there is
// deleted only if it is the one created.

// One file recorded for removal: a conversion's "_temp", or the new file of a report (two at
// most, so four places).
struct RecordedFile {
    const void* folder = nullptr;  // the folder that created the file; null when none is recorded
    HANDLE open = INVALID_HANDLE_VALUE;
    DWORD volume = 0;
    DWORD indexHigh = 0;
    DWORD indexLow = 0;
    wchar_t path[kMaxPath] = {};
};

struct InterruptRecord {
    InterruptRecord() { InitializeCriticalSection(&lock); }
    CRITICAL_SECTION lock;
    RecordedFile files[4];
};

InterruptRecord& interruptRecord() {
    static InterruptRecord record;
    return record;
}

class RecordLock {
  public:
    RecordLock() { EnterCriticalSection(&interruptRecord().lock); }
    ~RecordLock() { LeaveCriticalSection(&interruptRecord().lock); }
    RecordLock(const RecordLock&) = delete;
    RecordLock& operator=(const RecordLock&) = delete;
};

void recordTemporary(const void* folder, const std::wstring& path,
                     const BY_HANDLE_FILE_INFORMATION& info, HANDLE handle) {
    const RecordLock locked;
    if (path.size() >= kMaxPath) return;
    for (RecordedFile& file : interruptRecord().files) {
        if (file.folder != nullptr) continue;
        std::wmemcpy(file.path, path.c_str(), path.size() + 1);
        file.volume = info.dwVolumeSerialNumber;
        file.indexHigh = info.nFileIndexHigh;
        file.indexLow = info.nFileIndexLow;
        file.open = handle;
        file.folder = folder;
        return;
    }
}

// The recorded file no longer stands at its name (renamed, removed), or is no longer the
// program's to remove: an empty path forgets whatever `folder` recorded.
void forgetTemporary(const void* folder, const std::wstring& path = {}) {
    const RecordLock locked;
    for (RecordedFile& file : interruptRecord().files) {
        if (file.folder == folder && (path.empty() || path == file.path)) {
            file.folder = nullptr;
            file.open = INVALID_HANDLE_VALUE;
        }
    }
}

// Closes a file's handle, forgetting it first if it is a recorded one, so that the handler
// never uses a handle that was closed.
bool closeRecorded(Handle& handle) {
    const RecordLock locked;
    for (RecordedFile& file : interruptRecord().files) {
        if (handle.valid() && file.open == handle.get()) file.open = INVALID_HANDLE_VALUE;
    }
    return handle.close();
}

void markForDeletion(HANDLE handle) {
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition);
}

// Never returns for the interrupts it takes: the exit status is that of SIGINT on POSIX. The
// process ends without running its cleanup (the main thread may be anywhere), as _exit does.
BOOL WINAPI onInterrupt(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) {
        return FALSE;
    }
    InterruptRecord& record = interruptRecord();
    EnterCriticalSection(&record.lock);  // waits while a swap runs; held until the end
    for (RecordedFile& recorded : record.files) {
        if (recorded.folder != nullptr && recorded.open != INVALID_HANDLE_VALUE) {
            markForDeletion(recorded.open);  // deleted as the process's handles close
        } else if (recorded.folder != nullptr) {
            const Handle file(CreateFileW(recorded.path, DELETE | FILE_READ_ATTRIBUTES, kShareAll,
                                          nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT,
                                          nullptr));
            BY_HANDLE_FILE_INFORMATION info{};
            if (file.valid() && GetFileInformationByHandle(file.get(), &info) &&
                info.dwVolumeSerialNumber == recorded.volume &&
                info.nFileIndexHigh == recorded.indexHigh &&
                info.nFileIndexLow == recorded.indexLow) {
                markForDeletion(file.get());
            }
        }
    }
    TerminateProcess(GetCurrentProcess(), 128 + 2);
    return TRUE;
}

// --- Files -----------------------------------------------------------------------------------

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

    bool rewind() override {
        if (SetFilePointerEx(handle_.get(), LARGE_INTEGER{}, nullptr, FILE_BEGIN)) return true;
        report(debug_, "SetFilePointerEx", path_);
        return false;
    }

    // Released when the handle is closed.
    Lock lock() override {
        if (takeConversionLock(handle_.get())) return Lock::Taken;
        report(debug_, "LockFileEx", path_);
        return GetLastError() == ERROR_LOCK_VIOLATION ? Lock::Held : Lock::Unsupported;
    }

    std::optional<FileState> state() override {
        std::optional<FileState> state = stateOfHandle(handle_.get());
        if (!state) report(debug_, "GetFileInformationByHandle", path_);
        return state;
    }

  private:
    Handle handle_;
    Path path_;
    DebugChannel& debug_;
};

// The file has the access rights the folder gives new files; takeAttributesOf sets nothing, as
// ReplaceFileW gives the converted file the input's access-control list when it takes the
// input's place. The input's read-only attribute is not carried over (it would stop the next run
// from replacing "_original").
class WindowsOutputFile final : public OutputFile {
  public:
    WindowsOutputFile(HANDLE handle, Path path, DebugChannel& debug)
        : handle_(handle), path_(std::move(path)), debug_(debug) {}
    // The handle of a file created once this object exists (nothing can fail after it).
    void adopt(HANDLE handle) { handle_.reset(handle); }
    ~WindowsOutputFile() override { (void)closeRecorded(handle_); }

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
    bool close() override { return check(closeRecorded(handle_), "CloseHandle"); }
    std::optional<FileState> state() override { return stateOfHandle(handle_.get()); }

  private:
    bool check(bool succeeded, const char* call) {
        if (!succeeded) report(debug_, call, path_);
        return succeeded;
    }

    Handle handle_;
    Path path_;
    DebugChannel& debug_;
};

// The folder's handle is held, shared for reading and writing but not for deletion: while it is
// open the folder can be neither renamed nor removed, nor another put at its name, so its path
// (which has no link or junction left in it) names it for the whole conversion, and each step
// names an entry by that path.
class WindowsFolder final : public Folder {
  public:
    // `path` ends with a backslash.
    WindowsFolder(HANDLE handle, std::wstring path, DebugChannel& debug)
        : handle_(handle), path_(std::move(path)), debug_(debug) {}
    // The folder is about to be closed: the files it recorded are forgotten (their owners removed
    // them already, or, after a failed removal, left them to be seen).
    ~WindowsFolder() override { forgetTemporary(this); }

    std::optional<FileState> stateOf(const Name& name) override {
        const Handle entry(CreateFileW(
            pathOf(name).c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
            FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        if (!entry.valid()) return std::nullopt;
        return stateOfHandle(entry.get());
    }

    // DeleteFileW removes a link itself, never what it names, and refuses a directory.
    bool remove(const Name& name) override {
        const std::wstring path = pathOf(name);
        const std::optional<FileState> state = stateOf(name);
        if (state && state->kind == FileState::Kind::Directory) {
            say(debug_, path, "a directory, not removed");
            return false;
        }
        if (!DeleteFileW(path.c_str())) {
            report(debug_, "DeleteFileW", path);
            return false;
        }
        // Where removal waits for the file's other handles to close (Windows before version
        // 1809, Wine), a name of a file open elsewhere (the input itself) stays until then.
        if (stateOf(name)) {
            say(debug_, path, "removed only once the file is closed everywhere");
            return false;
        }
        forgetTemporary(this, path);
        return true;
    }

    // Opened for reading only to ask for a shared lock on the conversion's byte: nothing is read.
    bool lockedByAnother(const Name& name) override {
        const Handle file(CreateFileW(pathOf(name).c_str(), GENERIC_READ, kShareAll, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (!file.valid() || GetFileType(file.get()) != FILE_TYPE_DISK) return false;
        const std::optional<FileState> state = stateOfHandle(file.get());
        if (!state || state->kind != FileState::Kind::Regular) return false;
        OVERLAPPED beyondEnd = conversionLockByte();
        if (LockFileEx(file.get(), LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &beyondEnd)) {
            UnlockFileEx(file.get(), 0, 1, 0, &beyondEnd);
            return false;
        }
        return GetLastError() == ERROR_LOCK_VIOLATION;
    }

    // CREATE_NEW fails on anything at the name, a link included. Shared for reading only, so that
    // nothing renames or removes the file while it is written; open for deletion, so that an
    // interrupt can remove it through its handle.
    // (Access: the file has the access rights the folder gives new files, either way.)
    std::unique_ptr<OutputFile> create(const Name& name, Access) override {
        const std::wstring path = pathOf(name);
        auto made = std::make_unique<WindowsOutputFile>(INVALID_HANDLE_VALUE, path, debug_);
        Handle file(CreateFileW(path.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr,
                                CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                                nullptr));
        BY_HANDLE_FILE_INFORMATION info{};
        if (!file.valid() || !GetFileInformationByHandle(file.get(), &info)) {
            report(debug_, "CreateFileW", path);
            return nullptr;
        }
        // Whoever finds the file while it is written knows it is being written. (A file system
        // without locks still converts: the input's lock would have refused it already.)
        (void)takeConversionLock(file.get());
        recordTemporary(this, path, info, file.get());
        made->adopt(file.release());
        return made;
    }

    std::optional<std::string> head(const Name& name, std::size_t size) override {
        const Handle file(CreateFileW(pathOf(name).c_str(), GENERIC_READ, kShareAll, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (!file.valid() || GetFileType(file.get()) != FILE_TYPE_DISK) return std::nullopt;
        const std::optional<FileState> state = stateOfHandle(file.get());
        if (!state || state->kind != FileState::Kind::Regular) return std::nullopt;
        std::string bytes(std::min(size, kMaxTransfer), '\0');
        DWORD count = 0;
        if (!ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &count,
                      nullptr)) {
            return std::nullopt;
        }
        bytes.resize(count);
        return bytes;
    }

    // With MOVEFILE_WRITE_THROUGH the move is on the disk when the call returns.
    bool rename(const Name& from, const Name& to) override {
        const std::wstring source = pathOf(from);
        if (!MoveFileExW(source.c_str(), pathOf(to).c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            report(debug_, "MoveFileExW", source);
            return false;
        }
        forgetTemporary(this, source);
        return true;
    }

    // ReplaceFileW gives the input the kept name and the converted file the input's name (and
    // the input's access-control list). When it fails having moved the input aside, the input is
    // moved back. A failure before anything moved (a read-only input, a file system that cannot
    // replace files this way) leaves the two renames to the caller.
    Replacement replaceKeeping(const Name& temporary, const Name& input,
                               const Name& kept) override {
        const std::wstring temporaryPath = pathOf(temporary);
        const std::wstring inputPath = pathOf(input);
        const std::wstring keptPath = pathOf(kept);
        if (ReplaceFileW(inputPath.c_str(), temporaryPath.c_str(), keptPath.c_str(), 0, nullptr,
                         nullptr)) {
            forgetTemporary(this, temporaryPath);
            return Replacement::Done;
        }
        report(debug_, "ReplaceFileW", inputPath);
        const DWORD error = GetLastError();
        if (GetFileAttributesW(inputPath.c_str()) == INVALID_FILE_ATTRIBUTES) {
            MoveFileExW(keptPath.c_str(), inputPath.c_str(), MOVEFILE_WRITE_THROUGH);
            return Replacement::Failed;
        }
        const bool nothingMoved = GetFileAttributesW(keptPath.c_str()) == INVALID_FILE_ATTRIBUTES;
        const bool refused = error == ERROR_UNABLE_TO_REMOVE_REPLACED ||
                             error == ERROR_ACCESS_DENIED || error == ERROR_NOT_SUPPORTED ||
                             error == ERROR_INVALID_FUNCTION;
        return nothingMoved && refused ? Replacement::NoHardLinks : Replacement::Failed;
    }

    // Windows cannot exchange two names in one step: the converted file is moved over the
    // input's name, whose file is kept under another name already.
    Replacement takeName(const Name& temporary, const Name& input) override {
        return rename(temporary, input) ? Replacement::Done : Replacement::Failed;
    }

    // The moves were written through already; a folder open for listing cannot be flushed.
    void sync() override {}

  private:
    std::wstring pathOf(const Name& name) const { return path_ + name.native(); }

    Handle handle_;
    std::wstring path_;
    DebugChannel& debug_;
};

// `name` is `base` followed by one of the suffixes the conversion gives its own files, in any
// case (names on Windows are the same whatever their case).
bool isSideNameOf(const std::wstring& name, const std::wstring& base) {
    for (const wchar_t* suffix : {L"_temp", L"_original"}) {
        const std::wstring side = base + suffix;
        if (CompareStringOrdinal(name.c_str(), static_cast<int>(name.size()), side.c_str(),
                                 static_cast<int>(side.size()), TRUE) == CSTR_EQUAL) {
            return true;
        }
    }
    return false;
}

// The length of the volume's part of an extended-length path: "\\?\C:\", or
// "\\?\UNC\server\share\".
std::size_t volumePartOf(const std::wstring& path) {
    std::size_t end = path.find(L'\\', 4);
    if (path.starts_with(L"\\\\?\\UNC\\") && end != std::wstring::npos) {
        end = path.find(L'\\', path.find(L'\\', end + 1) + 1);
    }
    return end == std::wstring::npos ? path.size() : end + 1;
}

// Whether a folder of the path (which ends with a backslash) is a link or a junction, or cannot
// be told.
bool hasLinkIn(const std::wstring& folderPath) {
    for (std::size_t end = folderPath.find(L'\\', volumePartOf(folderPath));
         end != std::wstring::npos; end = folderPath.find(L'\\', end + 1)) {
        const DWORD attributes = GetFileAttributesW(folderPath.substr(0, end).c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES ||
            (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            return true;
        }
    }
    return false;
}

bool sameFolder(const std::wstring& path, HANDLE held) {
    const Handle folder(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    const std::optional<FileState> state =
        folder.valid() ? stateOfHandle(folder.get()) : std::nullopt;
    const std::optional<FileState> heldState = stateOfHandle(held);
    return state && heldState && state->sameFile(*heldState);
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

// The path is opened once, following links and junctions, for reading: shared for reading, not
// for writing (a file that another program has open for writing cannot be read half-written,
// nor written while it is converted), and shared for deletion (so that ReplaceFileW can give it
// its new name while it is open and locked). A directory cannot be opened this way. The file's
// final path gives its folder and its name there; the folder is opened and held, and the name in
// it must name the very file opened (a link at the name has an identity of its own).
Opened WindowsFileSystem::open(const Path& path) {
    Opened opened;
    opened.failure = Opened::Failure::CannotRead;
    const std::wstring given = extendedLengthPath(path);
    Handle file(CreateFileW(given.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file.valid()) {
        report(debug_, "CreateFileW", path);
        return opened;
    }
    const std::optional<FileState> state = stateOfHandle(file.get());
    if (GetFileType(file.get()) != FILE_TYPE_DISK || !state ||
        state->kind == FileState::Kind::Directory) {
        say(debug_, path, "not a file on a disk");
        return opened;
    }
    // Where the file system cannot tell the final path (Wine, beyond MAX_PATH), the path given
    // stands for it, provided that no folder in it is a link or a junction.
    std::wstring target = finalPath(file.get());
    const bool resolved = !target.empty();
    if (!resolved) target = given;
    const std::size_t slash = target.rfind(L'\\');
    const std::wstring folderPath = target.substr(0, slash + 1);
    const std::wstring name = target.substr(slash + 1);

    Handle folder(CreateFileW(folderPath.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!folder.valid()) {
        report(debug_, "CreateFileW", folderPath);
        return opened;
    }
    // Once it is held, the folder's path, without a link in it, names the folder held. (A handle
    // open for attributes alone would keep no one from renaming the folder: the listing access is
    // what makes the missing delete sharing count.)
    std::wstring held = resolved ? finalPath(folder.get()) : std::wstring();
    if (!held.empty() && !held.ends_with(L'\\')) held += L'\\';
    if (resolved ? held != folderPath : hasLinkIn(folderPath)) {
        say(debug_, folderPath, "the folder was changed while it was opened, or has a link in it");
        return opened;
    }

    // The link may not be an entry the swap beside its target removes or replaces, nor its
    // target one the swap beside the link would.
    const std::wstring givenName = given.substr(given.rfind(L'\\') + 1);
    if ((isSideNameOf(givenName, name) || isSideNameOf(name, givenName)) &&
        sameFolder(given.substr(0, given.rfind(L'\\') + 1), folder.get())) {
        debugPrint(debug_, "%s: a link to %s, a name the conversion gives its own files\n",
                   toUtf8(path.native()).c_str(), toUtf8(target).c_str());
        opened.failure = Opened::Failure::LinkToSideFile;
        return opened;
    }

    auto inFolder = std::make_unique<WindowsFolder>(folder.release(), folderPath, debug_);
    const std::optional<FileState> entry = inFolder->stateOf(name);
    if (!entry || !entry->sameFile(*state)) {
        say(debug_, target, "not the file the path names");
        return opened;
    }
    opened.failure = Opened::Failure::None;
    opened.folder = std::move(inFolder);
    opened.name = name;
    opened.file = std::make_unique<WindowsInputFile>(file.release(), target, debug_);
    return opened;
}

// The folder of a report file: opened as a conversion opens its input's folder, held without
// delete sharing.
FolderOf WindowsFileSystem::folderOf(const Path& path) {
    FolderOf found;
    const std::wstring full = extendedLengthPath(path);
    const std::size_t slash = full.rfind(L'\\');
    found.name = full.substr(slash + 1);
    const std::wstring folderPath = full.substr(0, slash + 1);
    if (found.name.empty() || found.name == L"." || found.name == L"..") {
        say(debug_, path, "not a file's name");
        return found;
    }
    Handle folder(CreateFileW(folderPath.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!folder.valid()) {
        report(debug_, "CreateFileW", folderPath);
        return found;
    }
    found.folder = std::make_unique<WindowsFolder>(folder.release(), folderPath, debug_);
    return found;
}

void WindowsFileSystem::holdInterrupts() {
    EnterCriticalSection(&interruptRecord().lock);
}

void WindowsFileSystem::releaseInterrupts() {
    LeaveCriticalSection(&interruptRecord().lock);
}

void installInterruptHandler() {
    static const bool installed = SetConsoleCtrlHandler(onInterrupt, TRUE) != 0;
    (void)installed;
}

}  // namespace ferrule::platform::windows
