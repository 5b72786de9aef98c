#include "tools/generate/observation_generator.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace ferrule::generate {

namespace {

constexpr std::size_t kChunkBytes = std::size_t{1} << 20;
constexpr std::string_view kCrLf = "\r\n";
// Room kept for the header when the body is sized: a header is a few kilobytes.
constexpr std::uint64_t kHeaderAllowance = 6 * 1024;

// --- Deterministic randomness ----------------------------------------------------------------

// splitmix64: small, fast and the same on every platform. All of the simulation below is integer
// arithmetic, so a seed gives the same file everywhere.
class Random {
  public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }
    // Uniform in [low, high].
    std::int64_t between(std::int64_t low, std::int64_t high) {
        const auto span = static_cast<std::uint64_t>(high - low) + 1;
        return low + static_cast<std::int64_t>(next() % span);
    }
    bool oneIn(std::uint64_t n) { return next() % n == 0; }

  private:
    std::uint64_t state_;
};

// --- Observation types -----------------------------------------------------------------------

enum class Kind { Phase, Code, PCode, Doppler, Strength };

struct TypeInfo {
    std::string_view code;
    Kind kind;
    int band;  // 1, 2 or 5
};

// The file's types are the first N of these: with up to 5 a satellite has one observation line
// (L1 L2 C1 P1 P2), with 7 two, with 11 or more three.
constexpr std::array<TypeInfo, 15> kTypes = {{
    {"L1", Kind::Phase, 1},
    {"L2", Kind::Phase, 2},
    {"C1", Kind::Code, 1},
    {"P1", Kind::PCode, 1},
    {"P2", Kind::PCode, 2},
    {"S1", Kind::Strength, 1},
    {"S2", Kind::Strength, 2},
    {"D1", Kind::Doppler, 1},
    {"D2", Kind::Doppler, 2},
    {"C2", Kind::Code, 2},
    {"L5", Kind::Phase, 5},
    {"C5", Kind::Code, 5},
    {"D5", Kind::Doppler, 5},
    {"S5", Kind::Strength, 5},
    {"P5", Kind::PCode, 5},
}};

// Carrier wavelengths in units of 1e-8 m, and the ionospheric delay of each band relative to L1
// in thousandths.
std::int64_t wavelength(int band) {
    return band == 1 ? 19029367 : band == 2 ? 24421021 : 25482805;
}
std::int64_t ionosphereFactor(int band) {
    return band == 1 ? 1000 : band == 2 ? 1647 : 1793;
}

// --- Satellites ------------------------------------------------------------------------------

constexpr int kGpsSatellites = 32;
constexpr int kGlonassSatellites = 24;
constexpr int kSatellites = kGpsSatellites + kGlonassSatellites;
constexpr int kFewestInView = 20;
constexpr int kMostInView = 28;
// Below this carrier-to-noise density (milli-dBHz) the receiver loses the L2 signals.
constexpr std::int64_t kL2TrackingThreshold = 28000;

struct Satellite {
    char system = 'G';
    int prn = 0;
    bool visible = false;
    std::int64_t rangeMm = 0;     // pseudorange without the ionosphere
    std::int64_t rateMmPerS = 0;  // range rate
    std::int64_t ionosphereMm = 0;
    std::array<std::int64_t, 3> ambiguity{};  // milli-cycles, per band
    std::int64_t cn0L1 = 0;                   // milli-dBHz
    std::int64_t cn0L2 = 0;
    std::array<std::int64_t, 15> counts{};  // observations written, per type
};

bool hasBand(const Satellite& satellite, int band) {
    if (band == 2) return satellite.cn0L2 >= kL2TrackingThreshold;
    if (band == 5) return satellite.system == 'G';  // GLONASS has no L5
    return true;
}

bool hasObservation(const Satellite& satellite, const TypeInfo& type) {
    if (!hasBand(satellite, type.band)) return false;
    switch (type.kind) {
        case Kind::PCode:
            // Civil GPS receivers track no P code on L1; nothing has a P code on L5.
            if (type.band == 5) return false;
            return type.band == 2 || satellite.system == 'R';
        case Kind::Code:
            return type.band != 2 || satellite.system == 'G';  // L2C is GPS only
        default:
            return true;
    }
}

std::int64_t bandIndex(int band) {
    return band == 1 ? 0 : band == 2 ? 1 : 2;
}

// --- Time ------------------------------------------------------------------------------------

int daysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

// The epoch time, counted in ticks of 1/rate second within the minute.
struct EpochTime {
    int year = 2019;
    int month = 5;
    int day = 25;
    int hour = 1;
    int minute = 2;
    int tick = 0;
    int rate = 1;

    int second() const { return tick / rate; }
    // The fraction of the second in units of 1e-7 s (exact: the rate divides 10^7).
    int fraction() const { return (tick % rate) * (10000000 / rate); }
    bool onSecond(int s) const { return tick == s * rate; }

    void advance() {
        if (++tick < 60 * rate) return;
        tick = 0;
        if (++minute < 60) return;
        minute = 0;
        if (++hour < 24) return;
        hour = 0;
        if (++day <= daysInMonth(year, month)) return;
        day = 1;
        if (++month <= 12) return;
        month = 1;
        ++year;
    }
};

// --- Output ----------------------------------------------------------------------------------

// Counts the bytes of the file, and hands them on in large pieces when it has somewhere to.
class Emitter {
  public:
    explicit Emitter(const std::function<void(std::string_view)>* write) : write_(write) {
        if (write_ != nullptr) buffer_.reserve(kChunkBytes + 4096);
    }
    void put(std::string_view bytes) {
        bytes_ += bytes.size();
        if (write_ == nullptr) return;
        buffer_.append(bytes);
        if (buffer_.size() >= kChunkBytes) flush();
    }
    void flush() {
        if (write_ != nullptr && !buffer_.empty()) (*write_)(buffer_);
        buffer_.clear();
    }
    std::uint64_t bytes() const { return bytes_; }

  private:
    const std::function<void(std::string_view)>* write_;
    std::string buffer_;
    std::uint64_t bytes_ = 0;
};

// An 80-column header-type record: 60 columns of text, a 20-column label, CR LF.
std::string record(std::string_view text, std::string_view label) {
    if (text.size() > 60 || label.size() > 20) throw std::logic_error("record too long");
    std::string line(text);
    line.resize(60, ' ');
    line.append(label);
    line.resize(80, ' ');
    line.append(kCrLf);
    return line;
}

// F14.3 from a value in thousandths, right-aligned in `field[0..13]`.
void putFixed3(char* field, std::int64_t thousandths) {
    const bool negative = thousandths < 0;
    auto value = static_cast<std::uint64_t>(negative ? -thousandths : thousandths);
    char* p = field + 14;
    for (int i = 0; i < 3; ++i) {
        *--p = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    *--p = '.';
    do {
        *--p = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0 && p > field);
    if (negative && p > field) *--p = '-';
    while (p > field) *--p = ' ';
}

// --- The survey ------------------------------------------------------------------------------

class Simulation {
  public:
    explicit Simulation(const GeneratorOptions& options)
        : options_(options), random_(options.seed ^ 0x6665727275'6c65ULL) {
        time_.rate = options.rate;
        time_.tick = 30 * options.rate;  // the survey starts at 01:02:30
        for (int i = 0; i < kSatellites; ++i) {
            satellites_[i].system = i < kGpsSatellites ? 'G' : 'R';
            satellites_[i].prn = i < kGpsSatellites ? i + 1 : i - kGpsSatellites + 1;
        }
        const auto inView = static_cast<int>(random_.between(kFewestInView, kMostInView));
        while (visibleCount() < inView) rise();
    }

    // The event records due before the next epoch, then the epoch itself.
    void step(Emitter& out) {
        if (options_.survey == Survey::Kinematic && epochs_ > 0) writeEvents(out);
        writeEpoch(out);
        ++epochs_;
        lastTime_ = time_;
        advance();
    }

    std::int64_t epochs() const { return epochs_; }
    std::int64_t occupations() const { return occupations_; }
    const EpochTime& lastTime() const { return lastTime_; }
    const std::array<Satellite, kSatellites>& satellites() const { return satellites_; }
    bool everSeen(int index) const { return seen_[index]; }

  private:
    int visibleCount() const {
        return static_cast<int>(std::count_if(satellites_.begin(), satellites_.end(),
                                              [](const Satellite& s) { return s.visible; }));
    }

    int pickSatellite(bool visible) {
        for (;;) {
            const auto i = static_cast<int>(random_.between(0, kSatellites - 1));
            if (satellites_[i].visible == visible) return i;
        }
    }

    void rise() {
        Satellite& s = satellites_[pickSatellite(false)];
        s.visible = true;
        s.rangeMm = random_.between(20'000'000'000, 25'800'000'000);
        s.rateMmPerS = random_.between(-800'000, 800'000);
        s.ionosphereMm = random_.between(1'000, 15'000);
        for (auto& a : s.ambiguity) a = random_.between(-20'000'000'000, 20'000'000'000);
        s.cn0L1 = random_.between(35'000, 50'000);
        s.cn0L2 = s.cn0L1 - random_.between(2'000, 12'000);
    }

    void set() { satellites_[pickSatellite(true)].visible = false; }

    static std::int64_t clamp(std::int64_t v, std::int64_t low, std::int64_t high) {
        return std::min(std::max(v, low), high);
    }

    void advance() {
        time_.advance();
        // Now and then, on a whole second, a satellite rises or sets.
        if (time_.tick % time_.rate == 0 && random_.oneIn(90)) {
            const int inView = visibleCount();
            const bool rising =
                inView <= kFewestInView || (inView < kMostInView && random_.oneIn(2));
            if (rising)
                rise();
            else
                set();
        }
        const std::int64_t rate = time_.rate;
        for (Satellite& s : satellites_) {
            if (!s.visible) continue;
            s.rangeMm += s.rateMmPerS / rate;
            s.rateMmPerS += random_.between(-100, 100);
            // Keep the geometry plausible: turn round at the ends of the range.
            if (s.rangeMm < 19'500'000'000) s.rateMmPerS = std::abs(s.rateMmPerS);
            if (s.rangeMm > 26'000'000'000) s.rateMmPerS = -std::abs(s.rateMmPerS);
            s.rateMmPerS = clamp(s.rateMmPerS, -900'000, 900'000);
            s.ionosphereMm = clamp(s.ionosphereMm + random_.between(-2, 2), 500, 30'000);
            s.cn0L1 = clamp(s.cn0L1 + random_.between(-200, 200), 30'000, 52'000);
            s.cn0L2 = clamp(s.cn0L2 + random_.between(-250, 250), 20'000, 48'000);
        }
    }

    // The epoch time as it stands in columns 0-25: " yy mm dd hh mm ss.sssssss".
    int formatTime(char* line) const {
        return std::snprintf(line, 32, " %02d%3d%3d%3d%3d%3d.%07d", time_.year % 100, time_.month,
                             time_.day, time_.hour, time_.minute, time_.second(), time_.fraction());
    }

    // The stop-and-go pattern: on every whole minute a flag-2 record opens a moving period and
    // a flag-4 record with its COMMENT announces the occupation; at 30 s a flag-2 record closes
    // the period.
    void writeEvents(Emitter& out) {
        char line[64];
        if (time_.onSecond(0)) {
            const int n = formatTime(line);
            out.put(std::string_view(line, static_cast<std::size_t>(n)));
            out.put("  2\r\n");
            out.put("                            4  1\r\n");
            ++occupations_;
            char text[64];
            std::snprintf(text, sizeof text, " STOP AND GO POINT %05lld",
                          static_cast<long long>(occupations_));
            out.put(record(text, "COMMENT"));
            movingPeriodOpen_ = true;
        } else if (time_.onSecond(30) && movingPeriodOpen_) {
            const int n = formatTime(line);
            out.put(std::string_view(line, static_cast<std::size_t>(n)));
            out.put("  2\r\n");
            movingPeriodOpen_ = false;
        }
    }

    void writeEpoch(Emitter& out) {
        std::array<int, kSatellites> inView{};
        int count = 0;
        for (int i = 0; i < kSatellites; ++i) {
            if (satellites_[i].visible) inView[count++] = i;
        }

        // The epoch line and its satellite-list continuation lines, 12 satellites a line.
        char line[96];
        int length = formatTime(line);
        length += std::snprintf(line + length, sizeof line - static_cast<std::size_t>(length),
                                "  0%3d", count);
        for (int k = 0; k < count; ++k) {
            if (k > 0 && k % 12 == 0) {
                out.put(std::string_view(line, static_cast<std::size_t>(length)));
                out.put(kCrLf);
                length = 32;
                std::memset(line, ' ', 32);
            }
            const Satellite& s = satellites_[inView[k]];
            line[length++] = s.system;
            line[length++] = static_cast<char>('0' + s.prn / 10);
            line[length++] = static_cast<char>('0' + s.prn % 10);
        }
        out.put(std::string_view(line, static_cast<std::size_t>(length)));
        out.put(kCrLf);

        for (int k = 0; k < count; ++k) writeObservations(out, inView[k]);
    }

    // The satellite's observations, five 16-column fields (F14.3, loss of lock, signal strength)
    // a line, trailing blanks trimmed. Phase carries a signal-strength digit and, after a cycle
    // slip, a loss-of-lock 1; codes carry the digit only; Doppler and strength carry neither.
    void writeObservations(Emitter& out, int index) {
        Satellite& s = satellites_[index];
        seen_[index] = true;
        const int types = options_.typeCount;
        const auto strengthDigit = [](std::int64_t cn0) {
            return static_cast<char>('0' + clamp(cn0 / 6000, 1, 9));
        };
        for (int first = 0; first < types; first += 5) {
            char line[84];
            std::memset(line, ' ', 80);
            const int last = std::min(types, first + 5);
            for (int t = first; t < last; ++t) {
                const TypeInfo& type = kTypes[static_cast<std::size_t>(t)];
                if (!hasObservation(s, type)) continue;
                ++s.counts[static_cast<std::size_t>(t)];
                char* field = line + 16 * (t - first);
                const std::int64_t cn0 = type.band == 2 ? s.cn0L2 : s.cn0L1;
                const std::int64_t delay = s.ionosphereMm * ionosphereFactor(type.band) / 1000;
                std::int64_t value = 0;
                switch (type.kind) {
                    case Kind::Phase: {
                        auto& ambiguity =
                            s.ambiguity[static_cast<std::size_t>(bandIndex(type.band))];
                        if (random_.oneIn(20000)) {
                            ambiguity += random_.between(-100, 100) * 1000;
                            field[14] = '1';
                        }
                        value = (s.rangeMm - delay) * 100'000'000 / wavelength(type.band) +
                                ambiguity + random_.between(-3, 3);
                        field[15] = strengthDigit(cn0);
                        break;
                    }
                    case Kind::Code:
                    case Kind::PCode:
                        value = s.rangeMm + delay + random_.between(-600, 600);
                        field[15] = strengthDigit(cn0);
                        break;
                    case Kind::Doppler:
                        value = -s.rateMmPerS * 100'000'000 / wavelength(type.band) +
                                random_.between(-50, 50);
                        break;
                    case Kind::Strength:
                        value = (cn0 - (type.band == 5 ? 2000 : 0)) / 50 * 50;
                        break;
                }
                putFixed3(field, value);
            }
            int end = 80;
            while (end > 0 && line[end - 1] == ' ') --end;
            line[end++] = '\r';
            line[end++] = '\n';
            out.put(std::string_view(line, static_cast<std::size_t>(end)));
        }
    }

    const GeneratorOptions options_;
    Random random_;
    EpochTime time_;
    EpochTime lastTime_;
    std::array<Satellite, kSatellites> satellites_{};
    std::array<bool, kSatellites> seen_{};
    std::int64_t epochs_ = 0;
    std::int64_t occupations_ = 0;
    bool movingPeriodOpen_ = false;
};

// --- The header ------------------------------------------------------------------------------

std::string formatted(const char* format, auto... values) {
    char text[96];
    const int n = std::snprintf(text, sizeof text, format, values...);
    return std::string(text, static_cast<std::size_t>(n));
}

std::string timeRecord(const EpochTime& time, std::string_view label) {
    return record(formatted("%6d%6d%6d%6d%6d%5d.%07d     GPS", time.year, time.month, time.day,
                            time.hour, time.minute, time.second(), time.fraction()),
                  label);
}

std::string_view markerName(Survey survey) {
    switch (survey) {
        case Survey::Kinematic:
            return "????";
        case Survey::StaticValid:
            return "AB12";
        case Survey::StaticBadId:
            return "BASE1";
    }
    return "????";
}

// Up to nine six-column entries after a six-column lead-in.
std::string nineColumns(std::string lead, int first, int last, const auto& entry) {
    for (int i = first; i < last; ++i) lead += entry(i);
    return lead;
}

std::string header(const GeneratorOptions& options, const Simulation& run) {
    const int types = options.typeCount;
    const char* survey = options.survey == Survey::Kinematic ? "KINEMATIC" : "STATIC";
    std::string text;
    text += record("     2.11           OBSERVATION DATA    M (MIXED)", "RINEX VERSION / TYPE");
    text += record("RNXCONV 1.0         FIELD TEAM          20190525 010230 UTC",
                   "PGM / RUN BY / DATE");
    text += record(formatted("GENERATED %s SURVEY, SEED %llu", survey,
                             static_cast<unsigned long long>(options.seed)),
                   "COMMENT");
    text += record(markerName(options.survey), "MARKER NAME");
    text += record("0001", "MARKER NUMBER");
    text += record("SURVEYOR            FERRULE SURVEY", "OBSERVER / AGENCY");
    text += record("5435R40017          GNSS RX 10          4.10", "REC # / TYPE / VERS");
    text += record("1234                GNSS ANT 10", "ANT # / TYPE");
    text += record(" -3961904.9260  3348993.7640  3698211.7400", "APPROX POSITION XYZ");
    text += record("        1.5000        0.0000        0.0000", "ANTENNA: DELTA H/E/N");
    text += record("     1     1", "WAVELENGTH FACT L1/2");
    const auto typeCode = [](int t) {
        return "    " + std::string(kTypes[static_cast<std::size_t>(t)].code);
    };
    text += record(nineColumns(formatted("%6d", types), 0, std::min(types, 9), typeCode),
                   "# / TYPES OF OBSERV");
    if (types > 9) {
        text += record(nineColumns("      ", 9, types, typeCode), "# / TYPES OF OBSERV");
    }
    text += record(formatted("%6d.%03d", 1 / options.rate, 1000 / options.rate % 1000), "INTERVAL");
    EpochTime first;
    first.rate = options.rate;
    first.tick = 30 * options.rate;
    text += timeRecord(first, "TIME OF FIRST OBS");
    text += timeRecord(run.lastTime(), "TIME OF LAST OBS");
    text += record("    18", "LEAP SECONDS");

    // The per-satellite counts, unless one of them outgrows its six columns.
    const auto& satellites = run.satellites();
    int seen = 0;
    bool fits = true;
    for (int i = 0; i < kSatellites; ++i) {
        if (!run.everSeen(i)) continue;
        ++seen;
        for (const std::int64_t c : satellites[static_cast<std::size_t>(i)].counts) {
            fits = fits && c <= 999999;
        }
    }
    if (fits) {
        text += record(formatted("%6d", seen), "# OF SATELLITES");
        for (int i = 0; i < kSatellites; ++i) {
            if (!run.everSeen(i)) continue;
            const Satellite& s = satellites[static_cast<std::size_t>(i)];
            const auto count = [&](int t) {
                return formatted("%6lld",
                                 static_cast<long long>(s.counts[static_cast<std::size_t>(t)]));
            };
            text += record(
                nineColumns(formatted("   %c%02d", s.system, s.prn), 0, std::min(types, 9), count),
                "PRN / # OF OBS");
            if (types > 9) {
                text += record(nineColumns("      ", 9, types, count), "PRN / # OF OBS");
            }
        }
    }
    text += record("", "END OF HEADER");
    return text;
}

}  // namespace

std::string checkOptions(const GeneratorOptions& options) {
    if (options.typeCount < 1 || options.typeCount > 15) {
        return "the number of observation types must be 1 to 15";
    }
    if (options.rate < 1 || options.rate > kMaxRate || 10000000 % options.rate != 0) {
        return "the rate must divide 10,000,000 and be at most 100 (1, 2, 5, 10, 20, 50, 100)";
    }
    if (!(options.sizeMiB > 0.0) || options.sizeMiB > 1024.0 * 1024.0) {
        return "the size must be more than 0 and at most 1048576 MiB";
    }
    return {};
}

GeneratedFile generateObservationFile(const GeneratorOptions& options,
                                      const std::function<void(std::string_view)>& write) {
    const std::string problem = checkOptions(options);
    if (!problem.empty()) throw std::invalid_argument(problem);

    // First pass: run the survey without keeping the text, to know how many epochs give the size
    // asked for and what the header must say about them.
    const auto target = static_cast<std::uint64_t>(options.sizeMiB * 1024.0 * 1024.0);
    Simulation survey(options);
    Emitter counter(nullptr);
    while (survey.epochs() < 2 || counter.bytes() + kHeaderAllowance < target) {
        survey.step(counter);
    }

    // Second pass: the header, then the same survey again from the same seed.
    Emitter out(&write);
    out.put(header(options, survey));
    Simulation again(options);
    while (again.epochs() < survey.epochs()) again.step(out);
    out.flush();

    return GeneratedFile{out.bytes(), survey.epochs(), survey.occupations()};
}

std::string generateObservationText(const GeneratorOptions& options) {
    std::string text;
    generateObservationFile(options, [&](std::string_view piece) { text.append(piece); });
    return text;
}

}  // namespace ferrule::generate
