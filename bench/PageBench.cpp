// Runs commands in turn, round after round, and reports the median wall time,
// time to first and to last byte of standard output, peak resident memory and
// processor time of each.
//
//   pagebench RUNS NAME COMMAND [NAME COMMAND ...]
// COMMAND is one argument: '|'-separated fields, leading NAME=VALUE fields set
// the environment, the rest are the program and its arguments.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

struct Command {
    std::string name;
    std::vector<std::string> env, argv;
    std::vector<double> wall, firstByte, lastByte, peakMiB, cpu;
    int failures = 0;
};

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::string::size_type start = 0, end;
    while ((end = text.find(separator, start)) != std::string::npos) {
        parts.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    parts.push_back(text.substr(start));
    return parts;
}

double Ms(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

void RunOnce(Command& command) {
    int out[2];
    if (pipe(out) != 0) return;
    std::vector<char*> argv, envp;
    for (auto& a : command.argv) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) env.emplace_back(*e);
    env.insert(env.end(), command.env.begin(), command.env.end());
    for (auto& e : env) envp.push_back(&e[0]);
    envp.push_back(nullptr);

    auto start = Clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], 1);
        close(out[0]);
        close(out[1]);
        int null = open("/dev/null", O_WRONLY);  // the VM's notes on stderr are not measured
        dup2(null, 2);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    close(out[1]);
    char buffer[65536];
    Clock::time_point first{}, last = start;
    ssize_t n;
    while ((n = read(out[0], buffer, sizeof buffer)) > 0) {
        if (first == Clock::time_point{}) first = Clock::now();
        last = Clock::now();
    }
    close(out[0]);
    int status = 0;
    struct rusage usage;
    wait4(pid, &status, 0, &usage);
    auto end = Clock::now();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) ++command.failures;
    command.wall.push_back(Ms(start, end));
    if (first != Clock::time_point{}) {
        command.firstByte.push_back(Ms(start, first));
        command.lastByte.push_back(Ms(start, last));
    }
    command.peakMiB.push_back(usage.ru_maxrss / 1024.0);
    command.cpu.push_back((usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
                          (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3);
}

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4 || argc % 2 != 0) {
        std::fprintf(stderr, "usage: %s RUNS NAME COMMAND [NAME COMMAND ...]\n", argv[0]);
        return 2;
    }
    const int runs = std::atoi(argv[1]);
    std::vector<Command> commands;
    for (int i = 2; i + 1 < argc; i += 2) {
        Command command;
        command.name = argv[i];
        for (const auto& field : Split(argv[i + 1], '|')) {
            if (command.argv.empty() && field.find('=') != std::string::npos)
                command.env.push_back(field);
            else
                command.argv.push_back(field);
        }
        commands.push_back(command);
    }
    for (auto& command : commands) {
        RunOnce(command);  // warms the page cache; not counted
        command = Command{command.name, command.env, command.argv, {}, {}, {}, {}, {}, 0};
    }
    for (int round = 0; round < runs; ++round) {
        // Alternate the order so that neither command always runs first.
        if (round % 2 == 0) {
            for (auto& command : commands) RunOnce(command);
        } else {
            for (auto it = commands.rbegin(); it != commands.rend(); ++it) RunOnce(*it);
        }
    }
    // One line per command: name, runs, medians of wall time, first byte,
    // last byte (ms) and peak resident memory (MiB), failed runs, processor
    // time (user and system, ms).
    for (const auto& c : commands) {
        std::printf("%s\t%zu\t%.2f\t%.2f\t%.2f\t%.2f\t%d\t%.2f\n", c.name.c_str(), c.wall.size(),
                    Median(c.wall), Median(c.firstByte), Median(c.lastByte), Median(c.peakMiB),
                    c.failures, Median(c.cpu));
    }
    return 0;
}
