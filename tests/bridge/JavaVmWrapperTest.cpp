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

// A start of the VM (tests/data/bridge/starts.table): the wrapper's state, the log without
// Java stack frames, what the VM was given and the VMs left.
struct Start {
    std::string name, options, classPath, log, ask;
    static Columns<Start> Named() {
        return {{"name", &Start::name},
                {"options", &Start::options},
                {"class path", &Start::classPath},
                {"log", &Start::log},
                {"ask", &Start::ask}};
    }
};

// A call of an opened wrapper (tests/data/bridge/calls.table).
struct Call {
    std::string jar, call, method, output;
    static Columns<Call> Named() {
        return {{"jar", &Call::jar},
                {"call", &Call::call},
                {"method", &Call::method},
                {"output", &Call::output}};
    }
};

// The calls of one class variant, in turn; its jar also names the golden.
struct JarCalls {
    std::string jar;
    std::vector<Call> calls;
};
std::vector<JarCalls> ByJar(const std::vector<Call>& rows) {
    std::vector<JarCalls> groups;
    for (const Call& row : rows) {
        if (groups.empty() || groups.back().jar != row.jar) groups.push_back({row.jar, {}});
        groups.back().calls.push_back(row);
    }
    return groups;
}

// The CTest names.
void PrintTo(const Start& row, std::ostream* out) {
    *out << row.name;
}
void PrintTo(const JarCalls& row, std::ostream* out) {
    *out << row.jar;
}

// The test environment's own tool options, as the VM lists them: the JNI
// checks, and under emulation the interpreter only.
const std::regex kToolOptions("\\[-Xcheck:jni\\]|\\[-Xint\\]");

std::string logPath;

// JAVA_OPTIONS and JAVA_CLASSPATH as the row gives them ("(unset)": not set); the class path.
std::string SetEnvironment(const std::string& options, const std::string& jar) {
    GetCgiLogHandler();  // opens /tmp/cgi.log before a row can move it
    logPath = "/tmp/cgi.log";
    for (const char* name : {"JAVA_OPTIONS", "JAVA_CLASSPATH"}) unsetenv(name);
    if (options != "(unset)") setenv("JAVA_OPTIONS", options.c_str(), 1);
    const std::string classPath = jar.empty() || jar == "(unset)" ? "" : ConfigJar(jar);
    if (jar != "(unset)") setenv("JAVA_CLASSPATH", classPath.c_str(), 1);
    return classPath;
}

// The log from line `from` on, the bridge's records as "LEVEL @N MESSAGE".
std::string Digest(size_t from) {
    std::map<std::string, size_t> labels;
    std::string text;
    const auto lines = SplitLines(LogDigest(ReadFile(logPath), true));
    for (size_t i = 0; i < lines.size(); ++i) {
        std::string line = lines[i];
        if (const auto record = RecordOf(line, "src/JavaVmWrapper.cpp")) {
            const size_t label = labels.emplace(record->line, labels.size() + 1).first->second;
            line = record->level + " @" + std::to_string(label) + " " + record->message;
        }
        if (i >= from) text += line + "\n";
    }
    return text;
}

const std::regex kVmWarning("WARNING|FATAL ERROR");

using Starts = ::testing::TestWithParam<Start>;

TEST_P(Starts, Row) {
    const Start& row = GetParam();
    const std::string classPath = SetEnvironment(row.options, row.classPath);
    if (row.log == "directory") {  // the program's own log client keeps the file it opened
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
        if (opened && row.ask == "yes" && wrapper.CallFunction("getInputArgumentsS", options) &&
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
    EXPECT_TRUE(MatchesGolden(text, DataPath("bridge/" + row.name + ".txt")));
    EXPECT_FALSE(std::regex_search(ReadFile(logPath), kVmWarning));
}

using Calls = ::testing::TestWithParam<JarCalls>;

TEST_P(Calls, Row) {
    const JarCalls& row = GetParam();
    SetEnvironment("(unset)", row.jar);
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
            if (call.call == "lan") result = wrapper.GetLanIp4Address();
            if (call.call == "wlan") result = wrapper.GetWlanIp4Address();
            if (call.call == "text") found = wrapper.CallFunction(call.method, result);
            if (call.call == "int") found = wrapper.CallFunction(call.method, number);
            if (call.call == "int") result = std::to_string(number);
            const std::string named = " " + call.method + ": " + (found ? "true" : "false");
            text += call.call + (call.output == "method" ? named : ":") + " \"" + result + "\"\n" +
                    Digest(before);
        }
    }
    EXPECT_TRUE(MatchesGolden(text, DataPath("bridge/" + row.jar + ".txt")));
    EXPECT_FALSE(std::regex_search(ReadFile(logPath), kVmWarning));
}

INSTANTIATE_TEST_SUITE_P(, Starts,
                         ::testing::ValuesIn(ReadTable<Start>(DataPath("bridge/starts.table"))));
INSTANTIATE_TEST_SUITE_P(
    , Calls, ::testing::ValuesIn(ByJar(ReadTable<Call>(DataPath("bridge/calls.table")))));

}  // namespace
