// A script host without a window: the driver's settings record, a game with
// a real API object, a home directory and a script directory in temporary
// directories, and (on request) a real Lua engine serving the API object.
#pragma once

#include <gtest/gtest.h>
#include <lua.hpp>

#include <cstdlib>
#include <fstream>
#include <string>

#include "game.h"
#include "mods_api.h"
#include "mods_lua.h"
#include "support/capture.h"
#include "zov_driver.h"

inline void write_text(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string read_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class Host : public ::testing::Test {
protected:
    TempDir home;    // HOME: documents go to <home>/.zovtest
    TempDir scripts; // the main script's directory
    Game game;
    ModsAPI* api = nullptr;
    ModsLua* lua = nullptr;

    void SetUp() override {
        old_home_ = getenv("HOME") ? getenv("HOME") : "";
        setenv("HOME", home.path().c_str(), 1);
        driver_init(0);
        driver_set_gamename("zovtest");
        GAME_THIS = &game;
        set_main(scripts / "main.lua");
        api = new ModsAPI(game);
        game.data.mods.api = api;
    }

    void TearDown() override {
        delete lua; // the engine first: its finalizers may still print
        game.data.mods.mod = nullptr;
        delete api;
        GAME_THIS = nullptr;
        driver_deinit();
        setenv("HOME", old_home_.c_str(), 1);
    }

    void set_main(const std::string& path) { snprintf(game.data.mods.fname, sizeof game.data.mods.fname, "%s", path.c_str()); }

    // Starts the Lua engine; "api.lua" is looked up in the script directory.
    void start_lua() {
        driver_set_altdir(scripts.path().c_str());
        lua = static_cast<ModsLua*>(mods_lua(*api));
        game.data.mods.mod = lua;
    }

    void run(const std::string& code) { lua->script(code.c_str(), "test"); }

    // A global's value as tostring gives it ("<nil>" for nil), all its bytes.
    std::string global(const char* name) {
        lua_getglobal(lua->L, name);
        size_t l = 0;
        std::string r = "<nil>";
        if (!lua_isnil(lua->L, -1)) {
            const char* s = luaL_tolstring(lua->L, -1, &l);
            r.assign(s, l);
            lua_pop(lua->L, 1);
        }
        lua_pop(lua->L, 1);
        return r;
    }

    // Whether the console log holds this exact line.
    bool logged(const std::string& line) {
        for (const std::string& l : api->log)
            if (l == line) return true;
        return false;
    }

    // The error text of running `call` under pcall ("ok" when it succeeds).
    std::string error_of(const std::string& call) {
        run("local ok, e = pcall(function() " + call + " end) err = ok and 'ok' or tostring(e)");
        return global("err");
    }

private:
    std::string old_home_;
};
