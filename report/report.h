// The field-book check: one row per occupation, as the console table, a CSV file and an HTML page
// show it. Every text is UTF-8; every time is shown as "YYYY-MM-DD hh:mm:ss.s".
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ferrule/ferrule.h"

namespace ferrule::detail {

// An occupation's row, each column as text.
struct OccupationRow {
    std::string number;  // 1, 2, ... in order
    std::string name;
    std::string kind;  // 割り付け, ファイルの点名, スタティック
    std::string startGps;
    std::string endGps;
    std::string startLocal;
    std::string endLocal;
    std::string duration;
    std::string epochs;
    std::string fewestSatellites;
    std::string mostSatellites;
    std::string systems;  // "G 5-8 R 2-3", the fewest and most in one epoch per system
    std::string missing;  // epochs missing against INTERVAL, and flag-1 epochs
    std::string antennaHeight;
    std::string verdict;  // OK, or the shortfalls
    // What to look at before leaving the site, in Japanese: time going back or repeating, jumps,
    // the leap seconds, an INTERVAL the epochs do not keep, a name seen before, occupations left
    // out of the list.
    std::string notes;
    std::string comments;
    bool passes = true;
};

std::vector<OccupationRow> occupationRows(const Survey& survey, const ReportOptions& options);

// Why a file gives no row (what a conversion would say, or that no occupation was read), on one
// line: the 注意 of its CSV row and of its section on the page.
std::string noRowsText(std::string_view verdict, const Survey* survey);

// The method and what it asks: "キネマティック法（作業規程の準則 第37条…）: エポック数 10 以上…".
std::string thresholdsText(const ReportOptions& options);
// The satellites the timeline draws its threshold at: the least number asked, or the method's
// GPS and QZSS alone.
std::int32_t leastSatellites(const ReportOptions& options);
// How local time is reached: "JST = GPS - 18 秒（ヘッダの LEAP SECONDS）+ 9 時間".
std::string localTimeText(const Survey& survey, const ReportOptions& options);

// The columns of the console table and the CSV file, in order.
std::vector<std::string> columnHeadings(const ReportOptions& options);
std::vector<std::string> columnsOf(const OccupationRow& row);

// A report of several files written as they come, one file at a time: each call returns the text
// to append.
class ReportWriter {
  public:
    virtual ~ReportWriter() = default;
    virtual std::string begin() = 0;
    // The file's name as shown, what a conversion would do, and what was read (nullptr for a
    // file that could not be read).
    virtual std::string add(std::string_view file, std::string_view verdict,
                            const Survey* survey) = 0;
    virtual std::string end() = 0;
};

// CSV for a spreadsheet: UTF-8 with a byte-order mark (so that Excel on a Japanese Windows opens
// it as it is), CR LF line ends, a heading row, then one row per occupation of every file, its
// first column the file; a file without occupations has one row, its 注意 saying why.
std::unique_ptr<ReportWriter> csvReport(const ReportOptions& options);

// One self-contained HTML page: per file the table and a timeline drawn as inline SVG.
std::unique_ptr<ReportWriter> htmlReport(const ReportOptions& options);

}  // namespace ferrule::detail
