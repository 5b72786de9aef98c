#include "platform/posix/posix_file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace ferrule::platform {

namespace {

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
        const int fd = fd_;
        fd_ = -1;
        return fd < 0 || ::close(fd) == 0;
    }

  private:
    int fd_;
};

class PosixInputFile final : public InputFile {
  public:
    explicit PosixInputFile(int fd) : fd_(fd) {}
    std::ptrdiff_t read(char* buffer, std::size_t size) override {
        for (;;) {
            const ssize_t count = ::read(fd_.get(), buffer, size);
            if (count >= 0) return count;
            if (errno != EINTR) return -1;
        }
    }

  private:
    Descriptor fd_;
};

class PosixOutputFile final : public OutputFile {
  public:
    explicit PosixOutputFile(int fd) : fd_(fd) {}
    bool write(const char* data, std::size_t size) override {
        while (size > 0) {
            const ssize_t count = ::write(fd_.get(), data, size);
            if (count < 0) {
                if (errno == EINTR) continue;
                return false;
            }
            data += count;
            size -= static_cast<std::size_t>(count);
        }
        return true;
    }
    bool sync() override { return ::fsync(fd_.get()) == 0; }
    bool close() override { return fd_.close(); }

  private:
    Descriptor fd_;
};

}  // namespace

std::unique_ptr<InputFile> PosixFileSystem::openForReading(const Path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    return std::make_unique<PosixInputFile>(fd);
}

// The temporary file is opened without following a symbolic link, and without blocking on a
// FIFO; it must then be a regular file other than the input itself (a hard link to the input
// would otherwise be truncated), before it is emptied.
std::unique_ptr<OutputFile> PosixFileSystem::createTemporary(const Path& path, const Path& input) {
    struct stat inputStatus {};
    if (::stat(input.c_str(), &inputStatus) != 0) return nullptr;

    constexpr int kFlags = O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    bool created = true;
    int fd = ::open(path.c_str(), kFlags | O_CREAT | O_EXCL, 0600);
    if (fd < 0 && errno == EEXIST) {
        created = false;
        fd = ::open(path.c_str(), kFlags);
    }
    if (fd < 0) return nullptr;
    Descriptor descriptor(fd);

    struct stat status {};
    const bool usable =
        ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) &&
        !(status.st_dev == inputStatus.st_dev && status.st_ino == inputStatus.st_ino) &&
        ::fcntl(fd, F_SETFL, 0) == 0 && ::ftruncate(fd, 0) == 0;
    if (!usable) {
        descriptor.close();
        if (created) ::unlink(path.c_str());
        return nullptr;
    }
    // The converted file keeps the input's permission bits; a file system without them is fine.
    (void)::fchmod(fd, inputStatus.st_mode & 07777);
    return std::make_unique<PosixOutputFile>(descriptor.release());
}

bool PosixFileSystem::exists(const Path& path) {
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0;
}

bool PosixFileSystem::removeFile(const Path& path) {
    return ::unlink(path.c_str()) == 0;
}

bool PosixFileSystem::rename(const Path& from, const Path& to) {
    return std::rename(from.c_str(), to.c_str()) == 0;
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
