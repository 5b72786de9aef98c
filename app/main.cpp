// Entry point: one argument, the path of the observation file to convert.
#include <vector>

#include "app/convert_file.h"
#include "platform/native.h"

#if defined(_WIN32)
int wmain(int argc, wchar_t** argv) {
#else
int main(int argc, char** argv) {
#endif
    ferrule::platform::NativePlatform platform;
    const std::vector<ferrule::platform::Path> arguments(argv + 1, argv + argc);
    ferrule::platform::Services services = platform.services();
    return ferrule::runProgram(arguments, services);
}
