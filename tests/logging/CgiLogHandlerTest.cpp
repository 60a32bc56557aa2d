// Runs in the isolated view: /tmp is private, so /tmp/cgi.log is the test's own.
#include <gtest/gtest.h>
#include <unistd.h>

#include <regex>

#include "CgiLogHandler.h"
#include "TestSupport.h"

namespace {

TEST(CgiLogHandler, ConnectsOnceRegistersTheLevelsAndTakesJovixEvents) {
    // Nothing is connected before the first call.
    LogFormater(10, "java/Bridge.cpp", 1).Log(Logger::GetLogHandler("JOVIX"), "early");
    LogHandler* handler = GetCgiLogHandler();
    EXPECT_EQ(GetCgiLogHandler(), handler);
    EXPECT_EQ(Logger::GetLogHandler("cgi"), handler);
    const int line = __LINE__ + 1;
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
    // The digest leaves them out: the process id and the statement's line.
    EXPECT_TRUE(std::regex_search(
        testsupport::ReadFile("/tmp/cgi.log"),
        std::regex("  DEBUG +cgi +" + std::to_string(getpid()) +
                   " +tests/logging/CgiLogHandlerTest.cpp" + std::to_string(line) + " +10\n")));
}

}  // namespace
