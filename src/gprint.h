// gprint: the host's log line on standard output.
//
// "[info][YYYY-MM-DD hh:mm:ss][file:function:line] message", where info is
// the game's info tag (empty, so lines begin with "[]") and file the base
// name of the caller's source path; a newline is added when the message
// lacks one.  No state.  Main thread only.
#pragma once

// Writes one log line; `level` is accepted and unused.  A message of any
// length is written whole.
void _gprint(const char* file, int line, const char* func, int level, const char* fmt, ...)
    __attribute__((format(printf, 5, 6)));

// The usual way to log: the caller's own file, line and function.
#define gprint(...) _gprint(__FILE__, __LINE__, __func__, 0, __VA_ARGS__)
