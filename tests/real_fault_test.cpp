// Failures made to happen for real, on the built program: a disk that fills up, a file system that
// is read-only, an input that cannot be read, an input of 0 bytes, a name in the way of the swap.
// Mounting needs root; those tests skip elsewhere, and CI runs them as root.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "app/messages.h"
#include "tests/support/test_support.h"

namespace ferrule::test {
namespace {
// The kinematic example followed by regular epochs up to `bytes`.
std::string kinematicOf(std::size_t bytes) {
    std::string input = sourceFile("examples/kinematic.19o");
    const std::string epoch =
        " 19  5 25  1 20  0.0000000  0  1G01\r\n"
        "  21234568.26605  21235568.266 6  21236568.266 7  21237568.26608\r\n";
    while (input.size() < bytes) input += epoch;
    return input;
}

// A tmpfs of the given size mounted on a fresh directory, unmounted at the end.
class SmallDisk {
  public:
    explicit SmallDisk(std::size_t bytes) {
        const std::string options = "size=" + std::to_string(bytes);
        if (::mount("tmpfs", dir_.path().c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) ==
            0) {
            mounted_ = true;
        } else {
            error_ = std::strerror(errno);
        }
    }
    ~SmallDisk() {
        if (mounted_) ::umount2(dir_.path().c_str(), MNT_DETACH);
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool mounted() const { return mounted_; }
    const std::string& error() const { return error_; }
    const TempDir& dir() const { return dir_; }
    bool makeReadOnly() {
        return ::mount("tmpfs", dir_.path().c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }

  private:
    TempDir dir_;
    bool mounted_ = false;
    std::string error_;
};

#define SKIP_UNLESS_MOUNTED(disk)                                    \
    if (!(disk).mounted())                                           \
    GTEST_SKIP() << "cannot mount a small tmpfs (" << (disk).error() \
                 << "): this test needs root and the right to mount; CI runs it as root"

// The disk fills up while the temporary file is written: early (a small file, written at the end)
// and late (a file written in several writes while it is read). The input and an earlier
// "_original" stay; the temporary file goes.
TEST(RealFault, DiskFillsUp) {
    struct Case {
        const char* name;
        std::size_t inputBytes;
        std::size_t diskBytes;
    };
    for (const Case& c :
         {Case{"small file", 40'000, 48 * 1024}, Case{"large file", 3'000'000, 4'700'000}}) {
        SCOPED_TRACE(c.name);
        const SmallDisk disk(c.diskBytes);
        SKIP_UNLESS_MOUNTED(disk);
        const std::string input = kinematicOf(c.inputBytes);
        const fs::path path = disk.dir() / "site.19o";
        writeFile(path, input);
        writeFile(disk.dir() / "site.19o_original", "an earlier original");

        const ProgramRun run = runFerrule({path.string()});

        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err, ng(messages::kTempWriteFailed));
        EXPECT_EQ(disk.dir().entries(),
                  (std::vector<std::string>{"site.19o", "site.19o_original"}));
        EXPECT_EQ(readFile(path), input);
        EXPECT_EQ(readFile(disk.dir() / "site.19o_original"), "an earlier original");
    }
}

// With room enough the same disk converts: the failure above was the disk's.
TEST(RealFault, DiskWithRoomConverts) {
    const SmallDisk disk(8 * 1024 * 1024);
    SKIP_UNLESS_MOUNTED(disk);
    const std::string input = kinematicOf(3'000'000);
    writeFile(disk.dir() / "site.19o", input);
    EXPECT_EQ(runFerrule({(disk.dir() / "site.19o").string()}).status, 0);
    EXPECT_EQ(readFile(disk.dir() / "site.19o_original"), input);
}

// A read-only file system: the temporary file cannot be created.
TEST(RealFault, ReadOnlyFileSystem) {
    SmallDisk disk(1024 * 1024);
    SKIP_UNLESS_MOUNTED(disk);
    const std::string input = kinematicOf(0);
    writeFile(disk.dir() / "site.19o", input);
    ASSERT_TRUE(disk.makeReadOnly()) << std::strerror(errno);

    const ProgramRun run = runFerrule({(disk.dir() / "site.19o").string()});

    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, ng(messages::kTempCreateFailed));
    EXPECT_EQ(disk.dir().entries(), std::vector<std::string>{"site.19o"});
    EXPECT_EQ(readFile(disk.dir() / "site.19o"), input);
}

TEST(RealFault, InputWithoutReadPermission) {
    if (::geteuid() == 0) GTEST_SKIP() << "root reads a file without read permission";
    const TempDir dir;
    const std::string input = kinematicOf(0);
    writeFile(dir / "site.19o", input);
    ::chmod((dir / "site.19o").c_str(), 0200);

    const ProgramRun run = runFerrule({(dir / "site.19o").string()});

    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, ng(messages::kReadFailed));
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"site.19o"});
    ::chmod((dir / "site.19o").c_str(), 0600);
    EXPECT_EQ(readFile(dir / "site.19o"), input);
}

// An empty file completes no line: it is converted to an empty file, and kept as "_original".
TEST(RealFault, InputOfZeroBytesIsConverted) {
    const TempDir dir;
    writeFile(dir / "site.19o", "");

    const ProgramRun run = runFerrule({(dir / "site.19o").string()});

    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.substr(run.out.find('[')), ok(messages::kConverted));
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"site.19o", "site.19o_original"}));
    EXPECT_EQ(readFile(dir / "site.19o"), "");
    EXPECT_EQ(readFile(dir / "site.19o_original"), "");
}

}  // namespace
}  // namespace ferrule::test
