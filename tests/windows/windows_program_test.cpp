// The built ferrule.exe, run as a user runs it: the console's Shift-JIS bytes, the exit status,
// the message box's caption and text (echoed by FERRULE_NOTIFY_STDERR=1), the debugger output,
// and the files left behind, byte for byte against the same golden files as everywhere.
#include <gtest/gtest.h>

#include "app/messages.h"
#include "platform/windows/windows_platform.h"
#include "tests/support/test_support.h"

namespace ferrule::test {
namespace {

// The two start-up lines in code page 932, each followed by a blank line, with CR LF line ends.
const std::string kShiftJisStartLines =
    "Ferrule program Ver1.01  2019/May/25th \r\n\r\n"
    "\x82\xb5\x82\xce\x82\xe7\x82\xad\x82\xa8\x91\xd2\x82\xbf\x82\xad\x82\xbe\x82\xb3\x82\xa2..."
    "\r\n\r\n";
const std::string kUsage =
    "\x8e"
    "g\x82\xa2\x95\xfb: ferrule <RINEX\x8a\xcf\x91\xaa\x83t\x83@\x83"
    "C\x83\x8b>\r\n";

RunOptions showingMessages() {
    RunOptions options;
    options.environment.emplace_back("FERRULE_NOTIFY_STDERR", "1");
    return options;
}

RunOptions showingMessagesIn(const fs::path& directory) {
    RunOptions options = showingMessages();
    options.workingDirectory = directory;
    return options;
}

ProgramRun convert(const fs::path& input) {
    return runFerrule({pathArgument(input)}, showingMessages());
}

std::string kinematicExample() {
    return sourceFile("examples/kinematic.19o");
}

TEST(WindowsProgram, WrongArgumentCountPrintsUsageAndTouchesNothing) {
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{}, std::vector<std::string>{"a.19o", "b.19o"}}) {
        const TempDir dir;
        const ProgramRun run = runFerrule(arguments, showingMessagesIn(dir.path()));
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.out, kShiftJisStartLines);
        EXPECT_EQ(run.err, kUsage);
        EXPECT_TRUE(dir.entries().empty());
    }
}

TEST(WindowsProgram, ConvertsTheExamplesByteForByte) {
    struct Case {
        const char* example;
        const char* golden;
        std::string_view message;
    };
    const std::vector<Case> cases{
        {"examples/kinematic.19o", "tests/golden/kinematic.19o.expected", messages::kConverted},
        {"examples/static_bad_id.19o", "tests/golden/static_bad_id.19o.expected",
         messages::kConvertedStatic},
        {"tests/golden/fourteen_satellites.19o", "tests/golden/fourteen_satellites.19o.expected",
         messages::kConverted},
        {"tests/golden/twelve_types.19o", "tests/golden/twelve_types.19o.expected",
         messages::kConverted},
        {"tests/golden/types_change.19o", "tests/golden/types_change.19o.expected",
         messages::kConverted},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.example);
        const TempDir dir;
        const std::string input = sourceFile(c.example);
        writeFile(dir / "site.19o", input);

        const ProgramRun run = convert(dir / "site.19o");

        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out, kShiftJisStartLines);
        EXPECT_EQ(run.err, ok(c.message));
        EXPECT_EQ(dir.entries(), (std::vector<std::string>{"site.19o", "site.19o_original"}));
        EXPECT_EQ(readFile(dir / "site.19o"), sourceFile(c.golden));
        EXPECT_EQ(readFile(dir / "site.19o_original"), input);
    }
}

TEST(WindowsProgram, MessagesAreShownOnlyInTheBoxByDefault) {
    const TempDir dir;
    writeFile(dir / "site.19o", kinematicExample());
    const ProgramRun run = runFerrule({pathArgument(dir / "site.19o")});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, kShiftJisStartLines);
    EXPECT_EQ(run.err, "");
}

TEST(WindowsProgram, RefusedFilesAreLeftAlone) {
    const std::string clockLine = record("     0", "RCV CLOCK OFFS APPL");
    std::string unknownLabel = kinematicExample();
    unknownLabel.insert(82 * 3, clockLine);
    struct Case {
        const char* name;
        std::string input;
        std::string message;
    };
    const std::vector<Case> cases{
        {"static", sourceFile("examples/static_valid.19o"), std::string(messages::kStaticData)},
        {"gsi", sourceFile("examples/gsi.19o"), std::string(messages::kGsiData)},
        {"header error", unknownLabel, messages::headerError(clockLine)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const TempDir dir;
        writeFile(dir / "site.19o", c.input);
        const ProgramRun run = convert(dir / "site.19o");
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, kShiftJisStartLines);
        EXPECT_EQ(run.err, ng(c.message));
        EXPECT_EQ(dir.entries(), std::vector<std::string>{"site.19o"});
        EXPECT_EQ(readFile(dir / "site.19o"), c.input);
    }
}

TEST(WindowsProgram, ReplacesAnEarlierOriginalFile) {
    const TempDir dir;
    writeFile(dir / "site.19o", kinematicExample());
    writeFile(dir / "site.19o_original", "an older original");
    EXPECT_EQ(convert(dir / "site.19o").status, 0);
    EXPECT_EQ(readFile(dir / "site.19o_original"), kinematicExample());
}

TEST(WindowsProgram, PathWithJapaneseCharacters) {
    const TempDir dir;
    const fs::path folder = dir / "観測データ";
    fs::create_directory(folder);
    writeFile(folder / "現場.19o", kinematicExample());

    const ProgramRun run = convert(folder / "現場.19o");

    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, ok(messages::kConverted));
    EXPECT_EQ(readFile(folder / "現場.19o"), sourceFile("tests/golden/kinematic.19o.expected"));
    EXPECT_EQ(readFile(folder / "現場.19o_original"), kinematicExample());
}

TEST(WindowsProgram, PathLongerThanMaxPath) {
    const TempDir dir;
    std::wstring folder = platform::windows::extendedLengthPath(dir.path());
    for (int level = 0; level < 5; ++level) {
        folder += L"\\" + std::wstring(60, L'd');
        ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    }
    const fs::path input = fs::path(folder) / "site.19o";
    writeFile(input, kinematicExample());

    const ProgramRun run = convert(fs::path(folder.substr(4)) / "site.19o");

    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(readFile(input), sourceFile("tests/golden/kinematic.19o.expected"));
    fs::remove(input);
    fs::remove(fs::path(folder) / "site.19o_original");
    for (int level = 0; level < 5; ++level) {
        RemoveDirectoryW(folder.c_str());
        folder.resize(folder.rfind(L'\\'));
    }
}

TEST(WindowsProgram, PathWithoutLowerCaseOIsNotAnObservationFile) {
    const TempDir dir;
    writeFile(dir / "SITE.19O", kinematicExample());
    const ProgramRun run = runFerrule({"SITE.19O"}, showingMessagesIn(dir.path()));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, ng(messages::kNotObservationFile));
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"SITE.19O"});

    // An "o" in a folder name passes the test.
    fs::create_directory(dir / "work");
    writeFile(dir / "work" / "SITE.19O", kinematicExample());
    EXPECT_EQ(runFerrule({"work\\SITE.19O"}, showingMessagesIn(dir.path())).status, 0);
}

TEST(WindowsProgram, UnreadableInputs) {
    const TempDir dir;
    fs::create_directory(dir / "folder.19o");
    for (const char* name : {"missing.19o", "folder.19o"}) {
        SCOPED_TRACE(name);
        const ProgramRun run = convert(dir / name);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err, ng(messages::kReadFailed));
        EXPECT_EQ(dir.entries(), std::vector<std::string>{"folder.19o"});
    }
}

TEST(WindowsProgram, OriginalThatIsADirectoryIsNeverRemoved) {
    const TempDir dir;
    writeFile(dir / "site.19o", kinematicExample());
    fs::create_directory(dir / "site.19o_original");
    writeFile(dir / "site.19o_original" / "keep", "kept");

    const ProgramRun run = convert(dir / "site.19o");

    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, ng(messages::kReplaceFailed));
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"site.19o", "site.19o_original"}));
    EXPECT_EQ(readFile(dir / "site.19o"), kinematicExample());
    EXPECT_EQ(readFile(dir / "site.19o_original" / "keep"), "kept");
}

TEST(WindowsProgram, TemporaryPathThatIsNotAPlainNewFileIsRefused) {
    for (const bool hardLink : {false, true}) {
        SCOPED_TRACE(hardLink ? "hard link to the input" : "directory");
        const TempDir dir;
        writeFile(dir / "site.19o", kinematicExample());
        if (hardLink)
            fs::create_hard_link(dir / "site.19o", dir / "site.19o_temp");
        else
            fs::create_directory(dir / "site.19o_temp");

        const ProgramRun run = convert(dir / "site.19o");

        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err, ng(messages::kTempCreateFailed));
        EXPECT_EQ(readFile(dir / "site.19o"), kinematicExample());
        EXPECT_EQ(dir.entries(), (std::vector<std::string>{"site.19o", "site.19o_temp"}));
    }
}

TEST(WindowsProgram, DebuggerReceivesEveryLineAndTheTags) {
    const TempDir dir;
    writeFile(dir / "site.19o", sourceFile("examples/static_bad_id.19o"));
    RunOptions options = showingMessages();
    options.underDebugger = true;

    const ProgramRun run = runFerrule({pathArgument(dir / "site.19o")}, options);

    ASSERT_EQ(run.status, 0);
    EXPECT_EQ(run.err, ok(messages::kConvertedStatic));
    // Every line written, with its own CR LF and one more line feed; the repair is tagged.
    const std::string expected = sourceFile("tests/golden/static_bad_id.19o.expected");
    EXPECT_NE(run.debug.find("Static Data:StationID change\n"), std::string::npos);
    EXPECT_NE(run.debug.find(expected.substr(0, 82) + "\n"), std::string::npos);
    EXPECT_NE(
        run.debug.find("BASE                                                        MARKER NAME"
                       "         \r\n\n"),
        std::string::npos);
}

}  // namespace
}  // namespace ferrule::test
