#include "app/conversion.h"

#include <bit>
#include <cassert>
#include <cstdint>
#include <cstring>

#include "common/field.h"
#include "common/text.h"

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define FERRULE_HAVE_SSE2 1
#endif

namespace ferrule::detail {

Conversion::Conversion(OutputSink& output, DebugChannel& debug, ConversionOptions options)
    : writer_(output, debug),
      debug_(debug),
      observations_(header_.record()),
      recorder_(header_, rewriter_),
      options_(options) {}

Survey Conversion::survey() const {
    Survey survey = recorder_.survey();
    survey.header = header_.record();
    survey.epochs = observations_.regularEpochs();
    survey.firstEpoch = observations_.firstEpoch();
    survey.lastEpoch = observations_.lastEpoch();
    // A file not converted keeps its station identifier.
    if (refusal_ == Outcome::InProgress) survey.repairedStationId = header_.repairedStationId();
    return survey;
}

// --- Writer ---------------------------------------------------------------------------------

void Conversion::Writer::pass(std::string_view bytes) {
    if (bytes.empty()) return;
    if (bytes.data() != runEnd_) {
        flush();
        runStart_ = bytes.data();
    }
    runEnd_ = bytes.data() + bytes.size();
}

void Conversion::Writer::write(std::string_view bytes) {
    flush();
    if (!bytes.empty()) sink_.write(bytes);
}

void Conversion::Writer::flush() {
    if (runStart_ != runEnd_) {
        sink_.writeFromBlock(
            std::string_view(runStart_, static_cast<std::size_t>(runEnd_ - runStart_)));
    }
    runStart_ = runEnd_ = nullptr;
}

void Conversion::Writer::writeHeaderLine(std::string_view line) {
    if (debug_.enabled()) debugLine(LineEdit::Line::Keep, line);
    write(line);
}

void Conversion::Writer::writeLine(const LineEdit& edit, std::string_view line, bool inBlock) {
    assert(edit.stop == Outcome::InProgress && !lineOpen_);
    if (edit.insert != LineEdit::Insert::Nothing) writeInsert(edit, line);
    if (debug_.enabled()) debugLine(edit.line, line);
    fate_ = edit.line;
    cut_ = false;
    writePart(line, inBlock);
}

void Conversion::Writer::writeInsert(const LineEdit& edit, std::string_view line) {
    if (edit.insert == LineEdit::Insert::MovingAntennaBlock) write(movingAntennaBlock(line));
    if (edit.insert == LineEdit::Insert::SiteMarkerName) {
        assert(edit.line == LineEdit::Line::Drop);  // the flag-4 record it replaces
        write(siteMarkerNameRecord(edit.siteId));
    }
}

std::string_view Conversion::Writer::continueLine(std::string_view block) {
    const std::size_t lineFeed = block.find('\n');
    const std::string_view part = block.substr(0, lineFeed == block.npos ? lineFeed : lineFeed + 1);
    writePart(part, true);
    return block.substr(part.size());
}

// A line that reached kLineHeadBytes without its line feed was classified by that head; the rest
// of it follows the same edit as its bytes come. So memory stays bounded, and a last line of that
// length is a line to the rules even without its line feed.
void Conversion::Writer::writePart(std::string_view part, bool inBlock) {
    lineOpen_ = part.back() != '\n';
    if (fate_ != LineEdit::Line::Keep) return writeCutOrDropped(part, inBlock);
    // A line inside the block joins the pending run of unchanged bytes; a line the processor
    // gathered from earlier blocks is copied out, as its buffer is about to be reused.
    if (inBlock) {
        pass(part);
    } else {
        write(part);
    }
}

void Conversion::Writer::writeCutOrDropped(std::string_view part, bool inBlock) {
    if (fate_ == LineEdit::Line::KeepWithRecordCount && !cut_) {
        const std::string_view text = beforeLineEnd(part);
        cut_ = text.size() < part.size();
        if (inBlock) {
            pass(text);
        } else if (!text.empty()) {
            write(text);
        }
    }
    if (!lineOpen_) endLine();
}

// The one place the record count is written: after a counted line, once the line has ended,
// however long it was.
void Conversion::Writer::endLine() {
    lineOpen_ = false;
    if (fate_ == LineEdit::Line::KeepWithRecordCount) write(kRecordCountSuffix);
}

void Conversion::Writer::endInput() {
    if (lineOpen_) endLine();
    flush();
}

// The line as it is written, its first 1024 bytes at most (the channel cuts it shorter). Called
// only when the channel is on.
void Conversion::Writer::debugLine(LineEdit::Line fate, std::string_view line) {
    if (fate == LineEdit::Line::Drop) return;
    const bool counted = fate == LineEdit::Line::KeepWithRecordCount;
    const std::string_view shown = (counted ? beforeLineEnd(line) : line).substr(0, 1024);
    debugPrint(debug_, "%.*s%s\n", static_cast<int>(shown.size()), shown.data(),
               counted ? kRecordCountSuffix.data() : "");  // a literal: terminated
}

// --- Acting on the header -------------------------------------------------------------------

void Conversion::actOnHeader(HeaderResult result, std::string_view text) {
    switch (result) {
        case HeaderLine:
            writer_.writeHeaderLine(text);
            break;
        case HeaderEnd:
            writer_.writeHeaderLine(text);
            observationPhase_ = true;
            break;
        case HeaderStationIdFixed:
            rewriter_.staticFile();
            debugPrint(debug_, "Static Data:StationID change\n");
            writer_.writeHeaderLine(text);
            break;
        case HeaderStaticData:
            // Read on (a report) as the static file it is: its epochs are one occupation.
            rewriter_.staticFile();
            stop(Outcome::StaticData);
            if (!stopped()) writer_.writeHeaderLine(text);
            break;
        case HeaderGsiData:
            stop(Outcome::GsiData);
            if (!stopped()) writer_.writeHeaderLine(text);
            break;
        case HeaderError:
            if (refusal_ == Outcome::InProgress) headerFault_ = header_.fault();
            stop(Outcome::HeaderError);
            // Read on (a report): the line refused is read again by its label.
            if (!stopped()) actOnHeader(header_.readOn(line_), line_);
            break;
        case HeaderNone:
            break;
    }
}

void Conversion::stop(Outcome outcome) {
    // A report reads past every refusal to the end of the file, and ends with the first. The
    // file is not converted: none of its occupations gets a site identifier; a static file is
    // one occupation, the whole file (so is GSI's, unless its MARKER NAME says kinematic); a file
    // converted before is read back.
    if (options_.readPastRefusal) {
        if (refusal_ == Outcome::InProgress) refusal_ = outcome;
        rewriter_.assign(outcome == Outcome::StaticData ? EventRewriter::Sites::None
                                                        : EventRewriter::Sites::Unnumbered);
        if (outcome == Outcome::AlreadyConverted) {
            readingBack_ = true;
            recorder_.readBack();
        }
        return;
    }
    switch (outcome) {
        case Outcome::StaticData:
            debugPrint(debug_, "Static Data \n");
            break;
        case Outcome::GsiData:
            debugPrint(debug_, "Error GSI \n");
            break;
        case Outcome::SiteIdLimit:
            debugPrint(debug_, "SITE ID Assign Error \n");
            break;
        default:  // a header error, a file converted before, a file without data
            debugPrint(debug_, "Error \n");
            break;
    }
    outcome_ = outcome;
}

// --- Block feeding ---------------------------------------------------------------------------

namespace {

// The end of the `count`-th line from `next`, or of as many lines as end before `end`; `found`
// says how many. Observation lines are some 50 bytes long, so rather than one call of memchr a
// line, the line feeds of 64 bytes at a time are found at once as the bits of a mask.
const char* afterLines(const char* next, const char* end, std::int64_t count, std::int64_t& found) {
    found = 0;
    const char* const start = next;
#if FERRULE_HAVE_SSE2
    const __m128i lineFeeds = _mm_set1_epi8('\n');
    const auto lineFeedBits = [&](const char* at) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
        return static_cast<std::uint64_t>(
            static_cast<std::uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, lineFeeds))));
    };
    while (end - next >= 64) {
        std::uint64_t mask = lineFeedBits(next) | lineFeedBits(next + 16) << 16 |
                             lineFeedBits(next + 32) << 32 | lineFeedBits(next + 48) << 48;
        for (; mask != 0; mask &= mask - 1) {
            if (++found == count) return next + std::countr_zero(mask) + 1;
        }
        next += 64;
    }
#endif
    while (found < count) {
        const void* lineFeed = std::memchr(next, '\n', static_cast<std::size_t>(end - next));
        if (lineFeed == nullptr) break;
        next = static_cast<const char*>(lineFeed) + 1;
        ++found;
    }
    // Fewer lines end in the block than are due: the 64-byte steps may have gone on past the last
    // line feed into a line the block does not finish, whose bytes are not the lines' to pass.
    while (next > start && next[-1] != '\n') --next;
    return next;
}

}  // namespace

bool Conversion::feedLines(std::string_view block) {
    fed_ = fed_ || !block.empty();
    while (!block.empty() && !stopped()) {
        if (!observationPhase_) {
            block = feedHeader(block);
        } else if (writer_.lineOpen()) {
            block = writer_.continueLine(block);
        } else {
            block = feedObservations(block);
        }
    }
    writer_.flush();
    return !stopped();
}

std::string_view Conversion::feedHeader(std::string_view block) {
    std::size_t consumed = 0;
    const HeaderResult result = header_.processHeaderBytes(block, consumed, line_);
    actOnHeader(result, line_);
    return block.substr(consumed);
}

// The observation lines of an epoch (most of the file) are written as they stand, so they join
// the run of unchanged bytes without being looked at one by one, unless the debug channel shows
// every line. Any other line is classified, and its edit made and carried out.
std::string_view Conversion::feedObservations(std::string_view block) {
    const std::int64_t due = debug_.enabled() ? 0 : observations_.observationLinesToPass();
    if (due > 0) {
        std::int64_t found = 0;
        const char* runEnd = afterLines(block.data(), block.data() + block.size(), due, found);
        if (found > 0) {
            observations_.passObservationLines(found);
            const auto run = block.substr(0, static_cast<std::size_t>(runEnd - block.data()));
            writer_.pass(run);
            return block.substr(run.size());
        }
    }
    std::size_t consumed = 0;
    const ObservationResult result = observations_.processObservationBytes(block, consumed, read_);
    if (result == ObsNone) return block.substr(consumed);
    // Read on (a report), a section that begins with an event record is read as one: a file
    // converted before, or a receiver's own start of kinematic data.
    if (result == ObsAlreadyConverted && options_.readPastRefusal) {
        stop(Outcome::AlreadyConverted);
        read_.result = ObsEventEpoch;
    }
    if (!readingBack_ || !heldBack(read_))
        takeObservationLine(read_, read_.text.data() == block.data());
    return block.substr(consumed);
}

void Conversion::takeObservationLine(ObservationLine& line, bool inBlock) {
    // The records after a flag-3 or flag-4 event are header records: read once, by the header's
    // label table (a types record sets the types of the epochs that follow). The survey also
    // reads the labels of the special records of other events (a MARKER NAME after a flag-2
    // record of a file converted before), which change nothing.
    if (line.result == ObsFullLine && line.eventFlag != 3 && line.eventFlag != 4) {
        if (options_.recordSurvey) line.label = HeaderProcessor::labelOf(line.text);
    } else if (line.result == ObsFullLine) {
        bool refused = false;
        line.label = header_.readRecordAfterEvent(line.text, refused);
        if (refused) {
            // Where the record stands in the file.
            headerFault_ = header_.fault();
            headerFault_.line = header_.lines() + observations_.lines();
            headerFault_.inHeader = false;
            stop(Outcome::HeaderError);
            if (stopped()) return;
            // Read on: the types are taken leniently.
            std::string unused;
            (void)header_.readOn(unused);
            line.label = header_.readRecordAfterEvent(line.text, refused);
        }
    }
    const LineEdit edit = rewriter_.edit(line);
    if (options_.recordSurvey) recorder_.record(line, edit);
    if (edit.stop != Outcome::InProgress) {
        stop(edit.stop);
    } else {
        writer_.writeLine(edit, line.text, inBlock);
    }
}

// Read back (a report of a file converted before), the moving-antenna block the conversion wrote
// before each of the first two epochs is no event of the survey: a flag-2 record without a
// record count before the second epoch is held until the next line tells whether the block's
// header-information record follows it (then both, and the block's comment, are passed over).
bool Conversion::heldBack(const ObservationLine& line) {
    if (skipComment_) {
        skipComment_ = false;
        if (line.record == Record::Special &&
            withoutLineEnd(line.text) == withoutLineEnd(kAntennaMovingComment)) {
            return true;
        }
    }
    if (!held_.empty()) {
        if (line.record == Record::Event && line.eventFlag == 4 &&
            beforeLineEnd(line.text) == beforeLineEnd(kHeaderInformationRecord)) {
            held_.clear();
            skipComment_ = true;
            return true;
        }
        releaseHeld();
    }
    if (line.record == Record::Event && line.eventFlag == 2 &&
        beforeLineEnd(line.text).size() <= 29 && observations_.regularEpochs() < 2) {
        held_.assign(line.text);
        return true;
    }
    return false;
}

void Conversion::releaseHeld() {
    if (held_.empty()) return;
    const std::string text = std::move(held_);
    held_.clear();
    ObservationLine line;
    line.result = ObsEventEpoch;
    line.record = Record::Event;
    line.text = text;
    line.eventFlag = 2;
    line.rinex3 = read_.rinex3;
    takeObservationLine(line, false);
}

// --- End of input ----------------------------------------------------------------------------

// A file without data is not converted: an empty one, one cut off inside its header (a memory
// card pulled out, a copy interrupted), and a header without an epoch after it.
Outcome Conversion::finish() {
    if (stopped()) return outcome_;
    releaseHeld();
    recorder_.finish();
    if (refusal_ != Outcome::InProgress) {
        outcome_ = refusal_;
        return outcome_;
    }
    if (!observationPhase_ || observations_.regularEpochs() == 0) {
        stop(!fed_                ? Outcome::EmptyInput
             : !observationPhase_ ? Outcome::HeaderCutShort
                                  : Outcome::NoEpochs);
        if (options_.readPastRefusal) outcome_ = refusal_;
        return outcome_;
    }
    // Bytes after the last line feed complete no line: they are written as they stand. (There
    // are none while a line longer than its head is open: its bytes went with the head's edit.)
    writer_.write(observations_.unfinishedLine());
    writer_.endInput();
    outcome_ = rewriter_.kinematic() ? Outcome::Converted : Outcome::ConvertedStatic;
    return outcome_;
}

}  // namespace ferrule::detail
