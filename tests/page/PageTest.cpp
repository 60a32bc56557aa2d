// The real program, run as a web server runs it, once per scenario, each run
// in an isolated view of its own (scripts/isolate) whose /app starts as the
// sample device and whose /tmp is a folder of the test. Standard output is
// compared with a golden page, /tmp/cgi.log (as LogDigest) with
// tests/data/page/<scenario>.log. Every run has the VM's JNI checks on.
#include <signal.h>

#include <filesystem>
#include <numeric>
#include <regex>
#include <sstream>

#include "TestSupport.h"

using namespace testsupport;
using Strings = std::vector<std::string>;

namespace {

// A row of tests/data/page/rows.txt (its header names the fields).
struct Row {
    std::string name, page, shell, variant, toolOptions, stderrHolds, then, error;
    int exit = 0;
    Strings env, isolate;
    std::optional<std::string> when;
    bool vm = true, sorted = false;
};

// The deployment options of the VM, for ${DEPLOYMENT} in a row's env: the
// line of their file that is not a comment.
std::string Deployment() {
    for (const auto& line : SplitLines(ReadFile(OVIX_JAVA_TOOL_OPTIONS_FILE)))
        if (!line.empty() && line[0] != '#') return line;
    return "";
}

std::string Unescape(std::string text) {
    for (size_t at = 0; (at = text.find("\\n", at)) != std::string::npos;)
        text.replace(at, 2, "\n");
    return text;
}

// Sets a field of the row; a field it does not know makes the row fail.
void Set(Row& row, const std::string& field, const std::string& value) {
    std::string* text = field == "page"           ? &row.page
                        : field == "shell"        ? &row.shell
                        : field == "variant"      ? &row.variant
                        : field == "tool-options" ? &row.toolOptions
                        : field == "stderr"       ? &row.stderrHolds
                        : field == "then"         ? &row.then
                                                  : nullptr;
    if (field == "then" && value != "TERM" && value != "QUIT" && value != "close") {
        row.error += "then: " + value + "; ";
    } else if (text != nullptr) {
        *text = value;
    } else if (field == "exit") {
        row.exit = std::stoi(value);
    } else if (field == "env" && value.rfind("JAVA_TOOL_OPTIONS=", 0) == 0) {
        row.error += "env: JAVA_TOOL_OPTIONS goes in tool-options; ";
    } else if (field == "env") {
        row.env.push_back(value);
    } else if (field == "isolate") {
        std::istringstream words(value);
        for (std::string word; words >> word;) row.isolate.push_back(word);
    } else if (field == "when") {
        row.when = Unescape(value);
    } else if (field == "vm" || field == "sorted") {
        (field == "vm" ? row.vm : row.sorted) = value == "yes";
    } else {
        row.error += "unknown field " + field + "; ";
    }
}

std::vector<Row> ReadRows() {
    std::vector<Row> rows;
    std::string field;
    for (const auto& line : SplitLines(ReadFile(DataPath("page/rows.txt")))) {
        if (line.empty() || line[0] == '#') continue;
        if (line[0] == ' ') {  // only the shell goes on, on a line of its own
            if (field == "shell")
                rows.back().shell += "\n" + line.substr(line.find_first_not_of(' '));
            else
                rows.back().error += field + " goes on; ";
            continue;
        }
        const size_t colon = line.find(':');
        field = line.substr(0, colon);
        const size_t start = line.find_first_not_of(' ', colon + 1);
        const std::string value = start == std::string::npos ? "" : line.substr(start);
        if (field == "name")
            rows.emplace_back().name = value;
        else
            Set(rows.back(), field, value);
    }
    return rows;
}

// The page as the program wrote it to standard output, "@@ write" before
// each write(2), and "@@ libjvm.so" where the Java library is first opened.
std::string Writes(const std::string& trace) {
    static const std::regex call(R"(^(write\(1|openat\(\w+), "((\\x[0-9a-f]{2})*)\")");
    std::string page;
    bool loaded = false;
    for (const auto& line : SplitLines(trace)) {
        std::smatch m;
        if (!std::regex_search(line, m, call)) continue;
        std::string bytes;
        for (size_t at = 0; at < m.str(2).size(); at += 4)
            bytes.push_back(static_cast<char>(std::stoi(m.str(2).substr(at + 2, 2), nullptr, 16)));
        if (m.str(1) == "write(1") {
            page += "@@ write\n" + bytes;
        } else if (!loaded && std::regex_search(bytes, std::regex("/libjvm\\.so$"))) {
            page += "@@ libjvm.so\n";
            loaded = true;
        }
    }
    return page;
}

// Sorted lines as proportions: each distinct line with its count divided by
// the greatest common divisor of all counts, so that fewer runs of the same
// mix give the same text.
std::string Proportions(const std::string& sorted) {
    std::vector<std::pair<std::string, int>> counts;
    for (const auto& line : SplitLines(sorted)) {
        if (counts.empty() || counts.back().first != line) counts.emplace_back(line, 0);
        ++counts.back().second;
    }
    int divisor = 0;
    for (const auto& count : counts) divisor = std::gcd(divisor, count.second);
    std::string text;
    for (const auto& count : counts)
        text += std::to_string(count.second / divisor) + " x " + count.first + "\n";
    return text;
}

// Names the row in the CTest names (and not its bytes).
void PrintTo(const Row& row, std::ostream* out) {
    *out << row.name;
}

using Scenarios = ::testing::TestWithParam<Row>;

TEST_P(Scenarios, Row) {
    const Row& row = GetParam();
    ASSERT_TRUE(row.error.empty()) << row.error;
    if (row.vm && !OVIX_JAVA_VM_RUNS) GTEST_SKIP() << "no Java VM starts in this build";
    TempDir dir;
    const std::string app = dir / "app", tmp = dir / "tmp";
    std::filesystem::create_directory(tmp);
    std::filesystem::copy(DataPath("../../examples/device/app"), app);

    Strings argv = {OVIX_ISOLATE, "--app", app, "--tmp", tmp};
    argv.insert(argv.end(), row.isolate.begin(), row.isolate.end());
    argv.push_back("--");
    std::string shell = row.shell;
    if (!shell.empty() && shell.find("\"$@\"") == std::string::npos) shell += "\nexec \"$@\"";
    if (!shell.empty()) argv.insert(argv.end(), {"/bin/sh", "-c", shell, "sh"});
    argv.push_back(OVIX_PAGE_PROGRAM);

    RunOptions options;
    options.env = {"JAVA_CLASSPATH=" + ConfigJar(row.variant),
                   "JAVA_OPTIONS=-Dovix.config=/app/ovix.properties", "DATA=" + DataPath("page"),
                   "ROOT=" + std::filesystem::canonical(DataPath("../..")).string(),
                   std::string("JVM_DIR=") + OVIX_JVM_RUNPATH};
    // The JNI checks after the row's own options: no row can leave them out.
    const std::string tool =
        std::regex_replace(row.toolOptions, std::regex("\\$\\{DEPLOYMENT\\}"), Deployment());
    options.env.push_back("JAVA_TOOL_OPTIONS=" + (tool.empty() ? "" : tool + " ") + "-Xcheck:jni");
    options.env.insert(options.env.end(), row.env.begin(), row.env.end());
    options.trigger = row.when;
    options.signal = row.then == "TERM" ? SIGTERM : row.then == "QUIT" ? SIGQUIT : 0;
    options.closeStdout = row.then == "close";
    options.signalTarget = "updatefirmwareform.cgi";
    options.timeoutSeconds = 110;
    RunResult result = testsupport::Run(argv, options);

    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitCode, row.exit) << result.err;
    if (!row.page.empty()) {
        EXPECT_TRUE(MatchesGolden(result.out, DataPath("page/") + row.page));
    }
    const bool copied = std::filesystem::is_regular_file(app + "/cgi.log");
    const std::string log = ReadFile(copied ? app + "/cgi.log" : tmp + "/cgi.log");
    Strings lines = SplitLines(LogDigest(log));
    if (row.sorted) std::sort(lines.begin(), lines.end());
    std::string digest;
    for (const auto& line : lines) digest += line + "\n";
    const std::string golden = DataPath("page/") + row.name + ".log";
    if (row.sorted && std::getenv("OVIX_CONCURRENT_RUNS") != nullptr) {
        EXPECT_EQ(Proportions(digest), Proportions(ReadFile(golden)));
    } else {
        EXPECT_TRUE(MatchesGolden(digest, golden));
    }
    EXPECT_NE(result.err.find(row.stderrHolds), std::string::npos) << result.err;
    for (const std::string& text : {result.out, result.err, log}) {
        EXPECT_EQ(text.find("WARNING"), std::string::npos) << text;
        EXPECT_EQ(text.find("FATAL ERROR"), std::string::npos) << text;
    }
    if (std::filesystem::exists(tmp + "/trace")) {
        EXPECT_TRUE(MatchesGolden(Writes(ReadFile(tmp + "/trace")),
                                  DataPath("page/") + row.name + ".writes"));
    }
}

INSTANTIATE_TEST_SUITE_P(, Scenarios, ::testing::ValuesIn(ReadRows()));

}  // namespace
