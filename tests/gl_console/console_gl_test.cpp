// The developer console inside a running game with a real window: drawn
// over a red frame and read back from the back buffer, opened and fed by
// events, and fed real keys through X.
#include <GL/gl.h>
#include <SDL.h>

#include "game.h"
#include "gamewrap.h"
#include "gl_game/game_run.h"
#include "mods_api.h"
#include "mods_console.h"
#include "support/tex_files.h"
#include "zov_gfx.h"
#include "zov_gfx_draw.h"

using namespace e2e;

namespace {

const unsigned RED = 0xff0000;
// Red under black at alpha 170: 255 * 85 / 255.
const unsigned SHADED = 0x550000;

class ConsoleGl : public ::testing::Test {
protected:
    TempDir dir;
    std::string cwd = std::filesystem::current_path().string();
    std::vector<std::string> args{"tovmar2"};
    std::vector<char*> argv;
    int sw = 0, sh = 0, fh = 0;

    void SetUp() override {
        for (const char* sub : {"data", "work", "home"}) std::filesystem::create_directory(dir / sub);
        for (const char* name : {"api.lua", "console.fnt", "console.png", "black.png"})
            std::filesystem::copy_file(std::string(ZOV_GAME_DATA) + "/" + name, dir / ("data/" + std::string(name)));
        e2e::write_file(dir / "data/main.lua", "function _init() print_me = 'ready' end\n");
        std::filesystem::current_path(dir / "work");
        setenv("HOME", (dir / "home").c_str(), 1);
        for (std::string& a : args) argv.push_back(&a[0]);
        ASSERT_EQ(game_init((int)argv.size(), argv.data()), 0);
        sw = game_get_sw();
        sh = game_get_sh();
        fh = w_font_console().get_height(nullptr, 0);
        ASSERT_EQ(fh, 24);
    }
    void TearDown() override {
        game_deinit();
        std::filesystem::current_path(cwd);
    }

    ModsAPI& api() { return *game_this()->data.mods.api; }

    // A red game frame with the console over it, rows top to bottom.
    Pixels frame() {
        gfx_set_shift(0, 0);
        gfx_set_size(sw, sh);
        gfx_set_scale(1.0f);
        gfx_ortho();
        gfx_clear();
        gfx_fill(RED, 0, 0, sw, sh);
        modsapi_log_paint(&api());
        Pixels p;
        p.w = sw;
        p.h = sh;
        p.px.resize((size_t)sw * sh * 4);
        std::vector<unsigned char> raw(p.px.size());
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, sw, sh, GL_RGBA, GL_UNSIGNED_BYTE, raw.data());
        for (int row = 0; row < sh; row++)
            std::copy(&raw[(size_t)row * sw * 4], &raw[(size_t)(row + 1) * sw * 4], p.at(0, sh - 1 - row));
        return p;
    }
    static unsigned rgb(const Pixels& p, int x, int y) {
        const unsigned char* c = p.at(x, y);
        return (unsigned)c[0] << 16 | (unsigned)c[1] << 8 | c[2];
    }
    // Pixels of text (bright green; the frame has none) in rows [y0, y1).
    static int text_in(const Pixels& p, int y0, int y1) {
        int n = 0;
        for (int y = std::max(0, y0); y < std::min(p.h, y1); y++)
            for (int x = 0; x < p.w; x++) n += p.at(x, y)[1] > 128;
        return n;
    }
    int table_top() { return (int)api().console_gui.find("table")->get_abs_rect(false).y; }

    static Event key(int v) {
        Event e(EVT_KEYDOWN);
        e.v = v;
        return e;
    }
};

} // namespace

TEST_F(ConsoleGl, ClosedItShowsAStatusBarOnlyWhileTheLogHoldsLines) {
    Pixels p = frame();
    EXPECT_EQ(rgb(p, sw - 3, sh - 3), RED) << "an empty log draws nothing";
    EXPECT_EQ(text_in(p, 0, sh), 0);

    api().log_entry("hello");
    p = frame();
    EXPECT_TRUE(rgb_near(rgb(p, sw - 3, sh - 3), SHADED)) << std::hex << rgb(p, sw - 3, sh - 3);
    EXPECT_TRUE(rgb_near(rgb(p, sw - 3, sh - fh), SHADED)) << "the bar is one line high";
    EXPECT_EQ(rgb(p, sw - 3, sh - fh - 1), RED);
    EXPECT_GT(text_in(p, sh - fh, sh), 50) << "the status text";
    EXPECT_EQ(text_in(p, 0, sh - fh), 0) << "closed, the log itself is not shown";
}

TEST_F(ConsoleGl, F1DarkensTheWindowAndStacksTheLogAboveTheInputLine) {
    game_event(key(KEY_F1));
    ASSERT_EQ(api().console_toggle, 1);
    api().log_entry("MMMM");
    api().log_entry("WWWW WWWW");
    Pixels p = frame();
    EXPECT_TRUE(rgb_near(rgb(p, sw - 3, 3), SHADED)) << std::hex << rgb(p, sw - 3, 3);
    const int top = table_top();
    EXPECT_EQ(top, sh - 2 * fh) << "the input line, then the spacer line at the bottom";
    EXPECT_GT(text_in(p, top - fh, top), 50) << "the newest line right above the input";
    EXPECT_GT(text_in(p, top - 2 * fh, top - fh), 50) << "the older one above it";
    EXPECT_EQ(text_in(p, 0, top - 2 * fh), 0);
    EXPECT_GT(text_in(p, top, top + fh), 0) << "the prompt";

    game_event(key(KEY_F1));
    p = frame();
    EXPECT_EQ(rgb(p, sw - 3, 3), RED) << "closed again";
}

TEST_F(ConsoleGl, ALineLongerThanTheWindowWrapsOverSeveralLines) {
    game_event(key(KEY_F1));
    api().log_entry(std::string(400, 'M') + " end");
    Pixels p = frame();
    const int top = table_top();
    EXPECT_GT(text_in(p, top - 2 * fh, top - fh), 50) << "the wrapped line takes more than one line";
}

TEST_F(ConsoleGl, RealKeysTypeALineThatRunsAsLua) {
    XDisplay x;
    Window w = x.find(getpid());
    ASSERT_NE(w, 0u);
    ASSERT_TRUE(xdotool(w, "key F1 type --delay 5 \"print('xy' .. 'z')\""));
    ASSERT_TRUE(xdotool(w, "key Return"));
    auto end = Clock::now() + std::chrono::seconds(10);
    while (Clock::now() < end && (api().log.empty() || api().log[0] != "xyz")) _main_tick(nullptr);
    ASSERT_FALSE(api().log.empty());
    EXPECT_EQ(api().log[0], "xyz");
    ASSERT_GE(api().log.size(), 2u);
    EXPECT_EQ(api().log[1], "> print('xy' .. 'z')");
    EXPECT_EQ(api().console_toggle, 1);

    Pixels p = frame();
    const int top = table_top();
    EXPECT_GT(text_in(p, top - fh, top), 20) << "the printed line is drawn above the input";
}
