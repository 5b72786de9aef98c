#include "common/field.h"

#include <cstdlib>
#include <cstring>

namespace ferrule {

int extractField(int length, char* destination, std::string_view line, int column) {
    if (column < 0 || length < 0 || static_cast<std::size_t>(length) > line.size()) return -1;
    std::size_t copied = 0;
    if (static_cast<std::size_t>(column) < line.size()) {
        copied = line.size() - static_cast<std::size_t>(column);
        if (copied > static_cast<std::size_t>(length)) copied = static_cast<std::size_t>(length);
        std::memcpy(destination, line.data() + column, copied);
    }
    destination[copied] = '\0';
    return 0;
}

namespace {

// A field cut into a terminated buffer. The buffer starts empty, so a field that extractField
// refuses reads as empty text.
struct FieldText {
    char text[kMaxFieldWidth + 1] = {};
    FieldText(std::string_view line, int column, int width) {
        if (width > kMaxFieldWidth) width = kMaxFieldWidth;
        extractField(width, text, line, column);
    }
};

}  // namespace

std::int32_t integerField(std::string_view line, int column, int width) {
    const FieldText field(line, column, width);
    // Stored in a 32-bit field as read; nothing is range-checked.
    return static_cast<std::int32_t>(std::strtol(field.text, nullptr, 0));
}

double realField(std::string_view line, int column, int width) {
    const FieldText field(line, column, width);
    return std::strtod(field.text, nullptr);
}

void textField(std::string_view line, int column, int width, char* destination) {
    const FieldText field(line, column, width);
    std::memcpy(destination, field.text, static_cast<std::size_t>(width) + 1);
}

}  // namespace ferrule
