// The external entity loader that the client installs: whatever a parse asks
// for, no file is opened and nothing is fetched.
#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <memory>

#include "QuorManipulator.h"
#include "SimulatorFixture.h"

using namespace testsupport;
using namespace quortest;

namespace {

TEST(QuorEntities, ParsesThatAskForExternalEntitiesLoadNothing) {
    WriteFile("/tmp/secret.txt", "SECRET");
    WriteFile("/tmp/secret.dtd", "<!ENTITY inner 'SECRET'>");
    OpenWatch watch({"/tmp/secret.txt", "/tmp/secret.dtd"});
    ASSERT_TRUE(watch.Watching());
    QuorManipulator quor;
    const std::string reply = QuorData("xxe-reply.xml");
    // Substitution, the external subset and validation all asked for.
    XmlDoc doc(xmlReadMemory(reply.data(), static_cast<int>(reply.size()), "noname.xml", nullptr,
                             XML_PARSE_NOENT | XML_PARSE_DTDLOAD | XML_PARSE_DTDVALID |
                                 XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
    // The entity that could not be loaded may make the document invalid.
    if (doc) {
        xmlChar* text = xmlNodeGetContent(xmlDocGetRootElement(doc.get()));
        const std::string content = text != nullptr ? reinterpret_cast<const char*>(text) : "";
        xmlFree(text);
        EXPECT_EQ(content.find("SECRET"), std::string::npos);
    }
    EXPECT_FALSE(watch.Opened());
    auto errors = Messages("ERROR");
    EXPECT_NE(
        std::find(errors.begin(), errors.end(), "External entity refused: file:///tmp/secret.dtd"),
        errors.end());
    EXPECT_NE(
        std::find(errors.begin(), errors.end(), "External entity refused: file:///tmp/secret.txt"),
        errors.end());
}

}  // namespace
