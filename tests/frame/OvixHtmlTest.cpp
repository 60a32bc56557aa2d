// The frame as the page uses it is fixed by every page golden; here what the
// page does not use: the message body and other titles.
#include <gtest/gtest.h>

#include <sstream>

#include "OvixHtml.h"
#include "TestSupport.h"

namespace {

std::string Frame(const std::string& title, bool withMessage) {
    std::ostringstream text;
    std::streambuf* old = std::cout.rdbuf(text.rdbuf());
    {
        OvixHtml frame(title);
        if (withMessage)
            frame.PrintMessageBody("Reboot", "Reboot OVIX", "reboot.cgi",
                                   "Device <b>busy</b> & locked");
    }
    std::cout.rdbuf(old);
    return text.str();
}

TEST(OvixHtml, MessageBodyAndTitles) {
    EXPECT_TRUE(testsupport::MatchesGolden(Frame("Reboot", true),
                                           testsupport::DataPath("frame/message.html")));
    // The title as it is given, without the separator when empty.
    for (auto [title, element] :
         {std::pair{"", "<title>OVIX Web Server</title>\n"},
          {"A & <b>B</b>", "<title>OVIX Web Server - A & <b>B</b></title>\n"}})
        EXPECT_NE(Frame(title, false).find(element), std::string::npos) << title;
}

}  // namespace
