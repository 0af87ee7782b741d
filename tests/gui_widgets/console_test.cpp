// The developer console's keys, input line and log, on a game without a
// window: a real API object and Lua engine over a temporary data directory,
// the window size set in the driver's record, and "mono" (advance 10, line
// height 20) as the console font.
#include <filesystem>

#include "font/font_fixture.h"
#include "game.h"
#include "mods.h"
#include "mods_api.h"
#include "mods_console.h"
#include "mods_misc.h"
#include "zov_gui_input.h"

namespace {

class Console : public ::testing::Test {
protected:
    TempDir dir;
    std::string cwd = std::filesystem::current_path().string();
    Game game;

    void SetUp() override {
        for (const char* sub : {"data", "work"}) std::filesystem::create_directory(dir / sub);
        std::filesystem::copy_file(ZOV_TEST_DATA "/../../data/api.lua", dir / "data/api.lua");
        ASSERT_TRUE(write_file(dir / "data/console.fnt", mono_fnt()));
        ASSERT_TRUE(write_file(dir / "data/main.lua", "started = (started or 0) + 1\n"));
        // The data directory is "../data" from the working directory.
        std::filesystem::current_path(dir / "work");
        driver_init(0);
        _driver->width = 640;
        _driver->height = 480;
        gfx_init();
        font_init();
        GAME_THIS = &game;
        std::snprintf(game.data.mods.fname, sizeof game.data.mods.fname, "%s", (dir / "data/main.lua").c_str());
        Capture out(stdout), err(stderr);
        mods_restart(game, 1);
    }
    void TearDown() override {
        delete game.data.mods.mod;
        game.data.mods.mod = nullptr;
        delete game.data.mods.api;
        GAME_THIS = nullptr;
        font_deinit();
        gfx_deinit();
        driver_deinit();
        std::filesystem::current_path(cwd);
    }

    ModsAPI& api() { return *game.data.mods.api; }
    TextInput* input() { return dynamic_cast<TextInput*>(api().console_gui.find("input")); }

    int send(Event e) {
        Capture out(stdout), err(stderr);
        return mods_event_console(game, e);
    }
    int key(int v, int c = 0, int repeat = 0) {
        Event e(EVT_KEYDOWN);
        e.v = v;
        e.c = c;
        e.t = repeat;
        return send(e);
    }
    void type(const std::string& bytes) {
        for (unsigned char c : bytes) key(KEY_NONE, c);
    }
    int release(float y) {
        Event e(EVT_UP);
        e.x = 100;
        e.y = y;
        return send(e);
    }
    // The log, oldest first.
    std::vector<std::string> log() { return std::vector<std::string>(api().log.rbegin(), api().log.rend()); }
};

using Lines = std::vector<std::string>;

} // namespace

TEST_F(Console, TreeSpansTheWindowAboveTheStatusLineWithTheInputFocused) {
    Widget* table = api().console_gui.find("table");
    ASSERT_NE(table, nullptr);
    ASSERT_NE(input(), nullptr);
    EXPECT_EQ(table->rect.h, 48) << "the input line and the spacer line, 24 high at size 24";
    EXPECT_EQ(table->_rect.y, 432);
    // Of the prompt "> " only the blank has a glyph: 12 at size 24, 13 wide.
    EXPECT_EQ(input()->style.width, 627);
    EXPECT_EQ(input()->maxlen, 255u);
    EXPECT_TRUE(input()->style.focus);
    EXPECT_EQ(api().console_toggle, 0) << "a new API object starts closed";
}

TEST_F(Console, FunctionKeysWorkAlwaysTheRestOnlyWhileOpen) {
    api().log_entry("one");
    EXPECT_EQ(key(KEY_NONE, 'a'), 0) << "closed: a typed byte is not the console's";
    EXPECT_EQ(key(KEY_ESCAPE), 0);
    EXPECT_EQ(input()->txt, "");
    EXPECT_EQ(key(KEY_F2), 1);
    EXPECT_TRUE(api().log.empty());

    EXPECT_EQ(key(KEY_F1), 1);
    EXPECT_EQ(api().console_toggle, 1);
    EXPECT_EQ(key(KEY_NONE, 'a'), 1);
    EXPECT_EQ(input()->txt, "a");
    EXPECT_EQ(key(KEY_ESCAPE), 1);
    EXPECT_EQ(api().console_toggle, 0);
    key(KEY_F1);
    key(KEY_F1);
    EXPECT_EQ(api().console_toggle, 0);
}

TEST_F(Console, HeldFunctionKeysActOnlyOnTheFirstPress) {
    key(KEY_F1);
    key(KEY_F1, 0, 1);
    EXPECT_EQ(api().console_toggle, 1) << "a repeat of F1 leaves the console open";
    api().log_entry("kept");
    key(KEY_F2, 0, 1);
    key(KEY_F5, 0, 1);
    EXPECT_EQ(log(), (Lines{"kept"})) << "repeats of F2 and F5 neither clear the log nor restart";
    EXPECT_EQ(api().console_toggle, 1);
}

TEST_F(Console, ReleaseInTheTop44PixelsCloses) {
    key(KEY_F1);
    EXPECT_EQ(release(44), 1);
    EXPECT_EQ(api().console_toggle, 1) << "at 44 the release goes to the widgets";
    EXPECT_EQ(release(43), 1);
    EXPECT_EQ(api().console_toggle, 0);
}

TEST_F(Console, EnterLogsTheLineThenRunsItAndKeepsItForRecall) {
    key(KEY_F1);
    type("print(6 * 7)");
    EXPECT_EQ(key(KEY_RETURN, 13), 1);
    EXPECT_EQ(log(), (Lines{"> print(6 * 7)", "42"}));
    EXPECT_EQ(input()->txt, "");
    EXPECT_EQ(api().console_history, "print(6 * 7)");

    key(KEY_UP);
    key(KEY_F3);
    EXPECT_EQ(input()->txt, "print(6 * 7)") << "recalling twice gives the one line";
    EXPECT_EQ(input()->pos, 12) << "the caret at the end";
    key(KEY_BACKSPACE);
    key(KEY_BACKSPACE);
    type("8)");
    key(KEY_RETURN, 13);
    EXPECT_EQ(log(), (Lines{"> print(6 * 7)", "42", "> print(6 * 8)", "48"}));
}

TEST_F(Console, AFailingLineIsLoggedFirstAndStillRecalled) {
    key(KEY_F1);
    type("error('boom')");
    key(KEY_RETURN, 13);
    Lines l = log();
    ASSERT_GE(l.size(), 2u);
    EXPECT_EQ(l[0], "> error('boom')");
    bool reported = false;
    for (size_t i = 1; i < l.size(); i++) reported = reported || l[i].find("boom") != std::string::npos;
    EXPECT_TRUE(reported) << "the engine reports the error into the log after the line";
    EXPECT_EQ(api().console_history, "error('boom')");
}

TEST_F(Console, F5RestartsTheScriptsAndTheNewConsoleIsClosed) {
    key(KEY_F1);
    type("kept = 1");
    key(KEY_RETURN, 13);
    type("half");
    EXPECT_EQ(key(KEY_F5), 1);
    EXPECT_EQ(api().console_toggle, 0);
    EXPECT_EQ(input()->txt, "");
    EXPECT_EQ(api().console_history, "");

    key(KEY_F1);
    type("print(kept)");
    key(KEY_RETURN, 13);
    EXPECT_EQ(log(), (Lines{"> print(kept)", "nil"})) << "a fresh script engine";
}

TEST_F(Console, ResizeRebuildsForTheNewWindowAndLosesTheHalfTypedLine) {
    key(KEY_F1);
    type("half");
    api().console_history = "kept";
    _driver->width = 800;
    _driver->height = 600;
    Event resize(EVT_RESIZE);
    resize.w = 800;
    resize.h = 600;
    EXPECT_EQ(send(resize), 1) << "open: the console saw it";
    EXPECT_EQ(input()->txt, "");
    EXPECT_EQ(input()->style.width, 787);
    EXPECT_EQ(api().console_gui.find("table")->_rect.y, 552);
    EXPECT_EQ(api().console_history, "kept");
    EXPECT_TRUE(input()->style.focus);
}

TEST_F(Console, OtherHandlerValuesDoNotSubmit) {
    key(KEY_F1);
    type("x = 5");
    input()->onchange = var("not a dict");
    key(KEY_RETURN, 13);
    EXPECT_TRUE(api().log.empty());
    input()->onchange = var_dict();
    input()->onchange["type"] = var(7);
    key(KEY_RETURN, 13);
    EXPECT_TRUE(api().log.empty());
    EXPECT_EQ(input()->txt, "x = 5");
}
