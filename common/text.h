// Small facts about the bytes of a line and of a UTF-8 text, said once for every part.
#pragma once

#include <cstddef>
#include <string_view>

namespace ferrule::detail {

inline bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// The line without its line end: a final LF, then a CR before it.
inline std::string_view withoutLineEnd(std::string_view line) {
    if (line.ends_with('\n')) line.remove_suffix(1);
    if (line.ends_with('\r')) line.remove_suffix(1);
    return line;
}

// The number of bytes of the UTF-8 sequence that begins with `lead`, by its leading bits (a
// byte that begins no sequence, as in Shift-JIS text, counts as a lead of two).
inline std::size_t utf8Length(unsigned char lead) {
    return lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
}

// The width of a text in a terminal: two columns for a wide (East Asian) character.
std::size_t displayWidth(std::string_view text);

}  // namespace ferrule::detail
