#include "tests/support/faulty_file_system.h"

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <utility>

namespace ferrule::test {

using platform::Path;

std::string_view operationName(FileOperation operation) {
    switch (operation) {
        case FileOperation::None:
            return "none";
        case FileOperation::Open:
            return "open";
        case FileOperation::Lock:
            return "lock";
        case FileOperation::Read:
            return "read";
        case FileOperation::Grow:
            return "grow";
        case FileOperation::ReplaceInput:
            return "replace input";
        case FileOperation::CreateTemporary:
            return "create temporary";
        case FileOperation::Write:
            return "write";
        case FileOperation::LastWrite:
            return "last write";
        case FileOperation::Sync:
            return "sync";
        case FileOperation::Close:
            return "close";
        case FileOperation::RemoveEarlierOriginal:
            return "remove earlier original";
        case FileOperation::Replace:
            return "replace";
        case FileOperation::RenameInputToOriginal:
            return "rename input to original";
        case FileOperation::RenameTemporaryToInput:
            return "rename temporary to input";
    }
    return "?";
}

namespace {

Path withSuffix(const Path& path, const char* suffix) {
    Path result = path;
    result += suffix;
    return result;
}

}  // namespace

// An input file whose reads fail from byte `atByte` on once the fault is chosen, or that another
// program changes when reading reaches that byte.
class FaultyFileSystem::Input final : public platform::InputFile {
  public:
    Input(FaultyFileSystem& files, std::unique_ptr<platform::InputFile> real)
        : files_(files), real_(std::move(real)) {}

    std::ptrdiff_t read(char* buffer, std::size_t size) override {
        const FileOperation chosen = files_.fault_.operation;
        const bool atByte = chosen == FileOperation::Read || chosen == FileOperation::Grow ||
                            chosen == FileOperation::ReplaceInput;
        if (atByte && !files_.injected_) {
            const std::uint64_t before = files_.fault_.atByte - files_.bytesRead_;
            if (before == 0) {
                if (chosen == FileOperation::Read) {
                    files_.fails(chosen);
                    return -1;
                }
                files_.disturbInput();
            } else {
                size = static_cast<std::size_t>(std::min<std::uint64_t>(size, before));
            }
        } else if (chosen == FileOperation::Read && files_.injected_) {
            return -1;  // a failing disk goes on failing
        }
        const std::ptrdiff_t count = real_->read(buffer, size);
        if (count > 0) files_.bytesRead_ += static_cast<std::uint64_t>(count);
        if (count == 0) files_.inputEnded_ = true;
        return count;
    }

    bool lock() override { return !files_.fails(FileOperation::Lock) && real_->lock(); }
    std::optional<platform::FileState> state() override { return real_->state(); }

  private:
    FaultyFileSystem& files_;
    std::unique_ptr<platform::InputFile> real_;
};

// The temporary file. A failing write first writes the bytes before the faulty one, as a write
// that runs out of space does.
class FaultyFileSystem::Output final : public platform::OutputFile {
  public:
    Output(FaultyFileSystem& files, std::unique_ptr<platform::OutputFile> real, Path path)
        : files_(files), real_(std::move(real)), path_(std::move(path)) {
        ++files_.openFiles_[path_];
    }
    ~Output() override { release(); }

    bool write(const char* data, std::size_t size) override {
        const FileOperation chosen = files_.fault_.operation;
        const bool writeFault =
            chosen == FileOperation::Write || chosen == FileOperation::LastWrite;
        if (writeFault && files_.injected_) return false;  // a full disk stays full
        if (chosen == FileOperation::Write && files_.bytesWritten_ + size > files_.fault_.atByte) {
            const auto before =
                static_cast<std::size_t>(files_.fault_.atByte - files_.bytesWritten_);
            if (before > 0 && real_->write(data, before)) files_.bytesWritten_ += before;
            files_.fails(FileOperation::Write);
            return false;
        }
        if (files_.inputEnded_ && files_.fails(FileOperation::LastWrite)) return false;
        if (!real_->write(data, size)) return false;
        files_.bytesWritten_ += size;
        return true;
    }

    bool sync() override {
        if (files_.fails(FileOperation::Sync)) return false;
        return real_->sync();
    }

    // A failed close still releases the file, as close(2) does.
    bool close() override {
        if (closed_) return true;
        const bool closed = real_->close();
        release();
        if (files_.fails(FileOperation::Close)) return false;
        return closed;
    }

  private:
    void release() {
        if (!closed_) --files_.openFiles_[path_];
        closed_ = true;
    }

    FaultyFileSystem& files_;
    std::unique_ptr<platform::OutputFile> real_;
    Path path_;
    bool closed_ = false;
};

FaultyFileSystem::FaultyFileSystem(platform::FileSystem& real, const Path& input, Fault fault)
    : real_(real),
      input_(input),
      temporary_(withSuffix(input, "_temp")),
      kept_(withSuffix(input, "_original")),
      fault_(fault) {}

bool FaultyFileSystem::fails(FileOperation operation) {
    if (operation == FileOperation::None || injected_ || operation != fault_.operation) {
        return false;
    }
    injected_ = true;
    errno = fault_.error;
    record("fault: " + std::string(operationName(operation)));
    return true;
}

// Another program appends a line to the input, or puts a new file at its path (the input itself
// moved aside, as Windows allows while it is open for reading).
void FaultyFileSystem::disturbInput() {
    fails(fault_.operation);
    if (fault_.operation == FileOperation::Grow) {
        std::ofstream(input_, std::ios::binary | std::ios::app) << "appended\r\n";
        return;
    }
    real_.rename(input_, withSuffix(input_, "_moved"));
    std::ofstream(input_, std::ios::binary) << "a new file\r\n";
}

bool FaultyFileSystem::isOpen(const Path& path) const {
    const auto found = openFiles_.find(path);
    return found != openFiles_.end() && found->second > 0;
}

std::unique_ptr<platform::InputFile> FaultyFileSystem::openForReading(const Path& path) {
    record("open " + path.filename().string());
    if (fails(FileOperation::Open)) return nullptr;
    std::unique_ptr<platform::InputFile> file = real_.openForReading(path);
    if (file == nullptr) return nullptr;
    return std::make_unique<Input>(*this, std::move(file));
}

std::unique_ptr<platform::OutputFile> FaultyFileSystem::createTemporary(const Path& path,
                                                                        const Path& input) {
    record("create " + path.filename().string());
    if (fails(FileOperation::CreateTemporary)) return nullptr;
    std::unique_ptr<platform::OutputFile> file = real_.createTemporary(path, input);
    if (file == nullptr) return nullptr;
    return std::make_unique<Output>(*this, std::move(file), path);
}

std::optional<platform::FileState> FaultyFileSystem::stateOf(const Path& path) {
    return real_.stateOf(path);
}

bool FaultyFileSystem::exists(const Path& path) {
    return real_.exists(path);
}

bool FaultyFileSystem::removeFile(const Path& path) {
    record("remove " + path.filename().string());
    if (isOpen(path)) {
        ++openFileViolations_;
        errno = EACCES;
        return false;
    }
    if (path != temporary_ && fails(FileOperation::RemoveEarlierOriginal)) return false;
    return real_.removeFile(path);
}

bool FaultyFileSystem::rename(const Path& from, const Path& to) {
    record("rename " + from.filename().string() + " -> " + to.filename().string());
    if (isOpen(from) || isOpen(to)) {
        ++openFileViolations_;
        errno = EACCES;
        return false;
    }
    FileOperation operation = FileOperation::None;
    if (from == input_ && to == kept_) operation = FileOperation::RenameInputToOriginal;
    if (from == temporary_ && to == input_) operation = FileOperation::RenameTemporaryToInput;
    if (fails(operation)) return false;
    return real_.rename(from, to);
}

platform::Replacement FaultyFileSystem::replaceKeeping(const Path& temporary, const Path& input,
                                                       const Path& kept) {
    record("replace " + input.filename().string() + " by " + temporary.filename().string());
    if (isOpen(temporary)) {
        ++openFileViolations_;
        return platform::Replacement::Failed;
    }
    if (fault_.noHardLinks) return platform::Replacement::Unsupported;
    if (fails(FileOperation::Replace)) return platform::Replacement::Failed;
    return real_.replaceKeeping(temporary, input, kept);
}

void FaultyFileSystem::syncDirectoryOf(const Path& path) {
    record("sync directory");
    real_.syncDirectoryOf(path);
}

}  // namespace ferrule::test
