// One Java VM per row, each its own process (CTest case) in the isolated view: /tmp/cgi.log
// is the row's own. CTest fails a case on a report of the JNI checks.
#include <sys/stat.h>

#include <regex>

#include "CgiLogHandler.h"
#include "JavaVmWrapper.h"
#include "TestSupport.h"

namespace {

// Each row starts the VM from JAVA_OPTIONS and JAVA_CLASSPATH. Without calls: the wrapper's
// state, the log without Java stack frames, the options and class path the VM reports and
// the VMs left. With calls: each call's result and what it adds to the log (a failure is
// cleared for the next). Compared with tests/data/bridge/<name>.txt.
struct Row {
    const char* name;
    const char* options;  // JAVA_OPTIONS; null: unset
    const char* jar;      // JAVA_CLASSPATH: the jar of this class variant; "": empty; null: unset
    bool logIsDirectory;  // the Java side cannot open /tmp/cgi.log
    std::vector<std::string> calls;  // "text NAME", "int NAME" (CallFunction), "lan" or "wlan"
};

// The test environment's own tool options, as the VM lists them: the JNI
// checks, and under emulation the interpreter only.
const std::regex kToolOptions("\\[-Xcheck:jni\\]|\\[-Xint\\]");

// clang-format off
const Row kRows[] = {
    {"OptionsUnset", nullptr, "texts", false, {}},
    {"OptionsEmpty", "", "texts", false, {}},
    {"OptionsBlankSeparatedAreOne", "-Dovix.option=a -Xmx64m", "texts", false, {}},
    {"OptionsRefused", "-Xms64m -Xmx32m", "texts", false, {}},
    {"ClassPathUnset", nullptr, nullptr, false, {}},
    {"ClassPathEmpty", "-Dovix.config=/app/none", "", false, {}},
    {"LogFileTheVmCannotOpen", nullptr, "texts", true, {}},
    // The VM is destroyed only after its threads that are not daemons.
    {"NonDaemonThread", "-Dovix.worker.millis=500", "nondaemon", false, {}},
    {"nofirmwareversion", nullptr, "nofirmwareversion", false, {"wlan", "lan"}},
    // a method returning int, one not static, a missing one, then one that fits
    {"wrongsignatures", nullptr, "wrongsignatures", false,
     {"text getLanIp4AddressS", "text getWlanIp4AddressS", "int noSuchMethod", "text getAnswer"}},
    {"throwing", nullptr, "throwing", false, {"int getAnswer", "wlan"}},
    {"texts", nullptr, "texts", false, {"text getLanIp4AddressS", "text getWlanIp4AddressS",
                                        "text getNonAsciiS", "int getAnswer", "int getNegative"}},
};
void PrintTo(const Row& row, std::ostream* out) { *out << row.name; }  // the CTest name
// clang-format on
using Bridge = ::testing::TestWithParam<Row>;

TEST_P(Bridge, StartsAndCalls) {
    const Row& row = GetParam();
    GetCgiLogHandler();  // opens /tmp/cgi.log before the row can move it
    for (const char* name : {"JAVA_OPTIONS", "JAVA_CLASSPATH"}) unsetenv(name);
    std::string logPath = "/tmp/cgi.log";
    const auto log = [&] { return testsupport::ReadFile(logPath); };
    // The digested log from line `from` on, the bridge's own lines as "LEVEL MESSAGE".
    const auto digest = [&](size_t from) {
        std::string text;
        const auto lines = testsupport::SplitLines(testsupport::LogDigest(log()));
        for (size_t i = from; i < lines.size(); ++i)
            text += std::regex_replace(lines[i], std::regex("^(\\S+) cgi src/JavaVmWrapper\\.cpp "),
                                       "$1 ") +
                    "\n";
        return text;
    };
    if (row.options != nullptr) setenv("JAVA_OPTIONS", row.options, 1);
    const std::string classPath = row.jar && *row.jar ? testsupport::ConfigJar(row.jar) : "";
    if (row.jar != nullptr) setenv("JAVA_CLASSPATH", classPath.c_str(), 1);
    if (row.logIsDirectory) {  // the program's own log client keeps the file it opened
        logPath = "/tmp/cgi.log.kept";
        ASSERT_EQ(rename("/tmp/cgi.log", logPath.c_str()), 0);
        ASSERT_EQ(mkdir("/tmp/cgi.log", 0755), 0);
    }
    { JavaVmWrapper unopened; }  // touches no VM: the row's own VM can still start
    const auto set = [](const void* p) { return p ? "set" : "null"; };
    std::string start, reported, calls, options, path;
    {
        JavaVmWrapper wrapper;
        const bool opened = wrapper.OpenJavaVM();
        ASSERT_TRUE(opened || row.calls.empty());
        start = std::string("opened: ") + (opened ? "true" : "false") +
                ", JNI environment: " + set(wrapper.GetJniEnv()) +
                ", configuration class: " + set(wrapper.GetConfigClass()) + "\n";
        if (opened && row.calls.empty() && row.jar && std::string(row.jar) == "texts" &&
            wrapper.CallFunction("getInputArgumentsS", options) &&
            wrapper.CallFunction("getClassPathS", path))
            reported = "VM options: " + std::regex_replace(options, kToolOptions, "") +
                       "\nVM class path: " + (path == classPath ? "JAVA_CLASSPATH" : path) + "\n";
        for (const std::string& call : row.calls) {
            const size_t before = testsupport::SplitLines(log()).size();
            const std::string name = call.substr(call.find(' ') + 1);
            std::string result = "old", found;  // a result not set stays "old" or 5
            int number = 5;
            if (call == "lan" || call == "wlan")
                result = call == "lan" ? wrapper.GetLanIp4Address() : wrapper.GetWlanIp4Address();
            else if (call[0] == 't')
                found = wrapper.CallFunction(name, result) ? "true " : "false ";
            else
                found = wrapper.CallFunction(name, number) ? "true " : "false ";
            if (call[0] == 'i') result = std::to_string(number);
            calls += call + ": " + found + "\"" + result + "\"\n" + digest(before);
        }
    }
    for (const std::string& line : testsupport::SplitLines(digest(0)))
        if (line[0] != '\t') start += line + "\n";
    JavaVM* vms[1];
    jsize count = -1;
    EXPECT_EQ(JNI_GetCreatedJavaVMs(vms, 1, &count), JNI_OK);
    start += reported + "Java VMs left: " + std::to_string(count) + "\n";
    EXPECT_TRUE(testsupport::MatchesGolden(
        row.calls.empty() ? start : calls,
        testsupport::DataPath(std::string("bridge/") + row.name + ".txt")));
    EXPECT_FALSE(std::regex_search(log(), std::regex("WARNING|FATAL ERROR"))) << log();
}

INSTANTIATE_TEST_SUITE_P(Bridge, Bridge, ::testing::ValuesIn(kRows));

TEST(IsIp4Address, AcceptsWhatInetAtonAccepts) {
    for (const char* text : {"192.168.1.10", "0.0.0.0", "255.255.255.255", "127.1", "10.1.2",
                             "0x7f.0.0.1", "010.0.0.1", "3232235786"})
        EXPECT_TRUE(JavaVmWrapper::IsIp4Address(text)) << text;
    for (const char* text :
         {"", "192.168.1.256", "1.2.3.4.5", "a.b.c.d", "1..2.3", "-1.2.3.4", "08.0.0.1", "256.1"})
        EXPECT_FALSE(JavaVmWrapper::IsIp4Address(text)) << text;
}

}  // namespace
