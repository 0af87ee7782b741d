// Captures what the code under test writes on a standard stream (stdout or
// stderr) by pointing the file descriptor at a temporary file.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

class Capture {
public:
    explicit Capture(FILE* stream) : stream_(stream), fd_(fileno(stream)) {
        std::fflush(stream_);
        char path[] = "/tmp/zov-capture-XXXXXX";
        tmp_ = mkstemp(path);
        unlink(path);
        saved_ = dup(fd_);
        dup2(tmp_, fd_);
    }
    ~Capture() {
        restore();
        close(tmp_);
    }

    // Everything written since construction; stops the capture.
    std::string text() {
        restore();
        std::string out;
        lseek(tmp_, 0, SEEK_SET);
        char buf[4096];
        ssize_t n;
        while ((n = read(tmp_, buf, sizeof buf)) > 0) out.append(buf, (size_t)n);
        return out;
    }

private:
    void restore() {
        if (saved_ < 0) return;
        std::fflush(stream_);
        dup2(saved_, fd_);
        close(saved_);
        saved_ = -1;
    }
    FILE* stream_;
    int fd_;
    int tmp_ = -1;
    int saved_ = -1;
};
