#include "zov_web.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <string>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

int _zov_web_is_init = 0;

// ====== Lifecycle ======

int zov_web_init() {
    _zov_web_is_init = 1;
    return 0;
}

void zov_web_deinit() {}

// ====== Internals ======

bool zov_web_extend(zov_web_buffer* buf, int ext) {
    if (ext < 0 || ext > INT_MAX - buf->len) return false;
    long long need = (long long)buf->len + ext;
    long long target = buf->alloc ? buf->alloc : 1;
    while (target < need) target *= 2;
    if (target > INT_MAX) target = need; // the sizes are ints: no doubling past them
    if (target <= buf->alloc) return true;
    unsigned char* grown = (unsigned char*)std::realloc(buf->data, (size_t)target);
    if (!grown) return false;
    std::memset(grown + buf->len, 0, (size_t)(target - buf->len));
    buf->data = grown;
    buf->alloc = (int)target;
    return true;
}

long zov_web_get_ticks() {
    // Monotonic: a wall clock set back while a request waits would otherwise
    // hold it for as long as the clock went back.
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (long)now.tv_sec;
}

void zov_web_delay(long ticks) { (void)ticks; }

void zov_web_reset_timeout(zov_web* page) { page->timeout = zov_web_get_ticks() + page->_timeout; }

void zov_find_header(zov_web* page) {
    // Lines may end in LF or CR LF: CRs are skipped, and the head ends at
    // the first LF whose previous non-CR byte is an LF too.
    const unsigned char* d = page->_response.data;
    int i = page->header;
    for (; i < page->_response.len; i++) {
        int c = d[i];
        if (c == '\r') continue;
        if (c == '\n' && page->_head_last == '\n') {
            page->header = i + 1;
            page->_head_done = 1;
            return;
        }
        page->_head_last = c;
    }
    // No blank line yet: everything so far is head and the body is empty.
    page->header = page->_response.len;
}

// ====== Host names ======

in_addr* zov_gethostbyname(const char* name) {
    static std::map<std::string, HostAddr> cache; // lives until the program exits
    auto it = cache.find(name);
    if (it == cache.end()) {
        std::fprintf(stderr, "gethostbyname ...\n");
        hostent* he = gethostbyname(name);
        if (!he || he->h_addrtype != AF_INET || !he->h_addr_list[0]) {
            herror("gethostbyname");
            std::fprintf(stderr, "gethostbyname(%s) == null; h_errno = %d\n", name, h_errno);
            return nullptr;
        }
        std::fprintf(stderr, "zov_gethostbyname('%s') cached\n", name);
        in_addr addr;
        std::memcpy(&addr, he->h_addr_list[0], sizeof addr);
        it = cache.emplace(name, HostAddr(addr)).first;
    }
    return it->second.ok ? &it->second.value : nullptr;
}

// ====== Requests ======

namespace {

// A blank or a control byte in the request line or the Host line would let
// the caller's text add lines of its own to the request.
bool is_request_safe(const char* s) {
    for (const unsigned char* p = (const unsigned char*)s; *p; p++)
        if (*p <= ' ' || *p == 0x7f) return false;
    return true;
}

// Copies s into a field of size n when it fits whole and is safe.
bool copy_field(char* field, int n, const char* s) {
    if (!s || std::strlen(s) >= (size_t)n || !is_request_safe(s)) return false;
    std::strcpy(field, s);
    return true;
}

// Marks the request failed; false, so that a caller can return it.
bool fail(zov_web* page) {
    page->error = 1;
    return false;
}

// The request head and body into `_request`.
bool format_request(zov_web* page, const void* post, int postlen) {
    zov_web_buffer& req = page->_request;
    const char* head_format = postlen == 0 ? "GET %s HTTP/1.0\nHost: %s:%d\n\n"
                                           : "POST %s HTTP/1.0\nHost: %s:%d\n"
                                             "Content-Type: application/x-www-form-urlencoded\n"
                                             "Content-Length: %d\n\n";
    // Measured first: the longest host and path give a head beyond 1024 bytes.
    int head = std::snprintf(nullptr, 0, head_format, page->path, page->host, page->port, postlen);
    if (head < 0 || postlen > INT_MAX - head - 1 || !zov_web_extend(&req, head + 1 + postlen)) return false;
    std::snprintf((char*)req.data, (size_t)head + 1, head_format, page->path, page->host, page->port, postlen);
    if (postlen > 0) std::memcpy(req.data + head, post, (size_t)postlen);
    req.len = head + postlen;
    return true;
}

bool open_socket(zov_web* page, const in_addr& addr) {
    page->their_addr.sin_family = AF_INET;
    page->their_addr.sin_port = htons((uint16_t)page->port);
    page->their_addr.sin_addr = addr;
    std::memset(page->their_addr.sin_zero, 0, sizeof page->their_addr.sin_zero);
    page->sockfd = socket(AF_INET, SOCK_STREAM, 0);
    if (page->sockfd == -1) {
        std::perror("socket");
        std::fprintf(stderr, "socket() == -1\n");
        return fail(page);
    }
    // select() cannot watch a descriptor beyond its set: FD_SET would write
    // past the end of it.
    if (page->sockfd >= FD_SETSIZE) {
        std::fprintf(stderr, "zov_web_create: socket %d is beyond select()'s limit of %d\n", page->sockfd,
                     FD_SETSIZE);
        return fail(page);
    }
    // A blocking connect would stall the game for as long as the peer is
    // silent.
    if (fcntl(page->sockfd, F_SETFL, O_NONBLOCK) == -1) {
        std::perror("fcntl");
        return fail(page);
    }
    page->state = 1;
    return true;
}

} // namespace

zov_web* zov_web_create(const char* host, int port, const char* path, const void* post, int postlen,
                        int timeout) {
    zov_web* page = (zov_web*)std::calloc(1, sizeof(zov_web));
    page->state = 0;
    page->port = port;
    page->_timeout = timeout;
    zov_web_reset_timeout(page);
    page->sockfd = -1;

    if (!host || !*host || !copy_field(page->host, sizeof page->host, host)) {
        std::fprintf(stderr, "zov_web_create: bad host: 1 to %d bytes, no blanks or control bytes\n",
                     ZOV_WEB_HOST_MAX - 1);
        fail(page);
    } else if (!copy_field(page->path, sizeof page->path, path)) {
        std::fprintf(stderr, "zov_web_create: bad path: at most %d bytes, no blanks or control bytes\n",
                     ZOV_WEB_PATH_MAX - 1);
        fail(page);
    } else if (port < 1 || port > 65535) {
        std::fprintf(stderr, "zov_web_create: bad port %d\n", port);
        fail(page);
    } else if (postlen < 0 || (postlen > 0 && !post)) {
        std::fprintf(stderr, "zov_web_create: bad post body (%d bytes)\n", postlen);
        fail(page);
    } else if (!format_request(page, post, postlen)) {
        std::fprintf(stderr, "zov_web_create: no memory for a request with %d body bytes\n", postlen);
        fail(page);
    }
    if (page->error) return page;

    in_addr* addr = zov_gethostbyname(host);
    if (!addr) {
        std::fprintf(stderr, "zov_gethostbyname == null\n");
        fail(page);
        return page;
    }
    open_socket(page, *addr);
    return page;
}

namespace {

// Errors that only mean "not now": the step is tried again at the next poll.
bool is_transient(int err) { return err == EAGAIN || err == EWOULDBLOCK || err == EINTR; }

// State 2: send what is left of the request.
void send_step(zov_web* page) {
    zov_web_buffer& req = page->_request;
    // MSG_NOSIGNAL: a peer that has gone away must fail the request, not
    // raise SIGPIPE and end the program.
    ssize_t n = send(page->sockfd, req.data + req.pos, (size_t)(req.len - req.pos), MSG_NOSIGNAL);
    if (n == -1) {
        if (is_transient(errno)) return;
        std::perror("send");
        std::fprintf(stderr, "send error!!\n");
        fail(page);
        return;
    }
    req.pos += (int)n;
    if (n > 0) zov_web_reset_timeout(page);
    if (req.pos >= req.len) page->state = 3;
}

// State 3: read one chunk.  Returns 1 when the request is over.
int recv_step(zov_web* page) {
    zov_web_buffer& res = page->_response;
    // One byte more than the chunk: the body always ends in a zero byte.
    if (!zov_web_extend(&res, ZOV_WEB_CHUNK + 1)) {
        std::fprintf(stderr, "zov_web: out of memory for the response\n");
        fail(page);
        return 1;
    }
    page->data = res.data + page->header;
    ssize_t n = recv(page->sockfd, res.data + res.len, ZOV_WEB_CHUNK, 0);
    if (n == -1) {
        if (is_transient(errno)) return 0;
        std::perror("recv");
        fail(page);
        return 1;
    }
    if (n == 0) {
        page->state = 4;
        return 1;
    }
    res.len += (int)n;
    zov_web_reset_timeout(page);
    if (!page->_head_done) zov_find_header(page);
    page->data = res.data + page->header;
    page->len = res.len - page->header;
    if (res.len > ZOV_WEB_RESPONSE_MAX) {
        std::fprintf(stderr, "zov_web: response from %s beyond %d bytes\n", page->host, ZOV_WEB_RESPONSE_MAX);
        fail(page);
        return 1;
    }
    return 0;
}

} // namespace

int zov_web_poll(zov_web* page) {
    if (!page || page->state == 4 || page->error) return 1;
    if (zov_web_get_ticks() > page->timeout) {
        std::fprintf(stderr, "timeout :: state = %d\n", page->state);
        page->error = 1;
        return 1;
    }
    if (page->state == 1) {
        if (connect(page->sockfd, (sockaddr*)&page->their_addr, sizeof page->their_addr) == -1 &&
            errno != EINPROGRESS) {
            int err = errno;
            std::fprintf(stderr, "connect: %d\n", err);
            errno = err;
            std::perror("connect");
            page->error = 1;
            return 1;
        }
        page->state = 2;
        zov_web_reset_timeout(page);
    }

    fd_set readable, writable, failed;
    FD_ZERO(&readable);
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(page->sockfd, &readable);
    FD_SET(page->sockfd, &writable);
    FD_SET(page->sockfd, &failed);
    timeval now = {0, 0};
    int ready = select(page->sockfd + 1, &readable, &writable, &failed, &now);
    if (ready == -1) {
        if (errno == EINTR) return 0;
        std::perror("select");
        std::fprintf(stderr, "error in select\n");
        page->error = 1;
        return 1;
    }
    if (ready == 0) return 0;

    if (page->state == 2 && FD_ISSET(page->sockfd, &writable)) {
        send_step(page);
        return page->error;
    }
    if (page->state == 3 && FD_ISSET(page->sockfd, &readable)) return recv_step(page);
    return 0;
}

void zov_web_get_header(zov_web* page, char* dest, int dlen, const char* name) {
    if (!dest || dlen < 1) return;
    std::memset(dest, 0, (size_t)dlen);
    char key[256];
    int klen = std::snprintf(key, sizeof key, "%s:", name ? name : "");
    // A name that does not fit the key names no field we could match.
    if (!page || !name || klen < 0 || klen >= (int)sizeof key) return;
    const unsigned char* head = page->_response.data;
    int hlen = page->header;
    if (!head) return;

    int i = 0;
    // At least one byte must follow the key inside the head.
    while (i + klen < hlen) {
        if (std::memcmp(head + i, key, (size_t)klen) == 0) {
            int j = i + klen;
            while (j < hlen && head[j] == ' ') j++;
            for (int n = 0; j < hlen && head[j] != '\r' && head[j] != '\n' && n < dlen - 1; j++, n++)
                dest[n] = (char)head[j];
            return;
        }
        while (i < hlen && head[i] != '\n') i++;
        i++;
    }
}

void zov_web_destroy(zov_web* page) {
    if (!page) return;
    if (page->sockfd != -1) close(page->sockfd);
    std::free(page->_request.data);
    std::free(page->_response.data);
    std::free(page);
}

// ====== Form encoding ======

namespace {

bool is_alnum_ascii(unsigned char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

} // namespace

int zov_web_urlencode_len(const char* in, int l) {
    // Counted wide: three bytes out per byte in passes an int long before l
    // does, and a wrapped size would cut the encoding short unseen.
    long long size = 1;
    for (int i = 0; i < l; i++) size += is_alnum_ascii((unsigned char)in[i]) ? 1 : 3;
    return size > INT_MAX ? -1 : (int)size;
}

void zov_web_urlencode(char* out, int len, const char* in, int l) {
    if (!out || len < 1) return;
    std::memset(out, 0, (size_t)len);
    static const char hex[] = "0123456789abcdef";
    int o = 0;
    for (int i = 0; i < l; i++) {
        unsigned char c = (unsigned char)in[i];
        if (is_alnum_ascii(c)) {
            if (len - o < 2) return;
            out[o++] = (char)c;
        } else {
            if (len - o < 4) return;
            out[o++] = '%';
            out[o++] = hex[c >> 4];
            out[o++] = hex[c & 15];
        }
    }
}
