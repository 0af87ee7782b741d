// A script that allocates without end, as a leak in a game does: it gets
// Lua's "not enough memory" error and the game goes on, with the program's
// address space limited so that the host's own allocations run near the
// limit too.
#include <algorithm>

#include "game_run.h"

using namespace e2e;

namespace {

// The driver's threads reserve some 1.6 GB of address space here before any
// script runs: this leaves the scripts' limit and little more.
constexpr rlim_t ADDRESS_SPACE = (rlim_t)2560 << 20;

// The fixed main script: the table no longer grows.
const char* const MENDED = R"(
    hog = {}
    function _loop()
        if not again then again = true print("loops again") end
    end)";

bool said(const GameRun& run, const std::string& text) {
    std::vector<std::string> p = printed(run.out());
    return std::find(p.begin(), p.end(), text) != p.end();
}

TEST(MemoryOfScripts, ALeakGetsNotEnoughMemoryAndTheGameGoesOn) {
    struct Leak {
        const char* name;
        const char* script;
    };
    const Leak leaks[] = {
        // Strings kept in a global fill the memory to the last few bytes.
        {"kept", R"(
            hog = {}
            function _loop()
                for i = 1, 1000 do hog[#hog + 1] = string.rep("x", 10000) .. i end
            end)"},
        // A string doubled in a local: large blocks, garbage after the error.
        {"doubled", R"(
            function _loop()
                local s = "x"
                while true do s = s .. s end
            end)"},
    };
    for (const Leak& leak : leaks) {
        SCOPED_TRACE(leak.name);
        GameRun run;
        run.address_space = ADDRESS_SPACE;
        run.put("main.lua", leak.script);
        run.start();
        XDisplay x;
        ASSERT_TRUE(x.d);
        Window w = x.find(run.pid());
        ASSERT_NE(w, 0u) << run.err();
        ASSERT_TRUE(run.wait_line("ModsAPI: not enough memory", 60)) << run.out() << run.err();
        EXPECT_TRUE(run.wait_line("Lua error: 4")) << run.out();

        // The console still runs a line, though the leak may hold it all ...
        ASSERT_TRUE(xdotool(w, "key F1 type 'print(\"con\"..\"sole\")'"));
        ASSERT_TRUE(xdotool(w, "key Return"));
        EXPECT_TRUE(within(10, [&] { return said(run, "console"); })) << run.out();
        // ... and the mended script, at its reload, starts the hooks again.
        run.put("main.lua", MENDED, 3);
        EXPECT_TRUE(within(10, [&] { return said(run, "loops again"); })) << run.out();

        x.close(w);
        EXPECT_EQ(run.wait_exit(), 0) << run.err();
    }
}

// Objects whose finalizers keep what they allocate: the collection in
// _init fills the memory from inside finalizers, and the objects left are
// finalized as the state closes, at a restart and at the end.
TEST(MemoryOfScripts, FinalizersThatFillTheMemoryLeaveTheGameFreeToQuitAndRestart) {
    for (const std::string key : {"ctrl+q", "F5"}) {
        SCOPED_TRACE(key);
        GameRun run;
        run.put("main.lua", R"(
            keep = {}
            local mt = {__gc = function(o) keep[#keep + 1] = string.rep("k", 2048) .. o.i end}
            for i = 1, 300000 do setmetatable({i = i}, mt) end
            function _init() print("made") collectgarbage() end)");
        run.start();
        XDisplay x;
        Window w = x.find(run.pid());
        ASSERT_NE(w, 0u) << run.err();
        ASSERT_TRUE(run.wait_line("Lua error: 4", 60)) << run.out();
        ASSERT_TRUE(xdotool(w, "key " + key));
        if (key == "F5") {
            EXPECT_TRUE(run.wait_line("ModsAPI: made", 60, 2)) << "the game starts again\n" << run.err();
            x.close(w);
        }
        EXPECT_EQ(run.wait_exit(60), 0) << run.err();
    }
}

} // namespace
