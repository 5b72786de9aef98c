// libFuzzer target on the conversion library. Besides crashes and sanitizer findings it checks,
// for every input:
//  1. fed in blocks of sizes drawn from the input, with the debug text on for one input in four,
//     the conversion gives the same bytes and outcome as fed byte by byte;
//  2. nothing of the input is lost: every line up to the one the conversion stopped on comes out
//     unchanged, or as its rewritten record (a repaired MARKER NAME record, a flag-2 record with
//     the record count, a flag-4 record as the next site's MARKER NAME record), and the only
//     records added are at most two moving-antenna blocks;
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "ferrule/ferrule.h"
#include "report/report.h"

namespace {

using ferrule::Outcome;

[[noreturn]] void fail(const char* what, std::size_t where = 0) {
    std::fprintf(stderr, "invariant broken: %s (at byte %zu)\n", what, where);
    std::abort();
}

struct Fed {
    std::string output;
    Outcome outcome;
    std::size_t taken;  // the bytes before the line the conversion stopped on
};

// Seed 0: byte by byte. Otherwise blocks from a generator seeded with the input's hash: mostly
// short ones that split lines anywhere, some of a few kilobytes, now and then all the rest.
Fed convert(std::string_view input, std::uint64_t seed, bool debug = false) {
    Fed fed{{}, Outcome::InProgress, input.size()};
    ferrule::StreamConverter converter([&](std::string_view bytes) { fed.output += bytes; },
                                       debug ? [](std::string_view) {} : ferrule::DebugFunction());
    std::uint64_t state = seed | 1;
    for (std::size_t at = 0; at < input.size();) {
        state ^= state << 13, state ^= state >> 7, state ^= state << 17;
        std::size_t size = state % 7 == 0 ? 1 + (state >> 8) % 5000 : 1 + state % 97;
        if (seed == 0 || state % 23 == 0) size = seed == 0 ? 1 : input.size();
        const std::string_view block = input.substr(at, size);
        at += block.size();
        if (!converter.feed(block)) {
            const std::size_t lineFeed =
                at < 2 ? std::string_view::npos : input.rfind('\n', at - 2);
            fed.taken = lineFeed == std::string_view::npos ? 0 : lineFeed + 1;
            break;
        }
    }
    fed.outcome = converter.finish();
    // What the report shows of the survey must hold whatever the file: no sanitizer report.
    if (seed == 0) {
        const ferrule::Survey survey = converter.survey();
        const ferrule::ReportOptions options;
        std::string shown = ferrule::describeSurvey(survey, options);
        for (const auto& writer :
             {ferrule::detail::csvReport(options), ferrule::detail::htmlReport(options)}) {
            shown += writer->begin() + writer->add("site.19o", "?", &survey) + writer->end();
        }
        if (shown.empty()) fail("the report says nothing");
    }
    return fed;
}

// The line that starts at `at`, its line feed included; the rest of the text if it has none.
std::string_view lineAt(std::string_view text, std::size_t at) {
    const std::size_t lineFeed = text.find('\n', at);
    return text.substr(at, lineFeed == std::string_view::npos ? lineFeed : lineFeed + 1 - at);
}

// The moving-antenna block before an epoch line: the line's first 28 characters before its line
// end (its LF and a CR before that), padded with blanks, then the flag 2 and two records.
std::string block(std::string_view epochLine) {
    if (epochLine.ends_with('\n')) epochLine.remove_suffix(1);
    if (epochLine.ends_with('\r')) epochLine.remove_suffix(1);
    std::string first(epochLine.substr(0, 28));
    first.resize(28, ' ');
    return first + "2\r\n                            4  1\r\n" +
           "               ***  ANTENNA IS NOW MOVING  ***              COMMENT             \r\n";
}

std::string markerName(std::string_view id) {
    return std::string(id) +
           "                                                        MARKER NAME         \r\n";
}

// Walks the input's lines against the output, each line taken from where the last one ended.
void checkNothingLost(std::string_view input, std::string_view output, bool kinematic) {
    std::size_t in = 0;
    std::size_t out = 0;
    int blocks = 0;
    int site = 0;
    while (in < input.size()) {
        const std::string_view line = lineAt(input, in);
        const std::string_view rest = output.substr(out);
        const auto advance = [&](std::size_t written) {
            in += line.size();
            out += written;
        };
        char id[8];
        std::snprintf(id, sizeof id, "%03xK", static_cast<unsigned>(site));
        const std::string counted =
            std::string(line.substr(0, line.find_first_of("\r\n"))) + "  2\r\n";
        if (rest.starts_with(line)) {
            advance(line.size());
        } else if (kinematic && blocks < 2 && rest.starts_with(block(line))) {
            out += block(line).size();
            ++blocks;
        } else if (line.size() == 82 && line.substr(60, 11) == "MARKER NAME" &&
                   rest.substr(0, 82) == markerName(rest.substr(0, 4))) {
            advance(82);  // a repaired station identifier
        } else if (line.size() > 28 && line[28] == '2' && rest.starts_with(counted)) {
            advance(counted.size());
        } else if (line.size() > 28 && line[28] == '4' && rest.starts_with(markerName(id))) {
            advance(82);
            ++site;
        } else {
            fail("an input line is missing from the output", in);
        }
    }
    if (out != output.size()) fail("the output holds more than the input's lines", out);
}

std::uint64_t hashOf(std::string_view bytes) {
    std::uint64_t hash = 14695981039346656037ull;
    for (const char c : bytes) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    return hash;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::uint64_t seed = hashOf(input) | 1;
    const Fed bytes = convert(input, 0);
    const Fed blocks = convert(input, seed, seed % 4 == 1);
    if (blocks.output != bytes.output || blocks.outcome != bytes.outcome) {
        fail("blocks and bytes convert differently");
    }
    // Nothing written is kept after a refusal in the header, or of a file without data.
    if (ferrule::stoppedInHeader(bytes.outcome) || bytes.outcome == Outcome::EmptyInput ||
        bytes.outcome == Outcome::HeaderCutShort || bytes.outcome == Outcome::NoEpochs) {
        return 0;
    }
    // A header line of another length than 82 bytes is taken apart by the 82-byte rule, which may
    // repeat or shift bytes: there the first invariant is all.
    bool ended = false;
    for (std::size_t at = 0; at < input.size() && !ended; at += 82) {
        const std::string_view line = lineAt(input, at);
        if (line.size() != 82 && line.ends_with('\n')) return 0;
        ended = line.size() == 82 && line.substr(60, 13) == "END OF HEADER";
    }
    checkNothingLost(input.substr(0, bytes.taken), bytes.output,
                     bytes.outcome == Outcome::Converted);
    return 0;
}
