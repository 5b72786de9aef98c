// Fed in blocks, the conversion takes an epoch's observation lines in one run; fed byte by byte,
// or with the debug channel on, it looks at every line. All three must give the same output, also
// for files whose structure strays from the rules.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "tests/support/test_support.h"
#include "tools/generate/observation_generator.h"

namespace ferrule::test {
namespace {

std::vector<std::string> splitLines(std::string_view text) {
    std::vector<std::string> lines;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size() - 1);
        lines.emplace_back(text.substr(0, end + 1));
        text.remove_prefix(end + 1);
    }
    return lines;
}

// A generated kinematic survey with `seed`-chosen faults in its observation section: event flags
// anywhere (1 and 6 included), odd satellite counts, lost and repeated lines, records where
// observation lines belong, short special records, clock offsets, long lines, bare LF endings and
// NUL bytes.
std::string strayingSurvey(unsigned seed) {
    generate::GeneratorOptions options;
    options.seed = seed;
    options.sizeMiB = 0.3;
    options.typeCount = 1 + static_cast<int>(seed % 15);
    const std::string text = generate::generateObservationText(options);
    const std::size_t headerEnd = text.find("END OF HEADER") + 22;
    std::vector<std::string> lines = splitLines(std::string_view(text).substr(headerEnd));

    std::mt19937 random(seed);
    const auto pick = [&](std::size_t n) { return static_cast<std::size_t>(random() % n); };
    for (int fault = 0; fault < 30; ++fault) {
        const std::size_t i = 2 + pick(lines.size() - 2);
        std::string& line = lines[i];
        switch (pick(10)) {
            case 0:
                if (line.size() > 30) line[28] = "1234569"[pick(7)];
                break;
            case 1:
                if (line.size() > 32)
                    line.replace(29, 3,
                                 std::vector<std::string>{"  0", " -1", " 13", " 25", " 37",
                                                          "150"}[pick(6)]);
                break;
            case 2:
                lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(i));
                break;
            case 3:
                lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(i),
                             std::string(80, 'X') + "\r\n");
                break;
            case 4:
                lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(i),
                             "   SHORT COMMENT\r\n");
                break;
            case 5:
                if (line.size() > 34 && line.size() < 70) {
                    line = line.substr(0, line.size() - 2);
                    line.resize(68, ' ');
                    line += "  0.123456789\r\n";
                }
                break;
            case 6:
                lines.insert(
                    lines.begin() + static_cast<std::ptrdiff_t>(i),
                    std::string(std::vector<std::size_t>{300, 70000}[pick(2)], ' ') + "\r\n");
                break;
            case 7:
                if (line.size() > 2 && line[line.size() - 2] == '\r')
                    line.erase(line.size() - 2, 1);
                break;
            case 8:
                if (line.size() > 6) line[5] = '\0';
                break;
            case 9:
                lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(i),
                             " 19  5 25  1  3  0.0000000  " + std::string(1, "123456"[pick(6)]) +
                                 std::vector<std::string>{"", "  1", "  2", " 13"}[pick(4)] +
                                 "\r\n");
                break;
        }
    }
    std::string result = text.substr(0, headerEnd);
    for (const std::string& line : lines) result += line;
    if (seed % 2 == 0) result += "a last line without its line feed";
    return result;
}

std::string convertWithDebugOn(std::string_view input, std::size_t blockSize) {
    StringSink sink;
    RecordingDebugChannel debug;
    Conversion conversion(sink, debug);
    for (std::size_t at = 0; at < input.size(); at += blockSize) {
        if (!conversion.feed(input.substr(at, blockSize))) break;
    }
    conversion.finish();
    return sink.text;
}

TEST(BlockFeeding, GivesTheSameOutputAsByteFeedingForStrayingFiles) {
    for (unsigned seed = 1; seed <= 24; ++seed) {
        SCOPED_TRACE(testing::Message() << "seed " << seed);
        const std::string input = strayingSurvey(seed);
        const Converted bytes = convertBytes(input, 0);
        for (const std::size_t blockSize :
             {std::size_t{1} << 20, std::size_t{977}, std::size_t{65536}}) {
            const Converted blocks = convertBytes(input, blockSize);
            EXPECT_EQ(blocks.outcome, bytes.outcome);
            ASSERT_EQ(blocks.output, bytes.output) << "block size " << blockSize;
        }
        EXPECT_EQ(convertWithDebugOn(input, std::size_t{1} << 20), bytes.output);
    }
}

}  // namespace
}  // namespace ferrule::test
