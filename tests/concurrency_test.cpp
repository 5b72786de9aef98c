// Two conversions of one file at once, and faults made to happen in the built program between
// the steps of the swap: nothing of the input is lost, and the path always names a whole file.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "tests/support/test_support.h"
#include "tools/generate/observation_generator.h"

namespace ferrule::test {
namespace {

const std::string kConverted = "[OK] 変換完了";
const std::string kInUse = "[NG] このファイルは別の変換で使用中です。";
// What each of the two runs may say: it converted the file, or another conversion held it, or
// it started after the swap and found the file converted.
const std::vector<std::string> kOutcomes {
    kConverted, kInUse, "[NG] すでに変換済のRINEXデータです。",
#if defined(_WIN32)
        // ReplaceFileW (under Wine, at least) renames twice: a run that opens the path in between
        // finds no file there.
        "[NG] RINEX観測ファイルの読み込みに失敗しました。",
#endif
};

RunOptions messagesOnStandardError() {
    return withEnvironment("FERRULE_NOTIFY_STDERR", "1");
}

// The second conversion starts 0 to 95 ms after the first, so that it comes while the first
// reads, while it swaps, and after it is done. Exactly one converts the file. The input's bytes
// stay at the path or at "_original", the path holds the input or its whole conversion, and no
// file is left empty.
TEST(TwoConversions, OfOneFileLoseNothing) {
    generate::GeneratorOptions options;
    options.sizeMiB = 48;
    const std::string input = generate::generateObservationText(options);
    const std::string converted = convertBytes(input, 1 << 20).output;
    int overlapped = 0;
    for (int run = 0; run < 20; ++run) {
        SCOPED_TRACE("second run started " + std::to_string(5 * run) + " ms after the first");
        const TempDir dir;
        const fs::path path = dir / "site.19o";
        writeFile(path, input);

        StartedRun first({pathArgument(path)}, messagesOnStandardError());
        std::this_thread::sleep_for(std::chrono::milliseconds(5 * run));
        StartedRun second({pathArgument(path)}, messagesOnStandardError());
        const std::vector<std::string> outcomes{told(first.wait()), told(second.wait())};

        EXPECT_EQ(std::count(outcomes.begin(), outcomes.end(), kConverted), 1);
        for (const std::string& outcome : outcomes) {
            EXPECT_NE(std::find(kOutcomes.begin(), kOutcomes.end(), outcome), kOutcomes.end())
                << outcome;
        }
        overlapped += std::count(outcomes.begin(), outcomes.end(), kInUse);
        const std::string atPath = readFile(path);
        EXPECT_TRUE(atPath == converted || atPath == input);
        if (atPath == converted) {
            EXPECT_TRUE(readFile(dir / "site.19o_original") == input);
        }
        for (const std::string& name : dir.entries()) EXPECT_GT(fs::file_size(dir / name), 0u);
    }
    std::printf("    %d of 20 second runs came while the first held the file\n", overlapped);
}

#if !defined(_WIN32)
// strace makes one system call of the built program fail or kill it. Skipped where strace is
// missing or may not trace.
struct StraceRow {
    const char* name;
    const char* injection;
    const char* told;  // empty: the program was killed
    std::vector<std::string> files;
    bool converted;  // the path holds the conversion, "_original" the input
};

const std::vector<StraceRow> kStraceRows{
    {"NoHardLinks",
     "inject=link:error=EPERM",
     "[OK] 変換完了",
     {"site.19o", "site.19o_original"},
     true},
    {"LockHeld",
     "inject=flock:error=EAGAIN",
     "[NG] このファイルは別の変換で使用中です。",
     {"site.19o"},
     false},
    {"KilledAtTheSwap",
     "inject=rename:signal=SIGKILL",
     "",
     {"site.19o", "site.19o_original", "site.19o_temp"},
     false},
};

class Strace : public testing::TestWithParam<StraceRow> {};

TEST_P(Strace, FaultBetweenTheStepsLosesNothing) {
    if (std::system("strace -o /dev/null true >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "strace is not installed, or may not trace here";
    }
    const StraceRow& row = GetParam();
    const std::string input = sourceFile("examples/kinematic.19o");
    const std::string converted = sourceFile("tests/golden/kinematic.19o.expected");
    const TempDir dir;
    writeFile(dir / "site.19o", input);
    const std::string command = std::string("strace -f -o /dev/null -e ") + row.injection + " " +
                                FERRULE_BINARY + " site.19o >stdout 2>stderr";
    const int status = std::system(("cd '" + dir.path().string() + "' && " + command).c_str());
    const std::string said = told({status, readFile(dir / "stdout"), readFile(dir / "stderr")});
    fs::remove(dir / "stdout");
    fs::remove(dir / "stderr");

    EXPECT_EQ(said, row.told);
    EXPECT_EQ(dir.entries(), row.files);
    EXPECT_EQ(readFile(dir / "site.19o"), row.converted ? converted : input);
    if (row.files.size() > 1) {
        EXPECT_EQ(readFile(dir / "site.19o_original"), input);
    }
    // Whatever a fault left, the next conversion completes.
    if (row.converted) return;
    EXPECT_EQ(told(runFerrule({(dir / "site.19o").string()})), "[OK] 変換完了");
    EXPECT_EQ(readFile(dir / "site.19o"), converted);
    EXPECT_EQ(readFile(dir / "site.19o_original"), input);
}

INSTANTIATE_TEST_SUITE_P(Rows, Strace, testing::ValuesIn(kStraceRows),
                         [](const auto& row) { return std::string(row.param.name); });
#endif

}  // namespace
}  // namespace ferrule::test
