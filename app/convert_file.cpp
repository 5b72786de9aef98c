#include "app/convert_file.h"

#include <cstring>
#include <memory>
#include <string>
#include <utility>

#include "app/messages.h"
#include "common/output.h"
#include "ferrule/ferrule.h"

namespace ferrule {

namespace {

using platform::Path;

// Input is read, and output written, in blocks of this size.
constexpr std::size_t kBlockBytes = std::size_t{1} << 20;

// Gathers the converted text and writes it to the temporary file in large writes. The first
// failed write is remembered and nothing more is written.
class FileSink final : public OutputSink {
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

}  // namespace

bool convertFile(const Path& input, platform::Services& services) {
    platform::FileSystem& files = services.files;
    const auto refuse = [&](std::string_view text) {
        services.notifier.notify(messages::kCaptionNg, text);
        return false;
    };

    if (files.openForReading(input) == nullptr) return refuse(messages::kReadFailed);
    if (!looksLikeObservationFile(input)) return refuse(messages::kNotObservationFile);

    const Path temporary = withSuffix(input, "_temp");
    std::unique_ptr<platform::OutputFile> output = files.createTemporary(temporary, input);
    if (output == nullptr) return refuse(messages::kTempCreateFailed);
    // On a failure the temporary file goes, and the input stays as it was.
    const auto discardTemporary = [&](std::string_view text) {
        output->close();
        files.removeFile(temporary);
        return refuse(text);
    };

    std::unique_ptr<platform::InputFile> reader = files.openForReading(input);
    if (reader == nullptr) return discardTemporary(messages::kReadFailed);

    FileSink sink(*output);
    DebugFunction debug;
    if (services.debug.enabled()) {
        debug = [&](std::string_view text) { services.debug.emit(std::string(text).c_str()); };
    }
    StreamConverter conversion([&](std::string_view bytes) { sink.write(bytes); },
                               std::move(debug));
    const auto block = std::make_unique_for_overwrite<char[]>(kBlockBytes);
    for (;;) {
        const std::ptrdiff_t count = reader->read(block.get(), kBlockBytes);
        if (count < 0) return discardTemporary(messages::kReadFailed);
        if (count == 0) break;
        const bool going =
            conversion.feed(std::string_view(block.get(), static_cast<std::size_t>(count)));
        if (sink.failed()) return discardTemporary(messages::kTempWriteFailed);
        if (!going) break;
    }
    reader.reset();

    const Outcome outcome = conversion.finish();
    const std::string message = outcomeMessage(outcome, conversion.headerErrorLine());
    if (stoppedInHeader(outcome)) return discardTemporary(message);
    // The converted text, or after a stop in the observation section what was written before
    // it, must be whole on the disk; a temporary file that is not goes, whatever else happened.
    const bool converted = isConverted(outcome);
    if (!sink.flush() || (converted && !output->sync())) {
        return discardTemporary(messages::kTempWriteFailed);
    }
    if (!output->close()) {
        files.removeFile(temporary);
        return refuse(messages::kTempWriteFailed);
    }
    // A stop in the observation section leaves the temporary file with what was written.
    if (!converted) return refuse(message);

    // The swap: the input moves to "<path>_original", the converted file takes its path. A file
    // already at "<path>_original" is deleted first (never a directory: then the swap fails). If
    // the converted file cannot take the input's path, the input is moved back to it.
    const Path kept = withSuffix(input, "_original");
    const auto swapFailed = [&] {
        files.removeFile(temporary);
        return refuse(messages::kReplaceFailed);
    };
    if (files.exists(kept) && !files.removeFile(kept)) return swapFailed();
    if (!files.rename(input, kept)) return swapFailed();
    if (!files.rename(temporary, input)) {
        files.rename(kept, input);
        return swapFailed();
    }
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
