// The per-byte operations of the header and observation processors: fed the example kinematic
// file a byte at a time, they give each line, unchanged, when its line feed comes, and nothing
// before.
#include <gtest/gtest.h>

#include "header/header_processor.h"
#include "observation/observation_processor.h"
#include "tests/support/test_support.h"

namespace ferrule::detail {
namespace {

TEST(PerByte, GiveEachLineWhenItsLineFeedComes) {
    const std::string file = test::sourceFile("tests/cases/kinematic/input");
    HeaderProcessor header;
    ObservationProcessor observations(header.record());
    std::string lines;
    std::string line;
    bool inHeader = true;
    for (std::size_t at = 0; at < file.size(); ++at) {
        const int result = inHeader ? int{header.processHeaderChar(file[at], line)}
                                    : int{observations.processObservationChar(file[at], line)};
        EXPECT_EQ(result != 0, file[at] == '\n') << "at byte " << at;
        if (result != 0) lines += line;
        inHeader = inHeader && result != HeaderEnd;
    }
    EXPECT_EQ(lines, file);
}

}  // namespace
}  // namespace ferrule::detail
