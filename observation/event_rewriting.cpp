#include "observation/event_rewriting.h"

#include <cassert>

#include "common/rinex.h"
#include "common/text.h"
#include "observation/observation_processor.h"

namespace ferrule::detail {

namespace {

constexpr std::size_t kEpochPartBytes = 28;  // the epoch time and the two blanks before the flag

using Insert = LineEdit::Insert;
using Line = LineEdit::Line;
using Moving = LineEdit::Moving;

}  // namespace

LineEdit EventRewriter::stopAt(Outcome outcome) {
    return {.line = Line::Drop, .stop = outcome};
}

LineEdit EventRewriter::onEventRecord(int eventFlag) {
    assert(nextSiteId_ >= 0 && nextSiteId_ <= kSiteIdLimit + 1);
    switch (eventFlag) {
        case 2: {  // start moving antenna: opens a moving period, or closes one
            if (state_ == EventIdle) {
                state_ = EventMoving;
                return {.line = Line::KeepWithRecordCount, .moving = Moving::Opened};
            }
            const bool closes = state_ == EventMoving;
            state_ = EventIdle;
            return {.moving = closes ? Moving::Closed : Moving::Unchanged};
        }
        case 3: {  // new site occupation
            const bool closes = state_ == EventMoving;
            state_ = EventNewSite;
            return {.moving = closes ? Moving::Closed : Moving::Unchanged};
        }
        case 4:  // header information follows: an occupation inside a moving period
            if (state_ != EventMoving || sites_ == Sites::None) return {};
            if (sites_ == Sites::Unnumbered) return {.occupation = true};
            if (nextSiteId_ > kSiteIdLimit) {
                return {.line = Line::Drop, .stop = Outcome::SiteIdLimit, .occupation = true};
            }
            return {.insert = Insert::SiteMarkerName,
                    .line = Line::Drop,
                    .siteId = nextSiteId_++,
                    .occupation = true};
        default:
            return {};
    }
}

std::string movingAntennaBlock(std::string_view epochLine) {
    // The epoch part is the line's first 28 characters; a shorter line (before its CR LF or LF)
    // is padded with blanks, so the flag always lands in column 28.
    std::string block(withoutLineEnd(epochLine).substr(0, kEpochPartBytes));
    block.resize(kEpochPartBytes, ' ');
    block += "2\r\n";
    block += kHeaderInformationRecord;
    block += kAntennaMovingComment;
    return block;
}

std::string siteIdentifier(std::int32_t siteId) {
    assert(siteId >= 0 && siteId <= kSiteIdLimit);
    constexpr char kDigits[] = "0123456789abcdef";
    return {kDigits[(siteId >> 8) & 15], kDigits[(siteId >> 4) & 15], kDigits[siteId & 15], 'K'};
}

std::string siteMarkerNameRecord(std::int32_t siteId) {
    return siteIdentifier(siteId).append(kMarkerNameTail);
}

// Two searches for one byte each (memchr) are much faster than one for either byte.
std::string_view beforeLineEnd(std::string_view line) {
    line = line.substr(0, line.find('\n'));
    return line.substr(0, line.find('\r'));
}

}  // namespace ferrule::detail
