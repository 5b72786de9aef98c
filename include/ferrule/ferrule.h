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

// The satellite systems of RINEX (in RINEX 2 a blank system letter is GPS): GPS, GLONASS,
// Galileo, QZSS, BeiDou, NavIC (IRNSS), SBAS, and any other letter.
inline constexpr char kSatelliteSystems[] = {'G', 'R', 'E', 'J', 'C', 'I', 'S', '?'};
inline constexpr int kSystemCount = 8;

// The fewest and the most satellites seen in one epoch; fewest > most while no epoch was seen.
struct SatelliteRange {
    std::int32_t fewest = 999;
    std::int32_t most = 0;
    bool seen() const { return fewest <= most; }
};

// What the conversion read of the file, for a caller to show it: the header's values (filled as
// far as the header was read; the observation types as the last "# / TYPES OF OBSERV " record set
// them, which may follow an event in the observation section), the regular epochs (event flag 0)
// of the observation section, the occupations, and a timeline of the file. Times are GPS time, as
// the file writes them. Memory stays bounded whatever the file: the lists are capped (the caps
// below), and what is left out is counted.
struct Survey {
    HeaderRecord header{};
    // The file was converted before (it begins with an event record): its site MARKER NAME
    // records give its assigned occupations, and the moving-antenna block is no event of it.
    bool readBack = false;
    std::int64_t epochs = 0;
    EpochTime firstEpoch{};  // meaningful when there is an epoch
    EpochTime lastEpoch{};
    // A static file's station identifier as repaired (the MARKER NAME record as read is in the
    // header); empty when it was not repaired.
    std::string repairedStationId;

    // One occupation of a point: a site identifier the conversion assigns (a flag-4 event record
    // inside a moving period; in a file converted before, the site MARKER NAME record that took
    // its place), a site the file names itself (a flag-3 event record and its MARKER NAME
    // record), or, for a static file, the whole file. Its epochs are the regular epochs after
    // its event record up to the next event record that ends it (a flag-2 or a flag-3 record,
    // and for an assigned one the next flag-4 record of its moving period), or to the end of the
    // file; a static file's are all of them. Unnumbered: an occupation a conversion numbers, in a
    // file it does not convert (or past the last identifier): it has no identifier.
    struct Occupation {
        enum class Kind { Assigned, Named, Static, Unnumbered };
        Kind kind = Kind::Assigned;
        std::string name;  // "000K", "001K", ..., the file's own name, or the marker name
        // The time of the event record, or, when its time is blank (as it usually is), of the
        // flag-2 record that opened the moving period (of the first epoch for a static file).
        EpochTime time{};
        std::int64_t epochs = 0;
        EpochTime start{};  // the first and the last of its epochs, when it has any
        EpochTime end{};
        SatelliteRange satellites;             // in all
        SatelliteRange systems[kSystemCount];  // per system, as kSatelliteSystems
        // The poorest epochs as the survey rules count satellites: (GPS and QZSS, GLONASS) of
        // each epoch that no other epoch of it undercuts in both, the first kMaxPoorest. A rule
        // under which more satellites never hurt fails on some epoch if and only if it fails
        // on one of these.
        struct Poorest {
            std::int32_t gpsQzss = 0;
            std::int32_t glonass = 0;
        };
        std::vector<Poorest> poorest;
        std::int64_t missingEpochs = 0;  // epochs missing against INTERVAL between its epochs
        std::int64_t powerFailures = 0;  // flag-1 epochs among its epochs
        // Epochs whose time goes back from, or repeats, the one before (files joined, a clock
        // reset); steps far beyond the interval (kJumpSeconds and 100 intervals: not counted as
        // missing epochs) and the longest; the shortest step forward, its data interval.
        std::int64_t timeBackwards = 0;
        std::int64_t timeRepeated = 0;
        std::int64_t jumps = 0;
        double longestJump = 0;
        double dataInterval = 0;
        // Its name was that of an occupation before it in the file.
        bool nameSeenBefore = false;
        // The antenna height: of its own ANTENNA: DELTA H/E/N record among the records after its
        // event record, else of the header.
        double antennaHeight = 0;
        bool ownAntennaHeight = false;
        std::vector<std::string> comments;  // the COMMENT records that came with it, the first
                                            // kMaxComments, without surrounding blanks
    };
    static constexpr std::size_t kMaxComments = 16;
    static constexpr std::size_t kMaxPoorest = 64;
    static constexpr std::size_t kMaxOccupations = 10000;
    static constexpr double kJumpSeconds = 300;
    // The shortest step forward between two regular epochs of the file.
    double dataInterval = 0;
    std::vector<Occupation> occupations;
    std::int64_t occupationsLeftOut = 0;  // beyond kMaxOccupations

    // The timeline: the moving periods (from the flag-2 record that opens one to the next flag-2
    // or flag-3 record, or to the end of the file), and the satellites per epoch, as the fewest
    // and most of consecutive epochs merged into at most kMaxTimelinePoints points.
    struct Period {
        EpochTime start{};
        EpochTime end{};
    };
    struct TimelinePoint {
        EpochTime time{};  // of the first epoch merged into the point
        SatelliteRange satellites;
    };
    static constexpr std::size_t kMaxPeriods = 10000;
    static constexpr std::size_t kMaxTimelinePoints = 2048;
    std::vector<Period> movingPeriods;
    std::vector<TimelinePoint> timeline;
};

// How a report judges an occupation and shows its times.
struct ReportOptions {
    // The survey method whose rules an occupation is judged by (作業規程の準則): "kinematic"
    // (the default: a stop-and-go survey processed afterwards), "rtk" or "network-rtk".
    std::string method = "kinematic";
    // When above 0, these replace the method's least epochs, and its satellite rule by a least
    // number of satellites of any system in the poorest epoch.
    std::int32_t minEpochs = 0;
    std::int32_t minSatellites = 0;
    // Local time is GPS time minus the leap seconds plus this offset (Japan Standard Time by
    // default), in minutes; the label names it.
    std::int32_t utcOffsetMinutes = 9 * 60;
    std::string zoneLabel = "JST";
};

// What falls short in an occupation under the options' method, in Japanese: "エポック不足（N）",
// "観測時間不足（N 秒）", "データ取得間隔（N 秒）", "衛星不足（…）"; none: it passes.
std::vector<std::string> shortfalls(const Survey::Occupation& occupation,
                                    const ReportOptions& options);

// The survey as text, in Japanese (UTF-8): the header's values (text without its trailing
// blanks), one a line, the span of the epochs, a repaired station identifier, the thresholds,
// and a table with a row for each occupation.
std::string describeSurvey(const Survey& survey, const ReportOptions& options = {});

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
