// The device-manager client and the tool toggledeviceallocation against the
// peer on 127.0.0.1:5302, as three tables (tests/data/quor/*.table, cells split
// at '|', columns named by the first line that is not a comment); replies,
// requests and the tool's output are files there too.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>
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

// A row of each table: a struct whose fields are the header's names, and the
// field that each name fills.
template <typename Row>
using Columns = std::map<std::string, std::string Row::*>;
// clang-format off
#define FIELD(name) std::string name;
#define COLUMN(name) {#name, &Row::name},
#define TABLE_ROW(Type, EACH) \
    struct Type { EACH(FIELD) using Row = Type; static inline const Columns<Row> columns{EACH(COLUMN)}; }
#define EXCHANGE(_) _(name) _(reply) _(delivery) _(address) _(function) _(status) _(allocated) _(last) _(requests) _(log)
#define PARSE(_) _(reply) _(allocated) _(owner) _(code) _(msg) _(log)
#define TOOL_RUN(_) _(name) _(args) _(replies) _(before) _(status) _(output) _(err) _(requests) _(errors)
TABLE_ROW(Exchange, EXCHANGE);
TABLE_ROW(Parse, PARSE);
TABLE_ROW(ToolRun, TOOL_RUN);
// clang-format on

// The rows of a table (missing cells empty); lines that start with '#' are
// comments, the first other line is the header.
template <typename Row>
std::vector<Row> Rows(const std::string& table) {
    std::vector<Row> rows;
    Names header;
    for (const auto& line : SplitLines(ReadFile(Data(table)))) {
        if (line.empty() || line[0] == '#') continue;
        const Names cells = Split(line, '|');
        if (header.empty()) {
            header = cells;
            continue;
        }
        Row& row = rows.emplace_back();
        for (size_t i = 0; i < cells.size(); ++i) {
            const auto column = Row::columns.find(i < header.size() ? header[i] : "");
            if (column == Row::columns.end()) ADD_FAILURE() << table << ": no column " << i;
            if (column != Row::columns.end()) row.*column->second = cells[i];
        }
    }
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
    for (const auto& row : Rows<Exchange>("exchanges.table")) {
        SCOPED_TRACE(row.name);
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
}

TEST(Quor, ParsesTheLastReply) {
    const auto rows = Rows<Parse>("parse.table");
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
        EXPECT_EQ(quor.GetSingleVar("IsAllocated"), row.allocated);
        EXPECT_EQ(quor.GetSingleVar("DeviceOwner"), row.owner);
        quor.GetStatusMessages(code, msg);
        EXPECT_EQ(code, row.code);
        EXPECT_EQ(msg, row.msg);
        ExpectLog(row.log);
    }
}

TEST(Quor, ToggleDeviceAllocation) {
    WriteFile("/tmp/secret.txt", "SECRET");
    WriteFile("/tmp/secret.dtd", "<!ENTITY inner 'SECRET'>");
    for (const auto& row : Rows<ToolRun>("tool.table")) {
        SCOPED_TRACE(row.name);
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
        EXPECT_TRUE(row.output.empty() ? run.out.empty()
                                       : MatchesGolden(run.out, Data(row.output)));
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
            EXPECT_EQ(ReadFile("/tmp/cgirep.txt"),
                      (replies.empty() ? "" : Body(replies[0])) + "\n");
        }
    }
}

}  // namespace
