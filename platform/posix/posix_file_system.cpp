#include "platform/posix/posix_file_system.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#if defined(__linux__)
#include <sys/vfs.h>
#include <sys/xattr.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

namespace ferrule::platform {

namespace {

using Name = Folder::Name;

// Tells the debug channel which call failed on which name, and why (errno is kept).
void report(DebugChannel& debug, const char* call, const Path& path) {
    const int error = errno;
    debugPrint(debug, "%s %s: %s\n", call, path.c_str(), std::strerror(error));
    errno = error;
}

FileState stateFrom(const struct stat& status) {
    FileState state;
    state.kind = S_ISREG(status.st_mode)   ? FileState::Kind::Regular
                 : S_ISDIR(status.st_mode) ? FileState::Kind::Directory
                 : S_ISLNK(status.st_mode) ? FileState::Kind::SymbolicLink
                                           : FileState::Kind::Other;
    state.device = static_cast<std::uint64_t>(status.st_dev);
    state.index = static_cast<std::uint64_t>(status.st_ino);
    state.size = static_cast<std::uint64_t>(status.st_size);
    state.modified = std::int64_t{status.st_mtim.tv_sec} * 1'000'000'000 + status.st_mtim.tv_nsec;
    state.owner = status.st_uid;
    state.group = status.st_gid;
    state.mode = status.st_mode & 07777;
    return state;
}

std::optional<FileState> stateOfDescriptor(int fd) {
    struct stat status {};
    if (::fstat(fd, &status) != 0) return std::nullopt;
    return stateFrom(status);
}

class Descriptor {
  public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(Descriptor&& other) noexcept : fd_(other.release()) {}
    Descriptor& operator=(Descriptor&&) = delete;
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    bool close() {
        const int fd = release();
        return fd < 0 || ::close(fd) == 0;
    }
    void reset(int fd) {
        (void)close();
        fd_ = fd;
    }

  private:
    int fd_;
};

// --- Interrupts ------------------------------------------------------------------------------
//
// A signal handler can reach only process-wide state, so each temporary file the program has
// created is recorded here (its folder's descriptor, its name and its inode) while it stands
// under its temporary name: a conversion's "_temp", or the new file of a report (two at most).
// An interrupt then removes each such name, if it still names the file created, and ends the
// program. The swap holds interrupts off, so that it is never cut between two of its steps.

struct Recorded {
    volatile sig_atomic_t used = 0;
    int folder = -1;
    char name[NAME_MAX + 1] = {};
    dev_t device = 0;
    ino_t inode = 0;
};
constexpr int kRecordedFiles = 4;
Recorded recorded[kRecordedFiles];

constexpr int kInterrupts[] = {SIGINT, SIGTERM, SIGHUP};

extern "C" void onInterrupt(int signal) {
    for (Recorded& file : recorded) {
        if (file.used == 0) continue;
        struct stat status {};
        if (::fstatat(file.folder, file.name, &status, AT_SYMLINK_NOFOLLOW) == 0 &&
            status.st_dev == file.device && status.st_ino == file.inode) {
            ::unlinkat(file.folder, file.name, 0);
        }
    }
    ::_exit(128 + signal);
}

void recordTemporary(int folder, const Name& name, const struct stat& status) {
    if (name.native().size() > NAME_MAX) return;
    for (Recorded& file : recorded) {
        if (file.used != 0) continue;
        file.folder = folder;
        std::memcpy(file.name, name.c_str(), name.native().size() + 1);
        file.device = status.st_dev;
        file.inode = status.st_ino;
        file.used = 1;
        return;
    }
}

// The file no longer stands at its name (renamed, removed); an empty name: nothing the folder
// created is its to remove any more (it is closed).
void forgetTemporary(int folder, const Name& name = {}) {
    for (Recorded& file : recorded) {
        if (file.used != 0 && file.folder == folder && (name.empty() || name == file.name)) {
            file.used = 0;
        }
    }
}

void blockInterrupts(int how) {
    sigset_t set;
    sigemptyset(&set);
    for (const int signal : kInterrupts) sigaddset(&set, signal);
    ::sigprocmask(how, &set, nullptr);
}

// --- Files -----------------------------------------------------------------------------------

class PosixInputFile final : public InputFile {
  public:
    PosixInputFile(Descriptor fd, Path path, DebugChannel& debug)
        : fd_(std::move(fd)), path_(std::move(path)), debug_(debug) {}

    std::ptrdiff_t read(char* buffer, std::size_t size) override {
        for (;;) {
            const ssize_t count = ::read(fd_.get(), buffer, size);
            if (count >= 0) return count;
            if (errno != EINTR) {
                report(debug_, "read", path_);
                return -1;
            }
        }
    }

    bool rewind() override {
        if (::lseek(fd_.get(), 0, SEEK_SET) == 0) return true;
        report(debug_, "lseek", path_);
        return false;
    }

    // An advisory lock on the whole file, released when the descriptor is closed.
    Lock lock() override {
        if (::flock(fd_.get(), LOCK_EX | LOCK_NB) == 0) return Lock::Taken;
        report(debug_, "flock", path_);
        return errno == EWOULDBLOCK ? Lock::Held : Lock::Unsupported;
    }

    std::optional<FileState> state() override {
        std::optional<FileState> state = stateOfDescriptor(fd_.get());
        if (!state) report(debug_, "fstat", path_);
        return state;
    }

    std::vector<ExtendedAttribute> extendedAttributes() override {
        std::vector<ExtendedAttribute> attributes;
#if defined(__linux__)
        std::vector<char> names(
            static_cast<std::size_t>(std::max<ssize_t>(::flistxattr(fd_.get(), nullptr, 0), 0)));
        const ssize_t length =
            names.empty() ? 0 : ::flistxattr(fd_.get(), names.data(), names.size());
        for (ssize_t at = 0; at < length;) {
            const std::string name(names.data() + at);
            at += static_cast<ssize_t>(name.size()) + 1;
            const ssize_t size = ::fgetxattr(fd_.get(), name.c_str(), nullptr, 0);
            if (size < 0) continue;
            std::string value(static_cast<std::size_t>(size), '\0');
            const ssize_t got = ::fgetxattr(fd_.get(), name.c_str(), value.data(), value.size());
            if (got < 0) continue;
            value.resize(static_cast<std::size_t>(got));
            attributes.push_back({name, std::move(value)});
        }
#endif
        return attributes;
    }

  private:
    Descriptor fd_;
    Path path_;
    DebugChannel& debug_;
};

class PosixOutputFile final : public OutputFile {
  public:
    PosixOutputFile(Descriptor fd, Path path, DebugChannel& debug)
        : fd_(std::move(fd)), path_(std::move(path)), debug_(debug) {}
    // The descriptor of a file created once this object exists (nothing can fail after it).
    void adopt(int fd) { fd_.reset(fd); }

    bool write(const char* data, std::size_t size) override {
        while (size > 0) {
            const ssize_t count = ::write(fd_.get(), data, size);
            if (count < 0) {
                if (errno == EINTR) continue;
                report(debug_, "write", path_);
                return false;
            }
            data += count;
            size -= static_cast<std::size_t>(count);
        }
        return true;
    }
    // One writev for up to IOV_MAX pieces at a time; after a short write it goes on from where
    // the write stopped.
    bool writeGathered(std::span<const std::string_view> pieces) override {
        vectors_.clear();
        for (const std::string_view piece : pieces) {
            vectors_.push_back({const_cast<char*>(piece.data()), piece.size()});
        }
        iovec* next = vectors_.data();
        std::size_t left = vectors_.size();
        while (left > 0) {
            const ssize_t count =
                ::writev(fd_.get(), next, static_cast<int>(std::min<std::size_t>(left, IOV_MAX)));
            if (count < 0 && errno == EINTR) continue;
            if (count <= 0) {
                report(debug_, "writev", path_);
                return false;
            }
            auto done = static_cast<std::size_t>(count);
            for (; left > 0 && done >= next->iov_len; ++next, --left) done -= next->iov_len;
            if (left > 0) {
                next->iov_base = static_cast<char*>(next->iov_base) + done;
                next->iov_len -= done;
            }
        }
        return true;
    }

    // The owner first (changing it clears set-user-ID bits anyway), then the extended attributes
    // (an access-control list sets the group bits as its mask), then the permission bits.
    void takeAttributesOf(const FileState& input,
                          std::span<const ExtendedAttribute> attributes) override {
        if (::fchown(fd_.get(), input.owner, input.group) != 0) report(debug_, "fchown", path_);
#if defined(__linux__)
        for (const ExtendedAttribute& attribute : attributes) {
            if (::fsetxattr(fd_.get(), attribute.name.c_str(), attribute.value.data(),
                            attribute.value.size(), 0) != 0) {
                report(debug_, ("fsetxattr " + attribute.name).c_str(), path_);
            }
        }
#else
        (void)attributes;
#endif
        if (::fchmod(fd_.get(), input.mode & 0777) != 0) report(debug_, "fchmod", path_);
    }

    bool sync() override {
        return check(::fsync(fd_.get()) == 0, "fsync");
    }
    bool close() override {
        return check(fd_.close(), "close");
    }
    std::optional<FileState> state() override {
        return stateOfDescriptor(fd_.get());
    }

  private:
    bool check(bool succeeded, const char* call) {
        if (!succeeded) report(debug_, call, path_);
        return succeeded;
    }

    Descriptor fd_;
    Path path_;
    DebugChannel& debug_;
    std::vector<iovec> vectors_;
};

// Whether the file system of the folder has no hard links at all (FAT and exFAT memory cards),
// as against one that refused this one link.
bool withoutHardLinks(int folder, int linkError) {
    if (linkError == EOPNOTSUPP || linkError == ENOSYS) return true;
#if defined(__linux__)
    struct statfs status {};
    if (::fstatfs(folder, &status) != 0) return false;
    constexpr long kFat = 0x4d44;        // MSDOS_SUPER_MAGIC: FAT12/16/32, vfat
    constexpr long kExFat = 0x2011BAB0;  // EXFAT_SUPER_MAGIC
    return status.f_type == kFat || status.f_type == kExFat;
#else
    (void)folder;
    return linkError == EPERM;
#endif
}

class PosixFolder final : public Folder {
  public:
    PosixFolder(Descriptor fd, Path path, const FileState& input, DebugChannel& debug)
        : fd_(std::move(fd)), path_(std::move(path)), input_(input), debug_(debug) {}
    // The descriptor is about to be closed: the files recorded through it are forgotten (their
    // owners removed them already, or, after a failed removal, left them to be seen).
    ~PosixFolder() override { forgetTemporary(fd_.get()); }

    std::optional<FileState> stateOf(const Name& name) override {
        struct stat status {};
        if (::fstatat(fd_.get(), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) return {};
        return stateFrom(status);
    }

    bool remove(const Name& name) override {
        const std::optional<FileState> state = stateOf(name);
        if (state && state->kind == FileState::Kind::Directory) {
            errno = EISDIR;
            report(debug_, "unlinkat", path_ / name);
            return false;
        }
        if (::unlinkat(fd_.get(), name.c_str(), 0) != 0) {
            report(debug_, "unlinkat", path_ / name);
            return false;
        }
        forgetTemporary(fd_.get(), name);
        return true;
    }

    // Opening the file for reading only to ask for a shared lock: its bytes are never read.
    bool lockedByAnother(const Name& name) override {
        const Descriptor fd(::openat(fd_.get(), name.c_str(),
                                     O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
        if (fd.get() < 0) return false;
        const std::optional<FileState> state = stateOfDescriptor(fd.get());
        if (!state || state->kind != FileState::Kind::Regular) return false;
        return ::flock(fd.get(), LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    }

    // Everything that allocates comes before the file is created: once it exists, its owner
    // (who removes it unless it is kept) has it.
    std::unique_ptr<OutputFile> create(const Name& name, Access access) override {
        const mode_t mode = access == Access::OwnerOnly ? 0600 : 0666;  // the umask applies
        auto file = std::make_unique<PosixOutputFile>(Descriptor(), path_ / name, debug_);
        Descriptor fd(::openat(fd_.get(), name.c_str(),
                               O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
        struct stat status {};
        if (fd.get() < 0 || ::fstat(fd.get(), &status) != 0) {
            report(debug_, "openat", path_ / name);
            return nullptr;
        }
        // Whoever finds the file while it is written knows it is being written. (A file system
        // without locks still converts: the input's lock would have refused it already.)
        (void)::flock(fd.get(), LOCK_EX | LOCK_NB);
        recordTemporary(fd_.get(), name, status);
        file->adopt(fd.release());
        return file;
    }

    std::optional<std::string> head(const Name& name, std::size_t size) override {
        const Descriptor fd(::openat(fd_.get(), name.c_str(),
                                     O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
        const std::optional<FileState> state =
            fd.get() >= 0 ? stateOfDescriptor(fd.get()) : std::nullopt;
        if (!state || state->kind != FileState::Kind::Regular) return std::nullopt;
        std::string bytes(size, '\0');
        const ssize_t count = ::read(fd.get(), bytes.data(), size);
        if (count < 0) return std::nullopt;
        bytes.resize(static_cast<std::size_t>(count));
        return bytes;
    }

    bool rename(const Name& from, const Name& to) override {
        if (::renameat(fd_.get(), from.c_str(), fd_.get(), to.c_str()) != 0) {
            report(debug_, "renameat", path_ / from);
            return false;
        }
        forgetTemporary(fd_.get(), from);
        return true;
    }

    // The input gets its second name first, checked to be the file read; then the converted
    // file takes its name in one step. A crash between the two leaves the input at both names.
    Replacement replaceKeeping(const Name& temporary, const Name& input,
                               const Name& kept) override {
        if (::linkat(fd_.get(), input.c_str(), fd_.get(), kept.c_str(), 0) != 0) {
            report(debug_, "linkat", path_ / input);
            if (withoutHardLinks(fd_.get(), errno)) return Replacement::NoHardLinks;
            return errno == EPERM || errno == EACCES || errno == EMLINK ? Replacement::LinkRefused
                                                                        : Replacement::Failed;
        }
        const std::optional<FileState> linked = stateOf(kept);
        if (!linked || !linked->sameFile(input_)) {
            debugPrint(debug_, "%s: not the file read\n", (path_ / input).c_str());
            (void)::unlinkat(fd_.get(), kept.c_str(), 0);
            return Replacement::Failed;
        }
        const Replacement replaced = takeName(temporary, input);
        if (replaced != Replacement::Done) (void)::unlinkat(fd_.get(), kept.c_str(), 0);
        return replaced;
    }

    // The converted file takes the input's name. Where the file system exchanges two names in
    // one step (renameat2 with RENAME_EXCHANGE), the entry it took the name from must be the file
    // read: a newer file renamed onto the name since the last check gets its name back, and the
    // converted file goes back to its temporary name. Elsewhere one rename replaces the entry,
    // and a file renamed there in the instant since the last check would lose its name.
    Replacement takeName(const Name& temporary, const Name& input) override {
#if defined(RENAME_EXCHANGE)
        if (::renameat2(fd_.get(), temporary.c_str(), fd_.get(), input.c_str(), RENAME_EXCHANGE) ==
            0) {
            const std::optional<FileState> replaced = stateOf(temporary);
            if (!replaced || !replaced->sameFile(input_)) {
                debugPrint(debug_, "%s: another file had taken the name\n",
                           (path_ / input).c_str());
                if (::renameat2(fd_.get(), temporary.c_str(), fd_.get(), input.c_str(),
                                RENAME_EXCHANGE) != 0) {
                    report(debug_, "renameat2", path_ / input);
                }
                return Replacement::Changed;
            }
            // The input's other name (kept, or its copy) holds its bytes: this name can go.
            forgetTemporary(fd_.get(), temporary);
            if (::unlinkat(fd_.get(), temporary.c_str(), 0) != 0) {
                report(debug_, "unlinkat", path_ / temporary);
            }
            return Replacement::Done;
        }
        if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) {
            report(debug_, "renameat2", path_ / temporary);
            return Replacement::Failed;
        }
#endif
        return rename(temporary, input) ? Replacement::Done : Replacement::Failed;
    }

    // The renames are done either way; this only hastens them to the disk.
    void sync() override {
        (void)::fsync(fd_.get());
    }

  private:
    Descriptor fd_;
    Path path_;
    FileState input_;
    DebugChannel& debug_;
};

bool hasSuffix(const std::string& name, const std::string& base, const char* suffix) {
    return name == base + suffix;
}

}  // namespace

// A symbolic link at the path is resolved once, to the file it finally names; that file is then
// converted in its own folder, and the link keeps naming it.
Opened PosixFileSystem::open(const Path& path) {
    Opened opened;
    opened.failure = Opened::Failure::CannotRead;
    struct stat linkStatus {};
    if (::lstat(path.c_str(), &linkStatus) != 0) {
        report(debug_, "lstat", path);
        return opened;
    }
    Path target = path;
    const bool link = S_ISLNK(linkStatus.st_mode);
    if (link) {
        char* resolved = ::realpath(path.c_str(), nullptr);
        if (resolved == nullptr) {
            report(debug_, "realpath", path);
            return opened;
        }
        target = resolved;
        std::free(resolved);
    }

    // (Names in the folder are shown as the path gave them: "site.19o", not "./site.19o".)
    const Path folderPath = target.parent_path();
    const Name name = target.filename();
    if (name.empty() || name == "." || name == "..") {
        errno = EISDIR;
        report(debug_, "open", path);
        return opened;
    }
    Descriptor folder(
        ::open(folderPath.empty() ? "." : folderPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() < 0) {
        report(debug_, "open", folderPath);
        return opened;
    }
    struct stat folderStatus {};
    (void)::fstat(folder.get(), &folderStatus);

    if (link) {
        // The link may not be an entry the swap beside its target removes or replaces, nor its
        // target one the swap beside the link would.
        const Path linkFolderPath = path.has_parent_path() ? path.parent_path() : Path(".");
        struct stat linkFolderStatus {};
        const std::string linkName = path.filename().native();
        const std::string& targetName = name.native();
        if (::stat(linkFolderPath.c_str(), &linkFolderStatus) == 0 &&
            linkFolderStatus.st_dev == folderStatus.st_dev &&
            linkFolderStatus.st_ino == folderStatus.st_ino &&
            (hasSuffix(linkName, targetName, "_temp") ||
             hasSuffix(linkName, targetName, "_original") ||
             hasSuffix(targetName, linkName, "_temp") ||
             hasSuffix(targetName, linkName, "_original"))) {
            debugPrint(debug_, "%s: a link to %s, a name the conversion gives its own files\n",
                       path.c_str(), target.c_str());
            opened.failure = Opened::Failure::LinkToSideFile;
            return opened;
        }
    }

    // Without blocking: a FIFO would otherwise wait for a writer for ever.
    Descriptor file(::openat(folder.get(), name.c_str(),
                             O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (file.get() < 0) {
        report(debug_, "openat", target);
        return opened;
    }
    const std::optional<FileState> state = stateOfDescriptor(file.get());
    if (!state || state->kind != FileState::Kind::Regular) {
        debugPrint(debug_, "%s: not a regular file\n", target.c_str());
        return opened;
    }
    if (::fcntl(file.get(), F_SETFL, 0) != 0) {
        report(debug_, "fcntl", target);
        return opened;
    }
    if (link) {
        // The link still names the file opened: it was not turned elsewhere meanwhile.
        struct stat now {};
        if (::stat(path.c_str(), &now) != 0 ||
            static_cast<std::uint64_t>(now.st_ino) != state->index ||
            static_cast<std::uint64_t>(now.st_dev) != state->device) {
            debugPrint(debug_, "%s: the link was changed while it was opened\n", path.c_str());
            return opened;
        }
    }
    opened.failure = Opened::Failure::None;
    opened.folder = std::make_unique<PosixFolder>(std::move(folder), folderPath, *state, debug_);
    opened.name = name;
    opened.file = std::make_unique<PosixInputFile>(std::move(file), target, debug_);
    return opened;
}

FolderOf PosixFileSystem::folderOf(const Path& path) {
    FolderOf found;
    const Path folderPath = path.parent_path();
    found.name = path.filename();
    if (found.name.empty() || found.name == "." || found.name == "..") {
        errno = EISDIR;
        report(debug_, "open", path);
        return found;
    }
    Descriptor folder(
        ::open(folderPath.empty() ? "." : folderPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() < 0) {
        report(debug_, "open", folderPath);
        return found;
    }
    found.folder =
        std::make_unique<PosixFolder>(std::move(folder), folderPath, FileState{}, debug_);
    return found;
}

void PosixFileSystem::holdInterrupts() {
    blockInterrupts(SIG_BLOCK);
}

void PosixFileSystem::releaseInterrupts() {
    blockInterrupts(SIG_UNBLOCK);
}

void installInterruptHandlers() {
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    for (const int signal : kInterrupts) sigaddset(&action.sa_mask, signal);
    for (const int signal : kInterrupts) ::sigaction(signal, &action, nullptr);
    // A file-size limit then shows as a failed write, not as a killed process; a console that
    // went away (a pager that quit) as a write that was lost, while the work goes on.
    ::signal(SIGXFSZ, SIG_IGN);
    ::signal(SIGPIPE, SIG_IGN);
}

void fillStandardDescriptors() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        // open gives the lowest free number: this one.
        const int opened = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (opened >= 0 && opened != fd) ::close(opened);
    }
}

}  // namespace ferrule::platform
