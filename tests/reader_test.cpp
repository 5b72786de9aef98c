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
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
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
// or 1 and the satellite lines under it, in order. The header (it carries the time of the run)
// and the event records with their special records are left out.
std::vector<std::string> readWithConvbin(const fs::path& rinex2) {
    const fs::path copy = rinex2.string() + ".padded";
    const fs::path rinex3 = rinex2.string() + ".rnx";
    writeFile(copy, padded(readFile(rinex2)));
    const std::string command = "convbin -r rinex -v 3.04 -od -os -o '" + rinex3.string() + "' '" +
                                copy.string() + "' >/dev/null 2>&1";
    [[maybe_unused]] const int status = std::system(command.c_str());
    std::vector<std::string> records;
    std::ifstream in(rinex3);
    std::string line;
    while (std::getline(in, line) && line.find("END OF HEADER") == std::string::npos) {
    }
    for (bool kept = false; std::getline(in, line);) {
        if (line.starts_with('>')) kept = line.size() > 31 && (line[31] == '0' || line[31] == '1');
        if (kept) records.push_back(line);
    }
    return records;
}

class IndependentReader : public testing::TestWithParam<std::string> {};

TEST_P(IndependentReader, ReadsTheSameObservationsBeforeAndAfter) {
    // The shell's status for a command it cannot find is 127 (std::system gives a wait status).
    const int found = std::system("convbin -? >/dev/null 2>&1");
    if (WIFEXITED(found) && WEXITSTATUS(found) == 127) {
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

    const std::vector<std::string> before = readWithConvbin(dir / "site.19o_original");
    const std::vector<std::string> after = readWithConvbin(dir / "site.19o");
    EXPECT_GT(std::count_if(before.begin(), before.end(), [](auto& l) { return l[0] == '>'; }), 0);
    EXPECT_TRUE(before == after) << "the reader reads different observations";
}

INSTANTIATE_TEST_SUITE_P(Files, IndependentReader,
                         testing::Values("tests/data/real/derived/geonet_kinematic.05o",
                                         "tests/data/real/derived/geonet_stop_and_go.05o",
                                         "tests/data/real/derived/trimble_kinematic.18o",
                                         "tests/cases/kinematic/input", "generated"));

}  // namespace
}  // namespace ferrule::test
