// The device-manager client and the allocation tool under valgrind's
// memcheck: no definite leak and no memory error, in good runs and in failing
// ones. (The sanitizer build checks the same code with LeakSanitizer.)
#include <gtest/gtest.h>

#include <filesystem>

#include "QuorManipulator.h"
#include "SimulatorFixture.h"

using namespace testsupport;
using namespace quortest;

namespace {

const int kErrorStatus = 99;

// The program under memcheck; its own exit status when valgrind found nothing.
RunResult RunChecked(const std::vector<std::string>& argv) {
    std::vector<std::string> command = {VALGRIND_EXECUTABLE,
                                        "--quiet",
                                        "--leak-check=full",
                                        "--show-leak-kinds=definite",
                                        "--errors-for-leak-kinds=definite",
                                        "--error-exitcode=" + std::to_string(kErrorStatus)};
    command.insert(command.end(), argv.begin(), argv.end());
    RunOptions options;
    options.timeoutSeconds = 110;
    RunResult result = Run(command, options);
    std::cout << "[ figures  ] " << result.seconds << " s under memcheck\n";
    EXPECT_FALSE(result.timedOut);
    EXPECT_NE(result.exitCode, kErrorStatus) << result.err;
    EXPECT_EQ(result.err.find("definitely lost"), std::string::npos) << result.err;
    return result;
}

const std::string kTool = std::string(OVIX_BUILD_DIR) + "/toggledeviceallocation";

QUOR_SIMULATOR_FIXTURE(ToolLeaks);

TEST_F(ToolLeaks, ToggleBothWays) {
    EXPECT_EQ(RunChecked({kTool}).exitCode, 0);
    EXPECT_EQ(State(), "1");
    EXPECT_EQ(RunChecked({kTool}).exitCode, 0);
    EXPECT_EQ(State(), "0");
}

QUOR_SIMULATOR_FIXTURE(ToolLeaksOnBrokenReplies, "not-wellformed");

TEST_F(ToolLeaksOnBrokenReplies, ReplyThatIsNotWellFormed) {
    RunChecked({kTool});
}

QUOR_SIMULATOR_FIXTURE(ToolLeaksOnEntities, "none", false, QuorData("xxe-reply.xml"));

TEST_F(ToolLeaksOnEntities, ReplyWithExternalEntities) {
    EXPECT_EQ(RunChecked({kTool}).exitCode, 0);
}

// No service at all: every exchange fails.
TEST(ToolLeaksWithoutService, EveryExchangeFails) {
    EXPECT_EQ(RunChecked({kTool}).exitCode, 1);
}

// The client's own tests under memcheck, each case in a process of its own
// and with a fresh log, as CTest runs them; each case starts its own simulator.
void RunCasesChecked(const std::string& test) {
    const std::string binary = std::string(OVIX_BUILD_DIR) + "/tests/quor/" + test;
    RunResult list = Run({binary, "--gtest_list_tests"});
    std::string suite;
    int cases = 0;
    for (const auto& line : SplitLines(list.out)) {
        if (line.empty()) continue;
        if (line[0] != ' ') {
            suite = line.substr(0, line.find(' '));
            continue;
        }
        const std::string name = suite + line.substr(2, line.find(' ', 2) - 2);
        std::filesystem::remove("/tmp/cgi.log");
        std::filesystem::remove(kQuorReplyFile);
        RunResult result = RunChecked({binary, "--gtest_filter=" + name});
        EXPECT_EQ(result.exitCode, 0) << name << "\n" << result.out;
        ++cases;
    }
    EXPECT_GT(cases, 0);
}

TEST(ClientLeaks, RequestTests) {
    RunCasesChecked("quor_request_test");
}
TEST(ClientLeaks, ParseTests) {
    RunCasesChecked("quor_parse_test");
}
TEST(ClientLeaks, EntityTests) {
    RunCasesChecked("quor_entity_test");
}

}  // namespace
