#include "common/output.h"

#include <cstdarg>
#include <cstdio>

namespace ferrule::detail {

int debugPrint(DebugChannel& channel, const char* format, ...) {
    if (!channel.enabled()) return 0;
    char text[264];
    va_list arguments;
    va_start(arguments, format);
    const int length = std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    if (length < 0) return 0;
    channel.emit(text);
    return length < static_cast<int>(sizeof text) ? length : static_cast<int>(sizeof text) - 1;
}

}  // namespace ferrule::detail
