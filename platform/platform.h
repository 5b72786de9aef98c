// Everything that differs between Windows and POSIX, behind small interfaces: the console, the
// notification of the outcome, the debug channel and the file operations of a conversion.
#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <string_view>

#include "common/output.h"

namespace ferrule::platform {

using Path = std::filesystem::path;

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
    virtual void notify(std::string_view caption, std::string_view text) = 0;
};

// An input file open for reading.
class InputFile {
  public:
    virtual ~InputFile() = default;
    // Reads up to `size` bytes. Returns the count read, 0 at the end of the file, -1 on an error.
    virtual std::ptrdiff_t read(char* buffer, std::size_t size) = 0;
};

// The temporary output file. Each operation returns false when it failed.
class OutputFile {
  public:
    virtual ~OutputFile() = default;
    // Writes all of the bytes.
    virtual bool write(const char* data, std::size_t size) = 0;
    // Flushes the file's data to stable storage.
    virtual bool sync() = 0;
    virtual bool close() = 0;
};

class FileSystem {
  public:
    virtual ~FileSystem() = default;
    // Opens an existing file for reading; null when it cannot be opened.
    virtual std::unique_ptr<InputFile> openForReading(const Path& path) = 0;
    // Creates or truncates the temporary file for `input`, with the input's permission bits.
    // Null when it cannot be created, and when `path` is a symbolic link, a directory or another
    // non-regular file, or another name of `input` itself: nothing there is followed or changed.
    virtual std::unique_ptr<OutputFile> createTemporary(const Path& path, const Path& input) = 0;
    virtual bool exists(const Path& path) = 0;
    // Deletes a file; never removes a directory.
    virtual bool removeFile(const Path& path) = 0;
    // Moves `from` to `to`, which does not exist.
    virtual bool rename(const Path& from, const Path& to) = 0;
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
