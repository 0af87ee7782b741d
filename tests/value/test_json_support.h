// Helpers shared by the JSON tests: capturing standard error around a call.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <string>

// Runs f with file descriptor 2 redirected to a temporary file and returns
// what was written there.
template <class F> std::string capture_stderr(F f) {
    std::fflush(stderr);
    FILE* tmp = std::tmpfile();
    int saved = dup(2);
    dup2(fileno(tmp), 2);
    f();
    std::fflush(stderr);
    dup2(saved, 2);
    close(saved);
    std::string text;
    std::rewind(tmp);
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, tmp)) > 0) text.append(buf, n);
    std::fclose(tmp);
    return text;
}
