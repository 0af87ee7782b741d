#include "zov_printf.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

std::string zov_vformat(const char* fmt, va_list ap) {
    // Measure first, so that the text is exactly as long as the message.
    va_list again;
    va_copy(again, ap);
    int len = std::vsnprintf(nullptr, 0, fmt, ap);
    std::string text(len > 0 ? (size_t)len : 0, '\0');
    if (len > 0) std::vsnprintf(&text[0], (size_t)len + 1, fmt, again);
    va_end(again);
    return text;
}

void _zov_iprintf(const char* file, int line, const char* func, int level, const char* fmt, ...) {
    (void)level;
    va_list args;
    va_start(args, fmt);
    std::string msg = zov_vformat(fmt, args);
    va_end(args);

    const char* slash = std::strrchr(file, '/');
    const char* base = slash ? slash + 1 : file;
    std::printf("[%s:%s:%d] %s", base, func, line, msg.c_str());
    if (msg.empty() || msg.back() != '\n') std::fputc('\n', stdout);
}
