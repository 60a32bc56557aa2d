// One Java VM per row, each its own process (CTest case) in the isolated view: /tmp/cgi.log
// is the row's own. CTest fails a case on a report of the JNI checks. Each row is compared
// with tests/data/bridge/<name>.txt, where a record reads "LEVEL @N MESSAGE": N numbers the
// source lines in order of first appearance, so the golden shows which records share a
// line, and the failures of two different steps never do.
#include <sys/stat.h>

#include <map>
#include <regex>

#include "CgiLogHandler.h"
#include "JavaVmWrapper.h"
#include "TestSupport.h"

using namespace testsupport;

namespace {

// A start of the VM from JAVA_OPTIONS and JAVA_CLASSPATH: the wrapper's state, the log
// without Java stack frames, what the VM was given and the VMs left.
struct Start {
    const char* name;
    const char* options;  // JAVA_OPTIONS; null: unset
    const char* jar;      // JAVA_CLASSPATH: the jar of this class variant; "": empty; null: unset
    bool logIsDirectory;  // the Java side cannot open /tmp/cgi.log
    bool askVm;  // once opened, ask the class ("texts") for the VM's options and class path
};

// The test environment's own tool options, as the VM lists them: the JNI
// checks, and under emulation the interpreter only.
const std::regex kToolOptions("\\[-Xcheck:jni\\]|\\[-Xint\\]");

// Calls of an opened wrapper on one class variant, in turn: each call's result and the
// records it adds (a failure is cleared for the next).
// clang-format off
enum Op { Text, Int, Lan, Wlan };  // CallFunction (text, int), GetLan/GetWlanIp4Address
const char* const kOpNames[] = {"text", "int", "lan", "wlan"};
struct Call { Op op; std::string method = ""; };  // method: Text, Int
struct Calls { const char* jar; std::vector<Call> calls; };  // jar: also the golden's name
const Start kStarts[] = {
    {"OptionsUnset", nullptr, "texts", false, true},
    {"OptionsEmpty", "", "texts", false, true},
    {"OptionsBlankSeparatedAreOne", "-Dovix.option=a -Xmx64m", "texts", false, true},
    {"OptionsRefused", "-Xms64m -Xmx32m", "texts", false, false},
    {"ClassPathUnset", nullptr, nullptr, false, false},
    {"ClassPathEmpty", "-Dovix.config=/app/none", "", false, false},
    {"LogFileTheVmCannotOpen", nullptr, "texts", true, true},
    // The VM is destroyed only after its threads that are not daemons.
    {"NonDaemonThread", "-Dovix.worker.millis=500", "nondaemon", false, false},
};
const Calls kCalls[] = {
    {"nofirmwareversion", {{Wlan}, {Lan}}},
    // a method returning int, one not static, a missing one, then one that fits
    {"wrongsignatures", {{Text, "getLanIp4AddressS"}, {Text, "getWlanIp4AddressS"},
                         {Int, "noSuchMethod"}, {Text, "getAnswer"}}},
    {"throwing", {{Int, "getAnswer"}, {Wlan}}},
    {"texts", {{Text, "getLanIp4AddressS"}, {Text, "getWlanIp4AddressS"}, {Text, "getNonAsciiS"},
               {Int, "getAnswer"}, {Int, "getNegative"}}},
};
void PrintTo(const Start& row, std::ostream* out) { *out << row.name; }  // the CTest name
void PrintTo(const Calls& row, std::ostream* out) { *out << row.jar; }
// clang-format on

std::string logPath;

// JAVA_OPTIONS and JAVA_CLASSPATH as the row gives them; the class path.
std::string SetEnvironment(const char* options, const char* jar) {
    GetCgiLogHandler();  // opens /tmp/cgi.log before a row can move it
    logPath = "/tmp/cgi.log";
    for (const char* name : {"JAVA_OPTIONS", "JAVA_CLASSPATH"}) unsetenv(name);
    if (options != nullptr) setenv("JAVA_OPTIONS", options, 1);
    const std::string classPath = jar && *jar ? ConfigJar(jar) : "";
    if (jar != nullptr) setenv("JAVA_CLASSPATH", classPath.c_str(), 1);
    return classPath;
}

// The log from line `from` on, the bridge's records as "LEVEL @N MESSAGE".
std::string Digest(size_t from) {
    static const std::regex record("^(\\S+) cgi src/JavaVmWrapper\\.cpp:(\\d+) ");
    std::map<std::string, size_t> labels;
    std::string text;
    const auto lines = SplitLines(LogDigest(ReadFile(logPath), true));
    for (size_t i = 0; i < lines.size(); ++i) {
        std::smatch m;
        std::string line = lines[i];
        if (std::regex_search(lines[i], m, record)) {
            const size_t label = labels.emplace(m[2], labels.size() + 1).first->second;
            line = m.str(1) + " @" + std::to_string(label) + " " + m.suffix().str();
        }
        if (i >= from) text += line + "\n";
    }
    return text;
}

const std::regex kVmWarning("WARNING|FATAL ERROR");

using StartTest = ::testing::TestWithParam<Start>;

TEST_P(StartTest, OpensAndLogs) {
    const Start& row = GetParam();
    const std::string classPath = SetEnvironment(row.options, row.jar);
    if (row.logIsDirectory) {  // the program's own log client keeps the file it opened
        logPath = "/tmp/cgi.log.kept";
        ASSERT_EQ(rename("/tmp/cgi.log", logPath.c_str()), 0);
        ASSERT_EQ(mkdir("/tmp/cgi.log", 0755), 0);
    }
    { JavaVmWrapper unopened; }  // touches no VM: the row's own VM can still start
    const auto set = [](const void* p) { return p ? "set" : "null"; };
    std::string text, given, options, path;
    {
        JavaVmWrapper wrapper;
        const bool opened = wrapper.OpenJavaVM();
        text = std::string("opened: ") + (opened ? "true" : "false") +
               ", JNI environment: " + set(wrapper.GetJniEnv()) +
               ", configuration class: " + set(wrapper.GetConfigClass()) + "\n";
        if (opened && row.askVm && wrapper.CallFunction("getInputArgumentsS", options) &&
            wrapper.CallFunction("getClassPathS", path))
            given = "VM options: " + std::regex_replace(options, kToolOptions, "") +
                    "\nVM class path: " + (path == classPath ? "JAVA_CLASSPATH" : path) + "\n";
    }
    for (const std::string& line : SplitLines(Digest(0)))
        if (line[0] != '\t') text += line + "\n";
    JavaVM* vms[1];
    jsize count = -1;
    EXPECT_EQ(JNI_GetCreatedJavaVMs(vms, 1, &count), JNI_OK);
    text += given + "Java VMs left: " + std::to_string(count) + "\n";
    EXPECT_TRUE(MatchesGolden(text, DataPath(std::string("bridge/") + row.name + ".txt")));
    EXPECT_FALSE(std::regex_search(ReadFile(logPath), kVmWarning));
}

using CallTest = ::testing::TestWithParam<Calls>;

TEST_P(CallTest, ResultsAndRecords) {
    const Calls& row = GetParam();
    SetEnvironment(nullptr, row.jar);
    std::string text;
    {
        JavaVmWrapper wrapper;
        ASSERT_TRUE(wrapper.OpenJavaVM());
        WriteFile(logPath, "");  // the calls' records only: their labels count from 1
        for (const Call& call : row.calls) {
            const size_t before = SplitLines(ReadFile(logPath)).size();
            std::string result = "old";  // a result not set stays "old" or 5
            int number = 5;
            bool found = true;
            if (call.op == Lan) result = wrapper.GetLanIp4Address();
            if (call.op == Wlan) result = wrapper.GetWlanIp4Address();
            if (call.op == Text) found = wrapper.CallFunction(call.method, result);
            if (call.op == Int) found = wrapper.CallFunction(call.method, number);
            if (call.op == Int) result = std::to_string(number);
            text += kOpNames[call.op] +
                    (call.op <= Int ? " " + call.method + ": " + (found ? "true" : "false") : ":") +
                    " \"" + result + "\"\n" + Digest(before);
        }
    }
    EXPECT_TRUE(MatchesGolden(text, DataPath(std::string("bridge/") + row.jar + ".txt")));
    EXPECT_FALSE(std::regex_search(ReadFile(logPath), kVmWarning));
}

INSTANTIATE_TEST_SUITE_P(Bridge, StartTest, ::testing::ValuesIn(kStarts));
INSTANTIATE_TEST_SUITE_P(Bridge, CallTest, ::testing::ValuesIn(kCalls));

}  // namespace
