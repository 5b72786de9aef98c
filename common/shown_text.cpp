#include "common/shown_text.h"

namespace ferrule::detail {

namespace {

void appendHex(std::string& text, unsigned char byte) {
    static constexpr char kDigits[] = "0123456789abcdef";
    text += "\\x";
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0x0f];
}

// A bidirectional control in UTF-8 (three bytes from `at`): the marks U+200E and U+200F, the
// embeddings and overrides U+202A-U+202E, the isolates U+2066-U+2069. Shown raw, they can make
// a name read backwards.
bool isBidiControl(std::string_view bytes, std::size_t at) {
    if (at + 2 >= bytes.size() || static_cast<unsigned char>(bytes[at]) != 0xe2) return false;
    const auto second = static_cast<unsigned char>(bytes[at + 1]);
    const auto third = static_cast<unsigned char>(bytes[at + 2]);
    if (second == 0x80) return third == 0x8e || third == 0x8f || (third >= 0xaa && third <= 0xae);
    return second == 0x81 && third >= 0xa6 && third <= 0xa9;
}

}  // namespace

std::string shownText(std::string_view bytes, Backslash backslash) {
    std::string text;
    text.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        const auto next = static_cast<unsigned char>(i + 1 < bytes.size() ? bytes[i + 1] : '\0');
        if (byte == '\n') {
            text += "\\n";
        } else if (byte == '\r') {
            text += "\\r";
        } else if (byte == '\t') {
            text += "\\t";
        } else if (byte == '\\' && backslash == Backslash::Escaped) {
            text += "\\\\";
        } else if (byte < 0x20 || byte == 0x7f) {
            appendHex(text, byte);
        } else if (isBidiControl(bytes, i)) {
            for (std::size_t k = 0; k < 3; ++k)
                appendHex(text, static_cast<unsigned char>(bytes[i + k]));
            i += 2;
        } else if (byte == 0xc2 && next >= 0x80 && next <= 0x9f) {
            appendHex(text, byte);
            appendHex(text, next);
            ++i;
        } else {
            text += static_cast<char>(byte);
        }
    }
    return text;
}

std::string shownPath(const std::filesystem::path& path) {
    const std::u8string name = path.u8string();
    return shownText(std::string(name.begin(), name.end()), Backslash::Kept);
}

}  // namespace ferrule::detail
