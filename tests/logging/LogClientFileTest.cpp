#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>

#include "JniLayout.h"
#include "TestSupport.h"

using namespace testsupport;

namespace {

TEST(LogClientFile, AppendsOrTruncatesByFlag) {
    TempDir dir;
    const std::string path = dir / "log";
    WriteFile(path, "earlier\n");
    LogHandler handler("h");
    LogClientFile appending(path, true);
    handler.AddLogClient(&appending);
    handler.Log(10, "f.cpp", 1, "one");
    EXPECT_EQ(ReadFile(path), "earlier\none\n");  // no layout: the bare message

    LogClientFile truncating(path, false);
    EXPECT_EQ(ReadFile(path), "");
    LogHandler other("o");
    other.AddLogClient(&truncating);
    other.Log(10, "f.cpp", 1, "two");
    EXPECT_EQ(ReadFile(path), "two\n");
}

TEST(LogClientFile, FileThatCannotBeOpenedDropsEvents) {
    TempDir dir;
    LogHandler handler("h");
    LogClientFile intoDirectory(dir.Path(), true);
    LogClientFile missingFolder(dir / "no/such/folder/log", true);
    handler.AddLogClient(&intoDirectory);
    handler.AddLogClient(&missingFolder);
    handler.Log(40, "f.cpp", 1, "dropped");
    EXPECT_FALSE(std::filesystem::exists(dir / "no"));
}

TEST(LogHandler, PassesEveryEventToEveryClientInOrder) {
    TempDir dir;
    JniLayout layout;
    LogClientFile first(dir / "a", true), second(dir / "b", true);
    first.SetLayout(&layout);
    LogHandler inner("inner"), outer("outer");
    inner.AddLogClient(&first);
    outer.AddLogClient(&inner);
    outer.AddLogClient(&second);
    outer.Log(10, "f.cpp", 3, "x");
    LogLine line;
    ASSERT_TRUE(ParseLogLine(SplitLines(ReadFile(dir / "a")).at(0), line));
    EXPECT_EQ(line.label, "outer");  // the handler it was logged through
    EXPECT_EQ(line.pid, getpid());
    EXPECT_EQ(ReadFile(dir / "b"), "x\n");
}

// Many processes append to one file at once, as concurrent requests do:
// every line must arrive whole, and none may be lost or merged.
TEST(LogClientFile, ConcurrentProcessesNeverTearLines) {
    TempDir dir;
    const std::string path = dir / "cgi.log";
    const int processes = 8, linesEach = 4000;
    std::vector<pid_t> children;
    for (int p = 0; p < processes; ++p) {
        pid_t pid = fork();
        if (pid == 0) {
            JniLayout layout;
            LogClientFile file(path, true);
            file.SetLayout(&layout);
            LogHandler handler("cgi");
            handler.AddLogClient(&file);
            for (int i = 0; i < linesEach; ++i) {
                // Lengths vary from a few bytes to beyond a pipe buffer.
                std::string padding(static_cast<size_t>((i * 37) % 6000), 'a' + p);
                handler.Log(10, "src/UpdateFirmwareForm.cpp", i,
                            "n=" + std::to_string(i) + " " + padding);
            }
            _exit(0);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    std::map<int, int> next;  // per process: the sequence number expected next
    size_t count = 0;
    for (const auto& text : SplitLines(ReadFile(path))) {
        LogLine line;
        ASSERT_TRUE(ParseLogLine(text, line)) << "torn line: " << text.substr(0, 120);
        int& expected = next[line.pid];
        ASSERT_EQ(line.line, expected) << "lost or reordered line of " << line.pid;
        std::string padding(static_cast<size_t>((expected * 37) % 6000),
                            line.message.empty() ? '?' : line.message.back());
        ASSERT_EQ(line.message, "n=" + std::to_string(expected) + " " + padding);
        ++expected;
        ++count;
    }
    EXPECT_EQ(next.size(), static_cast<size_t>(processes));
    EXPECT_EQ(count, static_cast<size_t>(processes * linesEach));
}

}  // namespace
