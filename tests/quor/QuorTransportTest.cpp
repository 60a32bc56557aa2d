// The exchange of SendToQuor against well-behaved and faulty replies.
#include <gtest/gtest.h>

#include <chrono>

#include "QuorManipulator.h"
#include "SimulatorFixture.h"

using namespace testsupport;
using namespace quortest;

namespace {

const char kAddress[] = "127.0.0.1";
const char kStatus[] = "quorGetDeviceStatus";

class QuorFault : public SimulatorTest, public ::testing::WithParamInterface<const char*> {
  protected:
    QuorFault() { options_.fault = GetParam(); }
};

std::string FaultName(const ::testing::TestParamInfo<const char*>& info) {
    std::string name = info.param;
    for (char& c : name)
        if (c == '-') c = '_';
    return name;
}

QUOR_SIMULATOR_FIXTURE(QuorExchange);

TEST_F(QuorExchange, SuccessReturnsTheBodyAndWritesFourTraceLines) {
    QuorManipulator quor;
    std::string result;
    ASSERT_EQ(quor.SendToQuor(kAddress, kStatus, result), 0);
    const std::string response = Responses().at(0);
    const std::string body = ResponseBody(0);
    EXPECT_EQ(result, body);
    EXPECT_EQ(body.compare(0, 21, "<?xml version='1.0'?>"), 0);

    const auto log = ReadLog();
    ASSERT_EQ(log.size(), 4u);
    const std::string messages[] = {"SendToQuor", "127.0.0.1 quorGetDeviceStatus",
                                    "Receive:\n" + response,
                                    "ConLen: " + std::to_string(body.size())};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(log[i].level, "DEBUG");
        EXPECT_EQ(log[i].file, "src/QuorManipulator.cpp");
        EXPECT_EQ(log[i].message, messages[i]);
    }
}

// Replies whose body arrives whole, however it is cut into pieces.
class QuorWholeBody : public QuorFault {};

TEST_P(QuorWholeBody, ReplyIsTheBodyByteForByte) {
    QuorManipulator quor;
    std::string result;
    ASSERT_EQ(quor.SendToQuor(kAddress, kStatus, result), 0);
    EXPECT_EQ(result, ResponseBody(0));
    EXPECT_TRUE(Messages("ERROR").empty());
    EXPECT_EQ(quor.GetSingleVar("IsAllocated"), "0");
}

INSTANTIATE_TEST_SUITE_P(Pieces, QuorWholeBody, ::testing::Values("chunks", "bytewise"), FaultName);

QUOR_SIMULATOR_FIXTURE(QuorLargeBody, "large");

TEST_F(QuorLargeBody, ReceivesUntilTheContentLengthIsReached) {
    QuorManipulator quor;
    std::string result;
    ASSERT_EQ(quor.SendToQuor(kAddress, kStatus, result), 0);
    const std::string body = ResponseBody(0);
    ASSERT_GT(body.size(), 2u * 4096);
    EXPECT_EQ(result, body);
    const auto debug = Messages("DEBUG");
    ASSERT_EQ(debug.size(), 4u);
    EXPECT_LE(debug[2].size(), std::string("Receive:\n").size() + 4096) << "one receive at most";
    EXPECT_EQ(debug[3], "ConLen: " + std::to_string(body.size()));
}

QUOR_SIMULATOR_FIXTURE(QuorNulBody, "nul");

TEST_F(QuorNulBody, BytesAfterANulAreKept) {
    QuorManipulator quor;
    std::string result;
    ASSERT_EQ(quor.SendToQuor(kAddress, kStatus, result), 0);
    EXPECT_EQ(result, ResponseBody(0));
    EXPECT_NE(result.find(std::string("before\0after", 12)), std::string::npos);
    EXPECT_NE(result.find(std::string("\0end</string>", 13)), std::string::npos);
    // The first chunk's trace ends at the NUL; the reply does not.
    EXPECT_EQ(Messages("DEBUG").at(3), "ConLen: " + std::to_string(result.size()));
}

QUOR_SIMULATOR_FIXTURE(QuorBadLength, "bad-length");

TEST_F(QuorBadLength, LengthThatIsNoNumberCountsAsZero) {
    QuorManipulator quor;
    std::string result;
    ASSERT_EQ(quor.SendToQuor(kAddress, kStatus, result), 0);
    EXPECT_EQ(Messages("DEBUG").at(3), "ConLen: 0");
    // The simulator sends header and body in one piece: the first chunk.
    EXPECT_EQ(result, ResponseBody(0));
}

// Replies without the lower-case header name in the first chunk.
class QuorNoLength : public QuorFault {};

TEST_P(QuorNoLength, FailsAfterTheFirstChunk) {
    QuorManipulator quor;
    std::string result = "untouched";
    EXPECT_EQ(quor.SendToQuor(kAddress, kStatus, result), -1);
    EXPECT_EQ(result, "untouched");
    const auto debug = Messages("DEBUG");
    ASSERT_EQ(debug.size(), 3u);
    EXPECT_EQ(debug[2], "Receive:\n" + Responses().at(0));
    EXPECT_TRUE(Messages("ERROR").empty());
    EXPECT_EQ(quor.GetVarNode("IsAllocated"), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Header, QuorNoLength, ::testing::Values("no-length", "upper-length"),
                         FaultName);

// Replies that end before the counted bytes arrive: the peer closes.
class QuorBodyCutShort : public QuorFault {};

TEST_P(QuorBodyCutShort, EndsWhenThePeerClosesAndKeepsNoPartOfTheBody) {
    QuorManipulator quor;
    std::string result = "untouched";
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(quor.SendToQuor(kAddress, kStatus, result), -1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(result, "untouched");
    EXPECT_EQ(Messages("ERROR"), std::vector<std::string>{"recv connection closed by peer"});
    EXPECT_EQ(quor.GetVarNode("IsAllocated"), nullptr);
}

// dquote-decl: the declaration is not recognised, so counting starts at 0
// and waits for bytes beyond the body.
INSTANTIATE_TEST_SUITE_P(Peer, QuorBodyCutShort, ::testing::Values("close-early", "dquote-decl"),
                         FaultName);

QUOR_SIMULATOR_FIXTURE(QuorSilentPeer, "silent");

TEST_F(QuorSilentPeer, ReceiveIsBounded) {
    QuorManipulator quor;
    quor.SetTimeout(300);
    std::string result = "untouched";
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(quor.SendToQuor(kAddress, kStatus, result), -1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(result, "untouched");
    EXPECT_EQ(Messages("ERROR"), std::vector<std::string>{"recv timed out"});
    // The whole request arrived before the wait.
    EXPECT_TRUE(MatchesGolden(Requests().at(0), DataPath("quor/request-status.txt")));
}

QUOR_SIMULATOR_FIXTURE(QuorResetPeer, "reset");

TEST_F(QuorResetPeer, ConnectionResetIsAFailureNotASignal) {
    QuorManipulator quor;
    std::string result = "untouched";
    for (int i = 0; i < 5; ++i) EXPECT_EQ(quor.SendToQuor(kAddress, kStatus, result), -1);
    EXPECT_EQ(result, "untouched");
    // Depending on when the reset arrives, send or the first receive fails.
    const auto errors = Messages("ERROR");
    ASSERT_EQ(errors.size(), 5u);
    for (const auto& error : errors)
        EXPECT_TRUE(error.rfind("send ", 0) == 0 || error.rfind("recv ", 0) == 0) << error;
}

}  // namespace
