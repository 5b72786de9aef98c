#include "common/field.h"

#include <cstdlib>
#include <cstring>

#include "common/text.h"

namespace ferrule::detail {

int extractField(int length, char* destination, std::string_view line, int column) {
    if (column < 0 || length < 0 || static_cast<std::size_t>(length) > line.size()) return -1;
    std::size_t copied = 0;
    if (static_cast<std::size_t>(column) < line.size()) {
        copied = line.size() - static_cast<std::size_t>(column);
        if (copied > static_cast<std::size_t>(length)) copied = static_cast<std::size_t>(length);
        std::memcpy(destination, line.data() + column, copied);
    }
    destination[copied] = '\0';
    return 0;
}

namespace {

// A field cut into a terminated buffer. The buffer starts empty, so a field that extractField
// refuses reads as empty text.
struct FieldText {
    char text[kMaxFieldWidth + 1] = {};
    FieldText(std::string_view line, int column, int width) {
        if (width > kMaxFieldWidth) width = kMaxFieldWidth;
        extractField(width, text, line, column);
    }
};

// The bytes extractField copies for the field, without the copy: empty when it refuses the
// field or the column lies at or beyond the end of the line.
std::string_view fieldBytes(std::string_view line, int column, int width) {
    if (width > kMaxFieldWidth) width = kMaxFieldWidth;
    if (column < 0 || width < 0 || static_cast<std::size_t>(width) > line.size()) return {};
    if (static_cast<std::size_t>(column) >= line.size()) return {};
    return line.substr(static_cast<std::size_t>(column), static_cast<std::size_t>(width));
}

// The common shapes of fixed-column numbers are read here directly, in one pass over the field's
// bytes; anything else (a sign, a tab, a leading zero followed by more, many digits, an exponent)
// is left to strtol and strtod, so the result is always theirs. Each returns false when it leaves
// the field to them. The conversions see a terminated string, so a NUL byte ends the field.

// Blanks, then a digit 1-9 and at most eight more digits; or blanks only; or a lone 0. In base 0
// strtol reads these as decimal and stops at the first character after the digits.
bool readSimpleInteger(std::string_view bytes, std::int32_t& value) {
    const char* at = bytes.data();
    const char* const end = at + bytes.size();
    while (at != end && *at == ' ') ++at;
    if (at == end || *at == '\0') {
        value = 0;
        return true;
    }
    if (*at == '0') {
        const bool lone = at + 1 == end || at[1] == ' ' || at[1] == '\0';
        if (lone) value = 0;
        return lone;
    }
    if (*at < '1' || *at > '9') return false;
    std::int32_t result = 0;
    for (int digits = 0; at != end && isDigit(*at); ++at, ++digits) {
        if (digits == 9) return false;
        result = result * 10 + (*at - '0');
    }
    value = result;
    return true;
}

// Blanks, an optional minus sign, digits with an optional decimal point among or after them, at
// most 15 digits in all, and then the end of the field or a blank; or blanks only. The digits
// make an integer below 2^53 and the point a division by a power of ten up to 10^15, both exact
// in a double, so the one rounded division gives the correctly rounded value that strtod gives.
bool readSimpleReal(std::string_view bytes, double& value) {
    static constexpr double kPowersOfTen[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                              1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    const char* at = bytes.data();
    const char* const end = at + bytes.size();
    while (at != end && *at == ' ') ++at;
    if (at == end || *at == '\0') {
        value = 0.0;
        return true;
    }
    const bool negative = *at == '-';
    if (negative) ++at;
    std::int64_t mantissa = 0;
    int digits = 0;
    int fractionDigits = 0;
    bool point = false;
    for (; at != end; ++at) {
        if (isDigit(*at)) {
            if (++digits > 15) return false;
            mantissa = mantissa * 10 + (*at - '0');
            if (point) ++fractionDigits;
        } else if (*at == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (digits == 0 || (at != end && *at != ' ' && *at != '\0')) return false;
    const double magnitude = static_cast<double>(mantissa) / kPowersOfTen[fractionDigits];
    value = negative ? -magnitude : magnitude;
    return true;
}

}  // namespace

std::int32_t integerField(std::string_view line, int column, int width) {
    std::int32_t value = 0;
    if (readSimpleInteger(fieldBytes(line, column, width), value)) return value;
    const FieldText field(line, column, width);
    // Stored in a 32-bit field as read; nothing is range-checked.
    return static_cast<std::int32_t>(std::strtol(field.text, nullptr, 0));
}

std::int32_t decimalField(std::string_view line, int column, int width) {
    const FieldText field(line, column, width);
    return static_cast<std::int32_t>(std::strtol(field.text, nullptr, 10));
}

double realField(std::string_view line, int column, int width) {
    double value = 0.0;
    if (readSimpleReal(fieldBytes(line, column, width), value)) return value;
    const FieldText field(line, column, width);
    return std::strtod(field.text, nullptr);
}

// The field's bytes as extractField copies them, NUL bytes included, then zeros through
// destination[width]; nothing for a negative width. (Text fields are short: a plain loop beats
// calls to memcpy and memset.)
void textField(std::string_view line, int column, int width, char* destination) {
    if (width < 0) return;
    const std::string_view bytes = fieldBytes(line, column, width);
    for (std::size_t i = 0; i <= static_cast<std::size_t>(width); ++i) {
        destination[i] = i < bytes.size() ? bytes[i] : '\0';
    }
}

}  // namespace ferrule::detail
