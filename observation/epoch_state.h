// The decoded current epoch of the observation section.
#pragma once

#include <array>
#include <cstdint>

#include "ferrule/header_record.h"

namespace ferrule::detail {

// The time columns of an epoch line (0-25) as written, blanks where the line is shorter. Most
// epochs' times are never asked for, so they are decoded only when they are (readEpochTime).
using EpochTimeColumns = std::array<char, 26>;

// Value-initialise it: all zero.
struct EpochState {
    EpochTimeColumns time;  // of the last regular epoch line (event flag 0)
    // Satellites of the current epoch; the epoch ends after their observation lines.
    std::int32_t satelliteCount;
};

}  // namespace ferrule::detail
