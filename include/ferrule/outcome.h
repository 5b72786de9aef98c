// How the conversion of one observation file ended, and for a refused header, where and why.
#pragma once

#include <cstdint>
#include <string>

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
    EmptyInput,        // refused at the end: the file has no bytes
    HeaderCutShort,    // refused at the end: the file ends before END OF HEADER
    NoEpochs,          // refused at the end: no epoch record follows the header
};

// True for the outcomes that refuse the file for its header records (also for header records
// that follow an event in the observation section): nothing written is kept.
inline bool stoppedInHeader(Outcome outcome) {
    return outcome == Outcome::HeaderError || outcome == Outcome::GsiData ||
           outcome == Outcome::StaticData;
}

// Where and why a header was refused (Outcome::HeaderError).
struct HeaderFault {
    enum class Reason {
        UnknownLabel,   // columns 60-79 hold no label the converter knows (`label`)
        LineLength,     // the line is not 80 characters long (`value`: its length)
        LineTooLong,    // the line runs past 65,536 bytes without a line feed
        LineEnd,        // the line does not end in CR LF
        NulByte,        // the line holds a NUL byte
        TooManyTypes,   // "# / TYPES OF OBSERV " declares more than 15 types (`value`)
        NegativeTypes,  // "# / TYPES OF OBSERV " declares fewer than 0 types (`value`)
        Rinex3,         // "RINEX VERSION / TYPE" gives version 3 or later
        NoMarkerName,   // the header ends without a MARKER NAME record
    };
    Reason reason = Reason::UnknownLabel;
    std::int64_t line = 0;  // the line's number in the file, 1 for the first
    bool inHeader = true;   // false: a record among those after an event in the observation section
    std::int64_t value = 0;
    std::string label;  // columns 60-79 of the line, without trailing blanks
    // The line as read, at most its first 80 characters, without its line end.
    std::string quote;
};

}  // namespace ferrule
