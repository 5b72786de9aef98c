// The report's own files: never written over an observation file, written whole or not at all.
// Each row builds a folder (an earlier page at the name, a link or FIFO planted there, a name
// left out before the files), runs the report, and checks the exit status, what was said, and
// every file in the folder afterwards. The failing disk, the refused rename and the interrupt
// run the program's driver in this process over the fault double.
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

const std::string kOld = "an earlier page\n";

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

struct Row {
    const char* name;
    std::function<void(const fs::path&)> setup;  // beside a.19o, the example
    std::vector<std::string> arguments;
    int status;
    std::string said;  // a line of standard error, without "[NG] "; empty: none
    Listing after;
    bool closedPipe = false;
};

const std::string kWrongName =
    "レポートの名前は --csv なら .csv、--html なら .html か .htm で終わる名前（または標準出力の -）"
    "にしてください: ";
const std::string kOverInput =
    "レポートの書き出し先が観測ファイル（またはその "
    "_original、_temp）です。別の名前を指定してください"
    ": ";
const std::string kNotRegular =
    "レポートの書き出し先に、通常のファイルではないもの（リンク、FIFO、フォルダなど）があります。別"
    "の"
    "名前を指定してください: ";

void none(const fs::path&) {}
void earlierPage(const fs::path& dir) {
    writeFile(dir / "r.html", kOld);
}

// clang-format off
const Row kRows[] = {
    {"the page's name left out before the files: wrong use, nothing read or written", none,
     {"--html", "a.19o", "b.19o"}, 2, kWrongName + "--html a.19o", {{"a.19o", "input"}, {"b.19o", "input"}}},
    {"a CSV name that is not .csv", none, {"--csv", "a.19o_original", "a.19o"}, 2,
     kWrongName + "--csv a.19o_original", {{"a.19o", "input"}, {"b.19o", "input"}}},
    {"upper-case endings are report names", none, {"--csv", "R.CSV", "--html", "R.HTM", "a.19o"}, 0, "",
     {{"R.CSV", "csv"}, {"R.HTM", "page"}, {"a.19o", "input"}, {"b.19o", "input"}}},
    {"a hard link to an input", [](const fs::path& d) { fs::create_hard_link(d / "a.19o", d / "h.csv"); },
     {"--csv", "h.csv", "a.19o"}, 2, kOverInput + "h.csv", {{"a.19o", "input"}, {"b.19o", "input"}, {"h.csv", "input"}}},
    {"a name that is an input's _temp", [](const fs::path& d) { fs::rename(d / "b.19o", d / "a.19o.html"); },
     {"--html", "a.19o.html_temp", "a.19o.html"}, 2, kWrongName + "--html a.19o.html_temp",
     {{"a.19o", "input"}, {"a.19o.html", "input"}}},
    {"an input named like a page, given as the page", [](const fs::path& d) { fs::rename(d / "b.19o", d / "s.html"); },
     {"--html", "s.html", "s.html"}, 2, kOverInput + "s.html", {{"a.19o", "input"}, {"s.html", "input"}}},
    {"the two outputs one file (a hard link)", [](const fs::path& d) {
         writeFile(d / "r.csv", kOld); fs::create_hard_link(d / "r.csv", d / "r.html"); },
     {"--csv", "r.csv", "--html", "r.html", "a.19o"}, 2,
     "--csv と --html の書き出し先が同じファイルです。別の名前を指定してください: r.html",
     {{"a.19o", "input"}, {"b.19o", "input"}, {"r.csv", kOld}, {"r.html", kOld}}},
    {"both on standard output", none, {"--csv", "-", "--html", "-", "a.19o"}, 2,
     "--csv と --html の書き出し先が同じファイルです。別の名前を指定してください: -",
     {{"a.19o", "input"}, {"b.19o", "input"}}},
    {"a link planted at the name is never written through",
     [](const fs::path& d) { writeFile(d / "victim", "root's file\n"); fs::create_symlink("victim", d / "r.html"); },
     {"--html", "r.html", "a.19o"}, 2, kNotRegular + "r.html",
     {{"a.19o", "input"}, {"b.19o", "input"}, {"r.html", "-> victim"}, {"victim", "root's file\n"}}},
    {"a FIFO planted at the name is refused at once", [](const fs::path& d) { ::mkfifo((d / "r.html").c_str(), 0600); },
     {"--html", "r.html", "a.19o"}, 2, kNotRegular + "r.html", {{"a.19o", "input"}, {"b.19o", "input"}, {"r.html", "fifo"}}},
    {"a RINEX file at the name", [](const fs::path& d) { fs::copy_file(d / "a.19o", d / "r.csv"); },
     {"--csv", "r.csv", "b.19o"}, 2, "レポートの書き出し先に RINEX ファイルがあります。別の名前を指定してください: r.csv",
     {{"a.19o", "input"}, {"b.19o", "input"}, {"r.csv", "input"}}},
    {"a folder that does not exist, told before reading", none, {"--html", "no/r.html", "a.19o"}, 1,
     "レポートの書き出し先のフォルダを開けません: no/r.html", {{"a.19o", "input"}, {"b.19o", "input"}}},
    {"an earlier page replaced whole, its _temp planted by someone else left alone",
     [](const fs::path& d) { earlierPage(d); writeFile(d / "r.html_temp", "planted\n"); },
     {"--html", "r.html", "a.19o"}, 0, "",
     {{"a.19o", "input"}, {"b.19o", "input"}, {"r.html", "page"}, {"r.html_temp", "planted\n"}}},
    {"a pager that quits: the page is still written whole", earlierPage, {"--html", "r.html", "a.19o"}, 0, "",
     {{"a.19o", "input"}, {"b.19o", "input"}, {"r.html", "page"}}, true},
    {"a conversion whose console goes away finishes and swaps", none, {"a.19o"}, 0, "",
     {{"a.19o", sourceFile("tests/cases/kinematic/expected")}, {"a.19o_original", "input"}, {"b.19o", "input"}}, true},
};
// clang-format on

void PrintTo(const Row& row, std::ostream* out) {
    *out << row.name;
}

class ReportFiles : public testing::TestWithParam<Row> {};

TEST_P(ReportFiles, NeverOverAnInputAndWholeOrNotAtAll) {
    const Row& row = GetParam();
    const TempDir dir;
    writeFile(dir / "a.19o", input());
    writeFile(dir / "b.19o", input());
    row.setup(dir.path());
    RunOptions options = inDirectory(dir.path());
    options.closedPipe = row.closedPipe;
    options.environment.emplace_back("FERRULE_DEBUG", row.closedPipe ? "1" : "0");
    const ProgramRun run = runFerrule(row.arguments, options);
    EXPECT_EQ(run.status, row.status) << run.err;
    if (!row.said.empty()) {
        EXPECT_NE(run.err.find(row.said + "\n"), std::string::npos) << run.err;
    }
    EXPECT_EQ(contents(dir.path()), row.after);
}

INSTANTIATE_TEST_SUITE_P(Rows, ReportFiles, testing::ValuesIn(kRows),
                         [](const testing::TestParamInfo<Row>& row) {
                             return "row" + std::to_string(row.index);
                         });

// The report run by the program's driver in this process over a file system that fails one
// operation of the report files: the earlier page stays as it was, nothing stands beside it.
struct FaultRow {
    FileOperation operation;
    int error;
    std::string said;
};

class ReportFileFaults : public testing::TestWithParam<FaultRow> {};

struct Recorder final : platform::Console, platform::Notifier {
    void writeOutput(std::string_view text) override { out += text; }
    void writeError(std::string_view text) override { err += text; }
    bool writeData(std::string_view bytes) override {
        out += bytes;
        return true;
    }
    void notify(bool, std::string_view caption, std::string_view text) override {
        err += "[" + std::string(caption) + "] " + std::string(text) + "\n";
    }
    std::string out;
    std::string err;
};

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
    Recorder recorder;
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
