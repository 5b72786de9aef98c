// The per-byte operations of the header and observation processors: fed the example kinematic
// file a byte at a time, they give each line with the result code that the block operations give
// it, and nothing in between.
#include <gtest/gtest.h>

#include "header/header_processor.h"
#include "observation/observation_processor.h"
#include "tests/support/test_support.h"

namespace ferrule::detail {
namespace {

TEST(PerByte, GivesTheLinesAndCodesOfTheBlockOperations) {
    const std::string file = test::sourceFile("examples/kinematic.19o");
    std::string byBlocks;  // each line's result code and text
    std::string_view rest = file;
    std::string line;
    HeaderProcessor header;
    for (int result = HeaderNone; result != HeaderEnd;) {
        std::size_t consumed = 0;
        result = header.processHeaderBytes(rest, consumed, line);
        rest.remove_prefix(consumed);
        byBlocks += std::to_string(result) + line;
    }
    ObservationProcessor observations(header.record());
    while (!rest.empty()) {
        std::size_t consumed = 0;
        std::string_view view;
        const int result = observations.processObservationBytes(rest, consumed, view);
        rest.remove_prefix(consumed);
        byBlocks += std::to_string(result) + std::string(view);
    }

    std::string byBytes;
    HeaderProcessor headerByBytes;
    ObservationProcessor observationsByBytes(headerByBytes.record());
    bool inHeader = true;
    for (const char ch : file) {
        const int result = inHeader ? int{headerByBytes.processHeaderChar(ch, line)}
                                    : int{observationsByBytes.processObservationChar(ch, line)};
        if (result != 0) byBytes += std::to_string(result) + line;
        inHeader = inHeader && result != HeaderEnd;
    }
    EXPECT_EQ(byBytes, byBlocks);
}

}  // namespace
}  // namespace ferrule::detail
