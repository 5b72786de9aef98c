#include "report/report.h"

#include <cstdio>

#include "common/gps_time.h"
#include "common/shown_text.h"

namespace ferrule {

// An occupation falls short when it has fewer epochs than asked, or an epoch with fewer
// satellites (an occupation without epochs has no satellite count to judge).
std::vector<std::string> shortfalls(const Survey::Occupation& occupation,
                                    const ReportOptions& options) {
    std::vector<std::string> reasons;
    if (occupation.epochs < options.minEpochs) {
        reasons.push_back("エポック不足（" + std::to_string(occupation.epochs) + "）");
    }
    if (occupation.satellites.seen() && occupation.satellites.fewest < options.minSatellites) {
        reasons.push_back("衛星不足（" + std::to_string(occupation.satellites.fewest) + "）");
    }
    return reasons;
}

}  // namespace ferrule

namespace ferrule::detail {

namespace {

using Occupation = Survey::Occupation;

std::string kindText(Occupation::Kind kind) {
    switch (kind) {
        case Occupation::Kind::Assigned:
            return "割り付け";
        case Occupation::Kind::Named:
            return "ファイルの点名";
        case Occupation::Kind::Static:
            return "スタティック";
        case Occupation::Kind::Unnumbered:
            return "割り付けなし";
    }
    return {};
}

// The leap seconds between GPS time and UTC: the header's LEAP SECONDS, or the table's at the
// time when the header gives none.
std::int32_t leapSeconds(const Survey& survey, const EpochTime& at) {
    return survey.header.leapSeconds != 0 ? survey.header.leapSeconds : leapSecondsAt(at);
}

std::string offsetText(std::int32_t minutes) {
    const std::int32_t size = minutes < 0 ? -minutes : minutes;
    std::string text = minutes < 0 ? "- " : "+ ";
    text.append(std::to_string(size / 60)).append(" 時間");
    if (size % 60 != 0) text.append(" ").append(std::to_string(size % 60)).append(" 分");
    return text;
}

std::string joined(const std::vector<std::string>& parts, std::string_view separator) {
    std::string text;
    for (const std::string& part : parts) {
        if (!text.empty()) text += separator;
        text += part;
    }
    return text;
}

// "開始（JST）" and the other column headings that name the local zone.
std::string localHeading(std::string_view what, const ReportOptions& options) {
    return std::string(what) + "（" + options.zoneLabel + "）";
}

std::string rangeText(const SatelliteRange& range) {
    if (range.fewest == range.most) return std::to_string(range.fewest);
    return std::to_string(range.fewest) + "-" + std::to_string(range.most);
}

}  // namespace

std::vector<OccupationRow> occupationRows(const Survey& survey, const ReportOptions& options) {
    std::vector<OccupationRow> rows;
    rows.reserve(survey.occupations.size());
    for (const Occupation& occupation : survey.occupations) {
        OccupationRow& row = rows.emplace_back();
        row.number = std::to_string(rows.size());
        row.name = occupation.name.empty() ? "（名前なし）" : shownText(occupation.name);
        row.kind = kindText(occupation.kind);
        if (occupation.epochs > 0) {
            const double shift =
                options.utcOffsetMinutes * 60.0 - leapSeconds(survey, occupation.start);
            row.startGps = timeText(occupation.start);
            row.endGps = timeText(occupation.end);
            row.startLocal = timeText(occupation.start, shift);
            row.endLocal = timeText(occupation.end, shift);
            row.duration = durationText(secondsOf(occupation.end) - secondsOf(occupation.start));
        } else {
            row.startGps = row.endGps = row.startLocal = row.endLocal = row.duration = "-";
        }
        row.epochs = std::to_string(occupation.epochs);
        const bool seen = occupation.satellites.seen();
        row.fewestSatellites = seen ? std::to_string(occupation.satellites.fewest) : "-";
        row.mostSatellites = seen ? std::to_string(occupation.satellites.most) : "-";
        std::vector<std::string> systems;
        for (int i = 0; i < kSystemCount; ++i) {
            if (!occupation.systems[i].seen()) continue;
            systems.push_back(std::string(1, kSatelliteSystems[i]) + " " +
                              rangeText(occupation.systems[i]));
        }
        row.systems = systems.empty() ? "-" : joined(systems, " ");
        row.missing = std::to_string(occupation.missingEpochs);
        if (occupation.powerFailures > 0) {
            row.missing += "（電源断 " + std::to_string(occupation.powerFailures) + "）";
        }
        char height[64];
        std::snprintf(height, sizeof height, "%.4f", occupation.antennaHeight);
        row.antennaHeight = std::string(height) + (occupation.ownAntennaHeight ? "（点）" : "");
        const std::vector<std::string> reasons = shortfalls(occupation, options);
        row.passes = reasons.empty();
        row.verdict = row.passes ? "OK" : joined(reasons, "、");
        std::vector<std::string> comments;
        for (const std::string& comment : occupation.comments)
            comments.push_back(shownText(comment));
        row.comments = joined(comments, " / ");
    }
    return rows;
}

std::string thresholdsText(const ReportOptions& options) {
    return "エポック数 " + std::to_string(options.minEpochs) + " 以上、衛星数 " +
           std::to_string(options.minSatellites) + " 以上";
}

std::string localTimeText(const Survey& survey, const ReportOptions& options) {
    const bool fromHeader = survey.header.leapSeconds != 0;
    const std::int32_t leap = leapSeconds(survey, survey.firstEpoch);
    return options.zoneLabel + " = GPS - " + std::to_string(leap) +
           " 秒（うるう秒: " + (fromHeader ? "ヘッダの LEAP SECONDS" : "日付から") + "）" +
           offsetText(options.utcOffsetMinutes);
}

std::vector<std::string> columnHeadings(const ReportOptions& options) {
    return {"No.",
            "点名",
            "種類",
            "開始（GPS）",
            "終了（GPS）",
            localHeading("開始", options),
            localHeading("終了", options),
            "継続時間",
            "エポック数",
            "最少衛星数",
            "最多衛星数",
            "システム別衛星数",
            "欠測エポック数",
            "アンテナ高",
            "判定",
            "コメント"};
}

std::vector<std::string> columnsOf(const OccupationRow& row) {
    return {row.number,         row.name,     row.kind,     row.startGps,      row.endGps,
            row.startLocal,     row.endLocal, row.duration, row.epochs,        row.fewestSatellites,
            row.mostSatellites, row.systems,  row.missing,  row.antennaHeight, row.verdict,
            row.comments};
}

}  // namespace ferrule::detail
