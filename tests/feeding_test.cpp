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

}  // namespace
}  // namespace ferrule::test
