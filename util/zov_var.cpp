#include "zov_var.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cctype>
#include <locale.h>
#include <new>
#include <typeinfo>

// ====== Error reporting ======

// Every error line names this file and a fixed line number per reporting
// site, so that a log reads the same whatever the build.
static const char* const VAR_SOURCE = "util/zov_var.cpp";

enum {
    LINE_NULL_STRING = 96,
    LINE_LIST_GET = 203,
    LINE_LIST_SET = 209,
    LINE_LIST_ADD = 246,
    LINE_LIST_POP = 270,
    LINE_LIST_EXTEND = 288,
    LINE_DICT_DEL = 363,
    LINE_OBJ_GET = 611,
    LINE_OBJ_SET = 612,
    LINE_OBJ_HAS = 613,
    LINE_OBJ_DEL = 614,
    LINE_OBJ_LEN = 615,
    LINE_OBJ_SLICE = 616,
    LINE_OBJ_ADD = 629,
    LINE_OBJ_MUL = 630,
    LINE_OBJ_SUB = 631,
    LINE_OBJ_DIV = 632,
    LINE_LIST_APPEND = 650,
    LINE_LIST_INSERT = 656,
    LINE_LIST_EXTEND_FN = 662,
    LINE_LIST_FIND = 668,
    LINE_LIST_SORT = 674,
    LINE_LIST_REVERSE = 680,
    LINE_STR_JOIN = 694,
};

std::string& var_get_errstr() {
    static std::string errstr;
    return errstr;
}

void _var_error(int line, const std::string& message) {
    std::fprintf(stderr, "%s:%d: %s\n", VAR_SOURCE, line, message.c_str());
    var_get_errstr() = message;
}

static void type_error(const var_object* o, int line, const char* op) {
    _var_error(line, std::string("TypeError: '") + var_typename(o->__type__()) +
                         "' object does not support '" + op + "'");
}

var& _var_none_tmp() {
    static var scratch;
    scratch.__destroy__();
    return scratch;
}

const char* var_typename(int code) {
    static const char* const names[] = {"none", "number", "string", "list", "dict", "bool"};
    return code >= 0 && code <= 5 ? names[code] : "invalid";
}

// ====== Numbers and their text ======

// Toward zero; NaN and values outside the 32-bit signed range give INT_MIN.
static int number_to_int(double v) {
    if (!(v > -2147483649.0 && v < 2147483648.0)) return INT_MIN;
    return (int)v;
}

std::string _var_number_to_str(double v) {
    int t = number_to_int(v);
    if (!std::isnan(v) && v == t) {
        char buf[16];
        auto r = std::to_chars(buf, buf + sizeof buf, t);
        return std::string(buf, r.ptr);
    }
    // "%f" of the largest double needs 309 digits before the point; the
    // buffer holds any double.  to_chars writes '.' whatever the locale.
    char buf[400];
    char* end;
    double micros = v * 1e6;
    if (std::fabs(micros) < 4503599627370496.0 && micros == std::trunc(micros)) {
        // Most numbers have a few decimals, and "%f" through to_chars is
        // slow.  A product that rounds to an integer below 2^52 lies within
        // a quarter of it, so that integer is v's "%f" rounding, digits
        // without the point.
        uint64_t whole = (uint64_t)std::fabs(micros);
        char* p = buf;
        if (std::signbit(v)) *p++ = '-';
        p = std::to_chars(p, buf + sizeof buf, whole / 1000000).ptr;
        *p++ = '.';
        uint64_t fraction = whole % 1000000;
        for (int i = 5; i >= 0; i--, fraction /= 10) p[i] = (char)('0' + fraction % 10);
        end = p + 6;
    } else if (std::isnan(v)) {
        end = std::strcpy(buf, std::signbit(v) ? "-nan" : "nan") + std::strlen(buf);
    } else {
        end = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 6).ptr;
    }
    int n = (int)(end - buf);
    while (n - 1 > 1 && buf[n - 1] == '0' && buf[n - 2] != '.') n--;
    return std::string(buf, n);
}

static locale_t c_locale() {
    static locale_t loc = newlocale(LC_ALL_MASK, "C", (locale_t)0);
    return loc;
}

double _var_str_to_number(const char* s) { return strtod_l(s, nullptr, c_locale()); }

double var_max(double a, double b) { return a > b ? a : b; }
double var_min(double a, double b) { return b > a ? a : b; }

// ====== Allocation ======

// Every scalar, container, iterator and dict entry is one small heap
// block, so the allocator dominates building and freeing values.  Blocks
// come in 16-byte size classes from 64 KB chunks that are never handed back
// to the system (a program's peak number of values stays reserved).  Main
// thread only, as the whole value model.  Sanitizer builds use the plain
// heap so that every use after free is still caught.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
void* _var_pool_alloc(size_t size) { return ::operator new(size); }
void _var_pool_free(void* p, size_t) { ::operator delete(p); }
#else
namespace {
// Blocks live in chunks aligned to their size, so a block finds its chunk
// by masking its address.  Each chunk marks its free blocks in a bitmap,
// and a block is always taken from the first chunk with room, at its
// lowest free block: values built together lie in ascending addresses even
// after other values were freed in any order, which keeps walking them
// cache friendly.
const size_t POOL_CLASSES = 8; // blocks of 16 to 128 bytes
const size_t CHUNK = 64 * 1024;
const size_t CHUNK_WORDS = CHUNK / 16 / 64; // bitmap words for the smallest blocks

struct Chunk {
    uint64_t free_bits[CHUNK_WORDS]; // 1 marks a free block
    uint32_t free_count;
    uint32_t first_word; // no free block lies below this bitmap word
    uint32_t block;      // block size
    uint32_t reciprocal; // 2^32 / block, rounded up: offsets divide exactly
    uint32_t index;      // in its class's chunks
};
const size_t CHUNK_HEADER = (sizeof(Chunk) + 63) / 64 * 64;

// The chunks of one size class, in the order they were made, with a bit
// per chunk that has a free block.  The last few blocks freed wait in
// `recent` and are handed out again first: a value freed and another built
// right after (the common churn) costs no bitmap work, while a big free
// still goes back to the bitmaps in address order.
const int RECENT = 32;
struct PoolClass {
    std::vector<Chunk*> chunks;
    std::vector<uint64_t> room;
    size_t first_room = 0; // no chunk with room lies below this word
    Chunk* first = nullptr; // the first chunk with room, or null
    void* recent[RECENT];
    int recent_count = 0;
};

// Never destroyed: values may still be freed by other statics at exit.
PoolClass* pools = nullptr;

size_t pool_class(size_t size) { return (size + 15) / 16 - 1; }

char* blocks(Chunk* c) { return reinterpret_cast<char*>(c) + CHUNK_HEADER; }

void mark_room(PoolClass& pool, Chunk* c) {
    size_t w = c->index / 64;
    pool.room[w] |= 1ull << (c->index % 64);
    if (w < pool.first_room) pool.first_room = w;
    if (!pool.first || c->index < pool.first->index) pool.first = c;
}

Chunk* first_with_room(PoolClass& pool) {
    for (size_t w = pool.first_room; w < pool.room.size(); w++) {
        if (pool.room[w]) {
            pool.first_room = w;
            return pool.chunks[w * 64 + (size_t)__builtin_ctzll(pool.room[w])];
        }
    }
    pool.first_room = pool.room.size();
    return nullptr;
}

void add_chunk(PoolClass& pool, size_t cls) {
    Chunk* c = static_cast<Chunk*>(std::aligned_alloc(CHUNK, CHUNK));
    if (!c) throw std::bad_alloc();
    c->block = (uint32_t)((cls + 1) * 16);
    c->reciprocal = (uint32_t)((1ull << 32) / c->block + 1);
    c->free_count = (uint32_t)((CHUNK - CHUNK_HEADER) / c->block);
    c->first_word = 0;
    for (size_t w = 0; w < CHUNK_WORDS; w++) {
        size_t from = w * 64, n = c->free_count;
        c->free_bits[w] = from >= n ? 0 : n - from >= 64 ? ~0ull : (1ull << (n - from)) - 1;
    }
    c->index = (uint32_t)pool.chunks.size();
    pool.chunks.push_back(c);
    if (pool.room.size() * 64 < pool.chunks.size()) pool.room.push_back(0);
    mark_room(pool, c);
}
} // namespace

void* _var_pool_alloc(size_t size) {
    size_t cls = pool_class(size);
    if (cls >= POOL_CLASSES) return ::operator new(size);
    if (!pools) pools = new PoolClass[POOL_CLASSES];
    PoolClass& pool = pools[cls];
    if (pool.recent_count) return pool.recent[--pool.recent_count];
    if (!pool.first) add_chunk(pool, cls);
    Chunk* c = pool.first;
    uint32_t w = c->first_word;
    while (!c->free_bits[w]) w++;
    c->first_word = w;
    uint64_t bits = c->free_bits[w];
    c->free_bits[w] = bits & (bits - 1);
    if (--c->free_count == 0) {
        pool.room[c->index / 64] &= ~(1ull << (c->index % 64));
        pool.first = first_with_room(pool);
    }
    return blocks(c) + (w * 64 + (size_t)__builtin_ctzll(bits)) * c->block;
}

void _var_pool_free(void* p, size_t size) {
    if (!p) return;
    size_t cls = pool_class(size);
    if (cls >= POOL_CLASSES) {
        ::operator delete(p);
        return;
    }
    PoolClass& pool = pools[cls];
    if (pool.recent_count < RECENT) {
        pool.recent[pool.recent_count++] = p;
        return;
    }
    Chunk* c = reinterpret_cast<Chunk*>(reinterpret_cast<uintptr_t>(p) & ~(uintptr_t)(CHUNK - 1));
    size_t i = (size_t)(((uint64_t)(static_cast<char*>(p) - blocks(c)) * c->reciprocal) >> 32);
    c->free_bits[i / 64] |= 1ull << (i % 64);
    if (i / 64 < c->first_word) c->first_word = (uint32_t)(i / 64);
    if (c->free_count++ == 0) mark_room(pool, c);
}
#endif

void* var_object::operator new(size_t size) { return _var_pool_alloc(size); }
void var_object::operator delete(void* p, size_t size) { _var_pool_free(p, size); }

// ====== Base class ======

var_object::~var_object() {}
int var_object::__type__() const { return -1; }
void var_object::__init__(var_cnumber) {}
void var_object::__init__(std::string) {}
void var_object::__init__(int, ...) {}
void var_object::__init__(bool) {}
var_object* var_object::__copy__() const { return new var_object(); }
var& var_object::__get__(const var&) {
    type_error(this, LINE_OBJ_GET, "__get__");
    return _var_none_tmp();
}
void var_object::__set__(const var&, const var&) { type_error(this, LINE_OBJ_SET, "__set__"); }
bool var_object::__has__(const var&) const {
    type_error(this, LINE_OBJ_HAS, "__has__");
    return false;
}
void var_object::__del__(const var&) { type_error(this, LINE_OBJ_DEL, "__del__"); }
int var_object::__len__() const {
    type_error(this, LINE_OBJ_LEN, "__len__");
    return 0;
}
var var_object::__slice__(int, int) const {
    type_error(this, LINE_OBJ_SLICE, "__slice__");
    return var();
}
var_object* var_object::__iter__() { return new var_object(); }
bool var_object::__next__(var&) { return false; }
bool var_object::__pair__(var&, var&) { return false; }
std::string var_object::__str__() const { return std::string(); }
var_cnumber var_object::__num__() const { return 0; }
bool var_object::__bool__() const { return false; }
bool var_object::__lt__(const var&) const { return false; }
bool var_object::__eq__(const var&) const { return false; }
var var_object::__add__(const var&) const {
    type_error(this, LINE_OBJ_ADD, "__add__");
    return var();
}
var var_object::__mul__(const var&) const {
    type_error(this, LINE_OBJ_MUL, "__mul__");
    return var();
}
var var_object::__sub__(const var&) const {
    type_error(this, LINE_OBJ_SUB, "__sub__");
    return var();
}
var var_object::__div__(const var&) const {
    type_error(this, LINE_OBJ_DIV, "__div__");
    return var();
}

// ====== The handle ======

// A null handle answers through this object.  It has no state, so sharing
// it is invisible, and no handle ever holds it.
static _var_none& none_object() {
    static _var_none none;
    return none;
}

var_object* var::obj() const { return value ? value : &none_object(); }

var::var(int v) { __init__((var_cnumber)v); }
var::var(float v) { __init__((var_cnumber)v); }
var::var(double v) { __init__((var_cnumber)v); }
var::var(bool v) { __init__(v); }
var::var(const char* s) {
    if (!s) {
        _var_error(LINE_NULL_STRING, "ValueError: string from a null pointer");
        return;
    }
    __init__(std::string(s));
}
var::var(std::string s) { __init__(std::move(s)); }
var::var(var_object* object) { __init__(object); }

var::var(int type, int n, ...) {
    va_list ap;
    va_start(ap, n);
    if (type == VAR_LIST) {
        _var_list* list = new _var_list();
        list->value.reserve(n > 0 ? n : 0);
        for (int i = 0; i < n; i++) list->value.push_back(*va_arg(ap, var*));
        __init__(list);
    } else if (type == VAR_DICT) {
        _var_dict* dict = new _var_dict();
        for (int i = 0; i + 1 < n; i += 2) {
            const var* k = va_arg(ap, var*);
            const var* v = va_arg(ap, var*);
            dict->__set__(*k, *v);
        }
        __init__(dict);
    }
    va_end(ap);
}

void var::__init__(var_cnumber v) {
    var_object* o = new _var_number();
    o->__init__(v);
    __init__(o);
}

void var::__init__(std::string v) {
    var_object* o = new _var_string();
    o->__init__(std::move(v));
    __init__(o);
}

void var::__init__(bool v) {
    var_object* o = new _var_bool();
    o->__init__((var_cnumber)(v ? 1 : 0));
    __init__(o);
}

var var::__slice__(int start, int end) const { return obj()->__slice__(start, end); }
var var::__copy__() const { return var(obj()->__copy__()); }
bool var::__eq__(const var& other) const {
    return value ? value->__eq__(other) : other.__type__() == VAR_NONE;
}
var var::__add__(const var& other) const { return obj()->__add__(other); }
var var::__mul__(const var& other) const { return obj()->__mul__(other); }
var var::__sub__(const var& other) const { return obj()->__sub__(other); }
var var::__div__(const var& other) const { return obj()->__div__(other); }

var::operator int() const { return number_to_int(__num__()); }

// Same answer as comparing with a new string value, without making one.
bool var::operator==(const std::string& s) const {
    return __type__() == VAR_STRING && static_cast<_var_string*>(value)->value == s;
}
bool var::operator==(const char* s) const { return s && *this == std::string(s); }

// ====== Scalars ======

_var_none::~_var_none() {}
var_object* _var_none::__copy__() const { return new _var_none(); }
std::string _var_none::__str__() const { return std::string(); }
bool _var_none::__eq__(const var& other) const { return other.__type__() == VAR_NONE; }

_var_number::~_var_number() {}

var_object* _var_number::__copy__() const {
    _var_number* o = new _var_number();
    o->value = value;
    return o;
}
std::string _var_number::__str__() const { return _var_number_to_str(value); }
bool _var_number::__lt__(const var& other) const {
    if (other.__type__() > VAR_NUMBER) return true;
    return value < other.__num__();
}
bool _var_number::__eq__(const var& other) const {
    return other.__type__() == VAR_NUMBER &&
           value == static_cast<const _var_number*>(other.value)->value;
}
var _var_number::__add__(const var& other) const { return var(value + other.__num__()); }
var _var_number::__mul__(const var& other) const { return var(value * other.__num__()); }
var _var_number::__sub__(const var& other) const { return var(value - other.__num__()); }
var _var_number::__div__(const var& other) const { return var(value / other.__num__()); }

_var_bool::~_var_bool() {}
var_object* _var_bool::__copy__() const {
    _var_bool* o = new _var_bool();
    o->value = value;
    return o;
}
std::string _var_bool::__str__() const { return value ? "True" : "False"; }
bool _var_bool::__eq__(const var& other) const {
    return other.__type__() == VAR_BOOL && other.__bool__() == value;
}

// Slice bounds: negative bounds count from the end (once), then the start is
// raised to 0 and the end lowered to n.  A start at or past the end gives
// an empty range.
static void slice_bounds(int n, int& start, int& end) {
    if (start < 0) start += n;
    if (end < 0) end += n;
    if (start < 0) start = 0;
    if (end > n) end = n;
    if (start > end) start = end;
    if (start > n) start = end = n;
}

_var_string::~_var_string() {}
var_object* _var_string::__copy__() const {
    _var_string* o = new _var_string();
    o->value = value;
    return o;
}
bool _var_string::__has__(const var& key) const {
    return value.find(key.__str__()) != std::string::npos;
}
var _var_string::__slice__(int start, int end) const {
    slice_bounds((int)value.size(), start, end);
    if (start >= end) return var(std::string());
    return var(value.substr(start, end - start));
}
var_object* _var_string::__iter__() {
    _var_string_iter* it = new _var_string_iter();
    it->string_it = value.begin();
    it->string_end = value.end();
    return it;
}
var_cnumber _var_string::__num__() const { return _var_str_to_number(value.c_str()); }
bool _var_string::__lt__(const var& other) const {
    if (other.__type__() > VAR_STRING) return true;
    return value < other.__str__();
}
bool _var_string::__eq__(const var& other) const {
    return other.__type__() == VAR_STRING &&
           static_cast<const _var_string*>(other.value)->value == value;
}
var _var_string::__add__(const var& other) const { return var(value + other.__str__()); }

// ====== Lists ======

// Index rule: truncate as operator int does, count negatives from the end
// once; -1 when out of range.
static int list_index(const var& key, int n) {
    int k = number_to_int(key.__num__());
    if (k < 0) k += n; // INT_MIN + n stays negative
    return (k >= 0 && k < n) ? k : -1;
}

static std::string instance_text(const char* kind, const void* p) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "<%s instance at %p>", kind, p);
    return buf;
}

_var_list::~_var_list() {}
var_object* _var_list::__copy__() const {
    _var_list* o = new _var_list();
    o->value = value;
    return o;
}
var& _var_list::__get__(const var& key) {
    int k = list_index(key, (int)value.size());
    if (k < 0) {
        _var_error(LINE_LIST_GET, "IndexError: list index out of range");
        return _var_none_tmp();
    }
    return value[k];
}
void _var_list::__set__(const var& key, const var& v) {
    int k = list_index(key, (int)value.size());
    if (k < 0) {
        _var_error(LINE_LIST_SET, "IndexError: list assignment index out of range");
        return;
    }
    value[k] = v;
}
var _var_list::__slice__(int start, int end) const {
    slice_bounds((int)value.size(), start, end);
    _var_list* o = new _var_list();
    if (start < end) o->value.assign(value.begin() + start, value.begin() + end);
    return var(o);
}
var_object* _var_list::__iter__() {
    _var_list_iter* it = new _var_list_iter();
    it->list_it = value.begin();
    it->list_end = value.end();
    return it;
}
std::string _var_list::__str__() const { return instance_text("list", this); }
bool _var_list::__lt__(const var& other) const {
    if (other.__type__() > VAR_LIST) return true;
    return (const void*)this < (const void*)other.value;
}
var _var_list::__add__(const var& other) const {
    if (other.__type__() != VAR_LIST) {
        _var_error(LINE_LIST_ADD, "TypeError: can only concatenate list to list");
        return var();
    }
    const std::vector<var>& b = static_cast<const _var_list*>(other.value)->value;
    _var_list* o = new _var_list();
    o->value.reserve(value.size() + b.size());
    o->value.insert(o->value.end(), value.begin(), value.end());
    o->value.insert(o->value.end(), b.begin(), b.end());
    return var(o);
}
int _var_list::_find(const var& v) const {
    for (size_t i = 0; i < value.size(); i++)
        if (value[i].__eq__(v)) return (int)i;
    return -1;
}
void _var_list::_pop(const var& key) {
    int k = list_index(key, (int)value.size());
    if (k < 0) {
        _var_error(LINE_LIST_POP, "IndexError: list assignment index out of range");
        return;
    }
    value.erase(value.begin() + k);
}
// Most lists are short and built one append at a time: the first growth
// makes room for four items at once instead of one, then two.
void _var_list::_append(const var& v) {
    if (value.size() == value.capacity() && value.capacity() < 4) {
        var item = v; // v may be an element of this list, moved by the growth
        value.reserve(4);
        value.push_back(std::move(item));
        return;
    }
    value.push_back(v);
}
void _var_list::_insert(int i, const var& v) {
    int n = (int)value.size();
    if (i < 0) i += n;
    if (i > n - 1) i = n - 1;
    if (i < 0) i = 0;
    value.insert(value.begin() + i, v);
}
void _var_list::_extend(const var& other) {
    if (other.__type__() != VAR_LIST) {
        _var_error(LINE_LIST_EXTEND, "TypeError: lists may only be extended by lists");
        return;
    }
    // Copy first: extending a list by itself must not read from the vector
    // while it grows.
    std::vector<var> items = static_cast<const _var_list*>(other.value)->value;
    value.insert(value.end(), items.begin(), items.end());
}

// The value ordering of operator< is not a strict weak order across kinds,
// and std::sort given such an order may run outside the range.  This total
// order agrees with operator< wherever that one is consistent: numbers
// ascending (NaN after them), strings in byte order, lists and dicts by
// address, bools after everything else, none first.
static int sort_rank(const var_object* o) {
    switch (o ? o->__type__() : VAR_NONE) {
    case VAR_NONE: return 0;
    case VAR_NUMBER: return std::isnan(o->__num__()) ? 2 : 1;
    case VAR_STRING: return 3;
    case VAR_LIST: return 4;
    case VAR_DICT: return 5;
    case VAR_BOOL: return 7;
    default: return 6;
    }
}

static bool sort_less(const var_object* a, const var_object* b) {
    int ra = sort_rank(a), rb = sort_rank(b);
    if (ra != rb) return ra < rb;
    switch (ra) {
    case 1: return a->__num__() < b->__num__();
    case 3:
        return static_cast<const _var_string*>(a)->value <
               static_cast<const _var_string*>(b)->value;
    case 4:
    case 5:
    case 6: return (const void*)a < (const void*)b;
    default: return false;
    }
}

void _var_list::_sort() {
    // Sort the object pointers and put them back: a permutation keeps every
    // count as it was, and no step goes through the assignment rule.
    std::vector<var_object*> raw(value.size());
    for (size_t i = 0; i < value.size(); i++) raw[i] = value[i].value;
    std::sort(raw.begin(), raw.end(), sort_less);
    for (size_t i = 0; i < value.size(); i++) value[i].value = raw[i];
}
void _var_list::_reverse() { std::reverse(value.begin(), value.end()); }

// ====== Dicts ======

_var_dict::~_var_dict() {}
var_object* _var_dict::__copy__() const {
    _var_dict* o = new _var_dict();
    o->value = value;
    return o;
}
bool _var_dict::__has__(const var& key) const { return value.count(key.__str__()) != 0; }
void _var_dict::__del__(const var& key) {
    auto it = value.find(key.__str__());
    if (it == value.end()) {
        _var_error(LINE_DICT_DEL, "dict::__del__:KeyError");
        return;
    }
    value.erase(it);
}
var_object* _var_dict::__iter__() {
    _var_dict_iter* it = new _var_dict_iter();
    it->dict_it = value.begin();
    it->dict_end = value.end();
    return it;
}
std::string _var_dict::__str__() const { return instance_text("dict", this); }
bool _var_dict::__lt__(const var& other) const {
    if (other.__type__() > VAR_DICT) return true;
    return (const void*)this < (const void*)other.value;
}

// ====== Iterators ======

// Whether o is exactly a number object, without a virtual call: its class's
// type info is unique in the program.  A false answer only means "ask the
// object".
static bool plain_number(const var_object* o) {
    return o && &typeid(*o) == &typeid(_var_number);
}

// Hands an item to the caller's handle by the assignment rule.  Loops get
// numbers by the million, and the rule's virtual equality test (which asks
// the other value for its type in turn) cost more than the rest of the
// step, so two plain numbers are compared here; an equal one still leaves
// the handle its own object, and NaN still equals nothing.
static void deliver(var& out, const var& item) {
    if (plain_number(out.value) && plain_number(item.value)) {
        if (static_cast<_var_number*>(out.value)->value != static_cast<_var_number*>(item.value)->value)
            out.__init__(item.value);
        return;
    }
    out = item;
}

_var_string_iter::~_var_string_iter() {}
bool _var_string_iter::__next__(var& out) {
    if (string_it == string_end) return false;
    deliver(out, var((int)(signed char)*string_it++));
    return true;
}
bool _var_string_iter::__pair__(var& key, var& value) {
    if (string_it == string_end) return false;
    deliver(key, var(n++));
    deliver(value, var((int)(signed char)*string_it++));
    return true;
}

_var_list_iter::~_var_list_iter() {}
bool _var_list_iter::__next__(var& out) {
    if (list_it == list_end) return false;
    deliver(out, *list_it++);
    n++;
    return true;
}
bool _var_list_iter::__pair__(var& key, var& value) {
    if (list_it == list_end) return false;
    deliver(key, var(n++));
    deliver(value, *list_it++);
    return true;
}

_var_dict_iter::~_var_dict_iter() {}
bool _var_dict_iter::__next__(var& out) {
    if (dict_it == dict_end) return false;
    out = var(dict_it->first);
    ++dict_it;
    return true;
}
bool _var_dict_iter::__pair__(var& key, var& value) {
    if (dict_it == dict_end) return false;
    key = var(dict_it->first);
    deliver(value, dict_it->second);
    ++dict_it;
    return true;
}

// ====== Builders ======

var var_list() { return var(VAR_LIST, 0); }
var var_list(var a) { return var(VAR_LIST, 1, &a); }
var var_dict() { return var(VAR_DICT, 0); }
var var_dict(var k, var v) { return var(VAR_DICT, 2, &k, &v); }
var var_dict(var key1, var value1, var key2, var value2) {
    return var(VAR_DICT, 4, &key1, &value1, &key2, &value2);
}
std::string var_str(const var& v) { return v.__str__(); }

// ====== List functions ======

static _var_list* as_list(const var& list, int line) {
    if (list.__type__() == VAR_LIST) return static_cast<_var_list*>(list.value);
    _var_error(line, "UnsupportedError");
    return nullptr;
}

void list_append(var& list, const var& v) {
    if (_var_list* l = as_list(list, LINE_LIST_APPEND)) l->_append(v);
}
void list_insert(var& list, int i, const var& v) {
    if (_var_list* l = as_list(list, LINE_LIST_INSERT)) l->_insert(i, v);
}
void list_extend(var& list, const var& other) {
    if (_var_list* l = as_list(list, LINE_LIST_EXTEND_FN)) l->_extend(other);
}
int list_find(const var& list, const var& v) {
    _var_list* l = as_list(list, LINE_LIST_FIND);
    return l ? l->_find(v) : -1;
}
void list_sort(var& list) {
    if (_var_list* l = as_list(list, LINE_LIST_SORT)) l->_sort();
}
void list_reverse(var& list) {
    if (_var_list* l = as_list(list, LINE_LIST_REVERSE)) l->_reverse();
}

// ====== String functions ======

int str_find(std::string s, std::string sub) {
    size_t p = s.find(sub);
    return p == std::string::npos ? -1 : (int)p;
}

var str_join(std::string sep, var& list) {
    if (list.__type__() != VAR_LIST) {
        _var_error(LINE_STR_JOIN, "TypeError");
        return var();
    }
    const std::vector<var>& items = static_cast<_var_list*>(list.value)->value;
    std::string out;
    for (size_t i = 0; i < items.size(); i++) {
        if (i > 0) out += sep;
        out += items[i].__str__();
    }
    return var(out);
}

// An empty text to replace would match everywhere forever: the text comes
// back unchanged.
std::string str_replace(std::string s, const std::string& from, const std::string& to) {
    if (from.empty()) return s;
    size_t pos = 0;
    while ((pos = s.find(from, pos)) != std::string::npos) {
        s.replace(pos, from.size(), to);
        pos += to.size();
    }
    return s;
}

// An empty separator would split forever: the text comes back as one item.
var str_split(std::string s, const std::string& sep) {
    var out = var_list();
    _var_list* l = static_cast<_var_list*>(out.value);
    size_t pos = 0;
    if (!sep.empty()) {
        size_t at;
        while ((at = s.find(sep, pos)) != std::string::npos) {
            l->_append(var(s.substr(pos, at - pos)));
            pos = at + sep.size();
        }
    }
    l->_append(var(s.substr(pos)));
    return out;
}

static bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

std::string str_strip(std::string s) {
    size_t first = s.size(), last = 0;
    for (size_t i = 0; i < s.size(); i++) {
        if (!is_blank(s[i])) {
            if (first == s.size()) first = i;
            last = i + 1;
        }
    }
    return first < last ? s.substr(first, last - first) : std::string();
}

std::string str_lower(std::string s) {
    for (char& c : s) c = (char)std::tolower((unsigned char)c);
    return s;
}
