// What the client makes of what comes back: response heads ended either
// way, heads and bodies split over many reads, head fields, peers that
// close early, reset, never answer or cannot be reached, and responses too
// large to keep.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <string>
#include <vector>

#include "loopback.h"
#include "support/capture.h"
#include "zov_web.h"

using namespace loopback;

namespace {

// A GET whose request has been sent whole; the test then answers it.
struct Exchange {
    Listener l;
    Peer peer;
    Request req;
    explicit Exchange(int timeout = 10, const std::string& post = "")
        : req(zov_web_create("127.0.0.1", l.port(), "/r", post.data(), (int)post.size(), timeout)) {
        zov_web_poll(req);
        EXPECT_TRUE(peer.accept_from(l));
        pump(req, &peer, [&] { return req->state == 3; });
    }
    // Sends one piece and polls until the client has read all of it, so each
    // piece arrives in reads of its own.
    void piece(const std::string& s) {
        int want = req->_response.len + (int)s.size();
        peer.send_all(s);
        pump(req, nullptr, [&] { return req->_response.len >= want; });
    }
    // Closes the connection and polls until the request is over.
    int finish() {
        peer.close_now();
        return pump(req, nullptr);
    }
    std::string header(const char* name, int dlen = 64) {
        std::vector<char> dest((size_t)dlen, '#');
        zov_web_get_header(req, dest.data(), dlen, name);
        return dest.data();
    }
};

} // namespace

TEST(WebResponse, HeadEndedByCrLfOrBareLfGivesTheBodyAfterTheBlankLine) {
    for (std::string eol : {"\r\n", "\n"}) {
        Exchange x;
        x.piece("HTTP/1.0 200 OK" + eol + "Content-Type: text/plain" + eol + eol + "hello");
        ASSERT_EQ(x.finish(), 1);
        EXPECT_EQ(x.req->error, 0);
        EXPECT_EQ(x.req->state, 4);
        EXPECT_EQ(body(x.req), "hello") << "line ends " << eol.size();
        EXPECT_EQ(x.req->len, 5);
        EXPECT_EQ(x.req->data[x.req->len], 0) << "the body is always followed by a zero byte";
        EXPECT_EQ(x.header("Content-Type"), "text/plain");
    }
}

TEST(WebResponse, HeadAndBodySplitOverManyReadsArriveWhole) {
    Exchange x;
    // The blank line itself is cut between reads: the head's end is still
    // found, and no head bytes leak into the body.
    for (const char* part : {"HTTP/1.0 200 OK\r\nX-A:", " 1\r\n", "\r", "\n"}) {
        x.piece(part);
        EXPECT_EQ(x.req->len, 0) << "no body before the blank line ends";
    }
    std::string expected;
    for (int i = 0; i < 40; i++) {
        std::string chunk(1000 + i * 37, (char)('A' + i % 26));
        expected += chunk;
        x.piece(chunk);
        ASSERT_EQ(body(x.req), expected) << "after piece " << i;
    }
    ASSERT_EQ(x.finish(), 1);
    EXPECT_EQ(x.req->error, 0);
    EXPECT_EQ(body(x.req), expected);
    EXPECT_EQ(x.header("X-A"), "1");
}

TEST(WebResponse, TextWithoutABlankLineIsAllHead) {
    Exchange x;
    x.piece("HTTP/1.0 204 No Content\nX-Id: 7\n");
    ASSERT_EQ(x.finish(), 1);
    EXPECT_EQ(x.req->error, 0);
    EXPECT_EQ(x.req->len, 0);
    EXPECT_EQ(x.req->header, x.req->_response.len);
    EXPECT_EQ(x.header("X-Id"), "7");
}

TEST(WebResponse, HeadFieldsMatchExactlyInsideTheHeadOnly) {
    Exchange x;
    x.piece("HTTP/1.0 200 OK\r\nContent-Length: 14\r\nX-Pad:    a b \r\nX-Tab:\tv\r\nX-Empty:\r\n\r\n"
            "X-Body: inside");
    ASSERT_EQ(x.finish(), 1);
    EXPECT_EQ(x.header("Content-Length"), "14");
    EXPECT_EQ(x.header("content-length"), "") << "names are case-sensitive";
    EXPECT_EQ(x.header("X-Pad"), "a b ") << "leading spaces skipped, the rest kept";
    EXPECT_EQ(x.header("X-Tab"), "\tv") << "tabs are not skipped";
    EXPECT_EQ(x.header("X-Empty"), "");
    EXPECT_EQ(x.header("X-Missing"), "");
    EXPECT_EQ(x.header("X-Body"), "") << "the body is not searched";
    EXPECT_EQ(x.header("Content-Length", 2), "1") << "cut to dlen - 1 bytes";
    EXPECT_EQ(x.header(std::string(300, 'X').c_str()), "") << "a name too long for the key matches nothing";
    char untouched = '#';
    zov_web_get_header(x.req, &untouched, 0, "Content-Length");
    EXPECT_EQ(untouched, '#') << "dlen 0 writes nothing";
}

TEST(WebResponse, PeerClosingWithoutAWordEndsCleanWithAnEmptyBody) {
    Exchange x;
    ASSERT_EQ(x.finish(), 1);
    EXPECT_EQ(x.req->error, 0);
    EXPECT_EQ(x.req->state, 4);
    EXPECT_EQ(x.req->len, 0);
}

TEST(WebResponse, PollAfterTheEndReturnsOneAndChangesNothing) {
    Exchange x;
    x.piece("HTTP/1.0 200 OK\n\nbody");
    ASSERT_EQ(x.finish(), 1);
    zov_web before = *x.req.page;
    for (int i = 0; i < 3; i++) EXPECT_EQ(zov_web_poll(x.req), 1);
    EXPECT_EQ(x.req->state, before.state);
    EXPECT_EQ(x.req->error, before.error);
    EXPECT_EQ(x.req->data, before.data);
    EXPECT_EQ(x.req->len, before.len);
    EXPECT_EQ(x.req->_response.len, before._response.len);
    EXPECT_EQ(x.req->timeout, before.timeout);
    EXPECT_EQ(zov_web_poll(nullptr), 1);
    zov_web_destroy(nullptr);
    char dest[8] = "#######";
    zov_web_get_header(nullptr, dest, sizeof dest, "Content-Length");
    EXPECT_STREQ(dest, "") << "no request: no field";
}

TEST(WebResponse, PeerGoneWhileTheBodyIsSentFailsTheRequestNotTheProgram) {
    // A peer that read what came and then closed answers the next bytes
    // with a reset; a send after that raises SIGPIPE unless told not to, and
    // its default action ends the whole program.
    ASSERT_EQ(std::signal(SIGPIPE, SIG_DFL), SIG_DFL);
    for (bool reset : {false, true}) {
        Listener l;
        std::string body(8 * 1024 * 1024, 'b');
        Request req(zov_web_create("127.0.0.1", l.port(), "/up", body.data(), (int)body.size(), 10));
        Captured out = capture([&] {
            zov_web_poll(req);
            Peer peer;
            ASSERT_TRUE(peer.accept_from(l));
            pump(req, nullptr, [&] { return req->_request.pos > 0; });
            peer.drain();
            if (reset) peer.reset();
            else peer.close_now();
            EXPECT_EQ(pump(req, nullptr), 1);
        });
        EXPECT_EQ(req->error, 1);
        EXPECT_EQ(req->state, 2);
        EXPECT_NE(out.err.find("send error!!\n"), std::string::npos) << out.err;
    }
}

TEST(WebResponse, SilentPeerNeverBlocksThePollAndTimesOut) {
    Exchange x(1);
    Captured out = capture([&] {
        int polls = 0;
        // Only the deadline may end the wait early: a machine too busy to
        // poll 1000 times in a second gets there first.
        if (pump(x.req, &x.peer, [&] { return ++polls == 1000; }) != 0) {
            EXPECT_GT(zov_web_get_ticks(), x.req->timeout) << "ended before its time after " << polls << " polls";
        }
        EXPECT_EQ(x.req->state, 3);
        EXPECT_EQ(pump(x.req, &x.peer), 1);
    });
    EXPECT_EQ(x.req->error, 1);
    EXPECT_EQ(x.req->state, 3);
    EXPECT_EQ(out.err, "timeout :: state = 3\n");
}

TEST(WebResponse, ConnectThatNeverCompletesTimesOutWithoutBlocking) {
    // A listener whose queue is full drops new connection attempts, so the
    // client's connect stays in progress.
    Listener l(0);
    std::vector<int> fillers;
    for (int i = 0; i < 4; i++) {
        int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons((uint16_t)l.port());
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connect(fd, (sockaddr*)&addr, sizeof addr);
        fillers.push_back(fd);
    }
    Request req(zov_web_create("127.0.0.1", l.port(), "/", nullptr, 0, 1));
    Captured out = capture([&] { EXPECT_EQ(pump(req, nullptr), 1); });
    for (int fd : fillers) close(fd);
    EXPECT_EQ(req->error, 1);
    EXPECT_EQ(out.err, "timeout :: state = 2\n");
}

TEST(WebResponse, RefusedPortFailsTheRequest) {
    int port;
    {
        Listener gone;
        port = gone.port();
    }
    Request req(zov_web_create("127.0.0.1", port, "/", nullptr, 0, 10));
    Captured out = capture([&] { EXPECT_EQ(pump(req, nullptr), 1); });
    EXPECT_EQ(req->error, 1);
    EXPECT_NE(out.err.find("Connection refused"), std::string::npos) << out.err;
}

TEST(WebResponse, ResponseBeyondTheLimitFailsInsteadOfGrowingWithoutEnd) {
    Exchange x;
    // Exactly the limit: still fine.  Sent a block at a time, so that the
    // test holds no copy of the flood beside the client's.
    std::string head = "HTTP/1.0 200 OK\n\n", block(1 << 16, 'f');
    Captured out = capture([&] {
        send_pumped(x.req, x.peer, head);
        for (size_t left = ZOV_WEB_RESPONSE_MAX - head.size(); left > 0 && !x.req->error;) {
            size_t n = std::min(left, block.size());
            send_pumped(x.req, x.peer, block.substr(0, n));
            left -= n;
        }
        EXPECT_EQ(x.req->error, 0);
        send_pumped(x.req, x.peer, "more");
        pump(x.req, nullptr);
    });
    EXPECT_EQ(x.req->error, 1);
    EXPECT_EQ(x.req->state, 3);
    EXPECT_LE(x.req->_response.len, ZOV_WEB_RESPONSE_MAX + ZOV_WEB_CHUNK);
    EXPECT_NE(out.err.find("beyond " + std::to_string(ZOV_WEB_RESPONSE_MAX) + " bytes"), std::string::npos)
        << out.err;
}
