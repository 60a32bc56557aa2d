// The real program, run as a web server runs it, once per scenario, each run
// in an isolated view of its own (scripts/isolate) whose /app starts as the
// sample device and whose /tmp is a folder of the test. Standard output is
// compared with a golden page, /tmp/cgi.log (as LogDigest) with
// tests/data/page/<scenario>.log. Every run has the VM's JNI checks on.
#include <signal.h>

#include <filesystem>
#include <numeric>
#include <regex>

#include "TestSupport.h"

using namespace testsupport;
using Strings = std::vector<std::string>;

namespace {

struct Row {
    const char* name;
    const char* html;  // golden page under tests/data/page; "" when not compared
    int exitCode;
    // Shell commands run in the view, "$@" being the program (run after
    // them when they do not name it). $DATA is tests/data/page, $JVM_DIR
    // the folder of libjvm.so that the program finds.
    const char* shell = "";
    const char* variant = "";       // the configuration class: the stand-in or a variant
    Strings env = {};               // more environment (JAVA_TOOL_OPTIONS: keep -Xcheck:jni)
    Strings isolate = {};           // more scripts/isolate options
    const char* err = "";           // standard error holds this
    const char* trigger = nullptr;  // once standard output holds it: the signal,
    int signal = 0;                 // or with none, the client goes away
    bool vm = true;                 // the run needs a Java VM that starts
    bool sorted = false;            // the log's lines compared in sorted order
};

const char* const kDeployment =
    "JAVA_TOOL_OPTIONS=-Xcheck:jni -XX:+DisplayVMOutputToStderr -Xlog:disable "
    "-Xlog:all=warning:stderr ";
const char* const kContent = "<div class=\"content\" >\n";
// Makes the start archive with the jar in /tmp/lib, takes the line that
// make-cds-archive prints, spoils the archive, runs the page as user 65534.
#define ARCHIVE(spoil)                                                                        \
    "mkdir /tmp/lib; cp \"$JAVA_CLASSPATH\" /tmp/lib; export "                                \
    "JAVA_CLASSPATH=/tmp/lib/configovix.jar; "                                                \
    "\"$DATA/../../../scripts/make-cds-archive\" \"$1\" /tmp/page.jsa >/tmp/made || exit 9; " \
    "rm /tmp/cgi.log; eval \"export $(tail -n 1 /tmp/made)\"; "                               \
    "JAVA_TOOL_OPTIONS=\"-Xcheck:jni $JAVA_TOOL_OPTIONS\"; " spoil                            \
    "; exec bwrap --dev-bind / / --unshare-user --uid 65534 --gid 65534 \"$@\""

// clang-format off
const Row kRows[] = {
    // Under strace: the program's writes to standard output and where the
    // Java library is loaded, compared with five_rows.writes.
    {"five_rows", "five_rows.html", 0,
     "exec strace -qq -xx -s 65536 -e trace=openat,write -o /tmp/trace \"$@\""},
    {"no_preliminary_version", "three_rows.html", 0,
     "printf '# no preliminary version\\nOTHER=1\\n' >/app/VERSION; rm /app/BUILDDATE"},
    {"empty_preliminary_version", "three_rows.html", 0, "echo PRELIMINARY_VERSION= >/app/VERSION"},
    {"version_directory", "three_rows.html", 0, "rm /app/VERSION; mkdir /app/VERSION"},
    {"version_comments", "version_comments.html", 0,
     "printf '# PRELIMINARY_VERSION=commented\\n! PRELIMINARY_VERSION=also\\r\\n"
     "PRELIMINARY_VERSION = first\\r\\n  PRELIMINARY_VERSION =  2.7.0-rc2  \\r\\n' >/app/VERSION"},
    {"no_build_date", "no_build_date.html", 0, "rm /app/BUILDDATE"},
    {"build_date_directory", "no_build_date.html", 0, "rm /app/BUILDDATE; mkdir /app/BUILDDATE"},
    {"markup_in_app_files", "markup_in_app_files.html", 0,
     "echo 'PRELIMINARY_VERSION=<b>rc&1</b>' >/app/VERSION; "
     "echo '<i>today</i> & \"now\"' >/app/BUILDDATE"},
    {"binary_app_files", "binary_app_files.html", 0,
     "cp \"$DATA/binary/VERSION\" \"$DATA/binary/BUILDDATE\" /app"},
    {"request_and_arguments_ignored", "five_rows.html", 0,
     "printf 'resetbootflag=Reset+Flag&x=' | \"$@\" -x --help", "",
     {"REQUEST_METHOD=POST", "CONTENT_TYPE=application/x-www-form-urlencoded",
      "CONTENT_LENGTH=27", "QUERY_STRING=imagetype=application&submit=x"}},
    {"no_java_library", "no_vm.html", 1, "exec bwrap --dev-bind / / --tmpfs \"$JVM_DIR\" \"$@\""},
    {"no_class", "no_vm.html", 1, "", "", {"JAVA_CLASSPATH=/app/nothing-here.jar"}},
    // The VM refuses its options; where no VM exists, it cannot start either.
    {"vm_refuses_options", "no_vm.html", 1, "", "",
     {"JAVA_CLASSPATH=/app/none.jar", "JAVA_OPTIONS=-Xms64m -Xmx32m"}, {}, "", nullptr, 0, false},
    {"no_version_method", "no_version_method.html", 0, "", "nofirmwareversion"},
    {"throwing", "all_cells_empty.html", 0, "", "throwing"},
    {"wrong_signatures", "wrong_signatures.html", 0, "", "wrongsignatures"},
    {"values_at_their_edges", "values_at_their_edges.html", 0, "", "texts"},
    // The log file: not writable, a directory, on a full /tmp, filling /tmp.
    {"log_not_writable", "five_rows.html", 0, "echo before >/tmp/cgi.log; chmod 444 /tmp/cgi.log",
     "", {}, {"--uid", "65534"}, "java.io.FileNotFoundException: /tmp/cgi.log (Permission denied)"},
    {"log_is_directory", "five_rows.html", 0, "mkdir /tmp/cgi.log", "", {}, {},
     "java.io.FileNotFoundException: /tmp/cgi.log (Is a directory)"},
    // A /tmp of its own: the log is copied to /app/cgi.log for the test.
    {"log_on_full_tmp", "five_rows.html", 0,
     "head -c 1048576 /dev/zero >/tmp/fill 2>/dev/null; \"$@\"; s=$?; "
     "cp /tmp/cgi.log /app/cgi.log; exit $s", "", {}, {"--tmp-size", "65536"}},
    // 196 bytes of room left: the first record whole, the next one cut
    // where the room ends (a short write is not continued), no more.
    {"log_fills_tmp", "five_rows.html", 0,
     "head -c 61440 /dev/zero >/tmp/fill; i=0; while [ $i -lt 39 ]; do "
     "printf '%099d\\n' $i; i=$((i+1)); done >/tmp/cgi.log; \"$@\"; s=$?; "
     "echo log $(wc -c </tmp/cgi.log) bytes, $(wc -l </tmp/cgi.log) lines >&2; "
     "head -n 40 /tmp/cgi.log >/app/cgi.log; exit $s",
     "", {}, {"--tmp-size", "65536"}, "log 4096 bytes, 40 lines"},
    {"no_app", "no_app.html", 0, "", "", {}, {"--no-app"}},
    {"unreadable_app", "no_app.html", 0, "chmod 0 /app", "", {}, {"--uid", "65534"}},
    // A thread that is not a daemon: DestroyJavaVM waits for it; when it
    // never ends, SIGTERM ends the process (the VM's handler: status 143).
    {"non_daemon_thread", "non_daemon_thread.html", 0, "", "nondaemon",
     {"JAVA_OPTIONS=-Dovix.worker.millis=1500"}},
    {"non_daemon_thread_sigterm", "non_daemon_thread_sigterm.html", 143, "", "nondaemon",
     {"JAVA_OPTIONS=-Dovix.worker.millis=600000"}, {}, "", "</form>\n</div>\n", SIGTERM},
    {"sleeping_class_sigterm", "sleeping_class_sigterm.html", 143, "", "sleeping", {}, {}, "",
     kContent, SIGTERM},
    // The client goes away: before the first byte the first write ends the
    // process (SIGPIPE, 128 + 13); later the writes fail quietly.
    {"client_gone_at_once", "", 128 + SIGPIPE, "", "", {}, {}, "", "", 0, false},
    {"client_gone_mid_page", "", 0, "", "sleeping", {"JAVA_OPTIONS=-Dovix.sleep.millis=200"},
     {}, "", kContent},
    // What the VM says itself stays off the page with the deployment options.
    {"vm_warning_to_stderr", "five_rows.html", 0, "", "",
     {std::string(kDeployment) + "-XX:+UseLargePages"}, {}, "UseLargePages disabled"},
    {"thread_dump_to_stderr", "sleeping_class.html", 0, "", "sleeping",
     {"JAVA_OPTIONS=-Dovix.sleep.millis=300", kDeployment}, {}, "Full thread dump", kContent,
     SIGQUIT},
    {"vm_ends_while_starting", "vm_ends_while_starting.html", 1, "", "",
     {std::string(kDeployment) + "-XX:+UseSerialGC -XX:+UseParallelGC"}, {},
     "Multiple garbage collectors selected"},
    // 200 requests at once in one view, every fourth with a class that
    // throws: the lines of 150 five_rows and 50 throwing runs, none torn.
    // OVIX_CONCURRENT_RUNS (a multiple of 4) lowers the count under emulation.
    {"concurrent_runs", "", 0,
     "i=0; while [ $i -lt ${OVIX_CONCURRENT_RUNS:-200} ]; do j=$JAVA_CLASSPATH; "
     "[ $((i % 4)) -eq 0 ] && j=${j%.jar}-throwing.jar; "
     "(JAVA_CLASSPATH=$j \"$@\" >/dev/null 2>&1 || touch /tmp/failed) & "
     "i=$((i + 1)); done; wait; [ ! -e /tmp/failed ]", "",
     {"JAVA_TOOL_OPTIONS=-Xcheck:jni -XX:+UseSerialGC -XX:TieredStopAtLevel=1 "
      "-XX:-UsePerfData -Xmx32m"}, {}, "", nullptr, 0, true, true},
    // The start archive that make-cds-archive makes (as root), then spoiled
    // as a JDK update, a moved or replaced jar, a damaged file or another
    // user leaves it: the page as the web server's user stays the same.
    {"archive_fits", "five_rows.html", 0, ARCHIVE("JAVA_TOOL_OPTIONS=\"$JAVA_TOOL_OPTIONS -Xshare:on\"")},
    {"archive_missing", "five_rows.html", 0, ARCHIVE("rm /tmp/page.jsa")},
    {"archive_truncated", "five_rows.html", 0, ARCHIVE("truncate -s 1M /tmp/page.jsa")},
    {"archive_header_damaged", "five_rows.html", 0,
     ARCHIVE("printf %4096s | dd of=/tmp/page.jsa conv=notrunc status=none")},
    {"archive_regions_damaged", "five_rows.html", 0,
     ARCHIVE("printf %65536s | dd of=/tmp/page.jsa bs=65536 seek=32 conv=notrunc status=none")},
    {"archive_of_other_vm_options", "five_rows.html", 0,
     ARCHIVE("JAVA_TOOL_OPTIONS=\"$JAVA_TOOL_OPTIONS -XX:-UseCompressedOops\"")},
    {"archive_class_path_moved", "five_rows.html", 0,
     ARCHIVE("mv /tmp/lib /tmp/moved; JAVA_CLASSPATH=/tmp/moved/configovix.jar")},
    {"archive_of_another_user", "five_rows.html", 0,
     ARCHIVE("chown 4242:4242 /tmp/page.jsa; JAVA_TOOL_OPTIONS=\"$JAVA_TOOL_OPTIONS -Xshare:on\"")},
    {"archive_of_another_user_unreadable", "five_rows.html", 0,
     ARCHIVE("chmod 400 /tmp/page.jsa; chown 4242:4242 /tmp/page.jsa")},
    {"archive_jar_replaced", "five_rows.html", 0,
     ARCHIVE("touch -d '1 hour ago' /tmp/lib/configovix.jar")},
};
// clang-format on

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

class Page : public ::testing::TestWithParam<Row> {};

TEST_P(Page, Scenario) {
    const Row& row = GetParam();
    if (row.vm && !OVIX_JAVA_VM_RUNS) GTEST_SKIP() << "no Java VM starts in this build";
    TempDir dir;
    const std::string app = dir / "app", tmp = dir / "tmp";
    std::filesystem::create_directory(tmp);
    std::filesystem::copy(DataPath("../../examples/device/app"), app);

    Strings argv = {OVIX_ISOLATE, "--app", app, "--tmp", tmp};
    argv.insert(argv.end(), row.isolate.begin(), row.isolate.end());
    argv.push_back("--");
    std::string shell = row.shell;
    if (!shell.empty() && shell.find("\"$@\"") == std::string::npos) shell += "; exec \"$@\"";
    if (!shell.empty()) argv.insert(argv.end(), {"/bin/sh", "-c", shell, "sh"});
    argv.push_back(OVIX_PAGE_PROGRAM);

    RunOptions options;
    options.env = {"JAVA_CLASSPATH=" + ConfigJar(row.variant),
                   "JAVA_OPTIONS=-Dovix.config=/app/ovix.properties", "DATA=" + DataPath("page"),
                   std::string("JVM_DIR=") + OVIX_JVM_DIR};
    options.env.push_back("JAVA_TOOL_OPTIONS=-Xcheck:jni");
    options.env.insert(options.env.end(), row.env.begin(), row.env.end());
    options.useTrigger = row.trigger != nullptr;
    options.trigger = row.trigger != nullptr ? row.trigger : "";
    options.signal = row.signal;
    options.closeStdout = row.signal == 0;
    options.signalTarget = "updatefirmwareform.cgi";
    options.timeoutSeconds = 110;
    RunResult result = testsupport::Run(argv, options);

    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitCode, row.exitCode) << result.err;
    if (*row.html != '\0') {
        EXPECT_TRUE(MatchesGolden(result.out, DataPath("page/") + row.html));
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
    EXPECT_NE(result.err.find(row.err), std::string::npos) << result.err;
    for (const std::string& text : {result.out, result.err, log}) {
        EXPECT_EQ(text.find("WARNING"), std::string::npos) << text;
        EXPECT_EQ(text.find("FATAL ERROR"), std::string::npos) << text;
    }
    if (std::filesystem::exists(tmp + "/trace")) {
        EXPECT_TRUE(MatchesGolden(Writes(ReadFile(tmp + "/trace")),
                                  DataPath("page/") + row.name + ".writes"));
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, Page, ::testing::ValuesIn(kRows));

}  // namespace
