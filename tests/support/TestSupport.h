#ifndef OVIX_TESTS_TESTSUPPORT_H
#define OVIX_TESTS_TESTSUPPORT_H

#include <gtest/gtest.h>

#include <filesystem>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& content);
std::vector<std::string> SplitLines(const std::string& text);

// The jar of the configuration class stand-in, or of one of its test
// variants (tests/bridge/java/<variant>), as the build makes them.
std::string ConfigJar(const std::string& variant = "");

// A folder of the project's test data (tests/data/...).
std::string DataPath(const std::string& relative);

// Compares text with a golden file; on a difference, names the first line
// that differs and prints both texts. With OVIX_UPDATE_GOLDEN=1 in the
// environment it writes the golden file instead and succeeds.
::testing::AssertionResult MatchesGolden(const std::string& actual, const std::string& goldenPath);

// A fresh folder that is removed with everything in it when the holder goes.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

struct RunResult {
    int exitCode = -1;  // -1 when killed by a signal or timed out
    bool timedOut = false;
    std::string out;
    std::string err;
};

struct RunOptions {
    std::vector<std::string> env;  // NAME=VALUE entries added to the environment; the last wins
    double timeoutSeconds = 60;
    // Once standard output holds `trigger` (at once when it is empty):
    // closeStdout closes the reading end, as a client that goes away does,
    // and a non-zero `signal` goes to every process of the started process's
    // group that runs the program named `signalTarget` (a file name).
    std::optional<std::string> trigger;
    bool closeStdout = false;
    int signal = 0;
    std::string signalTarget;
};

// Runs a program and collects its output; kills it after the time-out.
RunResult Run(const std::vector<std::string>& argv, const RunOptions& options = {});

// The command that runs a program built for the target: argv itself
// natively, behind the emulator (qemu-ppc) in a cross build. Use it for
// every program of the build tree that a test starts.
std::vector<std::string> TargetCommand(const std::vector<std::string>& argv);

// The log file's text with each record reduced to "LEVEL LABEL FILE MESSAGE"
// (date, process id and line number left out); other lines (the Java VM's
// own output, continuation lines) stay as they are. The build folder is
// written as ${BUILD}. A record dated outside this process's lifetime (a
// few seconds of slack) or a line that starts with a date but is no record
// fails the running test. With withLines, a record keeps its line number
// after the file, as "FILE:LINE".
std::string LogDigest(const std::string& logText, bool withLines = false);

// A record of a log digest that the source file `source` (e.g.
// "src/QuorManipulator.cpp") wrote: its level, line number (only in a
// digest with lines) and message. Nothing for any other line.
struct Record {
    std::string level, line, message;
};
std::optional<Record> RecordOf(const std::string& digestLine, const std::string& source);

// Tables of rows. Lines that start with '#' are comments and blank lines are
// left out; the first other line is the header "| column | column |"; a line
// of only '|', '-', ':' and blanks right after it is left out (the file
// renders as Markdown); each row "| cell | cell |" has as many cells as the
// header, without the blanks around them; "\|" is a '|' inside a cell.
//
// A row type names its columns, each with the field it fills:
//   static Columns<Row> Named() { return {{"name", &Row::name}, ...}; }
template <typename Row>
using Columns = std::vector<std::pair<std::string, std::string Row::*>>;

// The cells of each row, in the order of `names`. A column of the header
// that is not among the names, a name missing from the header or a row of
// another width fails with the file and the column or line: a test of that
// name fails (the tables are read before the tests run, for their names).
std::vector<std::vector<std::string>> ReadCells(const std::string& path,
                                                const std::vector<std::string>& names);

template <typename Row>
std::vector<Row> ReadTable(const std::string& path) {
    const Columns<Row> columns = Row::Named();
    std::vector<std::string> names;
    for (const auto& column : columns) names.push_back(column.first);
    std::vector<Row> rows;
    for (const auto& cells : ReadCells(path, names)) {
        Row& row = rows.emplace_back();
        for (size_t i = 0; i < columns.size(); ++i) row.*columns[i].second = cells[i];
    }
    return rows;
}

}  // namespace testsupport

#endif
