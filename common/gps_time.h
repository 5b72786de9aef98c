// Times of a RINEX 2 file: GPS time as the file writes it, its seconds on one scale, and local
// time through the leap seconds (GPS time runs ahead of UTC by them).
#pragma once

#include <cstdint>
#include <string>

#include "ferrule/header_record.h"

namespace ferrule::detail {

// The year of an epoch record as written: two digits (80-99 are 1980-1999, 00-79 are 2000-2079),
// or four.
std::int32_t fullYear(std::int32_t year);

// Whether the time has a date (an event record's time, and a header's, are often left blank).
inline bool hasDate(const EpochTime& time) {
    return time.year != 0 || time.month != 0 || time.day != 0;
}

// Seconds since 1980-01-06 00:00:00 (the start of GPS time) on the file's own scale.
double secondsOf(const EpochTime& time);

// GPS time minus UTC at the time (GPS time), from the table of leap seconds since 1980: 18 from
// 2017 on.
std::int32_t leapSecondsAt(const EpochTime& gpsTime);

// "YYYY-MM-DD hh:mm:ss.s" of the time moved by `shift` seconds (to local time, say), rounded to a
// tenth of a second; empty for a time with no date, "不正な時刻" for one whose seconds field holds
// no time (not a number, or thousands of years away).
std::string timeText(const EpochTime& time, double shift = 0);

// "hh:mm:ss", or "d日 hh:mm:ss" from a day on; "-" for no number or thousands of years.
std::string durationText(double seconds);

}  // namespace ferrule::detail
