// Handlers of the header records other than the observation types and the per-satellite counts.
// Each stores its fields and decides its result; `out` holds the line, the text to write, which
// only a repaired MARKER NAME record replaces.
#include <cstring>

#include "common/field.h"
#include "common/rinex.h"
#include "header/header_processor.h"

namespace ferrule::detail {

namespace {

constexpr std::string_view kQuestionMarkMarker =
    "????                                                        ";
constexpr std::string_view kGsiAgency = "GSI, JAPAN          ";

bool isAsciiLetterOrDigit(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

// Read on past a refusal, the zero-filled fields of RINEX 3 ("06") are decimal.
void readTime(std::string_view line, ObsTime& time, bool decimal) {
    const auto number = decimal ? decimalField : integerField;
    time.year = number(line, 0, 6);
    time.month = number(line, 6, 6);
    time.day = number(line, 12, 6);
    time.hour = number(line, 18, 6);
    time.minute = number(line, 24, 6);
    // The seconds are read as an integer: the fraction is dropped.
    time.seconds = number(line, 30, 13);
    textField(line, 48, 3, time.timeSystem);
}

}  // namespace

// A version of 3 or later is not the converter's to read, whatever the records look like.
HeaderResult HeaderProcessor::versionType(std::string_view line, std::string&) {
    record_.rinexVersion = realField(line, 0, 9);
    record_.fileType = line[20];
    record_.satelliteSystem = line[40];
    return record_.rinexVersion >= 3 && !lenient_ ? HeaderError : HeaderLine;
}

HeaderResult HeaderProcessor::programRunByDate(std::string_view line, std::string&) {
    textField(line, 0, 20, record_.programName);
    textField(line, 20, 20, record_.runBy);
    textField(line, 40, 20, record_.creationDate);
    return std::string_view(record_.runBy, 20) == kGsiAgency ? HeaderGsiData : HeaderLine;
}

// Four question marks mark a kinematic survey. Any other marker name marks a static survey: four
// letters or digits followed by blanks is a proper station identifier; anything else is repaired
// to the first four columns, each character that is not a letter or digit replaced by Z.
HeaderResult HeaderProcessor::markerName(std::string_view line, std::string& out) {
    markerNameSeen_ = true;
    textField(line, 0, 60, record_.markerName);
    const std::string_view name(record_.markerName, 60);
    if (name == kQuestionMarkMarker) return HeaderLine;

    char stationId[5] = {};
    bool valid = true;
    for (std::size_t i = 0; i < 4; ++i) {
        if (isAsciiLetterOrDigit(name[i])) {
            stationId[i] = name[i];
        } else {
            stationId[i] = 'Z';
            valid = false;
        }
    }
    if (valid && name.find_first_not_of(' ', 4) != std::string_view::npos) valid = false;

    if (valid) return HeaderStaticData;
    repairedStationId_.assign(stationId, 4);
    out.assign(stationId, 4);
    out.append(kMarkerNameTail);
    return HeaderStationIdFixed;
}

HeaderResult HeaderProcessor::markerNumber(std::string_view line, std::string&) {
    textField(line, 0, 20, record_.markerNumber);
    return HeaderLine;
}

HeaderResult HeaderProcessor::observerAgency(std::string_view line, std::string&) {
    textField(line, 0, 20, record_.observer);
    textField(line, 20, 40, record_.agency);
    return HeaderLine;
}

HeaderResult HeaderProcessor::receiver(std::string_view line, std::string&) {
    textField(line, 0, 20, record_.receiverNumber);
    textField(line, 20, 20, record_.receiverType);
    textField(line, 40, 20, record_.receiverVersion);
    return HeaderLine;
}

HeaderResult HeaderProcessor::antenna(std::string_view line, std::string&) {
    textField(line, 0, 20, record_.antennaNumber);
    textField(line, 20, 20, record_.antennaType);
    return HeaderLine;
}

HeaderResult HeaderProcessor::approxPosition(std::string_view line, std::string&) {
    for (int i = 0; i < 3; ++i) record_.approxPosition[i] = realField(line, 14 * i, 14);
    return HeaderLine;
}

HeaderResult HeaderProcessor::antennaDelta(std::string_view line, std::string&) {
    for (int i = 0; i < 3; ++i) record_.antennaDelta[i] = realField(line, 14 * i, 14);
    return HeaderLine;
}

HeaderResult HeaderProcessor::wavelengthFactors(std::string_view line, std::string&) {
    record_.wavelengthFactorL1 = integerField(line, 0, 6);
    record_.wavelengthFactorL2 = integerField(line, 6, 6);
    return HeaderLine;
}

HeaderResult HeaderProcessor::interval(std::string_view line, std::string&) {
    record_.interval = realField(line, 0, 10);
    return HeaderLine;
}

HeaderResult HeaderProcessor::timeOfFirstObs(std::string_view line, std::string&) {
    readTime(line, record_.firstObs, lenient_);
    return HeaderLine;
}

HeaderResult HeaderProcessor::timeOfLastObs(std::string_view line, std::string&) {
    readTime(line, record_.lastObs, lenient_);
    return HeaderLine;
}

HeaderResult HeaderProcessor::leapSeconds(std::string_view line, std::string&) {
    record_.leapSeconds = integerField(line, 0, 6);
    return HeaderLine;
}

HeaderResult HeaderProcessor::numberOfSatellites(std::string_view line, std::string&) {
    record_.numberOfSatellites = integerField(line, 0, 6);
    return HeaderLine;
}

}  // namespace ferrule::detail
