// The report of the command line (--report, --csv, --html): each observation file read through
// as a conversion would read it, told on the console, and written to the report files, each of
// them whole or not at all.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ferrule/ferrule.h"
#include "platform/platform.h"

namespace ferrule {

// What --report does besides telling the console: the thresholds and local time of its table,
// and the CSV file and HTML page it writes ("-": standard output).
struct ReportRequest {
    ReportOptions options;
    std::optional<platform::Path> csv;
    std::optional<platform::Path> html;
};

// The name a report file may have: for --csv one ending in ".csv", for --html one ending in
// ".html" or ".htm" (in any case), or "-" for standard output. Nothing else, so that a name left
// out before the files (`--html *.19o`) never makes an observation file a report.
bool isReportName(const platform::Path& path, bool html);

// For each file, what a conversion would do and what it read; nothing on disk changes but the
// report files asked for. Before anything is read the report files are checked (none is an
// input, its "_original" or "_temp" under any name, nor the other report file, nor anything but
// a regular file that is no RINEX file) and created beside their names; each is renamed over its
// name only once it is written whole and synced. Returns the exit status: 0 when every file
// would be converted and every report file was written, 2 for a report file refused before
// reading, 1 otherwise. `failure`, when given, receives what kept a report file from being
// written whole (empty when each was), as told on the console.
int reportFiles(const std::vector<platform::Path>& files, const ReportRequest& request,
                platform::Services& services, std::string* failure = nullptr);

}  // namespace ferrule
