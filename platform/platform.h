// Everything that differs between Windows and POSIX, behind small interfaces: the console, the
// notification of the outcome, the debug channel and the file operations of a conversion.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "common/output.h"

namespace ferrule::platform {

using Path = std::filesystem::path;
using detail::DebugChannel;
using detail::debugPrint;

// The console the program was started from. Texts are UTF-8; a platform converts them to what
// its console shows. Every write is flushed.
class Console {
  public:
    virtual ~Console() = default;
    virtual void writeOutput(std::string_view text) = 0;
    virtual void writeError(std::string_view text) = 0;
};

// Tells the user the outcome: a blocking message box, or its stand-in. Texts are UTF-8.
class Notifier {
  public:
    virtual ~Notifier() = default;
    // One outcome, told at once.
    virtual void notify(std::string_view caption, std::string_view text) = 0;
    // The outcome of one file of several: by default told at once, the file's name before it.
    virtual void notifyOf(std::string_view file, std::string_view caption, std::string_view text) {
        notify(caption, std::string(file).append(": ").append(text));
    }
    // After the last of several files: whether every one was converted.
    virtual void allNotified(bool /*allConverted*/) {}
    // The usage, after a start without a file, where the console may not stay to be read.
    virtual void usage(std::string_view /*text*/) {}
};

// What tells one file from another, and whether a file was written: the same file keeps its
// device and index; writing it changes its size or its modification time.
struct FileState {
    std::uint64_t device = 0;
    std::uint64_t index = 0;  // inode number, or the file index on Windows
    std::uint64_t size = 0;
    std::int64_t modified = 0;  // modification time in the platform's finest unit
    bool sameFile(const FileState& other) const {
        return device == other.device && index == other.index;
    }
    bool operator==(const FileState&) const = default;
};

// An input file open for reading.
class InputFile {
  public:
    virtual ~InputFile() = default;
    // Reads up to `size` bytes. Returns the count read, 0 at the end of the file, -1 on an error.
    virtual std::ptrdiff_t read(char* buffer, std::size_t size) = 0;
    // Takes the lock that keeps a second conversion of this file from starting; it is held until
    // the file is closed. False when another conversion holds it, or the lock cannot be taken.
    virtual bool lock() = 0;
    // The file's state now; empty when it cannot be read.
    virtual std::optional<FileState> state() = 0;
};

// The temporary output file. Each operation returns false when it failed.
class OutputFile {
  public:
    virtual ~OutputFile() = default;
    // Writes all of the bytes.
    virtual bool write(const char* data, std::size_t size) = 0;
    // Writes all of the pieces, in order, as one write where the platform can.
    virtual bool writeGathered(std::span<const std::string_view> pieces) {
        for (const std::string_view piece : pieces) {
            if (!write(piece.data(), piece.size())) return false;
        }
        return true;
    }
    // Flushes the file's data to stable storage.
    virtual bool sync() = 0;
    virtual bool close() = 0;
};

// How the converted file took the input's place.
enum class Replacement {
    Done,         // the converted file is at the input's path, the input at the kept path
    Unsupported,  // the file system cannot do it in one step (no hard links): nothing changed
    Failed,       // nothing changed
};

// The file operations of a conversion. A failing call tells the debug channel why.
class FileSystem {
  public:
    virtual ~FileSystem() = default;
    // Opens an existing file for reading; null when it cannot be opened.
    virtual std::unique_ptr<InputFile> openForReading(const Path& path) = 0;
    // Creates or truncates the temporary file for `input`, with the input's permission bits.
    // Null when it cannot be created, and when `path` is a symbolic link, a directory or another
    // non-regular file, or another name of `input` itself: nothing there is followed or changed.
    virtual std::unique_ptr<OutputFile> createTemporary(const Path& path, const Path& input) = 0;
    // The state of the file the path names (following symbolic links); empty when there is none.
    virtual std::optional<FileState> stateOf(const Path& path) = 0;
    virtual bool exists(const Path& path) = 0;
    // Deletes a file; never removes a directory.
    virtual bool removeFile(const Path& path) = 0;
    // Moves `from` to `to`, which does not exist.
    virtual bool rename(const Path& from, const Path& to) = 0;
    // Keeps the file at `input` as `kept` (which does not exist) and puts `temporary` in its
    // place, so that `input` names a file at every moment: the input until the converted file
    // takes its path in one step.
    virtual Replacement replaceKeeping(const Path& temporary, const Path& input,
                                       const Path& kept) = 0;
    // Makes the renames in the directory holding `path` durable, where the platform can.
    virtual void syncDirectoryOf(const Path& path) = 0;
};

// What the program is given to run with.
struct Services {
    Console& console;
    Notifier& notifier;
    DebugChannel& debug;
    FileSystem& files;
};

}  // namespace ferrule::platform
