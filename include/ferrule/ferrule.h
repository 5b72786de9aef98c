// ferrule as a library: the conversion of one RINEX 2 observation file, from the bytes of the
// input to the bytes of the result and an outcome. Nothing here touches files or consoles; the
// caller reads the input, keeps the output and tells the user.
//
//   std::string output;
//   ferrule::StreamConverter converter([&](std::string_view bytes) { output.append(bytes); });
//   while (... next block of the input ...) {
//       if (!converter.feed(block)) break;  // stopped: the rest of the input is not needed
//   }
//   const ferrule::Outcome outcome = converter.finish();
//   if (ferrule::isConverted(outcome)) { ... output replaces the input ... }
//   show(ferrule::outcomeCaption(outcome), ferrule::outcomeMessage(outcome,
//   converter.headerFault()));
//
// What is cut: the line a header error quotes is at most its first 80 characters; each
// diagnostic text is at most 263 bytes, a longer line of the file cut there. The converted output
// itself is never cut.
//
// The library's own workings are in the namespace ferrule::detail, which is not part of this
// interface and may change.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ferrule/header_record.h"
#include "ferrule/outcome.h"
#include "ferrule/version.h"

namespace ferrule {

// Receives the converted text in order, in pieces of any size. A piece is valid only during
// the call.
using OutputFunction = std::function<void(std::string_view bytes)>;

// Receives the diagnostic text: every line of the file written, as written (followed by an extra
// line feed; not the records the conversion inserts, nor a line it drops), and a short tag for
// each stop and for a repaired station identifier. Each call carries one terminated text.
using DebugFunction = std::function<void(std::string_view text)>;

// What the conversion read of the file, for a caller to show it: the header's values (filled as
// far as the header was read; the observation types as the last "# / TYPES OF OBSERV " record set
// them, which may follow an event in the observation section), and the regular epochs (event
// flag 0) of the observation section.
struct Survey {
    HeaderRecord header{};
    std::int64_t epochs = 0;
    EpochTime firstEpoch{};  // meaningful when there is an epoch
    EpochTime lastEpoch{};
    // A static file's station identifier as repaired (the MARKER NAME record as read is in the
    // header); empty when it was not repaired.
    std::string repairedStationId;
    // The occupations that received a site identifier, in order.
    struct Occupation {
        std::string siteId;  // "000K", "001K", ...
        // The time of the flag-4 event record, or, when its time is blank (as it usually is), of
        // the flag-2 record that opened the moving period.
        EpochTime time{};
        std::vector<std::string> comments;  // the COMMENT records that came with it, the first
                                            // kMaxComments, without surrounding blanks
    };
    static constexpr std::size_t kMaxComments = 16;
    std::vector<Occupation> occupations;
};

// The survey as text, in Japanese (UTF-8), one item a line: the header's values (text without
// its trailing blanks), the span of the epochs, a repaired station identifier, and a row for
// each occupation (its identifier, time and comments).
std::string describeSurvey(const Survey& survey);

// Converts one observation file fed in blocks of any size: the output is the same for any
// division of the input. Not copyable; a moved-from converter must not be used.
class StreamConverter {
  public:
    // Without a debug function no diagnostic text is formatted.
    explicit StreamConverter(OutputFunction output, DebugFunction debug = nullptr);
    ~StreamConverter();
    StreamConverter(StreamConverter&&) noexcept;
    StreamConverter& operator=(StreamConverter&&) noexcept;

    // Feeds the next bytes of the input. Returns false once the conversion has stopped; the
    // bytes fed after that are ignored.
    bool feed(std::string_view bytes);

    // Ends the input and returns the outcome. Bytes after the last line feed are written as
    // they stand.
    Outcome finish();

    // Outcome::InProgress until the conversion stops or finish() is called.
    Outcome outcome() const;

    // For Outcome::HeaderError: where and why the header broke its layout, and the offending
    // line as the message quotes it (headerErrorLine(): its first 80 characters, as the file has
    // them, without the line end). A line longer than 80 columns whose label still stood in place
    // puts the lines after it off their columns; a header error after it names that line.
    const HeaderFault& headerFault() const;
    const std::string& headerErrorLine() const;

    // What has been read so far.
    Survey survey() const;

  private:
    class Impl;
    std::unique_ptr<Impl> impl_;
};

// The result of converting a whole text at once.
struct Result {
    Outcome outcome = Outcome::InProgress;
    // The converted text. When the file was not converted, this is what was written before the
    // stop; it does not replace the input.
    std::string output;
    std::string headerErrorLine;
    HeaderFault headerFault;
    Survey survey;
};

Result convert(std::string_view input);

// True when the output replaces the input: a kinematic file converted, or a static file whose
// station identifier was repaired.
bool isConverted(Outcome outcome);

// What the user is told: a caption, "OK" for a converted file and "NG" otherwise, and the message
// in Japanese (UTF-8). The header error message quotes the offending line and says where it
// stands and why; given only the line (the earlier form), it quotes the line alone.
std::string_view outcomeCaption(Outcome outcome);
std::string outcomeMessage(Outcome outcome, const HeaderFault& headerFault = {});
std::string outcomeMessage(Outcome outcome, std::string_view headerErrorLine);

}  // namespace ferrule
