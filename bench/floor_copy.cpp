// The floor for ferrule's whole-process time: the fastest program that does what any converter
// of the file in place must do, and nothing of the conversion. It reads the file in 1 MiB blocks
// into a page-aligned buffer (the kernel copies into a buffer that is not page-aligned about half
// as fast), writes each block to "<path>_temp", flushes that to the disk, and does the two renames
// of the swap; with --link, the swap that keeps a file at the path: the input linked to
// "<path>_original", then the copy renamed over it. Used by tools/bench_process.sh; POSIX only.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    const bool link = argc == 3 && std::string(argv[1]) == "--link";
    if (argc != 2 + link) {
        std::fprintf(stderr, "usage: ferrule_floor_copy [--link] FILE\n");
        return 2;
    }
    const std::string input = argv[1 + link];
    const std::string temporary = input + "_temp";
    const int in = ::open(input.c_str(), O_RDONLY | O_CLOEXEC);
    const int out = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (in < 0 || out < 0) return 1;

    constexpr std::size_t kBlockBytes = std::size_t{1} << 20;
    char* const block = static_cast<char*>(std::aligned_alloc(4096, kBlockBytes));
    for (;;) {
        const ssize_t count = ::read(in, block, kBlockBytes);
        if (count < 0) return 1;
        if (count == 0) break;
        for (ssize_t done = 0; done < count;) {
            const ssize_t written =
                ::write(out, block + done, static_cast<std::size_t>(count - done));
            if (written < 0) return 1;
            done += written;
        }
    }
    std::free(block);
    if (::fsync(out) != 0 || ::close(out) != 0 || ::close(in) != 0) return 1;
    const std::string kept = input + "_original";
    if ((link ? ::link(input.c_str(), kept.c_str()) : ::rename(input.c_str(), kept.c_str())) != 0) {
        return 1;
    }
    return ::rename(temporary.c_str(), input.c_str()) == 0 ? 0 : 1;
}
