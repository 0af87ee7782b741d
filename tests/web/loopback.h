// A real HTTP peer on the loopback interface, driven by the test itself on
// the test's own thread: the test decides exactly when the peer accepts,
// reads, answers in pieces, goes silent or closes, and polls the client in
// between.  Every wait is bounded, so a client that stalls fails the test
// instead of hanging it.
#pragma once

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <functional>
#include <string>
#include <utility>

#include "listener.h"
#include "zov_web.h"

namespace loopback {

// How long a wait in these tests may go without progress before it counts
// as a hang.  It restarts whenever bytes move or the request changes state,
// so a busy machine that only runs slowly never reaches it.
constexpr auto kDeadline = std::chrono::seconds(10);

// The deadline of one wait, pushed back by every step of progress.
class Stall {
public:
    // True once `progress` (any counts that grow as the work goes on) has
    // stayed the same for the whole deadline.
    bool stuck(const std::array<long, 4>& progress) {
        auto now = std::chrono::steady_clock::now();
        if (progress != last_) {
            last_ = progress;
            since_ = now;
        }
        return now - since_ > kDeadline;
    }

private:
    std::chrono::steady_clock::time_point since_ = std::chrono::steady_clock::now();
    std::array<long, 4> last_{};
};

// One accepted connection, non-blocking.
class Peer {
public:
    Peer() = default;
    ~Peer() { close_now(); }
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;

    // Waits (bounded) for the client's connection.
    bool accept_from(const Listener& l) {
        pollfd p{l.fd(), POLLIN, 0};
        if (poll(&p, 1, 10000) != 1) return false;
        fd_ = accept(l.fd(), nullptr, nullptr);
        if (fd_ < 0) return false;
        fcntl(fd_, F_SETFL, O_NONBLOCK);
        return true;
    }
    // Appends whatever has arrived to `got`; false once the client closed.
    bool drain() {
        char buf[65536];
        for (;;) {
            ssize_t n = recv(fd_, buf, sizeof buf, 0);
            if (n > 0) {
                got.append(buf, (size_t)n);
                continue;
            }
            return n != 0;
        }
    }
    // Sends all of s (the client reads meanwhile only when the test polls
    // it, so keep pieces below the socket buffers or use send_pumped).
    void send_all(const std::string& s) {
        size_t off = 0;
        while (off < s.size()) {
            ssize_t n = send(fd_, s.data() + off, s.size() - off, MSG_NOSIGNAL);
            if (n > 0) off += (size_t)n;
            else if (n < 0 && errno != EAGAIN) break;
        }
    }
    // Closes with a reset instead of an orderly end.
    void reset() {
        linger l{1, 0};
        setsockopt(fd_, SOL_SOCKET, SO_LINGER, &l, sizeof l);
        close_now();
    }
    void close_now() {
        if (fd_ >= 0) close(fd_);
        fd_ = -1;
    }
    int fd() const { return fd_; }

    std::string got; // every byte the client sent

private:
    int fd_ = -1;
};

// Polls the client, draining the peer meanwhile, until done() holds or the
// request is over.  Returns the last poll's result; a hang fails the test.
inline int pump(zov_web* page, Peer* peer, const std::function<bool()>& done = [] { return false; }) {
    Stall stall;
    int over = 0;
    while (!(over = zov_web_poll(page)) && !done()) {
        if (peer && peer->fd() >= 0) peer->drain();
        std::array<long, 4> progress = {page->state, page->_request.pos, page->_response.len,
                                        peer ? (long)peer->got.size() : 0};
        if (stall.stuck(progress)) {
            ADD_FAILURE() << "the request neither ended nor progressed in time (state " << page->state << ")";
            break;
        }
    }
    if (peer && peer->fd() >= 0) peer->drain();
    return over;
}

// Sends s to the client while polling it, so that pieces larger than the
// socket buffers get through.
inline void send_pumped(zov_web* page, Peer& peer, const std::string& s) {
    Stall stall;
    size_t off = 0;
    while (off < s.size() && !stall.stuck({(long)off, page->_response.len})) {
        ssize_t n = send(peer.fd(), s.data() + off, s.size() - off, MSG_NOSIGNAL);
        if (n > 0) off += (size_t)n;
        else if (n < 0 && errno != EAGAIN) break;
        if (zov_web_poll(page)) break;
    }
}

// The body as a string.
inline std::string body(const zov_web* page) {
    return page->data ? std::string((const char*)page->data, (size_t)page->len) : std::string();
}

// Owns a request record.
struct Request {
    zov_web* page;
    explicit Request(zov_web* p) : page(p) {}
    Request(Request&& other) noexcept : page(std::exchange(other.page, nullptr)) {}
    Request(const Request&) = delete;
    Request& operator=(const Request&) = delete;
    ~Request() { zov_web_destroy(page); }
    zov_web* operator->() const { return page; }
    operator zov_web*() const { return page; }
};

} // namespace loopback
