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

// True for the outcomes that refuse the file for its header records (also for header records
// that follow an event in the observation section): nothing written is kept.
inline bool stoppedInHeader(Outcome outcome) {
    return outcome == Outcome::HeaderError || outcome == Outcome::GsiData ||
           outcome == Outcome::StaticData;
}

}  // namespace ferrule
