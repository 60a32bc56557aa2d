// The tool toggledeviceallocation against the simulator on 127.0.0.1: its
// whole output, its exit status, the requests it sends and the device's
// state afterwards.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "QuorManipulator.h"
#include "SimulatorFixture.h"

using namespace testsupport;
using namespace quortest;

namespace {

const char kNoReply[] = "\n\n\n332\n335\n337\n339\n341\nStart 1 nicht gefunden!\n";

RunResult RunTool() {
    RunOptions options;
    options.timeoutSeconds = 60;
    return Run(TargetCommand({std::string(OVIX_BUILD_DIR) + "/toggledeviceallocation"}), options);
}

QUOR_SIMULATOR_FIXTURE(ToggleNotAllocated);

TEST_F(ToggleNotAllocated, AllocatesAndThenReleasesOnTheNextRun) {
    RunResult run = RunTool();
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(MatchesGolden(run.out, DataPath("quor/toggle-not-allocated.txt")));
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(State(), "1");
    auto requests = Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_TRUE(MatchesGolden(requests[0], DataPath("quor/request-status.txt")));
    EXPECT_TRUE(MatchesGolden(requests[1], DataPath("quor/request-allocate.txt")));
    EXPECT_TRUE(MatchesGolden(requests[2], DataPath("quor/request-status.txt")));
    EXPECT_EQ(ReadFile(kQuorReplyFile), ResponseBody(0) + "\n");

    run = RunTool();
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(MatchesGolden(run.out, DataPath("quor/toggle-allocated.txt")));
    EXPECT_EQ(State(), "0");
    requests = Requests();
    ASSERT_EQ(requests.size(), 6u);
    EXPECT_TRUE(MatchesGolden(requests[3], DataPath("quor/request-status.txt")));
    EXPECT_TRUE(MatchesGolden(requests[4], DataPath("quor/request-release.txt")));
    EXPECT_TRUE(MatchesGolden(requests[5], DataPath("quor/request-status.txt")));
    EXPECT_EQ(ReadFile(kQuorReplyFile), ResponseBody(3) + "\n");
    EXPECT_TRUE(Messages("ERROR").empty());
}

TEST_F(ToggleNotAllocated, ReplyFileThatIsASymbolicLinkIsNotFollowed) {
    WriteFile("/tmp/elsewhere", "keep");
    ASSERT_EQ(symlink("/tmp/elsewhere", kQuorReplyFile), 0);
    RunResult run = RunTool();
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(MatchesGolden(run.out, DataPath("quor/toggle-not-allocated.txt")));
    EXPECT_EQ(ReadFile("/tmp/elsewhere"), "keep");
    EXPECT_TRUE(std::filesystem::is_symlink(kQuorReplyFile));
    EXPECT_EQ(State(), "1");
}

TEST_F(ToggleNotAllocated, ReplyFileThatIsAFifoDoesNotBlock) {
    ASSERT_EQ(mkfifo(kQuorReplyFile, 0600), 0);
    RunResult run = RunTool();
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(MatchesGolden(run.out, DataPath("quor/toggle-not-allocated.txt")));
    EXPECT_EQ(State(), "1");
}

struct Missing {
    const char* fault;
    const char* golden;
};

void PrintTo(const Missing& missing, std::ostream* out) {
    *out << missing.fault;
}

class ToggleMissingState : public SimulatorTest, public ::testing::WithParamInterface<Missing> {
  protected:
    ToggleMissingState() { options_.fault = GetParam().fault; }
};

TEST_P(ToggleMissingState, ReportsItAndSendsNothingMore) {
    RunResult run = RunTool();
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(MatchesGolden(run.out, DataPath(std::string("quor/") + GetParam().golden)));
    EXPECT_EQ(Requests().size(), 1u);
    EXPECT_EQ(State(), "0");
}

INSTANTIATE_TEST_SUITE_P(NotFound, ToggleMissingState,
                         ::testing::Values(Missing{"isallocated-squote", "toggle-start1.txt"},
                                           Missing{"isallocated-last", "toggle-end1.txt"},
                                           Missing{"boolean", "toggle-start2.txt"},
                                           Missing{"unclosed-string", "toggle-end2.txt"}),
                         [](const ::testing::TestParamInfo<Missing>& info) {
                             std::string name = info.param.golden;
                             return name.substr(7, name.size() - 11);
                         });

TEST(ToggleWithoutService, ReportsNoAllocationState) {
    RunResult run = RunTool();
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, kNoReply);
    EXPECT_EQ(Messages("ERROR"), std::vector<std::string>{"connect Connection refused"});
    EXPECT_EQ(ReadFile(kQuorReplyFile), "\n");
}

// The one case that waits out the full bound of a receive.
QUOR_SIMULATOR_FIXTURE(ToggleSilentPeer, "silent");

TEST_F(ToggleSilentPeer, GivesUpAfterTheTimeout) {
    RunResult run = RunTool();
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, kNoReply);
    EXPECT_EQ(Messages("ERROR"), std::vector<std::string>{"recv timed out"});
    EXPECT_GE(run.seconds, kQuorTimeoutMs / 1000.0 - 0.5);
}

QUOR_SIMULATOR_FIXTURE(ToggleExternalEntities, "none", false, QuorData("xxe-reply.xml"));

TEST_F(ToggleExternalEntities, ParseCheckLoadsNoExternalEntity) {
    WriteFile("/tmp/secret.txt", "SECRET");
    WriteFile("/tmp/secret.dtd", "<!ENTITY inner 'SECRET'>");
    OpenWatch watch({"/tmp/secret.txt", "/tmp/secret.dtd"});
    ASSERT_TRUE(watch.Watching());
    RunResult run = RunTool();
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(ReadFile(kQuorReplyFile), ResponseBody(0) + "\n");
    EXPECT_FALSE(watch.Opened());
    EXPECT_EQ(State(), "1");
}

QUOR_SIMULATOR_FIXTURE(ToggleNestedEntities, "none", false, QuorData("laughs-reply.xml"));

TEST_F(ToggleNestedEntities, ParseCheckRefusesTheExpansion) {
    RunResult run = RunTool();
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_LT(run.seconds, 30);
    EXPECT_EQ(State(), "1");
}

}  // namespace
