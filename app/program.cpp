#include "app/program.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "app/convert_file.h"
#include "app/messages.h"
#include "app/report_run.h"
#include "common/shown_text.h"
#include "ferrule/version.h"
#include "report/criteria.h"

namespace ferrule {

namespace {

using platform::Path;
namespace messages = detail::messages;

// A path as the user gave it, in UTF-8.
std::string nameOf(const Path& path) {
    const std::u8string name = path.u8string();
    return std::string(name.begin(), name.end());
}

// A conversion that runs out of memory is a failure like any other: its temporary file is gone
// with it (removed as the conversion unwinds), and the next file is converted.
Told convertSafely(const Path& file, platform::Services& services, platform::InterruptHold& held) {
    try {
        return convertFile(file, services, &held);
    } catch (const std::bad_alloc&) {
        return Told{false, messages::kCaptionNg, std::string(messages::kOutOfMemory)};
    }
}

void writeStartLines(platform::Console& console) {
    console.writeOutput(messages::kBanner);
    console.writeOutput("\n");
    console.writeOutput(messages::kPleaseWait);
    console.writeOutput("\n");
}

// Each file in turn, on its own: a failure never stops or changes the next. One file is told as
// the program always told it; several each by name, and the notifier may gather them into one
// message at the end.
int convertFiles(const std::vector<Path>& files, platform::Services& services) {
    writeStartLines(services.console);
    // An interrupt during a swap waits until the file's outcome is told.
    if (files.size() == 1) {
        platform::InterruptHold held(services.files);
        Told told = convertSafely(files.front(), services, held);
        // Only here does the program end at a header error: a batch goes on with the next file.
        if (told.outcome == Outcome::HeaderError) told.text += messages::kProgramEnds;
        services.notifier.notify(told.converted, told.caption, told.text);
        return told.converted ? 0 : 1;
    }
    bool allConverted = true;
    for (const Path& file : files) {
        platform::InterruptHold held(services.files);
        const Told told = convertSafely(file, services, held);
        services.notifier.notifyOf(detail::shownPath(file), told.converted, told.caption,
                                   told.text);
        allConverted = allConverted && told.converted;
    }
    services.notifier.allNotified(allConverted);
    return allConverted ? 0 : 1;
}

int wrongUse(platform::Services& services, bool withoutFile, std::string_view problem = {}) {
    writeStartLines(services.console);
    if (!problem.empty()) services.console.writeError(std::string(problem) + "\n");
    services.console.writeError(messages::kUsage);
    // Started without a file (a double-click on Windows), the console may close at once.
    if (withoutFile) services.notifier.usage(messages::kUsage);
    return 2;
}

// A whole number from 0 to 100,000, as an option's value.
std::optional<std::int32_t> countOf(const std::string& text) {
    if (text.empty() || text.size() > 6 || text.find_first_not_of("0123456789") != text.npos) {
        return std::nullopt;
    }
    const long value = std::stol(text);
    if (value > 100000) return std::nullopt;
    return static_cast<std::int32_t>(value);
}

// "+9", "-5", "+5:30", "9": the local zone's offset from UTC, in minutes.
std::optional<std::int32_t> offsetOf(const std::string& text) {
    std::string rest = text;
    const int sign = !rest.empty() && rest.front() == '-' ? -1 : 1;
    if (!rest.empty() && (rest.front() == '+' || rest.front() == '-')) rest.erase(0, 1);
    const std::size_t colon = rest.find(':');
    const std::optional<std::int32_t> hours = countOf(rest.substr(0, colon));
    const std::optional<std::int32_t> minutes =
        colon == rest.npos ? std::optional<std::int32_t>(0) : countOf(rest.substr(colon + 1));
    if (!hours || !minutes || *hours > 14 || *minutes > 59 ||
        (colon != rest.npos && rest.size() - colon != 3)) {
        return std::nullopt;
    }
    return sign * (*hours * 60 + *minutes);
}

std::string zoneLabel(std::int32_t minutes) {
    char label[32];
    std::snprintf(label, sizeof label, "UTC%c%02d:%02d", minutes < 0 ? '-' : '+',
                  std::abs(minutes) / 60, std::abs(minutes) % 60);
    return label;
}

// Options come before the files; "--" ends them, so that a file's name may begin with "-".
int runArguments(std::span<const Path> arguments, platform::Services& services) {
    bool report = false;
    bool options = true;
    ReportRequest request;
    std::vector<Path> files;
    for (std::size_t at = 0; at < arguments.size(); ++at) {
        const Path& argument = arguments[at];
        const std::string word = options ? nameOf(argument) : std::string();
        // An option that takes a value: the next argument.
        const bool valued = word == "--csv" || word == "--html" || word == "--min-epochs" ||
                            word == "--min-satellites" || word == "--utc-offset" ||
                            word == "--method";
        if (valued && at + 1 == arguments.size()) {
            return wrongUse(services, false, std::string(messages::kOptionWithoutValue) + word);
        }
        const Path value = valued ? arguments[++at] : Path();
        const std::string text = valued ? nameOf(value) : std::string();
        const auto badValue = [&] {
            return wrongUse(
                services, false,
                std::string(messages::kOptionValueWrong) + word + " " + detail::shownText(text));
        };
        if (word == "--") {
            options = false;
        } else if (word == "--help" || word == "-h") {
            services.console.writeOutput(messages::kHelp);
            return 0;
        } else if (word == "--version" || word == "-V") {
            services.console.writeOutput("ferrule " FERRULE_VERSION "\n");
            return 0;
        } else if (word == "--report") {
            report = true;
        } else if (word == "--csv" || word == "--html") {
            if (!isReportName(value, word == "--html")) {
                return wrongUse(
                    services, false,
                    std::string(messages::kReportNameWrong) + word + " " + detail::shownText(text));
            }
            (word == "--csv" ? request.csv : request.html) = value;
            report = true;
        } else if (word == "--min-epochs" || word == "--min-satellites") {
            const std::optional<std::int32_t> count = countOf(text);
            if (!count) return badValue();
            (word == "--min-epochs" ? request.options.minEpochs : request.options.minSatellites) =
                *count;
        } else if (word == "--method") {
            if (detail::surveyMethod(text) == nullptr) return badValue();
            request.options.method = text;
        } else if (word == "--utc-offset") {
            const std::optional<std::int32_t> offset = offsetOf(text);
            if (!offset) return badValue();
            request.options.utcOffsetMinutes = *offset;
            request.options.zoneLabel = zoneLabel(*offset);
        } else if (word.size() > 1 && word.front() == '-') {
            return wrongUse(services, false,
                            std::string(messages::kUnknownOption) + detail::shownText(word));
        } else {
            files.push_back(argument);
        }
    }
    if (files.empty()) return wrongUse(services, true);
    return report ? reportFiles(files, request, services) : convertFiles(files, services);
}

}  // namespace

// Memory that runs out outside a file's conversion or report (the options, a check before the
// report is read) ends the program, told; what it made is removed as it unwinds.
int runProgram(std::span<const Path> arguments, platform::Services& services) {
    try {
        return runArguments(arguments, services);
    } catch (const std::bad_alloc&) {
        services.console.writeError("[NG] ");
        services.console.writeError(messages::kOutOfMemory);
        services.console.writeError("\n");
        return 1;
    }
}

// The files dropped on the report's own icon get one page, "<first file>_report.html" beside the
// first of them, shown to the user; a page that could not be written is told in a message.
int runReportLauncher(std::span<const Path> arguments, platform::Services& services) {
    const std::vector<Path> files(arguments.begin(), arguments.end());
    if (files.empty()) return wrongUse(services, true);
    ReportRequest request;
    request.html = Path(files.front()) += "_report.html";
    std::string failure;
    const int status = reportFiles(files, request, services, &failure);
    if (failure.empty()) {
        services.notifier.showPage(*request.html);
    } else {
        services.notifier.notify(false, messages::kCaptionNg, failure);
    }
    return status;
}

}  // namespace ferrule
