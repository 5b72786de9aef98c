// ferrule-generate: writes a realistic RINEX 2 observation file for tests and benchmarks.
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "tools/generate/observation_generator.h"

namespace {

using ferrule::generate::GeneratorOptions;
using ferrule::generate::Survey;

constexpr const char* kUsage =
    R"(Usage: ferrule-generate [options] OUTPUT

Writes a deterministic, realistic RINEX 2.11 observation file in ferrule's input layout:
a header of 80-column records ending in CR LF, epochs of 20 to 28 GPS and GLONASS
satellites (satellite lists continue on a second or third line), observation lines
with trailing blanks trimmed and some blank loss-of-lock and signal-strength fields.
A kinematic survey (the default) has MARKER NAME "????" and a stop-and-go pattern every
minute: on the whole minute a flag-2 record opens a moving period and a flag-4 record
with one COMMENT record announces the occupation; at 30 s a flag-2 record closes it.
The same options always give the same bytes.

OUTPUT is the file to write, or - for standard output.

Options:
  --seed N          seed of the simulated survey (default 1)
  --size-mb M       approximate size of the file in MiB (2^20 bytes), fractions
                    allowed (default 16); the file ends with a complete epoch
  --types N         observation types per satellite, 1 to 15 (default 7); the
                    types are the first N of L1 L2 C1 P1 P2 S1 S2 D1 D2 C2 L5 C5 D5 S5 P5,
                    so up to 5 types take one observation line, 6 to 10 two, 11 to 15 three
  --rate HZ         epochs per second (default 1); one of 1 2 5 10 20 50 100
  --static-valid    a static survey, MARKER NAME "AB12", without events
                    (ferrule refuses it: it needs no conversion)
  --static-bad-id   a static survey, MARKER NAME "BASE1", without events
                    (ferrule repairs the station identifier to "BASE")
  -h, --help        show this text

A kinematic file gets one occupation a minute, and ferrule can assign 2049 site
identifiers (000K to 800K): at 1 Hz that is about 300 MiB with 7 types. For larger
kinematic files raise the rate (--rate 10 keeps 2 GiB convertible).

Example:
  ferrule-generate --seed 7 --size-mb 256 day.19o
)";

int usageError(const std::string& problem) {
    std::fprintf(stderr, "ferrule-generate: %s\nTry 'ferrule-generate --help'.\n", problem.c_str());
    return 2;
}

template <typename Number>
bool parseNumber(std::string_view text, Number& value) {
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    return error == std::errc() && stop == end;
}

bool parseSize(const std::string& text, double& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtod(text.c_str(), &end);
    return errno == 0 && end == text.c_str() + text.size();
}

}  // namespace

int main(int argc, char** argv) {
    GeneratorOptions options;
    std::string output;
    bool haveOutput = false;
    int surveys = 0;

    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        std::string value;
        const auto equals = argument.find('=');
        const bool valueAttached = argument.starts_with("--") && equals != std::string::npos;
        if (valueAttached) {
            value = argument.substr(equals + 1);
            argument.resize(equals);
        }
        const bool takesValue = argument == "--seed" || argument == "--size-mb" ||
                                argument == "--types" || argument == "--rate";
        if (valueAttached && !takesValue) return usageError(argument + " takes no value");
        if (takesValue && !valueAttached) {
            if (i + 1 >= argc) return usageError(argument + " needs a value");
            value = argv[++i];
        }

        if (argument == "-h" || argument == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (argument == "--seed") {
            if (!parseNumber(value, options.seed)) return usageError("bad seed: " + value);
        } else if (argument == "--size-mb") {
            if (!parseSize(value, options.sizeMiB)) return usageError("bad size: " + value);
        } else if (argument == "--types") {
            if (!parseNumber(value, options.typeCount)) return usageError("bad types: " + value);
        } else if (argument == "--rate") {
            if (!parseNumber(value, options.rate)) return usageError("bad rate: " + value);
        } else if (argument == "--static-valid") {
            options.survey = Survey::StaticValid;
            ++surveys;
        } else if (argument == "--static-bad-id") {
            options.survey = Survey::StaticBadId;
            ++surveys;
        } else if (argument != "-" && argument.starts_with("-")) {
            return usageError("unknown option: " + argument);
        } else if (haveOutput) {
            return usageError("only one OUTPUT may be given");
        } else {
            output = argument;
            haveOutput = true;
        }
    }
    if (!haveOutput) return usageError("no OUTPUT given (use - for standard output)");
    if (surveys > 1) return usageError("--static-valid and --static-bad-id exclude each other");
    if (const std::string problem = ferrule::generate::checkOptions(options); !problem.empty()) {
        return usageError(problem);
    }

    const bool toStandardOutput = output == "-";
    std::FILE* file = toStandardOutput ? stdout : std::fopen(output.c_str(), "wb");
    if (file == nullptr) {
        std::fprintf(stderr, "ferrule-generate: cannot create %s\n", output.c_str());
        return 1;
    }
    bool failed = false;
    const ferrule::generate::GeneratedFile made =
        ferrule::generate::generateObservationFile(options, [&](std::string_view piece) {
            if (!failed) failed = std::fwrite(piece.data(), 1, piece.size(), file) != piece.size();
        });
    failed = std::fflush(file) != 0 || failed;
    if (!toStandardOutput) failed = std::fclose(file) != 0 || failed;
    if (failed) {
        std::fprintf(stderr, "ferrule-generate: cannot write %s\n", output.c_str());
        return 1;
    }

    std::fprintf(stderr, "ferrule-generate: %s: %llu bytes, %lld epochs, %lld occupations\n",
                 toStandardOutput ? "standard output" : output.c_str(),
                 static_cast<unsigned long long>(made.bytes), static_cast<long long>(made.epochs),
                 static_cast<long long>(made.occupations));
    if (made.occupations > ferrule::generate::kSiteIdentifiers) {
        std::fprintf(stderr,
                     "ferrule-generate: note: more occupations than the 2049 site identifiers; "
                     "ferrule will stop at the limit (use a higher --rate)\n");
    }
    return 0;
}
