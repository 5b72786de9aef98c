// A file system that is not quiet: links at the path, files planted beside the input, another
// user's files, a FIFO, closed standard streams, and a folder swapped while the conversion runs.
// Each row builds its folder, runs the program, and checks the outcome line, the exit status and
// every file afterwards, by its bytes and by its identity (inode). Rows that need a second user
// make their own and remove it again; they are skipped, saying so, when the test is not root.
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

struct stat statusOf(const fs::path& path) {
    struct stat status {};
    ::lstat(path.c_str(), &status);
    return status;
}

// The file's POSIX access-control list, as the file system stores it; empty without one.
std::string accessControlList(const fs::path& path) {
    char list[256];
    const ssize_t size = ::getxattr(path.c_str(), "system.posix_acl_access", list, sizeof list);
    return std::string(list, static_cast<std::size_t>(std::max<ssize_t>(size, 0)));
}

// A user of the test's own, made for a row and removed after it.
class TestUser {
  public:
    // Without a name: no user (a row that needs none).
    explicit TestUser(const std::string& name) : name_(name) {
        if (name.empty()) return;
        std::system(("userdel " + name + " >/dev/null 2>&1").c_str());
        std::system(("useradd -M -N -s /usr/sbin/nologin " + name + " >/dev/null 2>&1").c_str());
        if (const passwd* entry = ::getpwnam(name.c_str())) id_ = {entry->pw_uid, entry->pw_gid};
    }
    ~TestUser() {
        if (!name_.empty()) std::system(("userdel " + name_ + " >/dev/null 2>&1").c_str());
    }
    bool ok() const { return id_.first != 0; }
    unsigned uid() const { return id_.first; }
    unsigned gid() const { return id_.second; }
    std::pair<unsigned, unsigned> id() const { return id_; }

  private:
    std::string name_;
    std::pair<unsigned, unsigned> id_{0, 0};
};

using Setup =
    std::function<std::vector<std::string>(const fs::path&, RunOptions&, TestUser&, TestUser&)>;
using Check = std::function<void(const fs::path&, TestUser&, TestUser&)>;

struct Row {
    const char* name;
    bool needsUsers;
    const char* locked;  // a file in the folder whose lock the test holds during the run
    // Builds the folder; returns the program's arguments and how it runs.
    Setup setup;
    std::string told;
    int status;
    // Every file in the folder afterwards (below it, by relative path) and what it holds: the
    // example as "input", its conversion as "converted", "-> target" for a symbolic link,
    // "fifo", or the text itself.
    std::vector<std::pair<std::string, std::string>> after;
    Check check = nullptr;  // what else must hold: owners, permissions
};

// clang-format off
const Row kRows[] = {
    {"a link to its own _original is refused, and nothing is touched", false, nullptr,
     [](const fs::path& dir, RunOptions&, TestUser&, TestUser&) {
         writeFile(dir / "site.19o_original", input());
         fs::create_symlink("site.19o_original", dir / "site.19o");
         return std::vector<std::string>{"site.19o"};
     },
     kLinkToSideFile, 1, {{"site.19o", "-> site.19o_original"}, {"site.19o_original", "input"}}},
    {"a relative link converts its target in the target's folder and keeps naming it", false, nullptr,
     [](const fs::path& dir, RunOptions&, TestUser&, TestUser&) {
         fs::create_directories(dir / "h");
         fs::create_directories(dir / "o");
         writeFile(dir / "o/s.19o", input());
         fs::create_symlink("../o/s.19o", dir / "h/r.19o");
         return std::vector<std::string>{"h/r.19o"};
     },
     kOk, 0, {{"h/r.19o", "-> ../o/s.19o"}, {"o/s.19o", "converted"}, {"o/s.19o_original", "input"}}},
    {"a _temp that is a hard link to another file loses only its name", false, nullptr,
     [](const fs::path& dir, RunOptions&, TestUser&, TestUser&) {
         writeFile(dir / "site.19o", input());
         writeFile(dir / "notes.txt", "field notes\n");
         fs::create_hard_link(dir / "notes.txt", dir / "site.19o_temp");
         return std::vector<std::string>{"site.19o"};
     },
     kOk, 0, {{"notes.txt", "field notes\n"}, {"site.19o", "converted"}, {"site.19o_original", "input"}},
     [](const fs::path& dir, TestUser&, TestUser&) {
         EXPECT_EQ(statusOf(dir / "notes.txt").st_nlink, 1u);
     }},
    {"a _temp another conversion holds means the file is being converted: nothing touched", false,
     "site.19o_temp",
     [](const fs::path& dir, RunOptions&, TestUser&, TestUser&) {
         writeFile(dir / "site.19o", input());
         writeFile(dir / "site.19o_temp", "being written");
         return std::vector<std::string>{"site.19o"};
     },
     kInUse, 1, {{"site.19o", "input"}, {"site.19o_temp", "being written"}}},
    {"a FIFO is refused at once and the next file is converted", false, nullptr,
     [](const fs::path& dir, RunOptions&, TestUser&, TestUser&) {
         ::mkfifo((dir / "f.19o").c_str(), 0600);
         writeFile(dir / "g.19o", input());
         return std::vector<std::string>{"f.19o", "g.19o"};
     },
     "[NG] f.19o: RINEX観測ファイルの読み込みに失敗しました。", 1,
     {{"f.19o", "fifo"}, {"g.19o", "converted"}, {"g.19o_original", "input"}}},
    {"closed standard streams: no file of the conversion takes their number", false, nullptr,
     [](const fs::path& dir, RunOptions& options, TestUser&, TestUser&) {
         writeFile(dir / "a.19o", input());
         options.closedStandardStreams = true;
         options.environment.emplace_back("FERRULE_DEBUG", "1");
         return std::vector<std::string>{"a.19o"};
     },
     "", 0, {{"a.19o", "converted"}, {"a.19o_original", "input"}}},
    {"a _temp planted in a sticky folder by another user is never written", true, nullptr,
     [](const fs::path& dir, RunOptions&, TestUser& u, TestUser&) {
         fs::permissions(dir, fs::perms::all | fs::perms::sticky_bit);
         writeFile(dir / "r.19o", input());
         fs::permissions(dir / "r.19o", fs::perms::owner_read | fs::perms::owner_write);
         writeFile(dir / "r.19o_temp", "planted");
         EXPECT_EQ(::chown((dir / "r.19o_temp").c_str(), u.uid(), u.gid()), 0);
         fs::permissions(dir / "r.19o_temp", static_cast<fs::perms>(0666));
         fs::create_hard_link(dir / "r.19o_temp", dir.parent_path() / "planted");
         return std::vector<std::string>{"r.19o"};
     },
     kOk, 0, {{"r.19o", "converted"}, {"r.19o_original", "input"}},
     [](const fs::path& dir, TestUser&, TestUser&) {
         EXPECT_EQ(readFile(dir.parent_path() / "planted"), "planted");
         EXPECT_EQ(statusOf(dir / "r.19o").st_uid, 0u);
         EXPECT_EQ(statusOf(dir / "r.19o").st_mode & 07777, 0600u);
     }},
    {"root converting a user's file gives it back to the user, without set-ID bits, ACL kept",
     true, nullptr,
     [](const fs::path& dir, RunOptions&, TestUser& u, TestUser& v) {
         writeFile(dir / "u.19o", input());
         EXPECT_EQ(::chown((dir / "u.19o").c_str(), u.uid(), u.gid()), 0);
         EXPECT_EQ(::chmod((dir / "u.19o").c_str(), 06775), 0);
         const std::string acl =
             "setfacl -m u:" + std::to_string(v.uid()) + ":rw '" + (dir / "u.19o").string() + "'";
         EXPECT_EQ(std::system(acl.c_str()), 0) << "setfacl (Debian package acl) is needed";
         return std::vector<std::string>{"u.19o"};
     },
     kOk, 0, {{"u.19o", "converted"}, {"u.19o_original", "input"}},
     [](const fs::path& dir, TestUser& u, TestUser&) {
         const struct stat result = statusOf(dir / "u.19o");
         EXPECT_EQ(std::make_pair(result.st_uid, result.st_gid), u.id());
         EXPECT_EQ(result.st_mode & 07777, 0775u);
         const std::string before = accessControlList(dir / "u.19o_original");
         EXPECT_FALSE(before.empty());
         EXPECT_EQ(accessControlList(dir / "u.19o"), before);
     }},
    {"another user's file under protected hard links: _original written as a copy", true, nullptr,
     [](const fs::path& dir, RunOptions& options, TestUser& u, TestUser& v) {
         fs::permissions(dir, fs::perms::all);
         writeFile(dir / "u.19o", input());
         EXPECT_EQ(::chown((dir / "u.19o").c_str(), u.uid(), u.gid()), 0);
         fs::permissions(dir / "u.19o", static_cast<fs::perms>(0644));
         options.user = v.id();
         return std::vector<std::string>{"u.19o"};
     },
     kOk, 0, {{"u.19o", "converted"}, {"u.19o_original", "input"}},
     [](const fs::path& dir, TestUser&, TestUser& v) {
         EXPECT_EQ(statusOf(dir / "u.19o_original").st_uid, v.uid()) << "a copy, not a link";
         // The copy has the input's permissions: its owner can read her own original.
         EXPECT_EQ(statusOf(dir / "u.19o_original").st_mode & 07777, 0644u);
     }},
};
// clang-format on

// Every file below the folder, by relative path, and what it holds as a row writes it.
std::vector<std::pair<std::string, std::string>> contents(const fs::path& dir) {
    std::vector<std::pair<std::string, std::string>> found;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        const fs::path& path = entry.path();
        const std::string name = path.lexically_relative(dir).string();
        if (entry.is_symlink()) {
            found.emplace_back(name, "-> " + fs::read_symlink(path).string());
        } else if (entry.is_fifo()) {
            found.emplace_back(name, "fifo");
        } else if (entry.is_regular_file()) {
            const std::string bytes = readFile(path);
            found.emplace_back(name, bytes == input()       ? "input"
                                     : bytes == converted() ? "converted"
                                                            : bytes);
        }
    }
    std::sort(found.begin(), found.end());
    return found;
}

void PrintTo(const Row& row, std::ostream* out) {
    *out << row.name;
}

class HostileFiles : public testing::TestWithParam<Row> {};

TEST_P(HostileFiles, LoseNothingAndTellTheTruth) {
    const Row& row = GetParam();
    if (row.needsUsers && ::geteuid() != 0) {
        GTEST_SKIP() << "needs root, to make a second and a third user";
    }
    if (std::string(row.name).find("protected") != std::string::npos &&
        readFile("/proc/sys/fs/protected_hardlinks").front() != '1') {
        GTEST_SKIP() << "protected_hardlinks is off here";
    }
    std::optional<TestUser> u;
    std::optional<TestUser> v;
    if (row.needsUsers) {
        // Names of the row's own: ctest may run two rows at once.
        const auto index = std::to_string(&row - std::begin(kRows));
        u.emplace("ferrule-u" + index);
        v.emplace("ferrule-v" + index);
        ASSERT_TRUE(u->ok() && v->ok()) << "useradd failed";
    }
    if (!u) u.emplace("");
    if (!v) v.emplace("");
    TestUser& someone = *u;
    TestUser& another = *v;
    const TempDir top;
    const fs::path dir = top / "folder";
    fs::create_directories(dir);
    RunOptions options = inDirectory(dir);
    const std::vector<std::string> arguments = row.setup(dir, options, someone, another);
    int held = -1;
    if (row.locked != nullptr) {
        held = ::open((dir / row.locked).c_str(), O_RDONLY | O_CLOEXEC);
        ASSERT_EQ(::flock(held, LOCK_EX), 0);
    }
    // The test folder must be reachable by the other users.
    fs::permissions(top.path(),
                    fs::perms::owner_all | fs::perms::others_exec | fs::perms::group_exec);
    StartedRun started(arguments, options);
    const ProgramRun run = started.wait();
    if (held >= 0) ::close(held);
    EXPECT_EQ(run.status, row.status) << run.err;
    if (!row.told.empty()) {
        const std::string said = run.out + run.err;
        EXPECT_NE(said.find(row.told + "\n"), std::string::npos) << said;
    }
    EXPECT_EQ(contents(dir), row.after);
    if (row.check) row.check(dir, someone, another);
}

INSTANTIATE_TEST_SUITE_P(Rows, HostileFiles, testing::ValuesIn(kRows),
                         [](const testing::TestParamInfo<Row>& row) {
                             return "row" + std::to_string(row.index);
                         });

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
