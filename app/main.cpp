// Entry point: the observation files to convert, and the options. Built a second time as the
// report's own program (FERRULE_REPORT_LAUNCHER): the files dropped on it get one HTML page.
#include <vector>

#include "app/program.h"
#include "platform/native.h"

#if defined(_WIN32)
int wmain(int argc, wchar_t** argv) {
#else
int main(int argc, char** argv) {
#endif
    ferrule::platform::NativePlatform platform;
    const std::vector<ferrule::platform::Path> arguments(argv + 1, argv + argc);
    ferrule::platform::Services services = platform.services();
#if defined(FERRULE_REPORT_LAUNCHER)
    return ferrule::runReportLauncher(arguments, services);
#else
    return ferrule::runProgram(arguments, services);
#endif
}
