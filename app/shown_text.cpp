#include "app/shown_text.h"

namespace ferrule::detail {

namespace {

void appendHex(std::string& text, unsigned char byte) {
    static constexpr char kDigits[] = "0123456789abcdef";
    text += "\\x";
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0x0f];
}

}  // namespace

std::string shownText(std::string_view bytes, Backslash backslash) {
    std::string text;
    text.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        const auto next = i + 1 < bytes.size() ? static_cast<unsigned char>(bytes[i + 1]) : 0;
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

}  // namespace ferrule::detail
