// Test helpers: capture what code writes on standard output and standard
// error (through the file descriptors, so C stdio is caught too), and
// temporary directories that remove themselves.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <unistd.h>

struct Captured {
    std::string out, err;
};

// Captures one standard stream (stdout or stderr) from construction until
// text() by pointing its file descriptor at a temporary file.
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

// Runs `body` with standard output and standard error captured.
inline Captured capture(const std::function<void()>& body) {
    Capture out(stdout), err(stderr);
    body();
    Captured c;
    c.err = err.text();
    c.out = out.text();
    return c;
}

// The lines of a text, without their newlines.
inline std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// The messages of driver log lines "[file:func:line] message", prefix cut.
inline std::vector<std::string> log_messages(const std::string& text) {
    std::vector<std::string> messages;
    for (const std::string& line : lines_of(text)) {
        size_t end = line[0] == '[' ? line.find("] ") : std::string::npos;
        messages.push_back(end == std::string::npos ? line : line.substr(end + 2));
    }
    return messages;
}

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes.
class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "zovtest.XXXXXX").string();
        if (!mkdtemp(&pattern[0])) std::abort();
        path_ = pattern;
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};
