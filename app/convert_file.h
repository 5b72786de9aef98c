// The conversion of one observation file in place: checks, temporary file, byte stream through
// the conversion, and the swap that keeps the input beside the result as "<path>_original".
#pragma once

#include <string>
#include <string_view>

#include "ferrule/ferrule.h"
#include "platform/platform.h"

namespace ferrule {

// What the user is told of a file: whether it was converted, the caption ("OK" or "NG") and the
// message; and how its conversion ended, InProgress when the file was not read through (it could
// not be opened or read, or it was refused before).
struct Told {
    bool converted = false;
    std::string_view caption;
    std::string text;
    Outcome outcome = Outcome::InProgress;
};

// Converts the file. Converted: the input now at "<path>_original", the result at its path.
// Interrupts wait from the swap on until `untilTold` is let go (after the outcome is told), or,
// without one, until the conversion returns.
Told convertFile(const platform::Path& input, platform::Services& services,
                 platform::InterruptHold* untilTold = nullptr);

// What converting the file would do, changing nothing: the outcome the conversion would tell,
// and what it read.
Told reportFile(const platform::Path& input, platform::Services& services, Survey& survey);

}  // namespace ferrule
