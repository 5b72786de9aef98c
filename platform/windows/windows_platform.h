// The Windows platform: the console in Shift-JIS (code page 932), the outcome in a message box,
// diagnostics to the debugger output, and files through the wide (UTF-16) file API.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstdio>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace ferrule::platform::windows {

// UTF-8 to UTF-16; a byte that is not valid UTF-8 becomes U+FFFD.
std::wstring toUtf16(std::string_view utf8);
// UTF-16 to UTF-8.
std::string toUtf8(std::wstring_view utf16);
// The console's bytes for a UTF-8 text: Shift-JIS (code page 932), each line feed as CR LF. A
// character that code page 932 lacks becomes "?".
std::string toConsoleBytes(std::string_view utf8);

// Writes the console's bytes to two streams in binary mode, each write flushed.
class CodePageConsole final : public Console {
  public:
    CodePageConsole(std::FILE* output, std::FILE* error) : output_(output), error_(error) {}
    void writeOutput(std::string_view text) override { write(output_, text); }
    void writeError(std::string_view text) override { write(error_, text); }
    bool writeData(std::string_view bytes) override;

  private:
    static void write(std::FILE* stream, std::string_view text);
    std::FILE* output_;
    std::FILE* error_;
};

using MessageBoxFunction = int(WINAPI*)(HWND, LPCWSTR, LPCWSTR, UINT);

// Shows the outcome with `show` (MessageBoxW): no owner window, one OK button, no icon. With an
// `echo` stream, each message is also written there as one UTF-8 line "[" caption "] " text,
// converted back from the UTF-16 the message box was given, so that a script or test can read it.
// The outcomes of several files are gathered into one box at the end, a line a file: a
// surveyor drops a day's files at once and reads one message.
class MessageBoxNotifier final : public Notifier {
  public:
    explicit MessageBoxNotifier(MessageBoxFunction show, std::FILE* echo = nullptr)
        : show_(show), echo_(echo) {}
    void notify(bool converted, std::string_view caption, std::string_view text) override;
    void notifyOf(std::string_view file, bool converted, std::string_view caption,
                  std::string_view text) override;
    void allNotified(bool allConverted) override;
    void usage(std::string_view text) override {
        notify(false, "NG", text.substr(0, text.find_last_not_of('\n') + 1));
    }
    // Opens the page in the default browser; with an echo (scripts, tests) names it there instead.
    void showPage(const std::filesystem::path& page) override;

  private:
    MessageBoxFunction show_;
    std::FILE* echo_;
    std::string gathered_;
};

// Diagnostics through OutputDebugStringA. It is called for every line of the file, and without a
// listener each call still costs a raised and handled exception, so the channel is on only when
// a debugger or a debug-output monitor was listening when the program started.
class DebuggerOutputChannel final : public DebugChannel {
  public:
    explicit DebuggerOutputChannel(bool enabled) : DebugChannel(enabled) {}
    void emit(const char* text) override { OutputDebugStringA(text); }
    // A debugger is attached, or a monitor (such as DebugView) holds the debug-output buffer.
    static bool isListened();
};

// Files through CreateFileW and friends, on extended-length paths (no MAX_PATH limit), every
// step of a conversion in the input's folder, held open without delete sharing. Failed calls are
// reported to `debug`, with the system's reason.
class WindowsFileSystem final : public FileSystem {
  public:
    explicit WindowsFileSystem(DebugChannel& debug) : debug_(debug) {}

    Opened open(const Path& path) override;
    FolderOf folderOf(const Path& path) override;
    void holdInterrupts() override;
    void releaseInterrupts() override;

  private:
    DebugChannel& debug_;
};

// Ctrl-C, Ctrl-Break and the closing of the console remove the temporary file of the conversion
// under way (if its name still names the file created) and end the program with status 128 + 2,
// as SIGINT does on POSIX; one that comes during the swap waits until the swap is done.
void installInterruptHandler();

// The path as the file API takes it without a length limit: absolute, "\\?\" in front.
std::wstring extendedLengthPath(const Path& path);

}  // namespace ferrule::platform::windows
