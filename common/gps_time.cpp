#include "common/gps_time.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace ferrule::detail {

namespace {

// Days from 1970-01-01 to the date (proleptic Gregorian calendar).
std::int64_t daysFromCivil(std::int64_t year, unsigned month, unsigned day) {
    year -= month <= 2;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const auto yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

constexpr std::int64_t kGpsStartDay = 3657;  // 1980-01-06, days from 1970-01-01

// Whether seconds from the start of GPS time (or between two times) are within some three
// thousand years: further, or not a number, they are no time a receiver wrote, but a seconds
// field that held something else (strtod reads "1e300", "inf" and "nan" as well). Such a value
// would not fit the integer arithmetic of the texts below.
bool plausible(double seconds) {
    return std::abs(seconds) < 1e11;  // false for NaN
}

// The dates (UTC) from which GPS time ran one more second ahead of UTC.
struct Leap {
    std::int32_t year, month;
};
constexpr Leap kLeaps[] = {{1981, 7}, {1982, 7}, {1983, 7}, {1985, 7}, {1988, 1}, {1990, 1},
                           {1991, 1}, {1992, 7}, {1993, 7}, {1994, 7}, {1996, 1}, {1997, 7},
                           {1999, 1}, {2006, 1}, {2009, 1}, {2012, 7}, {2015, 7}, {2017, 1}};

}  // namespace

std::int32_t fullYear(std::int32_t year) {
    if (year >= 100) return year;
    return year < 80 ? 2000 + year : 1900 + year;
}

double secondsOf(const EpochTime& time) {
    const std::int64_t day = daysFromCivil(fullYear(time.year), static_cast<unsigned>(time.month),
                                           static_cast<unsigned>(time.day)) -
                             kGpsStartDay;
    return static_cast<double>(day * 86400 + std::int64_t{time.hour} * 3600 +
                               std::int64_t{time.minute} * 60) +
           time.seconds;
}

std::int32_t leapSecondsAt(const EpochTime& gpsTime) {
    const std::int32_t year = fullYear(gpsTime.year);
    std::int32_t leaps = 0;
    for (const Leap& leap : kLeaps) {
        if (year > leap.year || (year == leap.year && gpsTime.month >= leap.month)) ++leaps;
    }
    return leaps;
}

std::string timeText(const EpochTime& time, double shift) {
    if (!hasDate(time)) return {};
    const double seconds = secondsOf(time) + shift;
    if (!plausible(seconds)) return "不正な時刻";
    const std::int64_t tenths = std::llround(seconds * 10);
    const std::int64_t days = (tenths >= 0 ? tenths : tenths - 863999) / 864000;
    const std::int64_t inDay = tenths - days * 864000;
    // Days to a civil date: the inverse of daysFromCivil.
    const std::int64_t z = days + kGpsStartDay + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto dayOfEra = static_cast<unsigned>(z - era * 146097);
    const unsigned yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned shifted = (5 * dayOfYear + 2) / 153;
    const unsigned day = dayOfYear - (153 * shifted + 2) / 5 + 1;
    const unsigned month = shifted < 10 ? shifted + 3 : shifted - 9;
    const std::int64_t year = static_cast<std::int64_t>(yearOfEra) + era * 400 + (month <= 2);
    char text[96];
    std::snprintf(text, sizeof text, "%04lld-%02u-%02u %02lld:%02lld:%02lld.%lld",
                  static_cast<long long>(year), month, day, static_cast<long long>(inDay / 36000),
                  static_cast<long long>(inDay / 600 % 60), static_cast<long long>(inDay / 10 % 60),
                  static_cast<long long>(inDay % 10));
    return text;
}

std::string durationText(double seconds) {
    if (!plausible(seconds)) return "-";
    const auto total = static_cast<std::int64_t>(std::llround(std::max(seconds, 0.0)));
    char text[96];
    if (total >= 86400) {
        std::snprintf(text, sizeof text, "%lld日 %02lld:%02lld:%02lld",
                      static_cast<long long>(total / 86400),
                      static_cast<long long>(total / 3600 % 24),
                      static_cast<long long>(total / 60 % 60), static_cast<long long>(total % 60));
    } else {
        std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld",
                      static_cast<long long>(total / 3600), static_cast<long long>(total / 60 % 60),
                      static_cast<long long>(total % 60));
    }
    return text;
}

}  // namespace ferrule::detail
