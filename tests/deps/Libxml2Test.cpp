// The libxml2 that the build links (the target's own in a cross build):
// the calls the device-manager client makes, on a reply of its kind.
#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <string>

namespace {

std::string Text(xmlChar* text) {
    std::string copy = text != nullptr ? reinterpret_cast<const char*>(text) : "(null)";
    xmlFree(text);
    return copy;
}

TEST(Libxml2, ReadsAttributesAndContentOfAReplyInMemory) {
    const std::string reply =
        "<?xml version='1.0'?><wddxPacket version='1.0'><header/><data>"
        "<struct><var name='result'><number>-1</number></var>"
        "<var name='text'><string>caf\xc3\xa9 &amp; more</string></var></struct>"
        "</data></wddxPacket>";
    xmlDocPtr doc = xmlReadMemory(reply.data(), static_cast<int>(reply.size()), "reply.xml",
                                  nullptr, XML_PARSE_NONET);
    ASSERT_NE(doc, nullptr);
    xmlNodePtr root = xmlDocGetRootElement(doc);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(root->name)), "wddxPacket");
    EXPECT_EQ(Text(xmlGetProp(root, BAD_CAST "version")), "1.0");
    EXPECT_EQ(Text(xmlGetProp(root, BAD_CAST "missing")), "(null)");
    EXPECT_EQ(Text(xmlNodeGetContent(root)), "-1caf\xc3\xa9 & more");
    xmlFreeDoc(doc);
}

TEST(Libxml2, RejectsABrokenReply) {
    const std::string reply = "<wddxPacket><data></wddxPacket>";
    xmlDocPtr doc = xmlReadMemory(reply.data(), static_cast<int>(reply.size()), "reply.xml",
                                  nullptr, XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    EXPECT_EQ(doc, nullptr);
    xmlFreeDoc(doc);
}

#ifdef OVIX_EXPECT_BOARD
TEST(Libxml2, TargetBuildHasNoNetworkOrCompressionPieces) {
    EXPECT_FALSE(xmlHasFeature(XML_WITH_HTTP));
    EXPECT_FALSE(xmlHasFeature(XML_WITH_FTP));
    EXPECT_FALSE(xmlHasFeature(XML_WITH_ZLIB));
    EXPECT_FALSE(xmlHasFeature(XML_WITH_LZMA));
    EXPECT_FALSE(xmlHasFeature(XML_WITH_ICU));
    EXPECT_TRUE(xmlHasFeature(XML_WITH_TREE));
}
#endif

}  // namespace
