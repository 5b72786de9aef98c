// Throughput of the conversion core on generated data held in memory: the header processor, the
// observation processor, the event rewriter and the whole conversion (block-fed and byte-fed).
// Each reports bytes of input per second. The converted text goes to a sink that only counts it:
// writing it out is the driver's business.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "app/conversion.h"
#include "header/header_processor.h"
#include "observation/event_rewriting.h"
#include "observation/observation_processor.h"
#include "tools/generate/observation_generator.h"

namespace ferrule::detail {
namespace {

constexpr std::size_t kBlockBytes = std::size_t{1} << 20;

std::string generated(generate::Survey survey, double sizeMiB) {
    generate::GeneratorOptions options;
    options.seed = 1;
    options.sizeMiB = sizeMiB;
    options.typeCount = 7;
    options.survey = survey;
    return generate::generateObservationText(options);
}

// 16 MiB of a stop-and-go survey: 7 types, 20-28 satellites, one occupation a minute.
const std::string& kinematicFile() {
    static const std::string text = generated(generate::Survey::Kinematic, 16);
    return text;
}

// 16 MiB of a static survey whose station identifier gets repaired: no events at all.
const std::string& staticBadIdFile() {
    static const std::string text = generated(generate::Survey::StaticBadId, 16);
    return text;
}

// 1 MiB of the stop-and-go survey, for the slow byte-by-byte path.
const std::string& smallKinematicFile() {
    static const std::string text = generated(generate::Survey::Kinematic, 1);
    return text;
}

std::size_t headerLength(std::string_view file) {
    return file.find("END OF HEADER") + std::string_view("END OF HEADER       \r\n").size();
}

class CountingSink final : public OutputSink {
  public:
    void write(std::string_view bytes) override { count += bytes.size(); }
    std::size_t count = 0;
};

// Feeds the header's bytes to `processor` until END OF HEADER.
void processHeader(HeaderProcessor& processor, std::string_view header, std::string& out) {
    while (!header.empty()) {
        std::size_t consumed = 0;
        const HeaderResult result = processor.processHeaderBytes(header, consumed, out);
        benchmark::DoNotOptimize(result);
        header.remove_prefix(consumed);
    }
}

// Feeds the header of `file` to `header`; returns the observation section after it.
std::string_view readHeaderOf(const std::string& file, HeaderProcessor& header) {
    const std::size_t headerBytes = headerLength(file);
    std::string out;
    processHeader(header, std::string_view(file).substr(0, headerBytes), out);
    return std::string_view(file).substr(headerBytes);
}

// Feeds every line of `text` to the processor, as the block-fed conversion does when it looks
// at each line; calls `take` with each line and its result.
template <typename Take>
void forEachLine(ObservationProcessor& processor, std::string_view text, Take take) {
    while (!text.empty()) {
        std::size_t consumed = 0;
        ObservationLine line;
        const ObservationResult result = processor.processObservationBytes(text, consumed, line);
        take(line, result);
        text.remove_prefix(consumed);
    }
}

void setThroughput(benchmark::State& state, std::size_t bytesPerIteration) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(bytesPerIteration));
}

// The header: 80-column records, a PRN / # OF OBS record per satellite, line by line.
void HeaderProcessing(benchmark::State& state) {
    const std::string_view header =
        std::string_view(kinematicFile()).substr(0, headerLength(kinematicFile()));
    std::string out;
    for (auto _ : state) {
        HeaderProcessor processor;
        processHeader(processor, header, out);
    }
    setThroughput(state, header.size());
}
BENCHMARK(HeaderProcessing);

// The observation section, every line looked at (the conversion itself passes the observation
// lines of an epoch in runs, without looking at them one by one).
void ObservationProcessing(benchmark::State& state) {
    HeaderProcessor header;
    const std::string_view section = readHeaderOf(kinematicFile(), header);
    for (auto _ : state) {
        ObservationProcessor processor(header.record());
        forEachLine(processor, section, [&](const ObservationLine&, ObservationResult result) {
            benchmark::DoNotOptimize(result);
        });
    }
    setThroughput(state, section.size());
}
BENCHMARK(ObservationProcessing);

// The first two epochs and the event records of the file through the event rewriter, with the
// records composed for their edits: the moving-antenna block of the first two epochs, the record
// count of an opening flag-2 record, and the site MARKER NAME record that replaces a flag-4
// record. Bytes are those of the event records and of the two epoch lines.
void EventRewriting(benchmark::State& state) {
    HeaderProcessor header;
    const std::string_view section = readHeaderOf(kinematicFile(), header);

    std::vector<ObservationLine> lines;
    std::size_t bytes = 0;
    ObservationProcessor processor(header.record());
    forEachLine(processor, section, [&](const ObservationLine& line, ObservationResult result) {
        if (result == ObsFirstEpoch || result == ObsSecondEpoch || result == ObsEventEpoch) {
            lines.push_back(line);
            bytes += line.text.size();
        }
    });

    CountingSink sink;
    for (auto _ : state) {
        EventRewriter rewriter;
        for (const ObservationLine& line : lines) {
            const LineEdit edit = rewriter.edit(line);
            if (edit.insert == LineEdit::Insert::MovingAntennaBlock) {
                sink.write(movingAntennaBlock(line.text));
            } else if (edit.insert == LineEdit::Insert::SiteMarkerName) {
                sink.write(siteMarkerNameRecord(edit.siteId));
            }
            if (edit.line == LineEdit::Line::Keep) {
                sink.write(line.text);
            } else if (edit.line == LineEdit::Line::KeepWithRecordCount) {
                sink.write(beforeLineEnd(line.text));
                sink.write(kRecordCountSuffix);
            }
        }
    }
    benchmark::DoNotOptimize(sink.count);
    setThroughput(state, bytes);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(lines.size()));
}
BENCHMARK(EventRewriting);

// The whole conversion, fed in blocks of 1 MiB as the program reads the file. Argument 0: the
// kinematic survey; 1: the static survey whose station identifier is repaired; 2: the kinematic
// survey read as --report reads it, the survey recorded (occupations, timeline).
void WholeConversion(benchmark::State& state) {
    const std::string& file = state.range(0) == 1 ? staticBadIdFile() : kinematicFile();
    const bool report = state.range(0) == 2;
    for (auto _ : state) {
        CountingSink sink;
        SilentDebugChannel debug;
        Conversion conversion(sink, debug, {.recordSurvey = report, .readPastRefusal = report});
        for (std::size_t at = 0; at < file.size(); at += kBlockBytes) {
            conversion.feed(std::string_view(file).substr(at, kBlockBytes));
        }
        benchmark::DoNotOptimize(conversion.finish());
        benchmark::DoNotOptimize(sink.count);
    }
    setThroughput(state, file.size());
    state.SetLabel(state.range(0) == 0   ? "kinematic"
                   : state.range(0) == 1 ? "static, station identifier repaired"
                                         : "kinematic, read for the report");
}
BENCHMARK(WholeConversion)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

// The whole conversion fed one byte at a time (the per-byte contract of the two processors).
void WholeConversionByteFed(benchmark::State& state) {
    const std::string& file = smallKinematicFile();
    for (auto _ : state) {
        CountingSink sink;
        SilentDebugChannel debug;
        Conversion conversion(sink, debug, {.recordSurvey = false});
        for (const char ch : file) conversion.feedByte(ch);
        benchmark::DoNotOptimize(conversion.finish());
        benchmark::DoNotOptimize(sink.count);
    }
    setThroughput(state, file.size());
}
BENCHMARK(WholeConversionByteFed)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace ferrule::detail

BENCHMARK_MAIN();
