#include "tests/support/faulty_file_system.h"

#include <cerrno>
#include <fstream>
#include <new>

namespace ferrule::test {

using platform::Path;
using Name = platform::Folder::Name;

class FaultyFileSystem::Input final : public platform::InputFile {
  public:
    Input(FaultyFileSystem& files, std::unique_ptr<platform::InputFile> real)
        : files_(files), real_(std::move(real)) {}
    std::ptrdiff_t read(char* buffer, std::size_t size) override {
        const Path& input = files_.input_;
        if (files_.fails(FileOperation::Grow)) {
            std::ofstream(input, std::ios::binary | std::ios::app) << "appended\r\n";
        }
        if (files_.fails(FileOperation::ReplaceInput)) {
            std::filesystem::rename(input, Path(input) += "_moved");
            std::ofstream(input, std::ios::binary) << "a new file\r\n";
        }
        if (!files_.fails(FileOperation::Read)) return real_->read(buffer, size);
        // A conversion's memory runs out as its working buffers grow.
        if (errno == ENOMEM) throw std::bad_alloc();
        return -1;
    }
    bool rewind() override { return real_->rewind(); }
    platform::Lock lock() override {
        return files_.fails(FileOperation::Lock) ? platform::Lock::Held : real_->lock();
    }
    std::optional<platform::FileState> state() override { return real_->state(); }
    std::vector<platform::ExtendedAttribute> extendedAttributes() override {
        return real_->extendedAttributes();
    }

  private:
    FaultyFileSystem& files_;
    std::unique_ptr<platform::InputFile> real_;
};

class FaultyFileSystem::Output final : public platform::OutputFile {
  public:
    Output(FaultyFileSystem& files, std::unique_ptr<platform::OutputFile> real, bool temporary,
           bool report)
        : files_(files), real_(std::move(real)), temporary_(temporary), report_(report) {
        if (temporary_) files_.temporary_ = this;
    }
    ~Output() override { (void)close(); }
    bool write(const char* data, std::size_t size) override {
        const FileOperation operation = report_      ? FileOperation::WriteReport
                                        : temporary_ ? FileOperation::Write
                                                     : FileOperation::WriteCopy;
        return !files_.fails(operation) && real_->write(data, size);
    }
    void takeAttributesOf(const platform::FileState& input,
                          std::span<const platform::ExtendedAttribute> attributes) override {
        real_->takeAttributesOf(input, attributes);
    }
    bool sync() override {
        if (report_ && files_.fails(FileOperation::SyncReport)) return false;
        return !(temporary_ && files_.fails(FileOperation::Sync)) && real_->sync();
    }
    // A failed close still releases the file, as close(2) does.
    bool close() override {
        if (closed_) return true;
        closed_ = true;
        if (files_.temporary_ == this) files_.temporary_ = nullptr;
        return real_->close() && !(temporary_ && files_.fails(FileOperation::Close));
    }
    std::optional<platform::FileState> state() override { return real_->state(); }

  private:
    FaultyFileSystem& files_;
    std::unique_ptr<platform::OutputFile> real_;
    bool temporary_;
    bool report_;
    bool closed_ = false;
};

class FaultyFileSystem::Folder final : public platform::Folder {
  public:
    // The input's folder, or (without an input) a report file's.
    Folder(FaultyFileSystem& files, std::unique_ptr<platform::Folder> real, Name input)
        : files_(files), real_(std::move(real)), input_(std::move(input)) {}

    std::optional<platform::FileState> stateOf(const Name& name) override {
        step();
        return real_->stateOf(name);
    }
    bool remove(const Name& name) override {
        step();
        if (inTheWay(name)) return false;
        if (!isTemporary(name) && files_.fails(FileOperation::RemoveEarlierOriginal)) return false;
        return real_->remove(name);
    }
    bool lockedByAnother(const Name& name) override {
        step();
        return real_->lockedByAnother(name);
    }
    std::unique_ptr<platform::OutputFile> create(const Name& name,
                                                 platform::Access access) override {
        step();
        const bool temporary = isTemporary(name);
        if (temporary && files_.fails(FileOperation::CreateTemporary)) return nullptr;
        std::unique_ptr<platform::OutputFile> file = real_->create(name, access);
        if (file == nullptr) return nullptr;
        return std::make_unique<Output>(files_, std::move(file), temporary, input_.empty());
    }
    std::optional<std::string> head(const Name& name, std::size_t size) override {
        step();
        return real_->head(name, size);
    }
    bool rename(const Name& from, const Name& to) override {
        step();
        if (inTheWay(from)) return false;
        if (input_.empty() && files_.fails(FileOperation::RenameReport)) return false;
        if (from == input_ && files_.fails(FileOperation::RenameInputToOriginal)) return false;
        if (to == input_ && files_.fails(FileOperation::RenameTemporaryToInput)) return false;
        return real_->rename(from, to);
    }
    platform::Replacement replaceKeeping(const Name& temporary, const Name& input,
                                         const Name& kept) override {
        step();
        if (inTheWay(temporary) || files_.fails(FileOperation::Replace)) {
            return platform::Replacement::Failed;
        }
        if (files_.fault_.noHardLinks) return platform::Replacement::NoHardLinks;
        if (files_.fault_.linkRefused) return platform::Replacement::LinkRefused;
        return real_->replaceKeeping(temporary, input, kept);
    }
    platform::Replacement takeName(const Name& temporary, const Name& input) override {
        step();
        if (inTheWay(temporary) || files_.fails(FileOperation::RenameTemporaryToInput)) {
            return platform::Replacement::Failed;
        }
        return real_->takeName(temporary, input);
    }
    void sync() override { real_->sync(); }

  private:
    void step() {
        if (files_.fault_.beforeFolderStep) files_.fault_.beforeFolderStep(files_.folderSteps_);
        ++files_.folderSteps_;
    }
    bool isTemporary(const Name& name) const { return name == (Name(input_) += "_temp"); }
    // True (and a violation) when `name` is the temporary file and it is open.
    bool inTheWay(const Name& name) {
        if (files_.temporary_ == nullptr || !isTemporary(name)) return false;
        ++files_.openFileViolations_;
        errno = EACCES;
        return true;
    }

    FaultyFileSystem& files_;
    std::unique_ptr<platform::Folder> real_;
    Name input_;
};

bool FaultyFileSystem::fails(FileOperation operation) {
    if (operation != fault_.operation || calls_[operation]++ != fault_.call) return false;
    injected_ = true;
    errno = fault_.error;
    return true;
}

platform::FolderOf FaultyFileSystem::folderOf(const Path& path) {
    platform::FolderOf found = real_.folderOf(path);
    if (found.folder != nullptr) {
        found.folder = std::make_unique<Folder>(*this, std::move(found.folder), Name());
    }
    return found;
}

platform::Opened FaultyFileSystem::open(const Path& path) {
    if (fails(FileOperation::Open)) {
        platform::Opened refused;
        refused.failure = platform::Opened::Failure::CannotRead;
        return refused;
    }
    platform::Opened opened = real_.open(path);
    if (opened.failure != platform::Opened::Failure::None) return opened;
    opened.file = std::make_unique<Input>(*this, std::move(opened.file));
    opened.folder = std::make_unique<Folder>(*this, std::move(opened.folder), opened.name);
    return opened;
}

}  // namespace ferrule::test
