// The table of cases: every folder under tests/cases/ is one case (tests/cases/README.md says
// what it may hold), and three families are tables of rows here: station identifiers in the
// example's MARKER NAME record, hostile inputs streamed from a few lines of pieces, and every
// file operation of a conversion failing in turn. Each case is converted through the library,
// byte by byte and in blocks of several sizes, and by the built program in a directory of its
// own (in this process, over a file system that fails one operation, for a fault row); both must
// say what the case says, literally, and leave what it says. Large inputs are described as
// pieces, written to disk and compared as they come, so that no case is ever held in memory whole.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>

#include "app/program.h"
#include "ferrule/ferrule.h"
#include "platform/native.h"
#include "tests/support/faulty_file_system.h"
#include "tests/support/test_support.h"

namespace ferrule::test {
namespace {

struct Piece {
    std::string text;
    std::uint64_t repeat = 1;
};
using Pieces = std::vector<Piece>;

std::string unescaped(std::string_view text) {
    std::string result;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char code = text[i] == '\\' && i + 1 < text.size() ? text[++i] : 0;
        result += code == 0     ? text[i]
                  : code == 'r' ? '\r'
                  : code == 'n' ? '\n'
                  : code == '0' ? '\0'
                                : code;
    }
    return result;
}

// Pieces, a line each: "< path [offset length]" takes bytes of a file below the source tree;
// "count text" repeats an escaped text, and "*" as the count fills FERRULE_HOSTILE_BYTES
// (1 GiB unless set).
Pieces parsePieces(const std::string& source) {
    const char* hostile = std::getenv("FERRULE_HOSTILE_BYTES");
    const std::uint64_t hostileBytes = hostile ? std::strtoull(hostile, nullptr, 10) : 1ull << 30;
    Pieces pieces;
    std::istringstream in(source);
    for (std::string line; std::getline(in, line);) {
        const std::string first = line.substr(0, line.find(' '));
        std::istringstream rest(line.substr(first.size() + 1));
        if (first == "<") {
            std::string path;
            std::size_t offset = 0;
            std::size_t length = std::string::npos;
            rest >> path >> offset >> length;
            pieces.push_back({sourceFile(path).substr(offset, length)});
            continue;
        }
        const std::string text = unescaped(rest.str());
        pieces.push_back({text, first == "*" ? hostileBytes / text.size() : std::stoull(first)});
    }
    return pieces;
}

// Calls `chunk` with the bytes of the pieces in order, about 1 MiB at a time.
void forEachChunk(const Pieces& pieces, const std::function<void(std::string_view)>& chunk) {
    std::string buffer;
    for (const Piece& piece : pieces) {
        for (std::uint64_t done = 0; done < piece.repeat; ++done) {
            buffer += piece.text;
            if (buffer.size() < (1u << 20)) continue;
            chunk(buffer);
            buffer.clear();
        }
    }
    if (!buffer.empty()) chunk(buffer);
}

// The bytes of a stream, taken as they come: the first 4 KiB and a hash of each 1 MiB of them,
// so that streams of any size are compared without being held, and a difference shows.
class Bytes {
  public:
    void take(std::string_view bytes) {
        while (!bytes.empty()) {
            const std::size_t n = std::min(bytes.size(), kBlock - block_.size());
            block_.append(bytes.substr(0, n));
            bytes.remove_prefix(n);
            if (block_.size() == kBlock) flush();
        }
    }
    std::string summary() {
        flush();
        return summary_;
    }

  private:
    static constexpr std::size_t kBlock = std::size_t{1} << 20;
    void flush() {
        if (summary_.empty()) summary_ = block_.substr(0, 4096) + "\n...";
        summary_ += " " + std::to_string(std::hash<std::string>{}(block_));
        block_.clear();
    }
    std::string block_;
    std::string summary_;
};

std::string summaryOf(const Pieces& pieces) {
    Bytes bytes;
    forEachChunk(pieces, [&](std::string_view chunk) { bytes.take(chunk); });
    return bytes.summary();
}

void writePieces(const fs::path& path, const Pieces& pieces) {
    std::ofstream out(path, std::ios::binary);
    forEachChunk(pieces, [&](std::string_view chunk) {
        out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
    });
}

std::string summaryOf(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    Bytes bytes;
    std::string buffer(1 << 20, '\0');
    while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0) {
        bytes.take(std::string_view(buffer.data(), static_cast<std::size_t>(in.gcount())));
    }
    return in.eof() ? bytes.summary() : "missing";
}

// A case: what the program must say and leave (keys, as in a folder's `case` file), and its files
// by name ("input", "expected", "debug", ...), each as pieces. A fault row runs the driver over
// a file system that fails one operation.
struct Case {
    std::string name;
    std::map<std::string, std::string> keys;
    std::map<std::string, Pieces> files;
    std::optional<Fault> fault;

    std::string key(const std::string& wanted, const std::string& otherwise = {}) const {
        return keys.contains(wanted) ? keys.at(wanted) : otherwise;
    }
    bool has(const std::string& file) const { return files.contains(file); }
    Pieces pieces(const std::string& file) const { return has(file) ? files.at(file) : Pieces{}; }
    // A small file whole: a debug text, a survey, a standard stream.
    std::string text(const std::string& file) const {
        std::string whole;
        forEachChunk(pieces(file), [&](std::string_view chunk) { whole += chunk; });
        return whole;
    }
    bool converts() const { return key("told").starts_with("[OK]"); }
    // The names X of the further files: "in-X" the case puts beside the input, "out-X" what
    // stands at X afterwards (a report file the program writes, say).
    std::vector<std::string> furtherFiles() const {
        std::set<std::string> names;
        for (const auto& [file, pieces] : files) {
            if (file.starts_with("in-") || file.starts_with("out-")) {
                names.insert(file.substr(file.find('-') + 1));
            }
        }
        return {names.begin(), names.end()};
    }
    // What the path holds afterwards: the conversion (or what another program left), or else
    // the input as it was.
    Pieces atPath() const { return pieces(has("expected") ? "expected" : "input"); }
    // Whether the outcome is the input's own, not the files' around it.
    bool byContent() const {
        return has("input") && !fault &&
               std::none_of(kFileKeys.begin(), kFileKeys.end(),
                            [&](auto key) { return keys.contains(key); });
    }
    static constexpr std::array<const char*, 5> kFileKeys{"setup", "name", "args",
                                                          "file-size-limit", "strace"};
};

// The keys of a `case` text, one "key: value" a line.
std::map<std::string, std::string> parseKeys(const std::string& text) {
    std::map<std::string, std::string> keys;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        const std::size_t colon = line.find(": ");
        keys[line.substr(0, colon)] = unescaped(line.substr(colon + 2));
    }
    return keys;
}

// With FERRULE_REWRITE_CASES set, a case folder's expected text (a plain file, never a recipe)
// is replaced by what the run gave, for review with git diff before it is committed.
void rewriteExpected(const Case& c, const std::string& file, std::string_view actual) {
    if (std::getenv("FERRULE_REWRITE_CASES") == nullptr) return;
    const fs::path path = sourcePath("tests/cases/" + c.name) / file;
    if (!fs::is_regular_file(path)) return;
    std::ofstream(path, std::ios::binary) << actual;
}

Case loadFolder(const std::string& name) {
    const fs::path folder = sourcePath("tests/cases/" + name);
    Case c{name, parseKeys(readFile(folder / "case")), {}, {}};
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string file = entry.path().filename().string();
        if (file == "case") continue;
        if (file.ends_with(".pieces")) {
            c.files[file.substr(0, file.size() - 7)] = parsePieces(readFile(entry.path()));
        } else {
            c.files[file] = {{readFile(entry.path())}};
        }
    }
    return c;
}

// --- Station identifiers: the example's MARKER NAME record with other columns 0-59 ------------

// Each row of tests/cases/station-identifiers.table gives the record of marker-repaired (the
// example converted as a static file) other columns 0-59; the file is refused as static or
// converted with the row's identifier in that record.
std::vector<Case> stationIdentifierCases() {
    const auto withMarker = [](std::string file, std::string_view columns) {
        const std::size_t at = file.find("MARKER NAME") - 60;
        return file.replace(at, 60, std::string(columns) + std::string(60 - columns.size(), ' '));
    };
    const std::string input = sourceFile("tests/cases/marker-repaired/input");
    const std::string expected = sourceFile("tests/cases/marker-repaired/expected");
    std::vector<Case> cases;
    std::istringstream in(readFile(sourcePath("tests/cases/station-identifiers.table")));
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line.starts_with("#")) continue;
        const std::size_t first = line.find(" | ");
        const std::size_t second = line.find(" | ", first + 3);
        const std::string columns = unescaped(line.substr(first + 3, second - first - 3));
        const std::string repaired = line.substr(second + 3);
        Case& c = cases.emplace_back();
        c.name = line.substr(0, first);
        c.files["input"] = {{withMarker(input, columns)}};
        if (repaired == "-") {
            c.keys["told"] =
                "[NG] このRINEXデータはStaticで取得されたものです。変換する必要はありません。";
        } else {
            c.keys["told"] =
                "[OK] Staticデータです。Station IDが英数字4文字ではないため修正しました。";
            c.files["expected"] = {{withMarker(expected, repaired)}};
        }
    }
    return cases;
}

// --- Hostile inputs, streamed --------------------------------------------------------------

// Inputs made to exhaust memory or time: each is written from its pieces and compared as it
// comes, and the program must stay within 64 MiB and time in proportion to the size (`bounded`).
// The rows are data, in one table: "== name", then "-- file" and the lines a folder's file would
// hold (its `case`, `input.pieces`, ...).
std::vector<Case> tableCases(const std::string& table) {
    std::vector<std::map<std::string, std::string>> rows;
    std::vector<std::string> names;
    std::string section;
    std::istringstream in(readFile(sourcePath(table)));
    for (std::string line; std::getline(in, line);) {
        if (line.starts_with("== ")) {
            names.push_back(line.substr(3));
            rows.emplace_back();
        } else if (line.starts_with("-- ")) {
            section = line.substr(3);
        } else if (!rows.empty()) {
            rows.back()[section] += line + "\n";
        }
    }
    std::vector<Case> cases;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        Case& c = cases.emplace_back(Case{names[i], parseKeys(rows[i]["case"]), {}, {}});
        for (const auto& [file, text] : rows[i]) {
            if (file.ends_with(".pieces"))
                c.files[file.substr(0, file.size() - 7)] = parsePieces(text);
            if (file != "case" && !file.ends_with(".pieces")) c.files[file] = {{text}};
        }
    }
    return cases;
}

// --- File operations failing in turn -------------------------------------------------------

// The example with 24,240 more epochs (3 MiB: several reads and writes), converted by the driver
// in this process over a file system that fails one operation as the real one would.
#define FERRULE_EPOCHS                                                  \
    "24240  19  5 25  1 20  0.0000000  0  1G01\\r\\n  21234567.89105  " \
    "21235567.891 6  21236567.891 7  21237567.89108\\r\\n\n"
constexpr const char* kLongInput = "< tests/cases/kinematic/input\n" FERRULE_EPOCHS;
constexpr const char* kLongConverted = "< tests/cases/kinematic/expected\n" FERRULE_EPOCHS;

struct FaultRow {
    const char* name;
    Fault fault;
    const char* told;
    const char* keys = "";           // further keys, as a case file writes them
    const char* expected = nullptr;  // pieces at the path afterwards; nullptr: the input
    const char* input = kLongInput;  // pieces
};

using Op = FileOperation;
// A file system with hard links, one without (FAT, exFAT), or one that refuses to link the input
// (protected hard links).
enum class Links { Normal, None, Refused };
Fault failing(Op operation, int error = 0, int call = 0, Links links = Links::Normal) {
    Fault fault;
    fault.operation = operation;
    fault.error = error;
    fault.call = call;
    fault.noHardLinks = links == Links::None;
    fault.linkRefused = links == Links::Refused;
    return fault;
}
constexpr const char* kWriteFailed = "[NG] 一時的なファイルの書き込みに失敗しました。";
constexpr const char* kReplaceFailed = "[NG] ファイルの置き換えに失敗しました。";
constexpr const char* kChanged = "[NG] 変換中にファイルが変更されました。";
constexpr const char* kReadFailed = "[NG] RINEX観測ファイルの読み込みに失敗しました。";
constexpr const char* kOriginal = "setup: earlier-original";
// clang-format off
const FaultRow kFaultRows[] = {
    {"fault-none", failing(Op::None), "[OK] 変換完了", kOriginal, kLongConverted},
    {"fault-no-hard-links", failing(Op::None, 0, 0, Links::None), "[OK] 変換完了", kOriginal, kLongConverted},
    {"fault-link-refused", failing(Op::None, 0, 0, Links::Refused), "[OK] 変換完了", "setup: earlier-original\nposix-only: yes", kLongConverted},
    {"fault-open", failing(Op::Open, EACCES), kReadFailed},
    {"fault-lock", failing(Op::Lock, EWOULDBLOCK), "[NG] このファイルは別の変換で使用中です。"},
    {"fault-read-first", failing(Op::Read, EIO, 0), kReadFailed},
    {"fault-read-late", failing(Op::Read, EIO, 2), kReadFailed},
    {"fault-out-of-memory", failing(Op::Read, ENOMEM, 1), "[NG] メモリが不足したため、変換できませんでした。"},
    {"fault-grow", failing(Op::Grow, 0, 2), kChanged, "posix-only: yes", "< tests/cases/kinematic/input\n" FERRULE_EPOCHS "1 appended\\r\\n"},
    {"fault-replace-input", failing(Op::ReplaceInput, 0, 2), kChanged, "files: site.19o site.19o_moved", "1 a new file\\r\\n"},
    {"fault-create-temporary", failing(Op::CreateTemporary, ENOSPC), "[NG] 一時的なファイルの作成に失敗しました。"},
    {"fault-write-first", failing(Op::Write, EIO, 0), kWriteFailed},
    {"fault-write-late", failing(Op::Write, EFBIG, 2), kWriteFailed},
    {"fault-sync", failing(Op::Sync, EIO), kWriteFailed},
    {"fault-close", failing(Op::Close, ENOSPC), kWriteFailed},
    {"fault-close-after-a-stop", failing(Op::Close, EIO), "[NG] すでに変換済のRINEXデータです。", "", nullptr, "< tests/cases/kinematic/expected"},
    {"fault-write-of-a-small-file", failing(Op::Write, ENOSPC, 0), kWriteFailed, "", nullptr, "< tests/cases/kinematic/input"},
    {"fault-remove-earlier-original", failing(Op::RemoveEarlierOriginal, EPERM), kReplaceFailed, "setup: earlier-original\nfiles: site.19o site.19o_original"},
    {"fault-replace", failing(Op::Replace, EIO), kReplaceFailed},
    {"fault-no-hard-links-rename-input", failing(Op::RenameInputToOriginal, EACCES, 0, Links::None), kReplaceFailed},
    {"fault-no-hard-links-rename-temporary", failing(Op::RenameTemporaryToInput, EIO, 0, Links::None), kReplaceFailed},
    {"fault-link-refused-copy-not-written", failing(Op::WriteCopy, ENOSPC, 1, Links::Refused), kReplaceFailed},
    {"fault-link-refused-rename-temporary", failing(Op::RenameTemporaryToInput, EIO, 0, Links::Refused), kReplaceFailed},
};
// clang-format on
#undef FERRULE_EPOCHS

Case faultCase(const FaultRow& row) {
    Case c{row.name, parseKeys(row.keys), {{"input", parsePieces(row.input)}}, row.fault};
    c.keys["told"] = row.told;
    if (row.expected != nullptr) c.files["expected"] = parsePieces(row.expected);
    return c;
}

// Every case: the folders (their names are compiled in, so that a new folder makes the build
// list it) and the rows of the tables; for the library only those whose outcome is the input's own.
const std::vector<Case>& allCases() {
    static const std::vector<Case> cases = [] {
        std::vector<Case> all;
        for (const char* name : {
#include "case_names.inc"
             }) {
            all.push_back(loadFolder(name));
        }
        for (Case& row : stationIdentifierCases()) all.push_back(std::move(row));
        for (Case& row : tableCases("tests/cases/hostile-inputs.table")) {
            all.push_back(std::move(row));
        }
        for (const FaultRow& row : kFaultRows) all.push_back(faultCase(row));
        return all;
    }();
    return cases;
}

std::vector<std::string> caseNames(bool library) {
    std::vector<std::string> names;
    for (const Case& c : allCases()) {
        if (!library || c.byContent()) names.push_back(c.name);
    }
    return names;
}

const Case& caseNamed(const std::string& name) {
    const std::vector<Case>& cases = allCases();
    return *std::find_if(cases.begin(), cases.end(), [&](const Case& c) { return c.name == name; });
}

class Cases : public testing::TestWithParam<std::string> {
  protected:
    const Case& c = caseNamed(GetParam());
};
using LibraryCases = Cases;

// The library, fed byte by byte and in blocks: the outcome line, the converted text (or what a
// stop in the observation section leaves), the diagnostic text and the survey.
TEST_P(LibraryCases, Library) {
    if (!c.byContent()) GTEST_SKIP() << "the outcome is the files' around the input";
    const Pieces input = c.pieces("input");
    const std::string expected = summaryOf(c.has("temp") ? c.pieces("temp") : c.atPath());
    // The program that converts one file ends at a header error, and says so; the library does not.
    std::string told = c.key("told");
    if (told.ends_with("\nプログラムを終了します。")) told.resize(told.rfind('\n'));
    std::uint64_t size = 0;
    for (const Piece& piece : input) size += piece.text.size() * piece.repeat;
    std::vector<std::size_t> blocks{std::size_t{1} << 20};
    if (size < (1u << 18)) blocks.insert(blocks.end(), {1, 7, 82, 4096});
    std::string firstOutput;  // of the first division: every other must give the same bytes
    for (const std::size_t block : blocks) {
        SCOPED_TRACE("blocks of " + std::to_string(block));
        Bytes output;
        std::string debug;
        DebugFunction debugFunction;
        if (c.has("debug")) debugFunction = [&](std::string_view text) { debug += text; };
        StreamConverter converter([&](std::string_view bytes) { output.take(bytes); },
                                  debugFunction);
        bool going = true;  // what the last feed said: false once the conversion has stopped
        forEachChunk(input, [&](std::string_view chunk) {
            for (std::size_t at = 0; at < chunk.size(); at += block) {
                going = converter.feed(chunk.substr(at, block));
            }
        });
        // A feed says false once the conversion has stopped, and only then.
        EXPECT_EQ(going, converter.outcome() == Outcome::InProgress);
        const Outcome outcome = converter.finish();
        EXPECT_EQ("[" + std::string(outcomeCaption(outcome)) + "] " +
                      outcomeMessage(outcome, converter.headerFault()),
                  told);
        // After a refusal nothing written is kept, so nothing is claimed of it; but for a stop in
        // the observation section, which shows what was written before it.
        const std::string written = output.summary();
        if (isConverted(outcome) || c.has("temp")) {
            EXPECT_EQ(written, expected);
        }
        if (firstOutput.empty()) firstOutput = written;
        EXPECT_EQ(written, firstOutput) << "the division of the input changed the output";
        EXPECT_EQ(debug, c.text("debug"));
        if (c.has("survey")) {
            EXPECT_EQ(describeSurvey(converter.survey()), c.text("survey"));
            rewriteExpected(c, "survey", describeSurvey(converter.survey()));
        }
    }
}

#if defined(_WIN32)
// The start-up lines in code page 932, each followed by a blank line, with CR LF line ends.
const std::string kStartLines =
    "Ferrule program Ver1.01  2019/May/25th \r\n\r\n"
    "\x82\xb5\x82\xce\x82\xe7\x82\xad\x82\xa8\x91\xd2\x82\xbf\x82\xad\x82\xbe\x82\xb3\x82\xa2..."
    "\r\n\r\n";
// clang-format off
// (Wine removes a name of a file held open elsewhere only when it is closed: a _temp that is
// another name of the held input cannot lose its name there, unlike on Windows 10 1809 and later.)
const std::vector<std::string> kUnsupported{"zero-device", "temp-symlink", "temp-hardlink", "mode",
    "file-size-limit", "strace", "posix-only", "long-path"};
// clang-format on
#else
const std::string kStartLines =
    "Ferrule program Ver1.01  2019/May/25th \n\nしばらくお待ちください...\n\n";
const std::vector<std::string> kUnsupported;
#endif

// The driver in this process, over a file system that fails the operation the case names, as
// the program would run it: what it said is recorded as the program's streams.
ProgramRun runWithFault(const Case& c, const fs::path& path) {
    const Fault& fault = *c.fault;
    SaidToConsole said;
    platform::NativePlatform native;
    FaultyFileSystem files(native.services().files, path, fault);
    detail::SilentDebugChannel debug;
    platform::Services services{said, said, debug, files};
    ProgramRun run;
    run.status = runProgram(std::vector<platform::Path>{path}, services);
    EXPECT_EQ(files.faultInjected(), fault.operation != FileOperation::None) << "never struck";
    EXPECT_EQ(files.openFileViolations(), 0) << "the temporary file was moved while open";
    // The start-up lines as the platform's console shows them.
    run.out = kStartLines + said.out.substr(said.out.find("...\n\n") + 5);
    run.err = said.err;
    return run;
}

#if !defined(_WIN32)
// Whether the case's input is also reported on before it is converted.
bool reportable(const Case& c) {
    return c.has("input") && !c.keys.contains("bounded") && !c.keys.contains("args") &&
           !c.keys.contains("file-size-limit") && !c.keys.contains("strace") && !c.fault;
}

// The entries of a directory and what each holds.
std::string snapshot(const fs::path& directory) {
    std::string text;
    for (const std::string& entry : entries(directory)) {
        text += entry + " " + summaryOf(directory / utf8Path(entry)) + "\n";
    }
    return text;
}

// The site identifiers in a report's occupation rows, or in a file's site MARKER NAME records.
std::vector<std::string> siteIds(std::istream&& in, bool report) {
    std::vector<std::string> ids;
    for (std::string line; std::getline(in, line);) {
        // A row of the report's table whose kind is 割り付け: its second column.
        std::istringstream words(line);
        std::string number, name, kind;
        words >> number >> name >> kind;
        if (report && kind == "割り付け") ids.push_back(name);
        if (!report && line.size() >= 71 && line[3] == 'K' &&
            line.find_first_not_of(' ', 4) == 60 && line.compare(60, 11, "MARKER NAME") == 0) {
            ids.push_back(line.substr(0, 4));
        }
    }
    return ids;
}

// What a report lists under a file's line (and its message's lines): the indented lines.
std::string reportBody(const std::string& report) {
    const std::size_t at = report.find("\n  ");
    return at == std::string::npos ? std::string() : report.substr(at + 1);
}

// The program's report on the case's input, before it is converted: nothing on disk changes; it
// says what the conversion will do, and what it read: the case's `report` (what a report reads
// past a refusal), else its `survey` (the conversion's own reading). Returns the report.
std::string checkReport(const Case& c, const fs::path& directory, const fs::path& path,
                        const std::string& name) {
    const std::string before = snapshot(path.parent_path());
    const ProgramRun report = runFerrule({"--report", name}, inDirectory(directory));
    EXPECT_EQ(snapshot(path.parent_path()), before) << "the report changed the files";
    EXPECT_EQ(report.err, "");
    if (c.byContent()) {
        std::string told = c.key("told");
        // A report ends nothing at a header error.
        if (told.ends_with("\nプログラムを終了します。")) told.resize(told.rfind('\n'));
        const std::string said = name + ": " +
                                 (told == "[OK] 変換完了" ? "変換します（キネマティック）\n"
                                  : c.converts() ? "変換します（スタティック、点名を修正）\n"
                                                 : "変換しません: " + told.substr(5) + "\n");
        const std::string expected = c.has("report") ? "report" : "survey";
        std::string survey;
        std::istringstream lines(c.text(expected));
        for (std::string line; std::getline(lines, line);) survey += "  " + line + "\n";
        EXPECT_EQ(c.has(expected) ? report.out : report.out.substr(0, said.size()), said + survey);
        if (c.has("report")) {
            std::string unindented;
            std::istringstream shown(reportBody(report.out));
            for (std::string line; std::getline(shown, line);) unindented += line.substr(2) + "\n";
            rewriteExpected(c, "report", unindented);
        }
        EXPECT_EQ(report.status, c.converts() ? 0 : 1);
    }
    return report.out;
}
#endif

// The built program in a directory of its own, given the input's name: the outcome line, the
// exit status, the directory's entries and what each holds.
TEST_P(Cases, Program) {
    if (const std::string tool = missingWrapper(); !tool.empty()) {
        GTEST_SKIP() << "FERRULE_TEST_WRAPPER names " << tool << ", which is not installed";
    }
    const std::string setup = c.key("setup");
    for (const std::string& unsupported : kUnsupported) {
        if (setup == unsupported || c.keys.contains(unsupported)) GTEST_SKIP() << "not here";
    }
    const TempDir dir;
    std::string name = c.key("name", "site.19o");
    if (setup == "long-path") {
        for (char letter = 'a'; letter < 'g'; ++letter)
            name = std::string(100, letter) + "/" + name;
    }
    const fs::path path = dir / name;
    const fs::path temporary = path.native() + utf8Path("_temp").native();
    const fs::path kept = path.native() + utf8Path("_original").native();
    fs::create_directories(path.parent_path());
    if (c.has("input") && setup != "directory") writePieces(path, c.pieces("input"));
    for (const std::string& further : c.furtherFiles()) {
        if (c.has("in-" + further)) writePieces(dir / further, c.pieces("in-" + further));
    }
    if (setup == "directory") fs::create_directory(path);
    if (setup == "zero-device") fs::create_symlink("/dev/zero", path);
    if (setup == "temp-symlink") fs::create_symlink(path, temporary);
    if (setup == "temp-directory") fs::create_directory(temporary);
    if (setup == "temp-hardlink") fs::create_hard_link(path, temporary);
    if (setup == "stale-temp") writeFile(temporary, "left by a crash");
    if (setup == "original-directory") fs::create_directory(kept);
    if (setup == "earlier-original") writeFile(kept, "an earlier original");
    const auto mode = static_cast<fs::perms>(std::stoi(c.key("mode", "0"), nullptr, 8));
    if (c.keys.contains("mode")) fs::permissions(path, mode);

    RunOptions options = inDirectory(dir.path());
    if (c.keys.contains("file-size-limit"))
        options.fileSizeLimit = std::stol(c.key("file-size-limit"));
    if (c.has("debug")) options.environment.emplace_back("FERRULE_DEBUG", "1");
    if (c.keys.contains("strace")) {
        if (std::system("strace -o /dev/null true >/dev/null 2>&1") != 0) {
            GTEST_SKIP() << "strace is not installed, or may not trace here";
        }
        options.wrapper = {"strace", "-f", "-o", "/dev/null", "-e", c.key("strace")};
        // A sanitizer's leak check cannot run under ptrace.
        options.environment.emplace_back("ASAN_OPTIONS", "detect_leaks=0");
    }
    std::vector<std::string> arguments{name};
    if (c.keys.contains("args")) {
        // Split at blanks only: an argument may hold a line feed.
        arguments.clear();
        std::istringstream words(c.key("args"));
        for (std::string word; std::getline(words, word, ' ');) {
            if (!word.empty()) arguments.push_back(word);
        }
    }
    const bool converts = c.converts();
    std::string reported;
#if !defined(_WIN32)
    if (reportable(c)) reported = checkReport(c, dir.path(), path, name);
#endif
    const ProgramRun run = c.fault ? runWithFault(c, path) : runFerrule(arguments, options);

    EXPECT_EQ(run.status, std::stoi(c.key("status", converts ? "0" : "1")));
    // Help, version and report print no start-up lines.
    if (!c.has("stdout")) {
        EXPECT_TRUE(run.out.starts_with(kStartLines)) << run.out;
    }
#if defined(_WIN32)
    // A message box is echoed at the end of standard error.
    if (c.keys.contains("told-windows")) {
        EXPECT_TRUE(run.err.ends_with(c.key("told-windows") + "\n")) << run.err;
    } else {
        EXPECT_EQ(told(run), c.key("told"));
    }
#else
    const std::string line = c.key("told").empty() ? "" : c.key("told") + "\n";
    if (!c.has("stdout")) {
        EXPECT_EQ(told(run), c.key("told"));
    }
    EXPECT_EQ(run.out, c.has("stdout") ? c.text("stdout") : kStartLines + (converts ? line : ""));
    if (c.has("stdout")) rewriteExpected(c, "stdout", run.out);
    if (c.has("stderr")) rewriteExpected(c, "stderr", run.err);
    EXPECT_EQ(run.err,
              c.has("stderr") ? c.text("stderr") : c.text("debug") + (converts ? "" : line));
    // The occupations the report listed are those given site identifiers in the result, and a
    // report of the result reads them back: the same rows, epochs and times.
    if (reportable(c) && converts) {
        EXPECT_EQ(siteIds(std::ifstream(path, std::ios::binary), false),
                  siteIds(std::istringstream(reported), true));
        if (c.key("told") == "[OK] 変換完了") {
            const ProgramRun again = runFerrule({"--report", name}, inDirectory(dir.path()));
            EXPECT_EQ(again.out.substr(0, again.out.find('\n')),
                      name + ": 変換しません: すでに変換済のRINEXデータです。");
            EXPECT_EQ(reportBody(again.out), reportBody(reported)) << "read back";
        }
    }
#endif
    const std::string file = c.key("name", "site.19o").substr(c.key("name").rfind('/') + 1);
    std::string listed;
    for (const std::string& entry : entries(path.parent_path())) {
        listed += (listed.empty() ? "" : " ") + entry;
    }
    EXPECT_EQ(listed, c.key("files", converts ? file + " " + file + "_original" : file));
    // Further files: each as a single run leaves it.
    for (const std::string& further : c.furtherFiles()) {
        const Pieces input = c.pieces("in-" + further);
        EXPECT_EQ(summaryOf(dir / further),
                  summaryOf(c.has("out-" + further) ? c.pieces("out-" + further) : input))
            << further;
        if (c.has("out-" + further)) rewriteExpected(c, "out-" + further, readFile(dir / further));
        const fs::path original = dir / (further + "_original");
        if (fs::exists(original)) {
            EXPECT_EQ(summaryOf(original), summaryOf(input)) << further;
        }
    }
    if (!c.has("input") || setup == "directory") return;
    EXPECT_EQ(summaryOf(path), summaryOf(c.atPath()));
    // "_original" only ever holds the input, or what stood there before.
    if (setup == "earlier-original" && !converts) {
        EXPECT_EQ(readFile(kept), "an earlier original");
    } else if (fs::is_regular_file(kept)) {
        EXPECT_EQ(summaryOf(kept), summaryOf(c.pieces("input")));
    }
    if (!setup.starts_with("temp-")) {
        // A _temp stays only where the run was killed; then it holds what was written.
        const bool left = c.key("files").find("_temp") != std::string::npos;
        EXPECT_EQ(summaryOf(temporary), left ? summaryOf(c.pieces("temp")) : "missing");
    }
    if (c.keys.contains("mode")) {
        EXPECT_EQ(fs::status(path).permissions(), mode);
    }
    if (c.key("bounded") == "yes" && !measuredByTool()) {
        const double megabytes = static_cast<double>(fs::file_size(converts ? kept : path)) / 1e6;
        std::printf("    %.0f MB in %.2f s, peak resident %ld KiB\n", megabytes, run.seconds,
                    run.maxResidentKiB);
        // The peak includes the pages of this test process that the child held before exec.
        EXPECT_LT(run.maxResidentKiB, 64 * 1024);
        EXPECT_LT(run.seconds, 20 + megabytes / 20);
    }
}

std::string testName(const testing::TestParamInfo<std::string>& name) {
    std::string id = name.param;
    std::replace(id.begin(), id.end(), '-', '_');
    return id;
}
INSTANTIATE_TEST_SUITE_P(Folders, LibraryCases, testing::ValuesIn(caseNames(true)), testName);
INSTANTIATE_TEST_SUITE_P(Folders, Cases, testing::ValuesIn(caseNames(false)), testName);

}  // namespace
}  // namespace ferrule::test
