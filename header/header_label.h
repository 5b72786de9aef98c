// The labels of the header records the converter knows, numbered as its label table numbers
// them; None for a record that holds no label of the table.
#pragma once

namespace ferrule::detail {

enum class HeaderLabel : int {
    None = 0,
    VersionType = 1,
    ProgramRunByDate = 2,
    MarkerName = 3,
    MarkerNumber = 4,
    ObserverAgency = 5,
    Receiver = 6,
    Antenna = 7,
    ApproxPosition = 8,
    AntennaDelta = 9,
    WavelengthFactors = 10,
    TypesOfObservations = 11,
    Interval = 12,
    TimeOfFirstObs = 13,
    TimeOfLastObs = 14,
    LeapSeconds = 15,
    NumberOfSatellites = 16,
    SatelliteCounts = 17,
    EndOfHeader = 18,
    Comment = 99,
};

}  // namespace ferrule::detail
