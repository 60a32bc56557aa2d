#ifndef OVIX_HANDLES_H
#define OVIX_HANDLES_H

// Owners of the handles that the program and its stand-ins hold: a file
// descriptor, and libxml2's documents and strings. Each releases its handle
// when it goes; none can be copied.

#include <unistd.h>

#include <memory>
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

// libxml2's types as its headers declare them, so that code without libxml2
// (the logging stand-in) can include this header.
struct _xmlDoc;
typedef unsigned char xmlChar;

// Releases what libxml2 hands out: a document with xmlFreeDoc, a string with
// xmlFree. Defined where libxml2 is linked (QuorManipulator.cpp).
struct XmlFree {
    void operator()(_xmlDoc* document) const;
    void operator()(xmlChar* text) const;
};
template <typename T>
using XmlPtr = std::unique_ptr<T, XmlFree>;
using XmlDoc = XmlPtr<_xmlDoc>;
using XmlText = XmlPtr<xmlChar>;

#endif
