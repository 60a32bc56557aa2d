// Runs in the isolated view: /tmp is private, so /tmp/cgi.log is the test's own.
#include <gtest/gtest.h>
#include <unistd.h>

#include "CgiLogHandler.h"
#include "TestSupport.h"

using namespace testsupport;

namespace {

std::vector<LogLine> LogLines() {
    std::vector<LogLine> lines;
    for (const auto& text : SplitLines(ReadFile("/tmp/cgi.log"))) {
        LogLine line;
        EXPECT_TRUE(ParseLogLine(text, line)) << text;
        lines.push_back(line);
    }
    return lines;
}

TEST(CgiLogHandler, FirstCallConnectsTheLogFile) {
    ASSERT_FALSE(std::filesystem::exists("/tmp/cgi.log"));
    const int line = __LINE__ + 1;
    CGI_LOG(LevelDebug, "%s", "main");
    auto lines = LogLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].level, "DEBUG");
    EXPECT_EQ(lines[0].label, "cgi");
    EXPECT_EQ(lines[0].pid, getpid());
    EXPECT_EQ(lines[0].file, "tests/logging/CgiLogHandlerTest.cpp");
    EXPECT_EQ(lines[0].line, line);
    EXPECT_EQ(lines[0].message, "main");
}

TEST(CgiLogHandler, LaterCallsAddNothing) {
    LogHandler* first = GetCgiLogHandler();
    LogHandler* second = GetCgiLogHandler();
    EXPECT_EQ(first, second);
    EXPECT_EQ(first, Logger::GetLogHandler("cgi"));
    CGI_LOG(LevelError, "Methode '%s' not found", "getFirmwareVersion");
    auto lines = LogLines();
    ASSERT_EQ(lines.size(), 1u);  // one file client, not one per call
    EXPECT_EQ(lines[0].level, "ERROR");
    EXPECT_EQ(lines[0].message, "Methode 'getFirmwareVersion' not found");
}

TEST(CgiLogHandler, RegistersAllLevelNames) {
    for (uint32_t level : {10u, 20u, 30u, 40u, 50u}) CGI_LOG(level, "%d", static_cast<int>(level));
    auto lines = LogLines();
    ASSERT_EQ(lines.size(), 5u);
    const char* names[] = {"DEBUG", "INFO", "WARN", "ERROR", "FATAL"};
    for (size_t i = 0; i < 5; ++i) EXPECT_EQ(lines[i].level, names[i]);
}

TEST(CgiLogHandler, EventsOfJovixReachTheFileInTheSameFormat) {
    GetCgiLogHandler();
    LogFormater(20, "java/Bridge.cpp", 7).Log(Logger::GetLogHandler("JOVIX"), "from %s", "JOVIX");
    auto lines = LogLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].label, "JOVIX");
    EXPECT_EQ(lines[0].level, "INFO");
    EXPECT_EQ(lines[0].file, "java/Bridge.cpp");
    EXPECT_EQ(lines[0].message, "from JOVIX");
}

TEST(CgiLogHandler, NothingIsConnectedBeforeTheFirstCall) {
    LogFormater(10, "x.cpp", 1).Log(Logger::GetLogHandler("JOVIX"), "early");
    GetCgiLogHandler();
    EXPECT_FALSE(std::filesystem::exists("/tmp/cgi.log") &&
                 ReadFile("/tmp/cgi.log").find("early") != std::string::npos);
}

}  // namespace
