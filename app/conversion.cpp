#include "app/conversion.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

#include "common/field.h"

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define FERRULE_HAVE_SSE2 1
#endif

namespace ferrule::detail {

Survey Conversion::survey() const {
    return Survey{header_.record(),           observations_.regularEpochs(),
                  observations_.firstEpoch(), observations_.lastEpoch(),
                  repairedStationId_,         occupations_};
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

// --- Acting on result codes ------------------------------------------------------------------

Conversion::Conversion(OutputSink& output, DebugChannel& debug)
    : writer_(output), debug_(debug), observations_(header_.record()) {}

void Conversion::debugLine(std::string_view line) {
    if (!debug_.enabled()) return;
    const std::size_t shown = std::min<std::size_t>(line.size(), 1024);
    debugPrint(debug_, "%.*s\n", static_cast<int>(shown), line.data());
}

void Conversion::writeLine(std::string_view line) {
    debugLine(line);
    writer_.write(line);
}

void Conversion::actOnHeader(HeaderResult result, std::string_view text) {
    switch (result) {
        case HeaderLine:
            writeLine(text);
            break;
        case HeaderEnd:
            writeLine(text);
            observationPhase_ = true;
            break;
        case HeaderStationIdFixed:
            kinematicMode_ = false;
            repairedStationId_.assign(text.substr(0, 4));
            debugPrint(debug_, "Static Data:StationID change\n");
            writeLine(text);
            break;
        case HeaderStaticData:
            kinematicMode_ = false;
            debugPrint(debug_, "Static Data \n");
            stop(Outcome::StaticData);
            break;
        case HeaderGsiData:
            debugPrint(debug_, "Error GSI \n");
            stop(Outcome::GsiData);
            break;
        case HeaderError:
            debugPrint(debug_, "Error \n");
            headerErrorLine_.assign(text.substr(0, kQuotedLineBytes));
            stop(Outcome::HeaderError);
            break;
        case HeaderNone:
            break;
    }
}

Conversion::LineFate Conversion::actOnObservation(ObservationResult result, std::string_view line) {
    // The COMMENT records among the special records after an occupation's record are its
    // comments (the first few: a file of nothing else must not fill the memory).
    if (result != ObsFullLine) occupationComments_ = false;
    if (occupationComments_ && line.size() >= 67 && line.substr(60, 7) == "COMMENT") {
        const std::string_view text = line.substr(0, 60);
        const std::size_t first = text.find_first_not_of(' ');
        std::vector<std::string>& comments = occupations_.back().comments;
        if (first != std::string_view::npos && comments.size() < Survey::kMaxComments) {
            comments.emplace_back(text.substr(first, text.find_last_not_of(' ') + 1 - first));
        }
    }
    switch (result) {
        case ObsFirstEpoch:
        case ObsSecondEpoch:
            writeMovingAntennaBlock(line);
            debugLine(line);
            return LineFate::Write;
        case ObsFullLine:
            // New observation types hold from the next epoch on; more than a record holds stop
            // the conversion as a header error would.
            if (observations_.headerRecordsFollow() &&
                header_.takeObservationTypesChange(line) == HeaderError) {
                actOnHeader(HeaderError, line);
                return LineFate::Drop;
            }
            debugLine(line);
            return LineFate::Write;
        case ObsLine:
        case ObsDataLine:
            debugLine(line);
            return LineFate::Write;
        case ObsEventEpoch:
            return rewriteEventRecord(line);
        case ObsAlreadyConverted:
            debugPrint(debug_, "Error \n");
            stop(Outcome::AlreadyConverted);
            return LineFate::Drop;
        case ObsNone:
            break;
    }
    return LineFate::Drop;
}

// Only a kinematic file declares its antenna as moving from the start.
void Conversion::writeMovingAntennaBlock(std::string_view line) {
    if (kinematicMode_) writer_.write(movingAntennaBlock(line));
}

Conversion::LineFate Conversion::rewriteEventRecord(std::string_view line) {
    const EventDecision decision = events_.onEventRecord(digitAt(line, 28));
    switch (decision.action) {
        case EventAction::WriteLine:
            debugLine(line);
            return LineFate::Write;
        case EventAction::WriteWithRecordCount:
            openingTime_ = readEpochTime(line);
            if (debug_.enabled()) {
                const std::string_view cut = beforeLineEnd(line.substr(0, 1024));
                debugPrint(debug_, "%.*s  2\r\n\n", static_cast<int>(cut.size()), cut.data());
            }
            return LineFate::WriteWithRecordCount;
        case EventAction::WriteSiteMarkerName: {
            const std::string record = siteMarkerNameRecord(decision.siteId);
            writer_.write(record);
            // A flag-4 record's epoch fields are usually blank: then the occupation began when
            // the moving period was opened.
            const bool timed =
                line.substr(0, 26).find_first_of("0123456789") != std::string_view::npos;
            occupations_.push_back(
                {record.substr(0, 4), timed ? readEpochTime(line) : openingTime_, {}});
            occupationComments_ = true;
            return LineFate::Drop;
        }
        case EventAction::StopAtSiteIdLimit:
            debugPrint(debug_, "SITE ID Assign Error \n");
            stop(Outcome::SiteIdLimit);
            return LineFate::Drop;
    }
    return LineFate::Drop;
}

// --- Block feeding ---------------------------------------------------------------------------

namespace {

// The end of the `count`-th line from `next`, or of as many lines as end before `end`; `found`
// says how many. Observation lines are some 50 bytes long, so rather than one call of memchr a
// line, the line feeds of 64 bytes at a time are found at once as the bits of a mask.
const char* afterLines(const char* next, const char* end, std::int64_t count, std::int64_t& found) {
    found = 0;
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
    return next;
}

}  // namespace

bool Conversion::feedLines(std::string_view block) {
    while (!block.empty() && !stopped()) {
        if (!observationPhase_) {
            block = feedHeader(block);
        } else if (longLine_ != LongLine::None) {
            block = continueLongLine(block);
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
// every line. Any other line is classified and acted on.
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
    std::string_view line;
    const ObservationResult result = observations_.processObservationBytes(block, consumed, line);
    if (result != ObsNone) {
        const LineFate fate = actOnObservation(result, line);
        // A line inside the block joins the pending run of unchanged bytes; a line the processor
        // gathered from earlier blocks is copied out, as its buffer is about to be reused.
        writeLineAs(fate, line, line.data() == block.data());
        if (line.back() != '\n' && !stopped()) startLongLine(fate, line);
    }
    return block.substr(consumed);
}

void Conversion::writeLineAs(LineFate fate, std::string_view line, bool lineInBlock) {
    if (fate == LineFate::Drop) return;
    const std::string_view text = fate == LineFate::Write ? line : beforeLineEnd(line);
    if (lineInBlock) {
        writer_.pass(text);
    } else {
        writer_.write(text);
    }
    // A long line gets its record count once its end has come.
    if (fate == LineFate::WriteWithRecordCount && line.back() == '\n') {
        writer_.write(kRecordCountSuffix);
    }
}

// A line that reached kLineHeadBytes without its line feed was classified by that head, which
// has been written as its fate says; the rest of it follows the same fate. So memory stays
// bounded, and a last line of that length is a line to the rules even without its line feed.
void Conversion::startLongLine(LineFate fate, std::string_view head) {
    switch (fate) {
        case LineFate::Write:
            longLine_ = LongLine::Pass;
            break;
        case LineFate::Drop:
            longLine_ = LongLine::Skip;
            break;
        case LineFate::WriteWithRecordCount:
            // Cut at the line's first carriage return, wherever it comes.
            longLine_ =
                head.find('\r') == std::string_view::npos ? LongLine::PassUntilCr : LongLine::Skip;
            longLineGetsRecordCount_ = true;
            break;
    }
}

std::string_view Conversion::continueLongLine(std::string_view block) {
    const std::size_t lineFeed = block.find('\n');
    const bool lineEnds = lineFeed != std::string_view::npos;
    const std::string_view part = block.substr(0, lineEnds ? lineFeed + 1 : block.size());

    if (longLine_ == LongLine::Pass) {
        writer_.pass(part);
    } else if (longLine_ == LongLine::PassUntilCr) {
        const std::string_view content = part.substr(0, lineEnds ? lineFeed : part.size());
        const std::size_t cr = content.find('\r');
        writer_.pass(content.substr(0, cr));
        if (cr != std::string_view::npos) longLine_ = LongLine::Skip;
    }

    if (lineEnds) {
        if (longLineGetsRecordCount_) writer_.write(kRecordCountSuffix);
        longLine_ = LongLine::None;
        longLineGetsRecordCount_ = false;
    }
    return block.substr(part.size());
}

// --- End of input ----------------------------------------------------------------------------

Outcome Conversion::finish() {
    if (stopped()) return outcome_;
    // Bytes after the last line feed complete no line: they are written as they stand.
    if (!observationPhase_) {
        writer_.write(header_.unfinishedLine());
    } else if (longLine_ != LongLine::None) {
        if (longLineGetsRecordCount_) writer_.write(kRecordCountSuffix);
    } else {
        writer_.write(observations_.unfinishedLine());
    }
    writer_.flush();
    outcome_ = kinematicMode_ ? Outcome::Converted : Outcome::ConvertedStatic;
    return outcome_;
}

}  // namespace ferrule::detail
