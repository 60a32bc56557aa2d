// What the page golden does not hold: the message body and other titles.
#include "OvixHtml.h"
#include "TestSupport.h"

std::string Frame(const std::string& title, bool withMessage) {
    testing::internal::CaptureStdout();
    {
        OvixHtml frame(title);
        if (withMessage)
            frame.PrintMessageBody("Reboot", "Reboot OVIX", "reboot.cgi",
                                   "Device <b>busy</b> & locked");
    }
    std::cout.flush();
    return testing::internal::GetCapturedStdout();
}

TEST(OvixHtml, MessageBodyAndTitles) {
    EXPECT_TRUE(testsupport::MatchesGolden(Frame("Reboot", true),
                                           testsupport::DataPath("frame/message.html")));
    // The title as it is given, without the separator when empty.
    EXPECT_NE(Frame("", false).find("<title>OVIX Web Server</title>\n"), std::string::npos);
    EXPECT_NE(Frame("A & <b>B</b>", false).find("<title>OVIX Web Server - A & <b>B</b></title>\n"),
              std::string::npos);
}
