// An independent RINEX reader reads each kinematic file before and after the program converts
// it: RTKLIB's convbin (Debian package rtklib) rewrites both as RINEX 3.04, and the observation
// records must be the same, every epoch, satellite and value. Without convbin on the PATH the
// check is skipped, unless FERRULE_REQUIRE_READER=1 (set in CI) makes that a failure.
//
// convbin takes a flag-2 record's special records for satellite lines, so files with six or more
// observation types are left out where a moving period opens (see the README). It also reads
// past the end of an event line that has a record count but no satellite list, so what it makes
// of one depends on memory it never wrote; it is given copies whose lines are padded with blanks
// to 80 columns, which changes no value it reads.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/test_support.h"
#include "tools/generate/observation_generator.h"

namespace ferrule::test {
namespace {

// The lines of a text padded with blanks to 80 columns, CR LF kept.
std::string padded(std::string_view text) {
    std::string result;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.ends_with('\r')) line.remove_suffix(1);
        result.append(line).append(line.size() < 80 ? 80 - line.size() : 0, ' ').append("\r\n");
    }
    return result;
}

// The observation records of convbin's RINEX 3 output of a file: every epoch record with flag 0
// or 1 and its satellite lines, in order, and how many epochs. The header (it carries the time
// of the run) and the event records with their special records are left out.
std::pair<std::vector<std::string>, int> readWithConvbin(const fs::path& rinex2) {
    const fs::path copy = rinex2.string() + ".padded";
    const fs::path rinex3 = rinex2.string() + ".rnx";
    writeFile(copy, padded(readFile(rinex2)));
    const std::string command = "convbin -r rinex -v 3.04 -od -os -o '" + rinex3.string() + "' '" +
                                copy.string() + "' >/dev/null 2>&1";
    [[maybe_unused]] const int status = std::system(command.c_str());
    std::pair<std::vector<std::string>, int> records;
    if (!fs::exists(rinex3)) return records;
    const std::string text = readFile(rinex3);
    std::size_t at = text.find("END OF HEADER");
    int remaining = 0;  // lines still belonging to the current record
    bool observations = false;
    for (at = text.find('\n', at); at != std::string::npos && at + 1 < text.size();) {
        const std::size_t end = text.find('\n', at + 1);
        const std::string line = text.substr(at + 1, end - at - 1);
        at = end;
        if (remaining-- > 0) {
            if (observations) records.first.push_back(line);
            continue;
        }
        if (!line.starts_with(">") || line.size() < 35) continue;
        remaining = std::atoi(line.substr(32, 3).c_str());
        observations = line[31] == '0' || line[31] == '1';
        if (observations) {
            records.first.push_back(line);
            ++records.second;
        }
    }
    return records;
}

class IndependentReader : public testing::TestWithParam<std::string> {};

TEST_P(IndependentReader, ReadsTheSameObservationsBeforeAndAfter) {
    if (std::system("convbin -? >/dev/null 2>&1") == 127) {
        const char* required = std::getenv("FERRULE_REQUIRE_READER");
        if (required != nullptr && std::string_view(required) == "1") {
            FAIL() << "convbin not found: install the Debian package rtklib";
        }
        GTEST_SKIP() << "convbin not found (Debian package rtklib): reader check skipped";
    }
    std::string input;
    if (GetParam() == "generated") {
        // A stop-and-go occupation every minute, five observation types.
        generate::GeneratorOptions options;
        options.seed = 7;
        options.sizeMiB = 4;
        options.typeCount = 5;
        input = generate::generateObservationText(options);
    } else {
        input = sourceFile(GetParam());
    }
    const TempDir dir;
    writeFile(dir / "site.19o", input);
    ASSERT_EQ(runFerrule({"site.19o"}, inDirectory(dir.path())).status, 0);

    const auto before = readWithConvbin(dir / "site.19o_original");
    const auto after = readWithConvbin(dir / "site.19o");
    EXPECT_GT(before.second, 0);
    EXPECT_EQ(after.second, before.second);
    EXPECT_TRUE(before.first == after.first) << "the reader reads different observations";
}

INSTANTIATE_TEST_SUITE_P(Files, IndependentReader,
                         testing::Values("tests/data/real/derived/geonet_kinematic.05o",
                                         "tests/data/real/derived/geonet_stop_and_go.05o",
                                         "tests/data/real/derived/trimble_kinematic.18o",
                                         "examples/kinematic.19o", "generated"));

}  // namespace
}  // namespace ferrule::test
