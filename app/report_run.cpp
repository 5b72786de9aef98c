#include "app/report_run.h"

#include <algorithm>
#include <cctype>
#include <memory>
#include <new>
#include <string_view>
#include <system_error>

#include "app/convert_file.h"
#include "app/messages.h"
#include "common/shown_text.h"
#include "report/report.h"

namespace ferrule {

namespace {

using platform::Path;
namespace fs = std::filesystem;
namespace messages = detail::messages;

// The first bytes of an existing file at a report's name that tell a RINEX file: its first
// record is RINEX VERSION / TYPE (or the Hatanaka-compressed CRINEX VERS / TYPE).
constexpr std::size_t kHeadBytes = 256;
bool beginsLikeRinex(std::string_view head) {
    const std::string_view firstLine = head.substr(0, head.find('\n'));
    return firstLine.find("RINEX VERSION / TYPE") != std::string_view::npos ||
           firstLine.find("CRINEX VERS   / TYPE") != std::string_view::npos;
}

// A path with its folders' links resolved and made absolute; its last name as it stands (a link
// there is the entry a rename would replace, not what it names).
Path beside(const Path& path) {
    std::error_code error;
    const Path absolute = fs::absolute(path, error);
    if (error) return path.lexically_normal();
    const Path folder = fs::weakly_canonical(absolute.parent_path(), error);
    return error ? absolute.lexically_normal() : folder / absolute.filename();
}

// The same, its last name resolved too where it is a link: the file a conversion would convert.
Path resolved(const Path& path) {
    std::error_code error;
    const Path canonical = fs::weakly_canonical(fs::absolute(path, error), error);
    return error ? beside(path) : canonical;
}

Path withSuffix(Path path, const char* suffix) {
    return path += suffix;
}

// The names a conversion of the inputs reads or writes, and the identities of those that exist,
// as far as they can be told without reading a byte.
struct Reserved {
    std::vector<Path> names;
    std::vector<platform::FileState> files;
    bool holds(const Path& name, const std::optional<platform::FileState>& file) const {
        if (std::find(names.begin(), names.end(), name) != names.end()) return true;
        return file && std::any_of(files.begin(), files.end(),
                                   [&](const platform::FileState& f) { return f.sameFile(*file); });
    }
};

Reserved reservedBy(const std::vector<Path>& inputs, platform::FileSystem& files) {
    Reserved reserved;
    for (const Path& input : inputs) {
        for (const Path& base : {beside(input), resolved(input)}) {
            reserved.names.push_back(base);
            reserved.names.push_back(withSuffix(base, "_original"));
            reserved.names.push_back(withSuffix(base, "_temp"));
        }
        platform::Opened opened = files.open(input);
        if (opened.failure != platform::Opened::Failure::None) continue;
        if (const auto state = opened.file->state()) reserved.files.push_back(*state);
        for (const char* suffix : {"_original", "_temp"}) {
            const platform::Folder::Name side = platform::Folder::Name(opened.name) += suffix;
            if (const auto state = opened.folder->stateOf(side)) reserved.files.push_back(*state);
        }
    }
    return reserved;
}

// One report file: written to standard output, or to a new file of its own beside its name
// ("<name>_temp", or "<name>_temp2" ... when another file stands there), which is renamed over
// the name once it is whole and synced, and removed otherwise.
class ReportOutput {
  public:
    ReportOutput(Path path, std::unique_ptr<detail::ReportWriter> writer)
        : path_(std::move(path)), writer_(std::move(writer)) {}
    ~ReportOutput() {
        if (file_ != nullptr) (void)file_->close();
        if (!committed_ && folder_ != nullptr) {
            const std::optional<platform::FileState> now = folder_->stateOf(temporary_);
            if (now && now->sameFile(state_)) (void)folder_->remove(temporary_);
        }
    }
    ReportOutput(const ReportOutput&) = delete;
    ReportOutput& operator=(const ReportOutput&) = delete;

    const Path& path() const { return path_; }
    bool toConsole() const { return path_ == "-"; }
    detail::ReportWriter& writer() { return *writer_; }
    bool failed() const { return failed_; }
    void fail() { failed_ = true; }

    // Opens the folder and looks at what stands at the name; "" when the file may be written,
    // else why not (and the exit status: 2 when the user named the wrong file, 1 otherwise).
    std::string prepare(platform::FileSystem& files, const Reserved& reserved, int& status) {
        if (toConsole()) return {};
        platform::FolderOf found = files.folderOf(path_);
        status = 1;
        if (found.folder == nullptr) return std::string(messages::kReportFolderMissing);
        folder_ = std::move(found.folder);
        name_ = found.name;
        existing_ = folder_->stateOf(name_);
        status = 2;
        if (reserved.holds(beside(path_), existing_))
            return std::string(messages::kReportOverInput);
        if (existing_ && existing_->kind != platform::FileState::Kind::Regular) {
            return std::string(messages::kReportNotRegular);
        }
        if (existing_) {
            const std::optional<std::string> head = folder_->head(name_, kHeadBytes);
            if (!head) return std::string(messages::kReportNotRegular);
            if (beginsLikeRinex(*head)) return std::string(messages::kReportOverRinex);
        }
        return {};
    }

    // The two report files name one file.
    bool sameAs(const ReportOutput& other) const {
        if (toConsole() || other.toConsole()) return toConsole() && other.toConsole();
        return beside(path_) == beside(other.path_) ||
               (existing_ && other.existing_ && existing_->sameFile(*other.existing_));
    }

    // Creates the new file beside the name; false when the folder takes no new file.
    bool create() {
        if (toConsole()) return true;
        for (int attempt = 1; attempt <= 9 && file_ == nullptr; ++attempt) {
            temporary_ = platform::Folder::Name(name_) += "_temp";
            if (attempt > 1) temporary_ += std::to_string(attempt);
            if (folder_->stateOf(temporary_)) continue;  // someone else's: left alone
            file_ = folder_->create(temporary_, platform::Access::UnderUmask);
            if (file_ == nullptr) return false;
        }
        const std::optional<platform::FileState> state = file_ ? file_->state() : std::nullopt;
        if (!state) {
            if (file_ != nullptr) {
                (void)file_->close();
                file_.reset();
                (void)folder_->remove(temporary_);
            }
            return false;
        }
        state_ = *state;
        return true;
    }

    void write(std::string_view bytes, platform::Console& console) {
        if (failed_ || bytes.empty()) return;
        failed_ =
            toConsole() ? !console.writeData(bytes) : !file_->write(bytes.data(), bytes.size());
    }

    // The whole file takes the name. "" when it did; else why not.
    std::string commit() {
        if (failed_) return std::string(messages::kReportNotWritten);
        if (toConsole()) return {};
        const bool whole = file_->sync();
        if (!file_->close() || !whole) return std::string(messages::kReportNotWritten);
        file_.reset();
        if (!folder_->rename(temporary_, name_)) return std::string(messages::kReportNotReplaced);
        committed_ = true;
        folder_->sync();
        return {};
    }

  private:
    Path path_;
    std::unique_ptr<detail::ReportWriter> writer_;
    std::unique_ptr<platform::Folder> folder_;
    platform::Folder::Name name_;
    platform::Folder::Name temporary_;
    std::optional<platform::FileState> existing_;
    std::unique_ptr<platform::OutputFile> file_;
    platform::FileState state_;
    bool failed_ = false;
    bool committed_ = false;
};

// What is told of one file: on the console, and as each report file's piece.
struct FileReport {
    std::string console;
    std::vector<std::string> pieces;
    bool converts = false;
};

FileReport reportOne(const Path& file, const ReportRequest& request,
                     std::vector<std::unique_ptr<ReportOutput>>& outputs,
                     platform::Services& services) {
    Survey survey;
    const Told told = reportFile(file, services, survey);
    std::string verdict;
    if (!told.converted) {
        verdict.append(messages::kWouldRefuse).append(told.text);
    } else {
        verdict =
            survey.repairedStationId.empty() ? messages::kWouldConvert : messages::kWouldRepair;
    }
    const std::string name = detail::shownPath(file);
    FileReport report{name + ": " + verdict + "\n", {}, told.converted};
    // What was read, indented under the file's line.
    const bool read = told.outcome != Outcome::InProgress;
    const std::string description = read ? describeSurvey(survey, request.options) : "";
    for (std::size_t at = 0; at < description.size();) {
        const std::size_t end = description.find('\n', at) + 1;
        report.console += "  " + description.substr(at, end - at);
        at = end;
    }
    for (const auto& output : outputs) {
        report.pieces.push_back(output->writer().add(name, verdict, read ? &survey : nullptr));
    }
    return report;
}

// A file whose report ran out of memory anywhere (reading, describing, a row, a piece) is told
// as not reported, in every view; when even that finds no memory, the report files fail.
FileReport notReported(const Path& file, std::vector<std::unique_ptr<ReportOutput>>& outputs) {
    try {
        const std::string name = detail::shownPath(file);
        FileReport report{
            name + ": " + std::string(messages::kReportOutOfMemory) + "\n", {}, false};
        for (const auto& output : outputs) {
            report.pieces.push_back(
                output->writer().add(name, messages::kReportOutOfMemory, nullptr));
        }
        return report;
    } catch (const std::bad_alloc&) {
        for (const auto& output : outputs) output->fail();
        return {};
    }
}

}  // namespace

bool isReportName(const Path& path, bool html) {
    if (path == "-") return true;
    std::string extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return html ? extension == ".html" || extension == ".htm" : extension == ".csv";
}

int reportFiles(const std::vector<Path>& files, const ReportRequest& request,
                platform::Services& services, std::string* failure) {
    if (failure != nullptr) failure->clear();
    std::vector<std::unique_ptr<ReportOutput>> outputs;
    if (request.csv) {
        outputs.push_back(
            std::make_unique<ReportOutput>(*request.csv, detail::csvReport(request.options)));
    }
    if (request.html) {
        outputs.push_back(
            std::make_unique<ReportOutput>(*request.html, detail::htmlReport(request.options)));
    }
    const auto refuse = [&](std::string_view why, const ReportOutput& output, int status) {
        const std::string text = std::string(why) + detail::shownPath(output.path());
        services.console.writeError("[NG] " + text + "\n");
        if (failure != nullptr && failure->empty()) *failure = text;
        return status;
    };
    // Everything that can be known before reading is told before reading: nothing is read and
    // nothing written then.
    if (!outputs.empty()) {
        const Reserved reserved = reservedBy(files, services.files);
        for (const auto& output : outputs) {
            int status = 1;
            const std::string why = output->prepare(services.files, reserved, status);
            if (!why.empty()) return refuse(why, *output, status);
        }
        if (outputs.size() == 2 && outputs[0]->sameAs(*outputs[1])) {
            return refuse(messages::kReportOutputsOneFile, *outputs[1], 2);
        }
        for (const auto& output : outputs) {
            if (!output->create()) return refuse(messages::kReportFolderNotWritable, *output, 1);
        }
    }
    // A report on standard output has it to itself.
    const bool tableShown = std::none_of(outputs.begin(), outputs.end(),
                                         [](const auto& output) { return output->toConsole(); });

    for (const auto& output : outputs) {
        try {
            output->write(output->writer().begin(), services.console);
        } catch (const std::bad_alloc&) {
            output->fail();
        }
    }
    bool allConverted = true;
    for (const Path& file : files) {
        FileReport report;
        try {
            report = reportOne(file, request, outputs, services);
        } catch (const std::bad_alloc&) {
            report = notReported(file, outputs);
        }
        if (tableShown) services.console.writeOutput(report.console);
        for (std::size_t i = 0; i < report.pieces.size(); ++i) {
            outputs[i]->write(report.pieces[i], services.console);
        }
        allConverted = allConverted && report.converts;
    }
    bool allWritten = true;
    for (const auto& output : outputs) {
        try {
            output->write(output->writer().end(), services.console);
        } catch (const std::bad_alloc&) {
            output->fail();
        }
        const std::string why = output->commit();
        if (!why.empty()) {
            refuse(why, *output, 1);
            allWritten = false;
        }
    }
    return allConverted && allWritten ? 0 : 1;
}

}  // namespace ferrule
