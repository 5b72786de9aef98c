#include "tests/support/faulty_file_system.h"

#include <cerrno>
#include <fstream>

namespace ferrule::test {

using platform::Path;

class FaultyFileSystem::Input final : public platform::InputFile {
  public:
    Input(FaultyFileSystem& files, std::unique_ptr<platform::InputFile> real)
        : files_(files), real_(std::move(real)) {}
    std::ptrdiff_t read(char* buffer, std::size_t size) override {
        Path input = files_.input_;
        if (files_.fails(FileOperation::Grow)) {
            std::ofstream(input, std::ios::binary | std::ios::app) << "appended\r\n";
        }
        if (files_.fails(FileOperation::ReplaceInput)) {
            files_.real_.rename(input, Path(input) += "_moved");
            std::ofstream(input, std::ios::binary) << "a new file\r\n";
        }
        return files_.fails(FileOperation::Read) ? -1 : real_->read(buffer, size);
    }
    bool lock() override { return !files_.fails(FileOperation::Lock) && real_->lock(); }
    std::optional<platform::FileState> state() override { return real_->state(); }

  private:
    FaultyFileSystem& files_;
    std::unique_ptr<platform::InputFile> real_;
};

class FaultyFileSystem::Output final : public platform::OutputFile {
  public:
    Output(FaultyFileSystem& files, std::unique_ptr<platform::OutputFile> real)
        : files_(files), real_(std::move(real)) {
        files_.temporary_ = this;
    }
    ~Output() override { close(); }
    bool write(const char* data, std::size_t size) override {
        return !files_.fails(FileOperation::Write) && real_->write(data, size);
    }
    bool sync() override { return !files_.fails(FileOperation::Sync) && real_->sync(); }
    // A failed close still releases the file, as close(2) does.
    bool close() override {
        if (files_.temporary_ != this) return true;
        files_.temporary_ = nullptr;
        return real_->close() && !files_.fails(FileOperation::Close);
    }

  private:
    FaultyFileSystem& files_;
    std::unique_ptr<platform::OutputFile> real_;
};

bool FaultyFileSystem::fails(FileOperation operation) {
    if (operation != fault_.operation || calls_[operation]++ != fault_.call) return false;
    injected_ = true;
    errno = fault_.error;
    return true;
}

bool FaultyFileSystem::inTheWay(const Path& path) {
    if (temporary_ == nullptr || path != temporaryPath_) return false;
    ++openFileViolations_;
    errno = EACCES;
    return true;
}

std::unique_ptr<platform::InputFile> FaultyFileSystem::openForReading(const Path& path) {
    if (fails(FileOperation::Open)) return nullptr;
    std::unique_ptr<platform::InputFile> file = real_.openForReading(path);
    return file ? std::make_unique<Input>(*this, std::move(file)) : nullptr;
}

std::unique_ptr<platform::OutputFile> FaultyFileSystem::createTemporary(const Path& path,
                                                                        const Path& input) {
    if (fails(FileOperation::CreateTemporary)) return nullptr;
    std::unique_ptr<platform::OutputFile> file = real_.createTemporary(path, input);
    temporaryPath_ = path;
    return file ? std::make_unique<Output>(*this, std::move(file)) : nullptr;
}

bool FaultyFileSystem::removeFile(const Path& path) {
    if (inTheWay(path)) return false;
    if (path != temporaryPath_ && fails(FileOperation::RemoveEarlierOriginal)) return false;
    return real_.removeFile(path);
}

bool FaultyFileSystem::rename(const Path& from, const Path& to) {
    if (inTheWay(from)) return false;
    if (from == input_ && fails(FileOperation::RenameInputToOriginal)) return false;
    if (to == input_ && fails(FileOperation::RenameTemporaryToInput)) return false;
    return real_.rename(from, to);
}

platform::Replacement FaultyFileSystem::replaceKeeping(const Path& temporary, const Path& input,
                                                       const Path& kept) {
    if (inTheWay(temporary) || fails(FileOperation::Replace)) return platform::Replacement::Failed;
    if (fault_.noHardLinks) return platform::Replacement::Unsupported;
    return real_.replaceKeeping(temporary, input, kept);
}

}  // namespace ferrule::test
