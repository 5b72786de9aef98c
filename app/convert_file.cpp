#include "app/convert_file.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/conversion.h"
#include "app/messages.h"
#include "common/output.h"
#include "ferrule/ferrule.h"

namespace ferrule {

namespace {

using platform::Path;
namespace messages = detail::messages;

// Input is read in blocks of this size.
constexpr std::size_t kBlockBytes = std::size_t{1} << 20;
// Records the conversion composes are gathered in a buffer of this size.
constexpr std::size_t kComposedBytes = std::size_t{1} << 16;
// A gathered write takes at most this many pieces.
constexpr std::size_t kMaxPieces = 1024;

// Buffers aligned to a page: the kernel copies into and out of them about twice as fast as with
// a large array from operator new[], which starts 16 bytes past a page boundary.
constexpr std::align_val_t kPage{4096};
struct PageAlignedDelete {
    void operator()(char* bytes) const { ::operator delete[](bytes, kPage); }
};
using PageAlignedBuffer = std::unique_ptr<char[], PageAlignedDelete>;
PageAlignedBuffer pageAligned(std::size_t size) {
    return PageAlignedBuffer(static_cast<char*>(::operator new[](size, kPage)));
}

// Gathers the converted text of an input block and writes it to the temporary file in one
// gathered write: unchanged input is written from the block itself, without a copy; composed
// records are copied into a buffer of their own. The first failed write is remembered and
// nothing more is written.
class FileSink final : public detail::OutputSink {
  public:
    explicit FileSink(platform::OutputFile& file)
        : file_(file), composed_(pageAligned(kComposedBytes)) {
        pieces_.reserve(kMaxPieces);
    }

    void write(std::string_view bytes) override {
        if (composedBytes_ + bytes.size() > kComposedBytes) flush();
        if (bytes.size() > kComposedBytes) {
            add(bytes);  // a long line gathered from several blocks: written at once
            flush();
            return;
        }
        char* const copy = composed_.get() + composedBytes_;
        std::memcpy(copy, bytes.data(), bytes.size());
        composedBytes_ += bytes.size();
        add(std::string_view(copy, bytes.size()));
    }

    void writeFromBlock(std::string_view bytes) override { add(bytes); }

    // Writes what was gathered; the input block must still hold the bytes that came from it.
    bool flush() {
        if (!failed_ && !pieces_.empty()) failed_ = !file_.writeGathered(pieces_);
        pieces_.clear();
        composedBytes_ = 0;
        return !failed_;
    }

    bool failed() const { return failed_; }

  private:
    void add(std::string_view bytes) {
        if (bytes.empty()) return;
        if (!pieces_.empty() && pieces_.back().data() + pieces_.back().size() == bytes.data()) {
            pieces_.back() =
                std::string_view(pieces_.back().data(), pieces_.back().size() + bytes.size());
        } else {
            pieces_.push_back(bytes);
        }
        if (pieces_.size() == kMaxPieces) flush();
    }

    platform::OutputFile& file_;
    PageAlignedBuffer composed_;
    std::size_t composedBytes_ = 0;
    std::vector<std::string_view> pieces_;
    bool failed_ = false;
};

// An "o" anywhere in the path, directory part included, marks an observation file.
bool looksLikeObservationFile(const Path& path) {
    const auto& text = path.native();
    return text.find(static_cast<Path::value_type>('o')) != Path::string_type::npos;
}

Path withSuffix(const Path& path, const char* suffix) {
    Path result = path;
    result += suffix;
    return result;
}

// "<path>_temp", open for writing: deleted when it goes out of scope, unless it has taken the
// input's path or is kept on purpose.
class TemporaryFile {
  public:
    TemporaryFile(platform::FileSystem& files, Path path,
                  std::unique_ptr<platform::OutputFile> file)
        : files_(files), path_(std::move(path)), file_(std::move(file)) {}
    ~TemporaryFile() {
        close();
        if (!kept_) files_.removeFile(path_);
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    const Path& path() const { return path_; }
    platform::OutputFile& file() { return *file_; }
    // Closes the file; it is released even when closing fails.
    bool close() {
        if (closed_) return true;
        closed_ = true;
        return file_->close();
    }
    // The file stays under its name: it took the input's path, or it is left on purpose.
    void keep() { kept_ = true; }

  private:
    platform::FileSystem& files_;
    Path path_;
    std::unique_ptr<platform::OutputFile> file_;
    bool closed_ = false;
    bool kept_ = false;
};

// Whether the path still names the file whose state was taken.
bool namesFile(platform::FileSystem& files, const Path& path, const platform::FileState& state) {
    const std::optional<platform::FileState> now = files.stateOf(path);
    return now && now->sameFile(state);
}

// The converted file takes the input's path and the input moves to "<path>_original". A file
// already at "<path>_original" is deleted first (never a directory: then the swap fails). Where
// the file system has hard links the input keeps its path until the converted file replaces it
// in one step; where it has none (FAT and exFAT memory cards) the input is moved first, and moved
// back if the converted file cannot take its path.
bool swapIn(platform::FileSystem& files, TemporaryFile& temporary, const Path& input) {
    const Path kept = withSuffix(input, "_original");
    if (files.exists(kept) && !files.removeFile(kept)) return false;
    switch (files.replaceKeeping(temporary.path(), input, kept)) {
        case platform::Replacement::Done:
            temporary.keep();
            return true;
        case platform::Replacement::Failed:
            return false;
        case platform::Replacement::Unsupported:
            break;
    }
    if (!files.rename(input, kept)) return false;
    if (!files.rename(temporary.path(), input)) {
        files.rename(kept, input);
        return false;
    }
    temporary.keep();
    return true;
}

Told refuse(std::string_view text) {
    return Told{false, messages::kCaptionNg, std::string(text)};
}

}  // namespace

Told convertFile(const Path& input, platform::Services& services) {
    platform::FileSystem& files = services.files;

    std::unique_ptr<platform::InputFile> reader = files.openForReading(input);
    if (reader == nullptr) return refuse(messages::kReadFailed);
    if (!looksLikeObservationFile(input)) return refuse(messages::kNotObservationFile);
    // One conversion of a file at a time: the lock is held until the swap is done. A file that
    // another conversion replaced after it was opened here no longer has the path.
    if (!reader->lock()) return refuse(messages::kInUse);
    const std::optional<platform::FileState> before = reader->state();
    if (!before) return refuse(messages::kReadFailed);
    if (!namesFile(files, input, *before)) return refuse(messages::kInUse);

    const Path temporaryPath = withSuffix(input, "_temp");
    std::unique_ptr<platform::OutputFile> output = files.createTemporary(temporaryPath, input);
    if (output == nullptr) return refuse(messages::kTempCreateFailed);
    TemporaryFile temporary(files, temporaryPath, std::move(output));

    FileSink sink(temporary.file());
    detail::Conversion conversion(sink, services.debug);
    const PageAlignedBuffer block = pageAligned(kBlockBytes);
    std::uint64_t bytesRead = 0;
    for (;;) {
        const std::ptrdiff_t count = reader->read(block.get(), kBlockBytes);
        if (count < 0) return refuse(messages::kReadFailed);
        if (count == 0) break;
        bytesRead += static_cast<std::uint64_t>(count);
        const bool going =
            conversion.feed(std::string_view(block.get(), static_cast<std::size_t>(count)));
        // The block is read into again: what was gathered from it goes out first.
        if (!sink.flush()) return refuse(messages::kTempWriteFailed);
        if (!going) break;
    }

    const Outcome outcome = conversion.finish();
    const std::string message = outcomeMessage(outcome, conversion.headerErrorLine());
    if (stoppedInHeader(outcome)) return refuse(message);
    // The converted text, or after a stop in the observation section what was written before
    // it, must be whole on the disk; a temporary file that is not goes, whatever else happened.
    const bool converted = isConverted(outcome);
    if (!sink.flush() || (converted && !temporary.file().sync()) || !temporary.close()) {
        return refuse(messages::kTempWriteFailed);
    }
    if (!converted) {
        // A stop in the observation section leaves the temporary file with what was written.
        temporary.keep();
        return refuse(message);
    }

    // What was converted must be the whole file at the path, as it was when reading began: a
    // file still being written (a download, a logger) is not replaced by its older bytes.
    if (bytesRead != before->size || reader->state() != before ||
        !namesFile(files, input, *before)) {
        return refuse(messages::kChangedWhileRead);
    }
    if (!swapIn(files, temporary, input)) return refuse(messages::kReplaceFailed);
    files.syncDirectoryOf(input);
    return Told{true, outcomeCaption(outcome), message};
}

// The file is read through a conversion whose output goes nowhere: no temporary file, no lock.
Told reportFile(const Path& input, platform::Services& services, Survey& survey) {
    std::unique_ptr<platform::InputFile> reader = services.files.openForReading(input);
    if (reader == nullptr) return refuse(messages::kReadFailed);
    if (!looksLikeObservationFile(input)) return refuse(messages::kNotObservationFile);

    struct : detail::OutputSink {
        void write(std::string_view) override {}
    } nowhere;
    detail::SilentDebugChannel silent;
    detail::Conversion conversion(nowhere, silent);
    const PageAlignedBuffer block = pageAligned(kBlockBytes);
    for (bool going = true; going;) {
        const std::ptrdiff_t count = reader->read(block.get(), kBlockBytes);
        if (count < 0) return refuse(messages::kReadFailed);
        going = count > 0 &&
                conversion.feed(std::string_view(block.get(), static_cast<std::size_t>(count)));
    }
    const Outcome outcome = conversion.finish();
    survey = conversion.survey();
    return Told{isConverted(outcome), outcomeCaption(outcome),
                outcomeMessage(outcome, conversion.headerErrorLine())};
}

}  // namespace ferrule
