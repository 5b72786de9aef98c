#include "report/report.h"

#include <cmath>
#include <cstdio>

#include "common/gps_time.h"
#include "common/shown_text.h"
#include "report/criteria.h"

namespace ferrule {

namespace {

const detail::SurveyMethod& methodOf(const ReportOptions& options) {
    const detail::SurveyMethod* method = detail::surveyMethod(options.method);
    return method != nullptr ? *method : detail::surveyMethods().front();
}

std::string secondsText(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", seconds);
    return text;
}

}  // namespace

// An occupation falls short of its method when it has fewer epochs, less time of data or a
// longer data interval than the method asks, or an epoch whose satellites meet none of the
// method's alternatives (an occupation without epochs has no satellites to judge).
std::vector<std::string> shortfalls(const Survey::Occupation& occupation,
                                    const ReportOptions& options) {
    const detail::SurveyMethod& method = methodOf(options);
    std::vector<std::string> reasons;
    const std::int32_t minEpochs = options.minEpochs > 0 ? options.minEpochs : method.minEpochs;
    if (occupation.epochs < minEpochs) {
        reasons.push_back("エポック不足（" + std::to_string(occupation.epochs) + "）");
    }
    // The time its epochs cover: from the first to one interval past the last.
    if (options.minEpochs <= 0 && method.minSeconds > 0 && occupation.epochs > 0) {
        const double covered = detail::secondsOf(occupation.end) -
                               detail::secondsOf(occupation.start) + occupation.dataInterval;
        if (covered + 1e-6 < method.minSeconds) {
            reasons.push_back("観測時間不足（" + secondsText(covered) + " 秒）");
        }
    }
    if (occupation.dataInterval > method.maxInterval + 1e-3) {
        reasons.push_back("データ取得間隔（" + secondsText(occupation.dataInterval) + " 秒）");
    }
    if (!occupation.satellites.seen()) return reasons;
    if (options.minSatellites > 0) {
        if (occupation.satellites.fewest < options.minSatellites) {
            reasons.push_back("衛星不足（" + std::to_string(occupation.satellites.fewest) + "）");
        }
        return reasons;
    }
    for (const Survey::Occupation::Poorest& epoch : occupation.poorest) {
        const bool alone = epoch.gpsQzss >= method.gpsQzssAlone;
        const bool withGlonass = epoch.gpsQzss + epoch.glonass >= method.withGlonassTotal &&
                                 epoch.gpsQzss >= method.withGlonassEach &&
                                 epoch.glonass >= method.withGlonassEach;
        if (!alone && !withGlonass) {
            reasons.push_back("衛星不足（GPS・準天頂 " + std::to_string(epoch.gpsQzss) +
                              "、GLONASS " + std::to_string(epoch.glonass) + "）");
            break;
        }
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

// The leap seconds between GPS time and UTC at a time: the header's LEAP SECONDS, unless it is
// missing or more than a second from the table's for the date (then the table's).
struct Leap {
    std::int32_t seconds = 0;
    bool fromHeader = false;
    std::string note;  // empty when the header's agrees with the table's
};

Leap leapOf(const Survey& survey, const EpochTime& at) {
    const std::int32_t header = survey.header.leapSeconds;
    const std::int32_t table = leapSecondsAt(at);
    const std::string tableText = std::to_string(table) + " 秒";
    if (header == 0)
        return {table, false, "LEAP SECONDS がありません（日付から " + tableText + "）"};
    const std::int32_t off = header > table ? header - table : table - header;
    if (off > 1) {
        return {table, false,
                "LEAP SECONDS " + std::to_string(header) + " は日付の " + tableText +
                    "から離れています（" + tableText + "を使用）"};
    }
    if (off == 1) {
        return {
            header, true,
            "LEAP SECONDS " + std::to_string(header) + " は日付の " + tableText + " と異なります"};
    }
    return {header, true, {}};
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

// The notes of an occupation, in the order a surveyor reads them.
std::vector<std::string> notesOf(const Occupation& occupation, const Survey& survey) {
    std::vector<std::string> notes;
    if (occupation.timeBackwards > 0) {
        notes.push_back("時刻が戻るエポック " + std::to_string(occupation.timeBackwards) +
                        "（ファイルの連結か時計のリセット）");
    }
    if (occupation.timeRepeated > 0) {
        notes.push_back("時刻が前と同じエポック " + std::to_string(occupation.timeRepeated));
    }
    if (occupation.jumps > 0) {
        notes.push_back("時刻の飛び " + std::to_string(occupation.jumps) + " 回（最長 " +
                        durationText(occupation.longestJump) + "、欠測に数えていません）");
    }
    const double interval = survey.header.interval;
    if (interval > 0 && occupation.dataInterval > 0 &&
        std::fabs(interval - occupation.dataInterval) > 0.0005) {
        notes.push_back("INTERVAL " + secondsText(interval) + " 秒とエポックの間隔 " +
                        secondsText(occupation.dataInterval) + " 秒が異なります");
    }
    if (occupation.epochs > 0) {
        std::string leap = leapOf(survey, occupation.start).note;
        if (!leap.empty()) notes.push_back(std::move(leap));
    }
    if (occupation.nameSeenBefore) {
        notes.push_back("同じ点名の観測が前にもあります（再観測なら問題ありません）");
    }
    if (&occupation == &survey.occupations.back() && survey.occupationsLeftOut > 0) {
        notes.push_back("ほかに " + std::to_string(survey.occupationsLeftOut) +
                        " 点は一覧にありません（" + std::to_string(Survey::kMaxOccupations) +
                        " 点まで）");
    }
    return notes;
}

}  // namespace

std::string noRowsText(std::string_view verdict, const Survey* survey) {
    std::string text(verdict);
    if (survey != nullptr && survey->occupations.empty()) {
        text = "点ごとの観測がありません（" + text + "）";
    }
    // The quoted header line's columns and the message's lines, as one line.
    std::string line;
    for (const char c : text) {
        const bool blank = c == ' ' || c == '\n' || c == '\r';
        if (blank && (line.empty() || line.back() == ' ')) continue;
        line += blank ? ' ' : c;
    }
    if (!line.empty() && line.back() == ' ') line.pop_back();
    return line;
}

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
                options.utcOffsetMinutes * 60.0 - leapOf(survey, occupation.start).seconds;
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
        row.notes = joined(notesOf(occupation, survey), "、");
        std::vector<std::string> comments;
        for (const std::string& comment : occupation.comments)
            comments.push_back(shownText(comment));
        row.comments = joined(comments, " / ");
    }
    return rows;
}

std::int32_t leastSatellites(const ReportOptions& options) {
    return options.minSatellites > 0 ? options.minSatellites : methodOf(options).gpsQzssAlone;
}

std::string thresholdsText(const ReportOptions& options) {
    const SurveyMethod& method = methodOf(options);
    std::string text(method.name);
    text += "（" + std::string(method.source) + "）: ";
    if (options.minEpochs > 0) {
        text += "エポック数 " + std::to_string(options.minEpochs) + " 以上（指定）";
    } else {
        text += "エポック数 " + std::to_string(method.minEpochs) + " 以上";
        if (method.minSeconds > 0) text += "かつ " + secondsText(method.minSeconds) + " 秒以上";
    }
    text += "、データ取得間隔 " + secondsText(method.maxInterval) + " 秒以下、";
    if (options.minSatellites > 0) {
        return text + "衛星数 " + std::to_string(options.minSatellites) + " 以上（指定）";
    }
    return text + "GPS・準天頂 " + std::to_string(method.gpsQzssAlone) +
           " 衛星以上、または GLONASS と合わせて " + std::to_string(method.withGlonassTotal) +
           " 衛星以上（それぞれ " + std::to_string(method.withGlonassEach) + " 衛星以上）";
}

std::string localTimeText(const Survey& survey, const ReportOptions& options) {
    const Leap leap = leapOf(survey, survey.firstEpoch);
    return options.zoneLabel + " = GPS - " + std::to_string(leap.seconds) +
           " 秒（うるう秒: " + (leap.fromHeader ? "ヘッダの LEAP SECONDS" : "日付から") + "）" +
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
            "注意",
            "コメント"};
}

std::vector<std::string> columnsOf(const OccupationRow& row) {
    return {row.number,         row.name,     row.kind,     row.startGps,      row.endGps,
            row.startLocal,     row.endLocal, row.duration, row.epochs,        row.fewestSatellites,
            row.mostSatellites, row.systems,  row.missing,  row.antennaHeight, row.verdict,
            row.notes,          row.comments};
}

}  // namespace ferrule::detail
