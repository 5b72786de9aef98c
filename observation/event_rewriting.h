// The kinematic structure of a survey, written as RINEX 2 event records: the moving-antenna block
// before the first two epochs, and a site identifier for every occupation inside a moving period.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ferrule::detail {

enum EventState : int {
    EventIdle = 0,     // no moving period open
    EventMoving = 1,   // a moving period is open: its flag-4 records get site identifiers
    EventNewSite = 2,  // the file announced a new site itself; the next flag-2 record closes it
};

// Identifiers 000K to 800K can be assigned: the counter is compared with greater-than.
inline constexpr std::int32_t kSiteIdLimit = 2048;

// The count appended to a flag-2 record that opens a moving period: its two special records are
// the site's MARKER NAME record and the record that followed the replaced flag-4 line.
inline constexpr std::string_view kRecordCountSuffix = "  2\r\n";

// What becomes of an event epoch line.
enum class EventAction {
    WriteLine,             // unchanged
    WriteWithRecordCount,  // cut at its line end, then kRecordCountSuffix
    WriteSiteMarkerName,   // replaced by the MARKER NAME record of `siteId`
    StopAtSiteIdLimit,     // no identifier left: the conversion stops
};

struct EventDecision {
    EventAction action;
    std::int32_t siteId;  // for WriteSiteMarkerName
};

class EventStateMachine {
  public:
    // Moves the state machine by the event flag of an event epoch line (column 28).
    EventDecision onEventRecord(int eventFlag);

    EventState eventState() const { return eventState_; }
    std::int32_t siteIdCounter() const { return siteIdCounter_; }

  private:
    EventState eventState_ = EventIdle;
    std::int32_t siteIdCounter_ = 0;  // the identifier the next MARKER NAME record receives
};

// The three records inserted before each of the first two epochs: a start moving record with
// the epoch's own time, a header-information record announcing one record, and the comment.
std::string movingAntennaBlock(std::string_view epochLine);

// "%03xK", 56 blanks, "MARKER NAME", 9 blanks, CR LF: 82 bytes.
std::string siteMarkerNameRecord(std::int32_t siteId);

// The line cut at its first LF and then at its first CR.
std::string_view beforeLineEnd(std::string_view line);

}  // namespace ferrule::detail
