// The Windows platform layer in the test process: console bytes, the message box's arguments,
// extended-length paths, and a temporary path that must never be followed or emptied.
#include <gtest/gtest.h>

#include "platform/windows/windows_platform.h"
#include "tests/support/test_support.h"

namespace ferrule::test {
namespace {

using namespace platform::windows;

TEST(WindowsConsole, WritesShiftJisWithCrLf) {
    EXPECT_EQ(toConsoleBytes("Ver1.01 \n"), "Ver1.01 \r\n");
    // Shift-JIS bytes as a code page 932 table gives them, written out by hand.
    EXPECT_EQ(toConsoleBytes("しばらくお待ちください..."),
              "\x82\xb5\x82\xce\x82\xe7\x82\xad\x82\xa8\x91\xd2\x82\xbf\x82\xad\x82\xbe\x82\xb3"
              "\x82\xa2...");
    // Not in code page 932: a question mark, not a look-alike.
    EXPECT_EQ(toConsoleBytes("caf\xc3\xa9"), "caf?");
}

std::vector<std::wstring> messageBoxCalls;

int WINAPI recordMessageBox(HWND owner, LPCWSTR text, LPCWSTR caption, UINT style) {
    messageBoxCalls.push_back(std::wstring(caption) + L"|" + text + L"|" +
                              (owner == nullptr && style == MB_OK ? L"MB_OK" : L"other"));
    return IDOK;
}

TEST(WindowsNotifier, ShowsCaptionAndTextInUtf16WithOneOkButtonAndEchoesThem) {
    const TempDir dir;
    std::FILE* echo = nullptr;
    ASSERT_EQ(_wfopen_s(&echo, (dir / "echo").c_str(), L"wb"), 0);
    MessageBoxNotifier(&recordMessageBox, echo).notify("NG", "すでに変換済\nです");
    std::fclose(echo);
    EXPECT_EQ(messageBoxCalls, std::vector<std::wstring>{L"NG|すでに変換済\nです|MB_OK"});
    EXPECT_EQ(readFile(dir / "echo"), "[NG] すでに変換済\nです\n");
}

TEST(WindowsFiles, ExtendedLengthPaths) {
    wchar_t current[MAX_PATH];
    ASSERT_GT(GetCurrentDirectoryW(MAX_PATH, current), 0u);
    const std::wstring here =
        std::wstring(current) + (std::wstring(current).ends_with(L'\\') ? L"" : L"\\");
    EXPECT_EQ(extendedLengthPath(L"site.19o"), L"\\\\?\\" + here + L"site.19o");
    EXPECT_EQ(extendedLengthPath(L"C:/data/./x/../site.19o"), L"\\\\?\\C:\\data\\site.19o");
    EXPECT_EQ(extendedLengthPath(L"\\\\server\\share\\s.19o"), L"\\\\?\\UNC\\server\\share\\s.19o");
    EXPECT_EQ(extendedLengthPath(L"\\\\?\\C:\\site.19o"), L"\\\\?\\C:\\site.19o");
    EXPECT_EQ(extendedLengthPath(L"NUL"), L"\\\\.\\NUL");
}

// A directory or another name of the input at the temporary path is refused, and left as it is.
TEST(WindowsFiles, TemporaryPathThatIsNotAPlainFileOfItsOwnIsRefused) {
    for (const bool hardLink : {false, true}) {
        const TempDir dir;
        writeFile(dir / "site.19o", "observations");
        if (hardLink) {
            ASSERT_TRUE(CreateHardLinkW((dir / "site.19o_temp").c_str(), (dir / "site.19o").c_str(),
                                        nullptr));
        } else {
            fs::create_directory(dir / "site.19o_temp");
        }
        detail::SilentDebugChannel debug;
        WindowsFileSystem files(debug);
        EXPECT_EQ(files.createTemporary(dir / "site.19o_temp", dir / "site.19o"), nullptr);
        EXPECT_EQ(readFile(dir / "site.19o"), "observations");
        EXPECT_TRUE(fs::exists(dir / "site.19o_temp"));
    }
}

// The program converts a file whose path is longer than MAX_PATH (given relative to a short
// working directory, as std::filesystem here cannot make such paths itself).
TEST(WindowsFiles, PathLongerThanMaxPath) {
    const TempDir dir;
    std::wstring folder = extendedLengthPath(dir.path());
    std::string relative;
    for (int level = 0; level < 5; ++level) {
        folder += L"\\" + std::wstring(60, L'd');
        relative += std::string(60, 'd') + "\\";
        ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    }
    writeFile(folder + L"\\site.19o", sourceFile("examples/kinematic.19o"));
    EXPECT_EQ(told(runFerrule({relative + "site.19o"}, inDirectory(dir.path()))), "[OK] 変換完了");
    EXPECT_EQ(readFile(folder + L"\\site.19o"), sourceFile("tests/cases/kinematic/expected"));
    for (const wchar_t* name : {L"\\site.19o", L"\\site.19o_original"}) {
        DeleteFileW((folder + name).c_str());
    }
    for (int level = 0; level < 5; ++level, folder.resize(folder.rfind(L'\\'))) {
        RemoveDirectoryW(folder.c_str());
    }
}

}  // namespace
}  // namespace ferrule::test
