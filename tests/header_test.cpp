// The header processor: the 82-byte line rule, the label table, and the record handlers.
#include <gtest/gtest.h>

#include "header/header_processor.h"
#include "tests/support/test_support.h"

namespace ferrule {
namespace {

using test::record;

// Feeds text byte by byte; returns the result of the last line feed (or of the byte that ended it).
struct Fed {
    HeaderResult result = HeaderNone;
    std::string out;
};

Fed feed(HeaderProcessor& processor, std::string_view text) {
    Fed fed;
    for (const char ch : text) {
        fed.result = processor.processHeaderChar(ch, fed.out);
        if (fed.result == HeaderError) break;
    }
    return fed;
}

TEST(HeaderLines, AByteOtherThanLineFeedCompletesNothing) {
    HeaderProcessor processor;
    std::string out = "untouched";
    for (const char ch : std::string_view("     2.11  \r")) {
        EXPECT_EQ(processor.processHeaderChar(ch, out), HeaderNone);
    }
    EXPECT_EQ(out, "untouched");
}

TEST(HeaderLines, AWellFormedLineIsWrittenUnchanged) {
    HeaderProcessor processor;
    const std::string line =
        record("     2.11           OBSERVATION DATA    G (GPS)", "RINEX VERSION / TYPE");
    const Fed fed = feed(processor, line);
    EXPECT_EQ(fed.result, HeaderLine);
    EXPECT_EQ(fed.out, line);
    EXPECT_DOUBLE_EQ(processor.record().rinexVersion, 2.11);
    EXPECT_EQ(processor.record().fileType, 'O');
    EXPECT_EQ(processor.record().satelliteSystem, 'G');
}

struct LayoutCase {
    std::string name;
    std::string header;
    HeaderResult last;
    std::string out;
};

std::vector<LayoutCase> layoutCases() {
    const std::string comment = record("A COMMENT", "COMMENT");
    const std::string end = record("", "END OF HEADER");
    std::string longComment = comment;
    longComment.insert(79, " ");  // 81 characters, the label still at columns 60-79
    std::string lfOnly = comment;
    lfOnly.erase(80, 1);
    std::string shortLine = comment;
    shortLine.erase(70, 10);  // trailing blanks dropped
    std::string lowerCase = record("A COMMENT", "comment");
    std::string trailing = record("A COMMENT", "COMMENT     x");
    return {
        {"OnlyCommentsAndEnd", comment + comment + end, HeaderEnd, end},
        {"LfOnlyLineEnd", lfOnly, HeaderError, ""},
        {"TrailingBlanksDropped", shortLine, HeaderError, ""},
        {"LowerCaseLabel", lowerCase, HeaderError, lowerCase},
        {"TextAfterLabel", trailing, HeaderError, trailing},
        {"UnknownLabel", record("     0", "RCV CLOCK OFFS APPL"), HeaderError,
         record("     0", "RCV CLOCK OFFS APPL")},
        // The over-long line is classified and taken whole; the next one starts at byte 82, on
        // the previous line feed, and is off its columns.
        {"LongLineIsTakenWhole", longComment, HeaderLine, longComment},
        {"LineAfterLongLineIsMisaligned", longComment + comment, HeaderError, "\n" + comment},
    };
}

class HeaderLayout : public testing::TestWithParam<LayoutCase> {};

TEST_P(HeaderLayout, ClassifiesByTheFixedWidthRule) {
    HeaderProcessor processor;
    const Fed fed = feed(processor, GetParam().header);
    EXPECT_EQ(fed.result, GetParam().last);
    EXPECT_EQ(fed.out, GetParam().out);
}

INSTANTIATE_TEST_SUITE_P(Lines, HeaderLayout, testing::ValuesIn(layoutCases()),
                         [](const auto& test) { return test.param.name; });

TEST(HeaderLines, EndOfHeaderCompletesTheHeader) {
    HeaderProcessor processor;
    EXPECT_FALSE(processor.headerComplete());
    EXPECT_EQ(feed(processor, record("", "END OF HEADER")).result, HeaderEnd);
    EXPECT_TRUE(processor.headerComplete());
}

TEST(HeaderLines, RecordsComeInAnyOrderAndTheLastOneCounts) {
    HeaderProcessor processor;
    feed(processor, record("    30.000", "INTERVAL") + record("     1.000", "INTERVAL"));
    EXPECT_DOUBLE_EQ(processor.record().interval, 1.0);
}

TEST(HeaderLines, AHeaderMayHaveAnyNumberOfLines) {
    HeaderProcessor processor;
    std::string header;
    for (int i = 0; i < 1000; ++i) header += record("COMMENT " + std::to_string(i), "COMMENT");
    EXPECT_EQ(feed(processor, header + record("", "END OF HEADER")).result, HeaderEnd);
}

TEST(HeaderLines, ALineOfMoreThan65536BytesIsAnErrorAtItsNextByte) {
    HeaderProcessor processor;
    const std::string line(65536, 'x');
    std::string out;
    for (const char ch : line) ASSERT_EQ(processor.processHeaderChar(ch, out), HeaderNone);
    EXPECT_EQ(processor.processHeaderChar('x', out), HeaderError);
    EXPECT_EQ(out, std::string(255, 'x'));

    // Exactly 65,536 bytes before the line feed is still an ordinary line take: no label, and
    // the line is quoted whole.
    HeaderProcessor other;
    const Fed fed = feed(other, line + "\n");
    EXPECT_EQ(fed.result, HeaderError);
    EXPECT_EQ(fed.out, line + "\n");
}

TEST(HeaderLines, ANulByteMakesTheLineAnErrorWithNothingQuoted) {
    HeaderProcessor processor;
    std::string line = record("A COMMENT", "COMMENT");
    line[3] = '\0';
    const Fed fed = feed(processor, line);
    EXPECT_EQ(fed.result, HeaderError);
    EXPECT_EQ(fed.out, "");
}

TEST(ProgramRunByDate, OnlyGsiJapanInColumns20To39IsRefused) {
    const struct {
        std::string_view runBy;
        HeaderResult result;
    } cases[] = {
        {"GSI, JAPAN", HeaderGsiData}, {" GSI, JAPAN", HeaderLine},  // starting at column 21
        {"GSI,JAPAN", HeaderLine},     {"gsi, japan", HeaderLine},  {"FIELD TEAM", HeaderLine},
    };
    for (const auto& c : cases) {
        std::string text = "RNXCONV 1.0         ";
        text.append(c.runBy);
        text.resize(40, ' ');
        text += "20190525 010000 UTC";
        HeaderProcessor processor;
        EXPECT_EQ(feed(processor, record(text, "PGM / RUN BY / DATE")).result, c.result) << c.runBy;
    }
}

TEST(HeaderFields, NumbersReadWithAutomaticBaseAndSecondsAsAnInteger) {
    HeaderProcessor processor;
    feed(processor,
         record("000010  0x10", "WAVELENGTH FACT L1/2") +
             record("  2019     5    25     1     2   30.5000000     GPS", "TIME OF FIRST OBS") +
             record("  0008", "LEAP SECONDS") + record("", "INTERVAL"));
    const HeaderRecord& header = processor.record();
    EXPECT_EQ(header.wavelengthFactorL1, 8);
    EXPECT_EQ(header.wavelengthFactorL2, 16);
    EXPECT_EQ(header.firstObs.year, 2019);
    EXPECT_EQ(header.firstObs.minute, 2);
    EXPECT_DOUBLE_EQ(header.firstObs.seconds, 30.0);
    EXPECT_STREQ(header.firstObs.timeSystem, "GPS");
    EXPECT_EQ(header.leapSeconds, 0);
    EXPECT_DOUBLE_EQ(header.interval, 0.0);
}

TEST(HeaderFields, TextFieldsKeepTheirTrailingBlanks) {
    HeaderProcessor processor;
    const Fed fed =
        feed(processor, record("SURVEYOR            FERRULE SURVEY", "OBSERVER / AGENCY") +
                            record("A COMMENT", "COMMENT"));
    EXPECT_EQ(fed.result, HeaderLine);
    EXPECT_STREQ(processor.record().observer, "SURVEYOR            ");
    EXPECT_EQ(std::string_view(processor.record().agency),
              "FERRULE SURVEY                          ");
}

// # / TYPES OF OBSERV and PRN / # OF OBS.
std::string typesLine(std::string_view count, std::vector<std::string_view> codes) {
    std::string text(count);
    text.insert(0, 6 - text.size(), ' ');
    for (const auto code : codes) text += "    " + std::string(code);
    return record(text, "# / TYPES OF OBSERV");
}

std::vector<std::string> slots(const HeaderRecord& header) {
    std::vector<std::string> result;
    for (const auto& slot : header.observationTypes) result.emplace_back(slot);
    return result;
}

TEST(ObservationTypes, FillTheirSlotsInFileOrder) {
    const struct {
        std::string name;
        std::string lines;
        std::int32_t count;
        std::vector<std::string> slots;
    } cases[] = {
        {"NoTypes", typesLine("0", {}), 0, {}},
        {"BlankCount", typesLine("", {"L1"}), 0, {}},
        {"Five", typesLine("5", {"L1", "L2", "C1", "P2", "S1"}), 5, {"L1", "L2", "C1", "P2", "S1"}},
        {"UnknownCodeLeavesItsSlot",
         typesLine("5", {"L1", "L2", "L7", "P2", "S1"}),
         5,
         {"L1", "L2", "", "P2", "S1"}},
        {"OctalCount",
         typesLine("010", {"L1", "L2", "C1", "P1", "P2", "D1", "D2", "S1", "S2"}),
         8,
         {"L1", "L2", "C1", "P1", "P2", "D1", "D2", "S1"}},
        {"CountBeyondCodes", typesLine("4", {"L1", "L2"}), 4, {"L1", "L2"}},
        {"TwelveOverTwoLines",
         typesLine("12", {"L1", "L2", "L5", "C1", "C2", "C5", "P1", "P2", "P5"}) +
             typesLine("", {"D1", "D2", "S1"}),
         12,
         {"L1", "L2", "L5", "C1", "C2", "C5", "P1", "P2", "P5", "D1", "D2", "S1"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HeaderProcessor processor;
        const Fed fed = feed(processor, c.lines);
        EXPECT_EQ(fed.result, HeaderLine);
        EXPECT_EQ(processor.record().observationTypeCount, c.count);
        std::vector<std::string> expected = c.slots;
        expected.resize(kMaxObservationTypes);
        EXPECT_EQ(slots(processor.record()), expected);
    }
}

TEST(ObservationTypes, MoreThanFifteenOrANegativeCountIsAHeaderError) {
    for (const std::string_view count : {"16", "-1", "99"}) {
        HeaderProcessor processor;
        const std::string line = typesLine(count, {"L1"});
        const Fed fed = feed(processor, line);
        EXPECT_EQ(fed.result, HeaderError) << count;
        EXPECT_EQ(fed.out, line);
    }
    HeaderProcessor processor;
    EXPECT_EQ(feed(processor, typesLine("15", {"L1"}) + typesLine("", {"L2"})).result, HeaderLine);
}

std::string prnLine(std::string_view satellite, std::vector<int> counts) {
    std::string text = "   " + std::string(satellite);
    for (const int count : counts) {
        const std::string number = std::to_string(count);
        text += std::string(6 - number.size(), ' ') + number;
    }
    return record(text, "PRN / # OF OBS");
}

TEST(ObservationsPerSatellite, OneLinePerSatelliteUpToNineTypes) {
    HeaderProcessor processor;
    feed(processor, typesLine("5", {"L1", "L2", "C1", "P2", "S1"}) +
                        prnLine("G01", {10, 11, 12, 13, 14}) +
                        prnLine("R02", {20, 21, 22, 23, 24}));
    const SatelliteObsCounts& first = processor.record().satelliteObsTable[0];
    const SatelliteObsCounts& second = processor.record().satelliteObsTable[1];
    EXPECT_STREQ(first.systemLetter, "G");
    EXPECT_EQ(first.prn, 1);
    // Counts are kept in the order L1 L2 L5 C1 C2 C5 P1 P2 P5 D1 D2 D5 S1 S2 S5.
    EXPECT_EQ(first.counts[0], 10);   // L1
    EXPECT_EQ(first.counts[1], 11);   // L2
    EXPECT_EQ(first.counts[3], 12);   // C1
    EXPECT_EQ(first.counts[7], 13);   // P2
    EXPECT_EQ(first.counts[12], 14);  // S1
    EXPECT_STREQ(second.systemLetter, "R");
    EXPECT_EQ(second.prn, 2);
    EXPECT_EQ(second.counts[12], 24);
}

TEST(ObservationsPerSatellite, TwoLinesPerSatelliteFromTenTypes) {
    HeaderProcessor processor;
    feed(processor,
         typesLine("12", {"L1", "L2", "L5", "C1", "C2", "C5", "P1", "P2", "P5"}) +
             typesLine("", {"D1", "D2", "S1"}) + prnLine("G05", {1, 2, 3, 4, 5, 6, 7, 8, 9}) +
             record("A COMMENT", "COMMENT") +  // other labels in between do not matter
             prnLine("   ", {10, 11, 12}) + prnLine("G06", {21, 22, 23, 24, 25, 26, 27, 28, 29}));
    const SatelliteObsCounts& first = processor.record().satelliteObsTable[0];
    EXPECT_EQ(first.prn, 5);
    EXPECT_EQ(first.counts[8], 9);    // P5, type 8
    EXPECT_EQ(first.counts[9], 10);   // D1, type 9, from column 6 of the second line
    EXPECT_EQ(first.counts[10], 11);  // D2
    EXPECT_EQ(first.counts[12], 12);  // S1
    EXPECT_EQ(processor.record().satelliteObsTable[1].prn, 6);
    EXPECT_EQ(processor.record().satelliteObsTable[1].counts[0], 21);
}

TEST(ObservationsPerSatellite, SatellitesBeyondTheTableStillPass) {
    HeaderProcessor processor;
    std::string lines = typesLine("1", {"L1"});
    for (int i = 0; i < 120; ++i) lines += prnLine("G01", {i});
    const Fed fed = feed(processor, lines);
    EXPECT_EQ(fed.result, HeaderLine);
    EXPECT_EQ(processor.record().satelliteObsTable[99].counts[0], 99);
}

}  // namespace
}  // namespace ferrule
