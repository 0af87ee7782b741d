#include "mods_lua.h"

#include <lua.hpp>

#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <new>

#include "gprint.h"
#include "mods_api.h"
#include "zov_driver.h"
#include "zov_printf.h"
#include "zov_util.h"

ModsAPI* _lua_modsapi = nullptr;

// ====== Output functions ======

int lua_fwrite(const void* ptr, size_t size, size_t count, FILE* stream) {
    size_t l = size * count;
    if (l < 1) return 0;
    if (l > INT_MAX) l = INT_MAX;
    // Real files are written as Lua would write them: reporting a write as
    // done while dropping it would empty the user's files.
    if (stream != stdout && stream != stderr) return (int)std::fwrite(ptr, 1, l, stream);
    if (_lua_modsapi) _lua_modsapi->log_entry(std::string(static_cast<const char*>(ptr), l));
    return (int)l;
}

int lua_fputs(const char* msg, FILE* stream) { return lua_fwrite(msg, 1, std::strlen(msg), stream); }

int lua_fprintf(FILE* stream, const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    std::string text = zov_vformat(fmt, ap);
    va_end(ap);
    return lua_fputs(text.c_str(), stream);
}

// ====== Allocation failures of the host's own code ======

// Runs f; a C++ allocation failure becomes the Lua error "not enough
// memory".  The library's catch-all would otherwise turn it into a status
// of -1 with whatever value lay on top of the stack as the error.
template <class F>
static int _oom_guard(lua_State* L, F&& f) {
    try {
        return f();
    } catch (const std::bad_alloc&) {
    }
    // Raised after the handler has ended: the exception is gone by then.
    lua_pushliteral(L, "not enough memory");
    return lua_error(L);
}

// A host function called from Lua, with the guard around it.
template <lua_CFunction f>
static int _guarded(lua_State* L) {
    return _oom_guard(L, [L] { return f(L); });
}

// ====== The library's printing, pointed at the output functions ======

static int _host_print(lua_State* L) {
    int n = lua_gettop(L);
    lua_getglobal(L, "tostring");
    for (int i = 1; i <= n; i++) {
        lua_pushvalue(L, -1);
        lua_pushvalue(L, i);
        lua_call(L, 1, 1);
        size_t l;
        const char* s = lua_tolstring(L, -1, &l);
        if (!s) return luaL_error(L, "'tostring' must return a string to 'print'");
        if (i > 1) lua_fwrite("\t", 1, 1, stdout);
        lua_fwrite(s, 1, l, stdout);
        lua_pop(L, 1);
    }
    lua_fwrite("\n", 1, 1, stdout);
    std::fflush(stdout);
    return 0;
}

// Writes the arguments from `arg` on to a standard stream; the file handle
// to return is on the top of the stack.
static int _host_g_write(lua_State* L, FILE* f, int arg) {
    int nargs = lua_gettop(L) - arg;
    bool ok = true;
    for (; nargs--; arg++) {
        if (lua_type(L, arg) == LUA_TNUMBER) {
            ok = ok && lua_fprintf(f, LUA_NUMBER_FMT, (LUAI_UACNUMBER)lua_tonumber(L, arg)) > 0;
        } else {
            size_t l;
            const char* s = luaL_checklstring(L, arg, &l);
            ok = ok && (size_t)lua_fwrite(s, 1, l, f) == l;
        }
    }
    if (ok) return 1;
    return luaL_fileresult(L, 0, nullptr);
}

// file:write.  Upvalue 1: the library's own, which keeps every other file
// (and a closed one) exactly as Lua handles it.
static int _host_f_write(lua_State* L) {
    luaL_Stream* p = static_cast<luaL_Stream*>(luaL_checkudata(L, 1, LUA_FILEHANDLE));
    if (p->closef && (p->f == stdout || p->f == stderr)) {
        lua_pushvalue(L, 1);
        return _host_g_write(L, p->f, 2);
    }
    lua_pushvalue(L, lua_upvalueindex(1));
    lua_insert(L, 1);
    lua_call(L, lua_gettop(L) - 1, LUA_MULTRET);
    return lua_gettop(L);
}

// io.write: file:write on the current output file.  Upvalues: the library's
// io.output and the host's file:write.
static int _host_io_write(lua_State* L) {
    lua_pushvalue(L, lua_upvalueindex(1));
    lua_call(L, 0, 1);
    lua_insert(L, 1);
    lua_pushvalue(L, lua_upvalueindex(2));
    lua_insert(L, 1);
    lua_call(L, lua_gettop(L) - 1, LUA_MULTRET);
    return lua_gettop(L);
}

static int _host_panic(lua_State* L) {
    const char* msg = lua_tostring(L, -1);
    lua_fprintf(stderr, "PANIC: unprotected error in call to Lua API (%s)\n", msg ? msg : "?");
    std::fflush(stderr);
    return 0;
}

// debug.debug: prompt and messages to the log, commands from standard input.
static int _host_debug(lua_State* L) {
    for (;;) {
        char buffer[250];
        lua_fprintf(stderr, "%s", "lua_debug> ");
        std::fflush(stderr);
        if (!std::fgets(buffer, sizeof buffer, stdin) || std::strcmp(buffer, "cont\n") == 0) return 0;
        if (luaL_loadbufferx(L, buffer, std::strlen(buffer), "=(debug command)", "t") || lua_pcall(L, 0, 0, 0)) {
            const char* msg = lua_tostring(L, -1);
            lua_fprintf(stderr, "%s\n", msg ? msg : "(error object is not a string)");
            std::fflush(stderr);
        }
        lua_settop(L, 0);
    }
}

static void _host_output(lua_State* L) {
    lua_register(L, "print", _guarded<_host_print>);

    luaL_getmetatable(L, LUA_FILEHANDLE);
    lua_getfield(L, -1, "write");
    lua_pushcclosure(L, _guarded<_host_f_write>, 1);
    lua_pushvalue(L, -1);
    lua_setfield(L, -3, "write");
    // Stack: metatable, host file:write.
    lua_getglobal(L, "io");
    lua_getfield(L, -1, "output");
    lua_pushvalue(L, -3);
    lua_pushcclosure(L, _guarded<_host_io_write>, 2);
    lua_setfield(L, -2, "write");
    lua_pop(L, 3);

    lua_getglobal(L, "debug");
    lua_pushcfunction(L, _guarded<_host_debug>);
    lua_setfield(L, -2, "debug");
    lua_pop(L, 1);
}

// The library is built with Lua 5.1's functions, which this runtime does not
// offer.
static void _remove_51(lua_State* L) {
    static const char* const globals[] = {"unpack", "loadstring", "module"};
    for (const char* name : globals) {
        lua_pushnil(L);
        lua_setglobal(L, name);
    }
    static const char* const fields[][2] = {
        {"table", "maxn"}, {"math", "log10"}, {"package", "loaders"}, {"package", "seeall"}};
    for (const auto& f : fields) {
        lua_getglobal(L, f[0]);
        lua_pushnil(L);
        lua_setfield(L, -2, f[1]);
        lua_pop(L, 1);
    }
}

// ====== Running texts ======

static void l_message(const char* pname, const char* msg) {
    if (pname) {
        lua_fprintf(stderr, "%s: ", pname);
        std::fflush(stderr);
    }
    lua_fprintf(stderr, "%s\n", msg);
    std::fflush(stderr);
}

// Writes the "tovmar2: " lines for the error value on top and pops it.  A
// nil value (error() or error(nil)) gets a line of its own that names the
// chunk.  Only with `convert` is a number turned into text: that allocates,
// which is allowed inside a protected call only.
static void _report_value(lua_State* L, const char* name, bool convert) {
    char none[600];
    const char* msg = nullptr;
    if (lua_isnil(L, -1)) {
        std::snprintf(none, sizeof none, "%s raised an error without a message", name);
        msg = none;
    } else if (convert || lua_type(L, -1) == LUA_TSTRING) {
        msg = lua_tostring(L, -1);
    }
    l_message("tovmar2", msg ? msg : "(error object is not a string)");
    lua_pop(L, 1);
}

// Reports a failed status, then collects all garbage.  The collection runs
// finalizers, which may raise in turn: the caller runs this inside a
// protected call.
static int report(lua_State* L, int status, const char* name) {
    if (status) {
        _report_value(L, name, true);
        lua_gc(L, LUA_GCCOLLECT, 0);
    }
    return status;
}

template <class Body>
static int _protected_body(lua_State* L) {
    Body& body = *static_cast<Body*>(lua_touserdata(L, 1));
    lua_pop(L, 1);
    return _oom_guard(L, [&] {
        body();
        return 0;
    });
}

// Runs body() inside a protected call, with the stack as it finds it; an
// error that escapes the body is reported and its status returned.  Every
// host call that can allocate goes through here: any allocation may run a
// step of the collector and with it a script's finalizer, and an error
// outside a protected call ends the process.  Pushing the function and the
// pointer allocates nothing.
template <class Body>
static int _protect(lua_State* L, const char* name, Body body) {
    lua_pushcfunction(L, _protected_body<Body>);
    lua_pushlightuserdata(L, &body);
    int status = lua_pcall(L, 1, 0, 0);
    if (status) _report_value(L, name, false);
    return status;
}

static int traceback(lua_State* L) {
    const char* msg = lua_tostring(L, 1);
    if (msg) {
        luaL_traceback(L, L, msg, 1);
    } else if (!lua_isnoneornil(L, 1)) {
        if (!luaL_callmeta(L, 1, "__tostring")) lua_pushliteral(L, "(no error message)");
    }
    return 1;
}

static int docall(lua_State* L, int narg, int nres) {
    int base = lua_gettop(L) - narg;
    lua_pushcfunction(L, traceback);
    lua_insert(L, base);
    int status = lua_pcall(L, narg, nres, base);
    lua_remove(L, base);
    return status;
}

// Loads `s` as a text chunk (precompiled chunks are refused), pushes its
// arguments with push() (which returns their count), calls it and reports
// an error.  The stack is left as it was.  The status is the chunk's, else
// that of an error raised around it (a finalizer's, while the arguments
// are built).
template <class Push>
static int _dochunk(lua_State* L, const char* s, const char* name, Push push) {
    int status = LUA_OK;
    int around = _protect(L, name, [&] {
        status = luaL_loadbufferx(L, s, std::strlen(s), name, "t");
        if (status == LUA_OK) status = docall(L, push(), 0);
        report(L, status, name);
    });
    return status ? status : around;
}

static int dostring(lua_State* L, const char* s, const char* name) {
    return _dochunk(L, s, name, [] { return 0; });
}

// ====== The engine ======

ModsBase* mods_lua(ModsAPI& api) {
    ModsLua* m = new ModsLua(api);
    m->lua_init();
    return m;
}

static void _register_globals(lua_State* L);

// What the scripts hold: the state's own bytes and what the host keeps for
// them.
static size_t _held(const LuaHeap& heap) { return heap.used + (heap.api ? heap.api->kept() : 0); }

// The allocator's user value holds the API object the state serves: no
// script can reach it, while the registry, upvalues and metatables are all
// open to the debug library, so a value kept there could be swapped for
// anything.  Only growth is refused at the limit: Lua needs shrinking and
// freeing never to fail.
static void* _host_alloc(void* ud, void* ptr, size_t osize, size_t nsize) {
    LuaHeap& heap = *static_cast<LuaHeap*>(ud);
    size_t held = ptr ? osize : 0; // without a block, osize is a type tag
    if (nsize == 0) {
        std::free(ptr);
        heap.used -= held;
        return nullptr;
    }
    if (nsize > held && _held(heap) - held + nsize > heap.cap()) return nullptr;
    void* block = std::realloc(ptr, nsize);
    if (block) heap.used = heap.used - held + nsize;
    return block;
}

// Closes a state with its memory limit lifted.  Closing runs the
// finalizer of every object still alive, each in a protected call whose
// error the library leaves on the stack, one slot per failed finalizer,
// without checking for room: once a finalizer is refused memory, so is the
// stack's growth for the next, and the failures write past the stack's end.
static void _close(lua_State* L, LuaHeap& heap) {
    heap.closing = true;
    lua_close(L);
    heap.closing = false;
}

void ModsLua::lua_init() {
    _lua_modsapi = &g;
    if (L) return;
    L = lua_newstate(_host_alloc, &heap);
    if (L) lua_atpanic(L, _host_panic);
    bool set_up = L && _protect(L, "lua_init", [this] {
                           luaL_openlibs(L);
                           _remove_51(L);
                           _host_output(L);
                           _register_globals(L);
                       }) == LUA_OK;
    if (!set_up) {
        if (L) _close(L, heap);
        L = nullptr;
        gprint("lua_init: no memory for a Lua state\n");
        return;
    }
    g.scripts_heap = &heap;
    std::string text = driver_data_load("api.lua");
    dostring(L, text.c_str(), "api.lua");
}

void ModsLua::lua_deinit() {
    // Finalizers that print during the close write to the current target:
    // the last running engine's API object, or nowhere once that is gone
    // (its destructor clears the target).  The game's API object closes
    // its engine itself before it goes.
    if (!L) return;
    // Cleared first: a finalizer that requires a file must not run it in
    // the state being closed.
    lua_State* closing = L;
    L = nullptr;
    // Garbage goes first, in a protected collection, so that its
    // finalizers' errors are reported; the library drops the errors of
    // finalizers that only lua_close runs (objects still reachable).
    _protect(closing, "close", [closing] { lua_gc(closing, LUA_GCCOLLECT, 0); });
    _close(closing, heap);
    if (heap.api && heap.api->scripts_heap == &heap) heap.api->scripts_heap = nullptr;
}

// Records a hook's failure: it stops the hooks until a text is run.
static int _hook_status(int status, const char* hook) {
    if (status) _gprint(__FILE__, __LINE__, hook, 0, "Lua error: %d\n", status);
    return status;
}

void ModsLua::init() {
    if (status || !L) return;
    _lua_modsapi = &g;
    status = _hook_status(dostring(L, "_init()", "init"), "init");
}

void ModsLua::loop(float t) {
    if (status || !L) return;
    _lua_modsapi = &g;
    // The number goes through the stack, never through text.
    int st = _dochunk(L, "_loop(...)", "loop", [&] {
        lua_pushnumber(L, t);
        return 1;
    });
    status = _hook_status(st, "loop");
}

void ModsLua::event(var e) {
    if (status || !L || e.__type__() != VAR_DICT) return;
    _lua_modsapi = &g;
    int st = _dochunk(L, "_event(...)", "event", [&] {
        dict2lua(e);
        return 1;
    });
    status = _hook_status(st, "event");
}

void ModsLua::paint() {
    if (status || !L) return;
    _lua_modsapi = &g;
    status = _hook_status(dostring(L, "_paint()", "paint"), "paint");
}

void ModsLua::script(const char* s, const char* name) {
    if (!L) return;
    _lua_modsapi = &g;
    status = 0;
    // A text may run inside a hook (a file it requires): the hook's limit
    // holds again after it.
    bool host_text = heap.host_text;
    heap.host_text = true;
    _hook_status(dostring(L, s, name), "script");
    heap.host_text = host_text;
    status = 0;
}

// ====== Conversion between Lua values and var ======

// Deeper dicts (only a dict that holds itself gets there) arrive as nil.
enum { LUA_VAR_DEPTH_MAX = 32 };

static void _push_var(lua_State* L, const var& e, int depth) {
    switch (e.__type__()) {
    case VAR_NONE:
        lua_pushnil(L);
        break;
    case VAR_NUMBER:
        lua_pushnumber(L, e.__num__());
        break;
    case VAR_DICT: {
        if (depth >= LUA_VAR_DEPTH_MAX) {
            lua_pushnil(L);
            break;
        }
        luaL_checkstack(L, 3, "dict too deep");
        const auto& items = static_cast<const _var_dict*>(e.value)->value;
        lua_createtable(L, 0, (int)items.size());
        for (const auto& kv : items) {
            lua_pushlstring(L, kv.first.data(), kv.first.size());
            _push_var(L, kv.second, depth + 1);
            lua_rawset(L, -3);
        }
        break;
    }
    default: {
        std::string s = e.__str__();
        lua_pushlstring(L, s.data(), s.size());
        break;
    }
    }
}

void ModsLua::dict2lua(var e) { _push_var(L, e, 0); }

const char* my_lua_tostring(lua_State* L, int n, const char* d, size_t* len) {
    size_t l = 0;
    const char* r = lua_tolstring(L, n, &l);
    if (!r && d) {
        r = d;
        l = std::strlen(d);
    }
    if (!r) {
        lua_pushliteral(L, "null string");
        lua_error(L);
    }
    if (len) *len = l;
    return r;
}

var LUA_TO_VAR(lua_State* L, int n) {
    switch (lua_type(L, n)) {
    case LUA_TNIL:
        return var();
    case LUA_TNUMBER:
        return var((double)lua_tonumber(L, n));
    case LUA_TBOOLEAN:
        return var(lua_toboolean(L, n) != 0);
    default: {
        size_t l;
        const char* s = my_lua_tostring(L, n, nullptr, &l);
        return var(std::string(s, l));
    }
    }
}

void LUA_PUSH_VAR(lua_State* L, var e) {
    switch (e.__type__()) {
    case VAR_NONE:
        lua_pushnil(L);
        break;
    case VAR_NUMBER:
        lua_pushnumber(L, e.__num__());
        break;
    case VAR_BOOL:
        lua_pushboolean(L, e.__bool__());
        break;
    default: {
        std::string s = e.__str__();
        lua_pushlstring(L, s.data(), s.size());
        break;
    }
    }
}

// ====== Script globals ======
// Each binding checks its argument count, converts every argument (a
// conversion error is raised before anything is called), calls the API
// object, raises a pending error whoever left it, and pushes its results.

// The API object, after the argument count has been checked.
static ModsAPI& _api(lua_State* L, int lo, int hi) {
    int n = lua_gettop(L);
    if (n < lo || n > hi) {
        lua_pushliteral(L, "incorrect number of arguments");
        lua_error(L);
    }
    void* heap = nullptr;
    lua_getallocf(L, &heap);
    ModsAPI* api = static_cast<LuaHeap*>(heap)->api;
    if (!api) { // a finalizer run as the state closes after its API object went
        lua_pushliteral(L, "the game is gone");
        lua_error(L);
    }
    return *api;
}

// Raises the pending error, if any, with its text alone.
static void _raise_pending(lua_State* L, ModsAPI& g) {
    if (!g.api_error()) return;
    std::string e = g.api_error_get();
    g.api_error_clear();
    lua_pushlstring(L, e.data(), e.size());
    lua_error(L);
}

// Argument i as a string with all its bytes.
static std::string _str(lua_State* L, int i) {
    size_t l;
    const char* s = my_lua_tostring(L, i, nullptr, &l);
    return std::string(s, l);
}

// Argument i as a number; d when it is absent; 0 when it is not a number.
static float _num(lua_State* L, int i, float d = 0) {
    return i <= lua_gettop(L) ? (float)lua_tonumberx(L, i, nullptr) : d;
}

// Argument i as an integer, truncated and saturated at the int range (the
// library's own conversion of a huge number is undefined); d when absent.
static int _int(lua_State* L, int i, int d = 0) {
    return i <= lua_gettop(L) ? trunc_int(lua_tonumberx(L, i, nullptr)) : d;
}

static int lua_require(lua_State* L) {
    ModsAPI& g = _api(L, 1, 1);
    std::string name = _str(L, 1);
    g.require(name);
    _raise_pending(L, g);
    return 0;
}

static int lua_params_set(lua_State* L) {
    ModsAPI& g = _api(L, 2, 2);
    std::string k = _str(L, 1);
    var v = LUA_TO_VAR(L, 2);
    g.params_set(k, v);
    _raise_pending(L, g);
    return 0;
}

static int lua_params_get(lua_State* L) {
    ModsAPI& g = _api(L, 1, 1);
    var v = g.params_get(_str(L, 1));
    _raise_pending(L, g);
    LUA_PUSH_VAR(L, v);
    return 1;
}

static int lua_file_load(lua_State* L) {
    ModsAPI& g = _api(L, 1, 1);
    std::string text = g.file_load(_str(L, 1));
    _raise_pending(L, g);
    lua_pushlstring(L, text.data(), text.size());
    return 1;
}

static int lua_file_save(lua_State* L) {
    ModsAPI& g = _api(L, 2, 2);
    std::string name = _str(L, 1);
    std::string data = _str(L, 2);
    std::string reason;
    bool saved = g.file_save(name, data, &reason);
    _raise_pending(L, g);
    // A failed write (disk full, unwritable home) is the player's trouble,
    // not the script's mistake: it gets false and the reason, and goes on.
    lua_pushboolean(L, saved);
    if (saved) return 1;
    lua_pushlstring(L, reason.data(), reason.size());
    return 2;
}

static int lua_view_set(lua_State* L) {
    ModsAPI& g = _api(L, 4, 5);
    g.view_set(_num(L, 1), _num(L, 2), _num(L, 3), _num(L, 4), _num(L, 5, 1.0f));
    _raise_pending(L, g);
    return 0;
}

static int lua_image_init(lua_State* L) {
    ModsAPI& g = _api(L, 12, 12);
    std::string name = _str(L, 1);
    std::string src = _str(L, 2);
    g.image_init(name, src, _num(L, 3), _num(L, 4), _num(L, 5), _num(L, 6), _num(L, 7), _num(L, 8), _num(L, 9),
                 _num(L, 10), _num(L, 11), _num(L, 12));
    _raise_pending(L, g);
    return 0;
}

static int lua_image_draw(lua_State* L) {
    ModsAPI& g = _api(L, 5, 12);
    std::string name = _str(L, 1);
    g.image_draw(name, _num(L, 2), _num(L, 3), _num(L, 4), _num(L, 5), _num(L, 6), _num(L, 7), _num(L, 8),
                 _int(L, 9, 0xffffff), _num(L, 10, 1.0f), _int(L, 11), _num(L, 12));
    _raise_pending(L, g);
    return 0;
}

static int lua_sample_play(lua_State* L) {
    ModsAPI& g = _api(L, 1, 3);
    g.sample_play(_str(L, 1), _num(L, 2, 1.0f), _num(L, 3));
    _raise_pending(L, g);
    return 0;
}

static int lua_stream_play(lua_State* L) {
    ModsAPI& g = _api(L, 1, 3);
    g.stream_play(_str(L, 1), _num(L, 2, 1.0f), _num(L, 3));
    _raise_pending(L, g);
    return 0;
}

static int lua_stream_stop(lua_State* L) {
    ModsAPI& g = _api(L, 1, 1);
    g.stream_stop(_str(L, 1));
    _raise_pending(L, g);
    return 0;
}

static int lua_font_draw(lua_State* L) {
    ModsAPI& g = _api(L, 5, 12);
    std::string name = _str(L, 1);
    int points = _int(L, 2);
    std::string text = _str(L, 3);
    g.font_draw(name, points, text, _num(L, 4), _num(L, 5), _num(L, 6), trunc_int(_num(L, 7)),
                _int(L, 8, 0xffffff), _num(L, 9, 1.0f), (float)_int(L, 10));
    _raise_pending(L, g);
    return 0;
}

static int lua_font_size(lua_State* L) {
    ModsAPI& g = _api(L, 3, 4);
    std::string name = _str(L, 1);
    int points = _int(L, 2);
    std::string text = _str(L, 3);
    unsigned r = g.font_size(name, points, text, _num(L, 4));
    _raise_pending(L, g);
    lua_pushinteger(L, (lua_Integer)(r >> 16));
    lua_pushinteger(L, (lua_Integer)(r & 0xffff));
    return 2;
}

static int lua_ext_call(lua_State* L) {
    ModsAPI& g = _api(L, 1, 2);
    std::string action = _str(L, 1);
    std::string data = lua_gettop(L) >= 2 ? _str(L, 2) : std::string();
    std::string r = g.ext_call(action, data);
    _raise_pending(L, g);
    lua_pushlstring(L, r.data(), r.size());
    return 1;
}

static const luaL_Reg _globals[] = {
    {"require", _guarded<lua_require>},
    {"zov_params_set", _guarded<lua_params_set>},
    {"zov_params_get", _guarded<lua_params_get>},
    {"zov_file_load", _guarded<lua_file_load>},
    {"zov_file_save", _guarded<lua_file_save>},
    {"zov_view_set", _guarded<lua_view_set>},
    {"zov_image_init", _guarded<lua_image_init>},
    {"zov_image_draw", _guarded<lua_image_draw>},
    {"zov_sample_play", _guarded<lua_sample_play>},
    {"zov_stream_play", _guarded<lua_stream_play>},
    {"zov_stream_stop", _guarded<lua_stream_stop>},
    {"zov_font_draw", _guarded<lua_font_draw>},
    {"zov_font_size", _guarded<lua_font_size>},
    {"zov_ext_call", _guarded<lua_ext_call>},
};

static void _register_globals(lua_State* L) {
    for (const luaL_Reg& r : _globals) lua_register(L, r.name, r.func);
}
