// mods_lua: the Lua 5.2 script engine and the script globals.
//
// A ModsLua owns one Lua state that serves one ModsAPI: the fourteen script
// globals call that API object, and the library's own output (print,
// io.write, file writes to the standard streams, the panic handler,
// debug.debug) goes into its console log through the output functions
// below.  Lua's C++ build is used, so a script error unwinds C++ objects.
// Whatever the host does with the state runs inside a protected call: a
// finalizer's error or a failed allocation is reported like any script
// error and never ends the process.
//
// State: `_lua_modsapi`, the API object that output is written to; set by
// every engine as it starts and runs, cleared by that API object's
// destructor, which also closes the game's engine if it serves that object.
// The API object a state's globals serve is kept with the state's memory
// count as its allocator's user value, out of every script's reach.  Main
// thread only.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "mods.h"
#include "zov_var.h"

struct lua_State;
class ModsAPI;

// The memory a state's scripts may hold.  Past it an allocation fails with
// Lua's "not enough memory" error, reported like any script error, while the
// rest of the program (the GL driver, the console, the log) still has room
// to go on.  The texts the host runs itself (files, console lines) may go
// LUA_MEMORY_RESERVE further, so that a game that has filled its memory can
// still be mended from the console or by a reload.
constexpr size_t LUA_MEMORY_LIMIT = (size_t)512 << 20;
constexpr size_t LUA_MEMORY_RESERVE = (size_t)64 << 20;

// What a state's allocator is given: the API object the state serves and
// the count of the bytes the state holds.  What the host keeps for the
// scripts (ModsAPI::kept) counts against the same limit.
struct LuaHeap {
    ModsAPI* api; // cleared by the API object's destructor when it goes first
    size_t used = 0;
    size_t limit = LUA_MEMORY_LIMIT;
    bool host_text = false; // a text the host runs: the reserve is open
    bool closing = false;   // the state is being closed: nothing is refused
    // The most the scripts may hold now.
    size_t cap() const { return closing ? SIZE_MAX : limit + (host_text ? LUA_MEMORY_RESERVE : 0); }
};

class ModsLua : public ModsBase {
public:
    ModsAPI& g;
    lua_State* L = nullptr;
    int status = 0; // 0 while healthy, else the Lua status of the last failed hook
    LuaHeap heap;

    explicit ModsLua(ModsAPI& api) : g(api), heap{&api} {}
    ~ModsLua() override { lua_deinit(); }

    // Opens the state with the standard libraries (without the 5.1
    // compatibility functions), the host's output, the script globals, and
    // runs the data file "api.lua".
    void lua_init();
    // Closes the state (finalizers run now); the hooks do nothing after.
    void lua_deinit();

    // The hooks do nothing while a failed hook has left `status` non-zero.
    void init() override;
    void loop(float t) override;
    void event(var e) override;
    void paint() override;
    // Runs a text and clears the error state, before and after.
    void script(const char* s, const char* name) override;
    bool is_ok() override { return status == 0; }

    // Pushes a dict as a table with the same keys: none values are left
    // out (nil), numbers stay numbers, dicts become tables, every other
    // value becomes its string form.  Nothing passes through source text.
    void dict2lua(var e);
};

// A new engine with its state open; the caller owns it.
ModsBase* mods_lua(ModsAPI& api);

// The API object that the library's output goes to; null discards it.
extern ModsAPI* _lua_modsapi;

// Slot n as a value: nil none, number, boolean; anything else as a string
// (a table or function raises "null string").
var LUA_TO_VAR(lua_State* L, int n);
// Pushes none as nil, numbers, bools; anything else as its string form.
void LUA_PUSH_VAR(lua_State* L, var e);
// Slot n as a string (numbers converted), else d; with neither, raises
// "null string".  The length, zero bytes included, goes to *len.
const char* my_lua_tostring(lua_State* L, int n, const char* d, size_t* len = nullptr);

// The library's writes: standard output and standard error go into the
// console log (one log text per call), any other file is written normally.
int lua_fwrite(const void* ptr, size_t size, size_t count, FILE* stream);
int lua_fputs(const char* msg, FILE* stream);
int lua_fprintf(FILE* stream, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
