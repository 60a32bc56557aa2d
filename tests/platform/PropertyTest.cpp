#include <gtest/gtest.h>

#include "Property.h"
#include "TestSupport.h"

using namespace testsupport;

namespace {

TEST(PropertyManager, ReadsPropertiesFileSyntax) {
    PropertyManager manager;
    manager.LoadText(
        "# comment=1\n"
        "! also=comment\n"
        "\n"
        "PLAIN=value\n"
        "  SPACED   =   two words  \r\n"
        "COLON: yes\n"
        "EMPTY=\n"
        "NOVALUE\n"
        "=orphan\n"
        "REPEATED=first\n"
        "REPEATED=last\n"
        "URL=http://x/?a=b\n"
        "LAST=without line feed");
    EXPECT_EQ(manager.GetValue("PLAIN"), "value");
    EXPECT_EQ(manager.GetValue("SPACED"), "two words");
    EXPECT_EQ(manager.GetValue("COLON"), "yes");
    EXPECT_EQ(manager.GetValue("EMPTY"), "");
    EXPECT_EQ(manager.GetValue("NOVALUE"), "");
    EXPECT_EQ(manager.GetValue("REPEATED"), "last");
    EXPECT_EQ(manager.GetValue("URL"), "http://x/?a=b");
    EXPECT_EQ(manager.GetValue("LAST"), "without line feed");
    EXPECT_EQ(manager.GetValue("# comment"), "");
    EXPECT_EQ(manager.GetValue("! also"), "");
    EXPECT_EQ(manager.GetValue(""), "");
}

TEST(PropertyManager, DeclaringAKeyKeepsTheLoadedValue) {
    PropertyManager manager;
    manager.LoadText("KEY=loaded\n");
    EXPECT_TRUE(manager.AddProperty("PROPERTY_TYPE_STRING", "KEY", "default"));
    EXPECT_TRUE(manager.AddProperty("PROPERTY_TYPE_STRING", "OTHER", "default"));
    EXPECT_EQ(manager.GetValue("KEY"), "loaded");
    EXPECT_EQ(manager.GetValue("OTHER"), "default");
    EXPECT_FALSE(manager.AddProperty("PROPERTY_TYPE_STRING", " ", "x"));
}

TEST(PropertyManager, UnreadableFilesGiveNoValues) {
    TempDir dir;
    PropertyManager manager;
    EXPECT_FALSE(manager.LoadFile(dir / "missing"));
    manager.LoadFile(dir.Path());  // a directory
    EXPECT_EQ(manager.GetValue("KEY"), "");
    WriteFile(dir / "v", "KEY=1\n");
    EXPECT_TRUE(manager.LoadFile(dir / "v"));
    EXPECT_EQ(manager.GetValue("KEY"), "1");
}

TEST(Property, ManagersAreFoundByName) {
    Property* property = Property::GetInstance();
    EXPECT_EQ(property, Property::GetInstance());
    PropertyManager* manager = property->GetPropertyManager("default");
    EXPECT_EQ(manager, property->GetPropertyManager("default"));
    EXPECT_NE(manager, property->GetPropertyManager("other"));
}

}  // namespace
