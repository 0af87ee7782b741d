// The Lua engine: its state, error reporting and error state, the library's
// output reaching the log, events and frame times through the stack, and
// closing while finalizers print.
#include <algorithm>
#include <clocale>
#include <cmath>
#include <limits>

#include "host_fixture.h"

namespace {

class Engine : public Host {
protected:
    void SetUp() override {
        Host::SetUp();
        write_text(scripts / "api.lua", "API_LOADED = true");
        capture([&] { start_lua(); });
    }
};

} // namespace

TEST_F(Engine, RunsApiLuaFirstAndHasNoLua51Functions) {
    EXPECT_EQ(global("API_LOADED"), "true");
    run("gone = tostring(unpack) .. tostring(loadstring) .. tostring(module) .. tostring(table.maxn)"
        " .. tostring(math.log10) .. tostring(package.loaders) .. tostring(package.seeall)"
        " kept = type(table.unpack) .. type(load) .. type(package.searchers) .. type(math.log)");
    EXPECT_EQ(global("gone"), "nilnilnilnilnilnilnil");
    EXPECT_EQ(global("kept"), "functionfunctiontablefunction");
}

TEST_F(Engine, FailingApiLuaIsReportedButDoesNotBlockTheHooks) {
    delete lua;
    game.data.mods.mod = nullptr;
    write_text(scripts / "api.lua", "error('api broke')");
    capture([&] { start_lua(); });
    EXPECT_EQ(api->log.back(), "tovmar2: ");
    EXPECT_TRUE(lua->is_ok());
}

TEST_F(Engine, ErrorsGoToTheLogWithTracebackAndTheStatusLine) {
    Captured c = capture([&] { run("local x = nil\nerror('bad thing')"); });
    // Two log texts: the program name, then the message with its traceback
    // (which the log splits into lines, newest first).
    ASSERT_GE(api->log.size(), 3u);
    EXPECT_EQ(api->log.back(), "tovmar2: ");
    EXPECT_EQ(api->log[api->log.size() - 2], "[string \"test\"]:2: bad thing");
    EXPECT_EQ(api->log[api->log.size() - 3], "stack traceback:");
    EXPECT_NE(c.out.find("[mods_lua.cpp:script:"), std::string::npos);
    EXPECT_NE(c.out.find("] Lua error: 2"), std::string::npos);
    EXPECT_TRUE(lua->is_ok()) << "a script text never leaves the engine blocked";

    api->log.clear();
    capture([&] { run("error({})"); });
    EXPECT_TRUE(logged("(no error message)"));
    api->log.clear();
    capture([&] { run("this is not lua"); });
    EXPECT_TRUE(logged("tovmar2: "));
}

// An error value that is no string is reported by its __tostring, whatever
// that returns.
TEST_F(Engine, ErrorObjectsAreReportedByTheirTostring) {
    const std::pair<const char*, const char*> cases[] = {
        {"error(setmetatable({}, {__tostring = function() return 'custom' end}))", "custom"},
        {"error(setmetatable({}, {__tostring = function() return 42 end}))", "42"},
        {"error({})", "(no error message)"},
    };
    for (const auto& c : cases) {
        api->log.clear();
        capture([&] { run(c.first); });
        EXPECT_EQ(api->log, (std::vector<std::string>{c.second, "tovmar2: "})) << c.first;
    }
}

// The traceback begins with the frame that failed, then its callers.
TEST_F(Engine, TracebackStartsAtTheFailingFrame) {
    struct Case {
        const char* code;
        std::vector<std::string> frames; // the first lines after "stack traceback:"
    };
    const Case cases[] = {
        {"function inner() local t = nil return t.x end\nfunction outer() inner() end\nouter()",
         {"    [string \"test\"]:1: in function 'inner'", "    [string \"test\"]:2: in function 'outer'"}},
        {"function inner() error('bad') end\nfunction outer() inner() end\nouter()",
         {"    [C]: in function 'error'", "    [string \"test\"]:1: in function 'inner'"}},
    };
    for (const Case& c : cases) {
        api->log.clear();
        capture([&] { run(c.code); });
        std::vector<std::string> lines(api->log.rbegin(), api->log.rend());
        auto at = std::find(lines.begin(), lines.end(), "stack traceback:");
        ASSERT_LE(at + 1 + c.frames.size(), lines.end()) << c.code;
        EXPECT_EQ(std::vector<std::string>(at + 1, at + 1 + c.frames.size()), c.frames) << c.code;
    }
}

TEST_F(Engine, AFailingHookStopsAllFourUntilATextRuns) {
    run("calls = '' function _init() calls = calls .. 'i' end function _paint() calls = calls .. 'p' end"
        " function _event(e) calls = calls .. 'e' end"
        " function _loop(t) calls = calls .. 'l' if fail then error('loop failed') end end");
    lua->loop(0.1f);
    EXPECT_TRUE(lua->is_ok());
    run("fail = true");
    Captured c = capture([&] { lua->loop(0.1f); });
    EXPECT_FALSE(lua->is_ok());
    EXPECT_EQ(lua->status, LUA_ERRRUN);
    EXPECT_NE(c.out.find("[mods_lua.cpp:loop:"), std::string::npos);

    lua->init();
    lua->loop(0.1f);
    lua->paint();
    lua->event(var_dict());
    EXPECT_EQ(global("calls"), "ll");

    run("fail = false");
    EXPECT_TRUE(lua->is_ok());
    lua->init();
    lua->paint();
    lua->event(var_dict());
    lua->loop(0.1f);
    EXPECT_EQ(global("calls"), "llipel");
}

TEST_F(Engine, AMissingHookFunctionIsAnError) {
    capture([&] { lua->init(); });
    EXPECT_FALSE(lua->is_ok());
}

TEST_F(Engine, EventsOnlyForDicts) {
    run("n = 0 function _event(e) n = n + 1 end");
    lua->event(var(5));
    lua->event(var_list());
    lua->event(var_dict());
    EXPECT_EQ(global("n"), "1");
}

TEST_F(Engine, EventDictArrivesAsATableWithTheSameKeysAndValues) {
    var inner = var_dict();
    inner["a b"] = var(1);
    inner["1"] = var("one");
    inner[""] = var("empty key");
    var e = var_dict();
    e["type"] = var("keydown");
    e["x"] = var(1.25);
    e["text"] = var("\nline]=]end");
    e["nan"] = var(std::numeric_limits<double>::quiet_NaN());
    e["inf"] = var(HUGE_VAL);
    e["nested"] = inner;
    e["gone"] = var();
    e["flag"] = var(true); // any other kind arrives as its string form
    run("function _event(e) ev = e end");
    lua->event(e);
    ASSERT_TRUE(lua->is_ok());
    run("r = ev.type .. '|' .. ev.x .. '|' .. ev.text .. '|' .. tostring(ev.nan ~= ev.nan) .. '|'"
        " .. tostring(ev.inf == math.huge) .. '|' .. ev.nested['a b'] .. '|' .. ev.nested['1'] .. '|'"
        " .. ev.nested[''] .. '|' .. tostring(ev.gone) .. '|' .. ev.flag .. '|' .. type(ev.x)"
        " .. '|' .. tostring(rawget(_G, 'nan')) .. tostring(rawget(_G, 'inf'))");
    EXPECT_EQ(global("r"), "keydown|1.25|\nline]=]end|true|true|1|one|empty key|nil|True|number|nilnil");
}

TEST_F(Engine, NumbersNeverPassThroughTextUnderACommaLocale) {
    const char* old = setlocale(LC_ALL, nullptr);
    std::string saved = old ? old : "C";
    if (!setlocale(LC_ALL, "de_DE.UTF-8")) GTEST_SKIP() << "no de_DE locale";
    run("function _loop(t) dt = t end function _event(e) ex = e.x end");
    lua->loop(0.5f);
    var e = var_dict();
    e["x"] = var(2.75);
    lua->event(e);
    setlocale(LC_ALL, saved.c_str());
    ASSERT_TRUE(lua->is_ok());
    run("same = (dt == 0.5) and (ex == 2.75)");
    EXPECT_EQ(global("same"), "true");
}

TEST_F(Engine, PrecompiledChunksAreRefused) {
    run("bin = string.dump(function() return 1 end)");
    std::string bin = global("bin");
    capture([&] { lua->script(bin.c_str(), "bin"); });
    bool refused = false;
    for (const std::string& l : api->log) refused = refused || l.find("binary chunk") != std::string::npos;
    EXPECT_TRUE(refused);
}

TEST_F(Engine, PrintWritesEachPieceToTheLog) {
    Captured c = capture([&] { run("print('a', 'b') print() print(1.5, nil)"); });
    ASSERT_EQ(api->log.size(), 4u);
    EXPECT_EQ(api->log[0], "nil");
    EXPECT_EQ(api->log[1], "1.5");
    EXPECT_EQ(api->log[2], "b");
    EXPECT_EQ(api->log[3], "a");
    EXPECT_NE(c.out.find("ModsAPI: a\n"), std::string::npos);
}

TEST_F(Engine, StandardStreamWritesReachTheLog) {
    capture([&] {
        run("same = io.write('w1', 2) == io.stdout"
            " io.stdout:write('w2') io.stderr:write('w3', '\\tx') io.output():write('w4')");
    });
    std::vector<std::string> expect = {"w4", "    x", "w3", "w2", "2", "w1"};
    EXPECT_EQ(api->log, expect);
    EXPECT_EQ(global("same"), "true");
}

TEST_F(Engine, WritesToRealFilesAreCarriedOut) {
    std::string path = scripts / "out.txt", path2 = scripts / "out2.txt";
    run("local f = io.open('" + path + "', 'w') ok = f:write('hello ', 42) == f f:close()"
        " io.output('" + path2 + "') io.write('via io.write') io.close() io.output(io.stdout)"
        " closed = pcall(function() local g = io.open('" + path + "') g:close() g:write('x') end)");
    EXPECT_EQ(read_text(path), "hello 42");
    EXPECT_EQ(read_text(path2), "via io.write");
    EXPECT_EQ(global("ok"), "true");
    EXPECT_EQ(global("closed"), "false");
    EXPECT_TRUE(api->log.empty());
}

TEST_F(Engine, FinalizerOutputDuringCloseReachesTheLogWhileTheApiLives) {
    run("setmetatable({}, {__gc = function() print('bye') end})");
    capture([&] { lua->lua_deinit(); });
    ASSERT_FALSE(api->log.empty());
    EXPECT_EQ(api->log[0], "bye");
    lua->loop(0.1f); // a closed engine does nothing
}

TEST_F(Engine, DeletingTheApiFirstClosesItsEngineBeforeItGoes) {
    write_text(scripts / "late.lua", "late_ran = true");
    run("setmetatable({}, {__gc = function() print('bye') zov_params_set('late', 1) require('late') end})");
    capture([&] {
        delete api;
        api = nullptr;
    });
    game.data.mods.api = nullptr;
    EXPECT_EQ(lua->L, nullptr);
    EXPECT_EQ(_lua_modsapi, nullptr);
}

TEST_F(Engine, OutputOfAnEngineClosedAfterItsApiIsDiscarded) {
    // An engine the game does not hold is not closed by the API object.
    game.data.mods.mod = nullptr;
    run("setmetatable({}, {__gc = function() print('lost') end})");
    capture([&] {
        delete api;
        api = nullptr;
        lua->lua_deinit();
    });
    game.data.mods.api = nullptr;
    EXPECT_EQ(_lua_modsapi, nullptr);
}

TEST_F(Engine, DebugPromptAndMessagesGoToTheLogCommandsComeFromStandardInput) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const char cmds[] = "print('dbg')\nerror('oops')\ncont\n";
    ASSERT_EQ(write(fds[1], cmds, sizeof cmds - 1), (ssize_t)(sizeof cmds - 1));
    close(fds[1]);
    int saved = dup(0);
    dup2(fds[0], 0);
    close(fds[0]);
    capture([&] { run("debug.debug() after = true"); });
    dup2(saved, 0);
    close(saved);
    clearerr(stdin);
    EXPECT_EQ(global("after"), "true");
    EXPECT_TRUE(logged("lua_debug> "));
    EXPECT_TRUE(logged("dbg"));
    bool oops = false;
    for (const std::string& l : api->log) oops = oops || l.find("oops") != std::string::npos;
    EXPECT_TRUE(oops);
}
