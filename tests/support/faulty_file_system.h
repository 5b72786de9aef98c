// A file system that fails one chosen operation of a conversion the way the real one would, and
// services that record what the user was told. The files themselves live on the real disk.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace ferrule::test {

// The operations of one conversion, by the part they play.
enum class FileOperation {
    None,
    ProbeOpen,        // the first opening of the input: can it be read?
    SecondOpen,       // the opening the input is read through
    Read,             // the read that reaches input byte `atByte`: bytes before it, then -1
    CreateTemporary,  // creating "<input>_temp"
    Write,            // the write that reaches output byte `atByte`: bytes before it, then false
    WriteCall,        // the write call numbered `atCall`, counted from 1, fails whole (with the
                      // count of a run without a fault: the last flush)
    Sync,             // flushing the temporary file to stable storage
    Close,            // closing the temporary file
    RemoveEarlierOriginal,   // deleting a file other than the temporary one
    RenameInputToOriginal,   // the input moving to "<input>_original"
    RenameTemporaryToInput,  // the converted file taking the input's path
};

std::string_view operationName(FileOperation operation);

struct Fault {
    FileOperation operation = FileOperation::None;
    int error = 0;             // errno the failing call leaves, as the real call would
    std::uint64_t atByte = 0;  // for Read and Write
    int atCall = 0;            // for WriteCall
};

// Passes every call to the real file system except the faulty one. Like Windows, and stricter
// than POSIX, it refuses to delete or rename a file that is still open, and counts such attempts:
// a driver that passes here releases its files before it moves them.
class FaultyFileSystem final : public platform::FileSystem {
  public:
    FaultyFileSystem(platform::FileSystem& real, const platform::Path& input, Fault fault);

    std::unique_ptr<platform::InputFile> openForReading(const platform::Path& path) override;
    std::unique_ptr<platform::OutputFile> createTemporary(const platform::Path& path,
                                                          const platform::Path& input) override;
    bool exists(const platform::Path& path) override;
    bool removeFile(const platform::Path& path) override;
    bool rename(const platform::Path& from, const platform::Path& to) override;
    void syncDirectoryOf(const platform::Path& path) override;

    // Whether the chosen operation was reached and failed.
    bool faultInjected() const { return injected_; }
    // Deletions and renames attempted on a file still open.
    int openFileViolations() const { return openFileViolations_; }
    // Calls made, in order, e.g. "rename site.19o -> site.19o_original".
    const std::vector<std::string>& calls() const { return calls_; }
    int writeCalls() const { return writeCalls_; }

  private:
    class Input;
    class Output;

    // True when `operation` is the faulty one: errno is set and the fault is recorded.
    bool fails(FileOperation operation);
    bool isOpen(const platform::Path& path) const;
    void record(std::string call) { calls_.push_back(std::move(call)); }

    platform::FileSystem& real_;
    const platform::Path input_;
    const platform::Path temporary_;
    const platform::Path kept_;
    const Fault fault_;
    bool injected_ = false;
    int opens_ = 0;
    int writeCalls_ = 0;
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
