// Files through the POSIX API: untranslated bytes, large reads and writes, an advisory lock on
// the input, fsync before the swap, and a swap that keeps the input at its path until the
// converted file replaces it.
#pragma once

#include "platform/platform.h"

namespace ferrule::platform {

class PosixFileSystem final : public FileSystem {
  public:
    // Failed calls are reported to `debug`, with the system's reason.
    explicit PosixFileSystem(DebugChannel& debug) : debug_(debug) {}

    std::unique_ptr<InputFile> openForReading(const Path& path) override;
    std::unique_ptr<OutputFile> createTemporary(const Path& path, const Path& input) override;
    std::optional<FileState> stateOf(const Path& path) override;
    bool exists(const Path& path) override;
    bool removeFile(const Path& path) override;
    bool rename(const Path& from, const Path& to) override;
    Replacement replaceKeeping(const Path& temporary, const Path& input, const Path& kept) override;
    void syncDirectoryOf(const Path& path) override;

  private:
    DebugChannel& debug_;
};

}  // namespace ferrule::platform
