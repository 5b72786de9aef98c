#include "observation/event_rewriting.h"

#include <cstdio>

namespace ferrule::detail {

namespace {

constexpr std::size_t kEpochPartBytes = 28;  // the epoch time and the two blanks before the flag
constexpr std::string_view kHeaderInformationRecord = "                            4  1\r\n";
constexpr std::string_view kAntennaMovingComment =
    "               ***  ANTENNA IS NOW MOVING  ***              COMMENT             \r\n";

}  // namespace

EventDecision EventStateMachine::onEventRecord(int eventFlag) {
    switch (eventFlag) {
        case 3:  // new site occupation
            eventState_ = EventNewSite;
            return {EventAction::WriteLine, 0};
        case 2:  // start moving antenna: opens a moving period, or closes one
            if (eventState_ == EventIdle) {
                eventState_ = EventMoving;
                return {EventAction::WriteWithRecordCount, 0};
            }
            eventState_ = EventIdle;
            return {EventAction::WriteLine, 0};
        case 4:  // header information follows: an occupation inside a moving period
            if (eventState_ != EventMoving) return {EventAction::WriteLine, 0};
            if (siteIdCounter_ > kSiteIdLimit) return {EventAction::StopAtSiteIdLimit, 0};
            return {EventAction::WriteSiteMarkerName, siteIdCounter_++};
        default:
            return {EventAction::WriteLine, 0};
    }
}

std::string movingAntennaBlock(std::string_view epochLine) {
    // The epoch part is the line's first 28 characters; a shorter line (before its CR LF or LF)
    // is padded with blanks, so the flag always lands in column 28.
    std::string_view content = epochLine;
    if (!content.empty() && content.back() == '\n') content.remove_suffix(1);
    if (!content.empty() && content.back() == '\r') content.remove_suffix(1);
    std::string block(content.substr(0, kEpochPartBytes));
    block.resize(kEpochPartBytes, ' ');
    block += "2\r\n";
    block += kHeaderInformationRecord;
    block += kAntennaMovingComment;
    return block;
}

std::string siteMarkerNameRecord(std::int32_t siteId) {
    char record[96];
    const int length = std::snprintf(
        record, sizeof record,
        "%03xK                                                        MARKER NAME         \r\n",
        static_cast<unsigned>(siteId));
    return std::string(record, static_cast<std::size_t>(length));
}

std::string_view beforeLineEnd(std::string_view line) {
    line = line.substr(0, line.find('\n'));
    return line.substr(0, line.find('\r'));
}

}  // namespace ferrule::detail
