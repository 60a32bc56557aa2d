// Stand-in of the device-manager service on 127.0.0.1:5302 for manual runs:
//   devicemanager-sim [--delivery MODE] [--pause MS] --reply FILE...
// answers the connections in turn with the files (whole HTTP replies), the
// last one again once they are used up, until it is killed.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "QuorPeer.h"

int main(int argc, char** argv) {
    std::vector<std::string> replies;
    Delivery delivery = Delivery::Whole;
    std::chrono::milliseconds pause(1000);
    bool ok = true;
    for (int i = 1; i < argc && ok; ++i) {
        if (std::strcmp(argv[i], "--delivery") == 0 && i + 1 < argc) {
            ok = ParseDelivery(argv[++i], delivery);
        } else if (std::strcmp(argv[i], "--pause") == 0 && i + 1 < argc) {
            pause = std::chrono::milliseconds(std::atoi(argv[++i]));
        } else if (std::strcmp(argv[i], "--reply") == 0) {
            for (; i + 1 < argc && argv[i + 1][0] != '-'; ++i) {
                std::ifstream file(argv[i + 1], std::ios::binary);
                std::ostringstream text;
                text << file.rdbuf();
                ok = ok && file.good();
                replies.push_back(text.str());
            }
        } else {
            ok = false;
        }
    }
    if (!ok || replies.empty()) {
        std::fputs(
            "usage: devicemanager-sim [--delivery whole|chunks|bytewise|trickle|silent|"
            "reset|backlog-full] [--pause MS] --reply FILE...\n",
            stderr);
        return 2;
    }
    QuorPeer peer(replies, delivery, pause);
    if (!peer.Listening()) {
        std::perror("devicemanager-sim: 127.0.0.1:5302");
        return 2;
    }
    std::puts("listening 127.0.0.1:5302");
    std::fflush(stdout);
    peer.Serve();
}
