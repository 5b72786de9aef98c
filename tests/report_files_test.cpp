// The report's own files written whole or not at all, where it takes more than a table's scene
// (those are in tests/cases/folder-scenes.table): a failing disk and a refused rename, with the
// program's driver in this process over the fault double, and an interrupt.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <functional>

#include "app/program.h"
#include "platform/native.h"
#include "tests/support/faulty_file_system.h"
#include "tests/support/test_support.h"

namespace ferrule::test {
namespace {

std::string input() {
    return sourceFile("tests/cases/kinematic/input");
}

// Every file in the folder and what it holds: "input" (the example), "page" (a whole HTML
// page), "csv" (a whole CSV file), "fifo", "-> target" for a link, or the text itself.
std::vector<std::pair<std::string, std::string>> contents(const fs::path& dir) {
    std::vector<std::pair<std::string, std::string>> found;
    for (const std::string& name : entries(dir)) {
        const fs::path path = dir / utf8Path(name);
        const fs::file_status status = fs::symlink_status(path);
        if (fs::is_symlink(status)) {
            found.emplace_back(name, "-> " + fs::read_symlink(path).string());
        } else if (fs::is_fifo(status)) {
            found.emplace_back(name, "fifo");
        } else {
            const std::string bytes = readFile(path);
            const bool page = bytes.starts_with("<!DOCTYPE html>") && bytes.ends_with("</html>\n");
            const bool csv =
                bytes.starts_with("\xEF\xBB\xBF") && bytes.find("a.19o,1,000K") != bytes.npos;
            found.emplace_back(name, bytes == input() ? "input"
                                     : page           ? "page"
                                     : csv            ? "csv"
                                                      : bytes);
        }
    }
    return found;
}

using Listing = std::vector<std::pair<std::string, std::string>>;

const std::string kOld = "an earlier page\n";

void earlierPage(const fs::path& dir) {
    writeFile(dir / "r.html", kOld);
}

// The report run by the program's driver in this process over a file system that fails one
// operation of the report files: the earlier page stays as it was, nothing stands beside it.
struct FaultRow {
    FileOperation operation;
    int error;
    std::string said;
};

class ReportFileFaults : public testing::TestWithParam<FaultRow> {};

TEST_P(ReportFileFaults, LeaveTheEarlierPageAsItWas) {
    const FaultRow& row = GetParam();
    const TempDir dir;
    writeFile(dir / "a.19o", input());
    earlierPage(dir.path());
    Fault fault;
    fault.operation = row.operation;
    fault.error = row.error;
    platform::NativePlatform native;
    FaultyFileSystem files(native.services().files, dir / "a.19o", fault);
    SaidToConsole recorder;
    detail::SilentDebugChannel debug;
    platform::Services services{recorder, recorder, debug, files};
    const std::vector<platform::Path> arguments{"--html", dir / "r.html", dir / "a.19o"};
    EXPECT_EQ(runProgram(arguments, services), 1);
    EXPECT_TRUE(files.faultInjected());
    EXPECT_NE(recorder.err.find("[NG] " + row.said + (dir / "r.html").string() + "\n"),
              std::string::npos)
        << recorder.err;
    EXPECT_EQ(contents(dir.path()), (Listing{{"a.19o", "input"}, {"r.html", kOld}}));
}

const std::string kNotWritten = "レポートを書き出せませんでした: ";
INSTANTIATE_TEST_SUITE_P(
    Faults, ReportFileFaults,
    testing::Values(FaultRow{FileOperation::WriteReport, ENOSPC, kNotWritten},
                    FaultRow{FileOperation::SyncReport, EIO, kNotWritten},
                    FaultRow{
                        FileOperation::RenameReport, EPERM,
                        "レポートを書き出せませんでした。同じ名前の既存のファイルを置き換えられ"
                        "ません（別のユーザーのファイルなど）: "}));

// An interrupt while the report is being written: the new file goes, the earlier page stays.
TEST(ReportFiles, InterruptedLeavesTheEarlierPage) {
    const TempDir dir;
    writeFile(dir / "a.19o", input());
    writeFile(dir / "b.19o", input());
    earlierPage(dir.path());
    const pid_t child = ::fork();
    if (child == 0) {
        platform::NativePlatform native;
        // The interrupt comes as the first file has been told.
        struct Interrupting final : platform::Console {
            void writeOutput(std::string_view) override { ::raise(SIGINT); }
            void writeError(std::string_view) override {}
            bool writeData(std::string_view) override { return true; }
        } console;
        platform::Services services{console, native.services().notifier, native.services().debug,
                                    native.services().files};
        const std::vector<platform::Path> arguments{"--html", dir / "r.html", dir / "a.19o",
                                                    dir / "b.19o"};
        ::_exit(runProgram(arguments, services));
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 130);
    EXPECT_EQ(contents(dir.path()),
              (Listing{{"a.19o", "input"}, {"b.19o", "input"}, {"r.html", kOld}}));
}

}  // namespace
}  // namespace ferrule::test
