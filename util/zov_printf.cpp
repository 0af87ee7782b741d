#include "zov_printf.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

void _zov_iprintf(const char* file, int line, const char* func, int level, const char* fmt, ...) {
    (void)level;
    // Measure first, so that the buffer is exactly as long as the message.
    va_list args;
    va_start(args, fmt);
    va_list again;
    va_copy(again, args);
    int len = std::vsnprintf(nullptr, 0, fmt, args);
    va_end(args);
    if (len < 0) len = 0; // a format error logs an empty message
    char* msg = static_cast<char*>(std::malloc(len + 1));
    if (msg) {
        msg[0] = '\0';
        if (len > 0) std::vsnprintf(msg, len + 1, fmt, again);
    }
    va_end(again);
    if (!msg) return;

    const char* slash = std::strrchr(file, '/');
    const char* base = slash ? slash + 1 : file;
    std::printf("[%s:%s:%d] %s", base, func, line, msg);
    if (len == 0 || msg[len - 1] != '\n') std::fputc('\n', stdout);
    std::free(msg);
}
