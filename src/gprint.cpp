#include "gprint.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "game.h"
#include "zov_printf.h"

void _gprint(const char* file, int line, const char* func, int level, const char* fmt, ...) {
    (void)level;
    va_list ap;
    va_start(ap, fmt);
    std::string msg = zov_vformat(fmt, ap);
    va_end(ap);

    time_t now = std::time(nullptr);
    struct tm tm_now;
    localtime_r(&now, &tm_now);
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d:%02d:%02d", tm_now.tm_year + 1900, tm_now.tm_mon + 1,
                  tm_now.tm_mday, tm_now.tm_hour, tm_now.tm_min, tm_now.tm_sec);

    const char* info = game_log_info();
    const char* slash = std::strrchr(file, '/');
    const char* base = slash ? slash + 1 : file;

    // One write per line, so lines of the audio thread's driver log cannot
    // land inside it.
    std::string out;
    if (std::strcmp(info, "0") == 0) {
        out = std::string("[") + base + ":" + func + ":" + std::to_string(line) + "] ";
    } else {
        out = std::string("[") + info + "][" + stamp + "][" + base + ":" + func + ":" + std::to_string(line) + "] ";
    }
    out += msg;
    if (msg.empty() || msg.back() != '\n') out += '\n';
    std::fwrite(out.data(), 1, out.size(), stdout);
}
