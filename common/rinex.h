// Layouts of RINEX 2 records that more than one part writes or reads.
#pragma once

#include <string_view>

namespace ferrule::detail {

// After the four characters of a station or site identifier: the rest of a MARKER NAME record
// (56 blanks, the label in columns 60-79, CR LF).
inline constexpr std::string_view kMarkerNameTail =
    "                                                        MARKER NAME         \r\n";

// An epoch record lists up to 12 satellites; each continuation line 12 more.
inline constexpr int kSatellitesPerListLine = 12;

}  // namespace ferrule::detail
