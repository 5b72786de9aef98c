// The CSV file of the field-book check: one row per occupation of every file, for a spreadsheet.
#include "report/report.h"

#include <algorithm>

namespace ferrule::detail {

namespace {

// A field as a spreadsheet reads it: quoted where it holds a comma, a quote or a line end. A text
// of the file that begins like a formula is led by an apostrophe, so that a spreadsheet shows it
// and does not compute it.
std::string csvField(std::string_view text, bool fromFile) {
    std::string field;
    if (fromFile && !text.empty() &&
        std::string_view("=+-@\t\r").find(text.front()) != std::string_view::npos) {
        field = "'";
    }
    field += text;
    if (field.find_first_of(",\"\r\n") == std::string::npos) return field;
    std::string quoted = "\"";
    for (const char c : field) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

class CsvReport final : public ReportWriter {
  public:
    explicit CsvReport(const ReportOptions& options) : options_(options) {
        const std::vector<std::string> headings = columnHeadings(options_);
        notesColumn_ = static_cast<std::size_t>(
            std::find(headings.begin(), headings.end(), "注意") - headings.begin());
    }

    std::string begin() override {
        std::vector<std::string> headings = columnHeadings(options_);
        headings.insert(headings.begin(), "ファイル");
        headings.emplace_back("判定の基準");
        std::string text = "\xEF\xBB\xBF";  // the byte-order mark
        for (std::size_t i = 0; i < headings.size(); ++i) {
            text.append(i == 0 ? "" : ",").append(csvField(headings[i], false));
        }
        return text + "\r\n";
    }

    std::string add(std::string_view file, std::string_view verdict,
                    const Survey* survey) override {
        const std::vector<OccupationRow> rows =
            survey == nullptr ? std::vector<OccupationRow>{} : occupationRows(*survey, options_);
        if (rows.empty()) {
            // The file's row: its name and why it has no occupation, the other cells empty.
            const std::size_t columns = columnHeadings(options_).size() + 1;
            std::string text = csvField(file, true);
            for (std::size_t i = 0; i < columns; ++i) {
                text.append(",");
                if (i == notesColumn_) text.append(csvField(noRowsText(verdict, survey), true));
            }
            return text + "\r\n";
        }
        std::string text;
        for (const OccupationRow& row : rows) {
            const std::vector<std::string> columns = columnsOf(row);
            text += csvField(file, true);
            for (std::size_t i = 0; i < columns.size(); ++i) {
                // The name and the comments come from the file.
                text.append(",").append(
                    csvField(columns[i], i == 1 || i == notesColumn_ || i + 1 == columns.size()));
            }
            text.append(",").append(csvField(thresholdsText(options_), false)).append("\r\n");
        }
        return text;
    }

    std::string end() override { return {}; }

  private:
    ReportOptions options_;
    std::size_t notesColumn_ = 0;  // among an occupation's columns (after the file's)
};

}  // namespace

std::unique_ptr<ReportWriter> csvReport(const ReportOptions& options) {
    return std::make_unique<CsvReport>(options);
}

}  // namespace ferrule::detail
