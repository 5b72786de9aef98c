#include "observation/observation_processor.h"

#include <algorithm>
#include <cassert>
#include <cstring>

#include "common/field.h"
#include "common/rinex.h"
#include "common/text.h"

namespace ferrule::detail {

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
//    event flag digit in column 28; a line that does ends the special records;
//  - a line with anything but blanks in columns 26-27 is no epoch record: where an epoch record
//    may come, it is kept as it stands and the processor waits for the next epoch record.
// Every completed line is returned with its code; what becomes of it is not decided here.

namespace {

// RINEX 2: 1 line for up to 5 types, 2 for 6 to 10, 3 for 11 to 15 (more only where a report
// reads on past the refusal of more than 15); RINEX 3 and 4: one line a satellite.
int observationLinesPerSatellite(int typeCount, bool rinex3) {
    assert(typeCount >= 0);
    return rinex3 || typeCount <= 5 ? 1 : (typeCount + 4) / 5;
}

bool hasEventFlagDigit(std::string_view line) {
    return line.size() > 28 && isDigit(line[28]);
}

// An epoch or event record has blanks in columns 26-27, the two before the event flag (or ends
// before them).
bool blankBeforeEventFlag(std::string_view line) {
    for (const std::size_t column : {std::size_t{26}, std::size_t{27}}) {
        if (column >= line.size() || line[column] == '\r' || line[column] == '\n') return true;
        if (line[column] != ' ') return false;
    }
    return true;
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

// Columns 32-79 of an epoch or satellite-list line padded to 80 columns: satellite identifiers
// (a system letter or a blank, then the number in two columns) from column 32, then blanks.
bool isPaddedSatelliteList(std::string_view line) {
    std::size_t column = 32;
    for (; column + 3 <= 68; column += 3) {
        const char system = line[column];
        const bool satellite = (system == ' ' || (system >= 'A' && system <= 'Z')) &&
                               (line[column + 1] == ' ' || isDigit(line[column + 1])) &&
                               isDigit(line[column + 2]);
        if (!satellite) break;
    }
    return column > 32 && line.find_first_not_of(' ', column) == 80;
}

// An 80-column record with a label in columns 60-79, where an epoch line may come. Columns
// 60-79 left blank, holding the receiver clock offset in 68-79, or holding the end of a list
// of ten or more satellites (a line padded to 80 columns) make it an epoch or satellite-list
// line instead.
bool isSpecialRecord(std::string_view line) {
    if (line.size() != kSpecialRecordBytes) return false;
    if (line.substr(60, 20).find_first_not_of(' ') == std::string_view::npos) return false;
    return !isDecimalNumber(line.substr(68, 12)) && !isPaddedSatelliteList(line);
}

}  // namespace

EpochTime readEpochTime(std::string_view line, bool rinex3) {
    if (rinex3) {
        // Zero-filled: decimal.
        return EpochTime{decimalField(line, 2, 4),  decimalField(line, 7, 2),
                         decimalField(line, 10, 2), decimalField(line, 13, 2),
                         decimalField(line, 16, 2), realField(line, 18, 11)};
    }
    return EpochTime{integerField(line, 1, 2),  integerField(line, 4, 2),  integerField(line, 7, 2),
                     integerField(line, 10, 2), integerField(line, 13, 2), realField(line, 15, 11)};
}

ObservationResult ObservationProcessor::processObservationChar(char ch, std::string& outLine) {
    std::size_t consumed = 0;
    ObservationLine line;
    const ObservationResult result = processObservationBytes({&ch, 1}, consumed, line);
    if (result != ObsNone && result != ObsAlreadyConverted) outLine.assign(line.text);
    return result;
}

ObservationResult ObservationProcessor::processObservationBytes(std::string_view bytes,
                                                                std::size_t& consumed,
                                                                ObservationLine& line) {
    if (lineTaken_) {
        partial_.clear();
        lineTaken_ = false;
    }
    const std::size_t lineFeed = bytes.find('\n');
    if (partial_.empty() && lineFeed != std::string_view::npos) {
        consumed = lineFeed + 1;
        line.text = bytes.substr(0, consumed);
        processObservationLine(line);
        return line.result;
    }
    // The line continues from an earlier block, or into a later one: its bytes are kept, up to
    // kLineHeadBytes.
    consumed = std::min(lineFeed == std::string_view::npos ? bytes.size() : lineFeed + 1,
                        kLineHeadBytes - partial_.size());
    partial_.append(bytes.substr(0, consumed));
    if (partial_.back() != '\n' && partial_.size() < kLineHeadBytes) return ObsNone;
    lineTaken_ = true;
    line.text = partial_;
    processObservationLine(line);
    return line.result;
}

void ObservationProcessor::processObservationLine(ObservationLine& line) {
    ++lines_;
    line.eventFlag = 0;
    line.satellites = 0;
    line.label = HeaderLabel::None;
    if (!sectionBegun_) rinex3_ = header_.rinexVersion >= 3;
    line.rinex3 = rinex3_;
    if (lineKind_ == ExpectObservations) return readObservationLine(line);
    readWhereEpochMayCome(line);
}

void ObservationProcessor::readWhereEpochMayCome(ObservationLine& line) {
    const std::string_view text = line.text;
    const bool firstLine = !sectionBegun_;
    sectionBegun_ = true;
    satelliteIndex_ = 0;
    if (rinex3_) return readWhereRinex3EpochMayCome(line, firstLine);

    line.record = Record::Special;
    line.result = ObsFullLine;
    line.eventFlag = eventFlag_;
    if (isSpecialRecord(text)) {
        if (specialRecordsPending_ > 0) --specialRecordsPending_;
        return;
    }
    if (specialRecordsPending_ > 0) {
        if (!hasEventFlagDigit(text)) {
            --specialRecordsPending_;
            return;
        }
        specialRecordsPending_ = 0;
    }
    line.eventFlag = 0;
    // Any other line where an epoch may come is out of step with the file's structure (a
    // satellite list longer than RINEX 2 allows, say, left an observation line here): it is kept
    // as it stands, and the next epoch record is looked for, not the rest of a satellite list.
    // Its digits are never read as an event flag.
    if (!blankBeforeEventFlag(text)) {
        listLinesPending_ = 0;
        line.record = Record::OutOfStep;
        line.result = ObsLine;
        return;
    }

    eventFlag_ = digitAt(text, 28);
    if (eventFlag_ != 0) return readEvent(line, eventFlag_, integerField(text, 29, 3), firstLine);

    if (listLinesPending_ > 0) return readSatelliteListContinuation(line);
    readRegularEpoch(line);
}

// An event record (flag 1 to 6; in the section's first line, a file converted before): flags 1
// and 6 carry satellites, the others special records.
void ObservationProcessor::readEvent(ObservationLine& line, int flag, std::int32_t count,
                                     bool firstLine) {
    line.record = Record::Event;
    line.eventFlag = flag;
    line.result = firstLine ? ObsAlreadyConverted : ObsEventEpoch;
    if (flag == 1 || flag == 6) {
        line.satellites = count;
        expectSatellites(count);
    } else {
        specialRecordsPending_ = std::max(0, count);
    }
}

// RINEX 3 and 4: an epoch or event record begins with ">" (its flag in column 31, its count in
// columns 32-34); each satellite's observations are one line; the special records of an event
// follow it, as many as it announces.
void ObservationProcessor::readWhereRinex3EpochMayCome(ObservationLine& line, bool firstLine) {
    const std::string_view text = line.text;
    if (!text.starts_with('>')) {
        line.eventFlag = eventFlag_;
        if (specialRecordsPending_ > 0) {
            --specialRecordsPending_;
            line.record = Record::Special;
            line.result = ObsFullLine;
            return;
        }
        line.record = Record::OutOfStep;
        line.result = ObsLine;
        return;
    }
    specialRecordsPending_ = 0;
    eventFlag_ = digitAt(text, 31);
    const std::int32_t count = decimalField(text, 32, 3);
    if (eventFlag_ != 0) return readEvent(line, eventFlag_, count, firstLine);
    const std::size_t timeBytes = std::min(text.size(), lastEpoch_.size());
    std::fill(std::copy_n(text.data(), timeBytes, lastEpoch_.begin()), lastEpoch_.end(), ' ');
    if (++regularEpochs_ == 1) firstEpoch_ = lastEpoch_;
    line.record = Record::Epoch;
    line.satellites = count;
    satelliteCount_ = count;
    observationLine_ = 0;
    listLinesPending_ = 0;
    lineKind_ = count > 0 ? ExpectObservations : ExpectEpoch;
    line.result = regularEpochs_ == 1   ? ObsFirstEpoch
                  : regularEpochs_ == 2 ? ObsSecondEpoch
                                        : ObsLine;
}

// A section that opens with something else (a special record, say) still has its first regular
// epoch line reported as the first one.
void ObservationProcessor::readRegularEpoch(ObservationLine& line) {
    const std::string_view text = line.text;
    const std::size_t timeBytes = std::min(text.size(), lastEpoch_.size());
    std::fill(std::copy_n(text.data(), timeBytes, lastEpoch_.begin()), lastEpoch_.end(), ' ');
    if (++regularEpochs_ == 1) firstEpoch_ = lastEpoch_;
    line.record = Record::Epoch;
    line.satellites = integerField(text, 29, 3);
    expectSatellites(line.satellites);
    line.result = regularEpochs_ == 1   ? ObsFirstEpoch
                  : regularEpochs_ == 2 ? ObsSecondEpoch
                                        : ObsLine;
}

void ObservationProcessor::expectSatellites(std::int32_t count) {
    satelliteCount_ = count;
    satelliteIndex_ = 0;
    observationLine_ = 0;
    if (count < 1) {
        listLinesPending_ = 0;
        lineKind_ = ExpectEpoch;
        return;
    }
    listLinesPending_ = (count - 1) / kSatellitesPerListLine;
    lineKind_ = listLinesPending_ > 0 ? ExpectEpoch : ExpectObservations;
}

void ObservationProcessor::readSatelliteListContinuation(ObservationLine& line) {
    line.record = Record::SatelliteList;
    line.result = ObsLine;
    if (--listLinesPending_ == 0) lineKind_ = ExpectObservations;
}

void ObservationProcessor::readObservationLine(ObservationLine& line) {
    line.record = Record::Observation;
    line.result = ObsDataLine;
    assert(satelliteIndex_ < satelliteCount_);
    if (++observationLine_ == observationLinesPerSatellite(header_.observationTypeCount, rinex3_)) {
        observationLine_ = 0;
        ++satelliteIndex_;
    }
    if (satelliteIndex_ >= satelliteCount_) lineKind_ = ExpectEpoch;
}

// While an epoch's observation lines are read, every line is the next one of the current
// satellite, whatever it holds, until the epoch's last satellite has had its lines.
std::int64_t ObservationProcessor::observationLinesToPass() const {
    // A RINEX 3 satellite line names its satellite: the survey reads each of them.
    if (lineKind_ != ExpectObservations || !unfinishedLine().empty() || rinex3_) return 0;
    assert(satelliteIndex_ < satelliteCount_);
    const int linesPerSatellite = observationLinesPerSatellite(header_.observationTypeCount, false);
    return (std::int64_t{satelliteCount_} - satelliteIndex_) * linesPerSatellite - observationLine_;
}

void ObservationProcessor::passObservationLines(std::int64_t count) {
    assert(count > 0 && count <= observationLinesToPass());
    const int linesPerSatellite = observationLinesPerSatellite(header_.observationTypeCount, false);
    lines_ += count;
    const std::int64_t lines = observationLine_ + count;
    satelliteIndex_ += static_cast<std::int32_t>(lines / linesPerSatellite);
    observationLine_ = static_cast<std::int32_t>(lines % linesPerSatellite);
    if (satelliteIndex_ >= satelliteCount_) lineKind_ = ExpectEpoch;
}

}  // namespace ferrule::detail
