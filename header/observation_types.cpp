// The observation types of the file (# / TYPES OF OBSERV) and the per-satellite observation
// counts (PRN / # OF OBS). Both records may continue on a second line with the same label.
#include <algorithm>
#include <cstring>

#include "common/field.h"
#include "header/header_processor.h"

namespace ferrule {

namespace {

// The recognised observation codes, searched in this order, and where each one's count is kept
// in SatelliteObsCounts.
struct ObservationCode {
    std::string_view code;
    int countPosition;
};
constexpr ObservationCode kObservationCodes[kMaxObservationTypes] = {
    {"L1", 0},  {"L2", 1},  {"L5", 2},  {"C1", 3},  {"C2", 4}, {"C5", 5}, {"D1", 9}, {"D2", 10},
    {"D5", 11}, {"S1", 12}, {"S2", 13}, {"S5", 14}, {"P1", 6}, {"P2", 7}, {"P5", 8},
};

const ObservationCode* findCode(std::string_view code) {
    for (const ObservationCode& candidate : kObservationCodes) {
        if (candidate.code == code) return &candidate;
    }
    return nullptr;
}

constexpr int kTypesPerLine = 9;

}  // namespace

// The first line declares the count in columns 0-5 and holds up to nine two-letter codes at
// columns 10, 16, ... 58; a list of more than nine continues on one more line with this label.
// A code that is not recognised leaves its slot as it was: positions are never closed up.
HeaderResult HeaderProcessor::typesOfObservations(std::string_view line, std::string& out) {
    int firstType = 0;
    int lastType = 0;  // exclusive
    if (typesContinuationPending_) {
        typesContinuationPending_ = false;
        firstType = kTypesPerLine;
        lastType = record_.observationTypeCount;
    } else {
        const std::int32_t count = integerField(line, 0, 6);
        if (count < 0 || count > kMaxObservationTypes) {
            // No epoch can hold more types than the observation record has slots.
            out.assign(line);
            return HeaderError;
        }
        record_.observationTypeCount = count;
        lastType = std::min(count, kTypesPerLine);
        typesContinuationPending_ = count > kTypesPerLine;
    }

    for (int type = firstType; type < lastType; ++type) {
        const int column = 10 + 6 * (type - firstType);
        if (const ObservationCode* code = findCode(line.substr(column, 2))) {
            std::memcpy(record_.observationTypes[type], code->code.data(), 2);
            record_.observationTypes[type][2] = '\0';
        }
    }
    out.assign(line);
    return HeaderLine;
}

HeaderResult HeaderProcessor::takeObservationTypesChange(std::string_view record) {
    const bool typesRecord = record.size() >= 80 && record.substr(60, 20) == "# / TYPES OF OBSERV ";
    if (!typesRecord) return HeaderNone;
    std::string unused;
    return typesOfObservations(record, unused);
}

// One satellite's record: system letter in column 3, number in columns 4-5, then a count of six
// columns per observation type from column 6; with ten or more types the counts of types 9 on
// stand on a second line. Counts are kept only for types whose slot holds a recognised code.
HeaderResult HeaderProcessor::observationsPerSatellite(std::string_view line, std::string& out) {
    const int typeCount = record_.observationTypeCount;
    const bool tableFull = satelliteEntryIndex_ >= kSatelliteTableSize;
    SatelliteObsCounts* entry =
        tableFull ? nullptr : &record_.satelliteObsTable[satelliteEntryIndex_];

    int firstType = 0;
    int lastType = 0;  // exclusive
    if (prnContinuationPending_) {
        firstType = kTypesPerLine;
        lastType = typeCount;
    } else {
        if (entry != nullptr) {
            entry->systemLetter[0] = line[3];
            entry->systemLetter[1] = '\0';
            entry->prn = integerField(line, 4, 2);
        }
        lastType = std::min(typeCount, kTypesPerLine);
    }

    for (int type = firstType; entry != nullptr && type < lastType; ++type) {
        const ObservationCode* code = findCode(std::string_view(record_.observationTypes[type]));
        if (code != nullptr) {
            entry->counts[code->countPosition] = integerField(line, 6 + 6 * (type - firstType), 6);
        }
    }

    // A satellite beyond the table's hundred entries is not kept; its record still passes.
    if (!prnContinuationPending_ && typeCount > kTypesPerLine) {
        prnContinuationPending_ = true;
    } else {
        prnContinuationPending_ = false;
        if (!tableFull) ++satelliteEntryIndex_;
    }
    out.assign(line);
    return HeaderLine;
}

}  // namespace ferrule
