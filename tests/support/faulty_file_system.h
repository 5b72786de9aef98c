// A file system that fails one chosen operation of a conversion the way the real one would, and
// services that record what the user was told. The files themselves live on the real disk.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace ferrule::test {

// The operations of one conversion, by the part they play.
enum class FileOperation {
    None,
    Open,             // the opening of the input
    Lock,             // the lock that keeps a second conversion of the input from starting
    Read,             // the read that reaches input byte `atByte`: bytes before it, then -1
    Grow,             // at input byte `atByte` another program appends to the input
    ReplaceInput,     // at input byte `atByte` another program puts a new file at the input's path
    CreateTemporary,  // creating "<input>_temp"
    Write,            // the write that reaches output byte `atByte`: bytes before it, then false
    LastWrite,        // the first write once the input was read to its end fails whole
    Sync,             // flushing the temporary file to stable storage
    Close,            // closing the temporary file
    RemoveEarlierOriginal,   // deleting a file other than the temporary one
    Replace,                 // the converted file replacing the input, which keeps a second name
    RenameInputToOriginal,   // without hard links: the input moving to "<input>_original"
    RenameTemporaryToInput,  // without hard links: the converted file taking the input's path
};

std::string_view operationName(FileOperation operation);

struct Fault {
    FileOperation operation = FileOperation::None;
    int error = 0;             // errno the failing call leaves, as the real call would
    std::uint64_t atByte = 0;  // for Read, Grow, ReplaceInput and Write
    bool noHardLinks = false;  // a file system without hard links (FAT, exFAT): the one-step
                               // replacement is refused and the two renames are used
};

// Passes every call to the real file system except the faulty one. Like Windows, and stricter
// than POSIX, it refuses to delete or rename the temporary file while it is still open, and
// counts such attempts: a driver that passes here closes it before it moves it. (The input stays
// open, and locked, through the swap; Windows lets it be renamed, as it is shared for deletion.)
class FaultyFileSystem final : public platform::FileSystem {
  public:
    FaultyFileSystem(platform::FileSystem& real, const platform::Path& input, Fault fault);

    std::unique_ptr<platform::InputFile> openForReading(const platform::Path& path) override;
    std::unique_ptr<platform::OutputFile> createTemporary(const platform::Path& path,
                                                          const platform::Path& input) override;
    std::optional<platform::FileState> stateOf(const platform::Path& path) override;
    bool exists(const platform::Path& path) override;
    bool removeFile(const platform::Path& path) override;
    bool rename(const platform::Path& from, const platform::Path& to) override;
    platform::Replacement replaceKeeping(const platform::Path& temporary,
                                         const platform::Path& input,
                                         const platform::Path& kept) override;
    void syncDirectoryOf(const platform::Path& path) override;

    // Whether the chosen operation was reached and failed.
    bool faultInjected() const { return injected_; }
    // Deletions and renames attempted on the temporary file while it was open.
    int openFileViolations() const { return openFileViolations_; }
    // Calls made, in order, e.g. "rename site.19o -> site.19o_original".
    const std::vector<std::string>& calls() const { return calls_; }

  private:
    class Input;
    class Output;

    // True when `operation` is the faulty one: errno is set and the fault is recorded.
    bool fails(FileOperation operation);
    bool isOpen(const platform::Path& path) const;
    void record(std::string call) { calls_.push_back(std::move(call)); }
    // What another program does to the input while it is read.
    void disturbInput();

    platform::FileSystem& real_;
    const platform::Path input_;
    const platform::Path temporary_;
    const platform::Path kept_;
    const Fault fault_;
    bool injected_ = false;
    bool inputEnded_ = false;
    std::uint64_t bytesRead_ = 0;
    std::uint64_t bytesWritten_ = 0;
    std::map<platform::Path, int> openFiles_;
    int openFileViolations_ = 0;
    std::vector<std::string> calls_;
};

class RecordingConsole final : public platform::Console {
  public:
    void writeOutput(std::string_view text) override { out.append(text); }
    void writeError(std::string_view text) override { err.append(text); }
    std::string out;
    std::string err;
};

struct Notification {
    std::string caption;
    std::string text;
    bool operator==(const Notification&) const = default;
};

class RecordingNotifier final : public platform::Notifier {
  public:
    void notify(std::string_view caption, std::string_view text) override {
        notifications.push_back({std::string(caption), std::string(text)});
    }
    std::vector<Notification> notifications;
};

}  // namespace ferrule::test
