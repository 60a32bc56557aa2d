// Stand-in of the device-manager service on 127.0.0.1:5302 for manual runs:
// answers the connections in turn with the reply files, the last one again
// once they are used up, until it is killed. Prints "listening on ..." on
// standard output once it listens, and each request it reads on standard error.
#include <getopt.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "QuorPeer.h"

namespace {
const char* const kUsage =
    "usage: devicemanager-sim [--delivery MODE] [--pause MS] --reply FILE...\n"
    "Answers the connections to 127.0.0.1:5302 in turn with the FILEs (whole HTTP\n"
    "replies), the last one again once they are used up, and prints each request.\n"
    "  --delivery whole     each reply at once (the default)\n"
    "  --delivery chunks    the body in pieces of 32 bytes, one every --pause MS\n"
    "  --delivery bytewise  the body a byte every --pause MS (default 1000)\n"
    "  --delivery trickle   bytewise, then blanks until the client gives up\n"
    "  --delivery silent    reads the request, never answers, until the client goes\n"
    "  --delivery reset     resets each connection\n"
    "  --delivery backlog-full  never accepts: connections wait in a full queue\n";
}  // namespace

int main(int argc, char** argv) {
    static const option kOptions[] = {{"delivery", required_argument, nullptr, 'd'},
                                      {"pause", required_argument, nullptr, 'p'},
                                      {"reply", no_argument, nullptr, 'r'},
                                      {"help", no_argument, nullptr, 'h'},
                                      {}};
    Delivery delivery = Delivery::Whole;
    long ms = 1000;
    bool ok = true;
    for (int c; ok && (c = getopt_long(argc, argv, "", kOptions, nullptr)) != -1;) {
        char* end = nullptr;
        if (c == 'h') return std::fputs(kUsage, stdout) < 0;
        ok = c == 'd'   ? ParseDelivery(optarg, delivery)
             : c == 'p' ? (ms = std::strtol(optarg, &end, 10)) >= 0 && end != optarg && *end == 0
                        : c == 'r';
    }
    std::vector<std::string> replies;
    for (int i = optind; i < argc; ++i) {
        std::ifstream file(argv[i], std::ios::binary);
        replies.emplace_back(std::istreambuf_iterator<char>(file),
                             std::istreambuf_iterator<char>());
        ok = ok && file.is_open();
    }
    if (!ok || replies.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    QuorPeer peer(replies, delivery, std::chrono::milliseconds(ms));
    if (!peer.Listening()) {
        std::perror("devicemanager-sim: 127.0.0.1:5302");
        return 2;
    }
    std::puts("listening on 127.0.0.1:5302");
    std::fflush(stdout);
    for (size_t shown = 0;;) {
        const auto requests = peer.Requests(shown + 1);
        for (; shown < requests.size(); ++shown) {
            const std::string& text = requests[shown];
            std::fprintf(stderr, "devicemanager-sim: request %zu, %zu bytes:\n", shown + 1,
                         text.size());
            std::fwrite(text.data(), 1, text.size(), stderr);
            std::fputs(text.empty() || text.back() != '\n' ? "\n" : "", stderr);
        }
    }
}
