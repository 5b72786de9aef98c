// An independent RINEX reader reads each kinematic file before and after the program converts
// it: RTKLIB's convbin (Debian package rtklib) rewrites both as RINEX 3.04, and the observation
// records must be the same, every epoch, satellite and value. Without convbin on the PATH the
// check is skipped, unless FERRULE_REQUIRE_READER=1 (set in CI) makes that a failure.
//
// convbin takes a flag-2 record's special records for satellite lines, so files with six or more
// observation types are left out where a moving period opens (see the README). When the
// generator of observation files is built, a generated kinematic file is read as well.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/test_support.h"
#include "tools/generate/observation_generator.h"

namespace ferrule::test {
namespace {

fs::path findOnPath(std::string_view program) {
    const char* path = std::getenv("PATH");
    std::string_view dirs = path == nullptr ? "" : path;
    while (!dirs.empty()) {
        const std::size_t colon = dirs.find(':');
        const fs::path candidate = fs::path(dirs.substr(0, colon)) / program;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
        dirs.remove_prefix(colon == std::string_view::npos ? dirs.size() : colon + 1);
    }
    return {};
}

bool readerRequired() {
    const char* value = std::getenv("FERRULE_REQUIRE_READER");
    return value != nullptr && std::string_view(value) == "1";
}

// What the reader made of a file: the observation records of its RINEX 3 output, that is every
// epoch record with flag 0 or 1 and its satellite lines, in order. The header (it carries the
// time of the run) and event records with their special records are left out.
struct ReaderRecords {
    std::vector<std::string> lines;
    int epochs = 0;
};

ReaderRecords observationRecords(std::string_view rinex3) {
    ReaderRecords records;
    const std::vector<std::string_view> lines = splitLines(rinex3);
    std::size_t at = 0;
    while (at < lines.size() && lines[at].find("END OF HEADER") == std::string_view::npos) ++at;
    for (++at; at < lines.size(); ++at) {
        const std::string_view line = lines[at];
        if (!line.starts_with(">") || line.size() < 35) continue;
        const char flag = line[31];
        const auto count =
            static_cast<std::size_t>(std::atoi(std::string(line.substr(32, 3)).c_str()));
        if (flag == '0' || flag == '1') {
            ++records.epochs;
            for (std::size_t k = 0; k <= count && at + k < lines.size(); ++k) {
                records.lines.emplace_back(lines[at + k]);
            }
        }
        at += count;
    }
    return records;
}

// Doppler and signal strength are asked for (-od -os), so that every value is compared. convbin's
// exit status says nothing useful: what it wrote is what counts.
ReaderRecords readWithConvbin(const fs::path& convbin, const fs::path& rinex2,
                              const fs::path& rinex3) {
    const std::string command = convbin.string() + " -r rinex -v 3.04 -od -os -o '" +
                                rinex3.string() + "' '" + rinex2.string() + "' >/dev/null 2>&1";
    [[maybe_unused]] const int status = std::system(command.c_str());
    if (!fs::exists(rinex3)) return {};
    return observationRecords(readFile(rinex3));
}

// Every check needs convbin: without it the check is skipped, or fails when it is required.
class IndependentReader : public testing::Test {
  protected:
    void SetUp() override {
        convbin_ = findOnPath("convbin");
        if (!convbin_.empty()) return;
        if (readerRequired()) {
            FAIL() << "convbin not found: install the Debian package rtklib";
        }
        GTEST_SKIP() << "convbin not found (Debian package rtklib): reader check skipped";
    }

    // Converts `input` with the program, under the name site<extension>, and compares what
    // convbin reads in the file before and after.
    void expectSameObservations(std::string_view input, std::string_view extension,
                                int epochs) const {
        const TempDir dir;
        const std::string site = "site" + std::string(extension);
        writeFile(dir / site, input);
        ASSERT_EQ(runFerrule({(dir / site).string()}).status, 0);

        const ReaderRecords before =
            readWithConvbin(convbin_, dir / (site + "_original"), dir / "before.rnx");
        const ReaderRecords after = readWithConvbin(convbin_, dir / site, dir / "after.rnx");

        EXPECT_EQ(before.epochs, epochs);
        EXPECT_EQ(after.epochs, epochs);
        EXPECT_GT(after.lines.size(), static_cast<std::size_t>(epochs));
        EXPECT_TRUE(before.lines == after.lines) << "the reader reads different observations";
    }

  private:
    fs::path convbin_;
};

struct ReaderCase {
    std::string name;
    std::string input;  // the file to convert, below the source tree
    int epochs;
};

void PrintTo(const ReaderCase& c, std::ostream* os) {
    *os << c.input;
}

class IndependentReaderOnFile : public IndependentReader,
                                public testing::WithParamInterface<ReaderCase> {};

TEST_P(IndependentReaderOnFile, ReadsTheSameObservationsBeforeAndAfter) {
    const ReaderCase& c = GetParam();
    expectSameObservations(sourceFile(c.input), fs::path(c.input).extension().string(), c.epochs);
}

INSTANTIATE_TEST_SUITE_P(
    Real, IndependentReaderOnFile,
    testing::Values(
        ReaderCase{"GeonetKinematic", "tests/data/real/derived/geonet_kinematic.05o", 120},
        ReaderCase{"GeonetStopAndGo", "tests/data/real/derived/geonet_stop_and_go.05o", 120},
        ReaderCase{"TrimbleKinematic", "tests/data/real/derived/trimble_kinematic.18o", 3},
        ReaderCase{"Example", "examples/kinematic.19o", 4}),
    [](const testing::TestParamInfo<ReaderCase>& test) { return test.param.name; });

// A generated kinematic file: a stop-and-go occupation every minute, each opening flag-2 record
// rewritten, five observation types (the most this reader reads correctly there).
TEST_F(IndependentReader, GeneratedKinematicFile) {
    generate::GeneratorOptions options;
    options.seed = 7;
    options.sizeMiB = 4;
    options.typeCount = 5;
    std::string text;
    const generate::GeneratedFile made =
        generate::generateObservationFile(options, [&](std::string_view bytes) { text += bytes; });
    ASSERT_GT(made.occupations, 0);
    expectSameObservations(text, ".19o", static_cast<int>(made.epochs));
}

TEST(ReaderOutput, RecordsOfARinex3File) {
    const std::string text =
        "     3.04           OBSERVATION DATA    M                   RINEX VERSION / TYPE\n"
        "                                                            END OF HEADER       \n"
        "> 2005 04 02 00 00 00.0000000  0  2\n"
        "G03  24767686.375\n"
        "G07  24361933.475\n"
        "> 2005 04 02 00 00 15.0000000  3  1\n"
        "P001                                                        MARKER NAME         \n"
        "> 2005 04 02 00 00 30.0000000  0  1\n"
        "G03  24795930.671\n";
    const ReaderRecords records = observationRecords(text);
    EXPECT_EQ(records.epochs, 2);
    const std::vector<std::string_view> lines = splitLines(text);
    EXPECT_EQ(records.lines, (std::vector<std::string>{std::string(lines[2]), std::string(lines[3]),
                                                       std::string(lines[4]), std::string(lines[7]),
                                                       std::string(lines[8])}));
}

}  // namespace
}  // namespace ferrule::test
