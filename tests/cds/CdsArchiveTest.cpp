// The page with the line that make-cds-archive prints, while its archive fits
// and after it no longer does: each time the whole page, exit 0, and nothing
// of the VM's complaint on standard output.
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <regex>

#include "TestSupport.h"

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

// One way the archive stops fitting; spoil gets the view's /tmp from outside.
struct Case {
    const char* name;
    std::string classPath, more;  // JAVA_CLASSPATH, more VM options
    std::function<void(const std::string& tmp)> spoil;
};
const char* const kJar = "/tmp/lib/configovix.jar";

void Overwrite(const std::string& tmp, size_t at, size_t size) {
    std::string bytes = ReadFile(tmp + "/page.jsa");
    WriteFile(tmp + "/page.jsa", bytes.replace(at, size, size, 'Z'));
}

}  // namespace

TEST(CdsArchive, PageStaysTheSameWhetherTheArchiveFitsOrNot) {
    TempDir app, tmp;
    fs::copy(DataPath("../../examples/device/app"), app.Path());
    fs::create_directories(tmp / "lib");
    fs::copy_file(ConfigJar(), tmp / "lib/configovix.jar");
    auto run = [&](std::vector<std::string> command, const std::string& classPath,
                   const std::string& toolOptions, const std::string& uid) {
        command.insert(command.begin(), {OVIX_ISOLATE, "--app", app.Path(), "--tmp", tmp.Path(),
                                         "--uid", uid, "--"});
        RunOptions options;
        options.env = {"JAVA_CLASSPATH=" + classPath, "JAVA_TOOL_OPTIONS=" + toolOptions,
                       "JAVA_OPTIONS=-Dovix.config=/app/ovix.properties"};
        return testsupport::Run(command, options);
    };
    const std::string program = OVIX_BUILD_DIR "/updatefirmwareform.cgi";
    RunResult made = run({OVIX_MAKE_CDS_ARCHIVE, program, "/tmp/page.jsa"}, kJar, "", "0");
    ASSERT_EQ(made.exitCode, 0) << made.err;
    std::smatch line;  // the last line of its output
    const std::regex expected("JAVA_TOOL_OPTIONS=\"(.*) -XX:SharedArchiveFile=/tmp/page.jsa\"\n$");
    ASSERT_TRUE(std::regex_search(made.out, line, expected)) << made.out;
    const std::string tuned = line[1];
    EXPECT_EQ(std::distance(fs::directory_iterator(tmp.Path()), {}), 3);  // lib, archive, log

    // The page runs as the web server's user, not as the one who made the archive.
    const std::vector<Case> table = {
        // -Xshare:on stops the VM when the archive does not map.
        {"fits", kJar, "-Xshare:on", nullptr},
        {"missing", kJar, "", [](const std::string& t) { fs::remove(t + "/page.jsa"); }},
        {"truncated", kJar, "",
         [](const std::string& t) { fs::resize_file(t + "/page.jsa", 1 << 20); }},
        {"header overwritten", kJar, "", [](const std::string& t) { Overwrite(t, 0, 4096); }},
        {"regions overwritten", kJar, "",
         [](const std::string& t) { Overwrite(t, 1 << 21, 1 << 16); }},
        {"made with other VM options", kJar, "-XX:-UseCompressedOops", nullptr},
        {"class path moved", "/tmp/moved/configovix.jar", "",
         [](const std::string& t) { fs::copy(t + "/lib", t + "/moved"); }},
        {"made by another user", kJar, "-Xshare:on",
         [](const std::string& t) { ASSERT_EQ(chown((t + "/page.jsa").c_str(), 4242, 4242), 0); }},
        {"made by another user, unreadable", kJar, "",
         [](const std::string& t) {
             fs::permissions(t + "/page.jsa", fs::perms::owner_read);
             ASSERT_EQ(chown((t + "/page.jsa").c_str(), 4242, 4242), 0);
         }},
        {"jar replaced", kJar, "",
         [](const std::string& t) {
             const std::string jar = t + "/lib/configovix.jar";
             fs::last_write_time(jar, fs::last_write_time(jar) - std::chrono::hours(1));
         }},
    };
    for (const Case& c : table) {
        SCOPED_TRACE(c.name);
        fs::copy_file(tmp / "page.jsa", tmp / "kept.jsa", fs::copy_options::overwrite_existing);
        if (c.spoil) c.spoil(tmp.Path());
        RunResult page = run({program}, c.classPath,
                             tuned + " -XX:SharedArchiveFile=/tmp/page.jsa " + c.more, "65534");
        EXPECT_EQ(page.exitCode, 0) << page.err;
        EXPECT_TRUE(MatchesGolden(page.out, DataPath("page/five_rows.html")));
        fs::rename(tmp / "kept.jsa", tmp / "page.jsa");
    }
}
