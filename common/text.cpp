#include "common/text.h"

namespace ferrule::detail {

std::size_t displayWidth(std::string_view text) {
    std::size_t width = 0;
    for (std::size_t at = 0; at < text.size();) {
        const auto lead = static_cast<unsigned char>(text[at]);
        const std::size_t length = utf8Length(lead);
        char32_t code = length == 1 ? lead : static_cast<char32_t>(lead & (0x7Fu >> length));
        for (std::size_t i = 1; i < length && at + i < text.size(); ++i) {
            code = (code << 6) | (static_cast<unsigned char>(text[at + i]) & 0x3F);
        }
        at += length;
        // Wide: Hangul Jamo, CJK and Japanese scripts, Hangul syllables, compatibility
        // ideographs, full-width forms, and the supplementary ideographic planes.
        const bool wide =
            (code >= 0x1100 && code <= 0x115F) || (code >= 0x2E80 && code <= 0xA4CF) ||
            (code >= 0xAC00 && code <= 0xD7A3) || (code >= 0xF900 && code <= 0xFAFF) ||
            (code >= 0xFE30 && code <= 0xFE4F) || (code >= 0xFF00 && code <= 0xFF60) ||
            (code >= 0xFFE0 && code <= 0xFFE6) || (code >= 0x20000 && code <= 0x3FFFD);
        width += wide ? 2 : 1;
    }
    return width;
}

}  // namespace ferrule::detail
