// The device-manager client and the tool toggledeviceallocation against the
// peer on 127.0.0.1:5302, as three tables (tests/data/quor/*.table); replies,
// requests and the tool's output are files there too.
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

const auto Data = [](const std::string& name) { return DataPath("quor/" + name); };

std::string Body(const std::string& reply) {
    const std::string text = ReadFile(Data("replies/" + reply));
    return text.substr(text.find("\r\n\r\n") + 4);
}

// A list cell's items ("a, b" or "a b"), without the blanks around them.
Names Split(const std::string& text, char separator) {
    Names items;
    std::istringstream in(text);
    for (std::string item; std::getline(in, item, separator);)
        items.push_back(std::regex_replace(item, std::regex("^ +| +$"), ""));
    return items;
}

// A text cell: in double quotes, taken without them and with \n as a line end.
std::string Text(const std::string& cell) {
    if (cell.size() < 2 || cell.front() != '"' || cell.back() != '"') return cell;
    return std::regex_replace(cell.substr(1, cell.size() - 2), std::regex("\\\\n"), "\n");
}

struct Exchange {
    std::string name, reply, delivery, address, function, status, allocated, last, requests, log;
    static Columns<Exchange> Named() {
        return {{"name", &Exchange::name},           {"reply", &Exchange::reply},
                {"delivery", &Exchange::delivery},   {"address", &Exchange::address},
                {"function", &Exchange::function},   {"status", &Exchange::status},
                {"allocated", &Exchange::allocated}, {"last", &Exchange::last},
                {"requests", &Exchange::requests},   {"log", &Exchange::log}};
    }
};
struct Parse {
    std::string reply, allocated, owner, code, msg, log;
    static Columns<Parse> Named() {
        return {{"reply", &Parse::reply}, {"allocated", &Parse::allocated},
                {"owner", &Parse::owner}, {"code", &Parse::code},
                {"msg", &Parse::msg},     {"log", &Parse::log}};
    }
};
struct ToolRun {
    std::string name, args, replies, before, status, output, err, requests, errors;
    static Columns<ToolRun> Named() {
        return {{"name", &ToolRun::name},       {"args", &ToolRun::args},
                {"replies", &ToolRun::replies}, {"before", &ToolRun::before},
                {"status", &ToolRun::status},   {"output", &ToolRun::output},
                {"err", &ToolRun::err},         {"requests", &ToolRun::requests},
                {"errors", &ToolRun::errors}};
    }
};
// A row's name in the CTest names.
void PrintTo(const Exchange& row, std::ostream* out) {
    *out << row.name;
}
void PrintTo(const ToolRun& row, std::ostream* out) {
    *out << row.name;
}

// A peer serving those reply files; none when there are none.
std::unique_ptr<QuorPeer> StartPeer(const Names& names, Delivery delivery = Delivery::Whole) {
    if (names.empty()) return nullptr;
    Names replies;
    for (const auto& name : names) replies.push_back(ReadFile(Data("replies/" + name)));
    auto peer = std::make_unique<QuorPeer>(
        replies, delivery, std::chrono::milliseconds(delivery == Delivery::Trickle ? 100 : 1));
    EXPECT_TRUE(peer->Listening());
    return peer;
}

// The requests against the golden files request-<name>.txt.
void ExpectRequests(QuorPeer* peer, const std::string& names) {
    const Names expected = Split(names, ',');
    const Names requests = peer != nullptr ? peer->Requests(expected.size()) : Names();
    ASSERT_EQ(requests.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_TRUE(MatchesGolden(requests[i], Data("request-" + expected[i] + ".txt")));
}

// The log's records of the client at those levels, as "LEVEL message".
Names Records(const std::string& levels) {
    Names records;
    for (const auto& line : SplitLines(LogDigest(ReadFile("/tmp/cgi.log")))) {
        const auto record = RecordOf(line, "src/QuorManipulator.cpp");
        if (record && std::regex_match(record->level, std::regex(levels)))
            records.push_back(record->level + " " + record->message);
    }
    return records;
}

void ExpectLog(const std::string& golden) {
    if (golden.empty()) return;
    EXPECT_TRUE(MatchesGolden(LogDigest(ReadFile("/tmp/cgi.log")), Data(golden)));
}

using Exchanges = ::testing::TestWithParam<Exchange>;

TEST_P(Exchanges, Row) {
    const Exchange& row = GetParam();
    WriteFile("/tmp/cgi.log", "");
    Delivery delivery;
    ASSERT_TRUE(ParseDelivery(row.delivery, delivery));
    auto peer = StartPeer(Split(row.reply, ','), delivery);
    QuorManipulator quor(std::chrono::milliseconds(1000), std::chrono::milliseconds(5000));
    std::string result = "untouched";
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(quor.SendToQuor(row.address, row.function, result), std::stoi(row.status));
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    // Far below the trickle reply's length at a byte per 100 ms; room for a busy machine.
    EXPECT_LT(took.count(), 8.0) << "ends by the deadline";
    EXPECT_EQ(result, row.status == "0" ? Body(row.reply) : "untouched");
    const Names records = Records("DEBUG|ERROR");
    ASSERT_FALSE(records.empty());
    EXPECT_TRUE(std::regex_match(records.back(), std::regex(row.last))) << records.back();
    ExpectLog(row.log);
    EXPECT_EQ(quor.GetSingleVar("IsAllocated"), row.allocated);
    ExpectRequests(peer.get(), row.requests);
}

INSTANTIATE_TEST_SUITE_P(, Exchanges,
                         ::testing::ValuesIn(ReadTable<Exchange>(Data("exchanges.table"))));

// A loop, not a row each: the rows share one client on purpose, each reply
// parsed after the one before, and a row without a reply keeps that one.
TEST(Client, ParsesTheLastReply) {
    const auto rows = ReadTable<Parse>(Data("parse.table"));
    ASSERT_FALSE(rows.empty());
    Names script;
    for (const auto& row : rows)
        if (!row.reply.empty()) script.push_back(row.reply);
    WriteFile("/tmp/secret.txt", "SECRET");
    WriteFile("/tmp/secret.dtd", "<!ENTITY inner 'SECRET'>");
    auto peer = StartPeer(script);
    QuorManipulator quor;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.reply);
        WriteFile("/tmp/cgi.log", "");
        std::string result, code = "unchanged", msg = "unchanged";
        quor.SendToQuor(row.reply.empty() ? "" : "127.0.0.1", "quorGetDeviceStatus", result);
        EXPECT_EQ(quor.GetSingleVar("IsAllocated"), Text(row.allocated));
        EXPECT_EQ(quor.GetSingleVar("DeviceOwner"), row.owner);
        quor.GetStatusMessages(code, msg);
        EXPECT_EQ(code, row.code);
        EXPECT_EQ(msg, row.msg);
        ExpectLog(row.log);
    }
}

using ToggleDeviceAllocation = ::testing::TestWithParam<ToolRun>;

TEST_P(ToggleDeviceAllocation, Row) {
    const ToolRun& row = GetParam();
    WriteFile("/tmp/secret.txt", "SECRET");
    WriteFile("/tmp/secret.dtd", "<!ENTITY inner 'SECRET'>");
    WriteFile("/tmp/cgi.log", "");
    std::filesystem::remove("/tmp/cgirep.txt");
    if (row.before == "link") {
        WriteFile("/tmp/elsewhere", "keep");
        ASSERT_EQ(symlink("/tmp/elsewhere", "/tmp/cgirep.txt"), 0);
    } else if (row.before == "fifo") {
        ASSERT_EQ(mkfifo("/tmp/cgirep.txt", 0600), 0);
    }
    const Names replies = Split(row.replies, ',');
    auto peer = StartPeer(replies);
    Names argv = {std::string(OVIX_BUILD_DIR) + "/toggledeviceallocation"};
    for (const auto& arg : Split(row.args, ' ')) argv.push_back(arg);
    const RunResult run = testsupport::Run(TargetCommand(argv));
    EXPECT_EQ(run.exitCode, std::stoi(row.status));
    EXPECT_TRUE(row.output.empty() ? run.out.empty() : MatchesGolden(run.out, Data(row.output)));
    EXPECT_TRUE(row.err.empty() ? run.err.empty() : MatchesGolden(run.err, Data(row.err)));
    ExpectRequests(peer.get(), row.requests);
    EXPECT_EQ(Records("ERROR"), Split(row.errors, ','));
    if (row.before == "link") {
        EXPECT_EQ(ReadFile("/tmp/elsewhere"), "keep");
        EXPECT_TRUE(std::filesystem::is_symlink("/tmp/cgirep.txt"));
    } else if (!row.args.empty()) {  // no exchange at all
        EXPECT_FALSE(std::filesystem::exists("/tmp/cgirep.txt"));
        EXPECT_EQ(ReadFile("/tmp/cgi.log"), "");
    } else if (row.before.empty()) {
        EXPECT_EQ(ReadFile("/tmp/cgirep.txt"), (replies.empty() ? "" : Body(replies[0])) + "\n");
    }
}

INSTANTIATE_TEST_SUITE_P(, ToggleDeviceAllocation,
                         ::testing::ValuesIn(ReadTable<ToolRun>(Data("tool.table"))));

}  // namespace
