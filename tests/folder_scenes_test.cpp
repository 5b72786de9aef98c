// The folder scenes of tests/cases/folder-scenes.table: each builds a folder as its `+` lines
// say, runs the program there, and checks the exit status, what it said, every file below the
// folder by its bytes, and the owners, modes and links its `?` lines name. Scenes that need other
// users make their own and remove them again; they and the others that need what a machine may
// lack are skipped, saying so.
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <sstream>

#include "tests/support/test_support.h"

namespace ferrule::test {
namespace {

struct Scene {
    std::string name;
    std::vector<std::string> needs;
    std::vector<std::vector<std::string>> steps;
    std::vector<std::string> arguments;
    std::vector<std::string> options;
    int status = 0;
    std::string told;
    std::vector<std::pair<std::string, std::string>> after;
    std::vector<std::vector<std::string>> checks;
};

// The words of a line: blanks separate them; a "quoted text" is one, its escapes read.
std::vector<std::string> words(const std::string& line) {
    std::vector<std::string> found;
    for (std::size_t at = 0; at < line.size();) {
        if (line[at] == ' ') {
            ++at;
            continue;
        }
        if (line[at] == '"') {
            std::string text = "\"";  // a leading quote marks a text
            std::size_t i = at + 1;
            for (; i < line.size() && line[i] != '"'; ++i) {
                if (line[i] != '\\' || i + 1 == line.size()) {
                    text += line[i];
                    continue;
                }
                const char c = line[++i];
                text += c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c;
            }
            found.push_back(text);
            at = i + 1;
            continue;
        }
        const std::size_t end = std::min(line.find(' ', at), line.size());
        found.push_back(line.substr(at, end - at));
        at = end;
    }
    return found;
}

std::vector<Scene> loadScenes() {
    std::vector<Scene> scenes;
    std::istringstream in(readFile(sourcePath("tests/cases/folder-scenes.table")));
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line.starts_with("#")) continue;
        if (line.starts_with("== ")) {
            scenes.emplace_back().name = line.substr(3);
            continue;
        }
        Scene& scene = scenes.back();
        const std::string rest = line.size() > 2 ? line.substr(2) : "";
        switch (line.front()) {
            case '+':
                scene.steps.push_back(words(rest));
                break;
            case '$':
                scene.arguments = words(rest);
                break;
            case '=': {
                const std::size_t blank = rest.find(' ');
                scene.status = std::stoi(rest.substr(0, blank));
                if (blank != std::string::npos) scene.told = rest.substr(blank + 1);
                break;
            }
            case '>': {
                const std::vector<std::string> parts = words(rest);
                std::string content = parts.at(1);
                if (content == "->") content += " " + parts.at(2);
                scene.after.emplace_back(parts.at(0), content);
                break;
            }
            case '?':
                scene.checks.push_back(words(rest));
                break;
            default:
                (line.starts_with("needs ") ? scene.needs : scene.options)
                    .push_back(line.starts_with("needs ") ? line.substr(6) : line);
        }
    }
    return scenes;
}

const std::vector<Scene>& scenes() {
    static const std::vector<Scene> loaded = loadScenes();
    return loaded;
}

std::string input() {
    return sourceFile("tests/cases/kinematic/input");
}
std::string converted() {
    return sourceFile("tests/cases/kinematic/expected");
}

// A CONTENT word of the table as bytes: input, converted, or a quoted text.
std::string bytesOf(const std::string& content) {
    if (content == "input") return input();
    if (content == "converted") return converted();
    return content.substr(1);
}

// What a file holds, as the table writes it.
std::string contentOf(const fs::path& path) {
    const fs::file_status status = fs::symlink_status(path);
    if (fs::is_symlink(status)) return "-> " + fs::read_symlink(path).string();
    if (fs::is_fifo(status)) return "fifo";
    const std::string bytes = readFile(path);
    if (bytes == input()) return "input";
    if (bytes == converted()) return "converted";
    if (bytes.starts_with("<!DOCTYPE html>") && bytes.ends_with("</html>\n")) return "page";
    if (bytes.starts_with("\xEF\xBB\xBF") && bytes.find(",1,000K,") != bytes.npos) return "csv";
    return "\"" + bytes;
}

std::vector<std::pair<std::string, std::string>> contents(const fs::path& dir) {
    std::vector<std::pair<std::string, std::string>> found;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        if (entry.is_directory() && !entry.is_symlink()) continue;
        found.emplace_back(entry.path().lexically_relative(dir).string(), contentOf(entry.path()));
    }
    std::sort(found.begin(), found.end());
    return found;
}

struct stat statusOf(const fs::path& path) {
    struct stat status {};
    ::lstat(path.c_str(), &status);
    return status;
}

std::string accessControlList(const fs::path& path) {
    char list[256];
    const ssize_t size = ::getxattr(path.c_str(), "system.posix_acl_access", list, sizeof list);
    return std::string(list, static_cast<std::size_t>(std::max<ssize_t>(size, 0)));
}

// A user of the scene's own, made for it and removed after it.
class TestUser {
  public:
    explicit TestUser(std::string name) : name_(std::move(name)) {
        std::system(("userdel " + name_ + " >/dev/null 2>&1").c_str());
        std::system(("useradd -M -N -s /usr/sbin/nologin " + name_ + " >/dev/null 2>&1").c_str());
        if (const passwd* entry = ::getpwnam(name_.c_str())) id_ = {entry->pw_uid, entry->pw_gid};
    }
    ~TestUser() { std::system(("userdel " + name_ + " >/dev/null 2>&1").c_str()); }
    bool ok() const { return id_.first != 0; }
    std::pair<unsigned, unsigned> id() const { return id_; }

  private:
    std::string name_;
    std::pair<unsigned, unsigned> id_{0, 0};
};

// Why the scene cannot run here; empty when it can.
std::string missing(const Scene& scene) {
    for (const std::string& need : scene.needs) {
        if (need == "users" && ::geteuid() != 0) return "needs root, to make two other users";
        if (need == "protected-hardlinks" &&
            readFile("/proc/sys/fs/protected_hardlinks").front() != '1') {
            return "protected_hardlinks is off here";
        }
        if (need == "setfacl" && std::system("setfacl --version >/dev/null 2>&1") != 0) {
            return "setfacl (Debian package acl) is not installed";
        }
    }
    return {};
}

class FolderScenes : public testing::TestWithParam<std::size_t> {};

TEST_P(FolderScenes, LoseNothingAndTellTheTruth) {
    const Scene& scene = scenes()[GetParam()];
    SCOPED_TRACE(scene.name);
    if (const std::string why = missing(scene); !why.empty()) GTEST_SKIP() << why;
    std::map<std::string, std::unique_ptr<TestUser>> users;
    const auto user = [&](const std::string& who) -> std::pair<unsigned, unsigned> {
        if (who == "root") return {0, 0};
        std::unique_ptr<TestUser>& made = users[who];
        // Names of the scene's own: ctest may run two scenes at once.
        if (!made) made = std::make_unique<TestUser>("ferrule-" + who + std::to_string(GetParam()));
        EXPECT_TRUE(made->ok()) << "useradd failed";
        return made->id();
    };
    const TempDir top;
    const fs::path dir = top / "folder";
    fs::create_directories(dir);
    std::vector<int> held;
    for (const std::vector<std::string>& step : scene.steps) {
        const std::string& what = step.at(0);
        const fs::path path = dir / step.at(1);
        if (what != "folder-mode") fs::create_directories(path.parent_path());
        if (what == "file") writeFile(path, bytesOf(step.at(2)));
        if (what == "link") fs::create_symlink(step.at(2), path);
        if (what == "hardlink") fs::create_hard_link(dir / step.at(2), path);
        if (what == "fifo") {
            ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
        }
        if (what == "mode") {
            ASSERT_EQ(::chmod(path.c_str(), std::stoul(step.at(2), nullptr, 8)), 0);
        }
        if (what == "folder-mode") {
            ASSERT_EQ(::chmod(dir.c_str(), std::stoul(step.at(1), nullptr, 8)), 0);
        }
        if (what == "owner") {
            const auto [uid, gid] = user(step.at(2));
            ASSERT_EQ(::chown(path.c_str(), uid, gid), 0);
        }
        if (what == "acl") {
            const std::string command = "setfacl -m u:" + std::to_string(user(step.at(2)).first) +
                                        ":rw '" + path.string() + "'";
            ASSERT_EQ(std::system(command.c_str()), 0);
        }
        if (what == "lock") {
            held.push_back(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
            ASSERT_EQ(::flock(held.back(), LOCK_EX), 0);
        }
    }
    RunOptions options = inDirectory(dir);
    options.environment.emplace_back("FERRULE_DEBUG", "0");
    for (const std::string& option : scene.options) {
        if (option == "as v") options.user = user("v");
        if (option == "closed-streams") options.closedStandardStreams = true;
        if (option == "closed-pipe") options.closedPipe = true;
        if (option == "debug") options.environment.back().second = "1";
    }
    // The folder must be reachable by the other users.
    fs::permissions(top.path(),
                    fs::perms::owner_all | fs::perms::others_exec | fs::perms::group_exec);
    const ProgramRun run = runFerrule(scene.arguments, options);
    for (const int fd : held) ::close(fd);

    EXPECT_EQ(run.status, scene.status) << run.err;
    if (!scene.told.empty()) {
        EXPECT_NE((run.out + run.err).find(scene.told + "\n"), std::string::npos)
            << run.out << run.err;
    }
    EXPECT_EQ(contents(dir), scene.after);
    for (const std::vector<std::string>& check : scene.checks) {
        const std::string& what = check.at(0);
        const fs::path path = dir / check.at(1);
        if (what == "owner") {
            EXPECT_EQ(statusOf(path).st_uid, user(check.at(2)).first) << path;
        }
        if (what == "mode") {
            EXPECT_EQ(statusOf(path).st_mode & 07777, std::stoul(check.at(2), nullptr, 8)) << path;
        }
        if (what == "links") {
            EXPECT_EQ(statusOf(path).st_nlink, std::stoul(check.at(2))) << path;
        }
        if (what == "text") {
            EXPECT_EQ(readFile(path), bytesOf(check.at(2))) << path;
        }
        if (what == "same-acl") {
            EXPECT_FALSE(accessControlList(dir / check.at(2)).empty());
            EXPECT_EQ(accessControlList(path), accessControlList(dir / check.at(2)));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Table, FolderScenes, testing::Range(std::size_t{0}, scenes().size()),
                         [](const testing::TestParamInfo<std::size_t>& scene) {
                             std::string name;
                             for (const char c : scenes()[scene.param].name) {
                                 if (std::isalnum(static_cast<unsigned char>(c))) name += c;
                                 if (c == ' ' && !name.empty() && name.back() != '_') name += '_';
                             }
                             return name.substr(0, 60);
                         });

}  // namespace
}  // namespace ferrule::test
