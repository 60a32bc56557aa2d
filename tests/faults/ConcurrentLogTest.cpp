// Many requests at once: 200 runs of the real program in one isolated view
// (one /tmp, one process-id space), a quarter of them with a class that
// throws in every method, so that Java stack traces and the program's
// records share /tmp/cgi.log. Each run must leave exactly the lines of its
// page scenario (tests/data/page/five_rows.log, throwing.log), whole.
#include <filesystem>
#include <map>

#include "TestSupport.h"

using namespace testsupport;

TEST(ConcurrentLog, TwoHundredRunsLoseAndTearNothing) {
    const int runs = 200, throwing = runs / 4;
    TempDir dir;
    const std::string app = dir / "app", tmp = dir / "tmp";
    std::filesystem::create_directory(tmp);
    std::filesystem::copy(DataPath("../../examples/device/app"), app);
    // Every fourth run throws; each run leaves its exit status in /tmp.
    const std::string launch =
        "i=0; while [ $i -lt " + std::to_string(runs) +
        " ]; do if [ $((i % 4)) -eq 0 ]; then jar=\"$2\"; else jar=\"$1\"; fi; "
        "(JAVA_CLASSPATH=\"$jar\" \"$0\" >/dev/null 2>&1; echo $? >/tmp/status.$i) & "
        "i=$((i + 1)); done; wait";
    RunOptions options;
    // Small VMs: 200 of them start at once.
    options.env = {"JAVA_OPTIONS=-Dovix.config=/app/ovix.properties",
                   "JAVA_TOOL_OPTIONS=-Xcheck:jni -XX:+UseSerialGC -XX:TieredStopAtLevel=1 "
                   "-XX:-UsePerfData -Xmx32m"};
    options.timeoutSeconds = 110;
    RunResult result =
        testsupport::Run({OVIX_ISOLATE, "--app", app, "--tmp", tmp, "--", "/bin/sh", "-c", launch,
                          std::string(OVIX_BUILD_DIR) + "/updatefirmwareform.cgi", ConfigJar(""),
                          ConfigJar("throwing")},
                         options);
    ASSERT_FALSE(result.timedOut);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    for (int i = 0; i < runs; ++i)
        EXPECT_EQ(ReadFile(tmp + "/status." + std::to_string(i)), "0\n") << "run " << i;

    const std::string log = ReadFile(tmp + "/cgi.log");
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), '\n');
    std::map<std::string, int> expected, actual;
    for (const auto& line : SplitLines(ReadFile(DataPath("page/five_rows.log"))))
        expected[line] += runs - throwing;
    for (const auto& line : SplitLines(ReadFile(DataPath("page/throwing.log"))))
        expected[line] += throwing;
    for (const auto& line : SplitLines(LogDigest(log))) ++actual[line];
    std::cout << "[ figures  ] " << runs << " runs in " << result.seconds << " s\n";
    for (const auto& [line, count] : expected) EXPECT_EQ(actual[line], count) << line;
    for (const auto& [line, count] : actual)
        EXPECT_EQ(expected.count(line), 1u) << "torn or merged line: " << line;
}
