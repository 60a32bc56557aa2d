#include "QuorPeer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

bool SendAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = send(fd, data, size, MSG_NOSIGNAL);
        if (n <= 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// The header block and as many body bytes as its content length names; less
// when the client closes or stays silent for 5 s.
std::string ReadRequest(int fd) {
    const timeval bound{5, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &bound, sizeof bound);
    std::string request;
    char buffer[4096];
    for (ssize_t n; (n = recv(fd, buffer, sizeof buffer, 0)) > 0;) {
        request.append(buffer, static_cast<size_t>(n));
        const auto end = request.find("\r\n\r\n");
        const char* length = strcasestr(request.c_str(), "\r\ncontent-length:");
        const size_t body = length != nullptr ? std::strtoul(length + 17, nullptr, 10) : 0;
        if (end != std::string::npos && request.size() >= end + 4 + body) break;
    }
    return request;
}

}  // namespace

bool ParseDelivery(const std::string& name, Delivery& delivery) {
    static const char* const kNames[] = {"whole",  "chunks", "bytewise",    "trickle",
                                         "silent", "reset",  "backlog-full"};
    const auto found = std::find(std::begin(kNames), std::end(kNames), name);
    delivery = static_cast<Delivery>(found - std::begin(kNames));
    return found != std::end(kNames);
}

QuorPeer::QuorPeer(std::vector<std::string> replies, Delivery delivery,
                   std::chrono::milliseconds pause)
    : replies_(std::move(replies)), delivery_(delivery), pause_(pause) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(5302);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    Fd listener(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const int one = 1;
    setsockopt(listener.Get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    const bool full = delivery_ == Delivery::BacklogFull;
    if (bind(listener.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener.Get(), full ? 0 : 16) != 0) {
        return;
    }
    listener_ = std::move(listener);
    // Connections that are never accepted fill the queue of a backlog of 0;
    // the kernel then drops further connection requests.
    for (int i = 0; full && i < 2; ++i) {
        held_.emplace_back(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
        connect(held_.back().Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address);
        pollfd ready{held_.back().Get(), POLLOUT, 0};
        poll(&ready, 1, 100);
    }
}

QuorPeer::~QuorPeer() {
    Stop();
}

void QuorPeer::Start() {
    thread_ = std::thread([this] { Serve(); });
}

void QuorPeer::Stop() {
    stop_ = true;
    if (listener_) shutdown(listener_.Get(), SHUT_RDWR);  // ends a waiting accept
    if (thread_.joinable()) thread_.join();
}

void QuorPeer::Serve() {
    for (size_t number = 0; !stop_ && listener_; ++number) {
        if (delivery_ == Delivery::BacklogFull) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        const Fd connection(accept4(listener_.Get(), nullptr, nullptr, SOCK_CLOEXEC));
        if (!connection) continue;
        Answer(connection.Get(),
               replies_.empty() ? "" : replies_[std::min(number, replies_.size() - 1)]);
    }
}

void QuorPeer::Answer(int fd, const std::string& reply) {
    if (delivery_ == Delivery::Reset) {
        const linger abort{1, 0};
        setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back(ReadRequest(fd));
    }
    recorded_.notify_all();
    char buffer[4096];
    if (delivery_ == Delivery::Silent) {
        while (recv(fd, buffer, sizeof buffer, 0) > 0) {
        }
        return;
    }
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    // Whole: one piece. Else the first piece ends with the XML declaration,
    // which the client looks for in its first receive only.
    size_t at = delivery_ == Delivery::Whole
                    ? reply.size()
                    : std::min(reply.find('>', reply.find("\r\n\r\n")) + 1, reply.size());
    const size_t piece = delivery_ == Delivery::Chunks ? 32 : 1;
    bool open = SendAll(fd, reply.data(), at);
    for (; open && !stop_ && (at < reply.size() || delivery_ == Delivery::Trickle); at += piece) {
        std::this_thread::sleep_for(pause_);
        open = at < reply.size() ? SendAll(fd, &reply[at], std::min(piece, reply.size() - at))
                                 : SendAll(fd, " ", 1);
    }
}

std::vector<std::string> QuorPeer::Requests(size_t count) {
    std::unique_lock<std::mutex> lock(mutex_);
    recorded_.wait_for(lock, std::chrono::seconds(5), [&] { return requests_.size() >= count; });
    return requests_;
}
