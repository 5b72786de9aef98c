#include <gtest/gtest.h>

#include "common/field.h"

namespace ferrule {
namespace {

TEST(ExtractField, CopiesFromColumn) {
    char field[8] = "xxxxxxx";
    EXPECT_EQ(extractField(3, field, "ABCDEF", 2), 0);
    EXPECT_STREQ(field, "CDE");
}

}  // namespace
}  // namespace ferrule
