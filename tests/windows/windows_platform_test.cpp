// The Windows platform layer in the test process: console bytes, the message box's arguments,
// extended-length paths, the folder operations of a conversion over what may stand at the
// temporary name, the folder held, and an interrupt.
#include <gtest/gtest.h>

#include <optional>

#include "platform/native.h"
#include "platform/windows/windows_platform.h"
#include "tests/support/test_support.h"

// After <windows.h>, which the platform's header includes.
#include <shellapi.h>
#include <tlhelp32.h>

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
    MessageBoxNotifier(&recordMessageBox, echo).notify(false, "NG", "すでに変換済\nです");
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

platform::Opened opened(WindowsFileSystem& files, const fs::path& path) {
    platform::Opened opened = files.open(path);
    EXPECT_EQ(opened.failure, platform::Opened::Failure::None) << path;
    return opened;
}

// Whatever stands at "_temp" is never followed, reused or emptied: creating the temporary file
// fails while it is there; removing it removes that name alone and never a directory; a file
// created afterwards is a new one of its own.
TEST(WindowsFolder, ThingsAtTheTemporaryNameAreNeverReused) {
    struct Row {
        const char* what;
        void (*plant)(const TempDir& dir);
        std::optional<bool> removed;  // empty: either, but what remove() says must hold
    };
    const Row rows[] = {
        {"a directory", [](const TempDir& dir) { fs::create_directory(dir / "site.19o_temp"); },
         false},
        {"another name of the input",
         [](const TempDir& dir) {
             ASSERT_TRUE(CreateHardLinkW((dir / "site.19o_temp").c_str(),
                                         (dir / "site.19o").c_str(), nullptr));
         },
         // Wine, and Windows before 1809, remove a name of a file open elsewhere (here the input,
         // open for the conversion) only once it is closed everywhere.
         std::nullopt},
        {"another name of another file",
         [](const TempDir& dir) {
             ASSERT_TRUE(CreateHardLinkW((dir / "site.19o_temp").c_str(),
                                         (dir / "notes.txt").c_str(), nullptr));
         },
         true},
        {"a file left by a crash",
         [](const TempDir& dir) { writeFile(dir / "site.19o_temp", "left by a crash"); }, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const TempDir dir;
        writeFile(dir / "site.19o", "observations");
        writeFile(dir / "notes.txt", "notes");
        row.plant(dir);
        detail::SilentDebugChannel debug;
        WindowsFileSystem files(debug);
        const platform::Opened input = opened(files, dir / "site.19o");
        ASSERT_TRUE(input.folder);
        platform::Folder& folder = *input.folder;
        EXPECT_EQ(input.name, fs::path("site.19o"));

        EXPECT_EQ(folder.create("site.19o_temp"), nullptr);
        EXPECT_FALSE(folder.lockedByAnother("site.19o_temp"));
        const bool removed = folder.remove("site.19o_temp");
        EXPECT_EQ(removed, row.removed.value_or(removed));
        EXPECT_EQ(fs::exists(dir / "site.19o_temp"), !removed);
        if (removed) {
            const std::unique_ptr<platform::OutputFile> made = folder.create("site.19o_temp");
            ASSERT_NE(made, nullptr);
            ASSERT_TRUE(made->write("converted", 9));
            ASSERT_TRUE(made->close());
            const std::optional<platform::FileState> state = folder.stateOf("site.19o_temp");
            ASSERT_TRUE(state);
            EXPECT_FALSE(state->sameFile(*folder.stateOf("site.19o")));
            EXPECT_EQ(readFile(dir / "site.19o_temp"), "converted");
        }
        EXPECT_EQ(readFile(dir / "site.19o"), "observations");
        EXPECT_EQ(readFile(dir / "notes.txt"), "notes");
        if (!row.removed.value_or(true)) {
            EXPECT_TRUE(fs::is_directory(dir / "site.19o_temp"));
        }
    }
}

// A second conversion of the same file sees the first one's temporary file, and the input
// itself, as locked by another until they are closed.
TEST(WindowsFolder, TemporaryFileBeingWrittenIsLockedByAnother) {
    const TempDir dir;
    writeFile(dir / "site.19o", "observations");
    detail::SilentDebugChannel debug;
    WindowsFileSystem files(debug);
    platform::Opened first = opened(files, dir / "site.19o");
    const platform::Opened second = opened(files, dir / "site.19o");
    ASSERT_TRUE(first.folder && second.folder);
    ASSERT_EQ(first.file->lock(), platform::Lock::Taken);
    EXPECT_EQ(second.file->lock(), platform::Lock::Held);
    EXPECT_TRUE(second.folder->lockedByAnother("site.19o"));

    std::unique_ptr<platform::OutputFile> temporary = first.folder->create("site.19o_temp");
    ASSERT_NE(temporary, nullptr);
    EXPECT_TRUE(second.folder->lockedByAnother("site.19o_temp"));
    ASSERT_TRUE(temporary->close());
    EXPECT_FALSE(second.folder->lockedByAnother("site.19o_temp"));
    first.file.reset();
    EXPECT_FALSE(second.folder->lockedByAnother("site.19o"));
}

// While a conversion holds its folder, the folder cannot be renamed, so no step can land in
// another folder put at its name.
TEST(WindowsFolder, HeldFolderCannotBeRenamed) {
    const TempDir dir;
    fs::create_directory(dir / "d");
    writeFile(dir / "d" / "site.19o", "observations");
    detail::SilentDebugChannel debug;
    WindowsFileSystem files(debug);
    platform::Opened input = opened(files, dir / "d" / "site.19o");
    EXPECT_FALSE(MoveFileExW((dir / "d").c_str(), (dir / "e").c_str(), 0));
    input = {};
    EXPECT_TRUE(MoveFileExW((dir / "d").c_str(), (dir / "e").c_str(), 0));
}

// --- Interrupts ----------------------------------------------------------------------------
//
// The test program is started again, on a console of its own, as "--interrupted-child SCENE
// FOLDER": set up as the program is, it opens FOLDER\d\site.19o, takes the steps of the scene,
// writes FOLDER\ready and waits. Ctrl-C on its console must then do what the scene says.

const wchar_t* const kChildSwitch = L"--interrupted-child";

std::size_t threadsOfThisProcess() {
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    std::size_t count = 0;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        count += entry.th32OwnerProcessID == GetCurrentProcessId() ? 1 : 0;
    }
    CloseHandle(snapshot);
    return count;
}

[[noreturn]] void runInterruptedChild(const std::wstring& scene, const fs::path& folder) {
    platform::NativePlatform native;
    const platform::Opened input = native.services().files.open(folder / "d" / "site.19o");
    std::unique_ptr<platform::OutputFile> temporary =
        input.folder ? input.folder->create("site.19o_temp") : nullptr;
    if (temporary == nullptr || !temporary->write("converted", 9)) ExitProcess(2);
    if (scene != L"open" && !temporary->close()) ExitProcess(2);
    if (scene == L"held") {
        // The interrupt's handler thread starts, and must wait until the swap is done.
        native.services().files.holdInterrupts();
        const std::size_t threads = threadsOfThisProcess();
        writeFile(folder / "ready", "");
        while (threadsOfThisProcess() <= threads) Sleep(1);
        Sleep(200);
        writeFile(folder / "released", "");
        native.services().files.releaseInterrupts();
    } else {
        writeFile(folder / "ready", "");
    }
    Sleep(INFINITE);
    ExitProcess(3);
}

// Started as the child, this process never reaches the tests.
const bool kIsInterruptedChild = [] {
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (count == 4 && std::wstring(arguments[1]) == kChildSwitch) {
        runInterruptedChild(arguments[2], arguments[3]);
    }
    LocalFree(arguments);
    return false;
}();

// Starts the child, waits until it is ready, calls `meanwhile`, and interrupts it from its console
// (this process joins the console for that, and ignores the interrupt itself). Returns the
// child's exit status.
DWORD interruptedChild(const wchar_t* scene, const TempDir& dir,
                       void (*meanwhile)(const TempDir&)) {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring commandLine = std::wstring(L"\"") + self + L"\" " + kChildSwitch + L" " + scene +
                               L" \"" + dir.path().native() + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child{};
    if (!CreateProcessW(self, commandLine.data(), nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE,
                        nullptr, nullptr, &startup, &child)) {
        ADD_FAILURE() << "cannot start the child";
        return 0;
    }
    DWORD waited = WAIT_TIMEOUT;
    for (int tick = 0; tick < 20'000 && !fs::exists(dir / "ready") && waited == WAIT_TIMEOUT;
         ++tick) {
        waited = WaitForSingleObject(child.hProcess, 1);
    }
    EXPECT_TRUE(fs::exists(dir / "ready"));
    meanwhile(dir);
    FreeConsole();
    EXPECT_TRUE(AttachConsole(child.dwProcessId));
    SetConsoleCtrlHandler(nullptr, TRUE);
    EXPECT_TRUE(GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0));
    waited = WaitForSingleObject(child.hProcess, 20'000);
    SetConsoleCtrlHandler(nullptr, FALSE);
    FreeConsole();
    EXPECT_EQ(waited, WAIT_OBJECT_0) << "the interrupt did not end the child";
    if (waited != WAIT_OBJECT_0) TerminateProcess(child.hProcess, 1);
    DWORD status = 0;
    GetExitCodeProcess(child.hProcess, &status);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    return status;
}

// Ctrl-C ends the program with status 130 and removes the temporary file being written, or
// written and closed, but not a file put at its name since; during the swap it waits.
TEST(WindowsInterrupts, RemoveTheTemporaryFileOnlyAndWaitForTheSwap) {
    struct Row {
        const wchar_t* scene;
        void (*meanwhile)(const TempDir& dir);
        std::vector<std::string> left;  // in the input's folder
    };
    const auto nothing = [](const TempDir&) {};
    const Row rows[] = {
        {L"open", nothing, {"site.19o"}},
        {L"closed", nothing, {"site.19o"}},
        {L"closed",
         [](const TempDir& dir) {
             fs::rename(dir / "d" / "site.19o_temp", dir / "d" / "moved");
             writeFile(dir / "d" / "site.19o_temp", "another file");
         },
         {"moved", "site.19o", "site.19o_temp"}},
        {L"held", nothing, {"site.19o"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(toUtf8(row.scene) + (row.left.size() > 1 ? ", another file at its name" : ""));
        const TempDir dir;
        fs::create_directory(dir / "d");
        writeFile(dir / "d" / "site.19o", "observations");
        EXPECT_EQ(interruptedChild(row.scene, dir, row.meanwhile), 128u + 2u);
        EXPECT_EQ(entries(dir / "d"), row.left);
        EXPECT_EQ(readFile(dir / "d" / "site.19o"), "observations");
        if (row.left.size() > 1) {
            EXPECT_EQ(readFile(dir / "d" / "site.19o_temp"), "another file");
        }
        EXPECT_EQ(fs::exists(dir / "released"), std::wstring(row.scene) == L"held");
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
    writeFile(folder + L"\\site.19o", sourceFile("tests/cases/kinematic/input"));
    EXPECT_EQ(told(runFerrule({relative + "site.19o"}, inDirectory(dir.path()))), "[OK] 変換完了");
    EXPECT_EQ(readFile(folder + L"\\site.19o"), sourceFile("tests/cases/kinematic/expected"));
    for (const wchar_t* name : {L"\\site.19o", L"\\site.19o_original"}) {
        DeleteFileW((folder + name).c_str());
    }
    for (int level = 0; level < 5; ++level, folder.resize(folder.rfind(L'\\'))) {
        RemoveDirectoryW(folder.c_str());
    }
}

// The report's own icon: the files dropped on it get one page beside the first of them, which
// the program shows (here, with its messages echoed, names) and the folder holds nothing else new.
TEST(WindowsReportIcon, WritesOnePageBesideTheFirstFileAndShowsIt) {
    const TempDir dir;
    writeFile(dir / "a.19o", sourceFile("examples/kinematic.19o"));
    writeFile(dir / "b.19o", sourceFile("examples/static_bad_id.19o"));
    RunOptions options = inDirectory(dir.path());
    options.program = FERRULE_REPORT_BINARY;
    const ProgramRun run = runFerrule({"a.19o", "b.19o"}, options);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(entries(dir.path()),
              (std::vector<std::string>{"a.19o", "a.19o_report.html", "b.19o"}));
    EXPECT_TRUE(run.err.starts_with("[page] ")) << run.err;
    EXPECT_TRUE(run.err.ends_with("a.19o_report.html\n")) << run.err;
    // Both files' occupations are on the page.
    const std::string page = readFile(dir / "a.19o_report.html");
    for (const char* name : {"000K", "001K", "P001", "002K", "BASE"}) {
        EXPECT_NE(page.find(name), std::string::npos) << name;
    }
}

}  // namespace
}  // namespace ferrule::test
