// Stand-in of the device-manager service on 127.0.0.1:5302 for manual runs:
// answers the connections in turn with the reply files, the last one again
// once they are used up, until it is killed.
#include <getopt.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "QuorPeer.h"

int main(int argc, char** argv) {
    static const option kOptions[] = {{"delivery", required_argument, nullptr, 'd'},
                                      {"pause", required_argument, nullptr, 'p'},
                                      {"reply", no_argument, nullptr, 'r'},
                                      {}};
    Delivery delivery = Delivery::Whole;
    int ms = 1000;
    bool ok = true;
    for (int c; ok && (c = getopt_long(argc, argv, "", kOptions, nullptr)) != -1;)
        ok = c == 'd'   ? ParseDelivery(optarg, delivery)
             : c == 'p' ? (ms = std::atoi(optarg)) >= 0
                        : c == 'r';
    std::vector<std::string> replies;
    for (int i = optind; i < argc; ++i) {
        std::ifstream file(argv[i], std::ios::binary);
        replies.emplace_back(std::istreambuf_iterator<char>(file),
                             std::istreambuf_iterator<char>());
        ok = ok && file.is_open();
    }
    if (!ok || replies.empty()) {
        std::fputs("usage: devicemanager-sim [--delivery MODE] [--pause MS] --reply FILE...\n",
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
