// Result codes of the two line processors: what kind of line the bytes taken completed, 0 when
// they completed none. The header's refusals (10, 998, 999) and ObsAlreadyConverted stop the
// conversion. (Processors take a byte or a block; a block is taken up to its first line feed.)
#pragma once

namespace ferrule::detail {

enum HeaderResult : int {
    HeaderNone = 0,             // the bytes taken completed no line
    HeaderLine = 1,             // a recognised header line, to be written
    HeaderEnd = 2,              // END OF HEADER: written, then the observation section begins
    HeaderStaticData = 10,      // static survey with a proper station identifier: no conversion
    HeaderStationIdFixed = 12,  // static survey, station identifier repaired: the rewritten line
    HeaderGsiData = 998,        // written by GSI, JAPAN: no conversion
    HeaderError = 999,          // the header breaks the fixed layout
};

enum ObservationResult : int {
    ObsNone = 0,               // the bytes taken completed no line
    ObsLine = 3,               // a later regular epoch line, or a satellite-list continuation line
    ObsFirstEpoch = 4,         // the section's first regular epoch line
    ObsSecondEpoch = 5,        // the regular epoch line after the first one
    ObsDataLine = 6,           // an observation line
    ObsFullLine = 8,           // a special record (a header-type record) where an epoch may come
    ObsEventEpoch = 9,         // an epoch line with a non-zero event flag
    ObsAlreadyConverted = 11,  // the section begins with an event epoch: converted before
};

}  // namespace ferrule::detail
