#ifndef OVIX_PLATFORM_FD_H
#define OVIX_PLATFORM_FD_H

// Owner of a file descriptor, shared by the program and the platform
// stand-ins: it closes the descriptor when it goes and cannot be copied.

#include <unistd.h>

#include <utility>

// Owns a file descriptor; -1 for none.
class Fd {
  public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    Fd(Fd&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    Fd& operator=(Fd&& other) noexcept {
        std::swap(fd_, other.fd_);  // other closes the old one
        return *this;
    }
    int Get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }

  private:
    int fd_;
};

#endif
