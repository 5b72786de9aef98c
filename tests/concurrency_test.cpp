// Two conversions of one file at once: nothing of the input is lost, and the path always names a
// whole file.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "ferrule/ferrule.h"
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

// The second conversion starts 0 to 95 ms after the first, so that it comes while the first
// reads, while it swaps, and after it is done. Exactly one converts the file. The input's bytes
// stay at the path or at "_original", the path holds the input or its whole conversion, and no
// file is left empty.
TEST(TwoConversions, OfOneFileLoseNothing) {
    generate::GeneratorOptions options;
    options.sizeMiB = 48;
    const std::string input = generate::generateObservationText(options);
    const std::string converted = convert(input).output;
    int overlapped = 0;
    for (int run = 0; run < 20; ++run) {
        SCOPED_TRACE("second run started " + std::to_string(5 * run) + " ms after the first");
        const TempDir dir;
        const fs::path path = dir / "site.19o";
        writeFile(path, input);

        StartedRun first({"site.19o"}, inDirectory(dir.path()));
        std::this_thread::sleep_for(std::chrono::milliseconds(5 * run));
        StartedRun second({"site.19o"}, inDirectory(dir.path()));
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
        for (const std::string& name : entries(dir.path()))
            EXPECT_GT(fs::file_size(dir / name), 0u);
    }
    std::printf("    %d of 20 second runs came while the first held the file\n", overlapped);
}

}  // namespace
}  // namespace ferrule::test
