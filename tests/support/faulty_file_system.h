// A file system that fails one chosen operation of a conversion the way the real one would, or
// changes the input while it is read as another program would. The files live on the real disk.
#pragma once

#include <map>
#include <memory>

#include "platform/platform.h"

namespace ferrule::test {

enum class FileOperation {
    None,
    Open,                    // the opening of the input
    Lock,                    // the lock that keeps a second conversion of the input from starting
    Read,                    // a read of the input (1 MiB a read)
    Grow,                    // before a read, another program appends a line to the input
    ReplaceInput,            // before a read, another program puts a new file at the input's path
    CreateTemporary,         // creating "<input>_temp"
    Write,                   // a write of the temporary file (at most 1 MiB a write)
    Sync,                    // flushing the temporary file to stable storage
    Close,                   // closing the temporary file
    RemoveEarlierOriginal,   // deleting a file other than the temporary one
    Replace,                 // the converted file replacing the input, which keeps a second name
    RenameInputToOriginal,   // without hard links: the input moving to "<input>_original"
    RenameTemporaryToInput,  // without hard links: the converted file taking the input's path
};

struct Fault {
    FileOperation operation = FileOperation::None;
    int error = 0;             // errno the failing call leaves, as the real call would
    int call = 0;              // which call of the operation fails, counted from 0
    bool noHardLinks = false;  // a file system without hard links (FAT, exFAT): the one-step
                               // replacement is refused and the two renames are used
};

// Passes every call to the real file system except the faulty one. Like Windows, and stricter
// than POSIX, it refuses to delete or rename the temporary file while it is open, and counts such
// attempts. (The input stays open, and locked, through the swap; Windows lets it be renamed, as
// it is shared for deletion.)
class FaultyFileSystem final : public platform::FileSystem {
  public:
    FaultyFileSystem(platform::FileSystem& real, const platform::Path& input, Fault fault)
        : real_(real), input_(input), fault_(fault) {}

    std::unique_ptr<platform::InputFile> openForReading(const platform::Path& path) override;
    std::unique_ptr<platform::OutputFile> createTemporary(const platform::Path& path,
                                                          const platform::Path& input) override;
    std::optional<platform::FileState> stateOf(const platform::Path& path) override {
        return real_.stateOf(path);
    }
    bool exists(const platform::Path& path) override { return real_.exists(path); }
    bool removeFile(const platform::Path& path) override;
    bool rename(const platform::Path& from, const platform::Path& to) override;
    platform::Replacement replaceKeeping(const platform::Path& temporary,
                                         const platform::Path& input,
                                         const platform::Path& kept) override;
    void syncDirectoryOf(const platform::Path& path) override { real_.syncDirectoryOf(path); }

    bool faultInjected() const { return injected_; }
    int openFileViolations() const { return openFileViolations_; }

  private:
    class Input;
    class Output;

    // True when this call of `operation` is the faulty one: errno is set.
    bool fails(FileOperation operation);
    // True (and a violation) when `path` is the temporary file and it is open.
    bool inTheWay(const platform::Path& path);

    platform::FileSystem& real_;
    const platform::Path input_;
    const Fault fault_;
    std::map<FileOperation, int> calls_;
    bool injected_ = false;
    const platform::OutputFile* temporary_ = nullptr;  // while open
    platform::Path temporaryPath_;
    int openFileViolations_ = 0;
};

}  // namespace ferrule::test
