// The parsed values of one observation file's header.
#pragma once

#include <cstdint>

namespace ferrule {

inline constexpr int kMaxObservationTypes = 15;
inline constexpr int kSatelliteTableSize = 100;

struct ObsTime {
    std::int32_t year;
    std::int32_t month;
    std::int32_t day;
    std::int32_t hour;
    std::int32_t minute;
    double seconds;
    char timeSystem[4];
};

// Observation counts of one satellite, from its PRN / # OF OBS record. The counts are kept in this
// order: L1 L2 L5 C1 C2 C5 P1 P2 P5 D1 D2 D5 S1 S2 S5.
struct SatelliteObsCounts {
    char systemLetter[2];
    std::int32_t prn;
    std::int32_t counts[kMaxObservationTypes];
};

// Text fields hold exactly the characters of their columns, trailing blanks included, and a
// terminator. A label met twice overwrites its fields. Value-initialise it: all zero.
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
    SatelliteObsCounts satelliteObsTable[kSatelliteTableSize];
};

}  // namespace ferrule
