// Files through the POSIX API, every step relative to the input's folder held open: untranslated
// bytes, large reads and writes, an advisory lock on the input and on the temporary file, fsync
// before the swap, and a swap that keeps the input at its name until the converted file replaces
// it.
#pragma once

#include "platform/platform.h"

namespace ferrule::platform {

class PosixFileSystem final : public FileSystem {
  public:
    // Failed calls are reported to `debug`, with the system's reason.
    explicit PosixFileSystem(DebugChannel& debug) : debug_(debug) {}

    Opened open(const Path& path) override;
    FolderOf folderOf(const Path& path) override;
    void holdInterrupts() override;
    void releaseInterrupts() override;

  private:
    DebugChannel& debug_;
};

// Interrupts (SIGINT, SIGTERM, SIGHUP) remove the temporary files of the conversion or report
// under way and end the program with status 128 + the signal; file-size limits show as failed
// writes, and a closed pipe as a lost write to the console.
void installInterruptHandlers();

// Opens /dev/null on each of the standard descriptors 0, 1 and 2 that is closed, so that no file
// of a conversion can take its number (and receive what is printed).
void fillStandardDescriptors();

}  // namespace ferrule::platform
