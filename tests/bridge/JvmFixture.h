#ifndef OVIX_TESTS_JVMFIXTURE_H
#define OVIX_TESTS_JVMFIXTURE_H

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "CgiLogHandler.h"
#include "TestSupport.h"

// For cases that start a Java VM in the test process (isolated: /tmp is
// private). Records the log events, and captures standard output and error;
// when the case runs with the VM's JNI checks, none of them, nor the log
// file, may hold a JNI warning.
class JvmTest : public ::testing::Test {
  protected:
    void SetUp() override {
        GetCgiLogHandler();
        recorder = std::make_unique<testsupport::EventRecorder>();
        out = std::make_unique<testsupport::CaptureFd>(1);
        err = std::make_unique<testsupport::CaptureFd>(2);
        unsetenv("JAVA_OPTIONS");
        unsetenv("JAVA_CLASSPATH");
    }

    void TearDown() override {
        std::string stdoutText = out->Text(), stderrText = err->Text();
        out.reset();
        err.reset();
        if (std::getenv("OVIX_CHECK_JNI") != nullptr) {
            for (const std::string& text :
                 {stdoutText, stderrText, testsupport::ReadFile("/tmp/cgi.log")}) {
                EXPECT_EQ(text.find("WARNING"), std::string::npos) << text;
                EXPECT_EQ(text.find("FATAL ERROR"), std::string::npos) << text;
            }
        }
    }

    // Messages logged so far, in order.
    std::vector<std::string> Messages() const { return recorder->Messages(); }
    bool Logged(const std::string& message) const {
        for (const auto& m : Messages())
            if (m == message) return true;
        return false;
    }
    std::string LogFile() const { return testsupport::ReadFile("/tmp/cgi.log"); }
    std::string Stdout() const { return out->Text(); }

    std::unique_ptr<testsupport::EventRecorder> recorder;
    std::unique_ptr<testsupport::CaptureFd> out, err;
};

#endif
