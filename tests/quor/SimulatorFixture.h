#ifndef OVIX_TESTS_QUOR_SIMULATORFIXTURE_H
#define OVIX_TESTS_QUOR_SIMULATORFIXTURE_H

#include <gtest/gtest.h>
#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

#include "TestSupport.h"

namespace quortest {

struct SimulatorOptions {
    std::string fault = "none";  // one of the simulator's fault modes
    bool allocated = false;      // the device's state at the start
    std::string body;            // when set: the body of every reply
};

inline SimulatorOptions MakeOptions(std::string fault = "none", bool allocated = false,
                                    std::string body = "") {
    return SimulatorOptions{std::move(fault), allocated, std::move(body)};
}

// Starts the device-manager simulator on 127.0.0.1:5302 in SetUp, with the
// options a derived fixture sets, and stops it in TearDown. Only for test
// cases that run in the isolated view (a network of their own).
class SimulatorTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // The bytes of each connection's request and reply, in order. The
    // simulator records a connection once it has read its request.
    std::vector<std::string> Requests() const;
    std::vector<std::string> Responses() const;
    // Waits (at most 5 s) until the simulator has recorded that many connections.
    void WaitForConnections(size_t count) const;
    // The body of reply number (from 0): what follows the header block.
    std::string ResponseBody(size_t number) const;
    // "0" or "1": the device's allocation state.
    std::string State() const;
    // Replaces the body that every later reply carries (options_.body mode).
    void ServeBody(const std::string& body) const;

    SimulatorOptions options_;
    testsupport::TempDir dir_;

  private:
    std::vector<std::string> Recorded(const std::string& kind) const;
    pid_t pid_ = -1;
};

// A fixture whose simulator runs with the given options.
#define QUOR_SIMULATOR_FIXTURE(Name, ...)                         \
    class Name : public quortest::SimulatorTest {                 \
      public:                                                     \
        Name() { options_ = quortest::MakeOptions(__VA_ARGS__); } \
    }

// The entries of /tmp/cgi.log; lines that are not log lines continue the
// message of the entry before them.
std::vector<testsupport::LogLine> ReadLog();
// The messages of the entries at that level.
std::vector<std::string> Messages(const std::string& level);

// Watches files for being opened or read.
class OpenWatch {
  public:
    explicit OpenWatch(const std::vector<std::string>& paths);
    ~OpenWatch();
    OpenWatch(const OpenWatch&) = delete;
    OpenWatch& operator=(const OpenWatch&) = delete;
    bool Watching() const { return watching_; }
    // True when any of the files was opened since the watch began.
    bool Opened() const;

  private:
    int fd_ = -1;
    bool watching_ = false;
};

// A test file of tests/data/quor.
std::string QuorData(const std::string& name);

}  // namespace quortest

#endif
