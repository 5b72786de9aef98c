// The generator of realistic observation files: what it writes converts as its survey says,
// byte-fed and block-fed alike, and the same options give the same bytes.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/test_support.h"
#include "tools/generate/observation_generator.h"

namespace ferrule::test {
namespace {

using generate::GeneratorOptions;
using generate::Survey;

GeneratorOptions small(Survey survey, int types = 7, double sizeMiB = 0.5) {
    GeneratorOptions options;
    options.seed = 42;
    options.sizeMiB = sizeMiB;
    options.typeCount = types;
    options.survey = survey;
    return options;
}

std::vector<std::string_view> linesOf(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        lines.push_back(text.substr(0, end + 1));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
    return lines;
}

std::size_t headerBytes(std::string_view text) {
    return text.find("END OF HEADER") + 22;
}

// An epoch or event record: " yy mm dd hh mm ss.sssssss", two blanks, the event flag.
bool isEpochRecord(std::string_view line) {
    return line.size() > 29 && line[18] == '.' && line.substr(26, 2) == "  ";
}

// The blank-epoch flag-4 record that announces an occupation.
bool isOccupation(std::string_view line) {
    return line.starts_with(std::string(28, ' ') + "4  1");
}

struct SurveyCase {
    const char* name;
    Survey survey;
    int types;
    Outcome outcome;
};

class GeneratedSurvey : public testing::TestWithParam<SurveyCase> {};

// Every type count from 1 to 15 (one, two and three observation lines a satellite) and both
// static variants.
TEST_P(GeneratedSurvey, ConvertsTheSameFedByteByByteOrInBlocks) {
    const SurveyCase& c = GetParam();
    const std::string input = generate::generateObservationText(small(c.survey, c.types, 0.25));

    const Converted blocks = convertBytes(input, std::size_t{1} << 20);
    EXPECT_EQ(blocks.outcome, c.outcome);
    EXPECT_EQ(convertBytes(input, 0).output, blocks.output);
    EXPECT_EQ(convertBytes(input, 4093).output, blocks.output);
}

std::vector<SurveyCase> surveyCases() {
    std::vector<SurveyCase> cases = {
        {"StaticValid", Survey::StaticValid, 7, Outcome::StaticData},
        {"StaticBadId", Survey::StaticBadId, 7, Outcome::ConvertedStatic},
    };
    static const char* const kNames[] = {
        "",       "Types1", "Types2",  "Types3",  "Types4",  "Types5",  "Types6",  "Types7",
        "Types8", "Types9", "Types10", "Types11", "Types12", "Types13", "Types14", "Types15"};
    for (int types = 1; types <= 15; ++types) {
        cases.push_back({kNames[types], Survey::Kinematic, types, Outcome::Converted});
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Surveys, GeneratedSurvey, testing::ValuesIn(surveyCases()),
                         [](const auto& test) { return std::string(test.param.name); });

TEST(Generator, SameOptionsGiveTheSameBytesAndTheSizeAskedFor) {
    GeneratorOptions options = small(Survey::Kinematic, 7, 2.0);
    const std::string first = generate::generateObservationText(options);
    EXPECT_EQ(generate::generateObservationText(options), first);
    // The file ends with the first complete epoch that reaches the size: a few kilobytes over.
    EXPECT_GT(first.size(), (2u << 20) - 8192);
    EXPECT_LT(first.size(), (2u << 20) + 8192);

    options.seed = 43;
    EXPECT_NE(generate::generateObservationText(options), first);
}

// The layout the converter and the benchmarks rely on: 82-byte header records, 20 to 28
// satellites an epoch with continuation lines, observation lines without trailing blanks, and
// one occupation a minute that receives the next site identifier.
TEST(Generator, WritesTheStopAndGoLayout) {
    const std::string input = generate::generateObservationText(small(Survey::Kinematic, 7, 1.0));
    const std::size_t headerEnd = headerBytes(input);
    for (const std::string_view line : linesOf(std::string_view(input).substr(0, headerEnd))) {
        ASSERT_EQ(line.size(), 82u) << line;
    }

    int epochs = 0;
    int occupations = 0;
    bool continuationSeen = false;
    const auto lines = linesOf(std::string_view(input).substr(headerEnd));
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view line = lines[i];
        ASSERT_TRUE(line.ends_with("\r\n"));
        if (line.size() != 82) {
            EXPECT_FALSE(line.ends_with(" \r\n")) << line;
        }
        if (isOccupation(line)) {
            ++occupations;
            EXPECT_NE(lines[i + 1].find("COMMENT"), std::string_view::npos);
        } else if (isEpochRecord(line) && line[28] == '0') {
            ++epochs;
            const int satellites = std::atoi(std::string(line.substr(29, 3)).c_str());
            EXPECT_GE(satellites, 20);
            EXPECT_LE(satellites, 28);
            continuationSeen = continuationSeen || satellites > 12;
        }
    }
    EXPECT_GT(epochs, 200);
    EXPECT_TRUE(continuationSeen);
    EXPECT_GE(occupations, epochs / 60 - 1);

    const std::string output = convertBytes(input, std::size_t{1} << 20).output;
    std::string expectedSites;
    for (int site = 0; site < occupations; ++site) {
        char id[16];
        std::snprintf(id, sizeof id, "%03xK", site);
        expectedSites += id;
    }
    std::string sites;
    for (const std::string_view line : linesOf(output)) {
        if (line.ends_with("K                                                        MARKER NAME"
                           "         \r\n")) {
            sites += line.substr(0, 4);
        }
    }
    EXPECT_EQ(sites, expectedSites);
}

TEST(GeneratorProgram, WritesWhatTheLibraryGenerates) {
    const TempDir dir;
    const std::string command = std::string(FERRULE_GENERATE_BINARY) +
                                " --seed 42 --size-mb 0.25 --types=5 --static-bad-id " +
                                (dir / "site.19o").string() + " 2>/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(readFile(dir / "site.19o"),
              generate::generateObservationText(small(Survey::StaticBadId, 5, 0.25)));
}

TEST(GeneratorProgram, RefusesWhatItCannotGenerate) {
    for (const char* arguments :
         {"--types 16 out.19o", "--rate 3 out.19o", "--size-mb 0 out.19o", "--bogus out.19o",
          "--seed", "--static-valid --static-bad-id x", ""}) {
        const TempDir dir;
        const std::string command = "cd " + dir.path().string() + " && " + FERRULE_GENERATE_BINARY +
                                    " " + arguments + " 2>/dev/null";
        const int status = std::system(command.c_str());
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << arguments;
        EXPECT_TRUE(dir.entries().empty()) << arguments;
    }
}

}  // namespace
}  // namespace ferrule::test
