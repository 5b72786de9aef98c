// The Windows platform: the start-up lines in Shift-JIS on a binary-mode console, the outcome in
// a message box, diagnostics to the debugger output, interrupts that remove the temporary file.
#include <fcntl.h>
#include <io.h>

#include <climits>

#include "platform/native.h"
#include "platform/windows/windows_platform.h"

// After <windows.h>, which the platform's header includes.
#include <shellapi.h>

namespace ferrule::platform {

namespace windows {

namespace {

constexpr UINT kShiftJis = 932;

int clampedSize(std::size_t size) {
    return size > INT_MAX ? INT_MAX : static_cast<int>(size);
}

// The environment variable `name` holds exactly "1".
bool isSwitchedOn(const wchar_t* name) {
    wchar_t value[2] = {};
    return GetEnvironmentVariableW(name, value, 2) == 1 && value[0] == L'1';
}

}  // namespace

std::wstring toUtf16(std::string_view utf8) {
    if (utf8.empty()) return {};
    const int size = clampedSize(utf8.size());
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
    std::wstring result(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, result.data(), length);
    return result;
}

namespace {

// A character the code page lacks becomes its default character ("?"), never a look-alike.
std::string fromUtf16(std::wstring_view text, UINT codePage) {
    if (text.empty()) return {};
    const int size = clampedSize(text.size());
    const DWORD flags = codePage == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
    const int length =
        WideCharToMultiByte(codePage, flags, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(codePage, flags, text.data(), size, result.data(), length, nullptr,
                        nullptr);
    return result;
}

}  // namespace

std::string toUtf8(std::wstring_view utf16) {
    return fromUtf16(utf16, CP_UTF8);
}

std::string toConsoleBytes(std::string_view utf8) {
    const std::string shiftJis = fromUtf16(toUtf16(utf8), kShiftJis);
    std::string bytes;
    bytes.reserve(shiftJis.size() + 8);
    for (const char ch : shiftJis) {
        if (ch == '\n') bytes += '\r';
        bytes += ch;
    }
    return bytes;
}

void CodePageConsole::write(std::FILE* stream, std::string_view text) {
    const std::string bytes = toConsoleBytes(text);
    std::fwrite(bytes.data(), 1, bytes.size(), stream);
    std::fflush(stream);
}

bool CodePageConsole::writeData(std::string_view bytes) {
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), output_) == bytes.size() &&
                         std::fflush(output_) == 0;
    std::clearerr(output_);
    return written;
}

void MessageBoxNotifier::notify(bool /*converted*/, std::string_view caption,
                                std::string_view text) {
    const std::wstring wideCaption = toUtf16(caption);
    const std::wstring wideText = toUtf16(text);
    if (echo_ != nullptr) {
        std::string line = "[";
        line.append(toUtf8(wideCaption)).append("] ").append(toUtf8(wideText)).append("\n");
        std::fwrite(line.data(), 1, line.size(), echo_);
        std::fflush(echo_);
    }
    // MB_OK alone: one OK button, no icon. The box blocks until the user dismisses it.
    show_(nullptr, wideText.c_str(), wideCaption.c_str(), MB_OK);
}

void MessageBoxNotifier::notifyOf(std::string_view file, bool /*converted*/,
                                  std::string_view caption, std::string_view text) {
    gathered_.append("[").append(caption).append("] ").append(file).append(": ").append(text);
    gathered_.append("\n");
}

void MessageBoxNotifier::allNotified(bool allConverted) {
    if (gathered_.ends_with('\n')) gathered_.pop_back();
    notify(allConverted, allConverted ? "OK" : "NG", gathered_);
    gathered_.clear();
}

void MessageBoxNotifier::showPage(const std::filesystem::path& page) {
    if (echo_ != nullptr) {
        const std::string line = "[page] " + toUtf8(page.wstring()) + "\n";
        std::fwrite(line.data(), 1, line.size(), echo_);
        std::fflush(echo_);
        return;
    }
    ShellExecuteW(nullptr, L"open", page.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

bool DebuggerOutputChannel::isListened() {
    if (IsDebuggerPresent()) return true;
    // A monitor waits on this event for the next text in the shared buffer.
    const HANDLE monitor = OpenEventW(SYNCHRONIZE, FALSE, L"DBWIN_BUFFER_READY");
    if (monitor == nullptr) return false;
    CloseHandle(monitor);
    return true;
}

}  // namespace windows

struct NativePlatform::Parts {
    windows::CodePageConsole console{stdout, stderr};
    // FERRULE_NOTIFY_STDERR=1 also writes each message to stderr (for scripts and tests).
    windows::MessageBoxNotifier notifier{
        &MessageBoxW, windows::isSwitchedOn(L"FERRULE_NOTIFY_STDERR") ? stderr : nullptr};
    windows::DebuggerOutputChannel debug{windows::DebuggerOutputChannel::isListened()};
    windows::WindowsFileSystem files{debug};
};

NativePlatform::NativePlatform() {
    // The console gets exactly the bytes written: no translation of line feeds by the runtime.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    windows::installInterruptHandler();
    parts_ = std::make_unique<Parts>();
}

NativePlatform::~NativePlatform() = default;

Services NativePlatform::services() {
    return Services{parts_->console, parts_->notifier, parts_->debug, parts_->files};
}

}  // namespace ferrule::platform
