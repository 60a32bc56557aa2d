#include <gtest/gtest.h>

#include "OvixHtml.h"
#include "TestSupport.h"

using namespace testsupport;

namespace {

std::string FramePage(const std::string& title) {
    CaptureStdout capture;
    { OvixHtml frame(title); }
    return capture.Text();
}

TEST(OvixHtml, FrameCreatedAndDestroyedIsACompleteResponse) {
    EXPECT_TRUE(MatchesGolden(FramePage("Update Firmware"), DataPath("frame/frame.html")));
}

TEST(OvixHtml, EmptyTitleLeavesOutTheSeparator) {
    std::string page = FramePage("");
    EXPECT_NE(page.find("<title>OVIX Web Server</title>\n"), std::string::npos) << page;
}

TEST(OvixHtml, TitleIsWrittenUnescaped) {
    std::string page = FramePage("A & <b>B</b>");
    EXPECT_NE(page.find("<title>OVIX Web Server - A & <b>B</b></title>\n"), std::string::npos)
        << page;
}

TEST(OvixHtml, MessageBodyKeepsParagraphAndBackFormOnOneLine) {
    CaptureStdout capture;
    {
        OvixHtml frame("Reboot");
        frame.PrintMessageBody("Reboot", "Reboot OVIX", "reboot.cgi",
                               "Device <b>busy</b> & locked");
    }
    EXPECT_TRUE(MatchesGolden(capture.Text(), DataPath("frame/message.html")));
}

TEST(OvixHtml, EmptyMessageGivesAnEmptyWarningParagraph) {
    CaptureStdout capture;
    {
        OvixHtml frame("x");
        frame.PrintMessageBody("H", "L", "u.cgi", "");
    }
    EXPECT_NE(capture.Text().find("<p class=\"warn\" ></p><form action=\"u.cgi\" >"),
              std::string::npos)
        << capture.Text();
}

}  // namespace
