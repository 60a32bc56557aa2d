// Any bytes as what the device-manager service sends back: through the
// receive path of SendToQuor into GetVarNode, GetSingleVar and
// GetStatusMessages, and through the allocation routine's text search. A
// server thread on 127.0.0.1:5302 answers every connection with the input, so
// the harness runs only in the isolated view (a network of its own).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

#include "QuorManipulator.h"

namespace {

std::mutex replyMutex;
std::string currentReply;

// True when loopback is the only network interface, as in scripts/isolate.
bool OnlyLoopback() {
    FILE* devices = std::fopen("/proc/net/dev", "r");
    if (devices == nullptr) return false;
    char line[512];
    int interfaces = 0;
    bool loopback = false;
    while (std::fgets(line, sizeof line, devices) != nullptr) {
        std::string text(line);
        const auto colon = text.find(':');
        if (colon == std::string::npos) continue;
        const auto start = text.find_first_not_of(' ');
        ++interfaces;
        loopback = loopback || text.substr(start, colon - start) == "lo";
    }
    std::fclose(devices);
    return interfaces == 1 && loopback;
}

// Reads a request up to the end of its packet, answers with the current
// input and closes, for every connection.
void Serve(int listener) {
    for (;;) {
        int peer = accept(listener, nullptr, nullptr);
        if (peer < 0) continue;
        std::string request;
        char buffer[4096];
        while (request.find("</wddxPacket>") == std::string::npos) {
            ssize_t n = recv(peer, buffer, sizeof buffer, 0);
            if (n <= 0) break;
            request.append(buffer, static_cast<size_t>(n));
        }
        std::string reply;
        {
            std::lock_guard<std::mutex> lock(replyMutex);
            reply = currentReply;
        }
        for (size_t sent = 0; sent < reply.size();) {
            ssize_t n = send(peer, reply.data() + sent, reply.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) break;
            sent += static_cast<size_t>(n);
        }
        shutdown(peer, SHUT_WR);
        close(peer);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (!OnlyLoopback()) {
        std::fputs("quor_reply_fuzzer: run it in scripts/isolate (port 5302, /tmp)\n", stderr);
        std::exit(2);
    }
    // The private /tmp: a directory in place of the log keeps the log client
    // from writing gigabytes; the routine's printed replies go nowhere.
    mkdir("/tmp/cgi.log", 0755);
    if (std::freopen("/dev/null", "w", stdout) == nullptr) std::exit(2);

    int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int on = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(kQuorPort);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener, 16) != 0) {
        std::perror("quor_reply_fuzzer: port 5302");
        std::exit(2);
    }
    std::thread(Serve, listener).detach();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    {
        std::lock_guard<std::mutex> lock(replyMutex);
        currentReply.assign(reinterpret_cast<const char*>(data), size);
    }
    {
        QuorManipulator quor;
        std::string reply;
        if (quor.SendToQuor(kQuorAddress, "quorGetDeviceStatus", reply) == 0) {
            (void)quor.GetSingleVar("IsAllocated");
            std::string code, msg;
            quor.GetStatusMessages(code, msg);
            (void)quor.GetVarNode("DeviceOwner");
        }
    }
    (void)ToggleDeviceAllocation();
    return 0;
}
