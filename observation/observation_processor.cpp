#include "observation/observation_processor.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "common/field.h"

namespace ferrule {

// How the processor stays in step with the file.
//
// An epoch is an epoch line, its satellite-list continuation lines (12 satellites a line) and
// then, per satellite, 1 observation line for up to 5 types, 2 for 6 to 10 and 3 for 11 to 15.
// An event epoch (non-zero flag in column 28) is followed by special records, which are
// header-type records of exactly 82 bytes. Where the file strays from that, the processor keeps
// to what RINEX 2 says the lines are, and never lets satelliteIndex pass satelliteCount:
//  - an epoch line announcing fewer than 1 satellite has no lines of its own after it;
//  - an epoch line announcing more than 36 satellites is followed by as many continuation lines
//    as its count needs; only the first entries of the tables are kept;
//  - flag 1 (power failure) and flag 6 (cycle slip records) epochs carry a satellite list and
//    observation lines like a regular epoch, and are followed through them;
//  - an 82-byte line is a special record only when it is one: a header-type record has its label
//    in columns 60-79. An epoch line with a receiver clock offset in columns 68-79, and an epoch
//    or continuation line padded with blanks to 80 columns, are read as the lines they are;
//  - a special record that is not 82 bytes long (trailing blanks dropped, say) is still a special
//    record while the event epoch's announced records are outstanding, as long as it holds no
//    event flag digit in column 28; a line that does ends the special records.
// Every line is returned with a code that writes it, except ObsAlreadyConverted.

namespace {

constexpr int kSatellitesPerListLine = 12;
constexpr int kValuesPerObservationLine = 5;

int observationLinesPerSatellite(int typeCount) {
    if (typeCount <= 5) return 1;
    if (typeCount <= 10) return 2;
    if (typeCount <= 15) return 3;
    return 0;  // the satellite's lines never end
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool hasEventFlagDigit(std::string_view line) {
    return line.size() > 28 && isDigit(line[28]);
}

// Blanks, an optional sign, and digits with one decimal point: a receiver clock offset.
bool isDecimalNumber(std::string_view field) {
    std::size_t at = field.find_first_not_of(' ');
    if (at == std::string_view::npos) return false;
    if (field[at] == '-' || field[at] == '+') ++at;
    bool digits = false;
    bool point = false;
    for (; at < field.size(); ++at) {
        if (isDigit(field[at])) {
            digits = true;
        } else if (field[at] == '.' && !point) {
            point = true;
        } else {
            return false;
        }
    }
    return digits && point;
}

// An 80-column record with a label in columns 60-79, where an epoch line may come. Columns
// 60-79 left blank (a line padded to 80 columns) or holding the receiver clock offset in 68-79
// make it an epoch or satellite-list line instead.
bool isSpecialRecord(std::string_view line) {
    if (line.size() != kSpecialRecordBytes) return false;
    if (line.substr(60, 20).find_first_not_of(' ') == std::string_view::npos) return false;
    return !isDecimalNumber(line.substr(68, 12));
}

// Satellite k of a satellite-list line, the 3 columns from 32 + 3k, cut as textField cuts them.
// Every epoch copies a dozen or more, so a field that lies wholly on the line is copied here
// directly.
void cutSatellite(std::string_view line, int k, char (&entry)[4]) {
    const std::size_t column = 32 + 3 * static_cast<std::size_t>(k);
    if (column + 3 <= line.size()) {
        std::memcpy(entry, line.data() + column, 3);
        entry[3] = '\0';
    } else {
        textField(line, static_cast<int>(column), 3, entry);
    }
}

}  // namespace

ObservationProcessor::ObservationProcessor(const HeaderRecord& header, bool decodeObservations)
    : header_(header), decodeObservations_(decodeObservations) {}

ObservationResult ObservationProcessor::processObservationChar(char ch, std::string& outLine) {
    lineBuffer_.push_back(ch);
    if (ch != '\n') return ObsNone;
    const ObservationResult result = processObservationLine(lineBuffer_);
    if (result != ObsAlreadyConverted) outLine = lineBuffer_;
    lineBuffer_.clear();
    return result;
}

ObservationResult ObservationProcessor::processObservationLine(std::string_view line) {
    const bool firstLine = lineIndex_ == 0;
    ++lineIndex_;
    if (lineKind_ == ExpectObservations) return readObservationLine(line);
    return readWhereEpochMayCome(line, firstLine);
}

ObservationResult ObservationProcessor::readWhereEpochMayCome(std::string_view line,
                                                              bool firstLine) {
    satelliteIndex_ = 0;

    if (isSpecialRecord(line)) {
        if (specialRecordsPending_ > 0) --specialRecordsPending_;
        return ObsFullLine;
    }
    if (specialRecordsPending_ > 0) {
        if (!hasEventFlagDigit(line)) {
            --specialRecordsPending_;
            return ObsFullLine;
        }
        specialRecordsPending_ = 0;
    }

    const int eventFlag = digitAt(line, 28);
    lastEventFlag_ = eventFlag;
    if (eventFlag != 0) {
        if (firstLine) return ObsAlreadyConverted;
        if (eventFlag == 1 || eventFlag == 6) {
            expectSatellites(integerField(line, 29, 3));
        } else {
            specialRecordsPending_ = std::max(0, integerField(line, 29, 3));
        }
        return ObsEventEpoch;
    }

    if (listLinesPending_ > 0) return readSatelliteListContinuation(line);
    return readRegularEpoch(line);
}

ObservationResult ObservationProcessor::readRegularEpoch(std::string_view line) {
    epoch_.year = integerField(line, 1, 2);
    epoch_.month = integerField(line, 4, 2);
    epoch_.day = integerField(line, 7, 2);
    epoch_.hour = integerField(line, 10, 2);
    epoch_.minute = integerField(line, 13, 2);
    epoch_.seconds = realField(line, 15, 11);
    epoch_.eventFlag = integerField(line, 28, 1);
    for (int k = 0; k < kSatellitesPerListLine; ++k) cutSatellite(line, k, epoch_.satellites[k]);
    expectSatellites(integerField(line, 29, 3));

    // A section that opens with something else (a special record, say) still has its first
    // regular epoch line reported as the first one.
    if (!firstEpochSeen_) {
        firstEpochSeen_ = true;
        secondEpochSeen_ = false;
        return ObsFirstEpoch;
    }
    if (!secondEpochSeen_) {
        secondEpochSeen_ = true;
        return ObsSecondEpoch;
    }
    return ObsLine;
}

void ObservationProcessor::expectSatellites(std::int32_t count) {
    epoch_.satelliteCount = count;
    satelliteIndex_ = 0;
    observationLine_ = 0;
    listLinesRead_ = 0;
    if (count < 1) {
        listLinesPending_ = 0;
        lineKind_ = ExpectEpoch;
        return;
    }
    listLinesPending_ = (count - 1) / kSatellitesPerListLine;
    lineKind_ = listLinesPending_ > 0 ? ExpectEpoch : ExpectObservations;
}

ObservationResult ObservationProcessor::readSatelliteListContinuation(std::string_view line) {
    ++listLinesRead_;
    const int firstEntry = kSatellitesPerListLine * listLinesRead_;
    for (int k = 0; k < kSatellitesPerListLine && firstEntry + k < kSatelliteTableSize; ++k) {
        cutSatellite(line, k, epoch_.satellites[firstEntry + k]);
    }
    if (--listLinesPending_ == 0) lineKind_ = ExpectObservations;
    return ObsLine;
}

ObservationResult ObservationProcessor::readObservationLine(std::string_view line) {
    if (decodeObservations_) decodeObservationLine(line);

    const int linesPerSatellite = observationLinesPerSatellite(header_.observationTypeCount);
    if (linesPerSatellite != 0 && ++observationLine_ == linesPerSatellite) {
        observationLine_ = 0;
        ++satelliteIndex_;
    }
    if (satelliteIndex_ >= epoch_.satelliteCount) lineKind_ = ExpectEpoch;
    return ObsDataLine;
}

// While an epoch's observation lines are read, every line is the next one of the current
// satellite, whatever it holds, until the epoch's last satellite has had its lines.
std::int64_t ObservationProcessor::observationLinesToPass() const {
    if (lineKind_ != ExpectObservations || decodeObservations_) return 0;
    const int linesPerSatellite = observationLinesPerSatellite(header_.observationTypeCount);
    if (linesPerSatellite == 0) return std::numeric_limits<std::int64_t>::max();
    return (std::int64_t{epoch_.satelliteCount} - satelliteIndex_) * linesPerSatellite -
           observationLine_;
}

void ObservationProcessor::passObservationLines(std::int64_t count) {
    lineIndex_ += count;
    const int linesPerSatellite = observationLinesPerSatellite(header_.observationTypeCount);
    if (linesPerSatellite != 0) {
        const std::int64_t lines = observationLine_ + count;
        satelliteIndex_ += static_cast<std::int32_t>(lines / linesPerSatellite);
        observationLine_ = static_cast<std::int32_t>(lines % linesPerSatellite);
    }
    if (satelliteIndex_ >= epoch_.satelliteCount) lineKind_ = ExpectEpoch;
}

// Five fields of 16 columns whatever the type count: a value (F14.3), its loss-of-lock digit and
// its signal-strength digit. A digit field holding a single blank leaves the stored digit as it
// was; any other content, an empty field past the end of the line included, is read and stored.
void ObservationProcessor::decodeObservationLine(std::string_view line) {
    if (satelliteIndex_ >= kSatelliteTableSize) return;
    const int firstSlot = kValuesPerObservationLine * observationLine_;
    for (int k = 0; k < kValuesPerObservationLine; ++k) {
        const int column = 16 * k;
        epoch_.observations[satelliteIndex_][firstSlot + k] = realField(line, column, 14);
        const auto isSingleBlank = [&](int c) {
            return static_cast<std::size_t>(c) < line.size() && line[c] == ' ';
        };
        if (!isSingleBlank(column + 14)) {
            epoch_.lossOfLock[satelliteIndex_] = integerField(line, column + 14, 1);
        }
        if (!isSingleBlank(column + 15)) {
            epoch_.signalStrength[satelliteIndex_] = integerField(line, column + 15, 1);
        }
    }
}

}  // namespace ferrule
