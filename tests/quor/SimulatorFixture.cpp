#include "SimulatorFixture.h"

#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

using namespace testsupport;

namespace quortest {

namespace {

const std::string kSimulator = std::string(OVIX_BUILD_DIR) + "/devicemanager-sim";

// Reads the first line the child writes, waiting at most timeoutMs.
std::string ReadFirstLine(int fd, int timeoutMs) {
    std::string line;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (line.find('\n') == std::string::npos) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        deadline - std::chrono::steady_clock::now())
                        .count();
        pollfd ready{fd, POLLIN, 0};
        if (left <= 0 || poll(&ready, 1, static_cast<int>(left)) <= 0) break;
        char buffer[256];
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0) break;
        line.append(buffer, static_cast<size_t>(n));
    }
    return line;
}

}  // namespace

void SimulatorTest::SetUp() {
    std::filesystem::create_directory(dir_ / "record");
    std::vector<std::string> args = {kSimulator, "127.0.0.1",     "--fault", options_.fault,
                                     "--record", dir_ / "record", "--state", dir_ / "state"};
    if (options_.allocated) args.push_back("--allocated");
    if (!options_.body.empty()) {
        ServeBody(options_.body);
        args.push_back("--body");
        args.push_back(dir_ / "body.xml");
    }
    args = TargetCommand(args);
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(&arg[0]);
    argv.push_back(nullptr);

    int out[2];
    ASSERT_EQ(pipe(out), 0);
    pid_ = fork();
    if (pid_ == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        dup2(out[1], 1);
        close(out[0]);
        close(out[1]);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(out[1]);
    const std::string line = ReadFirstLine(out[0], 10000);
    close(out[0]);
    ASSERT_EQ(line, "listening 127.0.0.1:5302\n") << "the simulator did not start";
}

void SimulatorTest::TearDown() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

std::vector<std::string> SimulatorTest::Recorded(const std::string& kind) const {
    std::vector<std::string> texts;
    for (int number = 1;; ++number) {
        const std::string path = dir_ / ("record/" + kind + "-" + std::to_string(number) + ".txt");
        if (!std::filesystem::exists(path)) break;
        texts.push_back(ReadFile(path));
    }
    return texts;
}

std::vector<std::string> SimulatorTest::Requests() const {
    return Recorded("request");
}

std::vector<std::string> SimulatorTest::Responses() const {
    return Recorded("response");
}

void SimulatorTest::WaitForConnections(size_t count) const {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (Responses().size() < count && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

std::string SimulatorTest::ResponseBody(size_t number) const {
    const auto responses = Responses();
    if (number >= responses.size()) return "";
    const auto end = responses[number].find("\r\n\r\n");
    return end == std::string::npos ? "" : responses[number].substr(end + 4);
}

std::string SimulatorTest::State() const {
    return ReadFile(dir_ / "state");
}

void SimulatorTest::ServeBody(const std::string& body) const {
    WriteFile(dir_ / "body.xml.new", body);
    std::filesystem::rename(dir_ / "body.xml.new", dir_ / "body.xml");
}

std::vector<LogLine> ReadLog() {
    std::vector<LogLine> entries;
    for (const auto& text : SplitLines(ReadFile("/tmp/cgi.log"))) {
        LogLine line;
        if (ParseLogLine(text, line)) {
            entries.push_back(line);
        } else if (!entries.empty()) {
            entries.back().message += "\n" + text;
        } else {
            ADD_FAILURE() << "not a log line: " << text;
        }
    }
    return entries;
}

std::vector<std::string> Messages(const std::string& level) {
    std::vector<std::string> messages;
    for (const auto& entry : ReadLog()) {
        if (entry.level == level) messages.push_back(entry.message);
    }
    return messages;
}

OpenWatch::OpenWatch(const std::vector<std::string>& paths) {
    fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    watching_ = fd_ >= 0;
    for (const auto& path : paths) {
        watching_ = watching_ && inotify_add_watch(fd_, path.c_str(), IN_OPEN | IN_ACCESS) >= 0;
    }
}

OpenWatch::~OpenWatch() {
    if (fd_ >= 0) close(fd_);
}

bool OpenWatch::Opened() const {
    alignas(inotify_event) char buffer[4096];
    return read(fd_, buffer, sizeof buffer) > 0;
}

std::string QuorData(const std::string& name) {
    return ReadFile(DataPath("quor/" + name));
}

}  // namespace quortest
