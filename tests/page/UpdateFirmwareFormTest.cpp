// The page's queries and sections that need no Java VM, in the isolated view
// (/app and /tmp are the test's own).
#include <gtest/gtest.h>

#include "CgiLogHandler.h"
#include "TestSupport.h"
#include "UpdateFirmwareForm.h"

using namespace testsupport;

namespace {

TEST(FormatVersion, PadsToSixDigitsAndDotsThePairs) {
    EXPECT_EQ(FormatVersion(0), "00.00.00");
    EXPECT_EQ(FormatVersion(1), "00.00.01");
    EXPECT_EQ(FormatVersion(10203), "01.02.03");
    EXPECT_EQ(FormatVersion(123456), "12.34.56");
    EXPECT_EQ(FormatVersion(1234567), "12.34.567");
    EXPECT_EQ(FormatVersion(2147483647), "21.47.483647");
}

TEST(FormatVersion, EveryValueUpToSixDigitsHasEightCharacters) {
    for (int v = 0; v <= 999999; ++v) {
        std::string text = FormatVersion(v);
        ASSERT_EQ(text.size(), 8u) << v;
        ASSERT_EQ(text[2], '.');
        ASSERT_EQ(text[5], '.');
        ASSERT_EQ(std::stoi(text.substr(0, 2) + text.substr(3, 2) + text.substr(6)), v);
    }
}

TEST(PrintDescription, WritesTheSameSectionEveryTime) {
    std::string first, second;
    {
        CaptureStdout capture;
        PrintDescription();
        first = capture.Text();
    }
    {
        CaptureStdout capture;
        PrintDescription();
        second = capture.Text();
    }
    EXPECT_TRUE(MatchesGolden(first, DataPath("page/description.html")));
    EXPECT_EQ(first, second);
}

TEST(GetReleaseCandidate, LoadsTheFileOnceAndReadsTheKeyEachTime) {
    WriteFile("/app/VERSION", "PRELIMINARY_VERSION=2.7.0-rc1\n");
    EXPECT_EQ(GetReleaseCandidate(), "2.7.0-rc1");
    WriteFile("/app/VERSION", "PRELIMINARY_VERSION=changed\n");
    EXPECT_EQ(GetReleaseCandidate(), "2.7.0-rc1");
}

TEST(GetReleaseCandidate, FileThatIsADirectoryGivesEmptyText) {
    std::filesystem::create_directory("/app/VERSION");
    EXPECT_EQ(GetReleaseCandidate(), "");
}

class GetCreatedAtTest : public ::testing::Test {
  protected:
    void SetUp() override { recorder = std::make_unique<EventRecorder>(); }
    std::unique_ptr<EventRecorder> recorder;
};

TEST_F(GetCreatedAtTest, MissingFileIsLoggedAsError) {
    std::filesystem::remove("/app/BUILDDATE");
    EXPECT_EQ(GetCreatedAt(), "");
    ASSERT_EQ(recorder->events.size(), 2u);
    EXPECT_EQ(recorder->events[0].GetMessage(), "GetCreatedAt");
    EXPECT_EQ(recorder->events[1].GetMessage(), "Cann't open /app/BUILDDATE");
    EXPECT_EQ(recorder->events[1].GetLogLevelName(), "ERROR");
}

TEST_F(GetCreatedAtTest, ReturnsTheFirstLineAsItStands) {
    WriteFile("/app/BUILDDATE", "2026-11-28 14:32:05\r\nline two\n");
    EXPECT_EQ(GetCreatedAt(), "2026-11-28 14:32:05\r");
    WriteFile("/app/BUILDDATE", "\nsecond\n");
    EXPECT_EQ(GetCreatedAt(), "");
    WriteFile("/app/BUILDDATE", std::string("bin\0ary\xff", 8) + "\n");
    EXPECT_EQ(GetCreatedAt(), std::string("bin\0ary\xff", 8));
    EXPECT_EQ(recorder->Messages(), (std::vector<std::string>(3, "GetCreatedAt")));
}

TEST_F(GetCreatedAtTest, ReadsAtMostAShortLineOfAHugeFile) {
    WriteFile("/app/BUILDDATE", std::string(1 << 20, 'x'));
    EXPECT_EQ(GetCreatedAt(), std::string(4096, 'x'));
}

}  // namespace
