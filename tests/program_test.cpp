// The built program, run as a user runs it: what it prints, its exit status, and the files it
// leaves behind, byte for byte.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/messages.h"
#include "tests/support/test_support.h"

namespace ferrule::test {
namespace {
TEST(Program, WrongArgumentCountPrintsUsageAndTouchesNothing) {
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{}, std::vector<std::string>{"a.19o", "b.19o"}}) {
        const TempDir dir;
        const ProgramRun run = runFerrule(arguments, inDirectory(dir.path()));
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.out, kStartLines);
        EXPECT_EQ(run.err, "使い方: ferrule <RINEX観測ファイル>\n");
        EXPECT_TRUE(dir.entries().empty());
    }
}

// Files that are converted: the result at the input's path, the input beside it.
struct ConvertedCase {
    const char* example;
    const char* golden;
    std::string_view message;
};

class ConvertsExample : public testing::TestWithParam<ConvertedCase> {};

TEST_P(ConvertsExample, SwapsInTheResultAndKeepsTheInput) {
    const ConvertedCase& c = GetParam();
    const TempDir dir;
    const std::string input = sourceFile(c.example);
    writeFile(dir / "site.19o", input);

    const ProgramRun run = runFerrule({(dir / "site.19o").string()});

    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, kStartLines + ok(c.message));
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"site.19o", "site.19o_original"}));
    EXPECT_EQ(readFile(dir / "site.19o"), sourceFile(c.golden));
    EXPECT_EQ(readFile(dir / "site.19o_original"), input);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, ConvertsExample,
    testing::Values(ConvertedCase{"examples/kinematic.19o", "tests/golden/kinematic.19o.expected",
                                  messages::kConverted},
                    ConvertedCase{"examples/static_bad_id.19o",
                                  "tests/golden/static_bad_id.19o.expected",
                                  messages::kConvertedStatic},
                    ConvertedCase{"tests/golden/fourteen_satellites.19o",
                                  "tests/golden/fourteen_satellites.19o.expected",
                                  messages::kConverted},
                    ConvertedCase{"tests/golden/twelve_types.19o",
                                  "tests/golden/twelve_types.19o.expected", messages::kConverted},
                    ConvertedCase{"tests/golden/types_change.19o",
                                  "tests/golden/types_change.19o.expected", messages::kConverted}));

// Files that are refused in the header: the message, and the input alone and untouched.
struct RefusedCase {
    std::string name;
    std::string input;
    std::string message;
};

std::string kinematicExample() {
    return sourceFile("examples/kinematic.19o");
}

std::string withLfOnly(std::string text) {
    std::string result;
    for (char ch : text) {
        if (ch != '\r') result += ch;
    }
    return result;
}

std::vector<RefusedCase> refusedCases() {
    std::string unknownLabel = kinematicExample();
    const std::string clockLine = record("     0", "RCV CLOCK OFFS APPL");
    unknownLabel.insert(82 * 3, clockLine);
    std::string misaligned = kinematicExample();
    misaligned.insert(82 * 2 + 70, " ");  // the COMMENT line grows to 81 characters
    // The next line is taken from byte 82 * 3, the previous line's line feed, to its own.
    const std::string shifted =
        misaligned.substr(82 * 3, misaligned.find('\n', 82 * 3 + 1) + 1 - 82 * 3);
    // Header information in the observation section declaring more types than a record holds.
    const std::string sixteenTypes = record(
        "    16    L1    L2    C1    P1    P2    S1    S2    D1    D2", "# / TYPES OF OBSERV");
    std::string typesMidFile = sourceFile("examples/kinematic.19o");
    const std::size_t event = typesMidFile.find(" 19  5 25  1  3  0.0000000  2");
    typesMidFile.insert(event, " 19  5 25  1  2 59.0000000  4  1\r\n" + sixteenTypes);
    return {
        {"TooManyTypesMidFile", typesMidFile, messages::headerError(sixteenTypes)},
        {"StaticValid", sourceFile("examples/static_valid.19o"),
         std::string(messages::kStaticData)},
        {"Gsi", sourceFile("examples/gsi.19o"), std::string(messages::kGsiData)},
        {"LfOnlyHeader", withLfOnly(kinematicExample()), messages::headerError("")},
        {"UnknownLabel", unknownLabel, messages::headerError(clockLine)},
        {"Misaligned", misaligned, messages::headerError(shifted)},
    };
}

class RefusesInHeader : public testing::TestWithParam<RefusedCase> {};

TEST_P(RefusesInHeader, TellsWhyAndLeavesTheInputAlone) {
    const RefusedCase& c = GetParam();
    const TempDir dir;
    writeFile(dir / "site.19o", c.input);

    const ProgramRun run = runFerrule({(dir / "site.19o").string()});

    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, kStartLines);
    EXPECT_EQ(run.err, ng(c.message));
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"site.19o"});
    EXPECT_EQ(readFile(dir / "site.19o"), c.input);
}

INSTANTIATE_TEST_SUITE_P(Files, RefusesInHeader, testing::ValuesIn(refusedCases()),
                         [](const auto& test) { return test.param.name; });

TEST(Program, HeaderErrorMessageQuotesTheLineExactly) {
    const std::string line = record("     0", "RCV CLOCK OFFS APPL");
    EXPECT_EQ(messages::headerError(line),
              line +
                  " \nヘッダにエラーがありました。\nSpectra Precision社のRinexConverterを使用して"
                  "いない可能性があります。\nプログラムを終了します。");
}

TEST(Program, RefusesItsOwnOutputAndKeepsTheEarlierOriginal) {
    const TempDir dir;
    const std::string input = kinematicExample();
    writeFile(dir / "site.19o", input);
    ASSERT_EQ(runFerrule({(dir / "site.19o").string()}).status, 0);
    const std::string converted = readFile(dir / "site.19o");

    const ProgramRun again = runFerrule({(dir / "site.19o").string()});

    EXPECT_EQ(again.status, 1);
    EXPECT_EQ(again.err, ng(messages::kAlreadyConverted));
    EXPECT_EQ(dir.entries(),
              (std::vector<std::string>{"site.19o", "site.19o_original", "site.19o_temp"}));
    EXPECT_EQ(readFile(dir / "site.19o"), converted);
    EXPECT_EQ(readFile(dir / "site.19o_original"), input);
    // What was written before the stop: the header.
    EXPECT_EQ(readFile(dir / "site.19o_temp"),
              converted.substr(0, converted.find("END OF HEADER") + 22));
}

TEST(Program, SiteIdentifierLimitStopsAndLeavesTheTemporaryFile) {
    const TempDir dir;
    const std::string example = kinematicExample();
    std::string input = example.substr(0, example.find("END OF HEADER") + 22);
    input += " 19  5 25  1  2 30.0000000  0  1G01\r\n  21234567.89105\r\n";
    input += " 19  5 25  1  3  0.0000000  2\r\n";
    for (int i = 0; i < 2050; ++i) {
        input += std::string(28, ' ') + "4  1\r\n" + record("  OCCUPATION", "COMMENT");
    }
    writeFile(dir / "site.19o", input);

    const ProgramRun run = runFerrule({(dir / "site.19o").string()});

    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, ng(messages::kSiteIdLimit));
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"site.19o", "site.19o_temp"}));
    EXPECT_EQ(readFile(dir / "site.19o"), input);
    const std::string written = readFile(dir / "site.19o_temp");
    EXPECT_EQ(written.substr(written.size() - 164, 82), record("800K", "MARKER NAME"));
}

TEST(Program, LongPathsWork) {
    const TempDir dir;
    fs::path directory = dir.path();
    for (int i = 0; i < 6; ++i) directory /= std::string(100, static_cast<char>('a' + i));
    fs::create_directories(directory);
    const fs::path input = directory / (std::string(200, 'o') + ".19o");
    writeFile(input, kinematicExample());
    EXPECT_GT(input.string().size(), 800u);
    EXPECT_EQ(runFerrule({input.string()}).status, 0);
    EXPECT_EQ(readFile(input.string() + "_original"), kinematicExample());
}

TEST(Program, ReplacesAnEarlierOriginalFile) {
    const TempDir dir;
    writeFile(dir / "site.19o", kinematicExample());
    writeFile(dir / "site.19o_original", "an older original");
    EXPECT_EQ(runFerrule({(dir / "site.19o").string()}).status, 0);
    EXPECT_EQ(readFile(dir / "site.19o_original"), kinematicExample());
}

TEST(Program, PathWithoutLowerCaseOIsNotAnObservationFile) {
    const TempDir dir;
    writeFile(dir / "SITE.19O", kinematicExample());
    const ProgramRun run = runFerrule({"SITE.19O"}, inDirectory(dir.path()));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, ng(messages::kNotObservationFile));
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"SITE.19O"});

    // An "o" in a directory name passes the test.
    fs::create_directory(dir / "work");
    writeFile(dir / "work" / "SITE.19O", kinematicExample());
    EXPECT_EQ(runFerrule({"work/SITE.19O"}, inDirectory(dir.path())).status, 0);
}

TEST(Program, PathWithJapaneseCharacters) {
    const TempDir dir;
    fs::create_directory(dir / "観測データ");
    const fs::path input = dir / "観測データ" / "現場.19o";
    writeFile(input, kinematicExample());
    EXPECT_EQ(runFerrule({input.string()}).status, 0);
    EXPECT_EQ(readFile(input), sourceFile("tests/golden/kinematic.19o.expected"));
}

TEST(Program, MissingInputCannotBeRead) {
    const TempDir dir;
    const ProgramRun run = runFerrule({(dir / "none.19o").string()});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, ng(messages::kReadFailed));
    EXPECT_TRUE(dir.entries().empty());
}

TEST(Program, DirectoryAsInputIsAReadError) {
    const TempDir dir;
    fs::create_directory(dir / "site.19o");
    const ProgramRun run = runFerrule({(dir / "site.19o").string()});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, ng(messages::kReadFailed));
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"site.19o"});
}

TEST(Program, WriteFailureLeavesTheInputAndNoTemporaryFile) {
    const TempDir dir;
    const std::string input = kinematicExample();
    writeFile(dir / "site.19o", input);
    // The file-size limit makes the temporary file's write fail, as a full disk would.
    const ProgramRun run = runFerrule({(dir / "site.19o").string()}, withFileSizeLimit(1000));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, ng(messages::kTempWriteFailed));
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"site.19o"});
    EXPECT_EQ(readFile(dir / "site.19o"), input);
}

TEST(Program, OriginalThatIsADirectoryIsNeverRemoved) {
    const TempDir dir;
    const std::string input = kinematicExample();
    writeFile(dir / "site.19o", input);
    fs::create_directory(dir / "site.19o_original");
    writeFile(dir / "site.19o_original" / "keep", "kept");

    const ProgramRun run = runFerrule({(dir / "site.19o").string()});

    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, ng(messages::kReplaceFailed));
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"site.19o", "site.19o_original"}));
    EXPECT_EQ(readFile(dir / "site.19o"), input);
    EXPECT_EQ(readFile(dir / "site.19o_original" / "keep"), "kept");
}

// Whatever stands at the temporary path is not followed, changed or removed.
TEST(Program, TemporaryPathThatIsNotAPlainNewFileIsRefused) {
    const std::vector<std::string> kinds{"symlink", "directory", "hardlink"};
    for (const std::string& kind : kinds) {
        SCOPED_TRACE(kind);
        const TempDir dir;
        const std::string input = kinematicExample();
        writeFile(dir / "site.19o", input);
        writeFile(dir / "target", "link target");
        if (kind == "symlink") fs::create_symlink(dir / "target", dir / "site.19o_temp");
        if (kind == "directory") fs::create_directory(dir / "site.19o_temp");
        if (kind == "hardlink") fs::create_hard_link(dir / "site.19o", dir / "site.19o_temp");

        const ProgramRun run = runFerrule({(dir / "site.19o").string()});

        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err, ng(messages::kTempCreateFailed));
        EXPECT_EQ(readFile(dir / "site.19o"), input);
        EXPECT_EQ(readFile(dir / "target"), "link target");
        EXPECT_FALSE(fs::exists(dir / "site.19o_original"));
        EXPECT_TRUE(fs::exists(fs::symlink_status(dir / "site.19o_temp")));
    }
}

TEST(Program, ConvertedFileKeepsThePermissionBits) {
    const TempDir dir;
    writeFile(dir / "site.19o", kinematicExample());
    ::chmod((dir / "site.19o").c_str(), 0640);
    ASSERT_EQ(runFerrule({(dir / "site.19o").string()}).status, 0);
    struct stat status {};
    ASSERT_EQ(::stat((dir / "site.19o").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0640u);
}

TEST(Program, DebugLinesOnlyWhenAskedFor) {
    const TempDir dir;
    const std::string input = sourceFile("examples/static_bad_id.19o");
    writeFile(dir / "site.19o", input);
    const ProgramRun run =
        runFerrule({(dir / "site.19o").string()}, withEnvironment("FERRULE_DEBUG", "1"));
    ASSERT_EQ(run.status, 0);
    // Every line written is shown with an extra line feed; the repair is tagged.
    const std::string expected = sourceFile("tests/golden/static_bad_id.19o.expected");
    EXPECT_NE(run.err.find("Static Data:StationID change\n"), std::string::npos);
    EXPECT_NE(run.err.find(expected.substr(0, 82) + "\n"), std::string::npos);
    EXPECT_NE(run.err.find("BASE                                                        MARKER NAME"
                           "         \r\n\n"),
              std::string::npos);

    writeFile(dir / "other.19o", input);
    EXPECT_EQ(runFerrule({(dir / "other.19o").string()}).err, "");
}

}  // namespace
}  // namespace ferrule::test
