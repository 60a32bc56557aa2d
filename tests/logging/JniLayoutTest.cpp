#include <gtest/gtest.h>

#include <sstream>

#include "JniLayout.h"

namespace {

std::string Format(const std::string& level, const std::string& file, int line,
                   const std::string& message, const std::string& label = "cgi",
                   int labelNumber = 1234) {
    std::ostringstream out;
    JniLayout().FormatAndAppend(out, LogEvent("2026-12-06 14:03:07.123456", level, file, line,
                                              message, label, labelNumber));
    return out.str();
}

TEST(JniLayout, PadsEachFieldToItsWidth) {
    EXPECT_EQ(Format("DEBUG", "src/JavaVmWrapper.cpp", 42, "OpenJavaVM"),
              "2026-12-06 14:03:07.123456  DEBUG     cgi            1234  "
              "src/JavaVmWrapper.cpp    42    OpenJavaVM\n");
    EXPECT_EQ(Format("INFO", "a.cpp", 1, "m", "JOVIX", 7),
              "2026-12-06 14:03:07.123456  INFO      JOVIX          7     "
              "a.cpp                    1     m\n");
    EXPECT_EQ(Format("ERROR", "a.cpp", 1, "m").substr(28, 10), "ERROR     ");
}

TEST(JniLayout, WritesOverlongValuesWholeWithoutSeparator) {
    // 26 characters: the line number follows directly.
    EXPECT_EQ(Format("DEBUG", "src/UpdateFirmwareForm.cpp", 123, "GetVersion"),
              "2026-12-06 14:03:07.123456  DEBUG     cgi            1234  "
              "src/UpdateFirmwareForm.cpp123   GetVersion\n");
    // A six-digit line number leaves no blank before the message.
    EXPECT_EQ(Format("DEBUG", "a.cpp", 123456, "x"),
              "2026-12-06 14:03:07.123456  DEBUG     cgi            1234  "
              "a.cpp                    123456x\n");
    EXPECT_EQ(Format("A_VERY_LONG_LEVEL", "a.cpp", 1, "x", "a-label-of-20-chars!", 1234567),
              "2026-12-06 14:03:07.123456  A_VERY_LONG_LEVELa-label-of-20-chars!1234567"
              "a.cpp                    1     x\n");
}

TEST(JniLayout, WritesNegativeNumbersWithSign) {
    EXPECT_EQ(Format("DEBUG", "a.cpp", -7, "x", "cgi", -1),
              "2026-12-06 14:03:07.123456  DEBUG     cgi            -1    "
              "a.cpp                    -7    x\n");
}

TEST(JniLayout, KeepsLineBreaksOfTheMessageAndAddsOne) {
    EXPECT_EQ(Format("DEBUG", "src/QuorManipulator.cpp", 10, "Receive:\nHTTP/1.1 200 OK\r\n\n"),
              "2026-12-06 14:03:07.123456  DEBUG     cgi            1234  "
              "src/QuorManipulator.cpp  10    Receive:\nHTTP/1.1 200 OK\r\n\n\n");
    EXPECT_EQ(Format("DEBUG", "a.cpp", 1, ""),
              "2026-12-06 14:03:07.123456  DEBUG     cgi            1234  "
              "a.cpp                    1     \n");
}

TEST(JniLayout, IgnoresAndLeavesStreamInBlankLeftState) {
    std::ostringstream out;
    out << std::setfill('*') << std::right;
    JniLayout().FormatAndAppend(out, LogEvent("D", "DEBUG", "f", 1, "m", "cgi", 2));
    EXPECT_EQ(out.str(), "D  DEBUG     cgi            2     f                        1     m\n");
    EXPECT_EQ(out.fill(), ' ');
    EXPECT_EQ(out.flags() & std::ios::adjustfield, std::ios::left);
}

}  // namespace
