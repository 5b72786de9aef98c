// The conversion of one observation file in place: checks, temporary file, byte stream through
// the conversion, and the swap that keeps the input beside the result as "<path>_original".
#pragma once

#include <span>

#include "platform/platform.h"

namespace ferrule {

// Converts the file and tells the user the outcome. Returns true when the file was converted
// (the input now at "<path>_original", the result at the input's path).
bool convertFile(const platform::Path& input, platform::Services& services);

// The program: start-up lines, then the conversion of its one argument. Returns the exit status:
// 0 converted, 1 not converted, 2 not exactly one argument.
int runProgram(std::span<const platform::Path> arguments, platform::Services& services);

}  // namespace ferrule
