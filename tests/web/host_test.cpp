// Name lookups and their cache, the descriptor limit of select(), and the
// client against a widely used server that was not written for it
// (Python's http.server).
#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <fstream>
#include <string>
#include <vector>

#include "loopback.h"
#include "support/capture.h"
#include "zov_web.h"

extern char** environ;

using namespace loopback;

TEST(WebHost, UnknownNameFailsAtCreateAndIsAskedAgainNextTime) {
    for (int round = 0; round < 2; round++) {
        Captured out = capture([] {
            Request req(zov_web_create("no-such-host.invalid", 80, "/", nullptr, 0, 10));
            EXPECT_EQ(req->error, 1);
            EXPECT_EQ(req->state, 0);
            EXPECT_EQ(zov_web_poll(req), 1);
        });
        std::vector<std::string> lines = lines_of(out.err);
        ASSERT_GE(lines.size(), 3u) << out.err;
        EXPECT_EQ(lines.front(), "gethostbyname ...") << "round " << round << ": the resolver is asked again";
        EXPECT_EQ(lines[lines.size() - 2].rfind("gethostbyname(no-such-host.invalid) == null; h_errno = ", 0), 0u);
        EXPECT_EQ(lines.back(), "zov_gethostbyname == null");
    }
}

TEST(WebHost, SecondLookupOfANameComesFromTheCache) {
    Captured first = capture([] { EXPECT_NE(zov_gethostbyname("localhost"), nullptr); });
    EXPECT_EQ(first.err, "gethostbyname ...\nzov_gethostbyname('localhost') cached\n");
    in_addr* a = nullptr;
    in_addr* b = nullptr;
    Captured again = capture([&] {
        a = zov_gethostbyname("localhost");
        Listener l;
        Request req(zov_web_create("localhost", l.port(), "/", nullptr, 0, 10));
        EXPECT_EQ(req->error, 0);
        b = zov_gethostbyname("localhost");
    });
    EXPECT_EQ(again.err, "");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a, b) << "one cached entry";
    EXPECT_EQ(a->s_addr, htonl(INADDR_LOOPBACK));
}

TEST(WebHost, SocketBeyondTheSelectLimitIsRefusedNotOverrun) {
    std::vector<int> held;
    for (int fd = dup(0); fd >= 0; fd = dup(0)) {
        held.push_back(fd);
        if (fd >= FD_SETSIZE - 1) break;
    }
    Listener l;
    Captured out = capture([&] {
        Request req(zov_web_create("127.0.0.1", l.port(), "/", nullptr, 0, 10));
        EXPECT_EQ(req->error, 1);
        EXPECT_EQ(zov_web_poll(req), 1);
    });
    for (int fd : held) close(fd);
    EXPECT_NE(out.err.find("beyond select()'s limit"), std::string::npos) << out.err;
}

namespace {

// python3 -m http.server serving dir on a port of its choosing.
class PythonServer {
public:
    explicit PythonServer(const std::string& dir) {
        int fds[2];
        if (pipe(fds) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        // Its log of each request is of no interest here.
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        std::vector<std::string> args = {"python3", "-u", "-m", "http.server", "0", "--bind", "127.0.0.1",
                                         "--directory", dir};
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(&a[0]);
        argv.push_back(nullptr);
        if (posix_spawnp(&pid_, "python3", &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        // "Serving HTTP on 127.0.0.1 port 12345 (http://...) ..."
        std::string said;
        pollfd p{fds[0], POLLIN, 0};
        char buf[256];
        while (pid_ > 0 && said.find(") ...") == std::string::npos && poll(&p, 1, 10000) == 1) {
            ssize_t n = read(fds[0], buf, sizeof buf);
            if (n <= 0) break;
            said.append(buf, (size_t)n);
        }
        // The read end stays open while the server runs: it may still write
        // (the banner's newline comes in a write of its own), and a closed
        // pipe would kill it with EPIPE.
        out_ = fds[0];
        size_t at = said.find(" port ");
        if (at != std::string::npos) port_ = std::atoi(said.c_str() + at + 6);
    }
    ~PythonServer() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
        if (out_ >= 0) close(out_);
    }
    int port() const { return port_; }

private:
    pid_t pid_ = -1;
    int port_ = 0;
    int out_ = -1;
};

Request fetch(int port, const char* path, const std::string& post = "") {
    Request req(zov_web_create("127.0.0.1", port, path, post.data(), (int)post.size(), 10));
    pump(req, nullptr);
    return req;
}

} // namespace

TEST(WebInterop, PythonHttpServerUnderstandsOurRequests) {
    TempDir dir;
    std::string content;
    for (int i = 0; i < 200000; i++) content += (char)(i * 7 % 256);
    std::ofstream(dir / "blob.bin", std::ios::binary) << content;
    PythonServer server(dir.path());
    ASSERT_GT(server.port(), 0) << "python3 -m http.server did not start";

    Request got = fetch(server.port(), "/blob.bin");
    EXPECT_EQ(got->error, 0);
    EXPECT_EQ(got->state, 4);
    EXPECT_EQ(std::string((char*)got->_response.data, 17), "HTTP/1.0 200 OK\r\n");
    char length[32];
    zov_web_get_header(got, length, sizeof length, "Content-Length");
    EXPECT_EQ(std::string(length), std::to_string(content.size()));
    EXPECT_TRUE(body(got) == content) << "body of " << got->len << " bytes differs";

    Request missing = fetch(server.port(), "/none%20here");
    EXPECT_EQ(std::string((char*)missing->_response.data, 13), "HTTP/1.0 404 ");

    Request posted = fetch(server.port(), "/blob.bin", "a=1&b=x%20y");
    EXPECT_EQ(posted->error, 0);
    EXPECT_EQ(std::string((char*)posted->_response.data, 13), "HTTP/1.0 501 ") << "this server takes no POST";
}
