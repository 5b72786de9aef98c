// Feeding a conversion byte by byte or in blocks of any size gives the same bytes and outcome.
#include <gtest/gtest.h>

#include "tests/support/test_support.h"

namespace ferrule::test {
namespace {

std::vector<std::string> inputs() {
    std::vector<std::string> files;
    for (const char* name :
         {"examples/kinematic.19o", "examples/static_bad_id.19o", "examples/static_valid.19o",
          "examples/gsi.19o", "tests/golden/fourteen_satellites.19o",
          "tests/golden/twelve_types.19o", "tests/golden/kinematic.19o.expected"}) {
        files.push_back(sourceFile(name));
    }
    // A classified header line longer than the one before it is written whole.
    std::string longLine = sourceFile("examples/kinematic.19o");
    longLine.insert(82 + 40, std::string(300, 'x'));
    files.push_back(longLine);
    return files;
}

TEST(Feeding, ByteByByteAndInBlocksGiveTheSameResult) {
    for (const std::string& input : inputs()) {
        const Converted byBytes = convertBytes(input, 0);
        ASSERT_FALSE(byBytes.output.empty());
        EXPECT_EQ(byBytes.output.substr(0, 82), input.substr(0, 82));
        for (const std::size_t blockSize : {1u, 7u, 81u, 82u, 83u, 4096u, 1u << 20}) {
            SCOPED_TRACE(blockSize);
            const Converted byBlocks = convertBytes(input, blockSize);
            EXPECT_EQ(byBlocks.output, byBytes.output);
            EXPECT_EQ(byBlocks.outcome, byBytes.outcome);
            EXPECT_EQ(byBlocks.headerErrorLine, byBytes.headerErrorLine);
        }
    }
}

// The bytes after the last line feed are written unchanged. Block feeding classifies a line by
// its first 65,536 bytes once it has that many, before it can know that no line feed follows: a
// last line of that length without a line feed is then rewritten by the event rules (here a
// flag-4 record inside a moving period is replaced by a MARKER NAME record, and the line is lost),
// while byte feeding writes it unchanged. Disabled until the rule for such a line is decided.
TEST(Feeding, DISABLED_LongLastLineWithoutLineFeedIsWrittenUnchanged) {
    const std::string example = sourceFile("examples/kinematic.19o");
    std::string input = example.substr(0, example.find(" 19  5 25  1  2 31"));
    input += " 19  5 25  1  3  0.0000000  2\r\n";
    const std::string lastLine = "                            4  1" + std::string(70'000, 'x');
    input += lastLine;

    const Converted byBytes = convertBytes(input, 0);
    const Converted byBlocks = convertBytes(input, 1 << 20);
    EXPECT_TRUE(byBytes.output.ends_with(lastLine));
    EXPECT_TRUE(byBlocks.output.ends_with(lastLine));
    EXPECT_EQ(byBlocks.output.size(), byBytes.output.size());
}

}  // namespace
}  // namespace ferrule::test
