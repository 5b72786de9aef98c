// Files through the POSIX API: untranslated bytes, large reads and writes, fsync before the swap.
#pragma once

#include "platform/platform.h"

namespace ferrule::platform {

class PosixFileSystem final : public FileSystem {
  public:
    std::unique_ptr<InputFile> openForReading(const Path& path) override;
    std::unique_ptr<OutputFile> createTemporary(const Path& path, const Path& input) override;
    bool exists(const Path& path) override;
    bool removeFile(const Path& path) override;
    bool rename(const Path& from, const Path& to) override;
    void syncDirectoryOf(const Path& path) override;
};

}  // namespace ferrule::platform
