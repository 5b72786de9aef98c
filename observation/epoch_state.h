// The decoded current epoch of the observation section.
#pragma once

#include <cstdint>

#include "ferrule/header_record.h"

namespace ferrule::detail {

// Value-initialise it: all zero.
struct EpochState {
    EpochTime time;  // of the last regular epoch line (event flag 0)
    // Satellites of the current epoch; the epoch ends after their observation lines.
    std::int32_t satelliteCount;
};

}  // namespace ferrule::detail
