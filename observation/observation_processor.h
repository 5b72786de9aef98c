// The observation-section half of the conversion: follows the structure of epochs, satellite
// lists, observation lines and special records, and says what kind of record each line is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/result_codes.h"
#include "header/header_record.h"
#include "observation/epoch_state.h"

namespace ferrule {

// A special record following an event epoch is a header-type record: 80 characters, CR, LF.
inline constexpr std::size_t kSpecialRecordBytes = 82;
// The rules look only at a line's first columns and at whether it is exactly 82 bytes long, so
// the first this-many bytes of a longer line classify it exactly as the whole line would.
inline constexpr std::size_t kLineHeadBytes = 65536;

enum LineKind : int {
    ExpectEpoch = 0,         // an epoch line, a satellite-list continuation or a special record
    ExpectObservations = 1,  // an observation line of satellite satelliteIndex
};

class ObservationProcessor {
  public:
    // Reads the header's observation type count on every observation line. With
    // `decodeObservations` the values, loss-of-lock and signal-strength digits of every
    // observation line are decoded into the EpochState; no rule reads them, so the converter
    // leaves that off.
    explicit ObservationProcessor(const HeaderRecord& header, bool decodeObservations = false);

    // Takes one byte. Returns ObsNone until a line feed completes a line; then classifies the
    // line and, except for ObsAlreadyConverted, copies it into `outLine`, line feed included.
    ObservationResult processObservationChar(char ch, std::string& outLine);

    // Classifies one completed line, its line feed included. A line longer than kLineHeadBytes
    // may be passed as its first kLineHeadBytes bytes.
    ObservationResult processObservationLine(std::string_view line);

    // The observation lines still due in the current epoch, when they need not be looked at:
    // each of them is ObsDataLine whatever it holds, and observation values are not decoded.
    // Otherwise 0.
    std::int64_t observationLinesToPass() const;
    // Takes `count` lines, at most observationLinesToPass(), as that many calls of
    // processObservationLine would.
    void passObservationLines(std::int64_t count);

    // After an event epoch with flag 3 (new site occupation) or 4 (header information follows),
    // until the next epoch line: the special records are header records.
    bool headerRecordsFollow() const { return lastEventFlag_ == 3 || lastEventFlag_ == 4; }

    const EpochState& epoch() const { return epoch_; }
    LineKind lineKind() const { return lineKind_; }
    std::int32_t satelliteIndex() const { return satelliteIndex_; }
    // The bytes received after the last line feed (per-byte intake only).
    std::string_view unfinishedLine() const { return lineBuffer_; }

  private:
    ObservationResult readWhereEpochMayCome(std::string_view line, bool firstLine);
    ObservationResult readRegularEpoch(std::string_view line);
    ObservationResult readSatelliteListContinuation(std::string_view line);
    ObservationResult readObservationLine(std::string_view line);
    void expectSatellites(std::int32_t count);
    void decodeObservationLine(std::string_view line);

    const HeaderRecord& header_;
    const bool decodeObservations_;
    EpochState epoch_{};
    std::string lineBuffer_;
    std::int64_t lineIndex_ = 0;  // lines of the section completed so far

    LineKind lineKind_ = ExpectEpoch;
    std::int32_t satelliteIndex_ = 0;         // satellite whose observation lines come next
    std::int32_t listLinesPending_ = 0;       // satellite-list continuation lines still to come
    std::int32_t listLinesRead_ = 0;          // continuation lines of this epoch read so far
    std::int32_t observationLine_ = 0;        // which line of the satellite's group comes next
    std::int32_t specialRecordsPending_ = 0;  // announced by the last event epoch
    int lastEventFlag_ = 0;                   // of the last epoch line, regular (0) or event
    bool firstEpochSeen_ = false;
    bool secondEpochSeen_ = false;
};

}  // namespace ferrule
