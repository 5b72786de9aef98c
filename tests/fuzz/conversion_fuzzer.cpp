// libFuzzer target on the conversion core. Besides crashes and sanitizer findings it checks, for
// every input:
//  1. byte-fed and block-fed conversion (block sizes drawn from the input; the debug channel off,
//     and for one input in 4 also on) give the same bytes, outcome and quoted header line;
//  2. nothing of the input is lost: the observation section of the output, with the inserted
//     moving-antenna blocks taken out and the rewritten event records put back, is the input's
//     up to the line the conversion stopped on; a header of 82-byte lines comes out line for line,
//     but for a repaired MARKER NAME record;
//  3. the output of a converted kinematic file whose section opens with the block is refused as
//     already converted when it is fed again.
// One input in 16 is also tried with one of its lines stretched past 65,536 bytes, which the
// conversion classifies by its head and streams.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/conversion.h"
#include "common/output.h"

namespace {

using ferrule::Conversion;
using ferrule::Outcome;

class StringSink final : public ferrule::OutputSink {
  public:
    void write(std::string_view bytes) override { text.append(bytes); }
    std::string text;
};

// On: every debug line is formatted, then dropped.
class DroppingDebugChannel final : public ferrule::DebugChannel {
  public:
    DroppingDebugChannel() : DebugChannel(true) {}
    void emit(const char*) override {}
};

// Reports a broken invariant of the given or the stretched form of the input, and aborts.
[[noreturn]] void fail(const char* form, const char* what, std::size_t where = 0) {
    std::fprintf(stderr, "invariant broken: %s (at byte %zu of the %s input)\n", what, where, form);
    std::abort();
}

struct ByteFed {
    std::string output;
    Outcome outcome;
    std::string headerErrorLine;
    bool kinematic;
    std::size_t inputHeaderEnd = std::string::npos;  // after the END OF HEADER line
    std::size_t outputHeaderEnd = std::string::npos;
    std::size_t stopByte = std::string::npos;  // the byte on which the conversion stopped
};

ByteFed convertByteByByte(std::string_view input) {
    StringSink sink;
    ferrule::SilentDebugChannel debug;
    Conversion conversion(sink, debug);
    ByteFed result{};
    for (std::size_t at = 0; at < input.size(); ++at) {
        const bool going = conversion.feedByte(input[at]);
        if (conversion.observationPhase() && result.inputHeaderEnd == std::string::npos) {
            result.inputHeaderEnd = at + 1;
            result.outputHeaderEnd = sink.text.size();
        }
        if (!going) {
            result.stopByte = at;
            break;
        }
    }
    result.outcome = conversion.finish();
    result.output = std::move(sink.text);
    result.headerErrorLine = conversion.headerErrorLine();
    result.kinematic = conversion.kinematicMode();
    return result;
}

struct BlockFed {
    std::string output;
    Outcome outcome;
    std::string headerErrorLine;
};

// Block sizes from a generator seeded with the input's hash: mostly short blocks that split lines
// anywhere, some of a few kilobytes, now and then the rest of the input. With the debug channel
// off, the observation lines of an epoch are passed on in runs without being looked at one by
// one; with it on, every line is formatted.
BlockFed convertInBlocks(std::string_view input, std::uint64_t seed, bool debugOn = false) {
    StringSink sink;
    DroppingDebugChannel dropping;
    ferrule::SilentDebugChannel silent;
    Conversion conversion(sink, debugOn ? static_cast<ferrule::DebugChannel&>(dropping) : silent);
    std::uint64_t state = seed | 1;
    for (std::size_t at = 0; at < input.size();) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        std::size_t size = 1 + state % 97;
        if (state % 7 == 0) size = 1 + (state >> 8) % 5000;
        if (state % 23 == 0) size = input.size();
        const std::string_view block = input.substr(at, size);
        at += block.size();
        if (!conversion.feed(block)) break;
    }
    const Outcome outcome = conversion.finish();
    return {std::move(sink.text), outcome, conversion.headerErrorLine()};
}

std::uint64_t hashOf(std::string_view bytes) {
    std::uint64_t hash = 14695981039346656037ull;
    for (const char c : bytes) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    return hash;
}

bool converted(Outcome outcome) {
    return outcome == Outcome::Converted || outcome == Outcome::ConvertedStatic;
}

// The line of `text` that starts at `at`: up to and including its line feed, or to the end.
std::string_view lineAt(std::string_view text, std::size_t at) {
    const std::size_t lineFeed = text.find('\n', at);
    return text.substr(
        at, lineFeed == std::string_view::npos ? std::string_view::npos : lineFeed + 1 - at);
}

std::size_t lineStartOf(std::string_view text, std::size_t at) {
    const std::size_t lineFeed = at == 0 ? std::string_view::npos : text.rfind('\n', at - 1);
    return lineFeed == std::string_view::npos ? 0 : lineFeed + 1;
}

bool hasDigitAt(std::string_view line, std::size_t column, char digit) {
    return line.size() > column && line[column] == digit;
}

std::string_view beforeLineEnd(std::string_view line) {
    line = line.substr(0, line.find('\n'));
    return line.substr(0, line.find('\r'));
}

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

constexpr std::string_view kBlockSecondLine = "                            4  1\r\n";
constexpr std::string_view kBlockComment =
    "               ***  ANTENNA IS NOW MOVING  ***              COMMENT             \r\n";
constexpr std::string_view kMarkerNameTail =
    "                                                        MARKER NAME         \r\n";

// The moving-antenna block for an epoch line: its characters before the line end (its final LF
// and a CR before that), cut or padded to 28, the flag 2, then the two records.
std::string blockFor(std::string_view epochLine) {
    if (epochLine.ends_with('\n')) epochLine.remove_suffix(1);
    if (epochLine.ends_with('\r')) epochLine.remove_suffix(1);
    std::string first(epochLine.substr(0, 28));
    first.resize(28, ' ');
    return first + "2\r\n" + std::string(kBlockSecondLine) + std::string(kBlockComment);
}

std::string siteRecord(int siteId) {
    char id[16];
    std::snprintf(id, sizeof id, "%03xK", static_cast<unsigned>(siteId));
    return id + std::string(kMarkerNameTail);
}

// Walks the input's observation lines against the output. Each input line either comes out
// unchanged, or as its rewritten record (a flag-2 record with the record count, a flag-4 record
// as the next site's MARKER NAME record); a kinematic file's output may hold a moving-antenna
// block for the epoch line that follows it, at most twice.
void checkObservationSection(const char* form, std::string_view input, std::string_view output,
                             bool kinematic) {
    std::size_t in = 0;
    std::size_t out = 0;
    int blocks = 0;
    int nextSiteId = 0;
    while (in < input.size()) {
        const std::string_view line = lineAt(input, in);
        const std::string_view rest = output.substr(out);
        if (startsWith(rest, line)) {
            in += line.size();
            out += line.size();
            continue;
        }
        if (kinematic && blocks < 2 && startsWith(rest, blockFor(line))) {
            out += blockFor(line).size();
            ++blocks;
            continue;
        }
        if (hasDigitAt(line, 28, '2')) {
            const std::string counted = std::string(beforeLineEnd(line)) + "  2\r\n";
            if (startsWith(rest, counted)) {
                in += line.size();
                out += counted.size();
                continue;
            }
        }
        if (hasDigitAt(line, 28, '4') && startsWith(rest, siteRecord(nextSiteId))) {
            in += line.size();
            out += siteRecord(nextSiteId).size();
            ++nextSiteId;
            continue;
        }
        fail(form, "an observation line is missing from the output", in);
    }
    if (out != output.size()) fail(form, "the output holds more than the input's lines", out);
}

// A header of 82-byte lines comes out line for line; a MARKER NAME record may be repaired.
void checkHeader(const char* form, std::string_view input, std::string_view output) {
    for (std::size_t at = 0; at < input.size(); at += 82) {
        const std::string_view line = lineAt(input, at);
        if (line.size() != 82 && line.back() == '\n') return;  // shifted: the 82-byte rule decides
    }
    for (std::size_t at = 0; at < output.size(); at += 82) {
        const std::string_view in = input.substr(at, 82);
        const std::string_view out = output.substr(at, 82);
        if (in == out) continue;
        const bool repaired = in.size() == 82 && in.substr(60, 20) == "MARKER NAME         " &&
                              out.size() == 82 && out.substr(4) == kMarkerNameTail;
        if (!repaired) fail(form, "a header line is changed", at);
    }
    if (output.size() != input.size()) fail(form, "the header is not written whole", output.size());
}

void checkConversion(const char* form, std::string_view input, std::uint64_t seed) {
    const ByteFed bytes = convertByteByByte(input);
    const BlockFed blocks = convertInBlocks(input, seed);
    if (blocks.output != bytes.output) fail(form, "block-fed output differs from byte-fed");
    if (seed % 4 == 0) {
        const BlockFed shown = convertInBlocks(input, seed >> 2, true);
        if (shown.output != bytes.output || shown.outcome != bytes.outcome) {
            fail(form, "block-fed output with the debug channel on differs from byte-fed");
        }
    }
    if (blocks.outcome != bytes.outcome) fail(form, "block-fed outcome differs from byte-fed");
    if (blocks.headerErrorLine != bytes.headerErrorLine) fail(form, "quoted header line differs");
    if (bytes.headerErrorLine.size() > 255) fail(form, "quoted header line too long");
    if (converted(bytes.outcome) != (bytes.stopByte == std::string::npos)) {
        fail(form, "a conversion both stopped and completed");
    }

    // What the conversion had taken in when it stopped: the lines before the stopping one.
    std::size_t taken = input.size();
    if (bytes.stopByte != std::string::npos) taken = lineStartOf(input, bytes.stopByte);

    if (bytes.inputHeaderEnd == std::string::npos) {
        checkHeader(form, input.substr(0, taken), bytes.output);
        return;
    }
    checkHeader(form, input.substr(0, bytes.inputHeaderEnd),
                std::string_view(bytes.output).substr(0, bytes.outputHeaderEnd));
    checkObservationSection(form, input.substr(bytes.inputHeaderEnd, taken - bytes.inputHeaderEnd),
                            std::string_view(bytes.output).substr(bytes.outputHeaderEnd),
                            bytes.kinematic);

    // A converted kinematic file whose section opens with the block is refused when fed again.
    const std::string_view section = std::string_view(bytes.output).substr(bytes.outputHeaderEnd);
    const bool sameHeader =
        bytes.output.compare(0, bytes.outputHeaderEnd, input, 0, bytes.inputHeaderEnd) == 0;
    if (bytes.outcome == Outcome::Converted && sameHeader && bytes.inputHeaderEnd < input.size() &&
        startsWith(section, blockFor(lineAt(input, bytes.inputHeaderEnd)))) {
        const BlockFed again = convertInBlocks(bytes.output, seed);
        if (again.outcome != Outcome::AlreadyConverted) fail(form, "converted output not refused");
        if (again.output != std::string_view(bytes.output).substr(0, bytes.outputHeaderEnd)) {
            fail(form, "refused output does not stop after its header");
        }
    }
}

// The input with one line stretched past the head the conversion keeps of a line: filler bytes
// inserted before the line's end, so its first columns stay as they were.
// Only a line that ends with its line feed is stretched; a long last line without one is covered
// by the unit tests of the conversion.
std::optional<std::string> stretched(std::string_view input, std::uint64_t seed) {
    std::size_t at = lineStartOf(input, static_cast<std::size_t>(seed % input.size()));
    if (!lineAt(input, at).ends_with('\n')) {
        if (at == 0) return std::nullopt;
        at = lineStartOf(input, at - 1);
    }
    const std::string_view line = lineAt(input, at);
    // Past column 30 where the line is that long, and always before its line feed.
    const std::size_t lineFeed = at + line.size() - 1;
    std::size_t insertAt = at + beforeLineEnd(line).size();
    if (insertAt - at < 30) insertAt = std::min(at + 30, lineFeed);
    const char filler = (seed >> 32) % 2 == 0 ? ' ' : static_cast<char>('A' + (seed >> 40) % 26);
    std::string result(input);
    result.insert(insertAt, 65536 + (seed >> 16) % 200, filler);
    return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::uint64_t seed = hashOf(input);
    checkConversion("given", input, seed);
    if (input.empty() || seed % 16 != 0) return 0;
    if (const std::optional<std::string> longer = stretched(input, seed)) {
        checkConversion("stretched", *longer, seed >> 4);
    }
    return 0;
}
