#include "JSON_parser.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <locale.h>
#include <stdlib.h>

// ====== Constant tables ======

namespace {

constexpr signed char __ = -1; // an illegal character, or a refused transition

// Character classes.
enum {
    C_SPACE, C_WHITE, C_LCURB, C_RCURB, C_LSQRB, C_RSQRB, C_COLON, C_COMMA,
    C_QUOTE, C_BACKS, C_SLASH, C_PLUS, C_MINUS, C_POINT, C_ZERO, C_DIGIT,
    C_LOW_A, C_LOW_B, C_LOW_C, C_LOW_D, C_LOW_E, C_LOW_F, C_LOW_L, C_LOW_N,
    C_LOW_R, C_LOW_S, C_LOW_T, C_LOW_U, C_ABCDF, C_E, C_ETC, C_STAR,
    NR_CLASSES
};

// The class of each ASCII code; every byte above 127 is C_ETC.
const signed char ascii_class[128] = {
    __,      __,      __,      __,      __,      __,      __,      __,
    __,      C_WHITE, C_WHITE, __,      __,      C_WHITE, __,      __,
    __,      __,      __,      __,      __,      __,      __,      __,
    __,      __,      __,      __,      __,      __,      __,      __,

    C_SPACE, C_ETC,   C_QUOTE, C_ETC,   C_ETC,   C_ETC,   C_ETC,   C_ETC,
    C_ETC,   C_ETC,   C_STAR,  C_PLUS,  C_COMMA, C_MINUS, C_POINT, C_SLASH,
    C_ZERO,  C_DIGIT, C_DIGIT, C_DIGIT, C_DIGIT, C_DIGIT, C_DIGIT, C_DIGIT,
    C_DIGIT, C_DIGIT, C_COLON, C_ETC,   C_ETC,   C_ETC,   C_ETC,   C_ETC,

    C_ETC,   C_ABCDF, C_ABCDF, C_ABCDF, C_ABCDF, C_E,     C_ABCDF, C_ETC,
    C_ETC,   C_ETC,   C_ETC,   C_ETC,   C_ETC,   C_ETC,   C_ETC,   C_ETC,
    C_ETC,   C_ETC,   C_ETC,   C_ETC,   C_ETC,   C_ETC,   C_ETC,   C_ETC,
    C_ETC,   C_ETC,   C_ETC,   C_LSQRB, C_BACKS, C_RSQRB, C_ETC,   C_ETC,

    C_ETC,   C_LOW_A, C_LOW_B, C_LOW_C, C_LOW_D, C_LOW_E, C_LOW_F, C_ETC,
    C_ETC,   C_ETC,   C_ETC,   C_ETC,   C_LOW_L, C_ETC,   C_LOW_N, C_ETC,
    C_ETC,   C_ETC,   C_LOW_R, C_LOW_S, C_LOW_T, C_LOW_U, C_ETC,   C_ETC,
    C_ETC,   C_ETC,   C_ETC,   C_LCURB, C_ETC,   C_RCURB, C_ETC,   C_ETC,
};

// States.
enum {
    GO, OK, OB, KE, CO, VA, AR, ST, ES, U1, U2, U3, U4, MI, ZE, IT, FR, E1,
    E2, E3, T1, T2, T3, F1, F2, F3, F4, N1, N2, N3, C1, C2, C3, FX, D1, D2,
    NR_STATES
};

// Actions: negative table entries below -1.  -2 to -9 are the structural
// characters (":" "," closing quote "[" "{" "]" "}" and "}" of an empty
// object); the named ones begin a token or a comment.
enum {
    CB = -10, // comment begin
    CE = -11, // comment end
    FA = -12, // false
    TR = -13, // true
    NU = -14, // null
    DE = -15, // exponent of a float
    DF = -16, // "." of a float
    SB = -17, // string begin
    MX = -18, // integer starting with "-"
    ZX = -19, // integer starting with "0"
    IX = -20, // integer starting with 1-9
    EX = -21, // backslash in a string
    UC = -22  // last hex digit of a unicode escape
};

// state_transition_table[state][class]: the next state (0 or more), an
// action (-2 to -22) or a refusal (-1).  A "0" may take an exponent ("0e1"
// is a number); a keyword must be complete before a comment ("tru/**/" is
// refused); a number ending in "." or an exponent takes no comment directly.
const signed char state_transition_table[NR_STATES][NR_CLASSES] = {
/*               white                                      1-9                                   ABCDF  etc
             space |  {  }  [  ]  :  ,  "  \  /  +  -  .  0  |  a  b  c  d  e  f  l  n  r  s  t  u  |  E  |  * */
/*start  GO*/ {GO,GO,-6,__,-5,__,__,__,__,__,CB,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__},
/*ok     OK*/ {OK,OK,__,-8,__,-7,__,-3,__,__,CB,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__},
/*object OB*/ {OB,OB,__,-9,__,__,__,__,SB,__,CB,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__},
/*key    KE*/ {KE,KE,__,__,__,__,__,__,SB,__,CB,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__},
/*colon  CO*/ {CO,CO,__,__,__,__,-2,__,__,__,CB,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__},
/*value  VA*/ {VA,VA,-6,__,-5,__,__,__,SB,__,CB,__,MX,__,ZX,IX,__,__,__,__,__,FA,__,NU,__,__,TR,__,__,__,__,__},
/*array  AR*/ {AR,AR,-6,__,-5,-7,__,__,SB,__,CB,__,MX,__,ZX,IX,__,__,__,__,__,FA,__,NU,__,__,TR,__,__,__,__,__},
/*string ST*/ {ST,__,ST,ST,ST,ST,ST,ST,-4,EX,ST,ST,ST,ST,ST,ST,ST,ST,ST,ST,ST,ST,ST,ST,ST,ST,ST,ST,ST,ST,ST,ST},
/*escape ES*/ {__,__,__,__,__,__,__,__,ST,ST,ST,__,__,__,__,__,__,ST,__,__,__,ST,__,ST,ST,__,ST,U1,__,__,__,__},
/*u1     U1*/ {__,__,__,__,__,__,__,__,__,__,__,__,__,__,U2,U2,U2,U2,U2,U2,U2,U2,__,__,__,__,__,__,U2,U2,__,__},
/*u2     U2*/ {__,__,__,__,__,__,__,__,__,__,__,__,__,__,U3,U3,U3,U3,U3,U3,U3,U3,__,__,__,__,__,__,U3,U3,__,__},
/*u3     U3*/ {__,__,__,__,__,__,__,__,__,__,__,__,__,__,U4,U4,U4,U4,U4,U4,U4,U4,__,__,__,__,__,__,U4,U4,__,__},
/*u4     U4*/ {__,__,__,__,__,__,__,__,__,__,__,__,__,__,UC,UC,UC,UC,UC,UC,UC,UC,__,__,__,__,__,__,UC,UC,__,__},
/*minus  MI*/ {__,__,__,__,__,__,__,__,__,__,__,__,__,__,ZE,IT,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__},
/*zero   ZE*/ {OK,OK,__,-8,__,-7,__,-3,__,__,CB,__,__,DF,__,__,__,__,__,__,DE,__,__,__,__,__,__,__,__,DE,__,__},
/*int    IT*/ {OK,OK,__,-8,__,-7,__,-3,__,__,CB,__,__,DF,IT,IT,__,__,__,__,DE,__,__,__,__,__,__,__,__,DE,__,__},
/*frac   FR*/ {OK,OK,__,-8,__,-7,__,-3,__,__,CB,__,__,__,FR,FR,__,__,__,__,E1,__,__,__,__,__,__,__,__,E1,__,__},
/*e      E1*/ {__,__,__,__,__,__,__,__,__,__,__,E2,E2,__,E3,E3,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__},
/*ex     E2*/ {__,__,__,__,__,__,__,__,__,__,__,__,__,__,E3,E3,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__},
/*exp    E3*/ {OK,OK,__,-8,__,-7,__,-3,__,__,__,__,__,__,E3,E3,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__},
/*tr     T1*/ {__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,T2,__,__,__,__,__,__,__},
/*tru    T2*/ {__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,T3,__,__,__,__},
/*true   T3*/ {__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,OK,__,__,__,__,__,__,__,__,__,__,__},
/*fa     F1*/ {__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,F2,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__},
/*fal    F2*/ {__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,F3,__,__,__,__,__,__,__,__,__},
/*fals   F3*/ {__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,F4,__,__,__,__,__,__},
/*false  F4*/ {__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,OK,__,__,__,__,__,__,__,__,__,__,__},
/*nu     N1*/ {__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,N2,__,__,__,__},
/*nul    N2*/ {__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,N3,__,__,__,__,__,__,__,__,__},
/*null   N3*/ {__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,OK,__,__,__,__,__,__,__,__,__},
/*/      C1*/ {__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,C2},
/*/*     C2*/ {C2,C2,C2,C2,C2,C2,C2,C2,C2,C2,C2,C2,C2,C2,C2,C2,C2,C2,C2,C2,C2,C2,C2,C2,C2,C2,C2,C2,C2,C2,C2,C3},
/**      C3*/ {C2,C2,C2,C2,C2,C2,C2,C2,C2,C2,CE,C2,C2,C2,C2,C2,C2,C2,C2,C2,C2,C2,C2,C2,C2,C2,C2,C2,C2,C2,C2,C3},
/*_.     FX*/ {OK,OK,__,-8,__,-7,__,-3,__,__,__,__,__,__,FR,FR,__,__,__,__,E1,__,__,__,__,__,__,__,__,E1,__,__},
/*\      D1*/ {__,__,__,__,__,__,__,__,__,D2,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__},
/*\      D2*/ {__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,__,U1,__,__,__,__},
};

// Entries of the mode stack.
enum { MODE_ARRAY = 1, MODE_DONE = 2, MODE_KEY = 3, MODE_OBJECT = 4 };

// Lead-byte marks of a UTF-8 sequence with 0, 1, 2 or 3 continuation bytes.
const unsigned char utf8_lead_bits[4] = {0x00, 0xC0, 0xE0, 0xF0};

constexpr int STATIC_STACK_SIZE = 128;
constexpr size_t STATIC_BUFFER_SIZE = 3500;

} // namespace

// ====== The record ======

struct JSON_parser_struct {
    JSON_parser_callback callback;
    void* ctx;
    signed char state;
    signed char before_comment_state;
    signed char type;    // JSON_T_ code of the token being read
    signed char escaped; // the previous string byte was a backslash
    signed char comment; // inside a comment
    signed char allow_comments;
    signed char handle_floats_manually;
    signed char error;
    // Floats are converted in the C locale, so that a document reads the same
    // whatever locale the process runs in.
    locale_t numeric_locale;
    UTF16 utf16_high_surrogate; // 0 when none is pending
    int current_char;
    int depth; // -1: unlimited
    int top;   // -1: empty
    int stack_capacity;
    signed char* stack;
    char* parse_buffer; // token text, always NUL-terminated
    size_t parse_buffer_capacity;
    size_t parse_buffer_count;
    signed char static_stack[STATIC_STACK_SIZE];
    char static_parse_buffer[STATIC_BUFFER_SIZE];
    JSON_malloc_t malloc;
    JSON_free_t free;
};

// ====== Mode stack and token buffer ======

static int fail(JSON_parser jc, int error) {
    jc->error = (signed char)error;
    return 0;
}

static int push(JSON_parser jc, int mode) {
    if (jc->depth >= 0 && jc->top >= jc->depth) return fail(jc, JSON_E_NESTING_DEPTH_REACHED);
    // A limited stack was sized for its depth; only an unlimited one grows.
    if (jc->top + 1 >= jc->stack_capacity) {
        if (jc->stack_capacity > INT_MAX / 2) return fail(jc, JSON_E_OUT_OF_MEMORY);
        int capacity = jc->stack_capacity * 2;
        signed char* stack = (signed char*)jc->malloc((size_t)capacity);
        if (!stack) return fail(jc, JSON_E_OUT_OF_MEMORY);
        std::memcpy(stack, jc->stack, (size_t)jc->stack_capacity);
        if (jc->stack != jc->static_stack) jc->free(jc->stack);
        jc->stack = stack;
        jc->stack_capacity = capacity;
    }
    jc->stack[++jc->top] = (signed char)mode;
    return 1;
}

// Fails without an error code: the callers decide what a mismatch means.
static int pop(JSON_parser jc, int mode) {
    if (jc->top < 0 || jc->stack[jc->top] != mode) return 0;
    jc->top--;
    return 1;
}

static int top_mode(JSON_parser jc) { return jc->top >= 0 ? jc->stack[jc->top] : 0; }

// Makes room for one more byte and the NUL.
static int reserve_byte(JSON_parser jc) {
    size_t need = jc->parse_buffer_count + 2;
    if (need <= jc->parse_buffer_capacity) return 1;
    size_t capacity = jc->parse_buffer_capacity;
    while (capacity < need) capacity *= 2;
    char* buffer = (char*)jc->malloc(capacity);
    if (!buffer) return fail(jc, JSON_E_OUT_OF_MEMORY);
    std::memcpy(buffer, jc->parse_buffer, jc->parse_buffer_count + 1);
    if (jc->parse_buffer != jc->static_parse_buffer) jc->free(jc->parse_buffer);
    jc->parse_buffer = buffer;
    jc->parse_buffer_capacity = capacity;
    return 1;
}

static void append_byte(JSON_parser jc, int c) {
    jc->parse_buffer[jc->parse_buffer_count++] = (char)c;
    jc->parse_buffer[jc->parse_buffer_count] = 0;
}

static void remove_last_byte(JSON_parser jc) {
    if (jc->parse_buffer_count > 0) jc->parse_buffer[--jc->parse_buffer_count] = 0;
}

static void clear_buffer(JSON_parser jc) {
    jc->parse_buffer_count = 0;
    jc->parse_buffer[0] = 0;
}

// ====== Token values ======

static locale_t c_numeric_locale() {
    static const locale_t c = newlocale(LC_NUMERIC_MASK, "C", (locale_t)0);
    return c;
}

// Saturates at the 32-bit range rather than wrapping: 4294967296 must not
// read as 0.
static JSON_int_t parse_integer(const char* s) {
    bool negative = *s == '-';
    if (negative) s++;
    int64_t v = 0;
    for (; *s >= '0' && *s <= '9'; s++) {
        v = v * 10 + (*s - '0');
        if (v > 2147483648LL) v = 2147483648LL;
    }
    if (negative) v = -v;
    if (v > INT32_MAX) v = INT32_MAX;
    return (JSON_int_t)v;
}

static int run_callback(JSON_parser jc, int type, const JSON_value* value) {
    if (jc->callback && !jc->callback(jc->ctx, type, value)) return fail(jc, JSON_E_ABORTED);
    return 1;
}

// Reports the scalar whose text is in the buffer (numbers and keywords wait
// for the character that ends them), then empties the buffer.
static int report_pending(JSON_parser jc) {
    if (jc->callback && jc->type != JSON_T_NONE) {
        JSON_value value;
        const JSON_value* arg = &value;
        switch (jc->type) {
        case JSON_T_FLOAT:
            if (jc->handle_floats_manually) {
                // Blanks after the number were buffered while it waited.
                size_t n = jc->parse_buffer_count;
                while (n > 0 && std::strchr(" \t\n\r", jc->parse_buffer[n - 1])) n--;
                jc->parse_buffer[n] = 0;
                value.vu.str.value = jc->parse_buffer;
                value.vu.str.length = n;
            } else {
                value.vu.float_value = strtod_l(jc->parse_buffer, nullptr, jc->numeric_locale);
            }
            break;
        case JSON_T_INTEGER:
            value.vu.integer_value = parse_integer(jc->parse_buffer);
            break;
        case JSON_T_STRING:
            value.vu.str.value = jc->parse_buffer;
            value.vu.str.length = jc->parse_buffer_count;
            break;
        default: // null, true, false
            arg = nullptr;
            break;
        }
        if (!run_callback(jc, jc->type, arg)) return 0;
    }
    clear_buffer(jc);
    return 1;
}

// The byte after a backslash: the backslash leaves the buffer and the escaped
// byte takes its place.  "u" puts the backslash and "u" back, so that with
// the four hex digits the buffer ends in the group decode_unicode reads.
static int complete_escape(JSON_parser jc, int c) {
    jc->escaped = 0;
    remove_last_byte(jc);
    switch (c) {
    case '"': case '\\': case '/': append_byte(jc, c); break;
    case 'b': append_byte(jc, '\b'); break;
    case 'f': append_byte(jc, '\f'); break;
    case 'n': append_byte(jc, '\n'); break;
    case 'r': append_byte(jc, '\r'); break;
    case 't': append_byte(jc, '\t'); break;
    case 'u': append_byte(jc, '\\'); append_byte(jc, 'u'); break;
    default: return 0;
    }
    return 1;
}

static unsigned hex_value(char c) {
    if (c >= '0' && c <= '9') return (unsigned)(c - '0');
    if (c >= 'a' && c <= 'f') return (unsigned)(c - 'a' + 10);
    return (unsigned)(c - 'A' + 10);
}

// The buffer ends in a backslash, "u" and four hex digits: replaces them by
// the UTF-8 bytes of the code point, or keeps a high surrogate pending.
static int decode_unicode(JSON_parser jc) {
    size_t at = jc->parse_buffer_count - 6;
    const char* hex = jc->parse_buffer + at + 2;
    unsigned x = 0;
    for (int i = 0; i < 4; i++) x = (x << 4) | hex_value(hex[i]);
    jc->parse_buffer_count = at;
    jc->parse_buffer[at] = 0;

    bool high = x >= 0xD800 && x <= 0xDBFF, low = x >= 0xDC00 && x <= 0xDFFF;
    int n; // continuation bytes
    if (jc->utf16_high_surrogate) {
        if (!low) return 0;
        x = ((jc->utf16_high_surrogate & 0x3FFu) << 10) + (x & 0x3FF) + 0x10000;
        jc->utf16_high_surrogate = 0;
        n = 3;
    } else if (high) {
        jc->utf16_high_surrogate = (UTF16)x;
        return 1;
    } else if (low) {
        return 0;
    } else {
        n = x < 0x80 ? 0 : x < 0x800 ? 1 : 2;
    }
    // Six bytes left the buffer; at most four come back.
    append_byte(jc, utf8_lead_bits[n] | (x >> (6 * n)));
    for (int k = n - 1; k >= 0; k--) append_byte(jc, 0x80 | ((x >> (6 * k)) & 0x3F));
    return 1;
}

// ====== Refusals ======

// The error code of a character that the current state does not accept.
static int error_by_state(JSON_parser jc) {
    switch (jc->state) {
    case GO: {
        int c = jc->current_char;
        return c == '{' || c == '}' || c == '[' || c == ']' ? JSON_E_UNBALANCED_COLLECTION : JSON_E_INVALID_CHAR;
    }
    case OB: case KE: return JSON_E_EXPECTED_KEY;
    case CO: return JSON_E_EXPECTED_COLON;
    case AR: return JSON_E_UNBALANCED_COLLECTION;
    case U1: case U2: case U3: case U4: case D1: case D2: return JSON_E_INVALID_UNICODE_SEQUENCE;
    case MI: case ZE: case IT: case FR: case E1: case E2: case E3: return JSON_E_INVALID_NUMBER;
    case T1: case T2: case T3: case F1: case F2: case F3: case F4: case N1: case N2: case N3:
        return JSON_E_INVALID_KEYWORD;
    default: return JSON_E_INVALID_CHAR;
    }
}

// ====== Actions ======

static int close_container(JSON_parser jc, int end_type, int mode) {
    remove_last_byte(jc);
    if (!report_pending(jc) || !run_callback(jc, end_type, nullptr)) return 0;
    if (!pop(jc, mode)) return fail(jc, JSON_E_UNBALANCED_COLLECTION);
    jc->type = JSON_T_NONE;
    jc->state = OK;
    return 1;
}

static int open_container(JSON_parser jc, int begin_type, int mode, int state) {
    remove_last_byte(jc);
    if (!run_callback(jc, begin_type, nullptr) || !push(jc, mode)) return 0;
    jc->state = (signed char)state;
    return 1;
}

static int run_action(JSON_parser jc, int action) {
    switch (action) {
    case -9: // "}" of an empty object
        clear_buffer(jc);
        if (!run_callback(jc, JSON_T_OBJECT_END, nullptr)) return 0;
        if (!pop(jc, MODE_KEY)) return fail(jc, JSON_E_UNBALANCED_COLLECTION);
        jc->state = OK;
        return 1;
    case -8: return close_container(jc, JSON_T_OBJECT_END, MODE_OBJECT);
    case -7: return close_container(jc, JSON_T_ARRAY_END, MODE_ARRAY);
    case -6: return open_container(jc, JSON_T_OBJECT_BEGIN, MODE_KEY, OB);
    case -5: return open_container(jc, JSON_T_ARRAY_BEGIN, MODE_ARRAY, AR);
    case -4: // closing quote
        remove_last_byte(jc);
        switch (top_mode(jc)) {
        case MODE_KEY: {
            jc->type = JSON_T_NONE;
            jc->state = CO;
            JSON_value value;
            value.vu.str.value = jc->parse_buffer;
            value.vu.str.length = jc->parse_buffer_count;
            if (!run_callback(jc, JSON_T_KEY, &value)) return 0;
            clear_buffer(jc);
            return 1;
        }
        case MODE_ARRAY:
        case MODE_OBJECT:
            if (!report_pending(jc)) return 0;
            jc->type = JSON_T_NONE;
            jc->state = OK;
            return 1;
        default: return fail(jc, JSON_E_INVALID_CHAR);
        }
    case -3: // ","
        remove_last_byte(jc);
        if (!report_pending(jc)) return 0;
        switch (top_mode(jc)) {
        case MODE_OBJECT:
            pop(jc, MODE_OBJECT);
            if (!push(jc, MODE_KEY)) return 0;
            jc->type = JSON_T_NONE;
            jc->state = KE;
            return 1;
        case MODE_ARRAY:
            jc->type = JSON_T_NONE;
            jc->state = VA;
            return 1;
        default: return fail(jc, JSON_E_INVALID_CHAR); // "," after the root
        }
    case -2: // ":"
        remove_last_byte(jc);
        if (!pop(jc, MODE_KEY)) return fail(jc, JSON_E_UNBALANCED_COLLECTION);
        if (!push(jc, MODE_OBJECT)) return 0;
        jc->state = VA;
        return 1;
    case CB: {
        if (!jc->allow_comments) return fail(jc, JSON_E_INVALID_CHAR);
        remove_last_byte(jc);
        if (!report_pending(jc)) return 0;
        int mode = top_mode(jc);
        if (mode == MODE_DONE || mode == MODE_KEY || jc->state == VA || jc->state == AR)
            jc->before_comment_state = jc->state;
        else
            jc->before_comment_state = OK; // a scalar just ended
        jc->type = JSON_T_NONE;
        jc->state = C1;
        jc->comment = 1;
        return 1;
    }
    case CE:
        jc->comment = 0;
        jc->state = jc->before_comment_state;
        return 1;
    case FA: jc->type = JSON_T_FALSE; jc->state = F1; return 1;
    case TR: jc->type = JSON_T_TRUE; jc->state = T1; return 1;
    case NU: jc->type = JSON_T_NULL; jc->state = N1; return 1;
    case DE: jc->type = JSON_T_FLOAT; jc->state = E1; return 1;
    case DF: jc->type = JSON_T_FLOAT; jc->state = FX; return 1;
    case SB:
        clear_buffer(jc);
        jc->type = JSON_T_STRING;
        jc->state = ST;
        return 1;
    case MX: jc->type = JSON_T_INTEGER; jc->state = MI; return 1;
    case ZX: jc->type = JSON_T_INTEGER; jc->state = ZE; return 1;
    case IX: jc->type = JSON_T_INTEGER; jc->state = IT; return 1;
    case EX: jc->escaped = 1; jc->state = ES; return 1;
    case UC:
        if (!decode_unicode(jc)) return fail(jc, JSON_E_INVALID_UNICODE_SEQUENCE);
        jc->state = jc->utf16_high_surrogate ? D1 : ST;
        return 1;
    default: return fail(jc, error_by_state(jc));
    }
}

// ====== Interface ======

void init_JSON_config(JSON_config* config) {
    if (!config) return;
    std::memset(config, 0, sizeof *config);
    config->depth = STATIC_STACK_SIZE - 1;
    config->malloc = std::malloc;
    config->free = std::free;
}

JSON_parser new_JSON_parser(JSON_config* config) {
    JSON_config defaults;
    if (!config) {
        init_JSON_config(&defaults);
        config = &defaults;
    }
    JSON_malloc_t allocate = config->malloc;
    JSON_free_t release = config->free;
    if (!allocate || !release) {
        allocate = std::malloc;
        release = std::free;
    }
    locale_t numeric_locale = c_numeric_locale();
    if (!numeric_locale) return nullptr;
    JSON_parser jc = (JSON_parser)allocate(sizeof(JSON_parser_struct));
    if (!jc) return nullptr;
    std::memset(jc, 0, sizeof *jc);
    jc->malloc = allocate;
    jc->free = release;
    jc->callback = config->callback;
    jc->ctx = config->callback_ctx;
    jc->allow_comments = config->allow_comments != 0;
    jc->handle_floats_manually = config->handle_floats_manually != 0;
    jc->numeric_locale = numeric_locale;
    jc->depth = config->depth == 0 ? 1 : config->depth;
    if (!JSON_parser_reset(jc)) {
        release(jc);
        return nullptr;
    }
    return jc;
}

void delete_JSON_parser(JSON_parser jc) {
    if (!jc) return;
    if (jc->stack && jc->stack != jc->static_stack) jc->free(jc->stack);
    if (jc->parse_buffer && jc->parse_buffer != jc->static_parse_buffer) jc->free(jc->parse_buffer);
    jc->free(jc);
}

// Clears every per-document field, so a record may read a second document
// even after the first one failed.
int JSON_parser_reset(JSON_parser jc) {
    if (!jc) return 0;
    jc->state = GO;
    jc->before_comment_state = GO;
    jc->top = -1;
    jc->type = JSON_T_NONE;
    jc->escaped = 0;
    jc->comment = 0;
    jc->error = JSON_E_NONE;
    jc->utf16_high_surrogate = 0;
    jc->current_char = 0;
    if (!jc->parse_buffer) {
        if (jc->depth < 1) {
            jc->depth = -1;
            jc->stack = jc->static_stack;
            jc->stack_capacity = STATIC_STACK_SIZE;
        } else if (jc->depth < STATIC_STACK_SIZE) {
            jc->stack = jc->static_stack;
            jc->stack_capacity = STATIC_STACK_SIZE;
        } else {
            if (jc->depth == INT_MAX) return 0;
            jc->stack = (signed char*)jc->malloc((size_t)jc->depth + 1);
            if (!jc->stack) return 0;
            jc->stack_capacity = jc->depth + 1;
        }
        jc->parse_buffer = jc->static_parse_buffer;
        jc->parse_buffer_capacity = STATIC_BUFFER_SIZE;
    }
    push(jc, MODE_DONE);
    clear_buffer(jc);
    return 1;
}

int JSON_parser_char(JSON_parser jc, int next_char) {
    if (!jc) return 0;
    jc->current_char = next_char;
    if (next_char < 0 || next_char > 255) return fail(jc, JSON_E_INVALID_CHAR);
    int next_class = next_char >= 128 ? (int)C_ETC : ascii_class[next_char];
    if (next_class < 0) return fail(jc, error_by_state(jc));

    // Blanks between tokens stay out of the buffer; those inside a string,
    // or after a number or keyword that still waits for its end, go in.
    if (!reserve_byte(jc)) return 0;
    if (jc->escaped) {
        if (!complete_escape(jc, next_char)) return fail(jc, JSON_E_INVALID_ESCAPE_SEQUENCE);
    } else if (!jc->comment && (jc->type != JSON_T_NONE || (next_class != C_SPACE && next_class != C_WHITE))) {
        append_byte(jc, next_char);
    }

    int next_state = state_transition_table[jc->state][next_class];
    if (next_state >= 0) {
        jc->state = (signed char)next_state;
        return 1;
    }
    return run_action(jc, next_state);
}

int JSON_parser_done(JSON_parser jc) {
    if (!jc) return 0;
    if ((jc->state == OK || jc->state == GO) && pop(jc, MODE_DONE)) return 1;
    return fail(jc, JSON_E_UNBALANCED_COLLECTION);
}

int JSON_parser_get_last_error(JSON_parser jc) { return jc ? jc->error : (int)JSON_E_NONE; }

int JSON_parser_is_legal_white_space_string(const char* s) {
    if (!s) return 0;
    for (; *s; s++) {
        int c = (signed char)*s;
        if (c < 0 || (ascii_class[c] != C_SPACE && ascii_class[c] != C_WHITE)) return 0;
    }
    return 1;
}
