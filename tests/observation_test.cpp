// The observation processor: what kind of record each line is, and the epoch it decodes.
#include <gtest/gtest.h>

#include "observation/observation_processor.h"
#include "tests/support/test_support.h"

namespace ferrule {
namespace {

using test::record;

struct Line {
    std::string text;
    ObservationResult result;
};
using Lines = std::vector<Line>;

std::string satellites(int from, int count) {
    std::string list;
    for (int i = from; i < from + count; ++i) {
        char id[8];
        std::snprintf(id, sizeof id, "G%02d", i % 100);
        list += id;
    }
    return list;
}

std::string epochLine(int count, char flag = '0', int second = 0) {
    char head[40];
    std::snprintf(head, sizeof head, " 19  5 25  3 12 %2d.0000000  %c%3d", second, flag, count);
    return head + satellites(1, std::min(count, 12)) + "\r\n";
}

// A full observation line (five values) is 82 bytes long; the last line of a satellite is shorter.
std::string observationLine(int values) {
    std::string line;
    for (int i = 0; i < values; ++i) line += "  21432567.123 8";
    return line + "\r\n";
}

// An epoch as RINEX 2 lays it out: epoch line, list continuations, the satellites' lines.
Lines epoch(int count, int types, ObservationResult epochResult, int second = 0) {
    Lines lines{{epochLine(count, '0', second), epochResult}};
    for (int from = 12; from < count; from += 12) {
        lines.push_back(
            {std::string(32, ' ') + satellites(from + 1, std::min(12, count - from)) + "\r\n",
             ObsLine});
    }
    for (int s = 0; s < count; ++s) {
        for (int left = types; left > 0 || (types == 0 && left == 0); left -= 5) {
            lines.push_back({observationLine(std::min(left, 5)), ObsDataLine});
            if (types == 0) break;
        }
    }
    return lines;
}

Lines operator+(Lines a, const Lines& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

HeaderRecord headerWithTypes(int count) {
    HeaderRecord header{};
    header.observationTypeCount = count;
    return header;
}

void expectResults(int types, const Lines& lines, bool byByte = true) {
    const HeaderRecord header = headerWithTypes(types);
    ObservationProcessor processor(header);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "line " << i << ": " << lines[i].text);
        if (byByte) {
            std::string out = "untouched";
            ObservationResult result = ObsNone;
            for (const char ch : lines[i].text) result = processor.processObservationChar(ch, out);
            ASSERT_EQ(result, lines[i].result);
            EXPECT_EQ(out, result == ObsAlreadyConverted ? "untouched" : lines[i].text);
        } else {
            ASSERT_EQ(processor.processObservationLine(lines[i].text), lines[i].result);
        }
    }
}

// Every satellite count and type count gives its number of list and observation lines; the next
// regular epoch line is then recognised as the second epoch.
TEST(EpochStructure, SatelliteAndTypeCountsGiveTheLinesOfAnEpoch) {
    for (const int count : {1, 12, 13, 24, 25, 36}) {
        for (const int types : {0, 5, 6, 10, 11, 15}) {
            SCOPED_TRACE(testing::Message() << count << " satellites, " << types << " types");
            expectResults(types, epoch(count, types, ObsFirstEpoch) +
                                     epoch(count, types, ObsSecondEpoch) +
                                     epoch(3, types, ObsLine));
        }
    }
}

TEST(EpochStructure, SixteenTypesNeverEndTheFirstSatellite) {
    const HeaderRecord header = headerWithTypes(16);
    ObservationProcessor processor(header);
    EXPECT_EQ(processor.processObservationLine(epochLine(2)), ObsFirstEpoch);
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(processor.processObservationLine(epochLine(2, '2')), ObsDataLine);
        EXPECT_EQ(processor.satelliteIndex(), 0);
    }
}

const std::string kSpecial = record("   EXAMPLE COMMENT", "COMMENT");
const std::string kBlankEvent4 = std::string(28, ' ') + "4  1\r\n";

TEST(EpochStructure, TransitionsOfTheLineKinds) {
    const std::string flag2 = epochLine(0, '2').substr(0, 29) + "\r\n";
    const struct {
        std::string name;
        int types;
        Lines lines;
    } cases[] = {
        {"EventAsFirstLineIsAlreadyConverted", 5, {{flag2, ObsAlreadyConverted}}},
        {"SpecialRecordsAfterEvents", 5,
         epoch(2, 5, ObsFirstEpoch) +
             Lines{{flag2, ObsEventEpoch}, {kBlankEvent4, ObsEventEpoch}, {kSpecial, ObsFullLine}} +
             epoch(2, 5, ObsSecondEpoch)},
        {"SpecialRecordWhileTheListContinues", 5,
         Lines{{epochLine(14), ObsFirstEpoch}, {kSpecial, ObsFullLine}} +
             Lines{{std::string(32, ' ') + "R01R02\r\n", ObsLine}} +
             Lines(14, {observationLine(5), ObsDataLine}) + epoch(1, 5, ObsSecondEpoch)},
        {"EventWhileTheListContinues", 5,
         Lines{{epochLine(14), ObsFirstEpoch}, {flag2, ObsEventEpoch}} +
             Lines{{std::string(32, ' ') + "R01R02\r\n", ObsLine}} +
             Lines(14, {observationLine(5), ObsDataLine})},
        {"FullObservationLineIsData", 5,
         Lines{{epochLine(1), ObsFirstEpoch}, {kSpecial, ObsDataLine}}},
        {"DigitInColumn28OfDataIsData", 6,
         Lines{{epochLine(1), ObsFirstEpoch},
               {flag2, ObsDataLine},
               {flag2, ObsDataLine},
               {flag2, ObsEventEpoch}}},
        {"BlankOrLetterFlagIsRegular", 5,
         Lines{{epochLine(1, ' '), ObsFirstEpoch},
               {observationLine(5), ObsDataLine},
               {epochLine(1, 'x'), ObsSecondEpoch},
               {observationLine(5), ObsDataLine}}},
        {"SectionOpeningWithASpecialRecord", 5,
         Lines{{kSpecial, ObsFullLine}} + epoch(2, 5, ObsFirstEpoch) + epoch(2, 5, ObsSecondEpoch)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        expectResults(c.types, c.lines);
        expectResults(c.types, c.lines, false);
    }
}

// Lines out of step with the epoch structure are followed as RINEX 2 lays them out.
TEST(EpochStructure, FallsBackIntoStep) {
    const std::string flag1 = epochLine(2, '1');
    const std::string clockOffset =
        epochLine(2).substr(0, 38) + std::string(30, ' ') + "-0.123456789\r\n";
    const std::string shortClockOffset = epochLine(14).substr(0, 68) + "    -0.12345\r\n";
    std::string padded = std::string(32, ' ') + "R01R02";
    padded.resize(80, ' ');
    padded += "\r\n";
    ASSERT_EQ(clockOffset.size(), 82u);
    ASSERT_EQ(shortClockOffset.size(), 82u);
    const struct {
        std::string name;
        int types;
        Lines lines;
    } cases[] = {
        {"NoSatellites", 5, Lines{{epochLine(0), ObsFirstEpoch}} + epoch(1, 5, ObsSecondEpoch)},
        {"NegativeCount", 5,
         Lines{{epochLine(-5).replace(29, 3, " -5"), ObsFirstEpoch}} + epoch(1, 5, ObsSecondEpoch)},
        {"FortySatellites", 5, epoch(40, 5, ObsFirstEpoch) + epoch(2, 5, ObsSecondEpoch)},
        {"NineHundredNinetyNineSatellites", 1,
         epoch(999, 1, ObsFirstEpoch) + epoch(2, 1, ObsSecondEpoch)},
        {"PowerFailureEpochCarriesData", 6,
         epoch(1, 6, ObsFirstEpoch) +
             Lines{{flag1, ObsEventEpoch},
                   {observationLine(5), ObsDataLine},
                   {epochLine(0, '4').substr(0, 16) + std::string(12, '9') + "4\r\n", ObsDataLine},
                   {observationLine(5), ObsDataLine},
                   {observationLine(1), ObsDataLine}} +
             epoch(1, 6, ObsSecondEpoch)},
        {"ClockOffsetEpochLine", 5,
         Lines{{clockOffset, ObsFirstEpoch},
               {observationLine(5), ObsDataLine},
               {observationLine(5), ObsDataLine}} +
             epoch(1, 5, ObsSecondEpoch)},
        {"ClockOffsetWithFewerDecimalsAndPaddedContinuation", 5,
         Lines{{shortClockOffset, ObsFirstEpoch}, {padded, ObsLine}} +
             Lines(14, {observationLine(5), ObsDataLine}) + epoch(1, 5, ObsSecondEpoch)},
        {"ShortSpecialRecords", 5,
         epoch(1, 5, ObsFirstEpoch) +
             Lines{{epochLine(0, '3').substr(0, 29) + "  2\r\n", ObsEventEpoch},
                   {"P001 with a 3 somewhere\r\n", ObsFullLine},
                   {"   SHORT COMMENT    4  1  7  11\r\n", ObsFullLine}} +
             epoch(1, 5, ObsSecondEpoch)},
        {"EpochLineEndsAnnouncedSpecialRecords", 5,
         epoch(1, 5, ObsFirstEpoch) +
             Lines{{epochLine(0, '4').substr(0, 29) + "  3\r\n", ObsEventEpoch}} +
             epoch(1, 5, ObsSecondEpoch)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        expectResults(c.types, c.lines);
    }
}

TEST(EpochStructure, SatelliteIndexNeverPassesTheCount) {
    const HeaderRecord header = headerWithTypes(5);
    ObservationProcessor processor(header);
    for (const auto& line : epoch(999, 5, ObsFirstEpoch)) {
        processor.processObservationLine(line.text);
        ASSERT_LE(processor.satelliteIndex(), processor.epoch().satelliteCount);
    }
    EXPECT_EQ(processor.lineKind(), ExpectEpoch);
}

TEST(EpochStructure, LinesWithNulBytesAreOrdinaryLines) {
    const HeaderRecord header = headerWithTypes(5);
    ObservationProcessor processor(header);
    std::string line = epochLine(1);
    line[28] = '\0';  // reads as flag 0
    std::string out;
    ObservationResult result = ObsNone;
    for (const char ch : line) result = processor.processObservationChar(ch, out);
    EXPECT_EQ(result, ObsFirstEpoch);
    EXPECT_EQ(out, line);
    std::string special = kSpecial;
    special[5] = '\0';
    std::string data = observationLine(5);
    data[3] = '\0';
    EXPECT_EQ(processor.processObservationLine(data), ObsDataLine);
    EXPECT_EQ(processor.processObservationLine(special), ObsFullLine);  // still 82 bytes
}

// The epoch of the fourteen-satellite example, seven types.
TEST(EpochDecoding, DecodesTheEpochLineAndItsContinuation) {
    const HeaderRecord header = headerWithTypes(7);
    ObservationProcessor processor(header);
    const std::string first =
        " 19  5 25  3 12 30.0000000  0 14G01G03G06G07G09G11G14G17G19G22G23G28\r\n";
    ASSERT_EQ(first.size(), 70u);
    EXPECT_EQ(processor.processObservationLine(first), ObsFirstEpoch);
    EXPECT_EQ(processor.processObservationLine(std::string(32, ' ') + "R01R02\r\n"), ObsLine);
    const EpochState& epoch = processor.epoch();
    EXPECT_EQ(epoch.year, 19);
    EXPECT_EQ(epoch.month, 5);
    EXPECT_EQ(epoch.day, 25);
    EXPECT_EQ(epoch.hour, 3);
    EXPECT_EQ(epoch.minute, 12);
    EXPECT_DOUBLE_EQ(epoch.seconds, 30.0);
    EXPECT_EQ(epoch.eventFlag, 0);
    EXPECT_EQ(epoch.satelliteCount, 14);
    EXPECT_STREQ(epoch.satellites[0], "G01");
    EXPECT_STREQ(epoch.satellites[11], "G28");
    EXPECT_STREQ(epoch.satellites[12], "R01");
    EXPECT_STREQ(epoch.satellites[13], "R02");
    EXPECT_STREQ(epoch.satellites[14], "\r\n");
    EXPECT_STREQ(epoch.satellites[15], "");
    EXPECT_EQ(processor.lineKind(), ExpectObservations);
}

TEST(EpochDecoding, ObservationValuesWhenAskedFor) {
    const HeaderRecord header = headerWithTypes(7);
    ObservationProcessor processor(header, /*decodeObservations=*/true);
    processor.processObservationLine(epochLine(1));
    processor.processObservationLine(
        "  21432567.12318  21432568.125 7  21432569.250 6  21432570.500 5  21432571.75014\r\n");
    EXPECT_EQ(processor.epoch().lossOfLock[0], 1);
    processor.processObservationLine("  21000001.000 6  21000002.000  \r\n");
    const EpochState& epoch = processor.epoch();
    EXPECT_DOUBLE_EQ(epoch.observations[0][0], 21432567.123);
    EXPECT_DOUBLE_EQ(epoch.observations[0][4], 21432571.75);
    EXPECT_DOUBLE_EQ(epoch.observations[0][5], 21000001.0);
    EXPECT_DOUBLE_EQ(epoch.observations[0][6], 21000002.0);
    EXPECT_DOUBLE_EQ(epoch.observations[0][7], 0.0);  // past the end of the line
    // The third field of the second line is empty, past the end of the line: it stores 0.
    EXPECT_EQ(epoch.lossOfLock[0], 0);
    EXPECT_EQ(epoch.signalStrength[0], 0);
    EXPECT_EQ(processor.satelliteIndex(), 1);
}

TEST(EpochDecoding, ABlankDigitFieldKeepsTheStoredDigit) {
    const HeaderRecord header = headerWithTypes(2);
    ObservationProcessor processor(header, true);
    processor.processObservationLine(epochLine(1));
    processor.processObservationLine("  21432567.12318  21432568.125  " + std::string(16 * 3, ' ') +
                                     "\r\n");
    EXPECT_EQ(processor.epoch().lossOfLock[0], 1);
    EXPECT_EQ(processor.epoch().signalStrength[0], 8);
}

}  // namespace
}  // namespace ferrule
