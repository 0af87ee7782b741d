// What the client puts on the wire: the exact request bytes of GET and
// form POST requests, requests too large for one send, the form encoding,
// and the arguments refused because they would make an unsafe request.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

#include <sys/mman.h>

#include "loopback.h"
#include "support/capture.h"
#include "zov_web.h"

using namespace loopback;

namespace {

// Starts a request to a fresh listener and lets it send everything.
struct Sent {
    Listener l;
    Peer peer;
    Request req;
    Sent(const char* path, const std::string& post = "")
        : req(zov_web_create("127.0.0.1", l.port(), path, post.data(), (int)post.size(), 10)) {
        EXPECT_EQ(req->error, 0);
        zov_web_poll(req);
        EXPECT_TRUE(peer.accept_from(l));
        pump(req, &peer, [&] { return req->state == 3; });
    }
    std::string host_line() const { return "Host: 127.0.0.1:" + std::to_string(l.port()) + "\n"; }
};

std::string form_value(const std::string& v) {
    std::string out((size_t)zov_web_urlencode_len(v.data(), (int)v.size()), '\0');
    zov_web_urlencode(&out[0], (int)out.size(), v.data(), (int)v.size());
    out.pop_back();
    return out;
}

} // namespace

TEST(WebRequest, GetHeadIsThreeLinesEndedByBareLf) {
    Sent s("/scores?top=10");
    EXPECT_EQ(s.peer.got, "GET /scores?top=10 HTTP/1.0\n" + s.host_line() + "\n");
    EXPECT_EQ(s.req->state, 3);
    EXPECT_EQ(s.req->_request.pos, s.req->_request.len);
}

TEST(WebRequest, PostCarriesFormHeadersAndTheBodyBytes) {
    std::string body = "name=" + form_value("Ann & Bob\r\nX-Evil: 1") + "&score=12";
    Sent s("/submit", body);
    EXPECT_EQ(s.peer.got, "POST /submit HTTP/1.0\n" + s.host_line() +
                              "Content-Type: application/x-www-form-urlencoded\n"
                              "Content-Length: " + std::to_string(body.size()) + "\n\n" + body);
    EXPECT_EQ(body, "name=Ann%20%26%20Bob%0d%0aX%2dEvil%3a%201&score=12") << "form values cannot break lines";
}

TEST(WebRequest, BodyLargerThanTheSocketBuffersGoesOutOverManyPolls) {
    std::string body(3 * 1024 * 1024, 'x');
    for (size_t i = 0; i < body.size(); i += 997) body[i] = (char)('a' + i % 26);
    Sent s("/big", body);
    ASSERT_EQ(s.req->state, 3);
    ASSERT_GE(s.peer.got.size(), body.size());
    EXPECT_TRUE(s.peer.got.compare(s.peer.got.size() - body.size(), body.size(), body) == 0);
}

TEST(WebRequest, LongestPathMakesAHeadBeyond1024BytesSentWhole) {
    std::string path = "/" + std::string(ZOV_WEB_PATH_MAX - 2, 'p');
    Sent s(path.c_str());
    EXPECT_EQ(s.peer.got, "GET " + path + " HTTP/1.0\n" + s.host_line() + "\n");
}

TEST(WebRequest, UnsafeArgumentsFailAtCreateAndNothingConnects) {
    Listener l;
    std::string long_host(ZOV_WEB_HOST_MAX, 'h');
    std::string long_path = "/" + std::string(ZOV_WEB_PATH_MAX, 'p');
    struct Case {
        const char* what;
        const char* host;
        int port;
        const char* path;
        const char* post;
        int postlen;
    } cases[] = {
        {"line break in the path", "127.0.0.1", l.port(), "/a\r\nX-Injected: 1", "", 0},
        {"blank in the path", "127.0.0.1", l.port(), "/a b", "", 0},
        {"line break in the host", "127.0.0.1\nX: 1", l.port(), "/", "", 0},
        {"host beyond its field", long_host.c_str(), l.port(), "/", "", 0},
        {"path beyond its field", "127.0.0.1", l.port(), long_path.c_str(), "", 0},
        {"empty host", "", l.port(), "/", "", 0},
        {"null path", "127.0.0.1", l.port(), nullptr, "", 0},
        {"port 0", "127.0.0.1", 0, "/", "", 0},
        {"port beyond 65535", "127.0.0.1", 65536 + l.port(), "/", "", 0},
        {"negative body length", "127.0.0.1", l.port(), "/", "x", -1},
        {"body length without a body", "127.0.0.1", l.port(), "/", nullptr, 5},
    };
    for (const Case& c : cases) {
        Captured out = capture([&] {
            Request req(zov_web_create(c.host, c.port, c.path, c.post, c.postlen, 10));
            EXPECT_EQ(req->error, 1) << c.what;
            EXPECT_EQ(req->state, 0) << c.what;
            EXPECT_EQ(req->sockfd, -1) << c.what;
            EXPECT_EQ(zov_web_poll(req), 1) << c.what;
        });
        EXPECT_EQ(lines_of(out.err).size(), 1u) << c.what << ": " << out.err;
        EXPECT_EQ(out.err.rfind("zov_web_create: bad ", 0), 0u) << c.what << ": " << out.err;
        EXPECT_FALSE(l.has_pending()) << c.what;
    }
}

TEST(WebUrlencode, KeepsOnlyAsciiLettersAndDigits) {
    const char in[] = "aZ09-_.~ /\xff\x80";
    int n = (int)sizeof in - 1;
    EXPECT_EQ(zov_web_urlencode_len(in, n), 1 + 4 + 3 * 8);
    char out[64];
    zov_web_urlencode(out, sizeof out, in, n);
    EXPECT_STREQ(out, "aZ09%2d%5f%2e%7e%20%2f%ff%80");
}

TEST(WebUrlencode, StopsAtTheFirstByteThatDoesNotFitWhole) {
    EXPECT_EQ(zov_web_urlencode_len("a b", 3), 6);
    char out[8];
    for (auto [len, want] : {std::pair<int, const char*>{6, "a%20b"}, {5, "a%20"}, {4, "a"}, {1, ""}}) {
        std::memset(out, '#', sizeof out);
        zov_web_urlencode(out, len, "a b", 3);
        EXPECT_STREQ(out, want) << "len " << len;
        EXPECT_EQ(out[len], '#') << "nothing written past len " << len;
    }
    out[0] = '#';
    zov_web_urlencode(out, 0, "a", 1);
    EXPECT_EQ(out[0], '#') << "len 0 writes nothing";
}

// Three bytes out per byte in: from about 716 million bytes on, the size no
// longer fits an int.  It must not wrap around to a small size that would
// let the encoding be cut short without a word.
TEST(WebUrlencode, SizeBeyondAnIntIsReportedNotWrapped) {
    const int n = INT_MAX / 3 + 1; // zero bytes: each needs "%00"
    // Untouched anonymous pages read as zeros and take no memory.
    void* p = mmap(nullptr, (size_t)n, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    ASSERT_NE(p, MAP_FAILED);
    EXPECT_EQ(zov_web_urlencode_len((const char*)p, n - 1), 1 + 3 * (n - 1)) << "the largest size that fits";
    EXPECT_EQ(zov_web_urlencode_len((const char*)p, n), -1);
    munmap(p, (size_t)n);
}
