#include <unistd.h>

#include <regex>

#include "CgiLogHandler.h"
#include "TestSupport.h"

TEST(CgiLogHandler, ConnectsOnceRegistersTheLevelsAndTakesJovixEvents) {
    // Nothing is connected before the first call.
    LogFormater(10, "java/Bridge.cpp", 1).Log(Logger::GetLogHandler("JOVIX"), "early");
    for (int call = 0; call < 2; ++call)
        EXPECT_EQ(GetCgiLogHandler(), Logger::GetLogHandler("cgi"));
    const int line = __LINE__ + 1;
    for (int level : {10, 20, 30, 40, 50}) CGI_LOG(static_cast<uint32_t>(level), "%d", level);
    LogFormater(20, "java/Bridge.cpp", 7).Log(Logger::GetLogHandler("JOVIX"), "from %s", "JOVIX");
    const std::string log = testsupport::ReadFile("/tmp/cgi.log");
    // One file client: each event once.
    EXPECT_TRUE(testsupport::MatchesGolden(testsupport::LogDigest(log),
                                           testsupport::DataPath("logging/handler.txt")));
    // What the digest leaves out: the process id and the statement's line.
    EXPECT_TRUE(std::regex_search(log, std::regex("  DEBUG +cgi +" + std::to_string(getpid()) +
                                                  " +tests/logging/CgiLogHandlerTest.cpp" +
                                                  std::to_string(line) + " +10\n")));
}
