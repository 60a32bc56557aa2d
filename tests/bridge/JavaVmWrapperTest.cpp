// Each row starts its own Java VM: one process per row (CTest case), in the
// isolated view, so /tmp/cgi.log is the row's own. The VM's JNI checks are
// on; CTest fails a case whose output holds one of their reports.
#include <sys/stat.h>

#include <regex>

#include "CgiLogHandler.h"
#include "JavaVmWrapper.h"
#include "TestSupport.h"

namespace {

using testsupport::ReadFile;

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
    std::string Log() const { return ReadFile(logPath); }
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
    size_t LogLines() const { return testsupport::SplitLines(Log()).size(); }
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
    const char* records;    // logged by OpenJavaVM
    const char* javaText;   // written by the Java side to the log by the end
};

const Start kStarts[] = {
    {"OptionsUnset", nullptr, "${BUILD}/java/configovix-texts.jar", false, kOpened, "",
     "DEBUG OpenJavaVM\nDEBUG JAVA_OPTIONS: (unset)\n"
     "DEBUG JAVA_CLASSPATH:${BUILD}/java/configovix-texts.jar\nDEBUG ChangeStdErr\n",
     ""},
    {"OptionsEmpty", "", "${BUILD}/java/configovix-texts.jar", false, kOpened, "[]",
     "DEBUG OpenJavaVM\nDEBUG JAVA_OPTIONS: \n"
     "DEBUG JAVA_CLASSPATH:${BUILD}/java/configovix-texts.jar\nDEBUG ChangeStdErr\n",
     ""},
    {"OptionsBlankSeparatedAreOne", "-Dovix.option=a -Xmx64m -Dother=b",
     "${BUILD}/java/configovix-texts.jar", false, kOpened, "[-Dovix.option=a -Xmx64m -Dother=b]",
     "DEBUG OpenJavaVM\nDEBUG JAVA_OPTIONS: -Dovix.option=a -Xmx64m -Dother=b\n"
     "DEBUG JAVA_CLASSPATH:${BUILD}/java/configovix-texts.jar\nDEBUG ChangeStdErr\n",
     ""},
    {"OptionsRefused", "-Xms64m -Xmx32m", "${BUILD}/java/configovix.jar", false, kRefused, nullptr,
     "DEBUG OpenJavaVM\nDEBUG JAVA_OPTIONS: -Xms64m -Xmx32m\n"
     "DEBUG JAVA_CLASSPATH:${BUILD}/java/configovix.jar\nERROR Can't create Java VM\n",
     ""},
    {"ClassPathUnset", nullptr, nullptr, false, kClassMissing, nullptr,
     "DEBUG OpenJavaVM\nDEBUG JAVA_OPTIONS: (unset)\nDEBUG JAVA_CLASSPATH:(unset)\n"
     "DEBUG ChangeStdErr\nERROR Class 'com/vantor/ovix/config/ConfigOvix' not found\n",
     "java.lang.NoClassDefFoundError: com/vantor/ovix/config/ConfigOvix"},
    {"ClassPathEmpty", "-Dovix.config=/app/none", "", false, kClassMissing, nullptr,
     "DEBUG OpenJavaVM\nDEBUG JAVA_OPTIONS: -Dovix.config=/app/none\nDEBUG JAVA_CLASSPATH:\n"
     "DEBUG ChangeStdErr\nERROR Class 'com/vantor/ovix/config/ConfigOvix' not found\n",
     "java.lang.NoClassDefFoundError: com/vantor/ovix/config/ConfigOvix"},
    {"LogFileTheVmCannotOpen", nullptr, "${BUILD}/java/configovix.jar", true, kOpened, nullptr,
     "DEBUG OpenJavaVM\nDEBUG JAVA_OPTIONS: (unset)\n"
     "DEBUG JAVA_CLASSPATH:${BUILD}/java/configovix.jar\nDEBUG ChangeStdErr\n"
     "ERROR Can't create output stream\n",
     ""},
    // The VM is destroyed only after its threads that are not daemons.
    {"NonDaemonThread", "-Dovix.worker.millis=1000", "${BUILD}/java/configovix-nondaemon.jar",
     false, kOpened, nullptr,
     "DEBUG OpenJavaVM\nDEBUG JAVA_OPTIONS: -Dovix.worker.millis=1000\n"
     "DEBUG JAVA_CLASSPATH:${BUILD}/java/configovix-nondaemon.jar\nDEBUG ChangeStdErr\n",
     "worker thread ended"},
};

void PrintTo(const Start& row, std::ostream* out) {
    *out << row.name;
}

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
        EXPECT_EQ(Digest(0, true), row.records);
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
// one VM: a call after a failed one shows that the failure was cleared.
struct Call {
    const char* variant;  // of the configuration class (tests/bridge/java)
    const char* call;     // "text NAME" or "int NAME" (CallFunction), "lan" or "wlan"
    bool found;           // CallFunction's result
    const char* result;   // the result after the call: "old" and 5 stay when not set
    const char* log;      // what the call adds to the log
};

const Call kCalls[] = {
    {"nofirmwareversion", "wlan", false, "",
     "DEBUG GetWlanIp4Address\n"
     "DEBUG CallFunction getWlanIp4AddressS\n"
     "java.lang.NoSuchMethodError: getWlanIp4AddressS\n"
     "ERROR Methode 'getWlanIp4AddressS' not found\n"},
    {"nofirmwareversion", "lan", true, "192.168.1.10",
     "DEBUG GetLanIp4Address\n"
     "DEBUG CallFunction getLanIp4AddressS\n"},
    {"wrongsignatures", "text getLanIp4AddressS", false, "old",  // returns int
     "DEBUG CallFunction getLanIp4AddressS\n"
     "java.lang.NoSuchMethodError: static "
     "Lcom/vantor/ovix/config/ConfigOvix;.getLanIp4AddressS()Ljava/lang/String;\n"
     "ERROR Methode 'getLanIp4AddressS' not found\n"},
    {"wrongsignatures", "text getWlanIp4AddressS", false, "old",  // not static
     "DEBUG CallFunction getWlanIp4AddressS\n"
     "java.lang.NoSuchMethodError: static "
     "Lcom/vantor/ovix/config/ConfigOvix;.getWlanIp4AddressS()Ljava/lang/String;\n"
     "ERROR Methode 'getWlanIp4AddressS' not found\n"},
    {"wrongsignatures", "int getAnswer", false, "5",  // returns String
     "DEBUG CallFunction getAnswer\n"
     "java.lang.NoSuchMethodError: static Lcom/vantor/ovix/config/ConfigOvix;.getAnswer()I\n"
     "ERROR Methode 'getAnswer' not found\n"},
    {"wrongsignatures", "int noSuchMethod", false, "5",
     "DEBUG CallFunction noSuchMethod\n"
     "java.lang.NoSuchMethodError: noSuchMethod\n"
     "ERROR Methode 'noSuchMethod' not found\n"},
    {"wrongsignatures", "text getAnswer", true, "42", "DEBUG CallFunction getAnswer\n"},
    {"throwing", "int getAnswer", false, "5",
     "DEBUG CallFunction getAnswer\n"
     "java.lang.ArithmeticException: no answer\n"
     "\tat com.vantor.ovix.config.ConfigOvix.getAnswer(ConfigOvix.java:13)\n"
     "ERROR Methode 'getAnswer' threw an exception\n"},
    {"throwing", "text getLanIp4AddressS", false, "old",
     "DEBUG CallFunction getLanIp4AddressS\n"
     "java.lang.IllegalStateException: no LAN\n"
     "\tat com.vantor.ovix.config.ConfigOvix.getLanIp4AddressS(ConfigOvix.java:11)\n"
     "ERROR Methode 'getLanIp4AddressS' threw an exception\n"},
    {"throwing", "wlan", false, "",
     "DEBUG GetWlanIp4Address\n"
     "DEBUG CallFunction getWlanIp4AddressS\n"
     "java.lang.IllegalStateException: no WLAN\n"
     "\tat com.vantor.ovix.config.ConfigOvix.getWlanIp4AddressS(ConfigOvix.java:12)\n"
     "ERROR Methode 'getWlanIp4AddressS' threw an exception\n"},
    {"texts", "text getLanIp4AddressS", false, "old",  // null
     "DEBUG CallFunction getLanIp4AddressS\n"
     "ERROR Methode 'getLanIp4AddressS' returned null\n"},
    {"texts", "text getWlanIp4AddressS", true, "", "DEBUG CallFunction getWlanIp4AddressS\n"},
    // Modified UTF-8: a character beyond the BMP is two encoded surrogates.
    {"texts", "text getNonAsciiS", true, "Z\xc3\xbcrich \xe2\x82\xac \xed\xa0\xb4\xed\xb4\x9e",
     "DEBUG CallFunction getNonAsciiS\n"},
    {"texts", "int getAnswer", true, "42", "DEBUG CallFunction getAnswer\n"},
    {"texts", "int getNegative", true, "-2147483648", "DEBUG CallFunction getNegative\n"},
};

using CallTest = Bridge<const char*>;

TEST_P(CallTest, GivesResultAndLog) {
    setenv("JAVA_CLASSPATH", testsupport::ConfigJar(GetParam()).c_str(), 1);
    JavaVmWrapper wrapper;
    ASSERT_TRUE(wrapper.OpenJavaVM());
    for (const Call& row : kCalls) {
        if (std::string(row.variant) != GetParam()) continue;
        SCOPED_TRACE(row.call);
        const size_t before = LogLines();
        const std::string call = row.call, name = call.substr(call.find(' ') + 1);
        std::string result = "old";
        int number = 5;
        if (call == "lan" || call == "wlan") {
            result = call == "lan" ? wrapper.GetLanIp4Address() : wrapper.GetWlanIp4Address();
        } else if (call.rfind("text ", 0) == 0) {
            EXPECT_EQ(wrapper.CallFunction(name, result), row.found);
        } else {
            EXPECT_EQ(wrapper.CallFunction(name, number), row.found);
            result = std::to_string(number);
        }
        EXPECT_EQ(result, row.result);
        EXPECT_EQ(Digest(before, false), row.log);
    }
}

INSTANTIATE_TEST_SUITE_P(Bridge, CallTest,
                         ::testing::Values("nofirmwareversion", "wrongsignatures", "throwing",
                                           "texts"),
                         [](const auto& info) { return std::string(info.param); });

TEST(IsIp4Address, AcceptsWhatInetAtonAccepts) {
    for (const char* text : {"192.168.1.10", "0.0.0.0", "255.255.255.255", "127.1", "10.1.2",
                             "0x7f.0.0.1", "010.0.0.1", "3232235786"})
        EXPECT_TRUE(JavaVmWrapper::IsIp4Address(text)) << text;
    for (const char* text :
         {"", "192.168.1.256", "1.2.3.4.5", "a.b.c.d", "1..2.3", "-1.2.3.4", "08.0.0.1", "256.1"})
        EXPECT_FALSE(JavaVmWrapper::IsIp4Address(text)) << text;
}

}  // namespace
