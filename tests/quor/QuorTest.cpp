// The device-manager client and the tool toggledeviceallocation against the
// peer on 127.0.0.1:5302, as three tables (tests/data/quor/*.table, cells split
// at '|'); replies, requests and the tool's output are files there too.
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

// Cells without the blanks around them; in a cell in double quotes blanks
// stay and \n is a line break.
Names Split(const std::string& text, char separator) {
    Names cells;
    std::istringstream in(text);
    for (std::string cell; std::getline(in, cell, separator);) {
        cell = std::regex_replace(cell, std::regex("^ +| +$"), "");
        if (cell.size() > 1 && cell.front() == '"' && cell.back() == '"')
            cell = std::regex_replace(cell.substr(1, cell.size() - 2), std::regex("\\\\n"), "\n");
        cells.push_back(cell);
    }
    return cells;
}

// The rows of a table, `cells` cells each (missing ones empty); lines that
// start with '#' are comments.
std::vector<Names> Rows(const std::string& table, size_t cells) {
    std::vector<Names> rows;
    for (const auto& line : SplitLines(ReadFile(Data(table))))
        if (!line.empty() && line[0] != '#') rows.push_back(Split(line, '|'));
    for (auto& row : rows) row.resize(cells);
    EXPECT_FALSE(rows.empty()) << table;
    return rows;
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
    const std::regex record("(" + levels + ") cgi src/QuorManipulator\\.cpp (.*)");
    Names records;
    std::smatch parts;
    for (const auto& line : SplitLines(LogDigest(ReadFile("/tmp/cgi.log"))))
        if (std::regex_match(line, parts, record))
            records.push_back(parts[1].str() + " " + parts[2].str());
    return records;
}

void ExpectLog(const std::string& golden) {
    if (golden.empty()) return;
    EXPECT_TRUE(MatchesGolden(LogDigest(ReadFile("/tmp/cgi.log")), Data(golden)));
}

TEST(Quor, Exchanges) {
    for (const auto& row : Rows("exchanges.table", 10)) {
        SCOPED_TRACE(row[0]);
        WriteFile("/tmp/cgi.log", "");
        Delivery delivery;
        ASSERT_TRUE(ParseDelivery(row[2], delivery));
        auto peer = StartPeer(Split(row[1], ','), delivery);
        QuorManipulator quor(std::chrono::milliseconds(1000), std::chrono::milliseconds(5000));
        std::string result = "untouched";
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(quor.SendToQuor(row[3], row[4], result), std::stoi(row[5]));
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        // Far below the trickle reply's length at a byte per 100 ms; room for a busy machine.
        EXPECT_LT(took.count(), 8.0) << "ends by the deadline";
        EXPECT_EQ(result, row[5] == "0" ? Body(row[1]) : "untouched");
        const Names records = Records("DEBUG|ERROR");
        ASSERT_FALSE(records.empty());
        EXPECT_TRUE(std::regex_match(records.back(), std::regex(row[7]))) << records.back();
        ExpectLog(row[9]);
        EXPECT_EQ(quor.GetSingleVar("IsAllocated"), row[6]);
        ExpectRequests(peer.get(), row[8]);
    }
}

TEST(Quor, ParsesTheLastReply) {
    const auto rows = Rows("parse.table", 6);
    Names script;
    for (const auto& row : rows)
        if (!row[0].empty()) script.push_back(row[0]);
    WriteFile("/tmp/secret.txt", "SECRET");
    WriteFile("/tmp/secret.dtd", "<!ENTITY inner 'SECRET'>");
    auto peer = StartPeer(script);
    QuorManipulator quor;
    for (const auto& row : rows) {
        SCOPED_TRACE(row[0]);
        WriteFile("/tmp/cgi.log", "");
        std::string result, code = "unchanged", msg = "unchanged";
        quor.SendToQuor(row[0].empty() ? "" : "127.0.0.1", "quorGetDeviceStatus", result);
        EXPECT_EQ(quor.GetSingleVar("IsAllocated"), row[1]);
        EXPECT_EQ(quor.GetSingleVar("DeviceOwner"), row[2]);
        quor.GetStatusMessages(code, msg);
        EXPECT_EQ(code, row[3]);
        EXPECT_EQ(msg, row[4]);
        ExpectLog(row[5]);
    }
}

TEST(Quor, ToggleDeviceAllocation) {
    WriteFile("/tmp/secret.txt", "SECRET");
    WriteFile("/tmp/secret.dtd", "<!ENTITY inner 'SECRET'>");
    for (const auto& row : Rows("tool.table", 7)) {
        SCOPED_TRACE(row[0]);
        WriteFile("/tmp/cgi.log", "");
        std::filesystem::remove("/tmp/cgirep.txt");
        if (row[2] == "link") {
            WriteFile("/tmp/elsewhere", "keep");
            ASSERT_EQ(symlink("/tmp/elsewhere", "/tmp/cgirep.txt"), 0);
        } else if (row[2] == "fifo") {
            ASSERT_EQ(mkfifo("/tmp/cgirep.txt", 0600), 0);
        }
        const Names replies = Split(row[1], ',');
        auto peer = StartPeer(replies);
        const RunResult run = testsupport::Run(
            TargetCommand({std::string(OVIX_BUILD_DIR) + "/toggledeviceallocation"}));
        EXPECT_EQ(run.exitCode, std::stoi(row[3]));
        EXPECT_TRUE(MatchesGolden(run.out, Data(row[4])));
        EXPECT_EQ(run.err, "");
        ExpectRequests(peer.get(), row[5]);
        EXPECT_EQ(Records("ERROR"), Split(row[6], ','));
        if (row[2] == "link") {
            EXPECT_EQ(ReadFile("/tmp/elsewhere"), "keep");
            EXPECT_TRUE(std::filesystem::is_symlink("/tmp/cgirep.txt"));
        } else if (row[2].empty()) {
            EXPECT_EQ(ReadFile("/tmp/cgirep.txt"),
                      (replies.empty() ? "" : Body(replies[0])) + "\n");
        }
    }
}

}  // namespace
