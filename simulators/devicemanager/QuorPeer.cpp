#include "QuorPeer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>

bool ParseDelivery(const std::string& name, Delivery& delivery) {
    static const char* const kNames[] = {"whole",  "chunks", "bytewise",    "trickle",
                                         "silent", "reset",  "backlog-full"};
    const auto found = std::find(std::begin(kNames), std::end(kNames), name);
    delivery = static_cast<Delivery>(found - std::begin(kNames));
    return found != std::end(kNames);
}

namespace {

// Whether the request holds its header block and the body that its
// length header (any case) gives, none without one.
bool Complete(const std::string& request) {
    const size_t end = request.find("\r\n\r\n");
    if (end == std::string::npos) return false;
    std::string head = request.substr(0, end);
    std::transform(head.begin(), head.end(), head.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    const size_t at = head.find("\ncontent-length:");
    const size_t length = at == std::string::npos ? 0 : std::strtoul(&head[at + 16], nullptr, 10);
    return request.size() >= end + 4 + length;
}

}  // namespace

QuorPeer::QuorPeer(std::vector<std::string> replies, Delivery delivery,
                   std::chrono::milliseconds pause)
    : replies_(std::move(replies)), delivery_(delivery), pause_(pause) {
    const sockaddr_in address{AF_INET, htons(5302), {htonl(INADDR_LOOPBACK)}, {}};
    const auto* at = reinterpret_cast<const sockaddr*>(&address);
    Fd listener(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const int one = 1;
    setsockopt(listener.Get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    const bool full = delivery_ == Delivery::BacklogFull;
    if (bind(listener.Get(), at, sizeof address) != 0 || listen(listener.Get(), full ? 0 : 16) != 0)
        return;
    listener_ = std::move(listener);
    // Connections that are never accepted fill the queue of a backlog of 0;
    // the kernel then drops further connection requests.
    for (int i = 0; full && i < 2; ++i) {
        held_.emplace_back(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
        connect(held_.back().Get(), at, sizeof address);
        pollfd ready{held_.back().Get(), POLLOUT, 0};
        poll(&ready, 1, 100);
    }
    thread_ = std::thread([this, full] {
        for (size_t number = 0; !stop_ && !full; ++number) {
            const Fd connection(accept4(listener_.Get(), nullptr, nullptr, SOCK_CLOEXEC));
            if (connection)
                Answer(connection.Get(), replies_[std::min(number, replies_.size() - 1)]);
        }
    });
}

QuorPeer::~QuorPeer() {
    stop_ = true;
    if (listener_) shutdown(listener_.Get(), SHUT_RDWR);  // ends a waiting accept
    if (thread_.joinable()) thread_.join();
}

void QuorPeer::Answer(int fd, const std::string& reply) {
    if (delivery_ == Delivery::Reset) {
        const linger abort{1, 0};
        setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
        return;
    }
    // The request: its header block and the body its length header gives
    // (silent: all until the client goes away); less when the client stays
    // silent for 5 s (silent: until the peer stops).
    const bool silent = delivery_ == Delivery::Silent;
    std::string request;
    char buffer[4096];
    for (int idle = 0; !stop_ && (silent || !Complete(request)) && idle < 50;) {
        pollfd ready{fd, POLLIN, 0};
        if (poll(&ready, 1, 100) == 0) {
            idle += silent ? 0 : 1;
            continue;
        }
        const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        request.append(buffer, static_cast<size_t>(n));
        idle = 0;
    }
    std::unique_lock<std::mutex> lock(mutex_);
    requests_.push_back(request);
    lock.unlock();
    recorded_.notify_all();
    if (silent) return;
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    // Whole: one piece. Else the first piece ends with the XML declaration,
    // which the client looks for in its first receive only.
    size_t at = delivery_ == Delivery::Whole
                    ? reply.size()
                    : std::min(reply.find('>', reply.find("\r\n\r\n")) + 1, reply.size());
    const size_t piece = delivery_ == Delivery::Chunks ? 32 : 1;
    bool open = send(fd, reply.data(), at, MSG_NOSIGNAL) >= 0;  // blocking: all of it
    for (; open && !stop_ && (at < reply.size() || delivery_ == Delivery::Trickle); at += piece) {
        std::this_thread::sleep_for(pause_);
        const bool more = at < reply.size();
        open = send(fd, more ? &reply[at] : " ", more ? std::min(piece, reply.size() - at) : 1,
                    MSG_NOSIGNAL) > 0;
    }
}

std::vector<std::string> QuorPeer::Requests(size_t count) {
    std::unique_lock<std::mutex> lock(mutex_);
    recorded_.wait_for(lock, std::chrono::seconds(5), [&] { return requests_.size() >= count; });
    return requests_;
}
