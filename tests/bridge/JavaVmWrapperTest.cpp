// Each case starts its own Java VM: one process per case, in the isolated view.
#include <chrono>
#include <climits>
#include <filesystem>

#include "JavaVmWrapper.h"
#include "JvmFixture.h"

using testsupport::ConfigJar;

namespace {

using Strings = std::vector<std::string>;

class JavaVmWrapperTest : public JvmTest {
  protected:
    // The VM's start options as the VM itself reports them, each as
    // "[option]": all but the class path, and without the JNI checks that
    // JAVA_TOOL_OPTIONS adds in the checked runs.
    std::string StartOptions(JavaVmWrapper& wrapper) {
        std::string options;
        EXPECT_TRUE(wrapper.CallFunction("getInputArgumentsS", options));
        auto check = options.find("[-Xcheck:jni]");
        if (check != std::string::npos) options.erase(check, 13);
        return options;
    }
    std::string ClassPath(JavaVmWrapper& wrapper) {
        std::string path;
        EXPECT_TRUE(wrapper.CallFunction("getClassPathS", path));
        return path;
    }
};

TEST_F(JavaVmWrapperTest, OpensAndLogsEachStepInOrder) {
    setenv("JAVA_CLASSPATH", ConfigJar("").c_str(), 1);
    setenv("JAVA_OPTIONS", "-Dovix.config=/app/none", 1);
    {
        JavaVmWrapper wrapper;
        ASSERT_TRUE(wrapper.OpenJavaVM());
        EXPECT_NE(wrapper.GetJniEnv(), nullptr);
        EXPECT_NE(wrapper.GetConfigClass(), nullptr);
    }
    EXPECT_EQ(Messages(), (Strings{"OpenJavaVM", "JAVA_OPTIONS: -Dovix.config=/app/none",
                                   "JAVA_CLASSPATH:" + ConfigJar(""), "ChangeStdErr"}));
    for (const auto& event : recorder->events) {
        EXPECT_EQ(event.GetFileName(), "src/JavaVmWrapper.cpp");
        EXPECT_EQ(event.GetLogLevelName(), "DEBUG");
    }
}

TEST_F(JavaVmWrapperTest, UnsetOptionsGiveOnlyTheClassPath) {
    setenv("JAVA_CLASSPATH", ConfigJar("texts").c_str(), 1);
    JavaVmWrapper wrapper;
    ASSERT_TRUE(wrapper.OpenJavaVM());
    EXPECT_EQ(StartOptions(wrapper), "");
    EXPECT_EQ(ClassPath(wrapper), ConfigJar("texts"));
    EXPECT_TRUE(Logged("JAVA_OPTIONS: (unset)"));
}

TEST_F(JavaVmWrapperTest, EmptyOptionsAreOneEmptyOption) {
    setenv("JAVA_CLASSPATH", ConfigJar("texts").c_str(), 1);
    setenv("JAVA_OPTIONS", "", 1);
    JavaVmWrapper wrapper;
    ASSERT_TRUE(wrapper.OpenJavaVM());
    EXPECT_EQ(StartOptions(wrapper), "[]");
    EXPECT_EQ(ClassPath(wrapper), ConfigJar("texts"));
    EXPECT_TRUE(Logged("JAVA_OPTIONS: "));
}

TEST_F(JavaVmWrapperTest, BlankSeparatedOptionsStayOneOption) {
    setenv("JAVA_CLASSPATH", ConfigJar("texts").c_str(), 1);
    setenv("JAVA_OPTIONS", "-Dovix.option=a -Xmx64m -Dother=b", 1);
    JavaVmWrapper wrapper;
    ASSERT_TRUE(wrapper.OpenJavaVM());
    EXPECT_EQ(StartOptions(wrapper), "[-Dovix.option=a -Xmx64m -Dother=b]");
    std::string value;
    ASSERT_TRUE(wrapper.CallFunction("getPropertyS", value));
    EXPECT_EQ(value, "a -Xmx64m -Dother=b");
}

TEST_F(JavaVmWrapperTest, UnsetClassPathStartsTheVmWithoutTheClass) {
    {
        JavaVmWrapper wrapper;
        EXPECT_FALSE(wrapper.OpenJavaVM());
        EXPECT_NE(wrapper.GetJniEnv(), nullptr);  // the VM runs until the destructor
        EXPECT_EQ(wrapper.GetConfigClass(), nullptr);
    }
    EXPECT_TRUE(Logged("JAVA_CLASSPATH:(unset)"));
    EXPECT_EQ(recorder->events.back().GetMessage(),
              "Class 'com/vantor/ovix/config/ConfigOvix' not found");
    EXPECT_EQ(recorder->events.back().GetLogLevelName(), "ERROR");
    // The class loader's error is described into the log file.
    EXPECT_NE(LogFile().find("java.lang.NoClassDefFoundError: com/vantor/ovix/config/ConfigOvix"),
              std::string::npos)
        << LogFile();
}

TEST_F(JavaVmWrapperTest, EmptyClassPathMissesTheClass) {
    setenv("JAVA_CLASSPATH", "", 1);
    JavaVmWrapper wrapper;
    EXPECT_FALSE(wrapper.OpenJavaVM());
    EXPECT_TRUE(Logged("JAVA_CLASSPATH:"));
    EXPECT_TRUE(Logged("Class 'com/vantor/ovix/config/ConfigOvix' not found"));
}

TEST_F(JavaVmWrapperTest, RefusedVmLeavesNothingToDestroy) {
    setenv("JAVA_CLASSPATH", ConfigJar("").c_str(), 1);
    setenv("JAVA_OPTIONS", "-Xms64m -Xmx32m", 1);  // one option the VM rejects
    {
        JavaVmWrapper wrapper;
        EXPECT_FALSE(wrapper.OpenJavaVM());
        EXPECT_EQ(wrapper.GetJniEnv(), nullptr);
    }
    EXPECT_EQ(recorder->events.back().GetMessage(), "Can't create Java VM");
    EXPECT_EQ(recorder->events.back().GetLogLevelName(), "ERROR");
    EXPECT_FALSE(Logged("ChangeStdErr"));
    JavaVM* vms[1];
    jsize count = -1;
    JNI_GetCreatedJavaVMs(vms, 1, &count);
    EXPECT_EQ(count, 0);
}

TEST_F(JavaVmWrapperTest, UnopenedWrapperTouchesNoVm) {
    { JavaVmWrapper wrapper; }
    JavaVM* vms[1];
    jsize count = -1;
    JNI_GetCreatedJavaVMs(vms, 1, &count);
    EXPECT_EQ(count, 0);
    EXPECT_TRUE(Messages().empty());
}

TEST_F(JavaVmWrapperTest, LogFileTheVmCannotOpenDoesNotFailTheOpen) {
    std::filesystem::remove("/tmp/cgi.log");  // the C++ side keeps its open file
    std::filesystem::create_directory("/tmp/cgi.log");
    setenv("JAVA_CLASSPATH", ConfigJar("").c_str(), 1);
    JavaVmWrapper wrapper;
    EXPECT_TRUE(wrapper.OpenJavaVM());
    EXPECT_EQ(Messages().back(), "Can't create output stream");
    EXPECT_EQ(recorder->events.back().GetLogLevelName(), "ERROR");
}

TEST_F(JavaVmWrapperTest, JavaErrorOutputGoesToTheLogFile) {
    setenv("JAVA_CLASSPATH", ConfigJar("throwing").c_str(), 1);
    {
        JavaVmWrapper wrapper;
        ASSERT_TRUE(wrapper.OpenJavaVM());
        std::string address = "unchanged";
        EXPECT_FALSE(wrapper.CallFunction("getLanIp4AddressS", address));
        EXPECT_EQ(address, "unchanged");
    }
    const std::string log = LogFile();
    EXPECT_NE(log.find("java.lang.IllegalStateException: no LAN"), std::string::npos) << log;
    EXPECT_EQ(Stdout(), "");
}

TEST_F(JavaVmWrapperTest, AddressQueryOfAMissingMethodLogsThreeLines) {
    setenv("JAVA_CLASSPATH", ConfigJar("nofirmwareversion").c_str(), 1);
    JavaVmWrapper wrapper;
    ASSERT_TRUE(wrapper.OpenJavaVM());
    size_t before = recorder->events.size();
    EXPECT_EQ(wrapper.GetWlanIp4Address(), "");
    Strings messages = Messages();
    messages.erase(messages.begin(), messages.begin() + static_cast<long>(before));
    EXPECT_EQ(messages, (Strings{"GetWlanIp4Address", "CallFunction getWlanIp4AddressS",
                                 "Methode 'getWlanIp4AddressS' not found"}));
    EXPECT_EQ(recorder->events.back().GetLogLevelName(), "ERROR");
    EXPECT_EQ(wrapper.GetLanIp4Address(), "192.168.1.10");
}

TEST_F(JavaVmWrapperTest, OtherSignaturesAreNotFound) {
    setenv("JAVA_CLASSPATH", ConfigJar("wrongsignatures").c_str(), 1);
    JavaVmWrapper wrapper;
    ASSERT_TRUE(wrapper.OpenJavaVM());
    std::string text = "old";
    int number = 5;
    EXPECT_FALSE(wrapper.CallFunction("getLanIp4AddressS", text));   // returns int
    EXPECT_FALSE(wrapper.CallFunction("getWlanIp4AddressS", text));  // not static
    EXPECT_FALSE(wrapper.CallFunction("getAnswer", number));         // returns String
    EXPECT_FALSE(wrapper.CallFunction("noSuchMethod", number));
    EXPECT_EQ(text, "old");
    EXPECT_EQ(number, 5);
    EXPECT_TRUE(Logged("Methode 'getAnswer' not found"));
    EXPECT_TRUE(Logged("Methode 'noSuchMethod' not found"));
    // Each failed lookup was reported and cleared: the next call works.
    EXPECT_TRUE(wrapper.CallFunction("getAnswer", text));
    EXPECT_EQ(text, "42");
}

TEST_F(JavaVmWrapperTest, ThrowingMethodsGiveNoResult) {
    setenv("JAVA_CLASSPATH", ConfigJar("throwing").c_str(), 1);
    JavaVmWrapper wrapper;
    ASSERT_TRUE(wrapper.OpenJavaVM());
    int number = 5;
    EXPECT_FALSE(wrapper.CallFunction("getAnswer", number));
    EXPECT_EQ(number, 5);
    EXPECT_EQ(Messages().back(), "Methode 'getAnswer' threw an exception");
    EXPECT_EQ(wrapper.GetWlanIp4Address(), "");
    EXPECT_EQ(Messages().back(), "Methode 'getWlanIp4AddressS' threw an exception");
    EXPECT_NE(LogFile().find("java.lang.ArithmeticException: no answer"), std::string::npos);
}

TEST_F(JavaVmWrapperTest, TextResultsAtTheirEdges) {
    setenv("JAVA_CLASSPATH", ConfigJar("texts").c_str(), 1);
    JavaVmWrapper wrapper;
    ASSERT_TRUE(wrapper.OpenJavaVM());
    std::string text = "old";
    EXPECT_FALSE(wrapper.CallFunction("getLanIp4AddressS", text));  // null
    EXPECT_EQ(text, "old");
    EXPECT_EQ(Messages().back(), "Methode 'getLanIp4AddressS' returned null");
    EXPECT_TRUE(wrapper.CallFunction("getWlanIp4AddressS", text));  // ""
    EXPECT_EQ(text, "");
    // Modified UTF-8: a character beyond the BMP is two encoded surrogates.
    EXPECT_TRUE(wrapper.CallFunction("getNonAsciiS", text));
    EXPECT_EQ(text, "Z\xc3\xbcrich \xe2\x82\xac \xed\xa0\xb4\xed\xb4\x9e");
    int number = 0;
    EXPECT_TRUE(wrapper.CallFunction("getAnswer", number));
    EXPECT_EQ(number, 42);
    EXPECT_TRUE(wrapper.CallFunction("getNegative", number));
    EXPECT_EQ(number, INT_MIN);
}

TEST_F(JavaVmWrapperTest, DestroyWaitsForThreadsThatAreNotDaemons) {
    setenv("JAVA_CLASSPATH", ConfigJar("nondaemon").c_str(), 1);
    setenv("JAVA_OPTIONS", "-Dovix.worker.millis=1000", 1);
    auto start = std::chrono::steady_clock::now();
    {
        JavaVmWrapper wrapper;
        ASSERT_TRUE(wrapper.OpenJavaVM());
    }
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(seconds, 1.0);
    EXPECT_NE(LogFile().find("worker thread ended"), std::string::npos);
}

TEST(IsIp4Address, AcceptsWhatInetAtonAccepts) {
    for (const char* text : {"192.168.1.10", "0.0.0.0", "255.255.255.255", "127.1", "10.1.2",
                             "0x7f.0.0.1", "010.0.0.1", "3232235786"})
        EXPECT_TRUE(JavaVmWrapper::IsIp4Address(text)) << text;
    for (const char* text :
         {"", "192.168.1.256", "1.2.3.4.5", "a.b.c.d", "1..2.3", "-1.2.3.4", "08.0.0.1", "256.1"})
        EXPECT_FALSE(JavaVmWrapper::IsIp4Address(text)) << text;
}

}  // namespace
