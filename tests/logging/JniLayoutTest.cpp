#include <gtest/gtest.h>

#include <sstream>

#include "JniLayout.h"

namespace {

struct Event {
    const char* level;
    const char* label;
    int labelNumber;
    const char* file;
    int line;
    const char* message;
    const char* expected;  // the line the layout appends, after the date and two blanks
};

const Event kEvents[] = {
    {"DEBUG", "cgi", 1234, "src/JavaVmWrapper.cpp", 42, "OpenJavaVM",
     "DEBUG     cgi            1234  src/JavaVmWrapper.cpp    42    OpenJavaVM\n"},
    {"INFO", "JOVIX", 7, "a.cpp", 1, "m",
     "INFO      JOVIX          7     a.cpp                    1     m\n"},
    {"ERROR", "cgi", 1234, "a.cpp", 1, "",
     "ERROR     cgi            1234  a.cpp                    1     \n"},
    // Values as wide as their field or wider are written whole, the next
    // field follows them directly.
    {"DEBUG", "cgi", 1234, "src/UpdateFirmwareForm.cpp", 123, "GetVersion",
     "DEBUG     cgi            1234  src/UpdateFirmwareForm.cpp123   GetVersion\n"},
    {"DEBUG", "cgi", 1234, "a.cpp", 123456, "x",
     "DEBUG     cgi            1234  a.cpp                    123456x\n"},
    {"A_VERY_LONG_LEVEL", "a-label-of-20-chars!", 1234567, "a.cpp", 1, "x",
     "A_VERY_LONG_LEVELa-label-of-20-chars!1234567a.cpp                    1     x\n"},
    {"DEBUG", "cgi", -1, "a.cpp", -7, "x",
     "DEBUG     cgi            -1    a.cpp                    -7    x\n"},
    // Line breaks of the message stay as they are; one more ends the line.
    {"DEBUG", "cgi", 1234, "src/QuorManipulator.cpp", 10, "Receive:\nHTTP/1.1 200 OK\r\n\n",
     "DEBUG     cgi            1234  src/QuorManipulator.cpp  10    Receive:\nHTTP/1.1 200 "
     "OK\r\n\n\n"},
};

TEST(JniLayout, WritesEachEventAsOneLineOfFixedWidthFields) {
    for (const Event& e : kEvents) {
        // The stream's own fill and adjustment must not show, and the layout
        // leaves it filling with blanks on the right.
        std::ostringstream out;
        out << std::setfill('*') << std::right;
        JniLayout().FormatAndAppend(out, LogEvent("2026-12-06 14:03:07.123456", e.level, e.file,
                                                  e.line, e.message, e.label, e.labelNumber));
        EXPECT_EQ(out.str(), std::string("2026-12-06 14:03:07.123456  ") + e.expected);
        EXPECT_EQ(out.fill(), ' ');
        EXPECT_EQ(out.flags() & std::ios::adjustfield, std::ios::left);
    }
}

}  // namespace
