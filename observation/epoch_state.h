// The decoded current epoch of the observation section.
#pragma once

#include <cstdint>

#include "header/header_record.h"

namespace ferrule {

// Value-initialise it: all zero.
struct EpochState {
    // The last regular epoch line (event flag 0).
    std::int32_t year;  // two digits as written
    std::int32_t month;
    std::int32_t day;
    std::int32_t hour;
    std::int32_t minute;
    double seconds;
    std::int32_t eventFlag;
    // Satellites of the current epoch; the epoch ends after their observation lines.
    std::int32_t satelliteCount;
    char satellites[kSatelliteTableSize][4];  // identifiers such as G01, as written
    // Filled only when observation values are decoded (see ObservationProcessor). Row: satellite
    // index within the epoch; slot s: the header's observation type s.
    double observations[kSatelliteTableSize][kMaxObservationTypes];
    std::int32_t lossOfLock[kSatelliteTableSize];
    std::int32_t signalStrength[kSatelliteTableSize];
};

}  // namespace ferrule
