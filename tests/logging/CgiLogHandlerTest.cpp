// Runs in the isolated view: /tmp is private, so /tmp/cgi.log is the test's own.
#include <gtest/gtest.h>

#include "CgiLogHandler.h"
#include "TestSupport.h"

namespace {

TEST(CgiLogHandler, ConnectsOnceRegistersTheLevelsAndTakesJovixEvents) {
    // Nothing is connected before the first call.
    LogFormater(10, "java/Bridge.cpp", 1).Log(Logger::GetLogHandler("JOVIX"), "early");
    LogHandler* handler = GetCgiLogHandler();
    EXPECT_EQ(GetCgiLogHandler(), handler);
    EXPECT_EQ(Logger::GetLogHandler("cgi"), handler);
    for (int level : {10, 20, 30, 40, 50}) CGI_LOG(static_cast<uint32_t>(level), "%d", level);
    LogFormater(20, "java/Bridge.cpp", 7).Log(Logger::GetLogHandler("JOVIX"), "from %s", "JOVIX");
    // One file client: each event once.
    EXPECT_EQ(testsupport::LogDigest(testsupport::ReadFile("/tmp/cgi.log")),
              "DEBUG cgi tests/logging/CgiLogHandlerTest.cpp 10\n"
              "INFO cgi tests/logging/CgiLogHandlerTest.cpp 20\n"
              "WARN cgi tests/logging/CgiLogHandlerTest.cpp 30\n"
              "ERROR cgi tests/logging/CgiLogHandlerTest.cpp 40\n"
              "FATAL cgi tests/logging/CgiLogHandlerTest.cpp 50\n"
              "INFO JOVIX java/Bridge.cpp from JOVIX\n");
}

}  // namespace
