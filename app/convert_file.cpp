#include "app/convert_file.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "app/messages.h"
#include "common/output.h"
#include "ferrule/ferrule.h"

namespace ferrule {

namespace {

using platform::Path;
namespace messages = detail::messages;

// Input is read, and output written, in blocks of this size.
constexpr std::size_t kBlockBytes = std::size_t{1} << 20;

// Gathers the converted text and writes it to the temporary file in large writes. The first
// failed write is remembered and nothing more is written.
class FileSink final : public detail::OutputSink {
  public:
    explicit FileSink(platform::OutputFile& file)
        : file_(file), buffer_(std::make_unique_for_overwrite<char[]>(kBlockBytes)) {}

    void write(std::string_view bytes) override {
        if (failed_) return;
        if (buffered_ + bytes.size() > kBlockBytes) flush();
        if (bytes.size() >= kBlockBytes / 4) {
            // Runs of unchanged lines go straight to the file.
            flush();
            if (!failed_) failed_ = !file_.write(bytes.data(), bytes.size());
            return;
        }
        std::memcpy(buffer_.get() + buffered_, bytes.data(), bytes.size());
        buffered_ += bytes.size();
    }

    bool flush() {
        if (buffered_ > 0 && !failed_) failed_ = !file_.write(buffer_.get(), buffered_);
        buffered_ = 0;
        return !failed_;
    }

    bool failed() const { return failed_; }

  private:
    platform::OutputFile& file_;
    std::unique_ptr<char[]> buffer_;
    std::size_t buffered_ = 0;
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

}  // namespace

bool convertFile(const Path& input, platform::Services& services) {
    platform::FileSystem& files = services.files;
    const auto refuse = [&](std::string_view text) {
        services.notifier.notify(messages::kCaptionNg, text);
        return false;
    };

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
    DebugFunction debug;
    if (services.debug.enabled()) {
        debug = [&](std::string_view text) { services.debug.emit(std::string(text).c_str()); };
    }
    StreamConverter conversion([&](std::string_view bytes) { sink.write(bytes); },
                               std::move(debug));
    const auto block = std::make_unique_for_overwrite<char[]>(kBlockBytes);
    std::uint64_t bytesRead = 0;
    for (;;) {
        const std::ptrdiff_t count = reader->read(block.get(), kBlockBytes);
        if (count < 0) return refuse(messages::kReadFailed);
        if (count == 0) break;
        bytesRead += static_cast<std::uint64_t>(count);
        const bool going =
            conversion.feed(std::string_view(block.get(), static_cast<std::size_t>(count)));
        if (sink.failed()) return refuse(messages::kTempWriteFailed);
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

    services.notifier.notify(outcomeCaption(outcome), message);
    return true;
}

int runProgram(std::span<const Path> arguments, platform::Services& services) {
    services.console.writeOutput(messages::kBanner);
    services.console.writeOutput("\n");
    services.console.writeOutput(messages::kPleaseWait);
    services.console.writeOutput("\n");
    if (arguments.size() != 1) {
        services.console.writeError(messages::kUsage);
        return 2;
    }
    return convertFile(arguments.front(), services) ? 0 : 1;
}

}  // namespace ferrule
