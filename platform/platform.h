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
#include <vector>

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
    // A console that has gone away (a pager that quit: a closed pipe) loses what is written to
    // it; the program goes on with its work.
    virtual void writeOutput(std::string_view text) = 0;
    virtual void writeError(std::string_view text) = 0;
    // Bytes as they are (a report written to standard output), untranslated; false when they
    // could not all be written.
    [[nodiscard]] virtual bool writeData(std::string_view bytes) = 0;
};

// Tells the user the outcome: a blocking message box, or its stand-in. Texts are UTF-8.
class Notifier {
  public:
    virtual ~Notifier() = default;
    // One outcome, told at once: whether the file was converted, the caption and the text.
    virtual void notify(bool converted, std::string_view caption, std::string_view text) = 0;
    // The outcome of one file of several: by default told at once, the file's name before it.
    virtual void notifyOf(std::string_view file, bool converted, std::string_view caption,
                          std::string_view text) {
        notify(converted, caption, std::string(file).append(": ").append(text));
    }
    // After the last of several files: whether every one was converted.
    virtual void allNotified(bool /*allConverted*/) {}
    // The usage, after a start without a file, where the console may not stay to be read.
    virtual void usage(std::string_view /*text*/) {}
    // A report page just written, for the user to see (Windows: in the default browser).
    virtual void showPage(const std::filesystem::path& /*page*/) {}
};

// What tells one file from another, and whether a file was written: the same file keeps its
// device and index; writing it changes its size or its modification time.
struct FileState {
    enum class Kind { Regular, Directory, SymbolicLink, Other };
    Kind kind = Kind::Regular;
    std::uint64_t device = 0;
    std::uint64_t index = 0;  // inode number, or the file index on Windows
    std::uint64_t size = 0;
    std::int64_t modified = 0;  // modification time in the platform's finest unit
    // POSIX: the owner, the group and the permission bits (0 on Windows).
    std::uint32_t owner = 0;
    std::uint32_t group = 0;
    std::uint32_t mode = 0;
    bool sameFile(const FileState& other) const {
        return device == other.device && index == other.index;
    }
    // The same file, neither written nor grown nor cut since `other` was taken.
    bool unchangedSince(const FileState& other) const {
        return sameFile(other) && size == other.size && modified == other.modified;
    }
};

// An extended attribute of a file (POSIX access-control lists are kept as such attributes).
struct ExtendedAttribute {
    std::string name;
    std::string value;
};

enum class Lock {
    Taken,        // held until the file is closed
    Held,         // another conversion, or another program, holds it
    Unsupported,  // the file system cannot lock files
};

// An input file open for reading.
class InputFile {
  public:
    virtual ~InputFile() = default;
    // Reads up to `size` bytes. Returns the count read, 0 at the end of the file, -1 on an error.
    virtual std::ptrdiff_t read(char* buffer, std::size_t size) = 0;
    // Goes back to the first byte, to read the file again.
    [[nodiscard]] virtual bool rewind() = 0;
    // Takes the lock that keeps a second conversion of this file from starting; it is held until
    // the file is closed.
    virtual Lock lock() = 0;
    // The file's state now; empty when it cannot be read.
    virtual std::optional<FileState> state() = 0;
    // The file's extended attributes, as far as they can be read.
    virtual std::vector<ExtendedAttribute> extendedAttributes() { return {}; }
};

// A file being written: the temporary file, or the copy of the input kept as "_original". Each
// operation returns false when it failed.
class OutputFile {
  public:
    virtual ~OutputFile() = default;
    // Writes all of the bytes.
    [[nodiscard]] virtual bool write(const char* data, std::size_t size) = 0;
    // Writes all of the pieces, in order, as one write where the platform can.
    [[nodiscard]] virtual bool writeGathered(std::span<const std::string_view> pieces) {
        for (const std::string_view piece : pieces) {
            if (!write(piece.data(), piece.size())) return false;
        }
        return true;
    }
    // Gives the file the input's owner and group where the process may set them, its extended
    // attributes (access-control lists among them) where the file system has them, and its
    // permission bits without set-user-ID, set-group-ID and sticky. What cannot be set is told
    // to the debug channel; the file is written all the same.
    virtual void takeAttributesOf(const FileState& /*input*/,
                                  std::span<const ExtendedAttribute> /*attributes*/) {}
    // Flushes the file's data to stable storage.
    [[nodiscard]] virtual bool sync() = 0;
    [[nodiscard]] virtual bool close() = 0;
    // The file's state now; empty when it cannot be read.
    virtual std::optional<FileState> state() = 0;
};

// How the converted file took the input's place.
enum class Replacement {
    Done,         // the converted file is at the input's name, the input at the kept name
    NoHardLinks,  // the file system has no hard links (FAT, exFAT): nothing changed
    LinkRefused,  // it has them, but the input may not be linked (another user's file, say):
                  // nothing changed
    Changed,      // another file had taken the input's name meanwhile: it keeps it, nothing changed
    Failed,       // nothing changed
};

// Who may read a new file: its owner alone (a temporary file, until it takes the input's
// permissions), or whoever the umask lets (a report).
enum class Access { OwnerOnly, UnderUmask };

// The folder that holds the input, held open from the moment the input's path was looked up:
// every later step names an entry of this folder (the input's name, its "_temp" and its
// "_original"), so a folder renamed or swapped meanwhile cannot send a step anywhere else.
class Folder {
  public:
    using Name = Path;  // one component: no folder in it
    virtual ~Folder() = default;
    // The entry's state, not following a symbolic link; empty when there is none.
    virtual std::optional<FileState> stateOf(const Name& name) = 0;
    // Removes the entry's name: only the name (a hard link's other names and a symbolic link's
    // target stay), and never a directory.
    [[nodiscard]] virtual bool remove(const Name& name) = 0;
    // Whether the entry is a file whose conversion lock someone holds.
    virtual bool lockedByAnother(const Name& name) = 0;
    // Creates a new file of our own, exclusively (nothing may be at the name, and no link is
    // followed), readable and writable by its owner alone or as the umask lets, and locked until
    // it is closed. Null when it cannot be created.
    virtual std::unique_ptr<OutputFile> create(const Name& name,
                                               Access access = Access::OwnerOnly) = 0;
    // The first `size` bytes (or fewer) of the regular file at the name, read without following
    // a link and without blocking; empty when there is no regular file there to read.
    virtual std::optional<std::string> head(const Name& name, std::size_t size) = 0;
    // Gives `from` the name `to`, replacing a file there.
    [[nodiscard]] virtual bool rename(const Name& from, const Name& to) = 0;
    // Keeps the file named `input` as `kept` (which does not exist) and puts `temporary` in its
    // place, so that `input` names a whole file at every moment. `input` must still name the
    // file read when the two change places: where the file system can exchange two names in one
    // step, a file renamed onto `input` meanwhile is seen, and keeps its name (Changed).
    virtual Replacement replaceKeeping(const Name& temporary, const Name& input,
                                       const Name& kept) = 0;
    // Gives `temporary` the name `input`, whose file is kept under another name already (a
    // copy): Done, Changed (as above: the file renamed onto `input` keeps its name) or Failed.
    virtual Replacement takeName(const Name& temporary, const Name& input) = 0;
    // Makes the changes to the folder durable, where the platform can.
    virtual void sync() = 0;
};

// The input of a conversion, found once: its folder held open, its name there, the file open.
struct Opened {
    enum class Failure {
        None,
        CannotRead,      // missing, unreadable, or not a regular file (the debug channel says why)
        LinkToSideFile,  // a symbolic link to the name the conversion would give its own
                         // "_temp" or "_original", or the other way round
    };
    Failure failure = Failure::None;
    std::unique_ptr<Folder> folder;
    Folder::Name name;  // the file's name in the folder (the link's target's, for a link)
    std::unique_ptr<InputFile> file;
};

// The folder a file is to be written in (a report), held open, and the file's name there; the
// name itself is not looked up (it need not exist, and a link there is not followed).
struct FolderOf {
    std::unique_ptr<Folder> folder;  // null when the folder cannot be opened
    Folder::Name name;
};

// The file operations of a conversion. A failing call tells the debug channel why.
class FileSystem {
  public:
    virtual ~FileSystem() = default;
    // Looks the path up once: a symbolic link is resolved to the file it names, that file's
    // folder is opened and held, and the file opened for reading in it, without blocking on it
    // and without following a link; only a regular file is opened.
    virtual Opened open(const Path& path) = 0;
    // Opens the folder of the path and holds it.
    virtual FolderOf folderOf(const Path& path) = 0;
    // An interrupt (Ctrl-C, a hang-up, a termination) that comes while held waits until it is
    // released; one that comes outside removes the temporary files the folders created and ends
    // the program with status 128 + the signal's number.
    virtual void holdInterrupts() {}
    virtual void releaseInterrupts() {}
};

// Interrupts held from hold() (the swap) until the holder is gone (the outcome told).
class InterruptHold {
  public:
    explicit InterruptHold(FileSystem& files) : files_(files) {}
    ~InterruptHold() {
        if (held_) files_.releaseInterrupts();
    }
    InterruptHold(const InterruptHold&) = delete;
    InterruptHold& operator=(const InterruptHold&) = delete;
    void hold() {
        if (!held_) files_.holdInterrupts();
        held_ = true;
    }

  private:
    FileSystem& files_;
    bool held_ = false;
};

// What the program is given to run with.
struct Services {
    Console& console;
    Notifier& notifier;
    DebugChannel& debug;
    FileSystem& files;
};

}  // namespace ferrule::platform
