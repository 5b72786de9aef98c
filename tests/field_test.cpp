// The number and text fields read exactly as strtol (base 0), strtod and extractField read them,
// whatever the field holds: the fixed-column fast paths must never give another value.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <sstream>
#include <string>
#include <tuple>

#include "common/field.h"

namespace ferrule::detail {
namespace {

// What a field is defined to be: up to `width` characters from `column`, none when the column or
// the width is negative or the width exceeds the whole line (as extractField copies them into a
// zeroed buffer), then read by the C conversions.
void expectSameAsTheCLibrary(std::string_view line, int column, int width) {
    char text[kMaxFieldWidth + 1] = {};
    const auto size = static_cast<int>(line.size());
    if (column >= 0 && width >= 0 && width <= size && column < size) {
        line.copy(text, static_cast<std::size_t>(std::min({width, size - column, kMaxFieldWidth})),
                  static_cast<std::size_t>(column));
    }
    SCOPED_TRACE(testing::Message()
                 << "\"" << line << "\" column " << column << " width " << width);
    EXPECT_EQ(integerField(line, column, width),
              static_cast<std::int32_t>(std::strtol(text, nullptr, 0)));
    const double real = realField(line, column, width);
    const double expected = std::strtod(text, nullptr);
    EXPECT_EQ(std::memcmp(&real, &expected, sizeof real), 0) << real << " != " << expected;
    char copied[kMaxFieldWidth + 1];
    std::memset(copied, 'x', sizeof copied);
    textField(line, column, width, copied);
    EXPECT_EQ(std::memcmp(copied, text, static_cast<std::size_t>(width) + 1), 0);
}

// Fields of every shape, between bars: blanks, signs, octal and hexadecimal, digits past what
// a 32-bit integer or a double's 53 bits hold (16 and 17 digits), exponents, stray characters.
constexpr std::string_view kShapes =
    "|   |0|  0|0 |00|08|012|0x1A|0X|12| 5|25 |5G|G5|-5|+7|\t5|\n5|999999999|1234567890|9999999999|"
    "99999999999|  12 34|30.0000000| 30.0000000|0.1000000|-.5|.|-|-0|-0.0|00.5|5.|1e3|1.5E3|"
    "1.5.3|1. 5|inf|nan|0x1p3|123456789012345|1234567890123456|12345678901234567|"
    "123456789012345.6|1234567890123456.7|12345678901234.56|0.12345678901234567|"
    "  20498545.916| -4700.123|9.999999999999|0.30000000000000004";

TEST(Fields, ReadEveryShapeAsTheCLibraryDoes) {
    std::istringstream shapes{std::string(kShapes)};
    for (std::string field; std::getline(shapes, field, '|');) {
        const std::string line = "ab " + field + "\r\n";
        const int width = static_cast<int>(field.size());
        expectSameAsTheCLibrary(line, 3, width);      // the field alone
        expectSameAsTheCLibrary(line, 3, width + 2);  // with the line end after it
        expectSameAsTheCLibrary(std::string_view(line).substr(0, 3 + width / 2), 3, width);  // cut
        char copied[kMaxFieldWidth + 1] = {};
        EXPECT_EQ(extractField(width, copied, line, 3), 0);
        EXPECT_EQ(copied, field);
    }
    // A NUL byte ends a number but is copied into a text field.
    expectSameAsTheCLibrary(std::string_view("  12\0 34\r\n", 10), 0, 8);
    // Columns and widths that extractField refuses, or that lie beyond the line.
    for (const auto& [column, width, result, text] : {std::tuple{-1, 3, -1, "before"},
                                                      {2, -1, -1, "before"},
                                                      {0, 11, -1, "before"},
                                                      {9, 1, 0, "9"},
                                                      {20, 2, 0, ""}}) {
        expectSameAsTheCLibrary("0123456789", column, width);
        char copied[16] = "before";
        EXPECT_EQ(extractField(width, copied, "0123456789", column), result);
        EXPECT_STREQ(copied, text);
    }
    // Random fields of the characters numbers are made of.
    std::mt19937 random(12345);
    const std::string alphabet = "   0123456789.-+xXeE\t";
    for (int i = 0; i < 20000 && !HasFailure(); ++i) {
        std::string line(random() % 24, ' ');
        for (char& c : line) c = alphabet[random() % alphabet.size()];
        expectSameAsTheCLibrary(line, static_cast<int>(random() % 6),
                                static_cast<int>(random() % 20));
    }
}

}  // namespace
}  // namespace ferrule::detail
