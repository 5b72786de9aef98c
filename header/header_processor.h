// The header half of the conversion: assembles fixed-width header lines, classifies each by the
// label in its columns 60-79, parses it into the HeaderRecord and says what to write for it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/result_codes.h"
#include "ferrule/header_record.h"
#include "ferrule/outcome.h"
#include "header/header_label.h"

namespace ferrule::detail {

// Every header line is a fixed record of 80 characters, CR and LF.
inline constexpr std::size_t kHeaderLineBytes = 82;
// A header line can never be valid with more bytes than this before its line feed.
inline constexpr std::size_t kMaxHeaderLineBytes = 65536;
// The header error message quotes at most this many bytes of the offending line.
inline constexpr std::size_t kQuotedLineBytes = 80;
// Read on past a refusal, a header line is kept to this many bytes.
inline constexpr std::size_t kLenientLineBytes = 256;

class HeaderProcessor {
  public:
    // Takes one byte of the input. Returns HeaderNone and leaves `out` alone until a line feed
    // completes a line; then classifies the line and leaves in `out` the text to write for it
    // (for HeaderError: the offending line, possibly empty).
    HeaderResult processHeaderChar(char ch, std::string& out);

    // Takes bytes from the front of `bytes`, up to and including the first line feed, and sets
    // `consumed` to their count. Same results as feeding those bytes one by one to
    // processHeaderChar; the result is that of the last byte consumed.
    HeaderResult processHeaderBytes(std::string_view bytes, std::size_t& consumed,
                                    std::string& out);

    // The label of a header-type record by the label table: its columns 60-79, which may lack
    // trailing blanks (a special record cut short), and its line end aside.
    static HeaderLabel labelOf(std::string_view record);

    // A record among the header records that follow a flag-3 or flag-4 event in the observation
    // section, read once: its label, and for a "# / TYPES OF OBSERV " record the observation
    // types of the epochs that follow, set as the header's record sets them (continued over two
    // records). HeaderLabel::None for a record of no label; `refused` when the types record
    // declares more types than an observation record holds (fault() then says so, its line
    // number left 0 for the caller).
    HeaderLabel readRecordAfterEvent(std::string_view record, bool& refused);

    const HeaderRecord& record() const { return record_; }
    // The station identifier a MARKER NAME record was repaired to; empty when none was.
    const std::string& repairedStationId() const { return repairedStationId_; }
    // After HeaderError: where the header broke its layout, and why.
    const HeaderFault& fault() const { return fault_; }
    // The header lines completed so far.
    std::int64_t lines() const { return lines_; }

    // Reads on past a refusal (a report): the line just refused, and every line after it, is cut
    // at its line feed whatever its length or line end, and read by its label where it has one
    // (columns 60-79, trailing blanks not needed); a record of no known label, a RINEX 3 record,
    // a types record of more than 15 types are read as far as they can be, never refused.
    // Returns what the line just refused is then.
    HeaderResult readOn(std::string& out);
    bool readingOn() const { return lenient_; }
    // The bytes received after the last line feed.
    std::string_view unfinishedLine() const {
        return std::string_view(text_).substr(unfinishedStart_);
    }

  private:
    HeaderResult takeLine(std::string& out);
    HeaderResult takeLenientLine(std::string& out);
    HeaderResult classify(std::string_view line, std::string& out);
    // Says in fault_ why the line just read (`own`, as the file has it) is refused.
    void describeFault(std::string_view own);

    HeaderResult versionType(std::string_view line, std::string& out);
    HeaderResult programRunByDate(std::string_view line, std::string& out);
    HeaderResult markerName(std::string_view line, std::string& out);
    HeaderResult markerNumber(std::string_view line, std::string& out);
    HeaderResult observerAgency(std::string_view line, std::string& out);
    HeaderResult receiver(std::string_view line, std::string& out);
    HeaderResult antenna(std::string_view line, std::string& out);
    HeaderResult approxPosition(std::string_view line, std::string& out);
    HeaderResult antennaDelta(std::string_view line, std::string& out);
    HeaderResult wavelengthFactors(std::string_view line, std::string& out);
    HeaderResult typesOfObservations(std::string_view line, std::string& out);
    HeaderResult readObservationTypes(std::string_view line);
    HeaderResult interval(std::string_view line, std::string& out);
    HeaderResult timeOfFirstObs(std::string_view line, std::string& out);
    HeaderResult timeOfLastObs(std::string_view line, std::string& out);
    HeaderResult leapSeconds(std::string_view line, std::string& out);
    HeaderResult numberOfSatellites(std::string_view line, std::string& out);
    HeaderResult endOfHeader(std::string_view line, std::string& out);
    // COMMENT, and PRN / # OF OBS (its counts are not kept): nothing to store.
    HeaderResult comment(std::string_view line, std::string& out);

    using Handler = HeaderResult (HeaderProcessor::*)(std::string_view, std::string&);
    struct Label {
        std::string_view text;  // 20 characters, exact
        HeaderLabel label;
        Handler handler;
    };
    static const Label kLabels[];

    HeaderRecord record_{};
    std::string repairedStationId_;

    // The header text from the start of the next line on: line N always starts at byte 82 * N
    // of the whole header text, so each line taken drops its 82 bytes from the front.
    std::string text_;
    std::size_t unfinishedStart_ = 0;  // where in text_ the bytes after the last line feed begin
    bool nulReceived_ = false;
    std::int64_t lines_ = 0;
    HeaderFault fault_;
    // A handler's own reason for its HeaderError (too many types), when it has one.
    struct HandlerReason {
        HeaderFault::Reason reason;
        std::int64_t value;
    };
    std::optional<HandlerReason> handlerReason_;
    // The first line taken although it was not 80 characters and CR LF (a longer line whose
    // label still stood at columns 60-79): the lines after it are off their columns, and it is
    // what a later header error names.
    std::optional<HeaderFault> offColumns_;

    // The types list awaits its continuation line (more than nine types were declared); read on
    // leniently, how many types its continuation lines still hold.
    bool typesContinuationPending_ = false;
    std::int32_t typesPending_ = 0;
    bool lenient_ = false;
    bool markerNameSeen_ = false;
};

}  // namespace ferrule::detail
