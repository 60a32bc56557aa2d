#ifndef OVIX_SIMULATORS_QUORPEER_H
#define OVIX_SIMULATORS_QUORPEER_H

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Fd.h"

// How the peer answers: whole; chunks (32 bytes) or bytewise after the header
// block and XML declaration; trickle (bytewise, then blanks); silent; reset
// (each connection); backlog-full (never accepts, its accept queue full).
enum class Delivery { Whole, Chunks, Bytewise, Trickle, Silent, Reset, BacklogFull };
bool ParseDelivery(const std::string& name, Delivery& delivery);

// Stand-in of the device-manager service on 127.0.0.1:5302: while it lives, a
// thread answers the connections in turn with whole HTTP replies, one each (the
// last one again once used up), `pause` between pieces, and records requests.
class QuorPeer {
  public:
    QuorPeer(std::vector<std::string> replies, Delivery delivery,
             std::chrono::milliseconds pause = std::chrono::milliseconds(1));
    ~QuorPeer();
    bool Listening() const { return static_cast<bool>(listener_); }
    // The requests so far, waiting up to 5 s until there are at least `count`.
    std::vector<std::string> Requests(size_t count);

  private:
    void Answer(int fd, const std::string& reply);

    std::vector<std::string> replies_;
    Delivery delivery_;
    std::chrono::milliseconds pause_;
    Fd listener_;
    std::vector<Fd> held_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable recorded_;
    std::vector<std::string> requests_;
};

#endif
