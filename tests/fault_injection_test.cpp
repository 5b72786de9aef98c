// The conversion of a file whose file operations fail, one at a time, with the error the real
// call would give, or whose input another program changes while it is read: the user is told
// the truth, and the input's bytes stay at its path (or, once converted, at "_original").
// Runs the driver in-process over a file system that fails the chosen operation.
#include <gtest/gtest.h>

#include <cerrno>

#include "app/convert_file.h"
#include "platform/native.h"
#include "tests/support/faulty_file_system.h"
#include "tests/support/test_support.h"

namespace ferrule::test {
namespace {

// The kinematic example followed by regular epochs up to about 2.5 MiB: the driver writes such a
// file in several writes while it reads, not in one write at the end.
std::string largeKinematic() {
    std::string input = sourceFile("examples/kinematic.19o");
    const std::string epoch =
        " 19  5 25  1 20  0.0000000  0  1G01\r\n"
        "  21234568.26605  21235568.266 6  21236568.266 7  21237568.26608\r\n";
    while (input.size() < 2'500'000) input += epoch;
    return input;
}

// Where in the input, or the output, a read, write or change strikes.
enum Where : std::uint64_t { Start = 0, Header = 100, Late = 2'000'000 };

enum class Left { Input, Converted, Changed };  // what the path holds afterwards

enum class Input {
    Large,             // written in several writes while it is read
    Small,             // written in one write once it has been read
    AlreadyConverted,  // a stop in the observation section, which keeps "_temp"
};

struct FaultRow {
    const char* name;
    Fault fault;
    std::string told;                // the outcome line, literally
    std::vector<std::string> files;  // the directory afterwards
    Left left = Left::Input;
    Input input = Input::Large;
    bool earlierOriginal = false;  // a file at "_original" before the run
};

using enum FileOperation;
const std::string kReadFailed = "[NG] RINEX観測ファイルの読み込みに失敗しました。";
const std::string kWriteFailed = "[NG] 一時的なファイルの書き込みに失敗しました。";
const std::string kReplaceFailed = "[NG] ファイルの置き換えに失敗しました。";
const std::string kConverted = "[OK] 変換完了";
const std::vector<std::string> kInput{"site.19o"};
const std::vector<std::string> kBoth{"site.19o", "site.19o_original"};

const std::vector<FaultRow> kRows {
    {"NoFault", {}, kConverted, kBoth, Left::Converted, Input::Large, true},
        {"OpenDenied", {Open, EACCES}, kReadFailed, kInput},
        {"LockHeld", {Lock, EWOULDBLOCK}, "[NG] このファイルは別の変換で使用中です。", kInput},
        {"ReadInHeader", {Read, EIO, Header}, kReadFailed, kInput},
        {"ReadLate", {Read, EIO, Late}, kReadFailed, kInput},
#if !defined(_WIN32)  // On Windows no other program may write the input while it is read.
        {"GrowsWhileRead",
         {Grow, 0, Late},
         "[NG] 変換中にファイルが変更されました。",
         kInput,
         Left::Changed},
#endif
        {"ReplacedWhileRead",
         {ReplaceInput, 0, Late},
         "[NG] 変換中にファイルが変更されました。",
         {"site.19o", "site.19o_moved"},
         Left::Changed},
        {"CreateTemporary",
         {CreateTemporary, ENOSPC},
         "[NG] 一時的なファイルの作成の失敗しました。",
         kInput},
        {"WriteFirstByte", {Write, EIO, Start}, kWriteFailed, kInput},
        {"WriteLate", {Write, EFBIG, Late}, kWriteFailed, kInput},
        {"LastWrite", {LastWrite, ENOSPC}, kWriteFailed, kInput, Left::Input, Input::Small},
        {"Sync", {Sync, EIO}, kWriteFailed, kInput},
        {"Close", {Close, ENOSPC}, kWriteFailed, kInput},
        {"CloseAfterAStop", {Close, EIO},           kWriteFailed, kInput,
         Left::Input,       Input::AlreadyConverted},
        {"StopKeepsTemporary",          {},          "[NG] すでに変換済のRINEXデータです。",
         {"site.19o", "site.19o_temp"}, Left::Input, Input::AlreadyConverted},
        {"RemoveEarlierOriginal",
         {RemoveEarlierOriginal, EPERM},
         kReplaceFailed,
         kBoth,
         Left::Input,
         Input::Large,
         true},
        {"Replace", {Replace, EIO}, kReplaceFailed, kInput},
        {"NoHardLinks", {None, 0, 0, true}, kConverted, kBoth, Left::Converted, Input::Large, true},
        {"NoHardLinksRenameInput",
         {RenameInputToOriginal, EACCES, 0, true},
         kReplaceFailed,
         kInput},
        {"NoHardLinksRenameTemporary",
         {RenameTemporaryToInput, EIO, 0, true},
         kReplaceFailed,
         kInput},
};

class FaultInjection : public testing::TestWithParam<FaultRow> {};

TEST_P(FaultInjection, LeavesTheInputAndTellsTheTruth) {
    const FaultRow& row = GetParam();
    const std::string input = row.input == Input::Large ? largeKinematic()
                              : row.input == Input::Small
                                  ? sourceFile("examples/kinematic.19o")
                                  : sourceFile("tests/golden/kinematic.19o.expected");
    const TempDir dir;
    const fs::path path = dir / "site.19o";
    writeFile(path, input);
    if (row.earlierOriginal) writeFile(dir / "site.19o_original", "an earlier original");

    platform::NativePlatform native;
    FaultyFileSystem files(native.services().files, path, row.fault);
    RecordingConsole console;
    RecordingNotifier notifier;
    SilentDebugChannel debug;
    platform::Services services{console, notifier, debug, files};
    const int status = convertFile(path, services) ? 0 : 1;

    std::string calls;
    for (const std::string& call : files.calls()) calls += "\n  " + call;
    SCOPED_TRACE("calls:" + calls);
    EXPECT_EQ(files.faultInjected(), row.fault.operation != None);
    EXPECT_EQ(files.openFileViolations(), 0);
    ASSERT_EQ(notifier.notifications.size(), 1u);
    const Notification& told = notifier.notifications[0];
    EXPECT_EQ("[" + told.caption + "] " + told.text, row.told);
    EXPECT_EQ(status, row.left == Left::Converted ? 0 : 1);
    EXPECT_EQ(dir.entries(), row.files);
    switch (row.left) {
        case Left::Converted:
            EXPECT_EQ(readFile(path), convertBytes(input, 4096).output);
            EXPECT_EQ(readFile(dir / "site.19o_original"), input);
            break;
        case Left::Input:
            EXPECT_EQ(readFile(path), input);
            if (row.earlierOriginal) {
                EXPECT_EQ(readFile(dir / "site.19o_original"), "an earlier original");
            }
            break;
        case Left::Changed:
            // What the other program left is where it left it.
            if (row.fault.operation == Grow) {
                EXPECT_EQ(readFile(path), input + "appended\r\n");
            } else {
                EXPECT_EQ(readFile(path), "a new file\r\n");
                EXPECT_EQ(readFile(dir / "site.19o_moved"), input);
            }
            break;
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, FaultInjection, testing::ValuesIn(kRows),
                         [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace ferrule::test
