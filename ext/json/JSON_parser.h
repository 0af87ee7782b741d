// JSON_parser: a push tokenizer for JSON text.
//
// The caller creates a record from a configuration, feeds the text one byte
// at a time with JSON_parser_char and ends with JSON_parser_done.  A constant
// state machine (a class table and a transition table) validates the text;
// values, keys and the begin and end of arrays and objects go to a callback
// as they complete.
//
// Accepted language: the root is an object or an array; "/* */" comments
// where the configuration allows them; a number may end in a bare "."; an
// integer is 32-bit and saturates at its range; strings are bytes (escapes
// become UTF-8, bytes 128-255 pass through unchecked).  Numbers read the same
// in every locale.
//
// No globals beyond the constant tables, nothing printed: failures are
// return values plus an error code kept in the record.  A record belongs to
// one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>

typedef int32_t JSON_int_t;
typedef uint16_t UTF16;

// Callback types.
enum JSON_type {
    JSON_T_NONE = 0,
    JSON_T_ARRAY_BEGIN = 1,
    JSON_T_ARRAY_END = 2,
    JSON_T_OBJECT_BEGIN = 3,
    JSON_T_OBJECT_END = 4,
    JSON_T_INTEGER = 5,
    JSON_T_FLOAT = 6,
    JSON_T_NULL = 7,
    JSON_T_TRUE = 8,
    JSON_T_FALSE = 9,
    JSON_T_STRING = 10,
    JSON_T_KEY = 11,
    JSON_T_MAX = 12
};

// Error codes (JSON_parser_get_last_error).  Every refusal sets one other
// than JSON_E_NONE; JSON_E_ABORTED marks a callback that returned 0.
enum JSON_error {
    JSON_E_NONE = 0,
    JSON_E_INVALID_CHAR = 1,
    JSON_E_INVALID_KEYWORD = 2,
    JSON_E_INVALID_ESCAPE_SEQUENCE = 3,
    JSON_E_INVALID_UNICODE_SEQUENCE = 4,
    JSON_E_INVALID_NUMBER = 5,
    JSON_E_NESTING_DEPTH_REACHED = 6,
    JSON_E_UNBALANCED_COLLECTION = 7,
    JSON_E_EXPECTED_KEY = 8,
    JSON_E_EXPECTED_COLON = 9,
    JSON_E_OUT_OF_MEMORY = 10,
    JSON_E_ABORTED = 11
};

typedef struct JSON_value_struct {
    union {
        JSON_int_t integer_value;
        double float_value;
        struct {
            const char* value; // NUL-terminated; may hold NUL bytes inside
            size_t length;     // every byte, without the terminating NUL
        } str;
    } vu;
} JSON_value;

// Called as callback(ctx, type, value); value and the bytes it points to are
// valid only during the call (null for begin/end, null, true and false).
// Returning 0 stops parsing: the current JSON_parser_char returns 0.
typedef int (*JSON_parser_callback)(void* ctx, int type, const JSON_value* value);
typedef void* (*JSON_malloc_t)(size_t n);
typedef void (*JSON_free_t)(void* p);

typedef struct {
    JSON_parser_callback callback; // may be null: the text is only validated
    void* callback_ctx;            // handed back as ctx
    int depth;                     // nesting limit; 0 means 1, negative: unlimited
    int allow_comments;            // accept "/* */" comments
    int handle_floats_manually;    // pass floats as their text, not a double
    JSON_malloc_t malloc;          // the allocator of every block of the record
    JSON_free_t free;
} JSON_config;

struct JSON_parser_struct;
typedef struct JSON_parser_struct* JSON_parser;

// Defaults: every field zero, depth 127, the standard allocator.  Null: nothing.
void init_JSON_config(JSON_config* config);
// A new record (null config: the defaults), or null when it cannot be allocated.
JSON_parser new_JSON_parser(JSON_config* config);
// Frees the record and its heap blocks; null does nothing.
void delete_JSON_parser(JSON_parser jc);
// Feeds one byte (0-255): 1 when accepted, 0 when the text is invalid from
// here on or the callback refused.  After a 0 the record is not fed again.
int JSON_parser_char(JSON_parser jc, int next_char);
// 1 when the text fed so far is a complete document or empty (blanks and
// comments only), else 0 with JSON_E_UNBALANCED_COLLECTION.
int JSON_parser_done(JSON_parser jc);
// Rewinds the record for a new document: 1, or 0 for null or no memory.
int JSON_parser_reset(JSON_parser jc);
// The last JSON_E_ code of the record.
int JSON_parser_get_last_error(JSON_parser jc);
// 1 when every byte of s is a space, tab, line feed or carriage return (the
// empty string too), 0 otherwise and for null.
int JSON_parser_is_legal_white_space_string(const char* s);
