// The HTTP client's response handling on any bytes: a GET request whose
// socket is one end of a socket pair; the other end takes the request and
// answers with the input, in pieces whose size the first byte picks, then
// closes.  The request must finish with the input as its response, the body
// being what follows the head, zero-terminated.
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

#include "fuzz_support.h"
#include "zov_web.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const size_t piece = 1 + data[0] % 64 * 67; // 1 to 4222 bytes: reads end anywhere
    data++;
    size--;
    zov_web* page = zov_web_create("127.0.0.1", 80, "/", nullptr, 0, 60);
    int pair[2];
    if (page->state != 1 || socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, pair) != 0)
        fuzz_fail("no request to feed");
    close(page->sockfd); // never connected: the pair stands in for it
    page->sockfd = pair[0];
    page->state = 2;
    size_t sent = 0;
    bool closed = false;
    // Each poll reads at most one chunk, so this many polls finish any answer.
    const size_t polls_max = 2 * (size / piece + size / ZOV_WEB_CHUNK) + 16;
    size_t polls = 0;
    while (!zov_web_poll(page)) {
        if (++polls > polls_max) fuzz_fail("the request did not finish");
        if (page->state != 3) continue;
        if (sent < size) {
            size_t n = size - sent < piece ? size - sent : piece;
            ssize_t w = send(pair[1], data + sent, n, MSG_NOSIGNAL);
            if (w > 0) sent += (size_t)w;
        } else if (!closed) {
            shutdown(pair[1], SHUT_WR);
            closed = true;
        }
    }
    if (page->error || page->state != 4) fuzz_fail("the request failed");
    const int got = page->_response.len;
    if (got != (int)size || std::memcmp(page->_response.data, data, size) != 0)
        fuzz_fail("the response is not what was sent");
    if (page->header < 0 || page->header > got || page->len != got - page->header ||
        page->data != page->_response.data + page->header || page->data[page->len] != 0)
        fuzz_fail("the body is not the bytes after the head");
    char value[64];
    for (const char* name : {"Content-Type", "Content-Length", ""})
        zov_web_get_header(page, value, sizeof value, name);
    close(pair[1]);
    zov_web_destroy(page);
    return 0;
}
