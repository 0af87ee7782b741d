// zov_printf: the driver's log line.
//
// Every line goes to standard output as "[file:function:line] message",
// where file is the base name of the caller's source path; a newline is
// added when the message lacks one.  The window, input and audio code log
// through it.  No state and no lock: the audio thread logs too, and two
// threads' lines can interleave only between a line and its added newline.
#pragma once

#include <cstdarg>
#include <string>

// The text that vsnprintf makes of a format and its arguments, whole, at any
// length (empty on a format error).  `ap` is consumed.
std::string zov_vformat(const char* fmt, va_list ap);

// Writes one log line; `level` is accepted for the callers' sake and unused.
// A message of any length is written whole.
void _zov_iprintf(const char* file, int line, const char* func, int level, const char* fmt, ...)
    __attribute__((format(printf, 5, 6)));

// The usual way to log: the caller's own file, line and function.
#define zov_iprintf(...) _zov_iprintf(__FILE__, __LINE__, __func__, 0, __VA_ARGS__)
