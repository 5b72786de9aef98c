// Fixed-column fields of RINEX 2 records and their number conversions.
#pragma once

#include <cstdint>
#include <string_view>

namespace ferrule::detail {

// Columns are counted from 0. A field never holds more than this many characters.
inline constexpr int kMaxFieldWidth = 60;

// Copies up to `length` characters of `line`, starting at `column`, into `destination` and
// terminates it (the destination holds at least length + 1 bytes). Copying stops early at the end
// of the line, so a column at or beyond the end yields an empty field. Returns 0, or -1 without
// touching the destination when the column or the length is negative or when the length exceeds
// the length of the whole line (not of the rest after the column).
int extractField(int length, char* destination, std::string_view line, int column);

// The field at `column` of at most `width` characters (width <= kMaxFieldWidth) read the way
// strtol reads it with base 0: leading blanks skipped, optional sign, 0x for hexadecimal, a
// leading 0 for octal, stopping at the first character that does not fit; no digits gives 0.
std::int32_t integerField(std::string_view line, int column, int width);

// The field read as a decimal integer (strtol with base 10): how a reading past a refusal takes
// the zero-filled fields of RINEX 3 and 4 ("08" is eight, not an octal digit gone wrong).
std::int32_t decimalField(std::string_view line, int column, int width);

// The field read the way strtod reads it (full stop as decimal point); no number gives 0.
double realField(std::string_view line, int column, int width);

// The field copied as text into `destination` (width + 1 bytes), trailing blanks kept.
void textField(std::string_view line, int column, int width, char* destination);

// The single character at `column` read as an integer: a digit gives its value, anything else
// (a blank, a letter, a NUL byte, or no character at all) gives 0.
inline int digitAt(std::string_view line, std::size_t column) {
    if (column >= line.size()) return 0;
    const char c = line[column];
    return (c >= '0' && c <= '9') ? c - '0' : 0;
}

}  // namespace ferrule::detail
