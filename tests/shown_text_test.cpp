// Bytes made safe to show: control characters escaped, every other byte as it was.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "common/shown_text.h"

namespace ferrule::detail {
namespace {

TEST(ShownText, EscapesControlCharactersAndKeepsEveryOtherByte) {
    const std::vector<std::pair<std::string, std::string>> rows{
        {"RNXCONV 1.0 観測点 A-1", "RNXCONV 1.0 観測点 A-1"},
        {"\x1b[1A\x1b[2K\r[OK] 変換完了", "\\x1b[1A\\x1b[2K\\r[OK] 変換完了"},
        {"a\tb\nc", "a\\tb\\nc"},
        {std::string("\0\x01\x1f\x7f", 4), "\\x00\\x01\\x1f\\x7f"},
        // A backslash in the text cannot be read as an escape.
        {"C:\\x1b\\n", "C:\\\\x1b\\\\n"},
        // C1 controls in UTF-8: both bytes escaped; U+00A0 and a lone lead byte kept.
        {"\xc2\x80\xc2\x9b"
         "8m\xc2\x9f",
         "\\xc2\\x80\\xc2\\x9b8m\\xc2\\x9f"},
        {"\xc2\xa0\xc2\x7f\xc2", "\xc2\xa0\xc2\\x7f\xc2"},
        // Shift-JIS (観測, with lead bytes in 0x80-0x9F) and a lone 0x9B are not UTF-8: kept.
        {"\x8a\xcf\x91\xaa \x9b", "\x8a\xcf\x91\xaa \x9b"},
        // Bidirectional controls (a point name shown reversed): all three bytes escaped; the
        // neighbours U+2029 and U+206A, and a cut-off control, kept.
        {"P\xe2\x80\xae"
         "100",
         "P\\xe2\\x80\\xae100"},
        {"\xe2\x80\x8e\xe2\x80\x8f\xe2\x80\xaa\xe2\x81\xa6\xe2\x81\xa9",
         "\\xe2\\x80\\x8e\\xe2\\x80\\x8f\\xe2\\x80\\xaa\\xe2\\x81\\xa6\\xe2\\x81\\xa9"},
        {"\xe2\x80\xa9\xe2\x81\xaa\xe2\x80", "\xe2\x80\xa9\xe2\x81\xaa\xe2\x80"},
        {"", ""},
    };
    for (const auto& [bytes, shown] : rows) EXPECT_EQ(shownText(bytes), shown) << bytes;
}

}  // namespace
}  // namespace ferrule::detail
