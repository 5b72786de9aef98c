// The number and text fields read exactly as strtol (base 0), strtod and extractField read them,
// whatever the field holds: the fixed-column fast paths must never give another value.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "common/field.h"

namespace ferrule {
namespace {

struct Reference {
    std::int32_t integer;
    double real;
    char text[kMaxFieldWidth + 1];
};

// What the fields are defined to be: extractField into a zeroed buffer, then the C conversions.
Reference reference(std::string_view line, int column, int width) {
    Reference r{};
    extractField(std::min(width, kMaxFieldWidth), r.text, line, column);
    r.integer = static_cast<std::int32_t>(std::strtol(r.text, nullptr, 0));
    r.real = std::strtod(r.text, nullptr);
    return r;
}

void expectSameAsReference(std::string_view line, int column, int width) {
    const Reference r = reference(line, column, width);
    SCOPED_TRACE(testing::Message()
                 << "line \"" << line << "\" column " << column << " width " << width);
    EXPECT_EQ(integerField(line, column, width), r.integer);
    const double real = realField(line, column, width);
    EXPECT_EQ(std::memcmp(&real, &r.real, sizeof real), 0) << real << " != " << r.real;
    char text[kMaxFieldWidth + 1];
    std::memset(text, 'x', sizeof text);
    textField(line, column, width, text);
    EXPECT_EQ(std::memcmp(text, r.text, static_cast<std::size_t>(width) + 1), 0);
}

TEST(FieldConversion, ReadsEveryShapeOfFieldAsTheCLibraryDoes) {
    const char* const fields[] = {"",
                                  "   ",
                                  "0",
                                  "  0",
                                  "0 ",
                                  "00",
                                  "08",
                                  "012",
                                  "0x1A",
                                  "0X",
                                  "12",
                                  " 5",
                                  "25 ",
                                  "5G",
                                  "G5",
                                  "-5",
                                  "+7",
                                  "\t5",
                                  "\n5",
                                  "1234567890",
                                  "999999999",
                                  "99999999999",
                                  "  12 34",
                                  "30.0000000",
                                  " 30.0000000",
                                  "0.1000000",
                                  "-.5",
                                  ".",
                                  "-",
                                  "-0",
                                  "-0.0",
                                  "00.5",
                                  "5.",
                                  "1e3",
                                  "1.5E3",
                                  "1.5.3",
                                  "1. 5",
                                  "inf",
                                  "nan",
                                  "0x1p3",
                                  "123456789012345",
                                  "1234567890123456",
                                  "12345678901234.5",
                                  "  20498545.916",
                                  " -4700.123",
                                  "9.999999999999",
                                  "0.30000000000000004"};
    for (const char* field : fields) {
        const std::string line = "ab " + std::string(field) + "\r\n";
        const int width = static_cast<int>(std::strlen(field));
        expectSameAsReference(line, 3, width);      // the field alone
        expectSameAsReference(line, 3, width + 2);  // with the line end after it
        expectSameAsReference(std::string_view(line).substr(0, 3 + width / 2), 3, width);  // cut
    }
    // A NUL byte ends a number but is copied into a text field.
    expectSameAsReference(std::string_view("  12\0 34\r\n", 10), 0, 8);
    // Columns and widths that extractField refuses or that lie beyond the line.
    for (const auto& [column, width] : {std::pair{-1, 3}, {2, -1}, {0, 11}, {9, 1}, {20, 2}}) {
        expectSameAsReference("0123456789", column, width);
    }
}

TEST(FieldConversion, ReadsRandomFieldsAsTheCLibraryDoes) {
    std::mt19937 random(12345);
    const std::string alphabet = "   0123456789.-+xXeE\t";
    for (int i = 0; i < 20000; ++i) {
        std::string line(random() % 24, ' ');
        for (char& c : line) c = alphabet[random() % alphabet.size()];
        const int column = static_cast<int>(random() % 6);
        const int width = static_cast<int>(random() % 20);
        expectSameAsReference(line, column, width);
        if (HasFailure()) return;
    }
}

}  // namespace
}  // namespace ferrule
