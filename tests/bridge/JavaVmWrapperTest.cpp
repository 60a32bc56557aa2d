// Each row starts its own Java VM: one process per row (CTest case), in the
// isolated view, so /tmp/cgi.log is the row's own. The VM's JNI checks are
// on; CTest fails a case whose output holds one of their reports.
#include <sys/stat.h>

#include <regex>

#include "CgiLogHandler.h"
#include "JavaVmWrapper.h"
#include "TestSupport.h"

namespace {

// ${BUILD} in a row stands for the build folder, as in the log digest.
std::string Expand(std::string text) {
    auto at = text.find("${BUILD}");
    return at == std::string::npos ? text : text.replace(at, 8, OVIX_BUILD_DIR);
}

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
    // own file as "LEVEL MESSAGE"; with recordsOnly the records alone.
    std::string Digest(size_t from, bool recordsOnly) const {
        static const std::regex own("^(\\S+) cgi src/JavaVmWrapper\\.cpp ");
        static const std::regex record("^[A-Z]+ \\S+ \\S+ ");
        std::string digest;
        const auto lines = testsupport::SplitLines(testsupport::LogDigest(Log()));
        for (size_t i = from; i < lines.size(); ++i)
            if (!recordsOnly || std::regex_search(lines[i], record))
                digest += std::regex_replace(lines[i], own, "$1 ") + "\n";
        return digest;
    }
    std::string logPath = "/tmp/cgi.log";
};

// The start of the VM from JAVA_OPTIONS and JAVA_CLASSPATH.
enum Outcome { kOpened, kClassMissing, kRefused };
struct Start {
    const char* name;
    const char* options;    // JAVA_OPTIONS; null: unset
    const char* classPath;  // JAVA_CLASSPATH; null: unset
    bool logIsDirectory;    // the Java side cannot open /tmp/cgi.log
    Outcome outcome;
    const char* vmOptions;  // the options the VM reports but the class path; null: not asked
    const char* records;    // logged by OpenJavaVM after the values of both variables
    const char* javaText;   // written by the Java side into the log by the end
};

const char* const kOpenedRecords = "DEBUG ChangeStdErr\n";
const char* const kClassMissingRecords =
    "DEBUG ChangeStdErr\nERROR Class 'com/vantor/ovix/config/ConfigOvix' not found\n";
const char* const kClassMissingText =
    "java.lang.NoClassDefFoundError: com/vantor/ovix/config/ConfigOvix";

const Start kStarts[] = {
    {"OptionsUnset", nullptr, "${BUILD}/java/configovix-texts.jar", false, kOpened, "",
     kOpenedRecords, ""},
    {"OptionsEmpty", "", "${BUILD}/java/configovix-texts.jar", false, kOpened, "[]", kOpenedRecords,
     ""},
    {"OptionsBlankSeparatedAreOne", "-Dovix.option=a -Xmx64m -Dother=b",
     "${BUILD}/java/configovix-texts.jar", false, kOpened, "[-Dovix.option=a -Xmx64m -Dother=b]",
     kOpenedRecords, ""},
    {"OptionsRefused", "-Xms64m -Xmx32m", "${BUILD}/java/configovix.jar", false, kRefused, nullptr,
     "ERROR Can't create Java VM\n", ""},
    {"ClassPathUnset", nullptr, nullptr, false, kClassMissing, nullptr, kClassMissingRecords,
     kClassMissingText},
    {"ClassPathEmpty", "-Dovix.config=/app/none", "", false, kClassMissing, nullptr,
     kClassMissingRecords, kClassMissingText},
    {"LogFileTheVmCannotOpen", nullptr, "${BUILD}/java/configovix.jar", true, kOpened, nullptr,
     "DEBUG ChangeStdErr\nERROR Can't create output stream\n", ""},
    // The VM is destroyed only after its threads that are not daemons.
    {"NonDaemonThread", "-Dovix.worker.millis=1000", "${BUILD}/java/configovix-nondaemon.jar",
     false, kOpened, nullptr, kOpenedRecords, "worker thread ended"},
};

using StartTest = Bridge<Start>;

TEST_P(StartTest, OpensAndLogs) {
    const Start& row = GetParam();
    if (row.options != nullptr) setenv("JAVA_OPTIONS", row.options, 1);
    if (row.classPath != nullptr) setenv("JAVA_CLASSPATH", Expand(row.classPath).c_str(), 1);
    if (row.logIsDirectory) {  // the program's own log client keeps the file it opened
        logPath = "/tmp/cgi.log.kept";
        ASSERT_EQ(rename("/tmp/cgi.log", logPath.c_str()), 0);
        ASSERT_EQ(mkdir("/tmp/cgi.log", 0755), 0);
    }
    { JavaVmWrapper unopened; }  // touches no VM: the row's own VM can still start
    {
        JavaVmWrapper wrapper;
        EXPECT_EQ(wrapper.OpenJavaVM(), row.outcome == kOpened);
        EXPECT_EQ(wrapper.GetJniEnv() != nullptr, row.outcome != kRefused);
        EXPECT_EQ(wrapper.GetConfigClass() != nullptr, row.outcome == kOpened);
        EXPECT_EQ(Digest(0, true),
                  std::string("DEBUG OpenJavaVM\nDEBUG JAVA_OPTIONS: ") +
                      (row.options ? row.options : "(unset)") + "\nDEBUG JAVA_CLASSPATH:" +
                      (row.classPath ? row.classPath : "(unset)") + "\n" + row.records);
        if (row.vmOptions != nullptr) {
            std::string options, classPath;
            EXPECT_TRUE(wrapper.CallFunction("getInputArgumentsS", options));
            EXPECT_TRUE(wrapper.CallFunction("getClassPathS", classPath));
            EXPECT_EQ(std::regex_replace(options, std::regex("\\[-Xcheck:jni\\]"), ""),
                      row.vmOptions);
            EXPECT_EQ(classPath, Expand(row.classPath));
        }
    }
    JavaVM* vms[1];
    jsize count = -1;
    EXPECT_EQ(JNI_GetCreatedJavaVMs(vms, 1, &count), JNI_OK);
    EXPECT_EQ(count, 0);  // destroyed with the wrapper, or never made
    EXPECT_NE(Log().find(row.javaText), std::string::npos) << Log();
}

INSTANTIATE_TEST_SUITE_P(Bridge, StartTest, ::testing::ValuesIn(kStarts),
                         [](const auto& info) { return info.param.name; });

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
        transcript += call + ": " + found + "\"" + result + "\"\n" + Digest(before, false);
    }
    EXPECT_TRUE(testsupport::MatchesGolden(
        transcript, testsupport::DataPath(std::string("bridge/") + GetParam().variant + ".txt")));
}

INSTANTIATE_TEST_SUITE_P(Bridge, CallTest, ::testing::ValuesIn(kCalls),
                         [](const auto& info) { return std::string(info.param.variant); });

TEST(IsIp4Address, AcceptsWhatInetAtonAccepts) {
    for (const char* text : {"192.168.1.10", "0.0.0.0", "255.255.255.255", "127.1", "10.1.2",
                             "0x7f.0.0.1", "010.0.0.1", "3232235786"})
        EXPECT_TRUE(JavaVmWrapper::IsIp4Address(text)) << text;
    for (const char* text :
         {"", "192.168.1.256", "1.2.3.4.5", "a.b.c.d", "1..2.3", "-1.2.3.4", "08.0.0.1", "256.1"})
        EXPECT_FALSE(JavaVmWrapper::IsIp4Address(text)) << text;
}

}  // namespace
