#ifndef OVIX_TESTS_TESTSUPPORT_H
#define OVIX_TESTS_TESTSUPPORT_H

#include <gtest/gtest.h>

#include <filesystem>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "Logger.h"

namespace testsupport {

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& content);
std::vector<std::string> SplitLines(const std::string& text);

// The jar of the configuration class stand-in, or of one of its test
// variants (tests/bridge/java/<variant>), as the build makes them.
std::string ConfigJar(const std::string& variant = "");

// A folder of the project's test data (tests/data/...).
std::string DataPath(const std::string& relative);

// Compares text with a golden file; on a difference, names the first line
// that differs and prints both texts. With OVIX_UPDATE_GOLDEN=1 in the
// environment it writes the golden file instead and succeeds.
::testing::AssertionResult MatchesGolden(const std::string& actual, const std::string& goldenPath);

// A fresh folder that is removed with everything in it when the holder goes.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

struct RunResult {
    int exitCode = -1;  // -1 when killed by a signal or timed out
    bool timedOut = false;
    std::string out;
    std::string err;
};

struct RunOptions {
    std::vector<std::string> env;  // NAME=VALUE entries added to the environment; the last wins
    double timeoutSeconds = 60;
    // Once standard output holds `trigger` (at once when it is empty):
    // closeStdout closes the reading end, as a client that goes away does,
    // and a non-zero `signal` goes to every process of the started process's
    // group that runs the program named `signalTarget` (a file name).
    std::optional<std::string> trigger;
    bool closeStdout = false;
    int signal = 0;
    std::string signalTarget;
};

// Runs a program and collects its output; kills it after the time-out.
RunResult Run(const std::vector<std::string>& argv, const RunOptions& options = {});

// The command that runs a program built for the target: argv itself
// natively, behind the emulator (qemu-ppc) in a cross build. Use it for
// every program of the build tree that a test starts.
std::vector<std::string> TargetCommand(const std::vector<std::string>& argv);

// The log file's text with each record reduced to "LEVEL LABEL FILE MESSAGE"
// (date, process id and line number left out); other lines (the Java VM's
// own output, continuation lines) stay as they are. The build folder is
// written as ${BUILD}. A record dated outside this process's lifetime (a
// few seconds of slack) or a line that starts with a date but is no record
// fails the running test. With withLines, a record keeps its line number
// after the file, as "FILE:LINE".
std::string LogDigest(const std::string& logText, bool withLines = false);

}  // namespace testsupport

#endif
