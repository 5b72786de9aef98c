// A file system that is not quiet, where it takes more than a table's scene: a folder swapped
// with another at every step of the conversion and while it runs, and a newer file renamed onto
// the path in the instant before the swap. (Links, planted files, other users' files and FIFOs
// are the scenes of tests/cases/folder-scenes.table.)
#include <fcntl.h>
#include <linux/fs.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <optional>
#include <thread>

#include "app/convert_file.h"
#include "platform/native.h"
#include "tests/support/faulty_file_system.h"
#include "tests/support/test_support.h"

namespace ferrule::test {
namespace {

const std::string kOk = "[OK] 変換完了";
const std::string kInUse = "[NG] このファイルは別の変換で使用中です。";
const std::string kReadFailed = "[NG] RINEX観測ファイルの読み込みに失敗しました。";
const std::string kLinkToSideFile =
    "[NG] このファイルは、変換で使う名前（_original または _temp）とつながるシンボリックリンクで"
    "す。リンク先のファイルを直接指定してください。";

std::string input() {
    return sourceFile("tests/cases/kinematic/input");
}
std::string converted() {
    return sourceFile("tests/cases/kinematic/expected");
}

ino_t inode(const fs::path& path) {
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0 ? status.st_ino : 0;
}

// The folder swap: before each step the conversion takes in the input's folder, the folder and
// a sibling are exchanged (renameat2 RENAME_EXCHANGE), as a hostile owner of their parent could.
// No step may reach the sibling: its file keeps its bytes and its inode, and nothing appears
// beside it; the input, wherever its folder now is, is converted or left whole.
bool exchange(const fs::path& a, const fs::path& b) {
    return ::syscall(SYS_renameat2, AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_EXCHANGE) == 0;
}

struct Victim {
    fs::path folder;
    ino_t inode;
};

void expectUntouched(const fs::path& victim, ino_t victimInode) {
    EXPECT_EQ(entries(victim), std::vector<std::string>{"base.19o"});
    EXPECT_EQ(readFile(victim / "base.19o"), "root-only observations\r\n");
    EXPECT_EQ(inode(victim / "base.19o"), victimInode);
}

TEST(FolderSwap, AtEveryStepReachesNothingOutsideTheInputsFolder) {
    for (int swapAt = 0;; ++swapAt) {
        SCOPED_TRACE("folders exchanged before step " + std::to_string(swapAt));
        const TempDir top;
        fs::create_directories(top / "a/d");
        fs::create_directories(top / "a/e");
        writeFile(top / "a/d/base.19o", input());
        writeFile(top / "a/e/base.19o", "root-only observations\r\n");
        const ino_t victimInode = inode(top / "a/e/base.19o");
        bool swapped = false;
        Fault fault;
        fault.beforeFolderStep = [&](int step) {
            if (step == swapAt) swapped = exchange(top / "a/d", top / "a/e");
        };
        platform::NativePlatform native;
        FaultyFileSystem files(native.services().files, top / "a/d/base.19o", fault);
        detail::SilentDebugChannel debug;
        platform::Services services{native.services().console, native.services().notifier, debug,
                                    files};
        const Told told = convertFile(top / "a/d/base.19o", services);
        if (!swapped) {
            // Past the last step; the conversion's own steps are more than a few.
            EXPECT_GT(swapAt, 5);
            break;
        }
        // The input's folder is now at a/e, the other one at a/d.
        expectUntouched(top / "a/d", victimInode);
        EXPECT_TRUE(told.converted) << told.text;
        EXPECT_EQ(readFile(top / "a/e/base.19o"), converted());
        EXPECT_EQ(readFile(top / "a/e/base.19o_original"), input());
        ASSERT_LT(swapAt, 100);
    }
}

// The real race, bounded: a second process exchanges the folders as fast as it can while the
// program converts, for at most 20 s of runs.
TEST(FolderSwap, RacedByAnotherProcessLosesNothing) {
    const TempDir top;
    fs::create_directories(top / "a/d");
    fs::create_directories(top / "a/e");
    writeFile(top / "a/e/base.19o", "root-only observations\r\n");
    const ino_t victimInode = inode(top / "a/e/base.19o");
    writeFile(top / "a/d/base.19o", input());
    // Which folder holds the input is marked by a file of its own in it.
    writeFile(top / "a/d/mine", "");
    const pid_t swapper = ::fork();
    if (swapper == 0) {
        for (;;) exchange(top / "a/d", top / "a/e");
    }
    const auto start = std::chrono::steady_clock::now();
    int runs = 0;
    while (std::chrono::steady_clock::now() - start < std::chrono::seconds(20) && runs < 200) {
        (void)runFerrule({(top / "a/d/base.19o").string()});
        ++runs;
    }
    ::kill(swapper, SIGKILL);
    ::waitpid(swapper, nullptr, 0);
    const fs::path mine = fs::exists(top / "a/d/mine") ? top / "a/d" : top / "a/e";
    const fs::path other = mine == top / "a/d" ? top / "a/e" : top / "a/d";
    expectUntouched(other, victimInode);
    // The input's folder holds the input, or its conversion with the input beside it.
    const std::string atPath = readFile(mine / "base.19o");
    EXPECT_TRUE(atPath == input() || atPath == converted());
    if (atPath == converted()) {
        EXPECT_EQ(readFile(mine / "base.19o_original"), input());
    }
    std::printf("    %d runs against the swapping folders\n", runs);
}

// A newer file renamed onto the path between the last check and the swap (the instant held open
// for 2 s after the input got its second name): the newer file keeps its name, the conversion
// is refused as changed while read, and nothing it made stays.
TEST(SwapWindow, ANewerFileRenamedOntoThePathKeepsItsName) {
    if (std::system("strace -o /dev/null true >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "strace is not installed, or may not trace here";
    }
    const TempDir dir;
    writeFile(dir / "s.19o", input());
    writeFile(dir / "newer", "newer observations\r\n");
    RunOptions options = inDirectory(dir.path());
    options.wrapper = {"strace", "-f",           "-o", "/dev/null",
                       "-e",     "trace=linkat", "-e", "inject=linkat:delay_exit=2000000"};
    options.environment.emplace_back("ASAN_OPTIONS", "detect_leaks=0");
    StartedRun started({"s.19o"}, options);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!fs::exists(dir / "s.19o_original") && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_TRUE(fs::exists(dir / "s.19o_original")) << "the input never got its second name";
    fs::rename(dir / "newer", dir / "s.19o");
    const ProgramRun run = started.wait();
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(told(run), "[NG] 変換中にファイルが変更されました。");
    EXPECT_EQ(entries(dir.path()), std::vector<std::string>{"s.19o"});
    EXPECT_EQ(readFile(dir / "s.19o"), "newer observations\r\n");
}

}  // namespace
}  // namespace ferrule::test
