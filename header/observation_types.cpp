// The observation types of the file (# / TYPES OF OBSERV), which may continue on a second line
// with the same label.
#include <algorithm>
#include <cstring>

#include "common/field.h"
#include "common/text.h"
#include "header/header_processor.h"

namespace ferrule::detail {

namespace {

// The recognised observation codes.
constexpr std::string_view kObservationCodes[kMaxObservationTypes] = {
    "L1", "L2", "L5", "C1", "C2", "C5", "D1", "D2", "D5", "S1", "S2", "S5", "P1", "P2", "P5",
};

bool isObservationCode(std::string_view code) {
    return std::find(std::begin(kObservationCodes), std::end(kObservationCodes), code) !=
           std::end(kObservationCodes);
}

constexpr int kTypesPerLine = 9;

}  // namespace

// The first line declares the count in columns 0-5 and holds up to nine two-letter codes at
// columns 10, 16, ... 58; a list of more than nine continues on one more line with this label.
// A code that is not recognised leaves its slot as it was: positions are never closed up.
// Read on past a refusal, any count is taken (the first 15 types get their slots) and a list
// continues over as many lines as it needs.
HeaderResult HeaderProcessor::readObservationTypes(std::string_view line) {
    int firstType = 0;
    int lastType = 0;  // exclusive
    if (typesContinuationPending_) {
        firstType = record_.observationTypeCount - typesPending_;
        lastType = std::min(record_.observationTypeCount, firstType + kTypesPerLine);
        typesPending_ = record_.observationTypeCount - lastType;
        typesContinuationPending_ = lenient_ && typesPending_ > 0;
    } else if (lenient_) {
        const std::int32_t count = std::max(0, integerField(line, 0, 6));
        record_.observationTypeCount = count;
        lastType = std::min(count, kTypesPerLine);
        typesPending_ = count - lastType;
        typesContinuationPending_ = typesPending_ > 0;
    } else {
        const std::int32_t count = integerField(line, 0, 6);
        if (count < 0 || count > kMaxObservationTypes) {
            // No epoch can hold more types than the observation record has slots.
            handlerReason_ = {
                count < 0 ? HeaderFault::Reason::NegativeTypes : HeaderFault::Reason::TooManyTypes,
                count};
            return HeaderError;
        }
        record_.observationTypeCount = count;
        lastType = std::min(count, kTypesPerLine);
        typesPending_ = count - lastType;
        typesContinuationPending_ = count > kTypesPerLine;
    }

    for (int type = firstType; type < std::min(lastType, kMaxObservationTypes); ++type) {
        const std::size_t column = 10 + 6 * static_cast<std::size_t>(type - firstType);
        const std::string_view code = line.substr(column, 2);
        if (isObservationCode(code)) {
            std::memcpy(record_.observationTypes[type], code.data(), 2);
            record_.observationTypes[type][2] = '\0';
        }
    }
    return HeaderLine;
}

HeaderResult HeaderProcessor::typesOfObservations(std::string_view line, std::string&) {
    return readObservationTypes(line);
}

HeaderLabel HeaderProcessor::readRecordAfterEvent(std::string_view record, bool& refused) {
    refused = false;
    const HeaderLabel label = labelOf(record);
    if (label != HeaderLabel::TypesOfObservations) return label;
    // The types are read from their columns, blanks where the record was cut short.
    std::string whole(withoutLineEnd(record));
    whole.resize(80, ' ');
    handlerReason_.reset();
    if (readObservationTypes(whole) != HeaderLine) {
        // The caller knows where in the file the record stands.
        describeFault(record);
        refused = true;
    }
    return label;
}

}  // namespace ferrule::detail
