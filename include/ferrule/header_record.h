// What the conversion reads from an observation file: the values of its header records, and the
// time of an epoch line. Part of the library interface (see ferrule.h).
#pragma once

#include <cstdint>

namespace ferrule {

inline constexpr int kMaxObservationTypes = 15;

// The time of an epoch line as written: a two-digit year, and the seconds with their fraction.
struct EpochTime {
    std::int32_t year;
    std::int32_t month;
    std::int32_t day;
    std::int32_t hour;
    std::int32_t minute;
    double seconds;
};

// TIME OF FIRST OBS and TIME OF LAST OBS: a four-digit year, the seconds read as a whole number,
// and the time system.
struct ObsTime : EpochTime {
    char timeSystem[4];
};

// The header's values. Text fields hold exactly the characters of their columns, trailing blanks
// included, and a terminator. Numbers are read as strtol (base 0) and strtod read them: a field
// without a number gives 0. A label met twice overwrites its fields; a "# / TYPES OF OBSERV "
// record after a flag-3 or flag-4 event in the observation section sets the types again.
// Value-initialise it: all zero.
struct HeaderRecord {
    double rinexVersion;
    char fileType;
    char satelliteSystem;
    char programName[21];
    char runBy[21];
    char creationDate[21];
    char markerNumber[21];
    char markerName[61];
    char observer[21];
    char agency[41];
    char receiverType[21];
    char receiverNumber[21];
    char receiverVersion[21];
    char antennaType[21];
    char antennaNumber[21];
    double approxPosition[3];  // X, Y, Z in metres
    double antennaDelta[3];    // H, E, N in metres
    std::int32_t wavelengthFactorL1;
    std::int32_t wavelengthFactorL2;
    std::int32_t observationTypeCount;
    char observationTypes[kMaxObservationTypes][3];  // slot i: code of type i, if recognised
    double interval;
    ObsTime firstObs;
    ObsTime lastObs;
    std::int32_t leapSeconds;
    std::int32_t numberOfSatellites;
    // The per-satellite counts of PRN / # OF OBS are not kept: nothing reads them.
};

}  // namespace ferrule
