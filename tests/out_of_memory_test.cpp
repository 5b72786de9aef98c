// Memory that runs out anywhere in a report: this test program replaces operator new, so that
// the N-th allocation of a report fails, for every N (or an even sample of them). Whichever
// allocation fails (reading, describing, a row, a piece of a file, a check before reading), the
// program must not crash; the report files are whole or as they were, with nothing beside them;
// and a file that could not be reported is said to be so.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "app/program.h"
#include "platform/native.h"
#include "tests/support/test_support.h"

namespace {

std::atomic<long> allocations{0};
std::atomic<long> failAt{0};  // 0: none fails
std::atomic<bool> counting{false};

void* allocate(std::size_t size, std::size_t alignment) {
    if (counting && ++allocations == failAt) throw std::bad_alloc();
    void* block =
        alignment <= alignof(std::max_align_t)
            ? std::malloc(size == 0 ? 1 : size)
            : std::aligned_alloc(alignment, (size + alignment - 1) / alignment * alignment);
    if (block == nullptr) throw std::bad_alloc();
    return block;
}

}  // namespace

void* operator new(std::size_t size) {
    return allocate(size, 0);
}
void* operator new[](std::size_t size) {
    return allocate(size, 0);
}
void* operator new(std::size_t size, std::align_val_t alignment) {
    return allocate(size, static_cast<std::size_t>(alignment));
}
void* operator new[](std::size_t size, std::align_val_t alignment) {
    return allocate(size, static_cast<std::size_t>(alignment));
}
void operator delete(void* block) noexcept {
    std::free(block);
}
void operator delete[](void* block) noexcept {
    std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}
void operator delete[](void* block, std::size_t) noexcept {
    std::free(block);
}
void operator delete(void* block, std::align_val_t) noexcept {
    std::free(block);
}
void operator delete[](void* block, std::align_val_t) noexcept {
    std::free(block);
}
void operator delete(void* block, std::size_t, std::align_val_t) noexcept {
    std::free(block);
}
void operator delete[](void* block, std::size_t, std::align_val_t) noexcept {
    std::free(block);
}

namespace ferrule::test {
namespace {

const std::string kOld = "an earlier page\n";

TEST(OutOfMemory, AnywhereInAReportLosesNoPageAndCrashesNothing) {
    const TempDir dir;
    writeFile(dir / "a.19o", sourceFile("tests/cases/kinematic/input"));
    writeFile(dir / "b.19o",
              sourceFile("tests/cases/report-of-every-kind-of-occupation/in-field.19o"));
    platform::NativePlatform native;
    const std::vector<platform::Path> arguments{"--csv",        dir / "r.csv", "--html",
                                                dir / "r.html", dir / "a.19o", dir / "b.19o"};
    const auto run = [&](long failing, SaidToConsole& recorder) {
        writeFile(dir / "r.html", kOld);
        writeFile(dir / "r.csv", kOld);
        detail::SilentDebugChannel debug;
        platform::Services services{recorder, recorder, debug, native.services().files};
        allocations = 0;
        failAt = failing;
        counting = true;
        const int status = runProgram(arguments, services);
        counting = false;
        return status;
    };
    SaidToConsole whole(1 << 20);
    ASSERT_EQ(run(0, whole), 0);
    const long total = allocations;
    const std::string page = readFile(dir / "r.html");
    const std::string csv = readFile(dir / "r.csv");
    ASSERT_GT(total, 100);
    const long step = std::max(1L, total / 600);
    std::printf("    %ld allocations, every %ld-th failed in turn\n", total, step);
    for (long failing = 1; failing <= total; failing += step) {
        SCOPED_TRACE("allocation " + std::to_string(failing) + " of " + std::to_string(total));
        SaidToConsole recorder(1 << 20);
        const int status = run(failing, recorder);
        EXPECT_EQ(entries(dir.path()),
                  (std::vector<std::string>{"a.19o", "b.19o", "r.csv", "r.html"}));
        const std::string nowPage = readFile(dir / "r.html");
        const std::string nowCsv = readFile(dir / "r.csv");
        EXPECT_TRUE(nowPage == kOld || nowPage == page ||
                    (nowPage.starts_with("<!DOCTYPE html>") && nowPage.ends_with("</html>\n")));
        EXPECT_TRUE(nowCsv == kOld || nowCsv == csv || nowCsv.starts_with("\xEF\xBB\xBF"));
        // A file that was not reported is said to be so wherever it was written.
        if (nowPage != kOld && nowPage != page) {
            EXPECT_NE(nowPage.find("メモリが不足したため"), std::string::npos);
        }
        // Success is claimed only for the whole report; a failure is told.
        if (status == 0) {
            EXPECT_EQ(nowPage, page);
            EXPECT_EQ(nowCsv, csv);
        } else {
            EXPECT_EQ(status, 1);
            EXPECT_TRUE(recorder.err.find("[NG] ") != std::string::npos ||
                        recorder.out.find("メモリが不足したため") != std::string::npos)
                << "a failure not told";
        }
        if (nowPage == kOld || nowCsv == kOld) {
            EXPECT_NE(recorder.err.find("[NG] "), std::string::npos) << "a report file not told";
        }
    }
}

// The same for a conversion: the input whole at its path, or converted with the input kept
// beside it; never a "_temp" left, and success only for the whole conversion.
TEST(OutOfMemory, AnywhereInAConversionLosesNothing) {
    const TempDir dir;
    const std::string input = sourceFile("tests/cases/kinematic/input");
    const std::string converted = sourceFile("tests/cases/kinematic/expected");
    platform::NativePlatform native;
    const std::vector<platform::Path> arguments{dir / "site.19o"};
    const auto run = [&](long failing, SaidToConsole& recorder) {
        std::filesystem::remove(dir / "site.19o_original");
        writeFile(dir / "site.19o", input);
        detail::SilentDebugChannel debug;
        platform::Services services{recorder, recorder, debug, native.services().files};
        allocations = 0;
        failAt = failing;
        counting = true;
        const int status = runProgram(arguments, services);
        counting = false;
        return status;
    };
    SaidToConsole whole(1 << 20);
    ASSERT_EQ(run(0, whole), 0);
    const long total = allocations;
    const long step = std::max(1L, total / 600);
    for (long failing = 1; failing <= total; failing += step) {
        SCOPED_TRACE("allocation " + std::to_string(failing) + " of " + std::to_string(total));
        SaidToConsole recorder(1 << 20);
        if (run(failing, recorder) == 0) {
            EXPECT_EQ(entries(dir.path()),
                      (std::vector<std::string>{"site.19o", "site.19o_original"}));
            EXPECT_EQ(readFile(dir / "site.19o"), converted);
            EXPECT_EQ(readFile(dir / "site.19o_original"), input);
        } else {
            EXPECT_EQ(entries(dir.path()), std::vector<std::string>{"site.19o"});
            EXPECT_EQ(readFile(dir / "site.19o"), input);
            EXPECT_NE(recorder.err.find("メモリが不足したため"), std::string::npos);
        }
    }
}

}  // namespace
}  // namespace ferrule::test
