// A listening socket on the loopback interface, for the web client's tests
// and its benchmark.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>

namespace loopback {

// A listening socket on 127.0.0.1 at a port the system picks.
class Listener {
public:
    explicit Listener(int backlog = 8) {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int one = 1;
        setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        if (bind(fd_, (sockaddr*)&addr, sizeof addr) != 0 || listen(fd_, backlog) != 0) std::abort();
        socklen_t len = sizeof addr;
        getsockname(fd_, (sockaddr*)&addr, &len);
        port_ = ntohs(addr.sin_port);
    }
    ~Listener() { close(fd_); }
    int port() const { return port_; }
    int fd() const { return fd_; }
    // True when a connection waits to be accepted (without waiting for one).
    bool has_pending() const {
        pollfd p{fd_, POLLIN, 0};
        return poll(&p, 1, 0) == 1;
    }

private:
    int fd_ = -1;
    int port_ = 0;
};

} // namespace loopback
