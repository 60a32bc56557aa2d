// Many requests at once: 200 runs of the real program in one isolated view
// (one /tmp, one process-id space), a quarter of them with a class that
// throws in every method, so that Java stack traces and the program's records
// share /tmp/cgi.log. And one run under strace: how each line is written.
#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <set>

#include "TestSupport.h"

using namespace testsupport;

namespace {

using Strings = std::vector<std::string>;

// What each run logs, in order, besides its class path.
Strings PlainRecords() {
    return {"main",
            "OpenJavaVM",
            "JAVA_OPTIONS: -Dovix.config=/app/ovix.properties",
            "JAVA_CLASSPATH:" + ConfigJar(""),
            "ChangeStdErr",
            "GetVersion",
            "Version: 20601",
            "GetVersion",
            "Version: 20512",
            "GetVersion",
            "Version: 20604",
            "GetReleaseCandidate",
            "GetCreatedAt",
            "GetBootFlag",
            "GetAppFlag"};
}

Strings ThrowingRecords() {
    const std::string version = "Methode 'getFirmwareVersion' threw an exception";
    const std::string flag = "Methode 'getUpdateState' threw an exception";
    return {"main",
            "OpenJavaVM",
            "JAVA_OPTIONS: -Dovix.config=/app/ovix.properties",
            "JAVA_CLASSPATH:" + ConfigJar("throwing"),
            "ChangeStdErr",
            "GetVersion",
            version,
            "GetVersion",
            version,
            "GetVersion",
            version,
            "GetReleaseCandidate",
            "GetCreatedAt",
            "GetBootFlag",
            flag,
            "GetAppFlag",
            flag};
}

// The lines of the stack traces of one throwing run.
Strings JavaLines() {
    const std::string version =
        "\tat com.vantor.ovix.config.ConfigOvix.getFirmwareVersion(ConfigOvix.java:6)";
    const std::string flag =
        "\tat com.vantor.ovix.config.ConfigOvix.getUpdateState(ConfigOvix.java:9)";
    return {"java.lang.IllegalStateException: version of image 204 unavailable", version,
            "java.lang.IllegalStateException: version of image 200 unavailable", version,
            "java.lang.IllegalStateException: version of image 201 unavailable", version,
            "java.lang.IllegalStateException: flag of image 200 unavailable",    flag,
            "java.lang.IllegalStateException: flag of image 201 unavailable",    flag};
}

class ConcurrentLogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::filesystem::create_directories(app);
        std::filesystem::create_directories(tmp);
        WriteSampleDevice(app);
    }

    RunResult RunInView(const Strings& command, RunOptions options = {}) {
        Strings argv = {OVIX_ISOLATE, "--app", app, "--tmp", tmp, "--"};
        argv.insert(argv.end(), command.begin(), command.end());
        options.env.push_back("JAVA_OPTIONS=-Dovix.config=/app/ovix.properties");
        return testsupport::Run(argv, options);
    }

    TempDir dir;
    const std::string app = dir / "app";
    const std::string tmp = dir / "tmp";
    const std::string program = std::string(OVIX_BUILD_DIR) + "/updatefirmwareform.cgi";
};

TEST_F(ConcurrentLogTest, TwoHundredRunsLoseAndTearNothing) {
    const int runs = 200;
    // Every fourth run throws; each run leaves its exit status in /tmp.
    const std::string launch =
        "i=0; while [ $i -lt " + std::to_string(runs) +
        " ]; do "
        "if [ $((i % 4)) -eq 0 ]; then jar=\"$2\"; else jar=\"$1\"; fi; "
        "(JAVA_CLASSPATH=\"$jar\" \"$0\" >/dev/null 2>&1; echo $? > /tmp/status.$i) & "
        "i=$((i + 1)); done; wait";
    RunOptions options;
    // Small VMs: 200 of them start at once.
    options.env = {
        "JAVA_TOOL_OPTIONS=-XX:+UseSerialGC -XX:TieredStopAtLevel=1 -XX:-UsePerfData -Xmx32m"};
    options.timeoutSeconds = 110;
    RunResult result = RunInView(
        {"/bin/sh", "-c", launch, program, ConfigJar(""), ConfigJar("throwing")}, options);
    ASSERT_FALSE(result.timedOut);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    for (int i = 0; i < runs; ++i)
        EXPECT_EQ(ReadFile(tmp + "/status." + std::to_string(i)), "0\n") << "run " << i;

    const std::string log = ReadFile(tmp + "/cgi.log");
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), '\n');
    const Strings java = JavaLines();
    std::map<std::string, int> javaCounts;
    std::map<int, Strings> records;  // per process id
    size_t lines = 0;
    for (const auto& text : SplitLines(log)) {
        ++lines;
        LogLine line;
        if (ParseLogLine(text, line)) {
            records[line.pid].push_back(line.message);
        } else if (std::find(java.begin(), java.end(), text) != java.end()) {
            ++javaCounts[text];
        } else {
            ADD_FAILURE() << "torn or merged line: " << text;
        }
    }
    const int throwing = runs / 4;
    std::cout << "[ figures  ] " << runs << " runs in " << result.seconds << " s, " << lines
              << " log lines\n";
    EXPECT_EQ(records.size(), static_cast<size_t>(runs));
    int throwingSeen = 0;
    for (const auto& [pid, messages] : records) {
        const bool throws =
            messages.size() > 3 && messages[3] == "JAVA_CLASSPATH:" + ConfigJar("throwing");
        throwingSeen += throws ? 1 : 0;
        EXPECT_EQ(messages, throws ? ThrowingRecords() : PlainRecords()) << "process " << pid;
    }
    EXPECT_EQ(throwingSeen, throwing);
    for (const auto& text : std::set<std::string>(java.begin(), java.end())) {
        const int each = static_cast<int>(std::count(java.begin(), java.end(), text));
        EXPECT_EQ(javaCounts[text], each * throwing) << text;
    }
    EXPECT_EQ(lines, (runs - throwing) * PlainRecords().size() +
                         throwing * (ThrowingRecords().size() + java.size()));
}

// Decodes a string as strace -xx writes it: "\x41\x42...".
std::string Unhex(const std::string& quoted) {
    std::string bytes;
    for (size_t at = 0; at + 3 < quoted.size(); at += 4)
        bytes.push_back(static_cast<char>(std::stoi(quoted.substr(at + 2, 2), nullptr, 16)));
    return bytes;
}

// Under strace: every line of the log, the program's records and the Java
// lines alike, is one write(2) of exactly that line on a descriptor of
// /tmp/cgi.log that was opened with O_APPEND.
TEST_F(ConcurrentLogTest, EachLineIsOneWriteOnAnAppendDescriptor) {
    RunOptions options;
    options.env = {"JAVA_CLASSPATH=" + ConfigJar("throwing")};
    RunResult result = RunInView({"strace", "-f", "-qq", "-xx", "-s", "65536", "-e",
                                  "trace=openat,close,write", "-o", "/tmp/trace", program},
                                 options);
    ASSERT_EQ(result.exitCode, 0) << result.err;

    // Joins calls that strace split when threads interleaved.
    std::map<std::string, std::string> pending;  // per thread id
    Strings calls;
    for (const auto& text : SplitLines(ReadFile(tmp + "/trace"))) {
        const std::string tid = text.substr(0, text.find(' '));
        const std::string rest = text.substr(text.find_first_not_of(' ', tid.size()));
        if (rest.size() > 16 && rest.compare(rest.size() - 16, 16, "<unfinished ...>") == 0) {
            pending[tid] = rest.substr(0, rest.size() - 16);
        } else if (rest.rfind("<... ", 0) == 0) {
            calls.push_back(pending[tid] + rest.substr(rest.find("resumed>") + 8));
        } else {
            calls.push_back(rest);
        }
    }
    const std::string logName = "\"" + [] {
        std::string hex;
        char digits[5];
        for (unsigned char c : std::string("/tmp/cgi.log")) {
            std::snprintf(digits, sizeof digits, "\\x%02x", c);
            hex += digits;
        }
        return hex;
    }() + "\"";
    std::set<std::string> logFds;
    Strings written;
    for (const auto& call : calls) {
        const auto returned = call.substr(call.rfind("= ") + 2);
        if (call.rfind("openat(", 0) == 0 && call.find(logName) != std::string::npos) {
            EXPECT_NE(call.find("O_APPEND"), std::string::npos) << call;
            logFds.insert(returned.substr(0, returned.find(' ')));
        } else if (call.rfind("close(", 0) == 0) {
            logFds.erase(call.substr(6, call.find(')') - 6));
        } else if (call.rfind("write(", 0) == 0 &&
                   logFds.count(call.substr(6, call.find(',') - 6)) != 0) {
            const auto open = call.find('"'), close = call.find('"', open + 1);
            const std::string bytes = Unhex(call.substr(open + 1, close - open - 1));
            EXPECT_EQ(returned.substr(0, returned.find(' ')), std::to_string(bytes.size())) << call;
            ASSERT_FALSE(bytes.empty());
            EXPECT_EQ(bytes.back(), '\n') << bytes;
            EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\n'), 1) << bytes;
            written.push_back(bytes.substr(0, bytes.size() - 1));
        }
    }
    EXPECT_EQ(logFds.size(), 2u);  // the program's own and the VM's System.err
    std::cout << "[ figures  ] " << written.size() << " writes on /tmp/cgi.log\n";
    EXPECT_EQ(written, SplitLines(ReadFile(tmp + "/cgi.log")));
    EXPECT_EQ(written.size(), ThrowingRecords().size() + JavaLines().size());
}

}  // namespace
