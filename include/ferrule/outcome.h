// How the conversion of one observation file ended.
#pragma once

namespace ferrule {

enum class Outcome {
    InProgress,
    Converted,         // a kinematic file, converted
    ConvertedStatic,   // a static file whose station identifier was repaired
    HeaderError,       // refused in the header: it breaks the fixed layout
    GsiData,           // refused in the header: written by GSI, JAPAN
    StaticData,        // refused in the header: static, with a proper station identifier
    AlreadyConverted,  // stopped in the observation section: it begins with an event epoch
    SiteIdLimit,       // stopped in the observation section: no site identifier left
};

// True for the outcomes that stop the conversion while the header is being read.
bool stoppedInHeader(Outcome outcome);

}  // namespace ferrule
