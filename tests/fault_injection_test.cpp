// The conversion of a file whose every file operation can fail, one at a time, with the error the
// real call would give: the user is told the truth, and the input stays at its path with its
// bytes. Runs the driver in-process over a file system that fails the chosen operation.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/convert_file.h"
#include "app/messages.h"
#include "platform/posix/posix_file_system.h"
#include "tests/support/faulty_file_system.h"
#include "tests/support/test_support.h"

namespace ferrule::test {
namespace {

// A regular epoch of three satellites, four types: five lines, 251 bytes.
const std::string kRegularEpoch =
    " 19  5 25  1 20  0.0000000  0  3G01G03G08\r\n"
    "  21234568.26605  21235568.266 6  21236568.266 7  21237568.26608\r\n"
    "  22469136.15705  22470136.157 6  22471136.157 7  22472136.15708\r\n"
    "  23703704.04805  23704704.048 6  23705704.048 7  23706704.04808\r\n";

// The example followed by regular epochs up to about 2.5 MiB: the driver writes such a file in
// several writes while it reads, not in one write at the end.
std::string large(std::string example) {
    while (example.size() < 2'500'000) example += kRegularEpoch;
    return example;
}

std::size_t headerBytes(const std::string& input) {
    return input.find("END OF HEADER") + 22;
}

// A kinematic file that announces more occupations inside one moving period than there are site
// identifiers.
std::string beyondTheSiteIdLimit() {
    std::string input = sourceFile("examples/kinematic.19o");
    input.resize(headerBytes(input));
    input += kRegularEpoch + kRegularEpoch + " 19  5 25  1 30  0.0000000  2\r\n";
    for (int k = 0; k < 2100; ++k) {
        input += "                            4  1\r\n";
        input += record("   OCCUPATION", "COMMENT");
    }
    return input;
}

struct Example {
    std::string name;
    std::string input;
    Outcome outcome;  // without a fault
};

std::vector<Example> examples() {
    const std::string kinematic = sourceFile("examples/kinematic.19o");
    const std::string staticBadId = sourceFile("examples/static_bad_id.19o");
    return {
        {"Kinematic", kinematic, Outcome::Converted},
        {"StaticRepair", staticBadId, Outcome::ConvertedStatic},
        {"LargeKinematic", large(kinematic), Outcome::Converted},
        {"LargeStaticRepair", large(staticBadId), Outcome::ConvertedStatic},
        {"AlreadyConverted", sourceFile("tests/golden/kinematic.19o.expected"),
         Outcome::AlreadyConverted},
        {"SiteIdLimit", beyondTheSiteIdLimit(), Outcome::SiteIdLimit},
    };
}

bool converts(Outcome outcome) {
    return outcome == Outcome::Converted || outcome == Outcome::ConvertedStatic;
}

std::string_view messageFor(Outcome outcome) {
    switch (outcome) {
        case Outcome::Converted:
            return messages::kConverted;
        case Outcome::ConvertedStatic:
            return messages::kConvertedStatic;
        case Outcome::AlreadyConverted:
            return messages::kAlreadyConverted;
        case Outcome::SiteIdLimit:
            return messages::kSiteIdLimit;
        default:
            return "";
    }
}

// Where in the input, or the output, a read or write fault strikes.
enum class Where { NotApplicable, Start, Header, Observations, Late };

std::uint64_t byteAt(Where where, const std::string& input) {
    switch (where) {
        case Where::NotApplicable:
        case Where::Start:
            return 0;
        case Where::Header:
            return 100;
        case Where::Observations:
            return headerBytes(input) + 100;
        case Where::Late:
            return input.size() * 3 / 4;
    }
    return 0;
}

struct FaultCase {
    std::string name;
    FileOperation operation;
    int error;
    Where where;
    std::string_view message;
};

std::vector<FaultCase> faultCases() {
    using enum FileOperation;
    return {
        {"ProbeOpenMissing", ProbeOpen, ENOENT, Where::NotApplicable, messages::kReadFailed},
        {"ProbeOpenDenied", ProbeOpen, EACCES, Where::NotApplicable, messages::kReadFailed},
        {"SecondOpenNoDescriptors", SecondOpen, EMFILE, Where::NotApplicable,
         messages::kReadFailed},
        {"SecondOpenDenied", SecondOpen, EACCES, Where::NotApplicable, messages::kReadFailed},
        {"ReadFirstByte", Read, EIO, Where::Start, messages::kReadFailed},
        {"ReadInHeader", Read, EIO, Where::Header, messages::kReadFailed},
        {"ReadInObservations", Read, EIO, Where::Observations, messages::kReadFailed},
        {"ReadLate", Read, EIO, Where::Late, messages::kReadFailed},
        {"CreateTemporaryDenied", CreateTemporary, EACCES, Where::NotApplicable,
         messages::kTempCreateFailed},
        {"CreateTemporaryDiskFull", CreateTemporary, ENOSPC, Where::NotApplicable,
         messages::kTempCreateFailed},
        {"CreateTemporaryReadOnly", CreateTemporary, EROFS, Where::NotApplicable,
         messages::kTempCreateFailed},
        {"WriteFirstByte", Write, EIO, Where::Start, messages::kTempWriteFailed},
        {"WriteInHeader", Write, ENOSPC, Where::Header, messages::kTempWriteFailed},
        {"WriteInObservations", Write, ENOSPC, Where::Observations, messages::kTempWriteFailed},
        {"WriteLate", Write, EFBIG, Where::Late, messages::kTempWriteFailed},
        {"LastWriteCall", WriteCall, ENOSPC, Where::NotApplicable, messages::kTempWriteFailed},
        {"Sync", Sync, EIO, Where::NotApplicable, messages::kTempWriteFailed},
        {"CloseQuota", Close, EDQUOT, Where::NotApplicable, messages::kTempWriteFailed},
        {"RemoveEarlierOriginal", RemoveEarlierOriginal, EPERM, Where::NotApplicable,
         messages::kReplaceFailed},
        {"RenameInputBusy", RenameInputToOriginal, EBUSY, Where::NotApplicable,
         messages::kReplaceFailed},
        {"RenameInputDenied", RenameInputToOriginal, EACCES, Where::NotApplicable,
         messages::kReplaceFailed},
        {"RenameTemporaryDenied", RenameTemporaryToInput, EACCES, Where::NotApplicable,
         messages::kReplaceFailed},
        {"RenameTemporaryIo", RenameTemporaryToInput, EIO, Where::NotApplicable,
         messages::kReplaceFailed},
    };
}

struct DriverRun {
    int status;
    RecordingConsole console;
    RecordingNotifier notifier;
    bool faultInjected;
    int openFileViolations;
    int writeCalls;
    std::vector<std::string> calls;
};

DriverRun convertWithFault(const fs::path& input, const Fault& fault) {
    platform::PosixFileSystem real;
    FaultyFileSystem files(real, input, fault);
    DriverRun run{};
    SilentDebugChannel debug;
    platform::Services services{run.console, run.notifier, debug, files};
    const std::vector<platform::Path> arguments{input};
    run.status = runProgram(arguments, services);
    run.faultInjected = files.faultInjected();
    run.openFileViolations = files.openFileViolations();
    run.writeCalls = files.writeCalls();
    run.calls = files.calls();
    return run;
}

std::string describe(const DriverRun& run) {
    std::string text = "calls:";
    for (const std::string& call : run.calls) text += "\n  " + call;
    return text;
}

// A file's bytes, or a note that it is missing (a failed expectation, not an exception).
std::string contents(const fs::path& path) {
    return fs::is_regular_file(path) ? readFile(path)
                                     : "(missing: " + path.filename().string() + ")";
}

const std::string kEarlierOriginal = "an earlier original, replaced by the next conversion\r\n";

// What a run without a fault leaves: the converted file and the input as "_original", or, after
// a stop in the observation section, the input and the "_temp" file with what was written.
void expectOutcomeWithoutFault(const Example& example, const TempDir& dir, const DriverRun& run,
                               bool earlierOriginal) {
    const bool converted = converts(example.outcome);
    EXPECT_EQ(run.status, converted ? 0 : 1);
    EXPECT_EQ(run.notifier.notifications,
              (std::vector<Notification>{
                  {converted ? "OK" : "NG", std::string(messageFor(example.outcome))}}));
    const std::string output = convertBytes(example.input, 4096).output;
    if (converted) {
        EXPECT_EQ(dir.entries(), (std::vector<std::string>{"site.19o", "site.19o_original"}));
        EXPECT_EQ(contents(dir / "site.19o"), output);
        EXPECT_EQ(contents(dir / "site.19o_original"), example.input);
        return;
    }
    std::vector<std::string> entries{"site.19o", "site.19o_temp"};
    if (earlierOriginal) entries.insert(entries.begin() + 1, "site.19o_original");
    EXPECT_EQ(dir.entries(), entries);
    EXPECT_EQ(contents(dir / "site.19o"), example.input);
    EXPECT_EQ(contents(dir / "site.19o_temp"), output);
    if (earlierOriginal) {
        EXPECT_EQ(contents(dir / "site.19o_original"), kEarlierOriginal);
    }
}

// Every fault at every operation, for each example, with and without an earlier "_original".
// A fault that strikes must leave the input alone and say what failed; an operation that the
// example never reaches (a rename after a stop, a read past the stop) changes nothing.
TEST(FaultInjection, EveryFaultLeavesTheInputAndTellsTheTruth) {
    int struck = 0;
    for (const Example& example : examples()) {
        int writeCalls = 0;
        {
            const TempDir dir;
            writeFile(dir / "site.19o", example.input);
            const DriverRun run = convertWithFault(dir / "site.19o", {});
            expectOutcomeWithoutFault(example, dir, run, false);
            EXPECT_EQ(run.openFileViolations, 0) << describe(run);
            writeCalls = run.writeCalls;
        }
        for (const FaultCase& fault : faultCases()) {
            for (bool earlierOriginal : {false, true}) {
                SCOPED_TRACE(example.name + " / " + fault.name +
                             (earlierOriginal ? " / earlier _original" : ""));
                const TempDir dir;
                const fs::path input = dir / "site.19o";
                writeFile(input, example.input);
                if (earlierOriginal) writeFile(dir / "site.19o_original", kEarlierOriginal);

                const DriverRun run = convertWithFault(
                    input,
                    {fault.operation, fault.error, byteAt(fault.where, example.input), writeCalls});
                EXPECT_EQ(run.openFileViolations, 0) << describe(run);
                EXPECT_EQ(run.console.out, kStartLines);
                EXPECT_EQ(run.console.err, "");

                // A converting example reaches every operation; deleting an earlier
                // "_original" needs one.
                const bool needsEarlier = fault.operation == FileOperation::RemoveEarlierOriginal;
                if (converts(example.outcome) && (earlierOriginal || !needsEarlier)) {
                    EXPECT_TRUE(run.faultInjected) << describe(run);
                }
                if (!run.faultInjected) {
                    expectOutcomeWithoutFault(example, dir, run, earlierOriginal);
                    continue;
                }
                ++struck;
                EXPECT_EQ(run.status, 1);
                EXPECT_EQ(run.notifier.notifications,
                          (std::vector<Notification>{{"NG", std::string(fault.message)}}))
                    << describe(run);
                // The input at its own path with its own bytes; nothing else left behind but an
                // earlier "_original", untouched unless the swap had deleted it to make way.
                EXPECT_EQ(contents(input), example.input);
                const bool swapStarted = fault.operation == FileOperation::RenameInputToOriginal ||
                                         fault.operation == FileOperation::RenameTemporaryToInput;
                if (swapStarted) earlierOriginal = false;
                std::vector<std::string> expected{"site.19o"};
                if (earlierOriginal) expected.push_back("site.19o_original");
                EXPECT_EQ(dir.entries(), expected) << describe(run);
                if (earlierOriginal) {
                    EXPECT_EQ(contents(dir / "site.19o_original"), kEarlierOriginal);
                }
            }
        }
    }
    std::printf("faults struck: %d\n", struck);
    // Of 6 examples x 24 faults x 2, all but those not reached.
    EXPECT_GT(struck, 200);
}

}  // namespace
}  // namespace ferrule::test
