// The frame as the page uses it is fixed by every page golden; here what the
// page does not use: the message body and a frame without a title.
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

TEST(OvixHtml, MessageBodyAndEmptyTitle) {
    EXPECT_TRUE(testsupport::MatchesGolden(Frame("Reboot", true),
                                           testsupport::DataPath("frame/message.html")));
    const std::string untitled = Frame("", false);
    EXPECT_NE(untitled.find("<title>OVIX Web Server</title>\n"), std::string::npos) << untitled;
}

}  // namespace
