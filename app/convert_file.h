// The conversion of one observation file in place: checks, temporary file, byte stream through
// the conversion, and the swap that keeps the input beside the result as "<path>_original".
#pragma once

#include <string>
#include <string_view>

#include "ferrule/ferrule.h"
#include "platform/platform.h"

namespace ferrule {

// What the user is told of a file: the caption ("OK" or "NG") and the message.
struct Told {
    bool converted = false;
    std::string_view caption;
    std::string text;
};

// Converts the file. Converted: the input now at "<path>_original", the result at its path.
Told convertFile(const platform::Path& input, platform::Services& services);

// What converting the file would do, changing nothing: the outcome the conversion would tell,
// and what it read.
Told reportFile(const platform::Path& input, platform::Services& services, Survey& survey);

}  // namespace ferrule
