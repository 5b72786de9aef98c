#include "tests/support/faulty_file_system.h"

#include <algorithm>
#include <cerrno>
#include <fstream>

namespace ferrule::test {

using platform::Path;

namespace {

Path withSuffix(Path path, const char* suffix) {
    return path += suffix;
}

}  // namespace

// The input: its reads fail, or another program changes it, when reading reaches `atByte`.
class FaultyFileSystem::Input final : public platform::InputFile {
  public:
    Input(FaultyFileSystem& files, std::unique_ptr<platform::InputFile> real)
        : files_(files), real_(std::move(real)) {}

    std::ptrdiff_t read(char* buffer, std::size_t size) override {
        const Fault& fault = files_.fault_;
        const bool atByte = fault.operation == FileOperation::Read ||
                            fault.operation == FileOperation::Grow ||
                            fault.operation == FileOperation::ReplaceInput;
        if (atByte && files_.bytesRead_ + size > fault.atByte && !files_.injected_) {
            if (files_.bytesRead_ < fault.atByte) {
                size = static_cast<std::size_t>(fault.atByte - files_.bytesRead_);
            } else if (files_.fails(FileOperation::Read)) {
                return -1;
            } else if (files_.fails(FileOperation::Grow)) {
                std::ofstream(files_.input_, std::ios::binary | std::ios::app) << "appended\r\n";
            } else if (files_.fails(FileOperation::ReplaceInput)) {
                files_.real_.rename(files_.input_, withSuffix(files_.input_, "_moved"));
                std::ofstream(files_.input_, std::ios::binary) << "a new file\r\n";
            }
        }
        if (fault.operation == FileOperation::Read && files_.injected_) return -1;
        const std::ptrdiff_t count = real_->read(buffer, size);
        files_.bytesRead_ += static_cast<std::uint64_t>(std::max<std::ptrdiff_t>(count, 0));
        files_.inputEnded_ = count == 0;
        return count;
    }
    bool lock() override { return !files_.fails(FileOperation::Lock) && real_->lock(); }
    std::optional<platform::FileState> state() override { return real_->state(); }

  private:
    FaultyFileSystem& files_;
    std::unique_ptr<platform::InputFile> real_;
};

// The temporary file. A failing write first writes the bytes before the faulty one, as a write
// that runs out of space does; once failed, writes go on failing.
class FaultyFileSystem::Output final : public platform::OutputFile {
  public:
    Output(FaultyFileSystem& files, std::unique_ptr<platform::OutputFile> real)
        : files_(files), real_(std::move(real)) {
        files_.temporaryOpen_ = true;
    }
    ~Output() override { files_.temporaryOpen_ = false; }

    bool write(const char* data, std::size_t size) override {
        const Fault& fault = files_.fault_;
        const bool writes =
            fault.operation == FileOperation::Write || fault.operation == FileOperation::LastWrite;
        if (writes && files_.injected_) return false;
        if (fault.operation == FileOperation::Write && files_.bytesWritten_ + size > fault.atByte) {
            const auto before = static_cast<std::size_t>(fault.atByte - files_.bytesWritten_);
            real_->write(data, before);
            return !files_.fails(FileOperation::Write);
        }
        if (files_.inputEnded_ && files_.fails(FileOperation::LastWrite)) return false;
        files_.bytesWritten_ += size;
        return real_->write(data, size);
    }
    bool sync() override { return !files_.fails(FileOperation::Sync) && real_->sync(); }
    // A failed close still releases the file, as close(2) does.
    bool close() override {
        const bool closed = real_->close();
        files_.temporaryOpen_ = false;
        return !files_.fails(FileOperation::Close) && closed;
    }

  private:
    FaultyFileSystem& files_;
    std::unique_ptr<platform::OutputFile> real_;
};

FaultyFileSystem::FaultyFileSystem(platform::FileSystem& real, const Path& input, Fault fault)
    : real_(real), input_(input), temporary_(withSuffix(input, "_temp")), fault_(fault) {}

bool FaultyFileSystem::fails(FileOperation operation) {
    if (injected_ || operation != fault_.operation) return false;
    injected_ = true;
    errno = fault_.error;
    calls_.push_back("fault");
    return true;
}

bool FaultyFileSystem::temporaryInTheWay(const Path& path) {
    if (path != temporary_ || !temporaryOpen_) return false;
    ++openFileViolations_;
    errno = EACCES;
    return true;
}

std::unique_ptr<platform::InputFile> FaultyFileSystem::openForReading(const Path& path) {
    calls_.push_back("open " + path.filename().string());
    if (fails(FileOperation::Open)) return nullptr;
    std::unique_ptr<platform::InputFile> file = real_.openForReading(path);
    return file ? std::make_unique<Input>(*this, std::move(file)) : nullptr;
}

std::unique_ptr<platform::OutputFile> FaultyFileSystem::createTemporary(const Path& path,
                                                                        const Path& input) {
    calls_.push_back("create " + path.filename().string());
    if (fails(FileOperation::CreateTemporary)) return nullptr;
    std::unique_ptr<platform::OutputFile> file = real_.createTemporary(path, input);
    return file ? std::make_unique<Output>(*this, std::move(file)) : nullptr;
}

bool FaultyFileSystem::removeFile(const Path& path) {
    calls_.push_back("remove " + path.filename().string());
    if (temporaryInTheWay(path)) return false;
    if (path != temporary_ && fails(FileOperation::RemoveEarlierOriginal)) return false;
    return real_.removeFile(path);
}

bool FaultyFileSystem::rename(const Path& from, const Path& to) {
    calls_.push_back("rename " + from.filename().string() + " -> " + to.filename().string());
    if (temporaryInTheWay(from)) return false;
    if (from == input_ && fails(FileOperation::RenameInputToOriginal)) return false;
    if (to == input_ && fails(FileOperation::RenameTemporaryToInput)) return false;
    return real_.rename(from, to);
}

platform::Replacement FaultyFileSystem::replaceKeeping(const Path& temporary, const Path& input,
                                                       const Path& kept) {
    calls_.push_back("replace " + input.filename().string());
    if (temporaryInTheWay(temporary) || fails(FileOperation::Replace)) {
        return platform::Replacement::Failed;
    }
    if (fault_.noHardLinks) return platform::Replacement::Unsupported;
    return real_.replaceKeeping(temporary, input, kept);
}

}  // namespace ferrule::test
