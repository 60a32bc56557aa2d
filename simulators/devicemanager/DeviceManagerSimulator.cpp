// Stand-in of the device-manager service on 127.0.0.1:5302 for manual runs:
// answers the connections in turn with the reply files, the last one again
// once they are used up, until it is killed.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "QuorPeer.h"

int main(int argc, char** argv) {
    std::vector<std::string> replies;
    Delivery delivery = Delivery::Whole;
    int ms = 1000;
    bool ok = true;
    for (int i = 1; i < argc && ok; ++i) {
        const std::string arg = argv[i];
        if (arg == "--delivery" && i + 1 < argc) {
            ok = ParseDelivery(argv[++i], delivery);
        } else if (arg == "--pause" && i + 1 < argc) {
            ms = std::atoi(argv[++i]);
        } else if (arg != "--reply") {
            std::ifstream file(arg, std::ios::binary);
            replies.emplace_back(std::istreambuf_iterator<char>(file),
                                 std::istreambuf_iterator<char>());
            ok = arg[0] != '-' && file.is_open();
        }
    }
    if (!ok || replies.empty()) {
        std::fputs(
            "usage: devicemanager-sim [--delivery whole|chunks|bytewise|trickle|silent|"
            "reset|backlog-full] [--pause MS] --reply FILE...\n",
            stderr);
        return 2;
    }
    const QuorPeer peer(replies, delivery, std::chrono::milliseconds(ms));
    if (!peer.Listening()) {
        std::perror("devicemanager-sim: 127.0.0.1:5302");
        return 2;
    }
    std::puts("listening 127.0.0.1:5302");
    std::fflush(stdout);
    for (;;) pause();
}
