// A file system that fails one chosen operation of a conversion the way the real one would, or
// changes the files around the conversion as another program would. The files live on the real
// disk.
#pragma once

#include <functional>
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
    RemoveEarlierOriginal,   // removing a file other than the temporary one
    Replace,                 // the converted file replacing the input, which keeps a second name
    RenameInputToOriginal,   // without hard links: the input moving to "<input>_original"
    RenameTemporaryToInput,  // the converted file taking the input's name by a rename
    WriteCopy,               // a write of the input's copy kept as "<input>_original"
    WriteReport,             // a write of a report file (its new file beside its name)
    SyncReport,              // flushing a report file to stable storage
    RenameReport,            // a report file taking its name
};

struct Fault {
    FileOperation operation = FileOperation::None;
    int error = 0;             // errno the failing call leaves, as the real call would
    int call = 0;              // which call of the operation fails, counted from 0
    bool noHardLinks = false;  // a file system without hard links (FAT, exFAT): the one-step
                               // replacement is refused and the two renames are used
    bool linkRefused = false;  // a file system with hard links that refuses to link the input
                               // (protected hard links): "_original" is written as a copy
    // Called before each step taken in the input's folder, with the step's number from 0: where
    // a test changes the folder under the conversion.
    std::function<void(int step)> beforeFolderStep;
};

// Passes every call to the real file system except the faulty one. Like Windows, and stricter
// than POSIX, it refuses to remove or rename the temporary file while it is open, and counts such
// attempts.
class FaultyFileSystem final : public platform::FileSystem {
  public:
    FaultyFileSystem(platform::FileSystem& real, const platform::Path& input, Fault fault)
        : real_(real), input_(input), fault_(std::move(fault)) {}

    platform::Opened open(const platform::Path& path) override;
    platform::FolderOf folderOf(const platform::Path& path) override;
    void holdInterrupts() override { real_.holdInterrupts(); }
    void releaseInterrupts() override { real_.releaseInterrupts(); }

    bool faultInjected() const { return injected_; }
    int openFileViolations() const { return openFileViolations_; }

  private:
    class Input;
    class Output;
    class Folder;

    // True when this call of `operation` is the faulty one: errno is set.
    bool fails(FileOperation operation);

    platform::FileSystem& real_;
    const platform::Path input_;
    const Fault fault_;
    std::map<FileOperation, int> calls_;
    bool injected_ = false;
    const platform::OutputFile* temporary_ = nullptr;  // while open
    platform::Folder::Name temporaryName_;
    int openFileViolations_ = 0;
    int folderSteps_ = 0;
};

}  // namespace ferrule::test
