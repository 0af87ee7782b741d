// The game inside the test process, with a real window: the key chords,
// what the scripts receive for each kind of event, reload against restart,
// the file check's two-second rule, and the update time's cap.
#include <SDL.h>

#include "game.h"
#include "game_run.h"
#include "gamewrap.h"
#include "mods.h"
#include "mods_api.h"
#include "mods_misc.h"

using namespace e2e;

namespace {

// Prints each event's type, key name, key code (or nil), text and position.
const char* EVENT_SCRIPT = R"(
    function _event(e)
        print(string.format("%s|%s|%s|%s|%g|%g", e.type, e.name or "", tostring(e.key), e.text, e.x, e.y))
    end)";

class GameInProcess : public ::testing::Test {
protected:
    TempDir dir;
    std::string cwd = std::filesystem::current_path().string();
    std::vector<std::string> args{"tovmar2"};
    std::vector<char*> argv;

    std::string main_lua() const { return dir / "data/main.lua"; }

    void start(const std::string& script) {
        for (const char* sub : {"data", "work", "home"}) std::filesystem::create_directory(dir / sub);
        std::filesystem::copy_file(std::string(ZOV_GAME_DATA) + "/api.lua", dir / "data/api.lua");
        write_file(main_lua(), script);
        set_age(main_lua(), 60);
        std::filesystem::current_path(dir / "work");
        setenv("HOME", (dir / "home").c_str(), 1);
        for (std::string& a : args) argv.push_back(&a[0]);
        ASSERT_EQ(game_init((int)argv.size(), argv.data()), 0);
        SDL_SetModState(KMOD_NONE);
    }
    void TearDown() override {
        game_deinit();
        EXPECT_EQ(game_this(), nullptr) << "the deleted game is not reachable";
        std::filesystem::current_path(cwd);
    }

    Game& game() { return *game_this(); }
    // What the scripts printed since the last look, oldest first.
    std::vector<std::string> said() {
        std::vector<std::string>& log = game().data.mods.api->log;
        std::vector<std::string> lines(log.rbegin(), log.rend());
        log.clear();
        return lines;
    }
};

Event key(int v, int sym, int mods) {
    Event e(EVT_KEYDOWN);
    e.v = v;
    e._v = sym;
    e.b = mods;
    return e;
}

using Lines = std::vector<std::string>;

TEST_F(GameInProcess, ChordsToggleFullScreenAndQuit) {
    start(EVENT_SCRIPT);
    game_event(key(KEY_f, SDLK_f, 2)); // Ctrl from the event itself
    EXPECT_EQ(said(), (Lines{"reset||nil||0|0", "keydown|F|102||0|0"}));
    EXPECT_EQ(game()._full, 1);

    SDL_SetModState(KMOD_RALT); // held now, though the event does not say so
    game_event(key(KEY_f, SDLK_f, 0));
    SDL_SetModState(KMOD_NONE);
    EXPECT_EQ(said(), (Lines{"reset||nil||0|0", "keydown|F|102||0|0"}));
    EXPECT_EQ(game()._full, -1);

    SDL_SetModState(SDL_Keymod(KMOD_LSHIFT | KMOD_CAPS | KMOD_NUM)); // Shift and the locks are no chord keys
    game_event(key(KEY_f, SDLK_f, 1));
    SDL_SetModState(KMOD_NONE);
    EXPECT_EQ(said(), (Lines{"keydown|F|102||0|0"}));
    EXPECT_EQ(game()._full, -1);
    EXPECT_FALSE(game_is_quit());

    game_event(key(KEY_q, SDLK_q, 8));
    EXPECT_EQ(said(), (Lines{"suspend||nil||0|0"})) << "the Q key itself is not delivered";
    EXPECT_TRUE(game_is_quit());
}

TEST_F(GameInProcess, AHeldChordActsOnceItsRepeatsReachTheScriptAsKeys) {
    start(EVENT_SCRIPT);
    Event f = key(KEY_f, SDLK_f, 2);
    game_event(f);
    f.t = 1;
    game_event(f);
    game_event(f);
    EXPECT_EQ(said(), (Lines{"reset||nil||0|0", "keydown|F|102||0|0", "keydown|F|102||0|0", "keydown|F|102||0|0"}));
    EXPECT_EQ(game()._full, 1);

    Event q = key(KEY_q, SDLK_q, 2);
    q.t = 1;
    game_event(q);
    EXPECT_EQ(said(), (Lines{"keydown|Q|113||0|0"}));
    EXPECT_FALSE(game_is_quit());
}

TEST_F(GameInProcess, RaisingFinalizersAcrossARestartAndAtCloseAreReported) {
    start("collectgarbage('stop') setmetatable({}, {__gc = function() error('finalizer failed') end})");
    const std::string line = "ModsAPI: error in __gc metamethod ([string \"main.lua\"]:1: finalizer failed)";
    Captured restart = capture([&] { game_event(key(KEY_F5, SDLK_F5, 0)); });
    EXPECT_EQ(count_lines(restart.out, line), 1) << restart.out;
    Captured close = capture([&] { game_deinit(); });
    EXPECT_EQ(count_lines(close.out, line), 1) << close.out;
}

TEST_F(GameInProcess, EveryEventReachesTheScriptAsADict) {
    start(EVENT_SCRIPT);
    // The view of the parameters: 200 x 100 units at 1 pixel each, shifted.
    ModsAPI& api = *game().data.mods.api;
    api.params_set("view_w", var(game_get_sw()));
    api.params_set("view_h", var(game_get_sh()));
    api.params_set("view_x", var(10));
    api.params_set("view_y", var(20));

    Event down(EVT_MOUSEDOWN);
    down.x = 100;
    down.y = 50;
    down.b = 1;
    game_event(down);
    Event wheel(EVT_WHEEL);
    wheel.x = 3;
    wheel.y = 4;
    game_event(wheel);
    Event touch(EVT_TOUCHDOWN);
    touch.x = 7;
    touch.y = 8;
    game_event(touch);
    game_event(Event(EVT_LOGIN));
    Event text(EVT_KEYDOWN);
    text.c = 'a';
    game_event(text);
    EXPECT_EQ(said(), (Lines{"mousedown||nil||100|50", "down||nil||110|70", "wheel||nil||13|24",
                             "touchdown||nil||7|8", "down||nil||17|28", "?||nil||0|0", "keydown||0|a|0|0"}));
}

TEST_F(GameInProcess, ReloadKeepsTheEngineRestartReplacesIt) {
    start(R"(
        runs = (runs or 0) + 1
        print("runs " .. runs)
        function _init() print("init") end
        keep = setmetatable({}, {__gc = function() print("finalized") end}))");
    EXPECT_EQ(said(), (Lines{"runs 1", "init"}));

    mods_reload(game());
    EXPECT_EQ(said(), (Lines{"runs 2"})) << "globals survive, _init is not called again";

    Captured c = capture([&] { mods_restart(game(), 1); });
    EXPECT_EQ(said(), (Lines{"runs 1", "init"}));
    EXPECT_NE(c.out.find("ModsAPI: finalized"), std::string::npos)
        << "the old engine closes while its API object still takes its output:\n"
        << c.out;
}

// Waits for the clock's next second, so the once-a-second check runs.
void next_second() {
    time_t now = time(nullptr);
    while (time(nullptr) == now) std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

TEST_F(GameInProcess, ChangedScriptWaitsUntilTwoSecondsOld) {
    start("runs = (runs or 0) + 1\nprint(\"runs \" .. runs)\n");
    said();
    next_second();
    mods_reload_auto(game()); // the clock's first check

    set_age(main_lua(), 0); // one second old at the check
    next_second();
    mods_reload_auto(game());
    EXPECT_EQ(said(), Lines{}) << "a file changed so lately may still be being written";

    set_age(main_lua(), 2);
    next_second();
    mods_reload_auto(game());
    EXPECT_EQ(said(), (Lines{"runs 2"}));

    set_age(main_lua(), 600); // older than when it was loaded
    next_second();
    mods_reload_auto(game());
    EXPECT_EQ(said(), Lines{});
}

TEST_F(GameInProcess, UpdateTimeIsCappedAtOneSecond) {
    start("function _loop(dt) print(\"dt \" .. dt) end");
    game_loop();
    said();
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    game_loop();
    EXPECT_EQ(said(), (Lines{"dt 1"}));
}

TEST_F(GameInProcess, MissingMainScriptStillStarts) {
    args = {"tovmar2", "-mod", "nowhere/game.lua"};
    start("");
    EXPECT_EQ(said(), (Lines{"ModsAPI::require(\"nowhere/game.lua\") file missing"}));
    EXPECT_TRUE(game().data.mods.mod->is_ok()) << "api.lua's _init ran";
    EXPECT_EQ(game().data.mods.api->params_get("mod").__str__(), "nowhere/game.lua");
}

} // namespace
