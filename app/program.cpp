#include "app/program.h"

#include <new>
#include <string>
#include <vector>

#include "app/convert_file.h"
#include "app/messages.h"
#include "app/shown_text.h"
#include "ferrule/version.h"

namespace ferrule {

namespace {

using platform::Path;
namespace messages = detail::messages;

// A path as the user gave it, in UTF-8.
std::string nameOf(const Path& path) {
    const std::u8string name = path.u8string();
    return std::string(name.begin(), name.end());
}

// A path as it is shown in an outcome line or a report: a line feed or an escape sequence in a
// name cannot split the line or paint another.
std::string shownName(const Path& path) {
    return detail::shownText(nameOf(path), detail::Backslash::Kept);
}

// A conversion that runs out of memory is a failure like any other: its temporary file is gone
// with it (removed as the conversion unwinds), and the next file is converted.
Told convertSafely(const Path& file, platform::Services& services) {
    try {
        return convertFile(file, services);
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
    if (files.size() == 1) {
        Told told = convertSafely(files.front(), services);
        // Only here does the program end at a header error: a batch goes on with the next file.
        if (told.outcome == Outcome::HeaderError) told.text += messages::kProgramEnds;
        services.notifier.notify(told.converted, told.caption, told.text);
        return told.converted ? 0 : 1;
    }
    bool allConverted = true;
    for (const Path& file : files) {
        const Told told = convertSafely(file, services);
        services.notifier.notifyOf(shownName(file), told.converted, told.caption, told.text);
        allConverted = allConverted && told.converted;
    }
    services.notifier.allNotified(allConverted);
    return allConverted ? 0 : 1;
}

// For each file, what a conversion would do and what it read; nothing on disk changes.
int reportFiles(const std::vector<Path>& files, platform::Services& services) {
    bool allConverted = true;
    for (const Path& file : files) {
        Survey survey;
        Told told;
        try {
            told = reportFile(file, services, survey);
        } catch (const std::bad_alloc&) {
            told = Told{false, messages::kCaptionNg, std::string(messages::kOutOfMemory)};
            survey = Survey{};
        }
        std::string text = shownName(file) + ": ";
        if (!told.converted) {
            text.append(messages::kWouldRefuse).append(told.text).append("\n");
        } else {
            text +=
                survey.repairedStationId.empty() ? messages::kWouldConvert : messages::kWouldRepair;
        }
        // What was read, indented under the file's line.
        const std::string read =
            told.outcome == Outcome::InProgress ? std::string() : describeSurvey(survey);
        for (std::size_t at = 0; at < read.size();) {
            const std::size_t end = read.find('\n', at) + 1;
            text += "  " + read.substr(at, end - at);
            at = end;
        }
        services.console.writeOutput(text);
        allConverted = allConverted && told.converted;
    }
    return allConverted ? 0 : 1;
}

int wrongUse(platform::Services& services, bool withoutFile, std::string_view option = {}) {
    writeStartLines(services.console);
    if (!option.empty()) {
        services.console.writeError(std::string(messages::kUnknownOption) + std::string(option) +
                                    "\n");
    }
    services.console.writeError(messages::kUsage);
    // Started without a file (a double-click on Windows), the console may close at once.
    if (withoutFile) services.notifier.usage(messages::kUsage);
    return 2;
}

}  // namespace

// Options come before the files; "--" ends them, so that a file's name may begin with "-".
int runProgram(std::span<const Path> arguments, platform::Services& services) {
    bool report = false;
    bool options = true;
    std::vector<Path> files;
    for (const Path& argument : arguments) {
        const std::string word = options ? nameOf(argument) : std::string();
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
        } else if (word.size() > 1 && word.front() == '-') {
            return wrongUse(services, false, detail::shownText(word));
        } else {
            files.push_back(argument);
        }
    }
    if (files.empty()) return wrongUse(services, true);
    return report ? reportFiles(files, services) : convertFiles(files, services);
}

}  // namespace ferrule
