// Faults of the whole program: the real binary, run as the web server runs
// it, each run in an isolated view of its own (scripts/isolate) whose /tmp
// and /app are folders of the test. Each case states what the program does.
#include <signal.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "TestSupport.h"

using namespace testsupport;

namespace {

const char* const kProgram = "updatefirmwareform.cgi";
// Options that keep every message of the VM itself off standard output, as
// the deployment notes give them.
const char* const kDeploymentOptions =
    "-XX:+DisplayVMOutputToStderr -Xlog:disable -Xlog:all=warning:stderr";
const char* const kContent = "<div class=\"content\" >\n";

// How one run sees the machine.
struct View {
    bool noApp = false;
    std::string tmpSize;  // a tmpfs of that size as /tmp instead of the test's folder
    std::string uid;      // run as that user
    // Shell commands run in the view before the program; "$@" is the program.
    std::string before;
};

class FaultTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::filesystem::create_directories(app);
        std::filesystem::create_directories(tmp);
        WriteSampleDevice(app);
    }

    void TearDown() override {
        // Let the test remove what a run as another user left without access.
        std::filesystem::permissions(app, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add);
    }

    // The program with the class variant; javaOptions is JAVA_OPTIONS.
    RunResult RunPage(const std::string& variant, const View& view = {}, RunOptions options = {},
                      const std::string& javaOptions = "-Dovix.config=/app/ovix.properties") {
        std::vector<std::string> argv = {OVIX_ISOLATE};
        if (view.noApp) {
            argv.push_back("--no-app");
        } else {
            argv.insert(argv.end(), {"--app", app});
        }
        if (!view.tmpSize.empty()) {
            argv.insert(argv.end(), {"--tmp-size", view.tmpSize});
        } else {
            argv.insert(argv.end(), {"--tmp", tmp});
        }
        if (!view.uid.empty()) argv.insert(argv.end(), {"--uid", view.uid});
        argv.push_back("--");
        if (!view.before.empty()) argv.insert(argv.end(), {"/bin/sh", "-c", view.before, "sh"});
        argv.push_back(std::string(OVIX_BUILD_DIR) + "/" + kProgram);
        options.env.insert(options.env.begin(),
                           {"JAVA_CLASSPATH=" + ConfigJar(variant), "JAVA_OPTIONS=" + javaOptions});
        if (options.timeoutSeconds == 60) options.timeoutSeconds = 90;
        RunResult result = testsupport::Run(argv, options);
        std::cout << "[ figures  ] " << result.seconds << " s, exit " << result.exitCode
                  << ", signal " << result.signal << "\n";
        ExpectCleanEnd(result);
        return result;
    }

    // What every run must give, whatever the fault: an end of its own, no
    // crash, whole log lines, and no JNI warning anywhere when the VM checks.
    void ExpectCleanEnd(const RunResult& result) {
        EXPECT_FALSE(result.timedOut);
        EXPECT_FALSE(result.coreDumped);
        for (int crash : {SIGSEGV, SIGABRT, SIGBUS, SIGILL, SIGFPE, SIGQUIT, SIGSYS, SIGTRAP})
            EXPECT_NE(result.signal, crash);
        for (const std::string& folder : {std::string("."), tmp}) {
            for (const auto& entry : std::filesystem::directory_iterator(folder)) {
                const std::string name = entry.path().filename().string();
                EXPECT_NE(name.rfind("hs_err_pid", 0), 0u) << name;
                EXPECT_NE(name.rfind("core", 0), 0u) << name;
            }
        }
        const std::string log = Log();
        EXPECT_TRUE(log.empty() || log.back() == '\n') << "last log line cut: " << log;
        if (std::getenv("OVIX_CHECK_JNI") != nullptr) {
            for (const std::string& text : {result.out, result.err, log}) {
                EXPECT_EQ(text.find("WARNING"), std::string::npos) << text;
                EXPECT_EQ(text.find("FATAL ERROR"), std::string::npos) << text;
            }
        }
    }

    std::string Log() const {
        return std::filesystem::is_regular_file(tmp + "/cgi.log") ? ReadFile(tmp + "/cgi.log") : "";
    }
    static std::vector<std::string> Messages(const std::string& log) {
        std::vector<std::string> messages;
        for (const auto& text : SplitLines(log)) {
            LogLine line;
            if (ParseLogLine(text, line)) messages.push_back(line.message);
        }
        return messages;
    }
    static size_t Count(const std::string& log, const std::string& message) {
        auto all = Messages(log);
        return static_cast<size_t>(std::count(all.begin(), all.end(), message));
    }

    // JAVA_TOOL_OPTIONS of the test (-Xcheck:jni in the second run) and more.
    static std::string ToolOptions(const std::string& more) {
        const char* own = std::getenv("JAVA_TOOL_OPTIONS");
        return "JAVA_TOOL_OPTIONS=" + (own != nullptr ? std::string(own) + " " : "") + more;
    }

    static std::string Golden(const std::string& name) { return DataPath("page/" + name); }
    static std::string Cell(const std::string& page, const std::string& label) {
        auto at = page.find("<tr><td>" + label);
        if (at == std::string::npos) return "<no row>";
        auto start = page.find("<td>", at + 8) + 4;
        return page.substr(start, page.find("</td>", start) - start);
    }
    static bool Complete(const std::string& page) {
        const std::string end = "</form>\n</div>\n</body>\n</html>\n";
        return page.rfind("Content-Type: text/html\n", 0) == 0 && page.size() >= end.size() &&
               page.compare(page.size() - end.size(), end.size(), end) == 0;
    }

    TempDir dir;
    const std::string app = dir / "app";
    const std::string tmp = dir / "tmp";
};

// --- /tmp/cgi.log ---------------------------------------------------------

// The log file cannot be opened for writing (mode 0444, the program runs as
// another user than root): the whole page; the file stays as it was; the VM
// reports its FileNotFoundException on standard error.
TEST_F(FaultTest, LogFileNotWritableGivesTheWholePage) {
    WriteFile(tmp + "/cgi.log", "before\n");
    std::filesystem::permissions(tmp + "/cgi.log", std::filesystem::perms::owner_read |
                                                       std::filesystem::perms::group_read |
                                                       std::filesystem::perms::others_read);
    View view;
    view.uid = "65534";
    RunResult result = RunPage("", view);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_TRUE(MatchesGolden(result.out, Golden("five_rows.html")));
    EXPECT_EQ(Log(), "before\n");
    EXPECT_NE(result.err.find("java.io.FileNotFoundException: /tmp/cgi.log (Permission denied)"),
              std::string::npos)
        << result.err;
}

// The log path is a directory: the whole page, nothing logged.
TEST_F(FaultTest, LogFileThatIsADirectoryGivesTheWholePage) {
    std::filesystem::create_directory(tmp + "/cgi.log");
    RunResult result = RunPage("");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_TRUE(MatchesGolden(result.out, Golden("five_rows.html")));
    EXPECT_TRUE(std::filesystem::is_empty(tmp + "/cgi.log"));
    EXPECT_NE(result.err.find("java.io.FileNotFoundException: /tmp/cgi.log (Is a directory)"),
              std::string::npos)
        << result.err;
}

// /tmp is a full file system (64 KiB tmpfs, filled up before the run): the
// whole page; the log stays empty; the VM warns on standard error that it has
// no room for its performance data file.
TEST_F(FaultTest, LogOnAFullFileSystemGivesTheWholePage) {
    View view;
    view.tmpSize = "65536";
    view.before =
        "head -c 1048576 /dev/zero > /tmp/fill 2>/dev/null; \"$@\"; s=$?; "
        "cp /tmp/cgi.log /app/cgi.log.copy; exit $s";
    RunResult result = RunPage("", view);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_TRUE(MatchesGolden(result.out, Golden("five_rows.html")));
    EXPECT_EQ(ReadFile(app + "/cgi.log.copy"), "");
}

// /tmp fills up during the run (the log has 196 bytes of room left): the
// whole page; the old lines stay, the record that fits is whole, the next
// one is cut where the room ends (a short write is not continued: the rest
// could land after another process's line) and the later ones are dropped.
TEST_F(FaultTest, LogThatFillsTheFileSystemGivesTheWholePage) {
    View view;
    view.tmpSize = "65536";
    // 15 pages of filler, and 3900 bytes of old lines in the 16th page.
    view.before =
        "head -c 61440 /dev/zero > /tmp/fill; i=0; while [ $i -lt 39 ]; do "
        "printf '%099d\\n' $i; i=$((i+1)); done > /tmp/cgi.log; \"$@\"; s=$?; "
        "cp /tmp/cgi.log /app/cgi.log.copy; exit $s";
    RunResult result = RunPage("", view);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_TRUE(MatchesGolden(result.out, Golden("five_rows.html")));
    const std::string log = ReadFile(app + "/cgi.log.copy");
    EXPECT_EQ(log.size(), 4096u);
    auto lines = SplitLines(log);
    ASSERT_EQ(lines.size(), 41u);
    LogLine line;
    EXPECT_TRUE(ParseLogLine(lines[39], line)) << lines[39];
    EXPECT_EQ(line.message, "main");
    EXPECT_EQ(lines[40].substr(0, 28).size(), 28u);  // the cut record: no line feed
    EXPECT_NE(log.back(), '\n');
}

// --- /app -----------------------------------------------------------------

// No /app at all: the whole page, without a preliminary version (three
// rows), with empty version cells (the class throws) and unreadable flags.
TEST_F(FaultTest, NoAppGivesTheWholePageWithEmptyCells) {
    View view;
    view.noApp = true;
    RunResult result = RunPage("", view);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_TRUE(Complete(result.out));
    EXPECT_EQ(Cell(result.out, "Preliminary version"), "<no row>");
    for (const char* label : {"Current PACKAGE", "Current SYSTEM", "Current APPLICATION"})
        EXPECT_EQ(Cell(result.out, label), "") << label;
    EXPECT_EQ(Cell(result.out, "SYSTEM IMAGE:"), "Error: update flag not readable");
    EXPECT_EQ(Cell(result.out, "APPLICATION IMAGE:"), "Error: update flag not readable");
    EXPECT_EQ(Count(Log(), "Methode 'getFirmwareVersion' threw an exception"), 3u);
}

// /app without any access for the program's user: the same page as without /app.
TEST_F(FaultTest, UnreadableAppGivesTheSamePageAsNoApp) {
    View none;
    none.noApp = true;
    const std::string withoutApp = RunPage("", none).out;
    std::filesystem::permissions(app, std::filesystem::perms::none);
    View view;
    view.uid = "65534";
    RunResult result = RunPage("", view);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, withoutApp);
}

// VERSION or BUILDDATE a directory: read as empty. No preliminary version
// gives three rows; an empty build date gives an empty cell.
TEST_F(FaultTest, AppFilesThatAreDirectoriesReadAsEmpty) {
    std::filesystem::remove(app + "/VERSION");
    std::filesystem::create_directory(app + "/VERSION");
    RunResult result = RunPage("");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_TRUE(MatchesGolden(result.out, Golden("three_rows.html")));

    std::filesystem::remove(app + "/VERSION");
    WriteFile(app + "/VERSION", "PRELIMINARY_VERSION=2.7.0-rc1\n");
    std::filesystem::remove(app + "/BUILDDATE");
    std::filesystem::create_directory(app + "/BUILDDATE");
    result = RunPage("");
    EXPECT_TRUE(Complete(result.out));
    EXPECT_EQ(Cell(result.out, "Preliminary version"), "2.7.0-rc1");
    EXPECT_EQ(Cell(result.out, "Applicationimage created"), "");
}

// A BUILDDATE of 100 MB without a line feed: the cell holds its first 4096
// bytes; the run reads no more than that (peak memory printed beside that of
// a plain run).
TEST_F(FaultTest, HugeBuildDateIsReadToAShortLineOnly) {
    View measured;
    measured.before = "exec /usr/bin/time -f 'peak_kb=%M' \"$@\"";
    auto peak = [](const RunResult& result) {
        auto at = result.err.rfind("peak_kb=");
        return at == std::string::npos ? -1L : std::stol(result.err.substr(at + 8));
    };
    const long plain = peak(RunPage("", measured));
    {
        std::ofstream out(app + "/BUILDDATE", std::ios::binary | std::ios::trunc);
        const std::string block(1 << 20, 'x');
        for (int i = 0; i < 100; ++i) out << block;
    }
    RunResult result = RunPage("", measured);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_TRUE(Complete(result.out));
    EXPECT_EQ(Cell(result.out, "Applicationimage created"), std::string(4096, 'x'));
    std::cout << "[ figures  ] peak memory " << plain << " KiB plain, " << peak(result)
              << " KiB with a 100 MB BUILDDATE\n";
    EXPECT_LT(peak(result) - plain, 50 * 1024);  // far below the file's size
}

// Binary VERSION and BUILDDATE: their bytes reach the cells as they are (the
// page writes texts unescaped); the page is complete.
TEST_F(FaultTest, BinaryAppFilesReachTheCellsAsTheyAre) {
    std::string bytes;
    for (int c = 255; c >= 0; --c)
        if (c != '\n') bytes.push_back(static_cast<char>(c));
    const char version[] = "PRELIMINARY_VERSION=\x01\x7f\xff<b>\x00x\r\n";
    WriteFile(app + "/VERSION", std::string(version, sizeof version - 1));
    WriteFile(app + "/BUILDDATE", bytes + "\nsecond line\n");
    RunResult result = RunPage("");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_TRUE(Complete(result.out));
    EXPECT_EQ(Cell(result.out, "Preliminary version"), std::string("\x01\x7f\xff<b>\x00x", 8));
    EXPECT_EQ(Cell(result.out, "Applicationimage created"), bytes);
}

// --- the Java class ---------------------------------------------------------

// A thread that is not a daemon, ending after 1.5 s: DestroyJavaVM waits for
// it (the VM's own rule), then the page ends as usual.
TEST_F(FaultTest, NonDaemonThreadDelaysTheEndOnly) {
    RunResult result = RunPage("nondaemon", {}, {}, "-Dovix.worker.millis=1500");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_TRUE(Complete(result.out));
    EXPECT_GE(result.seconds, 1.5);
    EXPECT_NE(Log().find("worker thread ended\n"), std::string::npos);
}

// A thread that is not a daemon and never ends keeps DestroyJavaVM waiting
// until the web server ends the request: SIGTERM reaches the VM's handler,
// which ends the process with status 143 within a few seconds. The page
// then lacks only its closing tags.
TEST_F(FaultTest, NonDaemonThreadThatNeverEndsEndsOnSigterm) {
    RunOptions options;
    options.useTrigger = true;
    options.trigger = "</form>\n</div>\n";
    options.signal = SIGTERM;
    options.signalTarget = kProgram;
    RunResult result = RunPage("nondaemon", {}, options, "-Dovix.worker.millis=600000");
    ASSERT_GE(result.triggeredAt, 0);
    std::cout << "[ figures  ] ended " << result.seconds - result.triggeredAt
              << " s after SIGTERM\n";
    EXPECT_LT(result.seconds - result.triggeredAt, 20);
    EXPECT_EQ(result.exitCode, 143);
    EXPECT_EQ(Messages(Log()).back(), "GetAppFlag");
}

// A class method that sleeps for ten minutes: the request waits (the program
// sets no bound of its own) until SIGTERM, which the VM's handler turns into
// status 143 within a few seconds; the page stops at the first version row.
TEST_F(FaultTest, SleepingClassEndsOnSigterm) {
    RunOptions options;
    options.useTrigger = true;
    options.trigger = kContent;
    options.signal = SIGTERM;
    options.signalTarget = kProgram;
    RunResult result = RunPage("sleeping", {}, options);
    ASSERT_GE(result.triggeredAt, 0);
    std::cout << "[ figures  ] ended " << result.seconds - result.triggeredAt
              << " s after SIGTERM\n";
    EXPECT_LT(result.seconds - result.triggeredAt, 20);
    EXPECT_EQ(result.exitCode, 143);
    EXPECT_EQ(Messages(Log()).back(), "GetVersion");
}

// SIGTERM while the VM starts (sent once the description is out): the
// process ends within a few seconds, by the signal or by the VM's handler.
TEST_F(FaultTest, SigtermWhileTheVmStartsEndsTheProcess) {
    RunOptions options;
    options.useTrigger = true;
    options.trigger = "</ul>\n</div>\n";
    options.signal = SIGTERM;
    options.signalTarget = kProgram;
    RunResult result = RunPage("sleeping", {}, options);
    ASSERT_GE(result.triggeredAt, 0);
    std::cout << "[ figures  ] ended " << result.seconds - result.triggeredAt
              << " s after SIGTERM\n";
    EXPECT_LT(result.seconds - result.triggeredAt, 20);
    EXPECT_TRUE(result.signal == SIGTERM || result.exitCode == 143);
}

// --- the client goes away ----------------------------------------------------

// Standard output closed before the first byte: the first write (the CGI
// header, before the VM starts) ends the process by SIGPIPE at once (the
// view reports a death by signal N as status 128 + N).
TEST_F(FaultTest, ClientGoneBeforeTheFirstByteEndsAtOnce) {
    RunOptions options;
    options.useTrigger = true;
    options.closeStdout = true;
    RunResult result = RunPage("", {}, options);
    EXPECT_EQ(result.exitCode, 128 + SIGPIPE);
    EXPECT_EQ(Messages(Log()), std::vector<std::string>{"main"});
}

// Standard output closed while the VM runs: the VM's handler ignores
// SIGPIPE, so the writes fail quietly and the program runs to its usual end
// (every query made and logged), status 0.
TEST_F(FaultTest, ClientGoneMidPageRunsToTheEnd) {
    RunOptions options;
    options.useTrigger = true;
    options.trigger = kContent;
    options.closeStdout = true;
    RunResult result = RunPage("sleeping", {}, options, "-Dovix.sleep.millis=200");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(Messages(Log()).back(), "GetAppFlag");
    EXPECT_EQ(Count(Log(), "GetVersion"), 3u);
}

// --- messages of the VM itself ---------------------------------------------

// With the deployment options, what the VM says itself (a warning, a thread
// dump on SIGQUIT) goes to standard error; the page is untouched.
TEST_F(FaultTest, VmMessagesStayOffThePageWithTheDeploymentOptions) {
    RunOptions options;
    options.env = {ToolOptions(std::string(kDeploymentOptions) + " -XX:+UseLargePages")};
    RunResult result = RunPage("", {}, options);
    EXPECT_TRUE(MatchesGolden(result.out, Golden("five_rows.html")));
    EXPECT_NE(result.err.find("UseLargePages disabled"), std::string::npos) << result.err;

    options.useTrigger = true;
    options.trigger = kContent;
    options.signal = SIGQUIT;
    options.signalTarget = kProgram;
    result = RunPage("sleeping", {}, options, "-Dovix.sleep.millis=300");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_TRUE(Complete(result.out));
    EXPECT_EQ(result.out.find("Full thread dump"), std::string::npos);
    EXPECT_NE(result.err.find("Full thread dump"), std::string::npos);
}

// VM options that the VM refuses so badly that it ends the process during
// JNI_CreateJavaVM (two collectors): its message goes to standard error with
// the deployment options; the page stops after the description, status 1.
TEST_F(FaultTest, VmThatEndsTheProcessWhileStartingLeavesTheDescription) {
    RunOptions options;
    options.env = {
        ToolOptions(std::string(kDeploymentOptions) + " -XX:+UseSerialGC -XX:+UseParallelGC")};
    RunResult result = RunPage("", {}, options);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.out.find("</ul>\n</div>\n"), std::string::npos);
    EXPECT_EQ(result.out.find("Error occurred"), std::string::npos);
    EXPECT_NE(result.err.find("Multiple garbage collectors selected"), std::string::npos);
    EXPECT_EQ(Messages(Log()).back(), "JAVA_CLASSPATH:" + ConfigJar(""));
}

}  // namespace
