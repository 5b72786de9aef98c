// The field-book check as one HTML page: the thresholds, then per file its verdict, a timeline
// drawn as inline SVG (satellites per epoch, moving periods, occupations) and the table of its
// occupations. The page stands alone: no script, and nothing fetched from the network (fonts are
// the system's), so it opens in the field without a connection and prints on A4 landscape.
// Every text taken from the file, and the file's name, is HTML-escaped; the numbers and the
// coordinates of the picture are computed here, and bounded to the picture whatever the file's
// times are.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/gps_time.h"
#include "common/shown_text.h"
#include "common/text.h"
#include "report/report.h"

namespace ferrule::detail {

namespace {

using Occupation = Survey::Occupation;

// A text as HTML shows it, in an element or in a quoted attribute.
std::string escaped(std::string_view text) {
    std::string html;
    html.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '&':
                html += "&amp;";
                break;
            case '<':
                html += "&lt;";
                break;
            case '>':
                html += "&gt;";
                break;
            case '"':
                html += "&quot;";
                break;
            case '\'':
                html += "&#39;";
                break;
            default:
                html += c;
        }
    }
    return html;
}

// A coordinate of the picture (always within it: see Axis::x).
std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

// The first characters of a text that fill at most `columns` columns (a wide character two),
// with "…" when some were left out. A label must not run over its neighbours.
std::string clipped(std::string_view text, std::size_t columns) {
    if (displayWidth(text) <= columns) return std::string(text);
    std::size_t width = 0;
    std::size_t at = 0;
    while (at < text.size()) {
        const auto lead = static_cast<unsigned char>(text[at]);
        const std::size_t length = utf8Length(lead);
        const std::size_t next = std::min(text.size(), at + length);
        const std::size_t charWidth = displayWidth(text.substr(at, next - at));
        if (width + charWidth + 1 > columns) break;
        width += charWidth;
        at = next;
    }
    return std::string(text.substr(0, at)) + "…";
}

// The seconds of a time that has a date and a finite value (an event record's time is often
// blank; a seconds field may hold anything strtod reads).
std::optional<double> secondsAt(const EpochTime& time) {
    if (!hasDate(time)) return std::nullopt;
    const double seconds = secondsOf(time);
    if (!std::isfinite(seconds)) return std::nullopt;
    return seconds;
}

// The layout of the picture, in the units of its viewBox.
constexpr double kWidth = 1000;
constexpr double kHeight = 268;
constexpr double kLeft = 78;
constexpr double kRight = 984;
constexpr double kSatelliteTop = 26;
constexpr double kSatelliteBottom = 138;
constexpr double kMovingTop = 150;
constexpr double kMovingHeight = 18;
constexpr double kLabelRows[] = {190, 203};
constexpr double kOccupationTop = 208;
constexpr double kOccupationHeight = 18;
constexpr double kAxis = 234;
constexpr double kCharWidth = 6.2;  // of a narrow character of the picture's texts (11 units)
constexpr std::size_t kLabelColumns = 12;

// The time axis: from the earliest to the latest time of the file's epochs, occupations and
// moving periods.
class Axis {
  public:
    void include(const EpochTime& time) {
        const std::optional<double> seconds = secondsAt(time);
        if (!seconds) return;
        first_ = std::min(first_, *seconds);
        last_ = std::max(last_, *seconds);
    }
    bool empty() const { return first_ > last_; }
    double first() const { return first_; }
    double last() const { return last_; }

    // The x of a time, within the plot whatever the time (a time of one epoch alone sits in the
    // middle).
    double x(double seconds) const {
        const double span = last_ - first_;
        double share = span > 0 ? (seconds - first_) / span : 0.5;
        if (!(share >= 0)) share = 0;  // NaN too
        if (share > 1) share = 1;
        return kLeft + share * (kRight - kLeft);
    }
    // The x of a time, at the start of the axis when it has no date.
    double x(const EpochTime& time) const {
        const std::optional<double> seconds = secondsAt(time);
        return seconds ? x(*seconds) : kLeft;
    }

  private:
    double first_ = HUGE_VAL;
    double last_ = -HUGE_VAL;
};

// A text element of the picture; `text` is escaped here.
std::string svgText(double x, double y, std::string_view anchor, std::string_view cssClass,
                    std::string_view text) {
    return "<text x=\"" + number(x) + "\" y=\"" + number(y) + "\" text-anchor=\"" +
           std::string(anchor) + "\" class=\"" + std::string(cssClass) + "\">" + escaped(text) +
           "</text>\n";
}

std::string rect(double x, double y, double width, double height, std::string_view cssClass,
                 std::string_view title) {
    return "<rect x=\"" + number(x) + "\" y=\"" + number(y) + "\" width=\"" + number(width) +
           "\" height=\"" + number(height) + "\" class=\"" + std::string(cssClass) + "\"><title>" +
           escaped(title) + "</title></rect>\n";
}

// "hh:mm" of a GPS time (hh:mm:ss when the ticks are less than a minute apart).
std::string clockText(double seconds, bool withSeconds) {
    double inDay = std::fmod(seconds, 86400.0);
    if (inDay < 0) inDay += 86400.0;
    const auto whole = static_cast<long long>(inDay);
    char text[32];
    if (withSeconds) {
        std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", whole / 3600, whole / 60 % 60,
                      whole % 60);
    } else {
        std::snprintf(text, sizeof text, "%02lld:%02lld", whole / 3600, whole / 60 % 60);
    }
    return text;
}

// The time axis with a few ticks on round times, and the date of its start.
std::string timeAxis(const Axis& axis, const EpochTime& firstDated) {
    std::string svg = "<line x1=\"" + number(kLeft) + "\" y1=\"" + number(kAxis) + "\" x2=\"" +
                      number(kRight) + "\" y2=\"" + number(kAxis) + "\" class=\"axis\"/>\n";
    svg += svgText(kLeft - 8, kAxis + 14, "end", "axis-label", "GPS");
    if (axis.empty()) {
        return svg + svgText((kLeft + kRight) / 2, kAxis + 14, "middle", "axis-label",
                             "時刻のあるエポックがありません");
    }
    const double span = axis.last() - axis.first();
    constexpr double kSteps[] = {1,   2,    5,    10,   15,    30,    60,    120,   300,    600,
                                 900, 1800, 3600, 7200, 10800, 21600, 43200, 86400, 172800, 604800};
    double step = span / 6;
    for (const double candidate : kSteps) {
        if (span / candidate <= 7) {
            step = candidate;
            break;
        }
    }
    const bool withSeconds = step < 60;
    const double firstTick = std::ceil(axis.first() / step) * step;
    // At most a dozen ticks: a time too large for its step to move it ends the loop too.
    for (int k = 0; k < 12 && std::isfinite(firstTick); ++k) {
        const double at = firstTick + k * step;
        if (at > axis.last()) break;
        const double x = axis.x(at);
        svg += "<line x1=\"" + number(x) + "\" y1=\"" + number(kSatelliteTop) + "\" x2=\"" +
               number(x) + "\" y2=\"" + number(kAxis + 5) + "\" class=\"grid\"/>\n";
        // A label at either end of the axis stays inside the picture.
        const char* anchor = x - kLeft < 16 ? "start" : kRight - x < 16 ? "end" : "middle";
        svg += svgText(x, kAxis + 16, anchor, "tick", clockText(at, withSeconds));
    }
    char date[48];
    std::snprintf(date, sizeof date, "%04d-%02d-%02d", fullYear(firstDated.year), firstDated.month,
                  firstDated.day);
    svg += svgText(kLeft, kAxis + 27, "start", "axis-label", date);
    return svg;
}

// Satellites per epoch: the range from the fewest to the most of each timeline point as a band,
// the fewest as a line, the threshold dashed, and the count axis. A point reaches to the next
// one; where the next comes later than three of the usual steps, the epochs stopped, and the band
// is broken there.
std::string satellitePlot(const Survey& survey, const Axis& axis, const ReportOptions& options) {
    // An epoch record counts its satellites in three digits: the axis need not reach beyond.
    std::int32_t top = std::clamp(leastSatellites(options), 1, 999);
    for (const Survey::TimelinePoint& point : survey.timeline) {
        if (point.satellites.seen()) top = std::max(top, point.satellites.most);
    }
    const std::int32_t tickStep = top <= 10 ? 2 : top <= 25 ? 5 : top <= 60 ? 10 : 50;
    top = (top / tickStep + 1) * tickStep;
    const auto y = [&](double satellites) {
        const double share = std::clamp(satellites / top, 0.0, 1.0);
        return kSatelliteBottom - share * (kSatelliteBottom - kSatelliteTop);
    };
    std::string svg;
    for (std::int32_t count = 0; count <= top; count += tickStep) {
        svg += "<line x1=\"" + number(kLeft - 4) + "\" y1=\"" + number(y(count)) + "\" x2=\"" +
               number(kRight) + "\" y2=\"" + number(y(count)) + "\" class=\"grid\"/>\n";
        svg += svgText(kLeft - 8, y(count) + 4, "end", "tick", std::to_string(count));
    }
    svg += svgText(kLeft - 8, kSatelliteTop - 12, "end", "axis-label", "衛星数");

    // The usual step between points.
    std::vector<double> times;
    std::vector<double> steps;
    for (const Survey::TimelinePoint& point : survey.timeline) {
        const std::optional<double> seconds = secondsAt(point.time);
        times.push_back(seconds ? *seconds : HUGE_VAL);
        if (times.size() > 1 && seconds && times[times.size() - 2] < *seconds) {
            steps.push_back(*seconds - times[times.size() - 2]);
        }
    }
    double usual = survey.header.interval > 0 ? survey.header.interval : 1;
    if (!steps.empty()) {
        const auto middle = steps.begin() + static_cast<std::ptrdiff_t>(steps.size() / 2);
        std::nth_element(steps.begin(), middle, steps.end());
        usual = steps[steps.size() / 2];
    }
    const std::optional<double> lastEpoch = secondsAt(survey.lastEpoch);

    // Runs of points without a break: the band (most along, fewest back) and the fewest line.
    std::string band;
    std::string fewest;
    std::vector<std::pair<double, const SatelliteRange*>> run;  // x where each point starts
    double runEnd = 0;
    const auto flush = [&]() {
        if (run.empty()) return;
        std::string upper =
            "M" + number(run.front().first) + " " + number(y(run.front().second->most));
        std::string low =
            "M" + number(run.front().first) + " " + number(y(run.front().second->fewest));
        for (std::size_t i = 0; i < run.size(); ++i) {
            const double to = i + 1 < run.size() ? run[i + 1].first : runEnd;
            upper += " V" + number(y(run[i].second->most)) + " H" + number(to);
            low += " V" + number(y(run[i].second->fewest)) + " H" + number(to);
        }
        std::string back;
        for (std::size_t i = run.size(); i-- > 0;) {
            back += " V" + number(y(run[i].second->fewest)) + " H" + number(run[i].first);
        }
        band += "<path d=\"" + upper + back + " Z\" class=\"satellite-band\"/>\n";
        fewest += "<path d=\"" + low + "\" class=\"satellite-fewest\"/>\n";
        run.clear();
    };
    for (std::size_t i = 0; i < survey.timeline.size(); ++i) {
        const Survey::TimelinePoint& point = survey.timeline[i];
        if (!point.satellites.seen() || !std::isfinite(times[i])) {
            flush();
            continue;
        }
        double until = times[i] + usual;
        if (i + 1 < times.size() && times[i + 1] > times[i] &&
            times[i + 1] - times[i] <= 3 * usual) {
            until = times[i + 1];
        } else if (i + 1 == times.size() && lastEpoch && *lastEpoch > times[i]) {
            until = *lastEpoch;
        }
        run.emplace_back(axis.x(times[i]), &point.satellites);
        runEnd = axis.x(until);
        if (!(i + 1 < times.size() && until == times[i + 1])) flush();
    }
    flush();
    svg += band + fewest;
    const double threshold = y(leastSatellites(options));
    svg += "<line x1=\"" + number(kLeft) + "\" y1=\"" + number(threshold) + "\" x2=\"" +
           number(kRight) + "\" y2=\"" + number(threshold) + "\" class=\"threshold\"/>\n";
    svg += svgText(kRight - 2, threshold - 4, "end", "threshold-label",
                   "基準 " + std::to_string(leastSatellites(options)));
    return svg;
}

// The moving periods, each a band labelled 「移動」 where it is wide enough.
std::string movingBands(const Survey& survey, const Axis& axis) {
    std::string svg = svgText(kLeft - 8, kMovingTop + 13, "end", "lane-label", "移動");
    for (const Survey::Period& period : survey.movingPeriods) {
        const double from = axis.x(period.start);
        const double to = secondsAt(period.end) ? axis.x(period.end) : kRight;
        const double left = std::min(from, to);
        const double width = std::max(std::abs(to - from), 2.0);
        svg += rect(left, kMovingTop, width, kMovingHeight, "moving-band",
                    "移動 " + timeText(period.start) + " – " + timeText(period.end) + " GPS");
        if (width >= 40)
            svg += svgText(left + width / 2, kMovingTop + 13, "middle", "band-text", "移動");
    }
    return svg;
}

// The occupations, each a band from its first to its last epoch (one without epochs a thin
// marker at its time), in the warning colour when it falls short; their names above them, in two
// rows, where there is room.
std::string occupationBands(const Survey& survey, const std::vector<OccupationRow>& rows,
                            const Axis& axis) {
    std::string svg = svgText(kLeft - 8, kOccupationTop + 13, "end", "lane-label", "点の観測");
    double labelEnd[2] = {-HUGE_VAL, -HUGE_VAL};
    for (std::size_t i = 0; i < rows.size() && i < survey.occupations.size(); ++i) {
        const Occupation& occupation = survey.occupations[i];
        const OccupationRow& row = rows[i];
        double left = axis.x(occupation.time);
        double width = 3;
        if (occupation.epochs > 0) {
            const double from = axis.x(occupation.start);
            const double to = axis.x(occupation.end);
            left = std::min(from, to);
            width = std::max(std::abs(to - from), 3.0);
        }
        const std::string title = row.name + "  " + row.startGps + " – " + row.endGps +
                                  " GPS  エポック " + row.epochs + "  " + row.verdict;
        svg += rect(left, kOccupationTop, width, kOccupationHeight,
                    row.passes ? "occupation-band" : "occupation-band short", title);
        const std::string label = clipped(row.name, kLabelColumns);
        const double half = (static_cast<double>(displayWidth(label)) * kCharWidth) / 2 + 3;
        const double middle = std::clamp(left + width / 2, kLeft, kWidth - half);
        for (int r = 0; r < 2; ++r) {
            if (middle - half < labelEnd[r]) continue;
            svg += svgText(middle, kLabelRows[r], "middle",
                           row.passes ? "band-label" : "band-label short", label);
            labelEnd[r] = middle + half;
            break;
        }
    }
    return svg;
}

// The timeline picture of a file.
std::string timeline(const Survey& survey, const std::vector<OccupationRow>& rows,
                     const ReportOptions& options) {
    Axis axis;
    EpochTime firstDated{};
    double firstSeconds = HUGE_VAL;
    const auto include = [&](const EpochTime& time) {
        axis.include(time);
        const std::optional<double> seconds = secondsAt(time);
        if (seconds && *seconds < firstSeconds) {
            firstSeconds = *seconds;
            firstDated = time;
        }
    };
    for (const Survey::TimelinePoint& point : survey.timeline) include(point.time);
    if (survey.epochs > 0) include(survey.lastEpoch);
    for (const Occupation& occupation : survey.occupations) {
        include(occupation.time);
        if (occupation.epochs > 0) {
            include(occupation.start);
            include(occupation.end);
        }
    }
    for (const Survey::Period& period : survey.movingPeriods) {
        include(period.start);
        include(period.end);
    }
    std::string svg = "<svg class=\"timeline\" viewBox=\"0 0 " + number(kWidth) + " " +
                      number(kHeight) +
                      "\" preserveAspectRatio=\"xMinYMin meet\" role=\"img\" aria-label=\"" +
                      "観測の時間経過\">\n";
    svg += satellitePlot(survey, axis, options);
    svg += movingBands(survey, axis);
    svg += occupationBands(survey, rows, axis);
    svg += timeAxis(axis, firstDated);
    svg += "</svg>\n";
    return svg;
}

const char* kLegend =
    "<ul class=\"legend\">"
    "<li><span class=\"swatch satellites\"></span>衛星数（エポックごとの最少〜最多）</li>"
    "<li><span class=\"swatch fewest\"></span>最少衛星数</li>"
    "<li><span class=\"swatch threshold\"></span>衛星数の基準</li>"
    "<li><span class=\"swatch moving\"></span>移動</li>"
    "<li><span class=\"swatch ok\"></span>点の観測（基準を満たす）</li>"
    "<li><span class=\"swatch short\"></span>点の観測（基準に満たない）</li>"
    "</ul>\n";

// Right-aligned columns, and the verdict's, by their headings.
std::string cellClass(std::string_view heading) {
    if (heading == "判定") return " class=\"verdict\"";
    if (heading == "点名" || heading == "注意" || heading == "コメント") return " class=\"text\"";
    constexpr std::string_view kNumbers[] = {"No.",        "継続時間",   "エポック数",
                                             "最少衛星数", "最多衛星数", "欠測エポック数",
                                             "アンテナ高"};
    for (const std::string_view number : kNumbers) {
        if (heading == number) return " class=\"num\"";
    }
    return {};
}

std::string occupationTable(const std::vector<OccupationRow>& rows, const ReportOptions& options) {
    const std::vector<std::string> headings = columnHeadings(options);
    std::string html = "<table class=\"occupations\">\n<thead><tr>";
    for (const std::string& heading : headings) html += "<th>" + escaped(heading) + "</th>";
    html += "</tr></thead>\n<tbody>\n";
    for (const OccupationRow& row : rows) {
        html += row.passes ? "<tr class=\"occupation\">" : "<tr class=\"occupation short\">";
        const std::vector<std::string> columns = columnsOf(row);
        for (std::size_t i = 0; i < columns.size(); ++i) {
            html += "<td" + (i < headings.size() ? cellClass(headings[i]) : std::string()) + ">" +
                    escaped(columns[i]) + "</td>";
        }
        html += "</tr>\n";
    }
    return html + "</tbody>\n</table>\n";
}

constexpr std::string_view kStyle = R"(<style>
@page { size: A4 landscape; margin: 10mm; }
:root { --ink: #1c2530; --muted: #5b6673; --rule: #c9d0d9; --ok: #2e8b57; --short: #d9480f;
  --moving: #c3ccd8; --band: #cfe2f5; --fewest: #1f5f99; }
* { box-sizing: border-box; }
html { -webkit-print-color-adjust: exact; print-color-adjust: exact; }
body { margin: 24px 32px; color: var(--ink); font-size: 14px; line-height: 1.5;
  font-family: "Noto Sans CJK JP", "Noto Sans JP", "Yu Gothic", YuGothic, "Meiryo",
    "Hiragino Sans", sans-serif; }
h1 { font-size: 22px; margin: 0 0 4px; }
.conditions { margin: 0 0 8px; color: var(--muted); }
.conditions b { color: var(--ink); }
section.file { border-top: 3px solid var(--ink); margin-top: 20px; padding-top: 8px; }
h2 { font-size: 17px; margin: 0 0 2px; overflow-wrap: anywhere; break-after: avoid; }
.verdict-line { margin: 0 0 4px; font-weight: bold; white-space: pre-wrap; overflow-wrap: anywhere; }
.facts { margin: 0; color: var(--muted); }
.facts.short { color: var(--short); font-weight: bold; }
.head, figure.timeline { break-inside: avoid; page-break-inside: avoid; }
figure.timeline { margin: 8px 0 6px; }
svg.timeline { display: block; width: 100%; max-width: 1400px; height: auto; }
svg text { font-family: inherit; font-size: 11px; fill: var(--ink); }
svg .tick, svg .axis-label { fill: var(--muted); }
svg .axis { stroke: var(--ink); stroke-width: 1; }
svg .grid { stroke: #e3e7ec; stroke-width: 1; }
svg .lane-label { font-weight: bold; }
svg .satellite-band { fill: var(--band); stroke: #8db6df; stroke-width: 0.8; }
svg .satellite-fewest { fill: none; stroke: var(--fewest); stroke-width: 1.6; }
svg .threshold { stroke: var(--short); stroke-width: 1.2; stroke-dasharray: 6 4; }
svg .threshold-label { fill: var(--short); font-weight: bold; }
svg .moving-band { fill: var(--moving); }
svg .band-text { fill: #3d4855; }
svg .occupation-band { fill: var(--ok); }
svg .occupation-band.short { fill: var(--short); }
svg .band-label { paint-order: stroke; stroke: #fff; stroke-width: 3px; }
svg .band-label.short { fill: var(--short); font-weight: bold; }
.legend { list-style: none; margin: 6px 0 0; padding: 0; display: flex; flex-wrap: wrap; gap: 4px 18px;
  font-size: 12px; color: var(--muted); }
.swatch { display: inline-block; width: 18px; height: 10px; margin-right: 5px;
  vertical-align: middle; }
.swatch.satellites { background: var(--band); border: 1px solid #8db6df; }
.swatch.fewest { height: 0; border-top: 2px solid var(--fewest); }
.swatch.threshold { height: 0; border-top: 2px dashed var(--short); }
.swatch.moving { background: var(--moving); }
.swatch.ok { background: var(--ok); }
.swatch.short { background: var(--short); }
table.occupations { border-collapse: collapse; width: 100%; margin-top: 8px; font-size: 12px; }
th, td { border: 1px solid var(--rule); padding: 2px 5px; vertical-align: top; }
td.text { overflow-wrap: anywhere; min-width: 4.5em; }
th { background: #eef1f5; text-align: center; font-weight: bold; }
thead { display: table-header-group; }
tr { break-inside: avoid; page-break-inside: avoid; }
tbody tr:nth-child(even) { background: #f7f9fb; }
td.num { text-align: right; white-space: nowrap; }
td.verdict { white-space: nowrap; color: var(--ok); font-weight: bold; }
tr.short td.verdict { color: #fff; background: var(--short); }
footer { margin-top: 20px; color: var(--muted); font-size: 11px; }
@media print {
  body { margin: 0; font-size: 10pt; }
  h1 { font-size: 15pt; }
  h2 { font-size: 12pt; }
  table.occupations { font-size: 7pt; }
  th, td { padding: 1px 3px; }
  .legend { font-size: 8pt; }
}
</style>
)";

class HtmlReport final : public ReportWriter {
  public:
    explicit HtmlReport(const ReportOptions& options) : options_(options) {}

    std::string begin() override {
        return "<!DOCTYPE html>\n<html lang=\"ja\">\n<head>\n<meta charset=\"utf-8\">\n"
               "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
               "<title>ferrule 点ごとの観測の確認</title>\n" +
               std::string(kStyle) +
               "</head>\n<body>\n<header>\n<h1>ferrule 点ごとの観測の確認</h1>\n"
               "<p class=\"conditions\">判定の基準: <b>" +
               escaped(thresholdsText(options_)) +
               "</b>（1 点ごとのエポック数と、そのエポックの衛星数の最少）。時刻は GPS "
               "時刻と、各ファイルに記した換算による " +
               escaped(options_.zoneLabel) + "。</p>\n</header>\n";
    }

    std::string add(std::string_view file, std::string_view verdict,
                    const Survey* survey) override {
        // The file's name, verdict and timeline stay on one printed page.
        std::string html = "<section class=\"file\">\n<div class=\"head\">\n<h2>" +
                           escaped(shownText(file, Backslash::Kept)) +
                           "</h2>\n<p class=\"verdict-line\">" + escaped(verdict) + "</p>\n";
        const std::vector<OccupationRow> rows =
            survey == nullptr ? std::vector<OccupationRow>{} : occupationRows(*survey, options_);
        // A file without occupations has a short section: why, and no chart.
        if (rows.empty()) {
            return html + "<p class=\"facts short\">" + escaped(noRowsText(verdict, survey)) +
                   "</p>\n</div>\n</section>\n";
        }
        if (survey->epochs > 0) {
            html += "<p class=\"facts\">エポック " + std::to_string(survey->epochs) + "（" +
                    escaped(timeText(survey->firstEpoch)) + " – " +
                    escaped(timeText(survey->lastEpoch)) +
                    " GPS）。時刻: " + escaped(localTimeText(*survey, options_)) + "</p>\n";
        }
        const auto failing = std::count_if(rows.begin(), rows.end(),
                                           [](const OccupationRow& row) { return !row.passes; });
        html += failing > 0 ? "<p class=\"facts short\">" : "<p class=\"facts\">";
        html += "点ごとの観測: " + std::to_string(rows.size()) + " 点";
        if (failing > 0) html += "、うち基準に満たない " + std::to_string(failing) + " 点";
        if (survey->occupationsLeftOut > 0) {
            html += "（ほかに " + std::to_string(survey->occupationsLeftOut) + " 点。" +
                    std::to_string(Survey::kMaxOccupations) + " 点を超える分は表示しません）";
        }
        html += "</p>\n<figure class=\"timeline\">\n" + timeline(*survey, rows, options_) +
                kLegend + "</figure>\n</div>\n";
        if (!rows.empty()) html += occupationTable(rows, options_);
        return html + "</section>\n";
    }

    std::string end() override {
        return "<footer>ferrule " FERRULE_VERSION " で作成</footer>\n</body>\n</html>\n";
    }

  private:
    ReportOptions options_;
};

}  // namespace

std::unique_ptr<ReportWriter> htmlReport(const ReportOptions& options) {
    return std::make_unique<HtmlReport>(options);
}

}  // namespace ferrule::detail
