// zov_var: the dynamic value of the whole system.
//
// A `var` is a one-word handle on a reference-counted, polymorphic
// `var_object`; the object's class decides what every value operation does.
// A null handle is the none value and needs no object.  Scalars (none,
// number, bool, string) never change once set up, so sharing them is
// invisible; lists and dicts change in place and have reference semantics.
//
// Errors never throw: each one writes "%s:%d: %s\n" (this module's source
// file, a fixed line number per reporting site, the message) on standard
// error, becomes the last-error string (`var_get_errstr`), and the operation
// carries on with a fallback result.
//
// Single-threaded: counts are plain ints, and the last-error string and the
// scratch none handle are process-wide statics.  Main thread only.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "zov_util.h"

typedef double var_cnumber;

enum { VAR_NONE = 0, VAR_NUMBER = 1, VAR_STRING = 2, VAR_LIST = 3, VAR_DICT = 4, VAR_BOOL = 5 };

class var;

// ====== Object base class: the default behaviour of every operation ======
class var_object {
public:
    int refs = 0; // handles holding this object; 0 until one adopts it

    // Value objects are small and made by the million: they come from
    // per-size free lists (see zov_var.cpp).
    static void* operator new(size_t size);
    static void operator delete(void* p, size_t size);

    virtual ~var_object();
    virtual int __type__() const;
    virtual void __init__(var_cnumber v);
    virtual void __init__(std::string v);
    virtual void __init__(int n, ...);
    virtual void __init__(bool v);
    virtual var_object* __copy__() const;
    virtual var& __get__(const var& key);
    virtual void __set__(const var& key, const var& value);
    virtual bool __has__(const var& key) const;
    virtual void __del__(const var& key);
    virtual int __len__() const;
    virtual var __slice__(int start, int end) const;
    virtual var_object* __iter__();
    virtual bool __next__(var& out);
    virtual bool __pair__(var& key, var& value);
    virtual std::string __str__() const;
    virtual var_cnumber __num__() const;
    virtual bool __bool__() const;
    virtual bool __lt__(const var& other) const;
    virtual bool __eq__(const var& other) const;
    virtual var __add__(const var& other) const;
    virtual var __mul__(const var& other) const;
    virtual var __sub__(const var& other) const;
    virtual var __div__(const var& other) const;
};

// ====== The handle ======
class var {
public:
    var_object* value = nullptr;

    var() {}
    var(int v);
    var(float v);
    var(double v);
    var(bool v);
    var(const char* s); // a null pointer gives none and an error line
    var(std::string s);
    var(int type, int n, ...); // a list or dict from n addresses of values
    var(var_object* object);   // adopts the object; null gives none
    var(const var& other) : value(other.value) {
        if (value) ++value->refs;
    }
    var(var&& other) noexcept : value(other.value) { other.value = nullptr; }
    ~var() { __destroy__(); }

    // Set-up: create a new scalar object, set it and adopt it.
    void __init__(var_cnumber v);
    void __init__(std::string v);
    void __init__(bool v);
    // Adopt: count on the new object first, then release the old one.
    void __init__(var_object* object) {
        if (object) ++object->refs;
        var_object* old = value;
        value = object;
        release(old);
    }
    // Release the held object (deleted at count 0); the handle becomes none.
    void __destroy__() {
        var_object* old = value;
        value = nullptr;
        release(old);
    }

    // Value operations: the held object's, or a none object's for null.
    int __type__() const { return value ? value->__type__() : VAR_NONE; }
    var& __get__(const var& key) { return obj()->__get__(key); }
    void __set__(const var& key, const var& v) { obj()->__set__(key, v); }
    bool __has__(const var& key) const { return obj()->__has__(key); }
    void __del__(const var& key) { obj()->__del__(key); }
    int __len__() const { return obj()->__len__(); }
    var __slice__(int start, int end) const;
    var __copy__() const;
    var_object* __iter__() { return obj()->__iter__(); }
    // A none object iterates empty, so a null handle answers false itself:
    // loops call these once per item.
    bool __next__(var& out) { return value && value->__next__(out); }
    bool __pair__(var& key, var& v) { return value && value->__pair__(key, v); }
    std::string __str__() const { return obj()->__str__(); }
    var_cnumber __num__() const { return value ? value->__num__() : 0; }
    bool __bool__() const { return value && value->__bool__(); }
    bool __lt__(const var& other) const { return value && value->__lt__(other); }
    bool __eq__(const var& other) const;
    var __add__(const var& other) const;
    var __mul__(const var& other) const;
    var __sub__(const var& other) const;
    var __div__(const var& other) const;

    // Assignment rule: an equal value changes nothing; otherwise adopt.
    // (Adopting the object already held changes nothing either, so that
    // case skips the comparison.)
    void operator=(const var& other) {
        if (value != other.value && !__eq__(other)) __init__(other.value);
    }

    operator double() const { return __num__(); }
    operator float() const { return (float)__num__(); }
    operator int() const;
    operator std::string() const { return __str__(); }
    operator bool() const { return __bool__(); }

    bool operator<(const var& other) const { return __lt__(other); }
    bool operator==(const var& other) const { return __eq__(other); }
    bool operator!=(const var& other) const { return !__eq__(other); }
    bool operator==(const std::string& s) const;
    bool operator==(const char* s) const;

    var& operator[](const var& key) { return __get__(key); }
    var& operator[](int key) { return __get__(var(key)); }
    var& operator[](const std::string& key) { return __get__(var(key)); }
    var& operator[](const char* key) { return __get__(var(key)); }

private:
    var_object* obj() const;
    static void release(var_object* o) {
        if (o && --o->refs == 0) delete o;
    }
};

// ====== Scalar classes ======
class _var_none : public var_object {
public:
    ~_var_none() override;
    int __type__() const override { return VAR_NONE; }
    var_object* __copy__() const override;
    std::string __str__() const override;
    bool __eq__(const var& other) const override;
};

class _var_number : public var_object {
public:
    var_cnumber value = 0;
    ~_var_number() override;
    int __type__() const override { return VAR_NUMBER; }
    void __init__(var_cnumber v) override { value = v; }
    using var_object::__init__;
    var_object* __copy__() const override;
    std::string __str__() const override;
    var_cnumber __num__() const override { return value; }
    bool __bool__() const override { return value != 0; }
    bool __lt__(const var& other) const override;
    bool __eq__(const var& other) const override;
    var __add__(const var& other) const override;
    var __mul__(const var& other) const override;
    var __sub__(const var& other) const override;
    var __div__(const var& other) const override;
};

class _var_bool : public var_object {
public:
    bool value = false;
    ~_var_bool() override;
    int __type__() const override { return VAR_BOOL; }
    void __init__(var_cnumber v) override { value = v != 0; }
    using var_object::__init__;
    var_object* __copy__() const override;
    std::string __str__() const override;
    var_cnumber __num__() const override { return value ? 1 : 0; }
    bool __bool__() const override { return value; }
    bool __eq__(const var& other) const override;
};

class _var_string : public var_object {
public:
    std::string value;
    ~_var_string() override;
    int __type__() const override { return VAR_STRING; }
    void __init__(std::string v) override { value = std::move(v); }
    using var_object::__init__;
    var_object* __copy__() const override;
    bool __has__(const var& key) const override;
    int __len__() const override { return (int)value.size(); }
    var __slice__(int start, int end) const override;
    var_object* __iter__() override;
    std::string __str__() const override { return value; }
    var_cnumber __num__() const override;
    bool __bool__() const override { return !value.empty(); }
    bool __lt__(const var& other) const override;
    bool __eq__(const var& other) const override;
    var __add__(const var& other) const override;
};

// ====== Containers ======

// Pool blocks of the value model, for its objects and dict entries (see
// zov_var.cpp).  Main thread only.
void* _var_pool_alloc(size_t size);
void _var_pool_free(void* p, size_t size);

// Dict entries come from the value pools too: dicts are built one entry at
// a time, and the general heap dominated building and freeing them.
template <class T>
struct _var_pool_allocator {
    typedef T value_type;
    _var_pool_allocator() {}
    template <class U>
    _var_pool_allocator(const _var_pool_allocator<U>&) {}
    T* allocate(size_t n) { return static_cast<T*>(_var_pool_alloc(n * sizeof(T))); }
    void deallocate(T* p, size_t n) { _var_pool_free(p, n * sizeof(T)); }
};
template <class T, class U>
bool operator==(const _var_pool_allocator<T>&, const _var_pool_allocator<U>&) { return true; }
template <class T, class U>
bool operator!=(const _var_pool_allocator<T>&, const _var_pool_allocator<U>&) { return false; }

// The entries of a dict: std::string compares bytes unsigned.
typedef std::map<std::string, var, std::less<std::string>,
                 _var_pool_allocator<std::pair<const std::string, var>>>
    var_dict_map;

class _var_list : public var_object {
public:
    std::vector<var> value;
    ~_var_list() override;
    int __type__() const override { return VAR_LIST; }
    var_object* __copy__() const override;
    var& __get__(const var& key) override;
    void __set__(const var& key, const var& v) override;
    bool __has__(const var& v) const override { return _find(v) != -1; }
    void __del__(const var& key) override { _pop(key); }
    int __len__() const override { return (int)value.size(); }
    bool __bool__() const override { return !value.empty(); }
    var __slice__(int start, int end) const override;
    var_object* __iter__() override;
    std::string __str__() const override;
    var_cnumber __num__() const override { return 0; }
    bool __lt__(const var& other) const override;
    bool __eq__(const var& other) const override { return other.value == this; }
    var __add__(const var& other) const override;

    int _find(const var& v) const;
    void _pop(const var& key);
    void _append(const var& v);
    void _insert(int i, const var& v);
    void _extend(const var& other);
    void _sort();
    void _reverse();
};

class _var_dict : public var_object {
public:
    var_dict_map value;
    ~_var_dict() override;
    int __type__() const override { return VAR_DICT; }
    var_object* __copy__() const override;
    var& __get__(const var& key) override { return value[key.__str__()]; }
    void __set__(const var& key, const var& v) override { value[key.__str__()] = v; }
    bool __has__(const var& key) const override;
    void __del__(const var& key) override;
    int __len__() const override { return (int)value.size(); }
    bool __bool__() const override { return !value.empty(); }
    var_object* __iter__() override;
    std::string __str__() const override;
    bool __lt__(const var& other) const override;
    bool __eq__(const var& other) const override { return other.value == this; }
};

// ====== Iterators: walk a container as it stood at __iter__ ======
class _var_string_iter : public var_object {
public:
    int n = 0;
    std::string::const_iterator string_it, string_end;
    ~_var_string_iter() override;
    bool __next__(var& out) override;
    bool __pair__(var& key, var& value) override;
};

class _var_list_iter : public var_object {
public:
    int n = 0;
    std::vector<var>::iterator list_it, list_end;
    ~_var_list_iter() override;
    bool __next__(var& out) override;
    bool __pair__(var& key, var& value) override;
};

class _var_dict_iter : public var_object {
public:
    var_dict_map::iterator dict_it, dict_end;
    ~_var_dict_iter() override;
    bool __next__(var& out) override;
    bool __pair__(var& key, var& value) override;
};

// ====== Free functions ======
const char* var_typename(int code);
std::string& var_get_errstr();
// Sets the scratch none handle (given by failed lookups) to none.
var& _var_none_tmp();
// The number text: integral values in the 32-bit range as integers, any
// other value as "%f" with trailing zeros cut down to one decimal.  The
// same in every locale.
std::string _var_number_to_str(double v);
// Parses the leading number of a text as atof does, in every locale.
double _var_str_to_number(const char* s);
// Reports an error of the value model: the line on stderr and the
// last-error string.  `line` is the fixed number of the reporting site.
void _var_error(int line, const std::string& message);

double var_max(double a, double b);
double var_min(double a, double b);

var var_list();
var var_list(var a);
var var_dict();
var var_dict(var k, var v);
var var_dict(var key1, var value1, var key2, var value2);
std::string var_str(const var& v);

void list_append(var& list, const var& v);
void list_insert(var& list, int i, const var& v);
void list_extend(var& list, const var& other);
int list_find(const var& list, const var& v);
void list_sort(var& list);
void list_reverse(var& list);

int str_find(std::string s, std::string sub);
var str_join(std::string sep, var& list);
std::string str_replace(std::string s, const std::string& from, const std::string& to);
var str_split(std::string s, const std::string& sep);
std::string str_strip(std::string s);
std::string str_lower(std::string s);
