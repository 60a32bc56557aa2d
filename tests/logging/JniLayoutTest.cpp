#include <gtest/gtest.h>

#include "JniLayout.h"
#include "TestSupport.h"

namespace {

// Each event as the layout appends it, compared with tests/data/logging/layout.txt.
TEST(JniLayout, WritesEachEventAsOneLineOfFixedWidthFields) {
    const auto event = [](const char* level, const char* label, int number, const char* file,
                          int line, const char* message) {
        return LogEvent("2026-12-06 14:03:07.123456", level, file, line, message, label, number);
    };
    // Values as wide as their field or wider are written whole; line breaks of the message stay.
    const LogEvent events[] = {
        event("DEBUG", "cgi", 1234, "src/JavaVmWrapper.cpp", 42, "OpenJavaVM"),
        event("INFO", "JOVIX", 7, "a.cpp", 1, "m"),
        event("ERROR", "cgi", 1234, "a.cpp", 1, ""),
        event("DEBUG", "cgi", 1234, "src/UpdateFirmwareForm.cpp", 123, "GetVersion"),
        event("DEBUG", "cgi", 1234, "a.cpp", 123456, "x"),
        event("A_VERY_LONG_LEVEL", "a-label-of-20-chars!", 1234567, "a.cpp", 1, "x"),
        event("DEBUG", "cgi", -1, "a.cpp", -7, "x"),
        event("DEBUG", "cgi", 1234, "src/QuorManipulator.cpp", 10,
              "Receive:\nHTTP/1.1 200 OK\r\n\n"),
    };
    std::ostringstream out;
    for (const LogEvent& e : events) {
        out << std::setfill('*') << std::right;  // the stream's own settings must not show
        JniLayout().FormatAndAppend(out, e);
        EXPECT_EQ(out.fill(), ' ');  // and it is left filling with blanks on the right
        EXPECT_EQ(out.flags() & std::ios::adjustfield, std::ios::left);
    }
    EXPECT_TRUE(testsupport::MatchesGolden(out.str(), testsupport::DataPath("logging/layout.txt")));
}

}  // namespace
