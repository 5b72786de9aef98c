// The survey as text: what `ferrule --report` prints of a file, and what a library caller can
// show. Lines with nothing read (a record the header does not have) are left out. Every text
// taken from the file is shown with its control characters escaped: a header field or a comment
// cannot move the cursor or start a line of its own.
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <string>
#include <string_view>

#include "common/gps_time.h"
#include "common/shown_text.h"
#include "common/text.h"
#include "ferrule/ferrule.h"
#include "report/report.h"

namespace ferrule {

namespace {

using detail::shownText;

// A text field as shown: its characters up to the terminator, without trailing blanks, escaped.
std::string shown(const char* field) {
    const std::string_view text(field);
    return shownText(text.substr(0, text.find_last_not_of(' ') + 1));
}

class Lines {
  public:
    // "label: parts", the non-empty parts joined by " / "; nothing when every part is empty.
    void text(const char* label, std::initializer_list<std::string> parts) {
        std::string joined;
        for (const std::string& part : parts) {
            if (part.empty()) continue;
            if (!joined.empty()) joined += " / ";
            joined += part;
        }
        if (!joined.empty()) add(label, joined);
    }
    void format(const char* label, const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 3, 4)))
#endif
    {
        char value[160];
        va_list arguments;
        va_start(arguments, format);
        std::vsnprintf(value, sizeof value, format, arguments);
        va_end(arguments);
        add(label, value);
    }
    void add(const char* label, std::string_view value) {
        text_.append(label).append(": ").append(value).append("\n");
    }
    const std::string& str() const {
        return text_;
    }

  private:
    std::string text_;
};

void time(Lines& lines, const char* label, const ObsTime& time) {
    if (!detail::hasDate(time)) return;
    lines.add(label, detail::timeText(time) + " " + shown(time.timeSystem));
}

// The rows under their headings, each column as wide as its widest text.
std::string table(const std::vector<std::string>& headings,
                  const std::vector<detail::OccupationRow>& rows) {
    std::vector<std::vector<std::string>> cells{headings};
    for (const detail::OccupationRow& row : rows) cells.push_back(detail::columnsOf(row));
    std::vector<std::size_t> widths(headings.size(), 0);
    for (const auto& line : cells) {
        for (std::size_t i = 0; i < line.size(); ++i) {
            widths[i] = std::max(widths[i], detail::displayWidth(line[i]));
        }
    }
    std::string text;
    for (const auto& line : cells) {
        std::string shownLine = " ";
        for (std::size_t i = 0; i < line.size(); ++i) {
            shownLine += " " + line[i];
            if (i + 1 < line.size()) {
                shownLine.append(widths[i] - detail::displayWidth(line[i]) + 1, ' ');
            }
        }
        text += shownLine.substr(0, shownLine.find_last_not_of(' ') + 1) + "\n";
    }
    return text;
}

}  // namespace

std::string describeSurvey(const Survey& survey, const ReportOptions& options) {
    const HeaderRecord& h = survey.header;
    Lines lines;
    if (h.rinexVersion != 0) {
        lines.format("RINEX", "%.2f %s %s", h.rinexVersion,
                     shownText(std::string_view(&h.fileType, 1)).c_str(),
                     shownText(std::string_view(&h.satelliteSystem, 1)).c_str());
    }
    lines.text("作成", {shown(h.programName), shown(h.runBy), shown(h.creationDate)});
    lines.text("点名（MARKER NAME）", {shown(h.markerName)});
    lines.text("マーカー番号", {shown(h.markerNumber)});
    lines.text("観測者 / 機関", {shown(h.observer), shown(h.agency)});
    lines.text("受信機 番号 / 種類 / 版",
               {shown(h.receiverNumber), shown(h.receiverType), shown(h.receiverVersion)});
    lines.text("アンテナ 番号 / 種類", {shown(h.antennaNumber), shown(h.antennaType)});
    const double* xyz = h.approxPosition;
    if (xyz[0] != 0 || xyz[1] != 0 || xyz[2] != 0) {
        lines.format("概略位置 XYZ", "%.4f %.4f %.4f", xyz[0], xyz[1], xyz[2]);
    }
    const double* hen = h.antennaDelta;
    if (hen[0] != 0 || hen[1] != 0 || hen[2] != 0) {
        lines.format("アンテナ高 H/E/N", "%.4f %.4f %.4f", hen[0], hen[1], hen[2]);
    }
    if (h.wavelengthFactorL1 != 0 || h.wavelengthFactorL2 != 0) {
        lines.format("波長係数 L1/L2", "%d %d", h.wavelengthFactorL1, h.wavelengthFactorL2);
    }
    if (h.observationTypeCount != 0) {
        // A code that is not recognised leaves its slot empty: shown as "??".
        std::string types = std::to_string(h.observationTypeCount);
        for (int i = 0; i < h.observationTypeCount && i < kMaxObservationTypes; ++i) {
            const std::string_view code = h.observationTypes[i];
            types.append(i == 0 ? " (" : " ").append(code.empty() ? "??" : shownText(code));
        }
        lines.add("観測種別", types + ")");
    }
    if (h.interval != 0) lines.format("観測間隔", "%.3f", h.interval);
    time(lines, "最初の観測", h.firstObs);
    time(lines, "最後の観測", h.lastObs);
    if (h.leapSeconds != 0) lines.format("うるう秒", "%d", h.leapSeconds);
    if (h.numberOfSatellites != 0) lines.format("衛星数", "%d", h.numberOfSatellites);
    if (survey.epochs > 0) {
        lines.add("エポック", std::to_string(survey.epochs) + " (" +
                                  detail::timeText(survey.firstEpoch) + " - " +
                                  detail::timeText(survey.lastEpoch) + " GPS)");
        lines.add("時刻", detail::localTimeText(survey, options));
    }
    if (!survey.repairedStationId.empty()) {
        lines.add("点名の修正", shown(h.markerName) + " → " + shownText(survey.repairedStationId));
    }
    lines.add("判定の基準", detail::thresholdsText(options));
    std::string text = lines.str();
    text += "点ごとの観測: " + std::to_string(survey.occupations.size());
    if (survey.occupationsLeftOut > 0) {
        text += "（ほかに " + std::to_string(survey.occupationsLeftOut) + " 点。" +
                std::to_string(Survey::kMaxOccupations) + " 点を超える分は表示しません）";
    }
    text += "\n";
    if (!survey.occupations.empty()) {
        text += table(detail::columnHeadings(options), detail::occupationRows(survey, options));
    }
    return text;
}

}  // namespace ferrule
