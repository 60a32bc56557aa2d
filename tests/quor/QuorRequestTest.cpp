// Requests of QuorManipulator: packets, the bytes sent for each function,
// argument checks and connection failures.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

#include "QuorManipulator.h"
#include "SimulatorFixture.h"

using namespace testsupport;
using namespace quortest;

namespace {

// Sends a request of its own to the simulator and reads the reply until the
// connection closes.
std::string RawExchange(const std::string& request) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(5302);
    peer.sin_addr.s_addr = inet_addr("127.0.0.1");
    std::string reply;
    if (connect(fd, reinterpret_cast<sockaddr*>(&peer), sizeof peer) == 0 &&
        send(fd, request.data(), request.size(), MSG_NOSIGNAL) ==
            static_cast<ssize_t>(request.size())) {
        char buffer[4096];
        ssize_t n;
        while ((n = recv(fd, buffer, sizeof buffer, 0)) > 0) reply.append(buffer, n);
    }
    close(fd);
    return reply;
}

TEST(QuorPackets, HaveTheirFixedLengthsAndAreWellFormed) {
    QuorManipulator quor;
    const size_t l = std::strlen(kWddxDtd);
    const std::string packets[] = {quor.BuildStatusPacket(), quor.BuildAllocatePacket(),
                                   quor.BuildReleasePacket()};
    EXPECT_EQ(packets[0].size(), 112 + l);
    EXPECT_EQ(packets[1].size(), 312 + l);
    EXPECT_EQ(packets[2].size(), 194 + l);
    for (const auto& packet : packets) {
        EXPECT_EQ(packet.compare(0, 22, "<?xml version='1.0'?>\n"), 0);
        EXPECT_NE(packet.find(std::string("SYSTEM '") + kWddxDtd + "'>\n"), std::string::npos);
        EXPECT_EQ(packet.back(), '>') << "no line feed after </wddxPacket>";
        xmlDocPtr doc = xmlReadMemory(packet.data(), static_cast<int>(packet.size()), "p.xml",
                                      nullptr, XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
        EXPECT_NE(doc, nullptr) << packet;
        xmlFreeDoc(doc);
    }
}

TEST(QuorPackets, NoRequestWithoutAKnownFunction) {
    QuorManipulator quor;
    EXPECT_EQ(quor.BuildRequest(), "");
    EXPECT_EQ(Messages("ERROR"), std::vector<std::string>{"Wrong command"});
}

TEST(QuorConnect, NoServiceListening) {
    QuorManipulator quor;
    std::string result = "untouched";
    EXPECT_EQ(quor.SendToQuor("127.0.0.1", "quorGetDeviceStatus", result), -1);
    EXPECT_EQ(result, "untouched");
    EXPECT_EQ(Messages("ERROR"), std::vector<std::string>{"connect Connection refused"});
    EXPECT_EQ(quor.GetVarNode("IsAllocated"), nullptr);
}

QUOR_SIMULATOR_FIXTURE(QuorBacklogFull, "backlog-full");

TEST_F(QuorBacklogFull, ConnectThatHangsIsBounded) {
    QuorManipulator quor;
    quor.SetTimeout(300);
    std::string result;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(quor.SendToQuor("127.0.0.1", "quorGetDeviceStatus", result), -1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(Messages("ERROR"), std::vector<std::string>{"connect timed out"});
}

QUOR_SIMULATOR_FIXTURE(QuorRequest);

TEST_F(QuorRequest, EachFunctionSendsItsRequestByteForByte) {
    QuorManipulator quor;
    std::string result;
    for (const char* function : {"quorGetDeviceStatus", "quorAllocateDevice", "quorReleaseDevice"})
        EXPECT_EQ(quor.SendToQuor("127.0.0.1", function, result), 0) << function;
    const auto requests = Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_TRUE(MatchesGolden(requests[0], DataPath("quor/request-status.txt")));
    EXPECT_TRUE(MatchesGolden(requests[1], DataPath("quor/request-allocate.txt")));
    EXPECT_TRUE(MatchesGolden(requests[2], DataPath("quor/request-release.txt")));
    EXPECT_TRUE(Messages("ERROR").empty());
}

TEST_F(QuorRequest, UnknownFunctionConnectsAndClosesWithoutSending) {
    QuorManipulator quor;
    std::string result = "untouched";
    EXPECT_EQ(quor.SendToQuor("127.0.0.1", "quorResetDevice", result), -1);
    EXPECT_EQ(quor.SendToQuor("127.0.0.1", "quorgetdevicestatus", result), -1);
    EXPECT_EQ(result, "untouched");
    EXPECT_EQ(Messages("ERROR"), (std::vector<std::string>{"Wrong command", "Wrong command"}));
    WaitForConnections(2);
    EXPECT_EQ(Requests(), (std::vector<std::string>{"", ""})) << "connected, sent nothing, closed";
}

TEST_F(QuorRequest, EmptyAddressOrFunctionFailsBeforeConnecting) {
    QuorManipulator quor;
    std::string result;
    ASSERT_EQ(quor.SendToQuor("127.0.0.1", "quorGetDeviceStatus", result), 0);
    const std::string first = result;
    const size_t linesBefore = ReadLog().size();

    EXPECT_EQ(quor.SendToQuor("", "quorAllocateDevice", result), -1);
    EXPECT_EQ(quor.SendToQuor("127.0.0.1", "", result), -1);
    EXPECT_EQ(result, first);
    const auto log = ReadLog();
    ASSERT_EQ(log.size(), linesBefore + 2);
    EXPECT_EQ(log[linesBefore].message, "SendToQuor");
    EXPECT_EQ(log[linesBefore + 1].message, "SendToQuor");
    // The reply of the earlier exchange is kept.
    EXPECT_EQ(quor.GetSingleVar("IsAllocated"), "0");

    // The simulator serves connections in turn: any connection of the failed
    // calls would be recorded before this one.
    ASSERT_EQ(quor.SendToQuor("127.0.0.1", "quorGetDeviceStatus", result), 0);
    EXPECT_EQ(Requests().size(), 2u);
    EXPECT_EQ(State(), "0");
}

TEST_F(QuorRequest, SimulatorAnswersAnUnknownFunctionWithAnErrorStatus) {
    const std::string reply =
        RawExchange("GET /qUor?FunctionName=quorResetDevice HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    EXPECT_EQ(reply.compare(0, 17, "HTTP/1.1 200 OK\r\n"), 0) << reply;
    EXPECT_NE(reply.find("<var name=\"code\"><string>-1</string></var>"), std::string::npos)
        << reply;
    EXPECT_NE(reply.find("Unknown function"), std::string::npos) << reply;
    EXPECT_EQ(State(), "0");
}

}  // namespace
