// Real observation files (tests/data/real/) and the fixtures derived from them by
// tools/make_real_fixtures.py: the outcome each one gets, in memory and from the program, and the
// kinematic results checked against what the conversion may change.
#include <gtest/gtest.h>

#include <array>
#include <cctype>
#include <string>
#include <string_view>
#include <vector>

#include "ferrule/ferrule.h"
#include "tests/support/test_support.h"

namespace ferrule::test {
namespace {

struct RealCase {
    std::string name;
    std::string file;  // below tests/data/real/
    Outcome outcome;
    std::string headerErrorLine;
};

void PrintTo(const RealCase& c, std::ostream* os) {
    *os << c.file;
}

std::string realFile(std::string_view file) {
    return sourceFile("tests/data/real/" + std::string(file));
}

// The expected output beside a fixture, or nothing when the header refuses it.
std::string expectedOutput(const RealCase& c) {
    if (stoppedInHeader(c.outcome)) return {};
    return realFile(c.file + ".expected");
}

std::vector<RealCase> realCases() {
    return {
        // As they stand.
        {"GeonetLfLineEnds", "07590920.05o", Outcome::HeaderError, ""},
        {"DemoLfLineEnds", "demo.10o", Outcome::HeaderError, ""},
        {"OneSatStaticMarker", "rinex2onesat.10o", Outcome::StaticData, ""},
        {"TrimbleClockOffsetRecord", "14601736.18o", Outcome::HeaderError,
         record("     0", "RCV CLOCK OFFS APPL")},
        // Derived.
        {"GeonetNormalised", "derived/geonet_normalised.05o", Outcome::GsiData, ""},
        {"GeonetOtherAgency", "derived/geonet_static.05o", Outcome::StaticData, ""},
        {"GeonetBadStationId", "derived/geonet_bad_id.05o", Outcome::ConvertedStatic, ""},
        {"GeonetKinematic", "derived/geonet_kinematic.05o", Outcome::Converted, ""},
        {"GeonetStopAndGo", "derived/geonet_stop_and_go.05o", Outcome::Converted, ""},
        {"TrimbleWithoutClockRecord", "derived/trimble_no_clock.18o", Outcome::AlreadyConverted,
         ""},
        {"TrimbleKinematic", "derived/trimble_kinematic.18o", Outcome::Converted, ""},
    };
}

template <class Case>
std::string caseName(const testing::TestParamInfo<Case>& info) {
    return info.param.name;
}

class RealFile : public testing::TestWithParam<RealCase> {};

TEST_P(RealFile, SameOutcomeAndOutputForAnyBlockSize) {
    const RealCase& c = GetParam();
    const std::string input = realFile(c.file);
    const std::string expected = expectedOutput(c);
    for (const std::size_t blockSize : {0, 1, 81, 4096}) {
        SCOPED_TRACE("block size " + std::to_string(blockSize));
        const Converted result = convertBytes(input, blockSize);
        EXPECT_EQ(result.outcome, c.outcome);
        EXPECT_EQ(result.headerErrorLine, c.headerErrorLine);
        if (!expected.empty()) {
            EXPECT_EQ(result.output, expected);
        }
    }
    const Result whole = convert(input);
    EXPECT_EQ(whole.outcome, c.outcome);
    if (!expected.empty()) {
        EXPECT_EQ(whole.output, expected);
    }
}

TEST_P(RealFile, ProgramLeavesTheFilesTheOutcomeSays) {
    const RealCase& c = GetParam();
    const TempDir dir;
    const std::string site = "site" + fs::path(c.file).extension().string();
    const std::string input = realFile(c.file);
    writeFile(dir / site, input);

    const ProgramRun run = runFerrule({(dir / site).string()});

    const std::string shown = "[" + std::string(outcomeCaption(c.outcome)) + "] " +
                              outcomeMessage(c.outcome, c.headerErrorLine) + "\n";
    if (isConverted(c.outcome)) {
        EXPECT_EQ(run.status, 0);
        EXPECT_TRUE(run.out.ends_with(shown)) << run.out;
        EXPECT_EQ(dir.entries(), (std::vector<std::string>{site, site + "_original"}));
        EXPECT_EQ(readFile(dir / site), expectedOutput(c));
        EXPECT_EQ(readFile(dir / (site + "_original")), input);
        return;
    }
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, shown);
    EXPECT_EQ(readFile(dir / site), input);
    if (stoppedInHeader(c.outcome)) {
        EXPECT_EQ(dir.entries(), std::vector<std::string>{site});
    } else {
        EXPECT_EQ(dir.entries(), (std::vector<std::string>{site, site + "_temp"}));
        EXPECT_EQ(readFile(dir / (site + "_temp")), expectedOutput(c));
    }
}

INSTANTIATE_TEST_SUITE_P(Real, RealFile, testing::ValuesIn(realCases()), caseName<RealCase>);

// --- What a kinematic conversion may change --------------------------------------------------

const std::string kAnnouncement = std::string(28, ' ') + "4  1\r\n";
const std::string kMovingComment =
    record("               ***  ANTENNA IS NOW MOVING  ***", "COMMENT");

bool isSiteMarkerName(std::string_view line) {
    if (line.size() != 82 || line[3] != 'K') return false;
    for (const char ch : line.substr(0, 3)) {
        if (!std::isdigit(static_cast<unsigned char>(ch)) && (ch < 'a' || ch > 'f')) return false;
    }
    return line == record(line.substr(0, 4), "MARKER NAME");
}

// A start moving record of the moving-antenna block: epoch time, flag 2, no record count.
bool isStartMoving(std::string_view line) {
    return line.size() == 31 && line[28] == '2' && line.ends_with("\r\n");
}

// A flag-2 record that received the record count 2.
bool isCountedFlag2(std::string_view line) {
    return line.size() == 34 && line[28] == '2' && line.substr(29) == "  2\r\n";
}

// The output of a kinematic conversion with its changes taken back out: the moving-antenna blocks
// removed, the record count taken off the flag-2 records that opened moving periods, and the
// flag-4 record put back in place of each site MARKER NAME record. This gives back the input for
// files whose flag-2 records carry no record count and whose occupations are announced by bare
// "4  1" records, as in the fixtures.
struct Undone {
    std::string input;
    std::vector<std::string> siteIds;
    std::vector<std::size_t> blockAt;      // byte offset of each block in the output
    std::vector<std::string> blockEpochs;  // the line after each block
    std::vector<std::string> blockTimes;   // the epoch time of each block's start record
};

Undone undoKinematicConversion(std::string_view output) {
    Undone undone;
    const std::vector<std::string_view> lines = splitLines(output);
    std::size_t offset = 0;
    for (std::size_t i = 0; i < lines.size(); offset += lines[i].size(), ++i) {
        const std::string_view line = lines[i];
        if (isStartMoving(line) && i + 3 < lines.size() && lines[i + 1] == kAnnouncement &&
            lines[i + 2] == kMovingComment) {
            undone.blockAt.push_back(offset);
            undone.blockTimes.emplace_back(line.substr(0, 28));
            undone.blockEpochs.emplace_back(lines[i + 3]);
            offset += lines[i + 1].size() + lines[i + 2].size();
            i += 2;
        } else if (isSiteMarkerName(line)) {
            undone.siteIds.emplace_back(line.substr(0, 4));
            undone.input += kAnnouncement;
        } else if (isCountedFlag2(line)) {
            undone.input.append(line.substr(0, 29)).append("\r\n");
        } else {
            undone.input += line;
        }
    }
    return undone;
}

struct KinematicCase {
    std::string name;
    std::string file;
    std::array<std::string, 2> firstEpochTimes;
    std::vector<std::string> siteIds;
};

void PrintTo(const KinematicCase& c, std::ostream* os) {
    *os << c.file;
}

class KinematicRealFile : public testing::TestWithParam<KinematicCase> {};

TEST_P(KinematicRealFile, ChangesOnlyWhatTheRulesAdd) {
    const KinematicCase& c = GetParam();
    const std::string input = realFile(c.file);
    const Result result = convert(input);
    ASSERT_EQ(result.outcome, Outcome::Converted);

    const Undone undone = undoKinematicConversion(result.output);

    EXPECT_EQ(undone.input, input);
    EXPECT_EQ(undone.siteIds, c.siteIds);
    // One block before each of the first two epochs, with that epoch's time, and the first one
    // right after the header.
    ASSERT_EQ(undone.blockEpochs.size(), 2u);
    EXPECT_EQ(undone.blockAt[0], input.find("END OF HEADER") + 22);
    for (std::size_t k = 0; k < 2; ++k) {
        EXPECT_EQ(undone.blockTimes[k], c.firstEpochTimes[k]);
        EXPECT_TRUE(undone.blockEpochs[k].starts_with(c.firstEpochTimes[k] + "0"))
            << undone.blockEpochs[k];
    }
}

INSTANTIATE_TEST_SUITE_P(
    Real, KinematicRealFile,
    testing::Values(KinematicCase{"GeonetKinematic",
                                  "derived/geonet_kinematic.05o",
                                  {" 05  4  2  0  0  0.0000000  ", " 05  4  2  0  0 30.0000000  "},
                                  {}},
                    KinematicCase{"GeonetStopAndGo",
                                  "derived/geonet_stop_and_go.05o",
                                  {" 05  4  2  0  0  0.0000000  ", " 05  4  2  0  0 30.0000000  "},
                                  {"000K", "001K", "002K", "003K", "004K"}},
                    KinematicCase{"TrimbleKinematic",
                                  "derived/trimble_kinematic.18o",
                                  {" 18  6 22  6 17 30.0000000  ", " 18  6 22  6 17 45.0000000  "},
                                  {}}),
    caseName<KinematicCase>);

}  // namespace
}  // namespace ferrule::test
