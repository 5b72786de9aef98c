// The library interface of include/ferrule/ferrule.h: bytes in, bytes and an outcome out, and
// what the user is told.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/messages.h"
#include "ferrule/ferrule.h"
#include "tests/support/test_support.h"

namespace ferrule::test {
namespace {

TEST(Library, ConvertsAWholeText) {
    const Result result = convert(sourceFile("examples/kinematic.19o"));
    EXPECT_EQ(result.outcome, Outcome::Converted);
    EXPECT_EQ(result.output, sourceFile("tests/golden/kinematic.19o.expected"));
    EXPECT_EQ(result.headerErrorLine, "");
}

TEST(Library, StreamGivesTheSameOutputForAnyDivisionOfTheInput) {
    const std::string input = sourceFile("examples/kinematic.19o");
    for (const std::size_t blockSize : {1, 2, 81, 82, 83, 1000}) {
        SCOPED_TRACE(blockSize);
        std::string output;
        StreamConverter converter([&](std::string_view bytes) { output.append(bytes); });
        EXPECT_EQ(converter.outcome(), Outcome::InProgress);
        for (std::size_t at = 0; at < input.size(); at += blockSize) {
            ASSERT_TRUE(converter.feed(std::string_view(input).substr(at, blockSize)));
        }
        EXPECT_EQ(converter.finish(), Outcome::Converted);
        EXPECT_EQ(converter.outcome(), Outcome::Converted);
        EXPECT_EQ(output, sourceFile("tests/golden/kinematic.19o.expected"));
    }
}

TEST(Library, StopsAtAHeaderErrorAndIgnoresTheRest) {
    std::string output;
    StreamConverter converter([&](std::string_view bytes) { output.append(bytes); });
    const std::string bad = record("     0", "RCV CLOCK OFFS APPL");
    EXPECT_FALSE(converter.feed(bad));
    EXPECT_FALSE(converter.feed(sourceFile("examples/kinematic.19o")));
    EXPECT_EQ(converter.finish(), Outcome::HeaderError);
    EXPECT_EQ(converter.headerErrorLine(), bad);
    EXPECT_EQ(output, "");
}

TEST(Library, DebugTextOnlyWithADebugFunction) {
    const std::string input = sourceFile("examples/static_bad_id.19o");
    std::vector<std::string> debug;
    StreamConverter converter([](std::string_view) {},
                              [&](std::string_view text) { debug.emplace_back(text); });
    converter.feed(input);
    EXPECT_EQ(converter.finish(), Outcome::ConvertedStatic);
    EXPECT_EQ(debug.front(), std::string(input.substr(0, 82)) + "\n");
    EXPECT_NE(std::find(debug.begin(), debug.end(), "Static Data:StationID change\n"), debug.end());

    // A converter moved into another place keeps converting.
    std::string output;
    StreamConverter first([&](std::string_view bytes) { output.append(bytes); });
    StreamConverter moved = std::move(first);
    moved.feed(input);
    EXPECT_EQ(moved.finish(), Outcome::ConvertedStatic);
    EXPECT_EQ(output, sourceFile("tests/golden/static_bad_id.19o.expected"));
}

struct Told {
    Outcome outcome;
    std::string_view caption;
    std::string message;
};

TEST(Library, CaptionAndMessageOfEveryOutcome) {
    const std::string line = record("     0", "RCV CLOCK OFFS APPL");
    const std::vector<Told> cases{
        {Outcome::Converted, "OK", std::string(messages::kConverted)},
        {Outcome::ConvertedStatic, "OK", std::string(messages::kConvertedStatic)},
        {Outcome::HeaderError, "NG", messages::headerError(line)},
        {Outcome::GsiData, "NG", std::string(messages::kGsiData)},
        {Outcome::StaticData, "NG", std::string(messages::kStaticData)},
        {Outcome::AlreadyConverted, "NG", std::string(messages::kAlreadyConverted)},
        {Outcome::SiteIdLimit, "NG", std::string(messages::kSiteIdLimit)},
    };
    for (const Told& told : cases) {
        SCOPED_TRACE(static_cast<int>(told.outcome));
        EXPECT_EQ(outcomeCaption(told.outcome), told.caption);
        EXPECT_EQ(outcomeMessage(told.outcome, line), told.message);
        EXPECT_EQ(isConverted(told.outcome), told.caption == "OK");
    }
    EXPECT_EQ(std::string(FERRULE_VERSION), std::to_string(FERRULE_VERSION_MAJOR) + "." +
                                                std::to_string(FERRULE_VERSION_MINOR) + "." +
                                                std::to_string(FERRULE_VERSION_PATCH));
}

}  // namespace
}  // namespace ferrule::test
