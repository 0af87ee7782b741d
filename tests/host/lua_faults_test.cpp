// Faults that must never end the process: finalizers that raise wherever
// the collector runs them, errors without a message, allocations of the
// host's own code that fail inside a binding or while a hook's arguments
// are built, and scripts that reach their memory limit.
#include <cstdlib>
#include <new>

#include "host_fixture.h"
#include "zov_font.h"

// Allocations of the host's C++ code can be made to fail: while
// `fail_from` is not zero, every request of at least that many bytes
// throws.  Lua allocates with realloc and is not affected.
static std::size_t fail_from = 0;

void* operator new(std::size_t n) {
    if (fail_from && n >= fail_from) throw std::bad_alloc();
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
// GCC cannot tell that the replaced new above is malloc underneath.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop

namespace {

// Requests of a megabyte and more fail while one of these lives.
struct FailingAllocations {
    FailingAllocations() { fail_from = 1 << 20; }
    ~FailingAllocations() { fail_from = 0; }
};

class Faults : public Host {
protected:
    void SetUp() override {
        Host::SetUp();
        write_text(scripts / "api.lua", "");
        capture([&] { start_lua(); });
    }

    // The console log, oldest first.
    std::vector<std::string> log_lines() { return std::vector<std::string>(api->log.rbegin(), api->log.rend()); }
};

// The ways into the scripts: the four hooks and a console line.
struct Hook {
    const char* name;
    const char* function; // the script function it ends up in
    void (*call)(ModsLua&);
    bool blocks; // whether a failure stops the hooks
};

const Hook HOOKS[] = {
    {"init", "_init", [](ModsLua& m) { m.init(); }, true},
    {"loop", "_loop", [](ModsLua& m) { m.loop(0.5f); }, true},
    {"paint", "_paint", [](ModsLua& m) { m.paint(); }, true},
    {"event", "_event", [](ModsLua& m) { m.event(var_dict()); }, true},
    {"console", "typed", [](ModsLua& m) { m.script("typed()", "console"); }, false},
};

// Defines the hook's function so that it raises `error(args)`.
std::string raising(const Hook& h, const std::string& args) {
    return std::string("function ") + h.function + "() error(" + args + ") end ";
}

// A garbage object whose finalizer raises, left for the next full
// collection: the one that follows every reported error.
const char* PENDING_FINALIZER =
    "collectgarbage('stop') setmetatable({}, {__gc = function() error('finalizer failed') end}) ";

} // namespace

TEST_F(Faults, RaisingFinalizerAfterAnErrorIsReportedFromEveryHook) {
    for (const Hook& h : HOOKS) {
        run(raising(h, "'hook failed'") + PENDING_FINALIZER);
        api->log.clear();
        capture([&] { h.call(*lua); });
        std::vector<std::string> log = log_lines();
        ASSERT_GE(log.size(), 4u) << h.name;
        EXPECT_EQ(log[0], "tovmar2: ") << h.name;
        EXPECT_NE(log[1].find("hook failed"), std::string::npos) << h.name;
        EXPECT_EQ(log[2], "stack traceback:") << h.name;
        EXPECT_EQ(log[log.size() - 2], "tovmar2: ") << h.name;
        EXPECT_EQ(log.back(), "error in __gc metamethod ([string \"test\"]:1: finalizer failed)") << h.name;
        EXPECT_EQ(lua->status, h.blocks ? LUA_ERRRUN : LUA_OK) << h.name << ": the script's own error state";
        EXPECT_EQ(lua_gettop(lua->L), 0) << h.name << ": no error value left behind";
    }
    run("collectgarbage('restart') alive = true");
    EXPECT_EQ(global("alive"), "true");
}

TEST_F(Faults, RaisingFinalizerAtCloseIsReported) {
    run(PENDING_FINALIZER);
    capture([&] { lua->lua_deinit(); });
    EXPECT_TRUE(logged("error in __gc metamethod ([string \"test\"]:1: finalizer failed)"));
}

TEST_F(Faults, AnErrorWithoutAMessageSaysSo) {
    for (const char* args : {"", "nil"}) {
        for (const Hook& h : HOOKS) {
            run(raising(h, args));
            api->log.clear();
            capture([&] { h.call(*lua); });
            std::vector<std::string> want = {"tovmar2: ", std::string(h.name) + " raised an error without a message"};
            EXPECT_EQ(log_lines(), want) << "error(" << args << ")";
            EXPECT_EQ(lua->is_ok(), !h.blocks) << h.name;
        }
    }
}

TEST_F(Faults, FailedAllocationInsideABindingSaysNotEnoughMemory) {
    run("big = string.rep('x', 2 ^ 21)");
    const char* calls[] = {"zov_params_set('k', big)", "zov_image_draw(big, 0, 0, 1, 1)", "print(big)",
                           "io.write(big)"};
    for (const char* call : calls) {
        {
            FailingAllocations failing;
            run(std::string("local ok, e = pcall(function() ") + call + " end) err = ok and 'ok' or tostring(e)");
        }
        EXPECT_EQ(global("err"), "not enough memory") << call;
    }
}

TEST_F(Faults, FailedAllocationWhileAnEventIsBuiltIsReported) {
    run("function _event(e) seen = true end");
    var e = var_dict();
    e["text"] = var(std::string(2 << 20, 'x'));
    {
        FailingAllocations failing;
        capture([&] { lua->event(e); });
    }
    EXPECT_TRUE(logged("not enough memory"));
    EXPECT_FALSE(lua->is_ok());
    EXPECT_EQ(global("seen"), "<nil>");
}

// A leak kept in a global fills the memory to the last bytes: a console
// line or a reload must still run to mend it, while the hooks stay held to
// the limit (a hook cannot even start while the memory is over it), and
// memory that is freed can be used again.
TEST_F(Faults, ScriptsStopAtTheirMemoryLimitAndTheHostsTextsCanMendThem) {
    lua->heap.limit = 8 << 20;
    // Bounded, so that a missing limit fails the test instead of the machine.
    run("function _loop() hog = {} for i = 1, 2^21 do hog[i] = {} end end");
    capture([&] { lua->loop(0); });
    EXPECT_EQ(lua->status, LUA_ERRMEM);
    EXPECT_TRUE(logged("not enough memory"));
    EXPECT_LE(lua->heap.used, lua->heap.limit);

    // The file a console line requires is a host's text too: the reserve
    // stays open for the rest of the line after it.
    write_text(scripts / "mend.lua", "print('con' .. 'sole')");
    api->log.clear();
    capture([&] { run("require('mend.lua') extra = string.rep('x', 2^22)"); });
    EXPECT_TRUE(logged("console")) << "a host's text may go past the limit";
    EXPECT_EQ(global("extra").size(), 4u << 20);

    run("function _loop() more = string.rep('y', 2^20) end");
    capture([&] { lua->loop(0); });
    EXPECT_EQ(lua->status, LUA_ERRMEM) << "the hooks are held to the limit again";

    // Freed, the memory serves the hooks again, over and over.
    run("hog, extra = nil, nil collectgarbage() "
        "function _loop() for n = 1, 20 do local t = {} for i = 1, 2^16 do t[i] = i end end "
        "more = string.rep('y', 2^20) end");
    capture([&] { lua->loop(0); });
    EXPECT_EQ(lua->status, LUA_OK) << testing::PrintToString(log_lines());
    EXPECT_EQ(global("more").size(), 1u << 20);
}

TEST_F(Faults, TheMemoryLimitIsHalfAGigabyte) {
    const struct {
        int megabytes; // string.rep holds its buffer and the string: twice this
        int status;
    } cases[] = {{200, LUA_OK}, {300, LUA_ERRMEM}};
    for (const auto& c : cases) {
        run("function _loop() s = string.rep('x', " + std::to_string(c.megabytes) + " * 2^20) end");
        capture([&] { lua->loop(0); });
        EXPECT_EQ(lua->status, c.status) << c.megabytes << " MB";
        run("s = nil collectgarbage()");
    }
}

// What the host keeps for the scripts counts against their limit: past it
// a call raises "not enough memory" and keeps nothing, and what is let go
// serves again.
TEST_F(Faults, ParametersAndQueuedDrawsCountAgainstTheMemoryLimit) {
    lua->heap.limit = 8 << 20;
    for (const char* call : {"zov_params_set('k' .. n, big)", "zov_font_draw('f', 1, big, 0, 0)",
                             "zov_image_draw(big, 0, 0, 1, 1)"}) {
        run(std::string("big, n = string.rep('x', 2^21), 0 collectgarbage() function _loop() repeat n = n + 1 "
                        "ok, err = pcall(function() ") + call + " end) until not ok or n == 8 end");
        capture([&] { lua->loop(0); });
        EXPECT_EQ(global("err"), "not enough memory") << call;
        EXPECT_GE(api->kept(), 4u << 20) << call;
        EXPECT_LE(lua->heap.used + api->kept(), lua->heap.limit) << call;
        run("function _loop() more = string.rep('y', 2^21) end");
        capture([&] { lua->loop(0); });
        EXPECT_EQ(lua->status, LUA_ERRMEM) << call << ": the scripts' own memory is what is left";
        api->batch.clear();
        run("for i = 1, n do zov_params_set('k' .. i, nil) end");
        EXPECT_LT(api->kept(), 1u << 20) << call;
    }
}

// A console line may leave the scripts holding more than their limit; the
// hooks then fail with "not enough memory", and closing the state (a
// restart, or the end) frees everything, shrinking blocks on its way.
TEST_F(Faults, StateOverItsLimitThroughTheReserveClosesCleanly) {
    lua->heap.limit = 8 << 20;
    capture([&] { run("extra = string.rep('x', 2^24)"); });
    ASSERT_GT(lua->heap.used, lua->heap.limit);
    capture([&] { lua->loop(0); });
    EXPECT_EQ(lua->status, LUA_ERRMEM);
    capture([&] { lua->lua_deinit(); });
    EXPECT_EQ(lua->L, nullptr);
}

// A block that grows counts once, at its new size: a table's array may
// grow to fill the limit, not only half of it.
TEST_F(Faults, ATableGrowsAllTheWayToTheLimit) {
    lua->heap.limit = 5 << 20;
    // 2^18 slots of 16 bytes: 4 MiB once grown, from an array of 2 MiB.
    run("function _loop() t = {} for i = 1, 2^18 do t[i] = i end end");
    capture([&] { lua->loop(0); });
    EXPECT_EQ(lua->status, LUA_OK) << testing::PrintToString(log_lines());
    EXPECT_GT(lua->heap.used, 4u << 20);
}

// Whatever a script writes into the registry, every global still serves the
// engine's own API object: once a binding took the object's address from
// there, so a nil, a string or a file there crashed the next call.
TEST_F(Faults, TamperedRegistryNeverDecidesWhichApiObjectABindingServes) {
    const char* tampers[] = {"r.g2 = nil", "r.g2 = 'x'", "r.g2 = io.stdout",
                             "for k in pairs(r) do if type(k) ~= 'number' then r[k] = io.stdout end end"};
    // One call of every global; the expected outcome of each.
    const char* calls[][2] = {
        {"zov_params_set('k', 7)", "ok"},       {"zov_params_get('k')", "ok"},
        {"zov_file_load('absent.txt')", "ok"},  {"zov_file_save('t.txt', 'x')", "ok"},
        {"zov_view_set(0, 0, 1, 1)", "ok"},     {"zov_image_init('a', 'b', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0)", "ok"},
        {"zov_image_draw('a', 0, 0, 1, 1)", "ok"}, {"zov_sample_play('absent')", "ok"},
        {"zov_stream_play('absent')", "ok"},    {"zov_stream_stop('absent')", "ok"},
        {"zov_font_draw('f', 1, 't', 0, 0)", "ok"}, {"zov_font_size('f', 1, 't')", "ok"},
        {"zov_ext_call('none')", "ok"},         {"require('absent.lua')", "file missing"},
    };
    font_init();
    for (const char* tamper : tampers) {
        run(std::string("local r = debug.getregistry() ") + tamper);
        for (const auto& call : calls) {
            std::string got;
            capture([&] { got = error_of(call[0]); });
            EXPECT_EQ(got, call[1]) << call[0] << " after " << tamper;
        }
        EXPECT_EQ(api->params_get("k").__num__(), 7) << "the engine's own API object took the value";
        api->params_set("k", var());
    }
    font_deinit();
}
