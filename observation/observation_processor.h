// The observation-section half of the conversion: follows the structure of epochs, satellite
// lists, observation lines and special records, and says what kind of record each line is.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/result_codes.h"
#include "ferrule/header_record.h"
#include "header/header_label.h"

namespace ferrule::detail {

// A special record following an event epoch is a header-type record: 80 characters, CR, LF.
inline constexpr std::size_t kSpecialRecordBytes = 82;
// The rules look only at a line's first columns and at whether it is exactly 82 bytes long, so
// the first this-many bytes of a longer line classify it exactly as the whole line would.
inline constexpr std::size_t kLineHeadBytes = 65536;

enum LineKind : int {
    ExpectEpoch = 0,         // an epoch line, a satellite-list continuation or a special record
    ExpectObservations = 1,  // an observation line of satellite satelliteIndex
};

// What a line of the observation section is. ObsLine stands for three of them (a later epoch
// record, a satellite-list continuation, a line out of step), so the code alone does not say.
enum class Record : std::uint8_t {
    Epoch,          // an epoch record with event flag 0
    SatelliteList,  // a continuation line of an epoch record's satellite list
    Event,          // an epoch record with a non-zero event flag
    Special,        // a header-type record after an event epoch
    Observation,    // an observation line of a satellite
    OutOfStep,      // a line that is no epoch record where one may come, kept as it stands
};

// The time columns of an epoch line (RINEX 2: 0-25, RINEX 3: 0-28) as written, blanks where the
// line is shorter. Most epochs' times are never asked for, so they are decoded only when they
// are (readEpochTime).
using EpochTimeColumns = std::array<char, 29>;

// The epoch fields of an epoch line. RINEX 2: year, month, day, hour and minute (I3 each,
// columns 0-14) and the seconds (F11.7, columns 15-25). RINEX 3 and 4 (">" in column 0): the
// year (I4, columns 2-5), month, day, hour and minute (I3 each, to column 17) and the seconds
// (F11.7, columns 18-28). Blank fields read as 0.
EpochTime readEpochTime(std::string_view line, bool rinex3 = false);

// One line as the processor read it, once: its result code, what it is, and the fields that the
// event rewriter and the survey recorder act on.
struct ObservationLine {
    ObservationResult result = ObsNone;
    Record record = Record::Epoch;
    std::string_view text;  // line feed included; of a line over kLineHeadBytes, its head
    // Event: its flag; Special: the flag of the event it follows; 0 otherwise.
    int eventFlag = 0;
    // Epoch, and Event with flag 1 or 6: the satellites announced in columns 29-31.
    std::int32_t satellites = 0;
    // Special: its label, by the header's table (HeaderLabel::None when it holds none).
    HeaderLabel label = HeaderLabel::None;
    // A line of a RINEX 3 or 4 file (read for a report): its epoch records begin with ">", and
    // each satellite's observations are one line that begins with the satellite.
    bool rinex3 = false;

    // Epoch and Event: the time, and whether its columns hold one at all (an event record's are
    // often blank).
    EpochTime time() const { return readEpochTime(text, rinex3); }
    bool timed() const {
        return text.substr(0, rinex3 ? 29 : 26).find_first_of("0123456789") !=
               std::string_view::npos;
    }
    // RINEX 2 Epoch and SatelliteList: the satellite identifiers, from column 32.
    std::string_view satelliteList() const {
        return !rinex3 && text.size() > 32 ? text.substr(32) : "";
    }
};

class ObservationProcessor {
  public:
    // Reads the header's observation type count on every observation line.
    explicit ObservationProcessor(const HeaderRecord& header) : header_(header) {}

    // Takes one byte: processObservationBytes for a single byte. Returns ObsNone until a line
    // feed completes a line; then classifies the line and, except for ObsAlreadyConverted,
    // copies it into `outLine`, line feed included. Fed this way, a line longer than
    // kLineHeadBytes is classified by its head, and its further bytes are read as the next
    // line's (the conversion instead passes them on or drops them with the head).
    ObservationResult processObservationChar(char ch, std::string& outLine);

    // Takes bytes from the front of `bytes`, up to and including the first line feed, and sets
    // `consumed` to their count. When they complete a line, classifies it and reads it into
    // `line`, whose text is a view of `bytes` when the whole line lies there, else of the
    // processor's own copy, valid until the next call. A line that reaches kLineHeadBytes without
    // its line feed is classified by those bytes, its head; the rest of it is the caller's to pass
    // on or drop.
    ObservationResult processObservationBytes(std::string_view bytes, std::size_t& consumed,
                                              ObservationLine& line);
    // Adds a byte to the line in progress when that is all processObservationBytes would do with
    // it (it neither ends the line nor fills its head), and says whether it did. A byte-at-a-time
    // caller then pays for the rules once a line, not once a byte.
    bool extendLine(char ch) {
        if (ch == '\n' || lineTaken_ || partial_.size() + 1 >= kLineHeadBytes) return false;
        partial_.push_back(ch);
        return true;
    }

    // The observation lines still due in the current epoch, when they need not be looked at:
    // each of them is ObsDataLine whatever it holds. 0 while part of a line is held.
    std::int64_t observationLinesToPass() const;
    // Takes `count` lines, at most observationLinesToPass(), as processObservationBytes would.
    void passObservationLines(std::int64_t count);

    // The time of the first and of the last regular epoch, and how many there were.
    EpochTime firstEpoch() const {
        return readEpochTime({firstEpoch_.data(), firstEpoch_.size()}, rinex3_);
    }
    EpochTime lastEpoch() const {
        return readEpochTime({lastEpoch_.data(), lastEpoch_.size()}, rinex3_);
    }
    std::int64_t regularEpochs() const { return regularEpochs_; }
    // The lines of the observation section completed so far.
    std::int64_t lines() const { return lines_; }
    // The bytes held after the last line feed.
    std::string_view unfinishedLine() const { return lineTaken_ ? std::string_view() : partial_; }

  private:
    void processObservationLine(ObservationLine& line);
    void readWhereEpochMayCome(ObservationLine& line);
    void readWhereRinex3EpochMayCome(ObservationLine& line, bool firstLine);
    void readEvent(ObservationLine& line, int flag, std::int32_t count, bool firstLine);
    void readRegularEpoch(ObservationLine& line);
    void readSatelliteListContinuation(ObservationLine& line);
    void readObservationLine(ObservationLine& line);
    void expectSatellites(std::int32_t count);

    const HeaderRecord& header_;
    EpochTimeColumns firstEpoch_{};  // of the first regular epoch line (event flag 0)
    EpochTimeColumns lastEpoch_{};   // of the last one
    std::int64_t regularEpochs_ = 0;
    std::int64_t lines_ = 0;
    std::string partial_;        // a line begun in an earlier block, at most kLineHeadBytes of it
    bool lineTaken_ = false;     // partial_ holds a line already classified
    bool sectionBegun_ = false;  // the section's first line has been read
    bool rinex3_ = false;        // the header's version is 3 or later (read for a report)

    LineKind lineKind_ = ExpectEpoch;
    // Satellites of the current epoch; the epoch ends after their observation lines.
    std::int32_t satelliteCount_ = 0;
    std::int32_t satelliteIndex_ = 0;         // satellite whose observation lines come next
    std::int32_t listLinesPending_ = 0;       // satellite-list continuation lines still to come
    std::int32_t observationLine_ = 0;        // which line of the satellite's group comes next
    std::int32_t specialRecordsPending_ = 0;  // announced by the last event epoch
    int eventFlag_ = 0;                       // of the last epoch line, regular (0) or event
};

}  // namespace ferrule::detail
