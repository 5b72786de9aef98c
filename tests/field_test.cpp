#include <gtest/gtest.h>

#include "common/field.h"

namespace ferrule {
namespace {

struct ExtractCase {
    int length;
    int column;
    std::string_view line;
    int result;
    std::string_view field;  // "untouched" when the destination must keep its content
};

TEST(ExtractField, CopiesUpToLengthAndStopsAtTheEndOfTheLine) {
    const ExtractCase cases[] = {
        {3, 2, "ABCDEF", 0, "CDE"},
        {6, 0, "ABCDEF", 0, "ABCDEF"},
        {4, 4, "ABCDEF", 0, "EF"},          // stops at the end of the line
        {3, 6, "ABCDEF", 0, ""},            // a column at the end yields an empty field
        {3, 9, "ABCDEF", 0, ""},            // and beyond it too
        {7, 0, "ABCDEF", -1, "untouched"},  // longer than the whole line
        {-1, 0, "ABCDEF", -1, "untouched"},
        {2, -1, "ABCDEF", -1, "untouched"},
        {5, 4, "ABCDEF", 0, "EF"},  // only the whole line's length counts, not the rest
    };
    for (const ExtractCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.length << " at " << c.column);
        char field[16] = "untouched";
        EXPECT_EQ(extractField(c.length, field, c.line, c.column), c.result);
        EXPECT_EQ(std::string_view(field), c.field);
    }
}

TEST(NumberFields, ReadLikeStrtolBaseZeroAndStrtod) {
    const struct {
        std::string_view text;
        std::int32_t integer;
    } integers[] = {
        {"000010", 8},   // a leading 0 reads octal
        {"  0008", 0},   // 8 is no octal digit
        {"  0x10", 16},  // hexadecimal
        {"      ", 0},   // no digits
        {"    -5", -5},  // sign
        {"  12ab", 12},  // stops at the first character that does not fit
        {"   2 3", 2},
    };
    for (const auto& c : integers) EXPECT_EQ(integerField(c.text, 0, 6), c.integer) << c.text;

    EXPECT_DOUBLE_EQ(realField("     2.11", 0, 9), 2.11);
    EXPECT_DOUBLE_EQ(realField("          ", 0, 10), 0.0);
    EXPECT_DOUBLE_EQ(realField("  -12.5e1xx", 0, 11), -125.0);
    EXPECT_EQ(integerField("AB", 5, 6), 0);  // a field past the end of the line
}

TEST(DigitAt, ReadsOneCharacterAsAnInteger) {
    EXPECT_EQ(digitAt("   7", 3), 7);
    EXPECT_EQ(digitAt("    ", 3), 0);
    EXPECT_EQ(digitAt("   x", 3), 0);
    EXPECT_EQ(digitAt(std::string_view("   \0", 4), 3), 0);
    EXPECT_EQ(digitAt("  ", 3), 0);
}

}  // namespace
}  // namespace ferrule
