// The device-manager client and the tool toggledeviceallocation against the
// peer on 127.0.0.1:5302, as three tables: exchanges, reply parsing, the tool.
// Replies are the files of tests/data/quor/replies; requests and the tool's
// output are compared with the golden files of tests/data/quor.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <regex>

#include "QuorManipulator.h"
#include "QuorPeer.h"
#include "TestSupport.h"

using namespace testsupport;

namespace {

using Names = std::vector<std::string>;

std::string Data(const std::string& name) {
    return DataPath("quor/" + name);
}

std::string Body(const std::string& reply) {
    return reply.substr(reply.find("\r\n\r\n") + 4);
}

// A peer serving those reply files; none when there are none.
std::unique_ptr<QuorPeer> StartPeer(const Names& names, Delivery delivery) {
    if (names.empty()) return nullptr;
    Names replies;
    for (const auto& name : names) replies.push_back(ReadFile(Data("replies/" + name)));
    auto peer = std::make_unique<QuorPeer>(
        replies, delivery, std::chrono::milliseconds(delivery == Delivery::Trickle ? 280 : 1));
    EXPECT_TRUE(peer->Listening());
    peer->Start();
    return peer;
}

// The requests against the golden files request-<name>.txt ("": none sent).
void ExpectRequests(QuorPeer* peer, const Names& expected) {
    const Names requests = peer != nullptr ? peer->Requests(expected.size()) : Names();
    ASSERT_EQ(requests.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const std::string golden = Data("request-" + expected[i] + ".txt");
        EXPECT_TRUE(expected[i].empty() ? requests[i].empty() : MatchesGolden(requests[i], golden));
    }
}

// The log's records of the client, as "LEVEL message".
Names Records() {
    static const std::regex record("(DEBUG|ERROR) cgi src/QuorManipulator\\.cpp (.*)");
    Names records;
    std::smatch parts;
    for (const auto& line : SplitLines(LogDigest(ReadFile("/tmp/cgi.log"))))
        if (std::regex_match(line, parts, record))
            records.push_back(parts[1].str() + " " + parts[2].str());
    return records;
}

void ExpectLog(const char* golden) {
    if (golden == nullptr) return;
    EXPECT_TRUE(MatchesGolden(LogDigest(ReadFile("/tmp/cgi.log")), Data(golden)));
}

const char kAddress[] = "127.0.0.1";
const char kStatus[] = "quorGetDeviceStatus";

struct Exchange {
    const char* name;
    const char* reply;  // "": nothing listens
    Delivery delivery;
    const char* address;
    const char* function;
    int status;               // 0: the result is the reply's body
    const char* isAllocated;  // GetSingleVar afterwards
    const char* lastRecord;   // pattern of the last record, "LEVEL message"
    Names requests;
    const char* log = nullptr;  // golden of the whole log, if any
};

TEST(Quor, Exchanges) {
    const auto W = Delivery::Whole;
    const char* A = kAddress;
    const char* S = kStatus;
    const char* closed = "ERROR recv connection closed by peer";
    // clang-format off
    const Exchange table[] = {
        {"whole", "status-free", W, A, S, 0, "0", "DEBUG ConLen: 324", {"status"}, "exchange.log"},
        {"chunks", "status-free", Delivery::Chunks, A, S, 0, "0", "DEBUG ConLen: 324", {"status"}},
        {"bytewise", "status-free", Delivery::Bytewise, A, S, 0, "0", "DEBUG ConLen: 324", {"status"}},
        {"allocate", "allocate-done", W, A, "quorAllocateDevice", 0, "1", "DEBUG ConLen: 346", {"allocate"}},
        {"release", "release-done", W, A, "quorReleaseDevice", 0, "0", "DEBUG ConLen: 337", {"release"}},
        {"large", "large", W, A, S, 0, "0", "DEBUG ConLen: 6376", {"status"}, "exchange-large.log"},
        {"nul", "nul", W, A, S, 0, "", "DEBUG ConLen: 5374", {"status"}},
        {"bad-length", "bad-length", W, A, S, 0, "0", "DEBUG ConLen: 0", {"status"}},
        {"no-length", "no-length", W, A, S, -1, "", "DEBUG Receive:", {"status"}},
        {"upper-length", "upper-length", W, A, S, -1, "", "DEBUG Receive:", {"status"}},
        {"cut-short", "cut-short", W, A, S, -1, "", closed, {"status"}},
        {"closed", "empty", W, A, S, -1, "", closed, {"status"}},
        {"dquote-decl", "dquote-decl", W, A, S, -1, "", closed, {"status"}},
        {"silent", "status-free", Delivery::Silent, A, S, -1, "", "ERROR recv timed out", {"status"}},
        {"trickle", "trickle", Delivery::Trickle, A, S, -1, "", "ERROR recv deadline passed", {"status"}},
        {"reset", "status-free", Delivery::Reset, A, S, -1, "", "ERROR (send|recv) .+", {}},
        {"backlog-full", "status-free", Delivery::BacklogFull, A, S, -1, "", "ERROR connect timed out", {}},
        {"no-service", "", W, A, S, -1, "", "ERROR connect Connection refused", {}},
        {"unknown-function", "status-free", W, A, "quorResetDevice", -1, "", "ERROR Wrong command", {""}},
        {"function-case", "status-free", W, A, "quorgetdevicestatus", -1, "", "ERROR Wrong command", {""}},
        {"no-address", "status-free", W, "", S, -1, "", "DEBUG SendToQuor", {}},
        {"no-function", "status-free", W, A, "", -1, "", "DEBUG SendToQuor", {}},
    };
    // clang-format on
    for (const auto& row : table) {
        SCOPED_TRACE(row.name);
        WriteFile("/tmp/cgi.log", "");
        auto peer = StartPeer(*row.reply != '\0' ? Names{row.reply} : Names(), row.delivery);
        // Steps of 300 ms at most, a whole exchange of 1.5 s at most.
        QuorManipulator quor(std::chrono::milliseconds(300), std::chrono::milliseconds(1500));
        std::string result = "untouched";
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(quor.SendToQuor(row.address, row.function, result), row.status);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        std::cout << "[ figures  ] " << row.name << ": " << took.count() << " s\n";
        EXPECT_LT(took.count(), 1.6) << "ends by the deadline";
        EXPECT_EQ(result, row.status == 0
                              ? Body(ReadFile(Data(std::string("replies/") + row.reply)))
                              : "untouched");
        const Names records = Records();
        ASSERT_FALSE(records.empty());
        EXPECT_TRUE(std::regex_match(records.back(), std::regex(row.lastRecord))) << records.back();
        ExpectLog(row.log);
        EXPECT_EQ(quor.GetSingleVar("IsAllocated"), row.isAllocated);
        ExpectRequests(peer.get(), row.requests);
    }
}

struct Parse {
    const char* reply;  // "": no exchange (empty address); the earlier reply stays
    const char* isAllocated;
    const char* owner;
    const char* code;  // GetStatusMessages' out-parameters, "unchanged" before
    const char* msg;
    const char* log = nullptr;  // golden of the whole log, if any
};

// One client for all rows: each exchange replaces the reply that is parsed.
TEST(Quor, ParsesTheLastReply) {
    const char* U = "unchanged";
    // clang-format off
    const Parse table[] = {
        {"status-busy", "1", "", "17", "Device busy", "parse.log"},
        {"status-free", "0", "", "0", "OK"},
        {"", "0", "", "0", "OK"},
        {"status-code-only", "", "", "3", U},
        {"status-names", "", "", U, "second"},
        {"no-struct", "", "", U, U},
        {"empty-var", "", "", "0", "OK"},
        {"ws-value", "\n  ", "OVIX_WEB", "0", "OK"},
        {"squote-var", "0", "", "0", "OK"},
        {"no-length", "", "", U, U},
        {"not-wellformed", "", "", U, U},
        {"xxe", "0", "", "0", "OK", "parse-xxe.log"},
        {"nested-entities", "", "", U, U},
    };
    // clang-format on
    WriteFile("/tmp/secret.txt", "SECRET");
    WriteFile("/tmp/secret.dtd", "<!ENTITY inner 'SECRET'>");
    Names script;
    for (const auto& row : table)
        if (*row.reply != '\0') script.push_back(row.reply);
    auto peer = StartPeer(script, Delivery::Whole);
    QuorManipulator quor;
    for (const auto& row : table) {
        SCOPED_TRACE(*row.reply != '\0' ? row.reply : "no exchange");
        WriteFile("/tmp/cgi.log", "");
        std::string result, code = U, msg = U;
        quor.SendToQuor(*row.reply != '\0' ? kAddress : "", kStatus, result);
        EXPECT_EQ(quor.GetSingleVar("IsAllocated"), row.isAllocated);
        EXPECT_EQ(quor.GetSingleVar("DeviceOwner"), row.owner);
        quor.GetStatusMessages(code, msg);
        EXPECT_EQ(code, row.code);
        EXPECT_EQ(msg, row.msg);
        ExpectLog(row.log);
    }
}

struct Tool {
    const char* name;
    Names replies;
    const char* replyFile;  // what is at /tmp/cgirep.txt before: "", "link" or "fifo"
    int exitCode;
    const char* out;  // golden quor/<out>.txt
    Names requests;
    Names errors;  // messages of the ERROR records
};

TEST(Quor, ToggleDeviceAllocation) {
    const Names toAllocate = {"status-free", "allocate-done", "status-allocated"};
    const Names allocate = {"status", "allocate", "status"};
    // clang-format off
    const Tool table[] = {
        {"not-allocated", toAllocate, "", 0, "toggle-not-allocated", allocate, {}},
        {"allocated", {"status-allocated", "release-done", "status-free"}, "", 0, "toggle-allocated", {"status", "release", "status"}, {}},
        {"reply-file-link", toAllocate, "link", 0, "toggle-not-allocated", allocate, {}},
        {"reply-file-fifo", toAllocate, "fifo", 0, "toggle-not-allocated", allocate, {}},
        {"start1", {"squote-var"}, "", 1, "toggle-start1", {"status"}, {}},
        {"end1", {"isallocated-last"}, "", 1, "toggle-end1", {"status"}, {}},
        {"start2", {"boolean"}, "", 1, "toggle-start2", {"status"}, {}},
        {"end2", {"unclosed-string"}, "", 1, "toggle-end2", {"status"}, {}},
        {"no-service", {}, "", 1, "toggle-no-reply", {}, {"connect Connection refused"}},
        {"xxe", {"xxe", "allocate-done", "status-allocated"}, "", 0, "toggle-xxe", allocate, {}},
    };
    // clang-format on
    WriteFile("/tmp/secret.txt", "SECRET");
    WriteFile("/tmp/secret.dtd", "<!ENTITY inner 'SECRET'>");
    for (const auto& row : table) {
        SCOPED_TRACE(row.name);
        WriteFile("/tmp/cgi.log", "");
        std::filesystem::remove("/tmp/cgirep.txt");
        const std::string setUp = row.replyFile;
        if (setUp == "link") {
            WriteFile("/tmp/elsewhere", "keep");
            ASSERT_EQ(symlink("/tmp/elsewhere", "/tmp/cgirep.txt"), 0);
        } else if (setUp == "fifo") {
            ASSERT_EQ(mkfifo("/tmp/cgirep.txt", 0600), 0);
        }
        auto peer = StartPeer(row.replies, Delivery::Whole);
        RunOptions options;
        options.timeoutSeconds = 30;
        const RunResult run = testsupport::Run(
            TargetCommand({std::string(OVIX_BUILD_DIR) + "/toggledeviceallocation"}), options);
        EXPECT_EQ(run.exitCode, row.exitCode);
        EXPECT_TRUE(MatchesGolden(run.out, Data(std::string(row.out) + ".txt")));
        EXPECT_EQ(run.err, "");
        ExpectRequests(peer.get(), row.requests);
        Names errors;
        for (const auto& record : Records())
            if (record.compare(0, 6, "ERROR ") == 0) errors.push_back(record.substr(6));
        EXPECT_EQ(errors, row.errors);
        if (setUp == "link") {
            EXPECT_EQ(ReadFile("/tmp/elsewhere"), "keep");
            EXPECT_TRUE(std::filesystem::is_symlink("/tmp/cgirep.txt"));
        } else if (setUp.empty()) {
            const std::string first =
                row.replies.empty() ? "" : Body(ReadFile(Data("replies/" + row.replies[0])));
            EXPECT_EQ(ReadFile("/tmp/cgirep.txt"), first + "\n");
        }
    }
}

}  // namespace
