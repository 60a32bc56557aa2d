// Tests run on the machine the build is for (qemu-ppc in a cross build), and
// so do the target programs that they start through TargetCommand.
#include <gtest/gtest.h>

#include "Layout.h"
#include "TestSupport.h"

using namespace testsupport;

namespace {

const std::string kProbe = std::string(OVIX_BUILD_DIR) + "/tests/target/target_probe";

TEST(Target, RunsWithTheLayoutTheBuildWasConfiguredFor) {
    const std::string layout = DataLayout();
    EXPECT_EQ(layout.substr(0, layout.find(' ')), OVIX_EXPECT_BYTE_ORDER);
    EXPECT_NE(layout.find(" pointer=" + std::to_string(OVIX_EXPECT_POINTER_BITS) + " "),
              std::string::npos)
        << layout;
}

#ifdef OVIX_EXPECT_BOARD
TEST(Target, CrossBuildIsThirtyTwoBitBigEndian) {
    EXPECT_EQ(DataLayout().substr(0, DataLayout().find(" size_t")),
              "big-endian long=32 pointer=32");
}
#endif

TEST(Target, StartedProgramRunsWithTheSameLayout) {
    RunOptions options;
    options.unset = {"OVIX_PROBE"};
    RunResult result = testsupport::Run(TargetCommand({kProbe}), options);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, DataLayout() + "\nenv=(unset)\n");
}

TEST(Target, StartedProgramGetsEnvironmentInputAndGivesItsExitStatus) {
    RunOptions options;
    options.env = {"OVIX_PROBE=a b;c"};
    options.input = "line 1\nline 2";
    RunResult result = testsupport::Run(TargetCommand({kProbe, "1"}), options);
    EXPECT_EQ(result.exitCode, 1) << result.err;
    EXPECT_EQ(result.signal, 0);
    EXPECT_EQ(result.out, DataLayout() + "\nenv=a b;c\nline 1\nline 2");
    EXPECT_EQ(result.err, "");
}

TEST(Target, StartedProgramExitStatusIsPassedOnWhole) {
    for (int status : {2, 127, 255}) {
        RunResult result = testsupport::Run(TargetCommand({kProbe, std::to_string(status)}));
        EXPECT_EQ(result.exitCode, status) << result.err;
    }
}

}  // namespace
