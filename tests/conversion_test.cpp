// Whole conversions in memory: golden files, byte-fed against block-fed, and the edges of the
// observation section (unfinished last lines, long lines, the site-identifier limit).
#include <gtest/gtest.h>

#include "tests/support/test_support.h"

namespace ferrule {
namespace {

using test::convertBytes;
using test::record;
using test::sourceFile;

const std::string kHeaderEnd = record("", "END OF HEADER");

// The kinematic example's header, through END OF HEADER.
std::string kinematicHeader() {
    const std::string example = sourceFile("examples/kinematic.19o");
    return example.substr(0, example.find("END OF HEADER") + 22);
}

std::string staticRepairHeader() {
    const std::string example = sourceFile("examples/static_bad_id.19o");
    return example.substr(0, example.find("END OF HEADER") + 22);
}

const std::string kEpoch = " 19  5 25  1  2 30.0000000  0  1G01\r\n";
const std::string kObservation =
    "  21234567.89105  21235567.891 6  21236567.891 7  21237567.89108\r\n";
const std::string kBlockTail =
    "                            4  1\r\n"
    "               ***  ANTENNA IS NOW MOVING  ***              COMMENT             \r\n";

std::string blockFor(const std::string& epochLine) {
    return epochLine.substr(0, 28) + "2\r\n" + kBlockTail;
}

// Every input a test here uses, fed in blocks of every awkward size, converts as byte by byte.
TEST(Conversion, BlocksOfAnySizeGiveTheSameOutputAsBytes) {
    const std::vector<std::string> inputs = {
        sourceFile("examples/kinematic.19o"),
        sourceFile("examples/static_bad_id.19o"),
        sourceFile("examples/static_valid.19o"),
        sourceFile("examples/gsi.19o"),
        sourceFile("tests/golden/fourteen_satellites.19o"),
        sourceFile("tests/golden/twelve_types.19o"),
        sourceFile("tests/golden/kinematic.19o.expected"),  // refused as already converted
        kinematicHeader() + kEpoch + kObservation + "no line feed at the end",
        kinematicHeader().substr(0, 500),
    };
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        const test::Converted byByte = convertBytes(inputs[i]);
        for (const std::size_t blockSize : {1, 2, 3, 7, 64, 81, 82, 83, 1000, 4096, 1 << 20}) {
            SCOPED_TRACE(testing::Message() << "input " << i << ", blocks of " << blockSize);
            const test::Converted byBlock = convertBytes(inputs[i], blockSize);
            EXPECT_EQ(byBlock.output, byByte.output);
            EXPECT_EQ(byBlock.outcome, byByte.outcome);
        }
    }
}

// Each kind of MARKER NAME decides the fate of a whole file.
TEST(Conversion, MarkerNameDecidesTheWholeFile) {
    const std::string example = sourceFile("examples/kinematic.19o");
    const std::string markerLine = record("????", "MARKER NAME");
    const std::size_t at = example.find(markerLine);
    ASSERT_NE(at, std::string::npos);
    const struct {
        std::string name;
        Outcome outcome;
        std::string written;  // the MARKER NAME line in the output
    } cases[] = {
        {"????", Outcome::Converted, "????"},
        {"AB12", Outcome::StaticData, ""},
        {"ab12", Outcome::StaticData, ""},
        {"0123", Outcome::StaticData, ""},
        {"AB-2", Outcome::ConvertedStatic, "ABZ2"},
        {"BASE1", Outcome::ConvertedStatic, "BASE"},
        {"A", Outcome::ConvertedStatic, "AZZZ"},
        {"", Outcome::ConvertedStatic, "ZZZZ"},
        {"????0001", Outcome::ConvertedStatic, "ZZZZ"},
        {"AB12\t", Outcome::ConvertedStatic, "AB12"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string input = example;
        input.replace(at, 82, record(c.name, "MARKER NAME"));
        const test::Converted converted = convertBytes(input, 4096);
        EXPECT_EQ(converted.outcome, c.outcome);
        if (c.outcome == Outcome::StaticData) {
            EXPECT_EQ(converted.output, example.substr(0, at));
        } else {
            EXPECT_EQ(converted.output.substr(at, 82), record(c.written, "MARKER NAME"));
            // A static file gets no moving-antenna block; its events are still rewritten.
            const bool block = converted.output.find("ANTENNA IS NOW MOVING") != std::string::npos;
            EXPECT_EQ(block, c.outcome == Outcome::Converted);
            EXPECT_NE(converted.output.find(record("001K", "MARKER NAME")), std::string::npos);
        }
    }
}

TEST(Conversion, BytesAfterTheLastLineFeedAreWrittenUnchanged) {
    const std::string header = kinematicHeader();
    const struct {
        std::string name;
        std::string input;
        std::string output;
    } cases[] = {
        {"InTheHeader", header.substr(0, 82 + 40), header.substr(0, 82 + 40)},
        {"InTheObservations", header + kEpoch + kObservation.substr(0, 30),
         header + blockFor(kEpoch) + kEpoch + kObservation.substr(0, 30)},
        {"AnUnfinishedEpochLineIsNotClassified",
         header + kEpoch + kObservation + kEpoch.substr(0, 30),
         header + blockFor(kEpoch) + kEpoch + kObservation + kEpoch.substr(0, 30)},
        {"EmptyInput", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (const std::size_t blockSize : {0, 5, 4096}) {
            const test::Converted converted = convertBytes(c.input, blockSize);
            EXPECT_EQ(converted.outcome, Outcome::Converted);
            EXPECT_EQ(converted.output, c.output);
        }
    }
}

TEST(Conversion, StaticRepairedFileGetsItsEventsRewrittenButNoBlock) {
    const std::string input = staticRepairHeader() + kEpoch + kObservation +
                              " 19  5 25  1  3  0.0000000  2\r\n" + std::string(28, ' ') +
                              "4  1\r\n" + record("  OCCUPATION", "COMMENT");
    const test::Converted converted = convertBytes(input, 4096);
    EXPECT_EQ(converted.outcome, Outcome::ConvertedStatic);
    EXPECT_EQ(converted.output, sourceFile("tests/golden/static_bad_id.19o.expected")
                                        .substr(0, staticRepairHeader().size()) +
                                    kEpoch + kObservation + " 19  5 25  1  3  0.0000000  2  2\r\n" +
                                    record("000K", "MARKER NAME") +
                                    record("  OCCUPATION", "COMMENT"));
}

TEST(Conversion, FlagTwoRecordKeepsItsTextAndGetsTheCountAppended) {
    const std::string opening = " 19  5 25  1  3  0.0000000  2  1   \r\n";
    const std::string input =
        kinematicHeader() + kEpoch + kObservation + opening + record("  A COMMENT", "COMMENT");
    const test::Converted converted = convertBytes(input);
    EXPECT_EQ(converted.output, kinematicHeader() + blockFor(kEpoch) + kEpoch + kObservation +
                                    " 19  5 25  1  3  0.0000000  2  1     2\r\n" +
                                    record("  A COMMENT", "COMMENT"));
}

TEST(Conversion, FirstEpochShorterThanTheEpochPartIsPadded) {
    const std::string shortEpoch = " 19  5 25  1  2\r\n";
    const test::Converted converted = convertBytes(kinematicHeader() + shortEpoch, 4096);
    EXPECT_EQ(converted.output,
              kinematicHeader() + " 19  5 25  1  2             2\r\n" + kBlockTail + shortEpoch);
}

// Many stop-and-go occupations: identifiers up to 800K, and the stop after it.
std::string occupations(int count) {
    std::string text = kEpoch + kObservation + " 19  5 25  1  3  0.0000000  2\r\n";
    for (int i = 0; i < count; ++i)
        text += std::string(28, ' ') + "4  1\r\n" + record("  A", "COMMENT");
    return text;
}

TEST(Conversion, SiteIdentifiersUpTo800KThenTheLimitStops) {
    const test::Converted full = convertBytes(kinematicHeader() + occupations(2049), 1 << 16);
    EXPECT_EQ(full.outcome, Outcome::Converted);
    EXPECT_NE(full.output.find(record("00aK", "MARKER NAME")), std::string::npos);
    EXPECT_EQ(full.output.substr(full.output.size() - 164, 82), record("800K", "MARKER NAME"));

    const std::string input = kinematicHeader() + occupations(2050) + kEpoch;
    const test::Converted stopped = convertBytes(input, 1 << 16);
    EXPECT_EQ(stopped.outcome, Outcome::SiteIdLimit);
    // Everything before the 2050th occupation was written; nothing after it.
    EXPECT_EQ(stopped.output, full.output);
    EXPECT_EQ(convertBytes(input).output, full.output);
}

// Lines of any length pass whole; a long line is classified by its first columns.
TEST(Conversion, LongLinesPassWholeOrAreRewrittenWhole) {
    const std::string header = kinematicHeader();
    const std::string huge(300000, 'x');
    const std::string opening = " 19  5 25  1  3  0.0000000  2";
    const std::string occupation = std::string(28, ' ') + "4  1" + huge + "\r\n";
    const struct {
        std::string name;
        std::string input;
        std::string output;
    } cases[] = {
        {"ObservationLine", header + kEpoch + "  2" + huge + "\r\n",
         header + blockFor(kEpoch) + kEpoch + "  2" + huge + "\r\n"},
        {"NulBytesInALongLine", header + kEpoch + std::string(100000, '\0') + "\r\n",
         header + blockFor(kEpoch) + kEpoch + std::string(100000, '\0') + "\r\n"},
        {"FlagTwoCutAtItsFirstCarriageReturn",
         header + kEpoch + kObservation + opening + huge + "\r" + huge + "\r\n",
         header + blockFor(kEpoch) + kEpoch + kObservation + opening + huge + "  2\r\n"},
        {"FlagTwoWithEarlyCarriageReturn",
         header + kEpoch + kObservation + opening + "\r" + huge + "\r\n",
         header + blockFor(kEpoch) + kEpoch + kObservation + opening + "  2\r\n"},
        {"FlagFourReplacedWhole",
         header + kEpoch + kObservation + opening + "\r\n" + occupation + kEpoch,
         header + blockFor(kEpoch) + kEpoch + kObservation + opening + "  2\r\n" +
             record("000K", "MARKER NAME") + blockFor(kEpoch) + kEpoch},
        // A last line of 64 KiB or more is a line to the rules even without its line feed.
        {"LongUnfinishedLastLine",
         header + kEpoch + kObservation + opening + "\r\n" + std::string(28, ' ') + "4  1" + huge,
         header + blockFor(kEpoch) + kEpoch + kObservation + opening + "  2\r\n" +
             record("000K", "MARKER NAME")},
        {"LongEpochLine", header + kEpoch.substr(0, 35) + huge + "\r\n",
         header + blockFor(kEpoch) + kEpoch.substr(0, 35) + huge + "\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (const std::size_t blockSize : {0, 1000, 70000, 1 << 20}) {
            const test::Converted converted = convertBytes(c.input, blockSize);
            EXPECT_EQ(converted.outcome, Outcome::Converted);
            EXPECT_TRUE(converted.output == c.output) << "blocks of " << blockSize;
        }
    }
}

TEST(Conversion, HeaderErrorKeepsTheOffendingLine) {
    const std::string line = record("     0", "RCV CLOCK OFFS APPL");
    const test::Converted converted = convertBytes(kinematicHeader().substr(0, 164) + line, 0);
    EXPECT_EQ(converted.outcome, Outcome::HeaderError);
    EXPECT_EQ(converted.headerErrorLine, line);

    const test::Converted longLine = convertBytes(std::string(70000, 'y'), 4096);
    EXPECT_EQ(longLine.outcome, Outcome::HeaderError);
    EXPECT_EQ(longLine.headerErrorLine, std::string(255, 'y'));
}

TEST(Conversion, DebugLinesFollowTheWrittenLines) {
    test::StringSink sink;
    test::RecordingDebugChannel debug;
    Conversion conversion(sink, debug);
    const std::string input = kinematicHeader().substr(0, 82) + kHeaderEnd + kEpoch + kObservation +
                              " 19  5 25  1  3  0.0000000  2\r\n";
    conversion.feed(input);
    conversion.finish();
    EXPECT_EQ(debug.lines,
              (std::vector<std::string>{kinematicHeader().substr(0, 82) + "\n", kHeaderEnd + "\n",
                                        kEpoch + "\n", kObservation + "\n",
                                        " 19  5 25  1  3  0.0000000  2  2\r\n\n"}));
}

}  // namespace
}  // namespace ferrule
