// Converts the observation file read from standard input and writes the result to standard
// output; the outcome goes to standard error. Exit status 0 when the file was converted.
#include <ferrule/ferrule.h>

#include <iostream>
#include <string_view>
#include <vector>

int main() {
    std::ios::sync_with_stdio(false);
    ferrule::StreamConverter converter([](std::string_view bytes) {
        std::cout.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    });

    std::vector<char> block(1 << 16);
    while (std::cin.read(block.data(), static_cast<std::streamsize>(block.size())) ||
           std::cin.gcount() > 0) {
        const std::string_view bytes(block.data(), static_cast<std::size_t>(std::cin.gcount()));
        if (!converter.feed(bytes)) break;
    }
    const ferrule::Outcome outcome = converter.finish();
    std::cout.flush();

    std::cerr << "ferrule " << FERRULE_VERSION << ": [" << ferrule::outcomeCaption(outcome) << "] "
              << ferrule::outcomeMessage(outcome, converter.headerFault()) << '\n';
    return ferrule::isConverted(outcome) ? 0 : 1;
}
