// The program when its Java VM cannot start: on this machine because the VM
// refuses its options, on the board's emulator because no VM exists there.
#include <gtest/gtest.h>

#include "TestSupport.h"

using namespace testsupport;

namespace {

TEST(PageWithoutVm, EndsThePageAfterTheDescription) {
    WriteFile("/app/VERSION", "PRELIMINARY_VERSION=2.7.0-rc1\n");
    RunOptions options;
    options.env = {"JAVA_CLASSPATH=/app/none.jar", "JAVA_OPTIONS=-Xms64m -Xmx32m"};
    RunResult result = testsupport::Run(
        TargetCommand({std::string(OVIX_BUILD_DIR) + "/updatefirmwareform.cgi"}), options);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(MatchesGolden(result.out, DataPath("page/no_vm.html")));

    std::vector<std::string> messages;
    for (const auto& text : SplitLines(ReadFile("/tmp/cgi.log"))) {
        LogLine line;
        ASSERT_TRUE(ParseLogLine(text, line)) << text;
        messages.push_back(line.message);
    }
    EXPECT_EQ(messages,
              (std::vector<std::string>{"main", "OpenJavaVM", "JAVA_OPTIONS: -Xms64m -Xmx32m",
                                        "JAVA_CLASSPATH:/app/none.jar", "Can't create Java VM"}));
}

}  // namespace
