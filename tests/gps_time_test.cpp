// Times of the file as the reports show them, a seconds field that holds no time included.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "common/gps_time.h"

namespace ferrule::detail {
namespace {

TEST(GpsTime, TimesAndDurationsAsShown) {
    struct Row {
        EpochTime time;
        double shift;
        std::string text;
    };
    const std::vector<Row> rows{
        {{19, 5, 25, 1, 3, 1.04}, 0, "2019-05-25 01:03:01.0"},
        {{2019, 12, 31, 23, 59, 59.96}, 0, "2020-01-01 00:00:00.0"},
        // To Japan Standard Time through 18 leap seconds: the next day.
        {{19, 5, 25, 15, 0, 30}, 9 * 3600 - 18, "2019-05-26 00:00:12.0"},
        {{0, 0, 0, 1, 3, 1}, 0, ""},
        {{19, 5, 25, 1, 3, NAN}, 0, "不正な時刻"},
        {{19, 5, 25, 1, 3, 1e300}, 0, "不正な時刻"},
        {{19, 5, 25, 1, 3, -INFINITY}, 0, "不正な時刻"},
    };
    for (const Row& row : rows) EXPECT_EQ(timeText(row.time, row.shift), row.text) << row.text;

    EXPECT_EQ(durationText(9.6), "00:00:10");
    // GPS time minus UTC by date, where a header gives no LEAP SECONDS: each leap second from the
    // first of its month.
    const std::vector<std::pair<EpochTime, int>> leaps{
        {{80, 1, 6, 0, 0, 0}, 0},      {{98, 12, 31, 23, 59, 59}, 12}, {{99, 1, 1, 0, 0, 0}, 13},
        {{2016, 12, 31, 0, 0, 0}, 17}, {{17, 1, 1, 0, 0, 0}, 18},      {{26, 12, 8, 0, 0, 0}, 18}};
    for (const auto& [time, leap] : leaps) EXPECT_EQ(leapSecondsAt(time), leap) << time.year;
    EXPECT_EQ(durationText(2 * 86400 + 3723), "2日 01:02:03");
    EXPECT_EQ(durationText(NAN), "-");
    EXPECT_EQ(durationText(1e300), "-");
}

}  // namespace
}  // namespace ferrule::detail
