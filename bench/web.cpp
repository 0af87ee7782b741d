// Requests per second of the HTTP client against a loopback server, next to
// libcurl doing the same work: one new HTTP/1.0 connection per request, a
// GET answered with a body of the given size, or a small form POST.
//
// The server runs on its own thread and answers every connection the same
// way, then closes it (HTTP/1.0: the close ends the body).  Ours is polled
// in a loop until it is over, as a game would poll it every frame but
// without the frame in between; libcurl blocks in its own wait.  Both
// resolve the host once and reuse it.
#include <benchmark/benchmark.h>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>
#include <thread>

#include "../tests/web/listener.h"
#include "zov_web.h"

namespace {

// Answers every request with a fixed response of `size` body bytes.
class Server {
public:
    Server() : listener_(64) { thread_ = std::thread([this] { run(); }); }
    ~Server() {
        stop_ = true;
        thread_.join();
    }
    void set_body(int size) {
        std::string body(size, 'x');
        response_ = "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(size) +
                    "\r\n\r\n" + body;
    }
    int port() const { return listener_.port(); }

private:
    void run() {
        while (!stop_) {
            pollfd p{listener_.fd(), POLLIN, 0};
            if (poll(&p, 1, 50) != 1) continue;
            int c = accept(listener_.fd(), nullptr, nullptr);
            if (c < 0) continue;
            serve(c);
            close(c);
        }
    }
    // Reads the head (and a body as long as its Content-Length), answers.
    void serve(int c) {
        std::string got;
        char buf[8192];
        size_t head_end = std::string::npos, need = 0;
        for (;;) {
            ssize_t n = recv(c, buf, sizeof buf, 0);
            if (n <= 0) return;
            got.append(buf, (size_t)n);
            if (head_end == std::string::npos) {
                // Ours ends head lines with LF, libcurl with CR LF.
                size_t lf = got.find("\n\n"), crlf = got.find("\r\n\r\n");
                if (lf != std::string::npos) head_end = lf + 2;
                if (crlf != std::string::npos) head_end = std::min(head_end, crlf + 4);
                if (head_end == std::string::npos) continue;
                size_t at = got.find("Content-Length: ");
                if (at != std::string::npos && at < head_end) need = std::stoul(got.substr(at + 16));
            }
            if (got.size() >= head_end + need) break;
        }
        size_t off = 0;
        while (off < response_.size()) {
            ssize_t n = send(c, response_.data() + off, response_.size() - off, MSG_NOSIGNAL);
            if (n <= 0) return;
            off += (size_t)n;
        }
    }

    loopback::Listener listener_;
    std::atomic<bool> stop_{false};
    std::string response_;
    std::thread thread_;
};

Server& server() {
    static Server s;
    return s;
}

const std::string kForm = "name=Ann%20Lee&score=12345&level=7";

void BM_Ours(benchmark::State& state) {
    int body = (int)state.range(0);
    bool post = state.range(1) != 0;
    server().set_body(body);
    size_t bytes = 0;
    for (auto _ : state) {
        zov_web* page = zov_web_create("127.0.0.1", server().port(), "/data", post ? kForm.data() : nullptr,
                                       post ? (int)kForm.size() : 0, 10);
        while (!zov_web_poll(page)) {
        }
        if (page->error || page->len != body) state.SkipWithError("request failed");
        bytes += (size_t)page->len;
        zov_web_destroy(page);
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed((int64_t)bytes);
}

size_t curl_sink(char* data, size_t size, size_t n, void* out) {
    ((std::string*)out)->append(data, size * n);
    return size * n;
}

void BM_Curl(benchmark::State& state) {
    int body = (int)state.range(0);
    bool post = state.range(1) != 0;
    server().set_body(body);
    CURL* curl = curl_easy_init();
    std::string url = "http://127.0.0.1:" + std::to_string(server().port()) + "/data";
    std::string got;
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, (long)CURL_HTTP_VERSION_1_0);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, curl_sink);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &got);
    if (post) curl_easy_setopt(curl, CURLOPT_POSTFIELDS, kForm.c_str());
    size_t bytes = 0;
    for (auto _ : state) {
        got.clear();
        if (curl_easy_perform(curl) != CURLE_OK || (int)got.size() != body) state.SkipWithError("request failed");
        bytes += got.size();
    }
    curl_easy_cleanup(curl);
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed((int64_t)bytes);
}

// Arguments: body bytes, then 1 for a form POST.
void Cases(benchmark::internal::Benchmark* b) {
    b->ArgNames({"body", "post"});
    b->Args({1024, 0})->Args({256 * 1024, 0})->Args({1024, 1});
    b->UseRealTime();
}

BENCHMARK(BM_Ours)->Apply(Cases);
BENCHMARK(BM_Curl)->Apply(Cases);

} // namespace
