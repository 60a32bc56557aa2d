// The page's version text and build-date line, without a Java VM, in the
// isolated view (/app is the test's own).
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "UpdateFirmwareForm.h"

using namespace testsupport;

TEST(FormatVersion, PadsToSixDigitsAndDotsThePairs) {
    const std::pair<int, const char*> cases[] = {
        {0, "00.00.00"},      {1, "00.00.01"},        {10203, "01.02.03"},
        {123456, "12.34.56"}, {1234567, "12.34.567"}, {2147483647, "21.47.483647"}};
    for (const auto& [version, text] : cases) EXPECT_EQ(FormatVersion(version), text) << version;
}

TEST(GetCreatedAt, FirstLineAsItStandsOfAtMost4096Bytes) {
    const std::pair<std::string, std::string> cases[] = {
        {"2026-11-28 14:32:05\r\nline two\n", "2026-11-28 14:32:05\r"},
        {"\nsecond\n", ""},
        {"", ""},
        {"no line feed", "no line feed"},
        {std::string("bin\0ary\xff\n", 8), std::string("bin\0ary\xff", 8)},
        {std::string(1 << 20, 'x'), std::string(4096, 'x')}};
    for (const auto& [file, line] : cases) {
        WriteFile("/app/BUILDDATE", file);
        EXPECT_EQ(GetCreatedAt(), line) << file.substr(0, 40);
    }
}
