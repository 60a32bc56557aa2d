// Reading WDDX variables and the status from the last reply.
#include <gtest/gtest.h>
#include <libxml/tree.h>

#include <chrono>
#include <memory>

#include "QuorManipulator.h"
#include "SimulatorFixture.h"

using namespace testsupport;
using namespace quortest;

namespace {

std::string Packet(const std::string& vars) {
    return "<?xml version='1.0'?>\n<wddxPacket version='1.0'><header/><data><struct>" + vars +
           "</struct></data></wddxPacket>";
}

std::string Var(const std::string& name, const std::string& value) {
    return "<var name=\"" + name + "\"><string>" + value + "</string></var>";
}

std::string Status(const std::string& vars) {
    return "<var name=\"Status\"><struct>" + vars + "</struct></var>";
}

struct XmlFree {
    void operator()(xmlChar* text) const { xmlFree(text); }
};

std::string Content(xmlNodePtr node) {
    std::unique_ptr<xmlChar, XmlFree> text(xmlNodeGetContent(node));
    return text ? reinterpret_cast<const char*>(text.get()) : "";
}

// Serves one body after another through status requests.
class QuorParse : public SimulatorTest {
  protected:
    QuorParse() {
        options_.body =
            Packet(Status(Var("code", "0") + Var("msg", "OK")) + Var("IsAllocated", "0"));
    }

    void Receive(const std::string& body) {
        ServeBody(body);
        std::string result;
        ASSERT_EQ(quor_.SendToQuor("127.0.0.1", "quorGetDeviceStatus", result), 0);
        ASSERT_EQ(result, body);
    }

    QuorManipulator quor_;
    std::string code_ = "unchanged", msg_ = "unchanged";
};

TEST_F(QuorParse, StatusCodeMessageAndVariables) {
    Receive(
        Packet(Status(Var("code", "17") + Var("msg", "Device busy")) + Var("IsAllocated", "1")));
    quor_.GetStatusMessages(code_, msg_);
    EXPECT_EQ(code_, "17");
    EXPECT_EQ(msg_, "Device busy");
    EXPECT_EQ(quor_.GetSingleVar("IsAllocated"), "1");
    xmlNodePtr status = quor_.GetStatusNodeTree();
    ASSERT_NE(status, nullptr);
    EXPECT_STREQ(reinterpret_cast<const char*>(status->name), "var");
    EXPECT_EQ(Content(status), "17Device busy");
}

TEST_F(QuorParse, TraceNamesEachChildOnTheWay) {
    Receive(Packet("\n" + Status(Var("code", "0") + Var("msg", "OK")) + "\n"));
    const size_t before = Messages("DEBUG").size();
    quor_.GetStatusMessages(code_, msg_);
    const auto debug = Messages("DEBUG");
    const std::vector<std::string> trace(debug.begin() + static_cast<long>(before), debug.end());
    EXPECT_EQ(trace, (std::vector<std::string>{"GetStatusMessages", "GetStatusNodeTree",
                                               "GetVarNode Status", "(no name)", "Status", "code",
                                               "msg"}));
    EXPECT_TRUE(Messages("ERROR").empty());
}

TEST_F(QuorParse, MissingVariablesLeaveResultsUnchanged) {
    Receive(Packet(Status(Var("code", "3"))));
    quor_.GetStatusMessages(code_, msg_);
    EXPECT_EQ(code_, "3");
    EXPECT_EQ(msg_, "unchanged");
    EXPECT_EQ(quor_.GetVarNode("IsAllocated"), nullptr);
    EXPECT_EQ(quor_.GetSingleVar("IsAllocated"), "");

    Receive(Packet(Var("IsAllocated", "0")));
    code_ = "unchanged";
    quor_.GetStatusMessages(code_, msg_);
    EXPECT_EQ(code_, "unchanged");
}

TEST_F(QuorParse, NamesMatchExactlyAndTheLastOneWins) {
    Receive(Packet(
        Status(Var("Code", "1") + Var("codes", "2") + Var("msg", "first") + Var("msg", "second"))));
    quor_.GetStatusMessages(code_, msg_);
    EXPECT_EQ(code_, "unchanged");
    EXPECT_EQ(msg_, "second");
    EXPECT_EQ(quor_.GetVarNode("status"), nullptr);
}

TEST_F(QuorParse, VariableWithoutValueIsEmpty) {
    Receive(Packet("<var name=\"Empty\"/>" + Var("Blank", "")));
    EXPECT_NE(quor_.GetVarNode("Empty"), nullptr);
    EXPECT_EQ(quor_.GetSingleVar("Empty"), "");
    EXPECT_EQ(quor_.GetSingleVar("Blank"), "");
}

TEST_F(QuorParse, PacketWithoutDataOrStructHasNoVariables) {
    for (const std::string& body : std::vector<std::string>{
             "<?xml version='1.0'?>\n<wddxPacket version='1.0'><header/></wddxPacket>",
             "<?xml version='1.0'?>\n<wddxPacket version='1.0'><data>" + Var("IsAllocated", "0") +
                 "</data></wddxPacket>"}) {
        Receive(body);
        EXPECT_EQ(quor_.GetVarNode("IsAllocated"), nullptr) << body;
        quor_.GetStatusMessages(code_, msg_);
        EXPECT_EQ(code_, "unchanged");
    }
}

TEST_F(QuorParse, EachCallParsesTheLatestReply) {
    Receive(Packet(Status(Var("code", "0")) + Var("IsAllocated", "0")));
    ASSERT_NE(quor_.GetVarNode("Status"), nullptr);
    // The second call parses again; only its node may be used.
    xmlNodePtr allocated = quor_.GetVarNode("IsAllocated");
    ASSERT_NE(allocated, nullptr);
    EXPECT_EQ(Content(allocated->children), "0");

    Receive(Packet(Var("IsAllocated", "1")));
    EXPECT_EQ(quor_.GetSingleVar("IsAllocated"), "1");
}

TEST_F(QuorParse, FailedExchangeAfterAGoodOneLeavesNothingToRead) {
    Receive(Packet(Status(Var("code", "0")) + Var("IsAllocated", "0")));
    xmlNodePtr earlier = quor_.GetVarNode("IsAllocated");
    ASSERT_NE(earlier, nullptr);

    std::string result = "kept";
    EXPECT_EQ(quor_.SendToQuor("127.0.0.1", "quorUnknown", result), -1);
    EXPECT_EQ(result, "kept");
    EXPECT_EQ(quor_.GetVarNode("IsAllocated"), nullptr);
    EXPECT_EQ(quor_.GetSingleVar("IsAllocated"), "");
    quor_.GetStatusMessages(code_, msg_);
    EXPECT_EQ(code_, "unchanged");
    // Without a new reply the earlier document stays in place.
    EXPECT_EQ(Content(earlier->children), "0");
}

TEST_F(QuorParse, ExternalEntitiesAreNotLoaded) {
    WriteFile("/tmp/secret.txt", "SECRET");
    WriteFile("/tmp/secret.dtd", "<!ENTITY inner 'SECRET'>");
    OpenWatch watch({"/tmp/secret.txt", "/tmp/secret.dtd"});
    ASSERT_TRUE(watch.Watching());
    Receive(QuorData("xxe-reply.xml"));
    EXPECT_EQ(quor_.GetSingleVar("IsAllocated"), "0");
    EXPECT_EQ(quor_.GetSingleVar("DeviceOwner"), "");
    EXPECT_FALSE(watch.Opened());
}

TEST_F(QuorParse, NestedEntityExpansionIsRefused) {
    Receive(QuorData("laughs-reply.xml"));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(quor_.GetVarNode("IsAllocated"), nullptr);
    EXPECT_EQ(quor_.GetSingleVar("DeviceOwner"), "");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

QUOR_SIMULATOR_FIXTURE(QuorNotWellFormed, "not-wellformed");

TEST_F(QuorNotWellFormed, NothingIsFoundAndNothingPrinted) {
    QuorManipulator quor;
    std::string result, code = "unchanged", msg = "unchanged";
    ASSERT_EQ(quor.SendToQuor("127.0.0.1", "quorGetDeviceStatus", result), 0);
    ::testing::internal::CaptureStderr();
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(quor.GetVarNode("IsAllocated"), nullptr);
    EXPECT_EQ(quor.GetSingleVar("IsAllocated"), "");
    quor.GetStatusMessages(code, msg);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(code, "unchanged");
    EXPECT_EQ(msg, "unchanged");
}

QUOR_SIMULATOR_FIXTURE(QuorWhiteSpace, "ws-value");

TEST_F(QuorWhiteSpace, WhiteSpaceBeforeTheValueIsTakenAsTheValue) {
    QuorManipulator quor;
    std::string result, code = "unchanged", msg = "unchanged";
    ASSERT_EQ(quor.SendToQuor("127.0.0.1", "quorGetDeviceStatus", result), 0);
    EXPECT_EQ(quor.GetSingleVar("IsAllocated"), "\n  ");
    quor.GetStatusMessages(code, msg);
    EXPECT_EQ(code, "unchanged");
    EXPECT_EQ(msg, "unchanged");
}

QUOR_SIMULATOR_FIXTURE(QuorSingleQuoted, "isallocated-squote");

TEST_F(QuorSingleQuoted, ParserFindsANameInSingleQuotes) {
    QuorManipulator quor;
    std::string result;
    ASSERT_EQ(quor.SendToQuor("127.0.0.1", "quorGetDeviceStatus", result), 0);
    ASSERT_NE(result.find("<var name='IsAllocated'>"), std::string::npos);
    EXPECT_NE(quor.GetVarNode("IsAllocated"), nullptr);
    EXPECT_EQ(quor.GetSingleVar("IsAllocated"), "0");
}

}  // namespace
