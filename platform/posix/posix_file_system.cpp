#include "platform/posix/posix_file_system.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <utility>
#include <vector>

namespace ferrule::platform {

namespace {

// Tells the debug channel which call failed on which path, and why (errno is kept).
void report(DebugChannel& debug, const char* call, const Path& path) {
    const int error = errno;
    debugPrint(debug, "%s %s: %s\n", call, path.c_str(), std::strerror(error));
    errno = error;
}

FileState stateFrom(const struct stat& status) {
    return FileState{static_cast<std::uint64_t>(status.st_dev),
                     static_cast<std::uint64_t>(status.st_ino),
                     static_cast<std::uint64_t>(status.st_size),
                     std::int64_t{status.st_mtim.tv_sec} * 1'000'000'000 + status.st_mtim.tv_nsec};
}

class Descriptor {
  public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
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

  private:
    int fd_;
};

class PosixInputFile final : public InputFile {
  public:
    PosixInputFile(int fd, Path path, DebugChannel& debug)
        : fd_(fd), path_(std::move(path)), debug_(debug) {}

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

    // An advisory lock on the whole file, released when the descriptor is closed.
    bool lock() override {
        if (::flock(fd_.get(), LOCK_EX | LOCK_NB) == 0) return true;
        report(debug_, "flock", path_);
        return false;
    }

    std::optional<FileState> state() override {
        struct stat status {};
        if (::fstat(fd_.get(), &status) == 0) return stateFrom(status);
        report(debug_, "fstat", path_);
        return std::nullopt;
    }

  private:
    Descriptor fd_;
    Path path_;
    DebugChannel& debug_;
};

class PosixOutputFile final : public OutputFile {
  public:
    PosixOutputFile(int fd, Path path, DebugChannel& debug)
        : fd_(fd), path_(std::move(path)), debug_(debug) {}

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
    bool sync() override { return check(::fsync(fd_.get()) == 0, "fsync"); }
    bool close() override { return check(fd_.close(), "close"); }

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

// The errors of link(2) that say the file system has no hard links (FAT and exFAT give EPERM).
bool meansNoHardLinks(int error) {
    return error == EPERM || error == EOPNOTSUPP || error == ENOSYS || error == EMLINK;
}

}  // namespace

std::unique_ptr<InputFile> PosixFileSystem::openForReading(const Path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        report(debug_, "open", path);
        return nullptr;
    }
    return std::make_unique<PosixInputFile>(fd, path, debug_);
}

// The temporary file is opened without following a symbolic link, and without blocking on a
// FIFO; it must then be a regular file other than the input itself (a hard link to the input
// would otherwise be truncated). A file left by an earlier run is emptied; a new one is not
// truncated, which would make the file system start writing it back early.
std::unique_ptr<OutputFile> PosixFileSystem::createTemporary(const Path& path, const Path& input) {
    struct stat inputStatus {};
    if (::stat(input.c_str(), &inputStatus) != 0) {
        report(debug_, "stat", input);
        return nullptr;
    }

    constexpr int kFlags = O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    bool created = true;
    int fd = ::open(path.c_str(), kFlags | O_CREAT | O_EXCL, 0600);
    if (fd < 0 && errno == EEXIST) {
        created = false;
        fd = ::open(path.c_str(), kFlags);
    }
    if (fd < 0) {
        report(debug_, "open", path);
        return nullptr;
    }
    Descriptor descriptor(fd);

    struct stat status {};
    const bool usable =
        ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) &&
        !(status.st_dev == inputStatus.st_dev && status.st_ino == inputStatus.st_ino) &&
        ::fcntl(fd, F_SETFL, 0) == 0 && (created || ::ftruncate(fd, 0) == 0);
    if (!usable) {
        debugPrint(debug_, "%s: not a regular file of its own, or cannot be emptied\n",
                   path.c_str());
        descriptor.close();
        if (created) ::unlink(path.c_str());
        return nullptr;
    }
    // The converted file keeps the input's permission bits; a file system without them is fine.
    (void)::fchmod(fd, inputStatus.st_mode & 07777);
    return std::make_unique<PosixOutputFile>(descriptor.release(), path, debug_);
}

std::optional<FileState> PosixFileSystem::stateOf(const Path& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) == 0) return stateFrom(status);
    report(debug_, "stat", path);
    return std::nullopt;
}

bool PosixFileSystem::exists(const Path& path) {
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0;
}

bool PosixFileSystem::removeFile(const Path& path) {
    if (::unlink(path.c_str()) == 0) return true;
    report(debug_, "unlink", path);
    return false;
}

bool PosixFileSystem::rename(const Path& from, const Path& to) {
    if (::rename(from.c_str(), to.c_str()) == 0) return true;
    report(debug_, "rename", from);
    return false;
}

// The input gets its second name first; then the converted file replaces it at its path in one
// rename. A crash between the two leaves the input at both names.
Replacement PosixFileSystem::replaceKeeping(const Path& temporary, const Path& input,
                                            const Path& kept) {
    if (::link(input.c_str(), kept.c_str()) != 0) {
        report(debug_, "link", input);
        return meansNoHardLinks(errno) ? Replacement::Unsupported : Replacement::Failed;
    }
    if (::rename(temporary.c_str(), input.c_str()) != 0) {
        report(debug_, "rename", temporary);
        ::unlink(kept.c_str());
        return Replacement::Failed;
    }
    return Replacement::Done;
}

void PosixFileSystem::syncDirectoryOf(const Path& path) {
    Path directory = path.parent_path();
    if (directory.empty()) directory = ".";
    const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    // The renames are done either way; this only hastens them to the disk.
    (void)::fsync(fd);
    ::close(fd);
}

}  // namespace ferrule::platform
