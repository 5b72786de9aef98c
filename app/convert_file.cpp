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
        if (composedBytes_ + bytes.size() > kComposedBytes) send();
        if (bytes.size() > kComposedBytes) {
            add(bytes);  // a long line gathered from several blocks: written at once
            send();
            return;
        }
        char* const copy = composed_.get() + composedBytes_;
        std::memcpy(copy, bytes.data(), bytes.size());
        composedBytes_ += bytes.size();
        add(std::string_view(copy, bytes.size()));
    }

    void writeFromBlock(std::string_view bytes) override { add(bytes); }

    // Writes what was gathered; the input block must still hold the bytes that came from it.
    // False once any write has failed.
    [[nodiscard]] bool flush() {
        send();
        return !failed_;
    }

  private:
    // The first failed write is remembered for flush() to tell; nothing more is written.
    void send() {
        if (!failed_ && !pieces_.empty()) failed_ = !file_.writeGathered(pieces_);
        pieces_.clear();
        composedBytes_ = 0;
    }

    void add(std::string_view bytes) {
        if (bytes.empty()) return;
        if (!pieces_.empty() && pieces_.back().data() + pieces_.back().size() == bytes.data()) {
            pieces_.back() =
                std::string_view(pieces_.back().data(), pieces_.back().size() + bytes.size());
        } else {
            pieces_.push_back(bytes);
        }
        if (pieces_.size() == kMaxPieces) send();
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

platform::Folder::Name withSuffix(const platform::Folder::Name& name, const char* suffix) {
    platform::Folder::Name result = name;
    result += suffix;
    return result;
}

// Whether the name in the folder still names the file whose state was taken.
bool namesFile(platform::Folder& folder, const platform::Folder::Name& name,
               const platform::FileState& state) {
    const std::optional<platform::FileState> now = folder.stateOf(name);
    return now && now->sameFile(state);
}

Told refuse(std::string_view text, Outcome outcome = Outcome::InProgress) {
    return Told{false, messages::kCaptionNg, std::string(text), outcome};
}

// Reads the whole input into the conversion, a block at a time; after each block `written`
// writes out what the conversion gathered from it (the block is then read into again) and says
// whether that worked.
enum class ReadEnd { Done, ReadFailed, WriteFailed };
template <typename Written>
ReadEnd readThrough(platform::InputFile& input, detail::Conversion& conversion,
                    std::uint64_t& bytesRead, Written written) {
    const PageAlignedBuffer block = pageAligned(kBlockBytes);
    for (;;) {
        const std::ptrdiff_t count = input.read(block.get(), kBlockBytes);
        if (count < 0) return ReadEnd::ReadFailed;
        if (count == 0) return ReadEnd::Done;
        bytesRead += static_cast<std::uint64_t>(count);
        const bool going =
            conversion.feed(std::string_view(block.get(), static_cast<std::size_t>(count)));
        if (!written()) return ReadEnd::WriteFailed;
        if (!going) return ReadEnd::Done;
    }
}

// "<name>_temp" beside the input: always a new file of our own, made by create(), written by
// the caller, closed; commit() does the swap that publishes it. Its destructor removes it unless
// it was committed.
class TemporaryFile {
  public:
    // Whatever stands at the name is not ours: a file another conversion holds is being
    // converted (refused as in use); anything else loses its name (only the name: a hard link's
    // other names, a symbolic link's target stay), but a directory stays and refuses.
    // (Another name of the input itself is not another conversion's file: the lock seen is
    // this conversion's own.)
    static std::unique_ptr<TemporaryFile> create(platform::Folder& folder,
                                                 const platform::Folder::Name& input,
                                                 const platform::FileState& inputState,
                                                 Told& refusal) {
        const platform::Folder::Name name = withSuffix(input, "_temp");
        if (const std::optional<platform::FileState> there = folder.stateOf(name)) {
            if (there->kind != platform::FileState::Kind::Directory &&
                !there->sameFile(inputState) && folder.lockedByAnother(name)) {
                refusal = refuse(messages::kInUse);
                return nullptr;
            }
            if (!folder.remove(name)) {
                refusal = refuse(messages::kTempCreateFailed);
                return nullptr;
            }
        }
        // Made before the file, so that once the file exists nothing stands between it and
        // the owner that removes it (not even memory running out).
        std::unique_ptr<TemporaryFile> temporary(new TemporaryFile(folder, input, name));
        temporary->file_ = folder.create(name);
        const std::optional<platform::FileState> state =
            temporary->file_ ? temporary->file_->state() : std::nullopt;
        if (!state) {
            if (temporary->file_ != nullptr) {
                (void)temporary->close();
                (void)folder.remove(name);
            }
            refusal = refuse(messages::kTempCreateFailed);
            return nullptr;
        }
        temporary->state_ = *state;
        return temporary;
    }

    ~TemporaryFile() {
        (void)close();  // released even when closing fails; a failure was told before
        if (!committed_ && namesFile(folder_, name_, state_)) (void)folder_.remove(name_);
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    platform::OutputFile& file() { return *file_; }
    // Closes the file; it is released even when closing fails.
    [[nodiscard]] bool close() {
        if (closed_ || file_ == nullptr) return true;
        closed_ = true;
        return file_->close();
    }
    // Whether the name still names the file written.
    bool stillNamed() { return namesFile(folder_, name_, state_); }

    // The converted file takes the input's name and the input moves to "<name>_original". A
    // file already at "<name>_original" is removed first (never a directory: then the swap
    // fails). Where the file system has hard links the input keeps its name until the converted
    // file replaces it in one step; where this file may not be linked (another user's, under
    // protected hard links), "_original" is written as a synced copy of the input first, with the
    // input's owner and permissions where they can be given; where the file system has no links
    // (FAT and exFAT memory cards) the input is moved first, and moved back if the converted file
    // cannot take its name. Changed: a newer file took the input's name meanwhile, and keeps it;
    // what this conversion made is gone. Interrupts wait from here until `held` is let go.
    [[nodiscard]] platform::Replacement commit(platform::InputFile& input,
                                               const platform::FileState& inputState,
                                               platform::InterruptHold& held) {
        using platform::Replacement;
        const platform::Folder::Name kept = withSuffix(input_, "_original");
        held.hold();
        if (folder_.stateOf(kept) && !folder_.remove(kept)) return Replacement::Failed;
        Replacement replaced = folder_.replaceKeeping(name_, input_, kept);
        switch (replaced) {
            case Replacement::Done:
                return published();
            case Replacement::Changed:
            case Replacement::Failed:
                return replaced;
            case Replacement::LinkRefused:
                replaced = writeCopy(input, inputState, kept) ? folder_.takeName(name_, input_)
                                                              : Replacement::Failed;
                if (replaced != Replacement::Done) {
                    (void)folder_.remove(kept);  // only the copy: the input is at its name
                    return replaced;
                }
                return published();
            case Replacement::NoHardLinks:
                break;
        }
        if (!folder_.rename(input_, kept)) return Replacement::Failed;
        if (!folder_.rename(name_, input_)) {
            // The input goes back to its name; should even that fail, it is at "_original".
            (void)folder_.rename(kept, input_);
            return Replacement::Failed;
        }
        return published();
    }

  private:
    TemporaryFile(platform::Folder& folder, platform::Folder::Name input,
                  platform::Folder::Name name)
        : folder_(folder), input_(std::move(input)), name_(std::move(name)) {}

    platform::Replacement published() {
        committed_ = true;
        folder_.sync();
        return platform::Replacement::Done;
    }

    // The input's bytes as read again from its first byte, synced, under the name `kept`, with
    // the input's owner, attributes and permissions where they can be given: its owner can always
    // read her own original.
    bool writeCopy(platform::InputFile& input, const platform::FileState& inputState,
                   const platform::Folder::Name& kept) {
        std::unique_ptr<platform::OutputFile> copy = folder_.create(kept);
        if (copy == nullptr || !input.rewind()) return false;
        const PageAlignedBuffer block = pageAligned(kBlockBytes);
        for (;;) {
            const std::ptrdiff_t count = input.read(block.get(), kBlockBytes);
            if (count < 0) return false;
            if (count == 0) break;
            if (!copy->write(block.get(), static_cast<std::size_t>(count))) return false;
        }
        copy->takeAttributesOf(inputState, input.extendedAttributes());
        return copy->sync() && copy->close();
    }

    platform::Folder& folder_;
    platform::Folder::Name input_;
    platform::Folder::Name name_;
    std::unique_ptr<platform::OutputFile> file_;
    platform::FileState state_;
    bool closed_ = false;
    bool committed_ = false;
};

// The input, looked up once, with the messages of what can go wrong on the way.
std::optional<Told> refusalToOpen(const platform::Opened& opened) {
    switch (opened.failure) {
        case platform::Opened::Failure::None:
            break;
        case platform::Opened::Failure::CannotRead:
            return refuse(messages::kReadFailed);
        case platform::Opened::Failure::LinkToSideFile:
            return refuse(messages::kLinkToSideFile);
    }
    return std::nullopt;
}

}  // namespace

Told convertFile(const Path& path, platform::Services& services,
                 platform::InterruptHold* untilTold) {
    platform::Opened opened = services.files.open(path);
    if (std::optional<Told> refusal = refusalToOpen(opened)) return *refusal;
    if (!looksLikeObservationFile(path)) return refuse(messages::kNotObservationFile);
    platform::Folder& folder = *opened.folder;
    platform::InputFile& input = *opened.file;

    // One conversion of a file at a time: the lock is held until the swap is done. A file that
    // another conversion replaced after it was opened here no longer has the name.
    switch (input.lock()) {
        case platform::Lock::Taken:
            break;
        case platform::Lock::Held:
            return refuse(messages::kInUse);
        case platform::Lock::Unsupported:
            return refuse(messages::kCannotLock);
    }
    const std::optional<platform::FileState> before = input.state();
    if (!before) return refuse(messages::kReadFailed);
    if (!namesFile(folder, opened.name, *before)) return refuse(messages::kInUse);
    // An empty file is refused before anything is made beside it.
    if (before->size == 0) return refuse(messages::kEmptyInput, Outcome::EmptyInput);

    Told refusal;
    const std::unique_ptr<TemporaryFile> temporary =
        TemporaryFile::create(folder, opened.name, *before, refusal);
    if (temporary == nullptr) return refusal;

    FileSink sink(temporary->file());
    detail::Conversion conversion(sink, services.debug, {.recordSurvey = false});
    std::uint64_t bytesRead = 0;
    switch (readThrough(input, conversion, bytesRead, [&] { return sink.flush(); })) {
        case ReadEnd::Done:
            break;
        case ReadEnd::ReadFailed:
            return refuse(messages::kReadFailed);
        case ReadEnd::WriteFailed:
            return refuse(messages::kTempWriteFailed);
    }

    const Outcome outcome = conversion.finish();
    const std::string message = outcomeMessage(outcome, conversion.headerFault());
    // A file not converted (refused in the header or in the observation section: converted
    // before, no site identifier left, a types change refused; or without data) leaves nothing
    // beside the input: the temporary file goes with its owner.
    if (!isConverted(outcome)) return refuse(message, outcome);
    // The converted text must be whole on the disk, with the input's owner, attributes and
    // permissions, before it can take the input's place.
    if (!sink.flush()) return refuse(messages::kTempWriteFailed);
    temporary->file().takeAttributesOf(*before, input.extendedAttributes());
    if (!temporary->file().sync() || !temporary->close()) {
        return refuse(messages::kTempWriteFailed);
    }

    // What was converted must be the whole file at the name, as it was when reading began: a
    // file written while it was read (a download, a logger) is not replaced by its older bytes.
    // What this sees is the file's identity, size and modification time at the end of the read;
    // a writer that appends only after that is not seen.
    const std::optional<platform::FileState> after = input.state();
    if (bytesRead != before->size || !after || !after->unchangedSince(*before) ||
        !namesFile(folder, opened.name, *before)) {
        return refuse(messages::kChangedWhileRead);
    }
    if (!temporary->stillNamed()) {
        debugPrint(services.debug, "%s_temp: no longer the file written\n",
                   opened.name.string().c_str());
        return refuse(messages::kReplaceFailed);
    }
    platform::InterruptHold ownHold(services.files);
    switch (temporary->commit(input, *before, untilTold != nullptr ? *untilTold : ownHold)) {
        case platform::Replacement::Done:
            return Told{true, outcomeCaption(outcome), message, outcome};
        case platform::Replacement::Changed:
            return refuse(messages::kChangedWhileRead);
        default:
            return refuse(messages::kReplaceFailed);
    }
}

// The file is read through a conversion whose output goes nowhere: no temporary file, no lock.
Told reportFile(const Path& path, platform::Services& services, Survey& survey) {
    platform::Opened opened = services.files.open(path);
    if (std::optional<Told> refusal = refusalToOpen(opened)) return *refusal;

    struct : detail::OutputSink {
        void write(std::string_view) override {}
    } nowhere;
    detail::SilentDebugChannel silent;
    detail::Conversion conversion(nowhere, silent, {.recordSurvey = true, .readPastRefusal = true});
    std::uint64_t bytesRead = 0;
    if (readThrough(*opened.file, conversion, bytesRead, [] { return true; }) != ReadEnd::Done) {
        return refuse(messages::kReadFailed);
    }
    const Outcome outcome = conversion.finish();
    survey = conversion.survey();
    // The path rule is the conversion's: the file is read whatever its name.
    if (!looksLikeObservationFile(path)) {
        Told told = refuse(messages::kNotObservationFile);
        told.outcome = outcome;
        return told;
    }
    return Told{isConverted(outcome), outcomeCaption(outcome),
                outcomeMessage(outcome, conversion.headerFault()), outcome};
}

}  // namespace ferrule
