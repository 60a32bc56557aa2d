// The real program, run as a web server runs it, in the isolated view: the
// test writes the device's /app files and reads /tmp/cgi.log afterwards.
#include <gtest/gtest.h>

#include <filesystem>

#include "TestSupport.h"

using namespace testsupport;

namespace {

using Strings = std::vector<std::string>;

class PageTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::filesystem::remove_all("/tmp/cgi.log");
        for (const auto& entry : std::filesystem::directory_iterator("/app"))
            std::filesystem::remove_all(entry.path());
        WriteSampleDevice("/app");
    }

    RunResult RunPage(const std::string& variant = "", RunOptions options = {}) {
        options.env.insert(options.env.begin(),
                           {"JAVA_CLASSPATH=" + ConfigJar(variant),
                            "JAVA_OPTIONS=-Dovix.config=/app/ovix.properties"});
        options.timeoutSeconds = 30;
        RunResult result =
            testsupport::Run({std::string(OVIX_BUILD_DIR) + "/updatefirmwareform.cgi"}, options);
        EXPECT_FALSE(result.timedOut);
        if (std::getenv("OVIX_CHECK_JNI") != nullptr) {
            for (const std::string& text : {result.out, result.err, ReadFile("/tmp/cgi.log")})
                EXPECT_EQ(text.find("WARNING"), std::string::npos) << text;
        }
        return result;
    }

    // The program's own log records, in order; the VM's error output
    // (stack traces) in between is left out.
    static std::vector<LogLine> Records() {
        std::vector<LogLine> records;
        for (const auto& text : SplitLines(ReadFile("/tmp/cgi.log"))) {
            LogLine line;
            if (ParseLogLine(text, line)) records.push_back(line);
        }
        return records;
    }
    static Strings Messages() {
        Strings messages;
        for (const auto& record : Records()) messages.push_back(record.message);
        return messages;
    }
    static size_t Count(const std::string& message) {
        Strings all = Messages();
        return static_cast<size_t>(std::count(all.begin(), all.end(), message));
    }

    // The value cell of the table row whose label starts with the text.
    static std::string Cell(const std::string& page, const std::string& label) {
        auto at = page.find("<tr><td>" + label);
        if (at == std::string::npos) return "<no row>";
        auto start = page.find("<td>", at + 8) + 4;
        return page.substr(start, page.find("</td>", start) - start);
    }
    static std::string Golden(const std::string& name) { return DataPath("page/" + name); }
};

TEST_F(PageTest, CompletePageWithFiveRows) {
    RunResult result = RunPage();
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_TRUE(MatchesGolden(result.out, Golden("five_rows.html")));
    EXPECT_EQ(
        Messages(),
        (Strings{"main", "OpenJavaVM", "JAVA_OPTIONS: -Dovix.config=/app/ovix.properties",
                 "JAVA_CLASSPATH:" + ConfigJar(""), "ChangeStdErr", "GetVersion", "Version: 20601",
                 "GetVersion", "Version: 20512", "GetVersion", "Version: 20604",
                 "GetReleaseCandidate", "GetCreatedAt", "GetBootFlag", "GetAppFlag"}));
    for (const auto& record : Records()) {
        EXPECT_EQ(record.level, "DEBUG");
        EXPECT_EQ(record.label, "cgi");
    }
    EXPECT_EQ(Records().front().file, "src/UpdateFirmwareForm.cpp");
}

TEST_F(PageTest, NoPreliminaryVersionGivesThreeRowsAndNoBuildDate) {
    WriteFile("/app/VERSION", "# no preliminary version\nOTHER=1\n");
    std::filesystem::remove("/app/BUILDDATE");
    RunResult result = RunPage();
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_TRUE(MatchesGolden(result.out, Golden("three_rows.html")));
    EXPECT_EQ(Count("GetCreatedAt"), 0u);
    EXPECT_EQ(Count("Cann't open /app/BUILDDATE"), 0u);
}

TEST_F(PageTest, VersionFileMissingOrEmptyValueGivesThreeRows) {
    std::filesystem::remove("/app/VERSION");
    EXPECT_TRUE(MatchesGolden(RunPage().out, Golden("three_rows.html")));
    WriteFile("/app/VERSION", "PRELIMINARY_VERSION=\n");
    EXPECT_TRUE(MatchesGolden(RunPage().out, Golden("three_rows.html")));
}

TEST_F(PageTest, VersionFileCommentsAndRepeatedKeys) {
    WriteFile("/app/VERSION",
              "# PRELIMINARY_VERSION=commented\n! PRELIMINARY_VERSION=also\r\n"
              "PRELIMINARY_VERSION = first\r\n  PRELIMINARY_VERSION =  2.7.0-rc2  \r\n");
    EXPECT_EQ(Cell(RunPage().out, "Preliminary version"), "2.7.0-rc2");
}

TEST_F(PageTest, BuildDateFileCases) {
    std::filesystem::remove("/app/BUILDDATE");
    std::string page = RunPage().out;
    EXPECT_EQ(Cell(page, "Applicationimage created"), "");
    EXPECT_EQ(Cell(page, "Preliminary version"), "2.7.0-rc1");
    EXPECT_EQ(Count("Cann't open /app/BUILDDATE"), 1u);
    EXPECT_EQ(Records().back().level, "DEBUG");  // the flags are still queried

    WriteFile("/app/BUILDDATE", "");
    EXPECT_EQ(Cell(RunPage().out, "Applicationimage created"), "");
    WriteFile("/app/BUILDDATE", "2026-11-28\r\nsecond line\n");
    EXPECT_EQ(Cell(RunPage().out, "Applicationimage created"), "2026-11-28\r");
    WriteFile("/app/BUILDDATE", "first\nsecond\nthird");
    EXPECT_EQ(Cell(RunPage().out, "Applicationimage created"), "first");
    WriteFile("/app/BUILDDATE", "no line feed");
    EXPECT_EQ(Cell(RunPage().out, "Applicationimage created"), "no line feed");
}

TEST_F(PageTest, QueryResultsAreWrittenUnescaped) {
    WriteFile("/app/VERSION", "PRELIMINARY_VERSION=<b>rc&1</b>\n");
    WriteFile("/app/BUILDDATE", "<i>today</i> & \"now\"\n");
    std::string page = RunPage().out;
    EXPECT_EQ(Cell(page, "Preliminary version"), "<b>rc&1</b>");
    EXPECT_EQ(Cell(page, "Applicationimage created"), "<i>today</i> & \"now\"");
}

TEST_F(PageTest, RequestChangesNothing) {
    const std::string golden = Golden("five_rows.html");
    RunOptions get;
    get.env = {"REQUEST_METHOD=GET", "QUERY_STRING=imagetype=application&submit=x"};
    EXPECT_TRUE(MatchesGolden(RunPage("", get).out, golden));
    RunOptions post;
    post.env = {"REQUEST_METHOD=POST", "CONTENT_TYPE=application/x-www-form-urlencoded",
                "CONTENT_LENGTH=27"};
    post.input = "resetbootflag=Reset+Flag&x=";
    EXPECT_TRUE(MatchesGolden(RunPage("", post).out, golden));
    for (const char* method : {"HEAD", "PUT", "DELETE"}) {
        RunOptions other;
        other.env = {std::string("REQUEST_METHOD=") + method};
        EXPECT_TRUE(MatchesGolden(RunPage("", other).out, golden)) << method;
    }
    RunOptions plain;
    plain.env = {"JAVA_CLASSPATH=" + ConfigJar(""),
                 "JAVA_OPTIONS=-Dovix.config=/app/ovix.properties"};
    RunResult withArguments = testsupport::Run(
        {std::string(OVIX_BUILD_DIR) + "/updatefirmwareform.cgi", "-x", "--help"}, plain);
    EXPECT_TRUE(MatchesGolden(withArguments.out, golden));
}

TEST_F(PageTest, MissingJavaLibraryEndsThePageAfterTheDescription) {
    // The same program in a view where the JDK's folder is empty.
    RunOptions options;
    options.env = {"JAVA_CLASSPATH=" + ConfigJar(""),
                   "JAVA_OPTIONS=-Dovix.config=/app/ovix.properties"};
    RunResult result =
        testsupport::Run({"/usr/bin/bwrap", "--dev-bind", "/", "/", "--tmpfs", "/usr/lib/jvm", "--",
                          std::string(OVIX_BUILD_DIR) + "/updatefirmwareform.cgi"},
                         options);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(MatchesGolden(result.out, Golden("no_vm.html")));
    Strings messages = Messages();
    ASSERT_GE(messages.size(), 2u);
    EXPECT_NE(messages[messages.size() - 2].find("libjvm.so"), std::string::npos);
    EXPECT_EQ(messages.back(), "Can't create Java VM");
}

TEST_F(PageTest, MissingClassEndsThePageAfterTheDescription) {
    RunOptions options;
    options.env = {"JAVA_CLASSPATH=/app/nothing-here.jar"};
    RunResult result = RunPage("", options);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(MatchesGolden(result.out, Golden("no_vm.html")));
    EXPECT_EQ(Messages().back(), "Class 'com/vantor/ovix/config/ConfigOvix' not found");
    EXPECT_NE(ReadFile("/tmp/cgi.log").find("java.lang.NoClassDefFoundError"), std::string::npos);
}

TEST_F(PageTest, MissingVersionMethodLeavesEmptyCells) {
    RunResult result = RunPage("nofirmwareversion");
    EXPECT_EQ(result.exitCode, 0);
    for (const char* label : {"Current PACKAGE", "Current SYSTEM", "Current APPLICATION"})
        EXPECT_EQ(Cell(result.out, label), "") << label;
    EXPECT_EQ(Cell(result.out, "SYSTEM IMAGE:"), "No update pending");
    EXPECT_EQ(Cell(result.out, "APPLICATION IMAGE:"), "Update done: reboot to start the new image");
    EXPECT_EQ(Count("Methode 'getFirmwareVersion' not found"), 3u);
    for (const auto& message : Messages()) EXPECT_NE(message.rfind("Version: ", 0), 0u) << message;
}

TEST_F(PageTest, ThrowingMethodsLeaveEmptyCellsNotZeros) {
    RunResult result = RunPage("throwing");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_TRUE(MatchesGolden(result.out, Golden("all_cells_empty.html")));
    EXPECT_EQ(Count("Methode 'getFirmwareVersion' threw an exception"), 3u);
    EXPECT_EQ(Count("Methode 'getUpdateState' threw an exception"), 2u);
    const std::string log = ReadFile("/tmp/cgi.log");
    EXPECT_NE(log.find("java.lang.IllegalStateException: version of image 204 unavailable"),
              std::string::npos);
    EXPECT_NE(log.find("java.lang.IllegalStateException: flag of image 201 unavailable"),
              std::string::npos);
}

TEST_F(PageTest, StatusMethodWithAnotherSignatureLeavesEmptyFlags) {
    RunResult result = RunPage("wrongsignatures");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(Cell(result.out, "SYSTEM IMAGE:"), "");
    EXPECT_EQ(Cell(result.out, "Current SYSTEM"), "");
    EXPECT_EQ(Count("Methode 'getUpdateState' not found"), 2u);
    EXPECT_EQ(Count("Methode 'getFirmwareVersion' not found"), 3u);
}

TEST_F(PageTest, VersionAndStateTextsAtTheirEdges) {
    std::string page = RunPage("texts").out;
    EXPECT_EQ(Cell(page, "Current PACKAGE"), "00.00.00");
    EXPECT_EQ(Cell(page, "Current SYSTEM"), "00.00.01");
    EXPECT_EQ(Cell(page, "Current APPLICATION"), "12.34.567");
    EXPECT_EQ(Cell(page, "SYSTEM IMAGE:"), "Unknown update state 7");
    EXPECT_EQ(Cell(page, "APPLICATION IMAGE:"), "Error: update flag is not a number");
}

}  // namespace
