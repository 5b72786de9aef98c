// The kinematic structure of a survey, written as RINEX 2 event records: the moving-antenna block
// before the first two epochs, and a site identifier for every occupation inside a moving period.
// The event rewriter decides what becomes of each observation line, as one edit.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/result_codes.h"
#include "ferrule/ferrule.h"
#include "observation/observation_processor.h"

namespace ferrule::detail {

// Identifiers 000K to 800K can be assigned: the counter is compared with greater-than.
inline constexpr std::int32_t kSiteIdLimit = 2048;

// The count appended to a flag-2 record that opens a moving period: its two special records are
// the site's MARKER NAME record and the record that followed the replaced flag-4 line.
inline constexpr std::string_view kRecordCountSuffix = "  2\r\n";

// What becomes of an observation line: what is written before it, then the line itself (kept
// whole; kept cut at its line end, its first CR or LF, then kRecordCountSuffix; or dropped); or
// the conversion stops at it, and nothing is written.
// What the line did to the moving periods is said with it.
struct LineEdit {
    enum class Insert : std::uint8_t { Nothing, MovingAntennaBlock, SiteMarkerName };
    enum class Line : std::uint8_t { Keep, KeepWithRecordCount, Drop };
    enum class Moving : std::uint8_t { Unchanged, Opened, Closed };

    Insert insert = Insert::Nothing;
    Line line = Line::Keep;
    std::int32_t siteId = 0;             // of the SiteMarkerName record
    Outcome stop = Outcome::InProgress;  // otherwise: the outcome the conversion stops with
    Moving moving = Moving::Unchanged;
    // A flag-4 record inside a moving period: an occupation a conversion numbers (whether or not
    // it got its number: a file not converted, or one past the limit, gets none).
    bool occupation = false;
};

enum EventState : int {
    EventIdle = 0,     // no moving period open
    EventMoving = 1,   // a moving period is open: its flag-4 records get site identifiers
    EventNewSite = 2,  // the file announced a new site itself; the next flag-2 record closes it
};

// The event state chart: what an event epoch line does to the state, and becomes, by its flag.
//
//   state         flag 2                     flag 3               flag 4                 others
//   EventIdle     EventMoving, record count  EventNewSite, kept   kept                   kept
//   EventMoving   EventIdle, kept            EventNewSite, kept   the next site's        kept
//                                                                 MARKER NAME instead,
//                                                                 or a stop at the limit
//   EventNewSite  EventIdle, kept            EventNewSite, kept   kept                   kept
//
// So the record count goes only to a flag-2 record met in EventIdle, and site identifiers are
// given only in EventMoving, one after the other from 000K, never past kSiteIdLimit.
class EventRewriter {
  public:
    // A static file (its station identifier repaired) gets no moving-antenna block. This is the
    // one flag that tells a static file from a kinematic one.
    void staticFile() { kinematic_ = false; }
    bool kinematic() const { return kinematic_; }
    // A file that will not be converted but is read on (for a report): its flag-4 records inside
    // a moving period get no site identifier; for a static file (static, GSI's) they are no
    // occupations either, as the whole file is one.
    enum class Sites : std::uint8_t { Assigned, Unnumbered, None };
    void assign(Sites sites) { sites_ = std::max(sites_, sites); }
    Sites sites() const { return sites_; }
    // A moving period is open.
    bool moving() const { return state_ == EventMoving; }

    // The edit of a classified line (not ObsNone). Made for every line that is looked at, so it
    // is inline; the few that change anything are handled out of line.
    LineEdit edit(const ObservationLine& line) {
        // Most lines looked at are later epoch lines and satellite lists: they are kept.
        if (line.result == ObsLine || line.result == ObsDataLine) return {};
        switch (line.result) {
            case ObsFirstEpoch:
            case ObsSecondEpoch:
                // Only a kinematic file declares its antenna as moving from the start.
                return {.insert = kinematic_ ? LineEdit::Insert::MovingAntennaBlock
                                             : LineEdit::Insert::Nothing};
            case ObsEventEpoch:
                return onEventRecord(line.eventFlag);
            case ObsAlreadyConverted:
                return stopAt(Outcome::AlreadyConverted);
            default:
                return {};
        }
    }

  private:
    static LineEdit stopAt(Outcome outcome);
    LineEdit onEventRecord(int eventFlag);

    bool kinematic_ = true;
    Sites sites_ = Sites::Assigned;
    EventState state_ = EventIdle;
    std::int32_t nextSiteId_ = 0;  // the identifier the next MARKER NAME record receives
};

// The three records inserted before each of the first two epochs: a start moving record with
// the epoch's own time, a header-information record announcing one record, and the comment.
std::string movingAntennaBlock(std::string_view epochLine);
inline constexpr std::string_view kHeaderInformationRecord = "                            4  1\r\n";
inline constexpr std::string_view kAntennaMovingComment =
    "               ***  ANTENNA IS NOW MOVING  ***              COMMENT             \r\n";

// "000K" to "800K": the site identifier in three lower-case hexadecimal digits, then K.
std::string siteIdentifier(std::int32_t siteId);

// The site identifier, 56 blanks, "MARKER NAME", 9 blanks, CR LF: 82 bytes.
std::string siteMarkerNameRecord(std::int32_t siteId);

// The line cut at its first CR or LF.
std::string_view beforeLineEnd(std::string_view line);

}  // namespace ferrule::detail
