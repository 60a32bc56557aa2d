#include "JniLayout.h"
#include "TestSupport.h"

// Each event as the layout appends it (values wider than their field whole, line breaks kept),
// compared with tests/data/logging/layout.txt.
TEST(JniLayout, WritesEachEventAsOneLineOfFixedWidthFields) {
    const std::string date = "2026-12-06 14:03:07.123456";
    const LogEvent events[] = {
        LogEvent(date, "DEBUG", "src/JavaVmWrapper.cpp", 42, "OpenJavaVM", "cgi", 1234),
        LogEvent(date, "INFO", "a.cpp", 1, "m", "JOVIX", 7),
        LogEvent(date, "ERROR", "a.cpp", 1, "", "cgi", 1234),
        LogEvent(date, "DEBUG", "src/UpdateFirmwareForm.cpp", 123, "GetVersion", "cgi", 1234),
        LogEvent(date, "DEBUG", "a.cpp", 123456, "x", "cgi", 1234),
        LogEvent(date, "A_VERY_LONG_LEVEL", "a.cpp", 1, "x", "a-label-of-20-chars!", 1234567),
        LogEvent(date, "DEBUG", "a.cpp", -7, "x", "cgi", -1),
        LogEvent(date, "DEBUG", "src/QuorManipulator.cpp", 10, "Receive:\nHTTP/1.1 200 OK\r\n\n",
                 "cgi", 1234),
    };
    std::ostringstream out;
    for (const LogEvent& event : events) {
        out << std::setfill('*') << std::right;  // the stream's own settings must not show
        JniLayout().FormatAndAppend(out, event);
        EXPECT_EQ(out.fill(), ' ');  // and it is left filling with blanks on the right
        EXPECT_EQ(out.flags() & std::ios::adjustfield, std::ios::left);
    }
    EXPECT_TRUE(testsupport::MatchesGolden(out.str(), testsupport::DataPath("logging/layout.txt")));
}
