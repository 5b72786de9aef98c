// A deterministic generator of realistic RINEX 2 observation files in the converter's layout:
// a header of 80-column records (CR LF), 1 Hz (or faster) epochs of 20-28 GPS and GLONASS
// satellites, observation lines with trailing blanks trimmed, and for a kinematic survey a
// stop-and-go pattern of event records every minute. The same options give the same bytes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace ferrule::generate {

enum class Survey {
    Kinematic,    // MARKER NAME "????", a stop-and-go occupation every minute
    StaticValid,  // MARKER NAME "AB12", no events: needs no conversion
    StaticBadId,  // MARKER NAME "BASE1", no events: its station identifier gets repaired
};

struct GeneratorOptions {
    std::uint64_t seed = 1;
    double sizeMiB = 16.0;  // approximate size of the file, in MiB (2^20 bytes)
    int typeCount = 7;      // observation types per satellite, 1 to 15
    int rate = 1;           // epochs per second; must divide 10,000,000 (1, 2, 5, 10, ...)
    Survey survey = Survey::Kinematic;
};

// What a generated file holds.
struct GeneratedFile {
    std::uint64_t bytes = 0;
    std::int64_t epochs = 0;       // regular epochs (event flag 0)
    std::int64_t occupations = 0;  // flag-4 records inside moving periods (kinematic only)
};

// The largest rate accepted: a tenth of a millisecond would no longer be an exact F11.7 epoch.
inline constexpr int kMaxRate = 100;
// A kinematic file with more occupations than this runs out of site identifiers (000K to 800K).
inline constexpr std::int64_t kSiteIdentifiers = 2049;

// Empty when the options are usable, otherwise what is wrong with them.
std::string checkOptions(const GeneratorOptions& options);

// Generates the file and hands it to `write` in pieces of about 1 MiB. The options must pass
// checkOptions.
GeneratedFile generateObservationFile(const GeneratorOptions& options,
                                      const std::function<void(std::string_view)>& write);

// The whole file in memory.
std::string generateObservationText(const GeneratorOptions& options);

}  // namespace ferrule::generate
