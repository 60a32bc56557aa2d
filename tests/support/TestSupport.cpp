#include "TestSupport.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <map>
#include <regex>

#include "Fd.h"
#include "TargetEmulator.h"

extern char** environ;

namespace testsupport {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::string ConfigJar(const std::string& variant) {
    return std::string(OVIX_BUILD_DIR) + "/java/" +
           (variant.empty() ? "configovix" : "configovix-" + variant) + ".jar";
}

std::string DataPath(const std::string& relative) {
    return std::string(OVIX_TEST_DATA_DIR) + "/" + relative;
}

::testing::AssertionResult MatchesGolden(const std::string& actual, const std::string& goldenPath) {
    const char* update = std::getenv("OVIX_UPDATE_GOLDEN");
    if (update != nullptr && std::string(update) == "1") {
        WriteFile(goldenPath, actual);
        return ::testing::AssertionSuccess();
    }
    const std::string expected = ReadFile(goldenPath);
    if (actual == expected) return ::testing::AssertionSuccess();
    auto a = SplitLines(actual), e = SplitLines(expected);
    size_t line = 0;
    while (line < a.size() && line < e.size() && a[line] == e[line]) ++line;
    return ::testing::AssertionFailure()
           << "differs from " << goldenPath << " at line " << line + 1
           << "\n  Expected: " << (line < e.size() ? e[line] : "<end>")
           << "\n  Actual:   " << (line < a.size() ? a[line] : "<end>")
           << "\nWhole actual output:\n"
           << actual;
}

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "ovix-test-XXXXXX").string();
    char* made = mkdtemp(&pattern[0]);
    path_ = made != nullptr ? made : "";
}

TempDir::~TempDir() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

namespace {

// A pipe's two ends.
struct Pipe {
    Fd read, write;
    Pipe() {
        int fd[2];
        if (pipe2(fd, O_CLOEXEC) == 0) read = Fd(fd[0]), write = Fd(fd[1]);
    }
};

// The process's environment with the options applied; of two entries for
// one name, the later wins.
std::vector<std::string> MakeEnvironment(const RunOptions& options) {
    std::map<std::string, std::string> byName;
    auto put = [&](const std::string& entry) { byName[entry.substr(0, entry.find('='))] = entry; };
    for (char** e = environ; *e != nullptr; ++e) put(*e);
    for (const auto& e : options.env) put(e);
    std::vector<std::string> env;
    for (const auto& entry : byName) env.push_back(entry.second);
    return env;
}

// True when the process runs the program of that file name: as its own
// executable, or in a cross build as the emulator's with the program among
// its arguments.
bool Runs(const std::filesystem::path& process, const std::string& program) {
    std::error_code error;
    const auto exe = std::filesystem::read_symlink(process / "exe", error).filename();
    if (exe == program) return true;
    const auto emulator = TargetEmulator();
    if (emulator.empty() || exe != std::filesystem::path(emulator[0]).filename()) return false;
    std::istringstream arguments(ReadFile(process / "cmdline"));
    for (std::string argument; std::getline(arguments, argument, '\0');)
        if (std::filesystem::path(argument).filename() == program) return true;
    return false;
}

// The processes of the process group that run the program of that file name.
// Not the whole group: the launchers in front of the program (bwrap, a shell)
// must live on to report how it ended, as 128 + the signal.
std::vector<int> InGroup(int group, const std::string& program) {
    std::vector<int> found;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        if (!Runs(entry.path(), program)) continue;
        // "pid (comm) state ppid pgrp ...": the command may hold blanks.
        const std::string stat = ReadFile(entry.path() / "stat");
        std::istringstream rest(stat.substr(stat.rfind(')') + 1));
        std::string state;
        int parent = 0, pgrp = 0;
        if (rest >> state >> parent >> pgrp && pgrp == group)
            found.push_back(std::stoi(entry.path().filename().string()));
    }
    return found;
}

}  // namespace

RunResult Run(const std::vector<std::string>& argv, const RunOptions& options) {
    RunResult result;
    Pipe pipes[2];  // standard output and standard error
    std::vector<std::string> env = MakeEnvironment(options);
    std::vector<char*> args, envp;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    for (const auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);

    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(open("/dev/null", O_RDONLY), 0);
        dup2(pipes[0].write.Get(), 1);
        dup2(pipes[1].write.Get(), 2);
        setpgid(0, 0);
        execve(args[0], args.data(), envp.data());
        _exit(127);
    }
    for (auto& pipe : pipes) pipe.write = Fd();
    if (pid < 0) return result;
    signal(SIGPIPE, SIG_IGN);
    const auto deadline = start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                      std::chrono::duration<double>(options.timeoutSeconds));
    bool triggered = !options.trigger;
    std::string* texts[2] = {&result.out, &result.err};
    while (pipes[0].read || pipes[1].read) {
        if (!triggered && result.out.find(*options.trigger) != std::string::npos) {
            triggered = true;
            if (options.closeStdout) pipes[0].read = Fd();
            for (int target : InGroup(pid, options.signalTarget)) kill(target, options.signal);
            continue;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) {
            result.timedOut = true;
            kill(-pid, SIGKILL);
            break;
        }
        pollfd fds[2] = {{pipes[0].read.Get(), POLLIN, 0}, {pipes[1].read.Get(), POLLIN, 0}};
        if (poll(fds, 2, static_cast<int>(left)) < 0) continue;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            char buffer[65536];
            const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                texts[i]->append(buffer, static_cast<size_t>(n));
            } else {
                pipes[i].read = Fd();
            }
        }
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
    return result;
}

std::vector<std::string> TargetCommand(const std::vector<std::string>& argv) {
    std::vector<std::string> command = TargetEmulator();
    command.insert(command.end(), argv.begin(), argv.end());
    return command;
}

namespace {

const std::chrono::system_clock::time_point kStarted = std::chrono::system_clock::now();

// Local time as the log writes it, to the second.
std::chrono::system_clock::time_point LocalTime(const std::string& text) {
    std::tm parts{};
    std::istringstream(text) >> std::get_time(&parts, "%Y-%m-%d %H:%M:%S");
    parts.tm_isdst = -1;
    return std::chrono::system_clock::from_time_t(std::mktime(&parts));
}

}  // namespace

std::string LogDigest(const std::string& logText, bool withLines) {
    // date, level, label, process id, file and line number (fields padded
    // to 10, 15, 6, 25 and 6 characters, or wider values followed directly).
    static const std::regex record(
        R"(^(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)\.\d{6}  (\S+) +(\S+) +\d+ +(\S*[^\d\s]) *)"
        R"((\d{6,}|\d{5} |\d{4} {2}|\d{3} {3}|\d\d {4}|\d {5})(.*)$)");
    static const std::regex dated(R"(^\d{4}-\d\d-\d\d )");
    const std::string build = OVIX_BUILD_DIR;
    const auto slack = std::chrono::seconds(3);
    std::string digest;
    for (std::string line : SplitLines(logText)) {
        for (auto at = line.find(build); at != std::string::npos; at = line.find(build, at))
            line.replace(at, build.size(), "${BUILD}");
        std::smatch m;
        if (std::regex_match(line, m, record)) {
            const auto date = LocalTime(m[1]);
            if (date < kStarted - slack || date > std::chrono::system_clock::now() + slack)
                ADD_FAILURE() << "record not dated at its event: " << line;
            const std::string at = withLines ? ":" + std::to_string(std::stoi(m.str(5))) : "";
            line = m.str(2) + " " + m.str(3) + " " + m.str(4) + at + " " + m.str(6);
        } else if (std::regex_search(line, dated)) {
            ADD_FAILURE() << "not a whole record: " << line;
        }
        digest += line + "\n";
    }
    return digest;
}

std::optional<Record> RecordOf(const std::string& digestLine, const std::string& source) {
    const std::string prefix = " cgi " + source;
    const size_t level = digestLine.find(' ');
    if (level == std::string::npos || digestLine.compare(level, prefix.size(), prefix) != 0)
        return std::nullopt;
    static const std::regex rest(R"(^(?::(\d+))? (.*)$)");
    std::smatch m;
    const std::string after = digestLine.substr(level + prefix.size());
    if (!std::regex_match(after, m, rest)) return std::nullopt;
    return Record{digestLine.substr(0, level), m.str(1), m.str(2)};
}

namespace {

using Cells = std::vector<std::string>;

// A test that fails with a message: a table that cannot be read.
struct Failing : ::testing::Test {
    explicit Failing(std::string text) : message(std::move(text)) {}
    void TestBody() override { FAIL() << message; }
    std::string message;
};

// Fails the running test, or before the tests run (where their names are
// read) registers one of the table's name that fails; no rows.
std::vector<Cells> TableFails(const std::string& path, const std::string& message) {
    const std::string text = path + ": " + message;
    if (::testing::UnitTest::GetInstance()->current_test_info() != nullptr) {
        ADD_FAILURE() << text;
    } else {
        ::testing::RegisterTest("Table", std::filesystem::path(path).filename().c_str(), nullptr,
                                nullptr, __FILE__, __LINE__,
                                [text]() -> ::testing::Test* { return new Failing(text); });
    }
    return {};
}

}  // namespace

std::vector<Cells> ReadCells(const std::string& path, const Cells& names) {
    static const std::regex cell(R"( *((?:[^|\\]|\\.)*?) *\|)"), bar(R"(\\\|)");
    std::vector<Cells> rows;
    Cells header;
    bool ruleMayFollow = false;
    int number = 0;
    for (const auto& line : SplitLines(ReadFile(path))) {
        ++number;
        if (line.find_first_not_of(' ') == std::string::npos || line[0] == '#') continue;
        if (std::exchange(ruleMayFollow, false) &&
            line.find_first_not_of("|-: ") == std::string::npos)
            continue;
        Cells cells;
        const std::string inner = line.substr(line.find('|') + 1);
        for (std::sregex_iterator at(inner.begin(), inner.end(), cell), end; at != end; ++at)
            cells.push_back(std::regex_replace(at->str(1), bar, "|"));
        const auto has = [](const Cells& list, const std::string& name) {
            return std::find(list.begin(), list.end(), name) != list.end();
        };
        if (header.empty()) {
            header = cells;
            ruleMayFollow = true;
            for (const auto& name : header)
                if (!has(names, name)) return TableFails(path, "unknown column \"" + name + "\"");
            for (const auto& name : names)
                if (!has(header, name)) return TableFails(path, "no column \"" + name + "\"");
        } else if (cells.size() != header.size() || line.find_first_not_of(' ') != line.find('|')) {
            return TableFails(path, "line " + std::to_string(number) + " is not a row of " +
                                        std::to_string(header.size()) + " cells");
        } else {
            Cells& row = rows.emplace_back();
            for (const auto& name : names)
                row.push_back(
                    cells[std::find(header.begin(), header.end(), name) - header.begin()]);
        }
    }
    return header.empty() ? TableFails(path, "no header") : rows;
}

}  // namespace testsupport
