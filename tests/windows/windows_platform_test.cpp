// The Windows platform layer in the test process: console bytes, the message box's arguments, and
// the file operations that must never follow, truncate or remove the wrong thing.
#include <gtest/gtest.h>

#include "app/messages.h"
#include "platform/windows/windows_platform.h"
#include "tests/support/test_support.h"

namespace ferrule::test {
namespace {

using namespace platform::windows;

// Shift-JIS bytes as a code page 932 table gives them, written out by hand.
constexpr std::string_view kPleaseWaitShiftJis =
    "\x82\xb5\x82\xce\x82\xe7\x82\xad\x82\xa8\x91\xd2\x82\xbf\x82\xad\x82\xbe\x82\xb3\x82\xa2...";
constexpr std::string_view kUsageShiftJis =
    "\x8e"
    "g\x82\xa2\x95\xfb: ferrule <RINEX\x8a\xcf\x91\xaa\x83t\x83@\x83"
    "C\x83\x8b>";

// A stream on a new file.
std::FILE* openStream(const fs::path& path) {
    std::FILE* stream = nullptr;
    return _wfopen_s(&stream, path.c_str(), L"wb") == 0 ? stream : nullptr;
}

TEST(WindowsConsole, WritesShiftJisWithCrLf) {
    struct Case {
        std::string_view text;
        std::string bytes;
    };
    const std::vector<Case> cases{
        {messages::kBanner, "Ferrule program Ver1.01  2019/May/25th \r\n"},
        {"\n", "\r\n"},
        {messages::kPleaseWait, std::string(kPleaseWaitShiftJis) + "\r\n"},
        {messages::kUsage, std::string(kUsageShiftJis) + "\r\n"},
        // Not in code page 932: a question mark, not a look-alike.
        {"caf\xc3\xa9", "caf?"},
    };
    for (const Case& c : cases) EXPECT_EQ(toConsoleBytes(c.text), c.bytes) << c.text;
}

TEST(WindowsConsole, EachWriteReachesItsStream) {
    const TempDir dir;
    std::FILE* out = openStream(dir / "out");
    std::FILE* err = openStream(dir / "err");
    ASSERT_TRUE(out != nullptr && err != nullptr);
    CodePageConsole console(out, err);
    console.writeOutput(messages::kPleaseWait);
    console.writeError(messages::kUsage);
    // Flushed at once: the bytes are in the files before the streams are closed.
    EXPECT_EQ(readFile(dir / "out"), std::string(kPleaseWaitShiftJis) + "\r\n");
    EXPECT_EQ(readFile(dir / "err"), std::string(kUsageShiftJis) + "\r\n");
    std::fclose(out);
    std::fclose(err);
}

// What MessageBoxW was called with.
struct MessageBoxCall {
    HWND owner;
    std::wstring text;
    std::wstring caption;
    UINT style;
};
std::vector<MessageBoxCall> messageBoxCalls;

int WINAPI recordMessageBox(HWND owner, LPCWSTR text, LPCWSTR caption, UINT style) {
    messageBoxCalls.push_back({owner, text, caption, style});
    return IDOK;
}

TEST(WindowsNotifier, ShowsCaptionAndTextInUtf16WithOneOkButton) {
    struct Case {
        std::string_view caption;
        std::string text;
        std::wstring wideCaption;
        std::wstring wideText;
    };
    const std::string line = record("     0", "RCV CLOCK OFFS APPL");
    const std::wstring wideLine(line.begin(), line.end());
    const std::vector<Case> cases{
        {messages::kCaptionOk, std::string(messages::kConverted), L"OK", L"変換完了"},
        {messages::kCaptionOk, std::string(messages::kConvertedStatic), L"OK",
         L"Staticデータです。Station IDが英数字4文字ではないため修正しました。"},
        {messages::kCaptionNg, std::string(messages::kAlreadyConverted), L"NG",
         L"すでに変換済のRINEXデータです。"},
        // The header error keeps the quoted line's own CR LF and its line breaks.
        {messages::kCaptionNg, messages::headerError(line), L"NG",
         wideLine + L" \nヘッダにエラーがありました。\nSpectra Precision社のRinexConverterを使用"
                    L"していない可能性があります。\nプログラムを終了します。"},
        // A quoted line that is not UTF-8 still shows, its stray byte as a replacement mark.
        {messages::kCaptionNg,
         "AB\xff"
         "C",
         L"NG",
         L"AB\uFFFD"
         L"C"},
    };
    for (const Case& c : cases) {
        messageBoxCalls.clear();
        MessageBoxNotifier notifier(&recordMessageBox);
        notifier.notify(c.caption, c.text);
        ASSERT_EQ(messageBoxCalls.size(), 1u);
        const MessageBoxCall& call = messageBoxCalls.front();
        EXPECT_EQ(call.owner, nullptr);
        EXPECT_EQ(call.style, static_cast<UINT>(MB_OK));  // one OK button, no icon
        EXPECT_EQ(call.caption, c.wideCaption);
        EXPECT_EQ(call.text, c.wideText);
    }
}

TEST(WindowsNotifier, EchoesWhatTheBoxShowsAsOneUtf8Line) {
    const TempDir dir;
    std::FILE* echo = openStream(dir / "echo");
    ASSERT_NE(echo, nullptr);
    messageBoxCalls.clear();
    MessageBoxNotifier notifier(&recordMessageBox, echo);
    notifier.notify(messages::kCaptionNg, messages::kGsiData);
    notifier.notify(messages::kCaptionOk, messages::kConverted);
    std::fclose(echo);
    EXPECT_EQ(messageBoxCalls.size(), 2u);
    EXPECT_EQ(readFile(dir / "echo"), "[NG] " + std::string(messages::kGsiData) + "\n[OK] " +
                                          std::string(messages::kConverted) + "\n");
}

TEST(WindowsFiles, ExtendedLengthPaths) {
    wchar_t current[MAX_PATH];
    ASSERT_GT(GetCurrentDirectoryW(MAX_PATH, current), 0u);
    const std::wstring here(current);
    const std::wstring separator = here.ends_with(L'\\') ? L"" : L"\\";
    struct Case {
        std::wstring path;
        std::wstring expected;
    };
    const std::vector<Case> cases{
        {L"site.19o", L"\\\\?\\" + here + separator + L"site.19o"},
        {L"C:/data/./x/../site.19o", L"\\\\?\\C:\\data\\site.19o"},
        {L"\\\\server\\share\\site.19o", L"\\\\?\\UNC\\server\\share\\site.19o"},
        {L"\\\\?\\C:\\data\\site.19o", L"\\\\?\\C:\\data\\site.19o"},
        {L"NUL", L"\\\\.\\NUL"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(extendedLengthPath(c.path), c.expected) << fs::path(c.path).string();
    }
}

class WindowsFileSystemTest : public testing::Test {
  protected:
    TempDir dir;
    SilentDebugChannel debug;
    WindowsFileSystem files{debug};
    const fs::path input = dir / "site.19o";
    const fs::path temporary = dir / "site.19o_temp";
    void SetUp() override { writeFile(input, "observations"); }
};

TEST_F(WindowsFileSystemTest, TemporaryFileIsCreatedOrEmptied) {
    for (const bool existing : {false, true}) {
        if (existing) writeFile(temporary, "an older temporary file");
        auto output = files.createTemporary(temporary, input);
        ASSERT_NE(output, nullptr);
        EXPECT_TRUE(output->write("converted", 9));
        EXPECT_TRUE(output->sync());
        EXPECT_TRUE(output->close());
        EXPECT_EQ(readFile(temporary), "converted");
        EXPECT_EQ(readFile(input), "observations");
    }
}

// Whatever stands at the temporary path is refused, and neither followed, changed nor removed.
TEST_F(WindowsFileSystemTest, TemporaryPathThatIsNotAPlainFileIsRefused) {
    struct Case {
        const char* kind;
        bool (*make)(const fs::path& input, const fs::path& at);
    };
    const std::vector<Case> cases{
        {"directory", [](const fs::path&, const fs::path& at) { return fs::create_directory(at); }},
        {"hard link to the input",
         [](const fs::path& in, const fs::path& at) {
             return CreateHardLinkW(at.c_str(), in.c_str(), nullptr) != 0;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        ASSERT_TRUE(c.make(input, temporary));
        EXPECT_EQ(files.createTemporary(temporary, input), nullptr);
        EXPECT_EQ(readFile(input), "observations");
        EXPECT_NE(GetFileAttributesW(temporary.c_str()), INVALID_FILE_ATTRIBUTES);
        fs::remove(temporary);
    }
}

TEST_F(WindowsFileSystemTest, SymbolicLinkAtTheTemporaryPathIsRefused) {
    writeFile(dir / "target", "link target");
    CreateSymbolicLinkW(temporary.c_str(), (dir / "target").c_str(),
                        SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE);
    const DWORD attributes = GetFileAttributesW(temporary.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        GTEST_SKIP() << "symbolic links cannot be made here (no privilege, or Wine)";
    }
    EXPECT_EQ(files.createTemporary(temporary, input), nullptr);
    EXPECT_EQ(readFile(dir / "target"), "link target");
    EXPECT_NE(GetFileAttributesW(temporary.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT, 0u);
}

TEST_F(WindowsFileSystemTest, DirectoriesAreNeitherReadNorRemoved) {
    fs::create_directory(dir / "folder.19o");
    EXPECT_EQ(files.openForReading(dir / "folder.19o"), nullptr);
    EXPECT_EQ(files.openForReading(dir / "missing.19o"), nullptr);
    EXPECT_TRUE(files.exists(dir / "folder.19o"));
    EXPECT_FALSE(files.removeFile(dir / "folder.19o"));
    EXPECT_TRUE(fs::is_directory(dir / "folder.19o"));
}

TEST_F(WindowsFileSystemTest, RenameNeverReplacesAFile) {
    writeFile(dir / "other", "other");
    EXPECT_FALSE(files.rename(input, dir / "other"));
    EXPECT_EQ(readFile(input), "observations");
    EXPECT_EQ(readFile(dir / "other"), "other");
    EXPECT_TRUE(files.rename(input, dir / "moved"));
    EXPECT_FALSE(files.exists(input));
    EXPECT_EQ(readFile(dir / "moved"), "observations");
    EXPECT_TRUE(files.removeFile(dir / "moved"));
    EXPECT_FALSE(files.exists(dir / "moved"));
}

}  // namespace
}  // namespace ferrule::test
