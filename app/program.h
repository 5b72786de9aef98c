// The program: its options, the files of its command line in turn, and what it tells the user.
#pragma once

#include <span>

#include "platform/platform.h"

namespace ferrule {

// Runs the program with its arguments (without the program's name). Returns the exit status:
// 0 when every file was converted (or would be, with --report; and for --help and --version),
// 1 otherwise, 2 for a wrong use (no file, an unknown option).
int runProgram(std::span<const platform::Path> arguments, platform::Services& services);

// The report's own program (ferrule-report.exe on Windows): the files given get one HTML page,
// "<first file>_report.html" beside the first of them, which the notifier shows the user.
int runReportLauncher(std::span<const platform::Path> files, platform::Services& services);

}  // namespace ferrule
