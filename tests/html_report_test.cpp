// The HTML page of the field-book check: one table row and one timeline band per occupation, the
// failing ones marked, a band per moving period, nothing fetched from the network, and every
// text of the file escaped.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ferrule/ferrule.h"
#include "report/report.h"
#include "support/test_support.h"
#include "tools/generate/observation_generator.h"

namespace ferrule::test {
namespace {

std::size_t occurrences(std::string_view text, std::string_view what) {
    std::size_t count = 0;
    for (std::size_t at = text.find(what); at != std::string_view::npos;
         at = text.find(what, at + what.size())) {
        ++count;
    }
    return count;
}

std::string page(std::string_view file, std::string_view verdict, const Survey* survey,
                 const ReportOptions& options = {}) {
    const std::unique_ptr<detail::ReportWriter> writer = detail::htmlReport(options);
    return writer->begin() + writer->add(file, verdict, survey) + writer->end();
}

// The text with the first `from` replaced, which must be there.
std::string edited(std::string text, std::string_view from, std::string_view to) {
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

// A header-type record: the text in columns 0-59, then the label.
std::string record(std::string_view text, std::string_view label) {
    return std::string(text) + std::string(60 - text.size(), ' ') + std::string(label);
}

TEST(HtmlReport, OneRowAndOneBandPerOccupationAndPeriodFailingOnesMarked) {
    struct Row {
        std::string input;
        ReportOptions options;
        std::size_t occupations, failing, movingPeriods;
    };
    const std::string kinematic = sourceFile("tests/cases/kinematic/input");
    const std::vector<Row> rows{
        {kinematic, {}, 3, 3, 2},
        // With thresholds that its one epoch of three satellites meets, 000K passes.
        {kinematic, {.minEpochs = 1, .minSatellites = 3}, 3, 2, 2},
        // At 30 seconds the GEONET epochs are too far apart for the kinematic method (5 s).
        {sourceFile("tests/data/real/derived/geonet_stop_and_go.05o"), {}, 6, 6, 3},
        // Seconds fields that hold no time: the picture stays within its frame.
        {edited(edited(kinematic, " 1  2 31.0000000  0", " 1  21.79000e308  0"),
                " 1  2 32.0000000  0", " 1  2-1.7900e308  0"),
         {},
         3,
         3,
         2},
    };
    for (std::size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(i);
        const Row& row = rows[i];
        const Survey survey = convert(row.input).survey;
        ASSERT_EQ(survey.occupations.size(), row.occupations);
        std::size_t failing = 0;
        for (const Survey::Occupation& occupation : survey.occupations) {
            failing += shortfalls(occupation, row.options).empty() ? 0 : 1;
        }
        ASSERT_EQ(failing, row.failing);
        ASSERT_EQ(survey.movingPeriods.size(), row.movingPeriods);

        const std::string html = page("site.19o", "変換します", &survey, row.options);
        EXPECT_EQ(occurrences(html, "<tr class=\"occupation"), row.occupations);
        EXPECT_EQ(occurrences(html, "<tr class=\"occupation short\">"), row.failing);
        EXPECT_EQ(occurrences(html, "class=\"occupation-band"), row.occupations);
        EXPECT_EQ(occurrences(html, "class=\"occupation-band short\""), row.failing);
        EXPECT_EQ(occurrences(html, "class=\"moving-band\""), row.movingPeriods);
        EXPECT_EQ(occurrences(html, "<svg "), 1u);
        EXPECT_NE(html.find(detail::thresholdsText(row.options)), std::string::npos);
        // Self-contained, and every coordinate a number.
        for (const char* outside :
             {"http:", "https:", "src=", "url(", "@import", "<link", "<script", "nan", "inf\""}) {
            EXPECT_EQ(html.find(outside), std::string::npos) << outside;
        }
    }
}

TEST(HtmlReport, TextsOfTheFileAreEscaped) {
    // A comment after the flag-4 event, and the name after the flag-3 event.
    std::string input = sourceFile("tests/cases/kinematic/input");
    input = edited(input, record("   EXAMPLE COMMENT", "COMMENT"),
                   record("<script>alert('x')</script> & \"q\"", "COMMENT"));
    input = edited(input, record("P001", "MARKER NAME"), record("<i id=x>", "MARKER NAME"));
    const Survey survey = convert(input).survey;
    ASSERT_EQ(survey.occupations.size(), 3u);

    const std::string html = page("<img src=x>.19o", "<b>NG</b>", &survey) +
                             page("<img src=y>.19o", "読めません", nullptr);
    for (const char* raw : {"<script", "<i id", "<img", "<b>NG", "'x'", "\"q\""}) {
        EXPECT_EQ(html.find(raw), std::string::npos) << raw;
    }
    EXPECT_NE(html.find("&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt; &amp; &quot;q&quot;"),
              std::string::npos);
    // The name in the table, on its band's label and in its band's title.
    EXPECT_EQ(occurrences(html, "&lt;i id=x&gt;"), 3u);
    EXPECT_NE(html.find("&lt;img src=y&gt;.19o"), std::string::npos);
    EXPECT_NE(html.find("読めません"), std::string::npos);
}

// A long file's timeline is merged into at most its fixed number of points, from the first epoch
// on, and keeps the range of satellites the epochs had (the generator writes 20 to 28).
TEST(HtmlReport, TimelineOfALongFileStaysBounded) {
    generate::GeneratorOptions options;
    options.sizeMiB = 4;  // some 1,600 epochs of seven types, and more of one
    options.typeCount = 1;
    const Survey survey = convert(generate::generateObservationText(options)).survey;
    ASSERT_GT(survey.epochs, static_cast<std::int64_t>(Survey::kMaxTimelinePoints));
    EXPECT_LE(survey.timeline.size(), Survey::kMaxTimelinePoints);
    EXPECT_GT(survey.timeline.size(), Survey::kMaxTimelinePoints / 2);
    EXPECT_EQ(survey.timeline.front().time.seconds, survey.firstEpoch.seconds);
    SatelliteRange all;
    for (const Survey::TimelinePoint& point : survey.timeline) {
        all.fewest = std::min(all.fewest, point.satellites.fewest);
        all.most = std::max(all.most, point.satellites.most);
    }
    EXPECT_GE(all.fewest, 20);
    EXPECT_LE(all.most, 28);
    EXPECT_LT(all.fewest, all.most);
}

}  // namespace
}  // namespace ferrule::test
