// The floor for ferrule's whole-process time: a program that does only what any converter of the
// file must do, and nothing of the conversion. It reads the file in 1 MiB blocks, finds every line
// feed with memchr, writes the blocks to "<path>_temp", flushes that to the disk, renames the input
// to "<path>_original" and the copy to the input's path, and flushes the directory.
// Used by tools/bench_process.sh --floor; POSIX only.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: ferrule_floor_copy FILE\n");
        return 2;
    }
    const std::string input = argv[1];
    const std::string temporary = input + "_temp";
    const std::string kept = input + "_original";
    const int in = ::open(input.c_str(), O_RDONLY | O_CLOEXEC);
    const int out = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (in < 0 || out < 0) return 1;

    constexpr std::size_t kBlockBytes = std::size_t{1} << 20;
    const auto block = std::make_unique<char[]>(kBlockBytes);
    std::size_t lines = 0;
    for (;;) {
        const ssize_t count = ::read(in, block.get(), kBlockBytes);
        if (count < 0) return 1;
        if (count == 0) break;
        const char* next = block.get();
        const char* const end = next + count;
        while (const void* found = std::memchr(next, '\n', static_cast<std::size_t>(end - next))) {
            next = static_cast<const char*>(found) + 1;
            ++lines;
        }
        for (const char* at = block.get(); at < end;) {
            const ssize_t written = ::write(out, at, static_cast<std::size_t>(end - at));
            if (written < 0) return 1;
            at += written;
        }
    }
    if (::fsync(out) != 0 || ::close(out) != 0) return 1;
    ::close(in);
    if (::rename(input.c_str(), kept.c_str()) != 0) return 1;
    if (::rename(temporary.c_str(), input.c_str()) != 0) return 1;
    const std::size_t slash = input.rfind('/');
    const std::string directory = slash == std::string::npos ? "." : input.substr(0, slash + 1);
    const int dir = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    std::printf("%zu lines\n", lines);
    return 0;
}
