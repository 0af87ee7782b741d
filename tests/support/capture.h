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

// Runs `body` with file descriptors 1 and 2 redirected into temporary files.
inline Captured capture(const std::function<void()>& body) {
    std::fflush(nullptr);
    FILE* files[2] = {std::tmpfile(), std::tmpfile()};
    int saved[2] = {dup(1), dup(2)};
    dup2(fileno(files[0]), 1);
    dup2(fileno(files[1]), 2);
    body();
    std::fflush(nullptr);
    dup2(saved[0], 1);
    dup2(saved[1], 2);
    Captured c;
    std::string* texts[2] = {&c.out, &c.err};
    for (int i = 0; i < 2; i++) {
        close(saved[i]);
        std::rewind(files[i]);
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, files[i])) > 0) texts[i]->append(buf, n);
        std::fclose(files[i]);
    }
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
