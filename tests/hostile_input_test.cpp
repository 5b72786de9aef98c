// Hostile inputs given to the built program: a line of a gigabyte, a gigabyte without a line feed,
// ten million empty lines, a header that never ends, epochs announcing 999 satellites. Each must
// end with the outcome the rules give, in time proportional to its size, in bounded memory, with
// nothing of the input dropped. The inputs are generated on disk piece by piece and compared the
// same way, so the test itself never holds them in memory.
//
// FERRULE_HOSTILE_BYTES sets the size of the long-line cases (default 1 GiB).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>

#include "app/messages.h"
#include "tests/support/test_support.h"

namespace ferrule::test {
namespace {

// A file described as pieces: each piece's text, repeated.
struct Piece {
    std::string text;
    std::uint64_t repeat = 1;
};
using Pieces = std::vector<Piece>;

std::uint64_t sizeOf(const Pieces& pieces) {
    std::uint64_t size = 0;
    for (const Piece& piece : pieces) size += piece.text.size() * piece.repeat;
    return size;
}

void writePieces(const fs::path& path, const Pieces& pieces) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::string chunk;
    for (const Piece& piece : pieces) {
        for (std::uint64_t done = 0; done < piece.repeat;) {
            chunk.clear();
            for (; done < piece.repeat && chunk.size() < (1u << 20); ++done) chunk += piece.text;
            out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        }
    }
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

// Streams the file against the pieces. Returns "" when they hold the same bytes.
std::string compareWithPieces(const fs::path& path, const Pieces& pieces) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return "cannot read " + path.string();
    std::string expected;
    std::string actual;
    std::uint64_t offset = 0;
    const auto compare = [&]() -> std::string {
        actual.resize(expected.size());
        in.read(actual.data(), static_cast<std::streamsize>(actual.size()));
        actual.resize(static_cast<std::size_t>(in.gcount()));
        if (actual == expected) {
            offset += actual.size();
            expected.clear();
            return "";
        }
        std::size_t at = 0;
        while (at < actual.size() && actual[at] == expected[at]) ++at;
        return "first difference at byte " + std::to_string(offset + at) +
               (at == actual.size() ? " (the file ends)" : "");
    };
    for (const Piece& piece : pieces) {
        for (std::uint64_t done = 0; done < piece.repeat; ++done) {
            expected += piece.text;
            if (expected.size() >= (1u << 20)) {
                if (std::string difference = compare(); !difference.empty()) return difference;
            }
        }
    }
    if (std::string difference = compare(); !difference.empty()) return difference;
    if (in.peek() != std::char_traits<char>::eof()) {
        return "the file goes on after byte " + std::to_string(offset);
    }
    return "";
}

std::uint64_t hostileBytes() {
    const char* value = std::getenv("FERRULE_HOSTILE_BYTES");
    return value != nullptr ? std::strtoull(value, nullptr, 10) : std::uint64_t{1} << 30;
}

constexpr bool kSanitized =
#if defined(__SANITIZE_ADDRESS__)
    true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    true;
#else
    false;
#endif
#else
    false;
#endif

// Peak memory and time of the program. A sanitizer or a wrapper (valgrind) measures itself.
void expectBoundedRun(const ProgramRun& run, std::uint64_t inputBytes) {
    const double megabytes = static_cast<double>(inputBytes) / 1e6;
    std::printf("    %.0f MB in %.2f s, peak resident %ld KiB\n", megabytes, run.seconds,
                run.maxResidentKiB);
    if (kSanitized || !testWrapper().empty()) return;
    // The figure is an upper bound: it includes the pages of this test process that the child
    // held between fork and exec.
    EXPECT_LT(run.maxResidentKiB, 64 * 1024);
    // Proportional to the size: at least 20 MB/s, with room for a slow disk.
    EXPECT_LT(run.seconds, 20 + megabytes / 20);
}
// 64 bytes with no line end, no digit in the event-flag column 28 and no blank.
const std::string kFiller = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+-";

const std::string kBlockTail =
    "                            4  1\r\n"
    "               ***  ANTENNA IS NOW MOVING  ***              COMMENT             \r\n";

std::string kinematicHeader() {
    const std::string example = sourceFile("examples/kinematic.19o");
    return example.substr(0, example.find("END OF HEADER") + 22);
}

std::string kinematicObservations() {
    const std::string example = sourceFile("examples/kinematic.19o");
    return example.substr(example.find("END OF HEADER") + 22);
}

// A line of a gigabyte where the second epoch line comes: it is that epoch line, gets the moving
// antenna block before it, and passes through whole; everything around it is converted as usual.
TEST(HostileInput, GigabyteLineInTheObservationSection) {
    if (!testWrapper().empty())
        GTEST_SKIP() << "too slow under " << std::getenv("FERRULE_TEST_WRAPPER");
    const std::uint64_t lineBytes = hostileBytes() / kFiller.size() * kFiller.size();
    const std::string observations = kinematicObservations();
    std::size_t split = 0;  // after the first epoch: its line and three observation lines
    for (int line = 0; line < 4; ++line) split = observations.find('\n', split) + 1;
    const std::string before = kinematicHeader() + observations.substr(0, split);
    const std::string after = observations.substr(split);

    // The same file with a short line of the same kind shows what is written around it.
    const std::string shortLine = kFiller + kFiller + "\r\n";
    const std::string shortOutput = convertBytes(before + shortLine + after).output;
    const std::size_t at = shortOutput.find(shortLine);
    ASSERT_NE(at, std::string::npos);
    ASSERT_EQ(shortOutput.substr(at - kBlockTail.size(), kBlockTail.size()), kBlockTail);

    const Pieces input{{before}, {kFiller, lineBytes / kFiller.size()}, {"\r\n"}, {after}};
    const Pieces output{{shortOutput.substr(0, at)},
                        {kFiller, lineBytes / kFiller.size()},
                        {shortOutput.substr(at + 2 * kFiller.size())}};
    const TempDir dir;
    writePieces(dir / "site.19o", input);

    const ProgramRun run = runFerrule({(dir / "site.19o").string()});

    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.substr(run.out.find('[')), ok(messages::kConverted));
    EXPECT_EQ(compareWithPieces(dir / "site.19o", output), "");
    EXPECT_EQ(compareWithPieces(dir / "site.19o_original", input), "");
    expectBoundedRun(run, sizeOf(input));
}

// One line with no line feed at all: a header error once it passes 65,536 bytes; the message
// quotes its first 255 bytes, and the program does not read on.
TEST(HostileInput, GigabyteWithoutALineFeed) {
    const Pieces input{{kFiller, hostileBytes() / kFiller.size()}};
    const TempDir dir;
    writePieces(dir / "site.19o", input);

    const ProgramRun run = runFerrule({(dir / "site.19o").string()});

    std::string quoted;
    while (quoted.size() < 255) quoted += kFiller;
    quoted.resize(255);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, ng(messages::headerError(quoted)));
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"site.19o"});
    EXPECT_EQ(compareWithPieces(dir / "site.19o", input), "");
    expectBoundedRun(run, sizeOf(input));
}

// An endless input (a device that yields zero bytes): the header error comes all the same. NUL
// bytes leave the quoted line empty.
TEST(HostileInput, EndlessInputOfZeroBytes) {
    if (!fs::exists("/dev/zero")) GTEST_SKIP() << "no /dev/zero on this machine";
    const TempDir dir;
    fs::create_symlink("/dev/zero", dir / "site.19o");

    const ProgramRun run = runFerrule({(dir / "site.19o").string()});

    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, ng(messages::headerError("")));
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"site.19o"});
    EXPECT_TRUE(fs::is_symlink(dir / "site.19o"));
}

// Ten million empty lines after the header: every one is an epoch line by the rules, so the first
// two get the moving-antenna block (with a blank epoch part); nothing else changes.
TEST(HostileInput, TenMillionEmptyLines) {
    constexpr std::uint64_t kLines = 10'000'000;
    const std::string block = std::string(28, ' ') + "2\r\n" + kBlockTail;
    const Pieces input{{kinematicHeader()}, {"\r\n", kLines}};
    const Pieces output{{kinematicHeader()}, {block + "\r\n", 2}, {"\r\n", kLines - 2}};
    const TempDir dir;
    writePieces(dir / "site.19o", input);

    const ProgramRun run = runFerrule({(dir / "site.19o").string()});

    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(compareWithPieces(dir / "site.19o", output), "");
    EXPECT_EQ(compareWithPieces(dir / "site.19o_original", input), "");
    expectBoundedRun(run, sizeOf(input));
}

// A header of 100,000 valid COMMENT lines that never reaches END OF HEADER: every line is
// written, and the file is converted unchanged.
TEST(HostileInput, HundredThousandCommentLinesWithoutEndOfHeader) {
    const std::string header = kinematicHeader();
    const std::string start = header.substr(0, header.size() - 82);  // without END OF HEADER
    const Pieces input{{start}, {record("   A COMMENT", "COMMENT"), 100'000}};
    const TempDir dir;
    writePieces(dir / "site.19o", input);

    const ProgramRun run = runFerrule({(dir / "site.19o").string()});

    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(compareWithPieces(dir / "site.19o", input), "");
    EXPECT_EQ(compareWithPieces(dir / "site.19o_original", input), "");
    expectBoundedRun(run, sizeOf(input));
}

// An epoch line announcing `count` satellites and naming `listed` of them (12 to a line), then
// one observation line for each listed satellite.
std::string epochOf(int count, int listed, int minute) {
    char line[64];
    std::snprintf(line, sizeof line, " 19  5 25  1 %2d  0.0000000  0%3d", minute, count);
    std::string text = line;
    for (int k = 0; k < listed; ++k) {
        if (k > 0 && k % 12 == 0) text += "\r\n" + std::string(32, ' ');
        char satellite[8];
        std::snprintf(satellite, sizeof satellite, "G%02d", k % 100);
        text += satellite;
    }
    text += "\r\n";
    for (int k = 0; k < listed; ++k) {
        text += "  21234568.26605  21235568.266 6  21236568.266 7  21237568.26608\r\n";
    }
    return text;
}

// The output with every moving-antenna block taken out, and how many there were. A block is the
// start moving record (an epoch part of 28 characters, the flag 2) and kBlockTail.
std::string withoutMovingAntennaBlocks(std::string output, int& blocks) {
    blocks = 0;
    for (std::size_t at = output.find(kBlockTail); at != std::string::npos;
         at = output.find(kBlockTail, at)) {
        const std::size_t start = at - 31;
        EXPECT_EQ(output.substr(at - 3, 3), "2\r\n");
        output.erase(start, 31 + kBlockTail.size());
        at = start;
        ++blocks;
    }
    return output;
}

// Epochs announcing 999 satellites: far more than the tables hold. With complete lists the first
// two epoch lines get the block; with lists cut short the lines that follow are taken for list
// and observation lines (an observation line with a digit in column 28 reads as an event epoch).
// Either way every line reaches the output, and only the two blocks are added.
TEST(HostileInput, EpochsAnnouncingNineHundredNinetyNineSatellites) {
    for (const int listed : {999, 3}) {
        SCOPED_TRACE(std::to_string(listed) + " satellites listed");
        std::string input = kinematicHeader();
        for (int minute = 0; minute < 4; ++minute) input += epochOf(999, listed, minute);
        for (int minute = 4; minute < 8; ++minute) input += epochOf(3, 3, minute);
        const TempDir dir;
        writeFile(dir / "site.19o", input);

        const ProgramRun run = runFerrule({(dir / "site.19o").string()});

        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(readFile(dir / "site.19o_original"), input);
        const std::string output = readFile(dir / "site.19o");
        const std::size_t firstEpoch = kinematicHeader().size();
        EXPECT_EQ(output.substr(firstEpoch, 31), input.substr(firstEpoch, 28) + "2\r\n");
        int blocks = 0;
        EXPECT_TRUE(withoutMovingAntennaBlocks(output, blocks) == input)
            << "output of " << output.size() << " bytes for " << input.size();
        EXPECT_EQ(blocks, 2);
        expectBoundedRun(run, input.size());
    }
}

}  // namespace
}  // namespace ferrule::test
