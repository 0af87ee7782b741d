// zov_json: the codec between JSON text and `var`.
//
// json_decode reads a document through the JSON tokenizer (ext/json) and
// builds lists, dicts, numbers, strings, bools and none values as the
// tokenizer reports them; json_encode writes any value as compact JSON.
// Objects become dicts, arrays lists, numbers doubles (integers saturate at
// the 32-bit range first), null none.  Strings keep every byte, NUL bytes
// included.
//
// No state survives a call; each call works on its arguments on the calling
// thread (the value model itself is main-thread only).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "JSON_parser.h"
#include "zov_var.h"

// Builds a value tree from the tokenizer's reports, in place: the root
// container lands in `top` at its opening bracket, every value in its
// container as soon as it completes, so a failed parse leaves the part read.
struct json_ctx {
    std::vector<var*> stack; // open containers, innermost last
    var* cur = nullptr;      // where values go; null when none is open
    var& top;
    std::string key; // the last key read, for the next value of a dict

    explicit json_ctx(var& top) : top(top) {}
    // Opens container v: the root when nothing is open, else a value of `cur`.
    void begin(var v);
    // Closes the innermost container; with nothing open it does nothing.
    void end();
    void set_key(const char* k, size_t length) { key.assign(k, length); }
    // Adds v to `cur` and returns the stored handle (stable while nothing
    // more is added to `cur`), or null when no container is open.
    var* push(var v);
};

// The tokenizer callback driving a json_ctx; always returns 1.
int _json_callback(void* _ctx, int type, const JSON_value* value);

// Reads at most `len` bytes of `data` (a NUL byte ends the text earlier):
// 0 on success, 1 on a syntax error after one line on standard error,
// "JSON_parser_char: syntax error, byte %d\n" (the 0-based index of the
// refused byte) or "JSON_parser_end: syntax error\n" (the text stopped
// inside the root).  `_top` receives the root, whole or as far as it was
// read; it is unchanged when the text holds no root (empty, blanks and
// comments only, or refused at its first byte).  At most 16 nested
// containers; "/* */" comments are accepted.
int json_decode(var& _top, const char* data, int len);

// The compact JSON text of v: no blanks, dict keys in ascending byte order,
// numbers as their number text, none, infinities, NaN and every non-value
// type as null.  A container met again inside itself is written as null,
// with one line on standard error for the call.
std::string json_encode(const var& v);
