// Each row starts its own Java VM: one process per row (CTest case), in the
// isolated view, so /tmp/cgi.log is the row's own. The VM's JNI checks are
// on; CTest fails a case whose output holds one of their reports.
#include <sys/stat.h>

#include <regex>

#include "CgiLogHandler.h"
#include "JavaVmWrapper.h"
#include "TestSupport.h"

namespace {

const std::regex kOwn("^(\\S+) cgi src/JavaVmWrapper\\.cpp ");

template <class Row>
class Bridge : public ::testing::TestWithParam<Row> {
  protected:
    void SetUp() override {
        GetCgiLogHandler();  // opens /tmp/cgi.log before a row can move it
        unsetenv("JAVA_OPTIONS");
        unsetenv("JAVA_CLASSPATH");
    }
    void TearDown() override {
        EXPECT_EQ(Log().find("WARNING"), std::string::npos) << Log();
        EXPECT_EQ(Log().find("FATAL ERROR"), std::string::npos) << Log();
    }
    std::string Log() const { return testsupport::ReadFile(logPath); }
    // The log's lines from line `from` on, digested, those of the bridge's
    // own file as "LEVEL MESSAGE".
    std::string Digest(size_t from) const {
        std::string digest;
        const auto lines = testsupport::SplitLines(testsupport::LogDigest(Log()));
        for (size_t i = from; i < lines.size(); ++i)
            digest += std::regex_replace(lines[i], kOwn, "$1 ") + "\n";
        return digest;
    }
    std::string logPath = "/tmp/cgi.log";
};

// The start of the VM from JAVA_OPTIONS and JAVA_CLASSPATH: the wrapper's
// state, the log without the Java VM's stack frames, the options and class
// path the VM reports (the "texts" variant tells them) and the VMs left
// after the wrapper, compared with tests/data/bridge/<name>.txt.
struct Start {
    const char* name;
    const char* options;  // JAVA_OPTIONS; null: unset
    const char* jar;      // JAVA_CLASSPATH: the jar of this class variant; "": empty; null: unset
    bool logIsDirectory;  // the Java side cannot open /tmp/cgi.log
};

const Start kStarts[] = {
    {"OptionsUnset", nullptr, "texts", false},
    {"OptionsEmpty", "", "texts", false},
    {"OptionsBlankSeparatedAreOne", "-Dovix.option=a -Xmx64m", "texts", false},
    {"OptionsRefused", "-Xms64m -Xmx32m", "texts", false},
    {"ClassPathUnset", nullptr, nullptr, false},
    {"ClassPathEmpty", "-Dovix.config=/app/none", "", false},
    {"LogFileTheVmCannotOpen", nullptr, "texts", true},
    // The VM is destroyed only after its threads that are not daemons.
    {"NonDaemonThread", "-Dovix.worker.millis=500", "nondaemon", false},
};

void PrintTo(const Start& row, std::ostream* out) {
    *out << row.name;
}  // the CTest name

using StartTest = Bridge<Start>;

TEST_P(StartTest, OpensAndLogs) {
    const Start& row = GetParam();
    if (row.options != nullptr) setenv("JAVA_OPTIONS", row.options, 1);
    const std::string classPath = row.jar && *row.jar ? testsupport::ConfigJar(row.jar) : "";
    if (row.jar != nullptr) setenv("JAVA_CLASSPATH", classPath.c_str(), 1);
    if (row.logIsDirectory) {  // the program's own log client keeps the file it opened
        logPath = "/tmp/cgi.log.kept";
        ASSERT_EQ(rename("/tmp/cgi.log", logPath.c_str()), 0);
        ASSERT_EQ(mkdir("/tmp/cgi.log", 0755), 0);
    }
    { JavaVmWrapper unopened; }  // touches no VM: the row's own VM can still start
    std::string transcript, reported;
    {
        JavaVmWrapper wrapper;
        const bool opened = wrapper.OpenJavaVM();
        transcript = std::string("opened: ") + (opened ? "true" : "false") +
                     ", JNI environment: " + (wrapper.GetJniEnv() ? "set" : "null") +
                     ", configuration class: " + (wrapper.GetConfigClass() ? "set" : "null") + "\n";
        std::string options, reportedPath;
        if (opened && row.jar != nullptr && std::string(row.jar) == "texts" &&
            wrapper.CallFunction("getInputArgumentsS", options) &&
            wrapper.CallFunction("getClassPathS", reportedPath))
            reported =
                "VM options: " + std::regex_replace(options, std::regex("\\[-Xcheck:jni\\]"), "") +
                "\nVM class path: " +
                (reportedPath == classPath ? "JAVA_CLASSPATH" : reportedPath) + "\n";
    }
    for (const std::string& line : testsupport::SplitLines(Digest(0)))
        if (line.rfind("\t", 0) != 0) transcript += line + "\n";
    JavaVM* vms[1];
    jsize count = -1;
    EXPECT_EQ(JNI_GetCreatedJavaVMs(vms, 1, &count), JNI_OK);
    transcript += reported + "Java VMs left: " + std::to_string(count) + "\n";
    EXPECT_TRUE(testsupport::MatchesGolden(
        transcript, testsupport::DataPath(std::string("bridge/") + row.name + ".txt")));
}

INSTANTIATE_TEST_SUITE_P(Bridge, StartTest, ::testing::ValuesIn(kStarts));

// Calls of the configuration class's methods, in order, each variant with
// one VM: a call after a failed one shows that the failure was cleared. Each
// call's result and what it adds to the log are compared with
// tests/data/bridge/<variant>.txt.
struct Calls {
    const char* variant;             // of the configuration class (tests/bridge/java)
    std::vector<std::string> calls;  // "text NAME", "int NAME" (CallFunction), "lan" or "wlan"
};

const Calls kCalls[] = {
    {"nofirmwareversion", {"wlan", "lan"}},
    // a method returning int, one not static, a missing one, then one that fits
    {"wrongsignatures",
     {"text getLanIp4AddressS", "text getWlanIp4AddressS", "int noSuchMethod", "text getAnswer"}},
    {"throwing", {"int getAnswer", "wlan"}},
    // null, "", characters beyond ASCII, and numbers
    {"texts",
     {"text getLanIp4AddressS", "text getWlanIp4AddressS", "text getNonAsciiS", "int getAnswer",
      "int getNegative"}},
};

void PrintTo(const Calls& row, std::ostream* out) {
    *out << row.variant;
}  // the CTest name

using CallTest = Bridge<Calls>;

TEST_P(CallTest, GivesResultAndLog) {
    setenv("JAVA_CLASSPATH", testsupport::ConfigJar(GetParam().variant).c_str(), 1);
    JavaVmWrapper wrapper;
    ASSERT_TRUE(wrapper.OpenJavaVM());
    std::string transcript;
    for (const std::string& call : GetParam().calls) {
        const size_t before = testsupport::SplitLines(Log()).size();
        const std::string name = call.substr(call.find(' ') + 1);
        std::string result = "old", found;  // a result not set stays "old" or 5
        int number = 5;
        if (call == "lan" || call == "wlan") {
            result = call == "lan" ? wrapper.GetLanIp4Address() : wrapper.GetWlanIp4Address();
        } else if (call.rfind("text ", 0) == 0) {
            found = wrapper.CallFunction(name, result) ? "true " : "false ";
        } else {
            found = wrapper.CallFunction(name, number) ? "true " : "false ";
            result = std::to_string(number);
        }
        transcript += call + ": " + found + "\"" + result + "\"\n" + Digest(before);
    }
    EXPECT_TRUE(testsupport::MatchesGolden(
        transcript, testsupport::DataPath(std::string("bridge/") + GetParam().variant + ".txt")));
}

INSTANTIATE_TEST_SUITE_P(Bridge, CallTest, ::testing::ValuesIn(kCalls));

TEST(IsIp4Address, AcceptsWhatInetAtonAccepts) {
    for (const char* text : {"192.168.1.10", "0.0.0.0", "255.255.255.255", "127.1", "10.1.2",
                             "0x7f.0.0.1", "010.0.0.1", "3232235786"})
        EXPECT_TRUE(JavaVmWrapper::IsIp4Address(text)) << text;
    for (const char* text :
         {"", "192.168.1.256", "1.2.3.4.5", "a.b.c.d", "1..2.3", "-1.2.3.4", "08.0.0.1", "256.1"})
        EXPECT_FALSE(JavaVmWrapper::IsIp4Address(text)) << text;
}

}  // namespace
