// The CSV file of the field-book check: one row per occupation of every file, for a spreadsheet.
#include "report/report.h"

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
    explicit CsvReport(const ReportOptions& options) : options_(options) {}

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

    std::string add(std::string_view file, std::string_view, const Survey* survey) override {
        if (survey == nullptr) return {};
        std::string text;
        for (const OccupationRow& row : occupationRows(*survey, options_)) {
            const std::vector<std::string> columns = columnsOf(row);
            text += csvField(file, true);
            for (std::size_t i = 0; i < columns.size(); ++i) {
                // The name and the comments come from the file.
                text.append(",").append(csvField(columns[i], i == 1 || i + 1 == columns.size()));
            }
            text.append(",").append(csvField(thresholdsText(options_), false)).append("\r\n");
        }
        return text;
    }

    std::string end() override { return {}; }

  private:
    ReportOptions options_;
};

}  // namespace

std::unique_ptr<ReportWriter> csvReport(const ReportOptions& options) {
    return std::make_unique<CsvReport>(options);
}

}  // namespace ferrule::detail
