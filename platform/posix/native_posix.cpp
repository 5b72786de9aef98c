// The POSIX platform: UTF-8 on the console, the outcome as one line on stdout ("OK") or stderr
// ("NG"), diagnostics on stderr when FERRULE_DEBUG is "1".
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/native.h"
#include "platform/posix/posix_file_system.h"

namespace ferrule::platform {

namespace {

// A stream that cannot be written (a closed pipe) loses the text; the error is cleared, so
// that each write is tried on its own.
bool writeAndFlush(std::FILE* stream, std::string_view text) {
    const bool written =
        std::fwrite(text.data(), 1, text.size(), stream) == text.size() && std::fflush(stream) == 0;
    std::clearerr(stream);
    return written;
}

class StandardConsole final : public Console {
  public:
    void writeOutput(std::string_view text) override { (void)writeAndFlush(stdout, text); }
    void writeError(std::string_view text) override { (void)writeAndFlush(stderr, text); }
    bool writeData(std::string_view bytes) override { return writeAndFlush(stdout, bytes); }
};

// The message box's stand-in: "[" caption "] " text, on one line.
class ConsoleNotifier final : public Notifier {
  public:
    explicit ConsoleNotifier(Console& console) : console_(console) {}
    void notify(bool converted, std::string_view caption, std::string_view text) override {
        std::string line = "[";
        line.append(caption).append("] ").append(text).append("\n");
        if (converted)
            console_.writeOutput(line);
        else
            console_.writeError(line);
    }

  private:
    Console& console_;
};

class StandardErrorDebugChannel final : public DebugChannel {
  public:
    StandardErrorDebugChannel() : DebugChannel(isRequested()) {}
    void emit(const char* text) override { std::fputs(text, stderr); }

  private:
    static bool isRequested() {
        const char* value = std::getenv("FERRULE_DEBUG");
        return value != nullptr && std::string_view(value) == "1";
    }
};

}  // namespace

struct NativePlatform::Parts {
    StandardConsole console;
    ConsoleNotifier notifier{console};
    StandardErrorDebugChannel debug;
    PosixFileSystem files{debug};
};

NativePlatform::NativePlatform() {
    fillStandardDescriptors();
    installInterruptHandlers();
    parts_ = std::make_unique<Parts>();
}

NativePlatform::~NativePlatform() = default;

Services NativePlatform::services() {
    return Services{parts_->console, parts_->notifier, parts_->debug, parts_->files};
}

}  // namespace ferrule::platform
