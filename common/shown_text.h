// Bytes of a file, or a file's name, as they may be shown on a console or in a message box: no
// byte of them can move the cursor, clear a line, hide text or start a new line of its own.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace ferrule::detail {

// `bytes` with every control character written as an escape of plain ASCII characters:
//   line feed, carriage return, tab       \n  \r  \t
//   any other of 0x00-0x1F, and DEL 0x7F  \xHH (two lower-case hex digits: ESC is \x1b)
//   a C1 control in UTF-8 (C2 80 - C2 9F) \xc2\xHH (both of its bytes, as above)
//   a bidirectional control in UTF-8      \xe2\x80\xae (its three bytes: U+200E, U+200F,
//                                          U+202A-U+202E, U+2066-U+2069)
//   the backslash itself                  \\  (so that every escape reads back one way)
// Every other byte is kept as it is: UTF-8 text (Japanese included), and bytes that are not
// UTF-8, such as a comment in Shift-JIS.
// A file's name keeps its backslashes (Backslash::Kept): a Windows path stays as the user knows
// it, at the price that a backslash in a name reads like the start of an escape.
enum class Backslash { Escaped, Kept };
std::string shownText(std::string_view bytes, Backslash backslash = Backslash::Escaped);

}  // namespace ferrule::detail

namespace ferrule::detail {

// A path as the user gave it (UTF-8), shown as above with its backslashes kept.
std::string shownPath(const std::filesystem::path& path);

}  // namespace ferrule::detail
