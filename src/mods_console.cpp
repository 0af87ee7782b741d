#include "mods_console.h"

#include <cstdio>
#include <string>

#include "game.h"
#include "gprint.h"
#include "mods.h"
#include "mods_api.h"
#include "mods_misc.h"
#include "zov_event.h"
#include "zov_font.h"
#include "zov_gfx.h"
#include "zov_gfx_draw.h"
#include "zov_gui_input.h"

ZovGuiFont w_font_console() { return ZovGuiFont(_font ? font_load("console", 24) : 0); }

// ====== Widgets ======

void modsapi_console_gui_rebuild(ModsAPI* api) {
    const int sw = game_get_sw(), sh = game_get_sh();
    gprint("GAME_SW: %d GAME_SH: %d\n", sw, sh);
    // Assigning a fresh container deletes the old tree and its links.
    api->console_gui = Container();
    const ZovGuiFont font = w_font_console();

    Table* table = new Table();
    table->name = "table";
    table->tr();
    Label* prompt = new Label(font, "> ");
    table->td(prompt, 1, 1, -1, -1);
    TextInput* input = new TextInput(font, "", 255);
    input->name = "input";
    Box* box = new Box(input);
    table->td(box, 1, 1, -1, -1);
    input->style.width = (MyRectNumber)sw - prompt->rect.w;
    input->onchange = var_dict();
    input->onchange["type"] = var("input");
    box->style.align = -1;
    table->tr();
    table->td(new Label(font, " "), 1, 1, -1, -1);

    table->resize();
    api->console_gui.add(table, 0, (int)(sh - table->rect.h));
    // With nothing focused, the root focuses the input.
    api->console_gui.loop();
}

// ====== Events ======

namespace {

bool key_down(const Event& e, int key) { return e.type == EVT_KEYDOWN && e.v == key; }

// F1, F2 and F5 act once per press: a held F5 would otherwise restart the
// game at the keyboard's repeat rate.
bool key_pressed(const Event& e, int key) { return key_down(e, key) && !e.t; }

// True when a routed value is the input's onchange: the line was submitted.
bool is_submit(var& v) {
    return v.__type__() == VAR_DICT && v.__has__(var("type")) && v["type"].__type__() == VAR_STRING &&
           v["type"].__str__() == "input";
}

// The line leaves the input (which becomes the history) and enters the log
// before it runs, so a line that fails is still logged and recallable.
void submit(Game& game, ModsAPI& api, Widget& input) {
    std::string line = input.get_value().__str__();
    input.set_value(var(""));
    api.console_history = line;
    api.log_entry("> " + line);
    if (!game.data.mods.mod) return;
    game.data.mods.mod->script(line.c_str(), "console");
    mods_event_missed(game);
}

} // namespace

// Order matters: F1, F2, F5 act whether the console is open or not; the
// rest only while it is open.  F5 replaces the API object, so nothing of the
// old one is touched after it.
int mods_event_console(Game& game, Event e) {
    ModsAPI* api = game.data.mods.api;
    if (!api) return 0;
    if (e.type == EVT_RESIZE || e.type == EVT_RESET) modsapi_console_gui_rebuild(api);
    if (key_pressed(e, KEY_F1)) {
        mods_console_toggle(game);
        return 1;
    }
    if (key_pressed(e, KEY_F2)) {
        mods_log_clear(game);
        return 1;
    }
    if (key_pressed(e, KEY_F5)) {
        mods_restart(game, 1);
        return 1;
    }
    if (!api->console_toggle) return 0;
    if ((e.type == EVT_UP && e.y < CONSOLE_CLOSE_ZONE) || key_down(e, KEY_ESCAPE)) {
        mods_console_toggle(game);
        return 1;
    }
    Widget* input = api->console_gui.find("input");
    if (key_down(e, KEY_UP) || key_down(e, KEY_F3)) {
        if (input) input->set_value(var(api->console_history));
        return 1;
    }
    var r = api->console_gui.event(&e);
    if (input && is_submit(r)) submit(game, *api, *input);
    return 1;
}

// ====== Drawing ======

namespace {

// The black picture, tinted, over a strip of the window.
void shade(int x, int y, int w, int h) {
    guiColor4ub(0, 0, 0, CONSOLE_SHADE_ALPHA);
    gfx_img_blit(gfx_img_load("black"), (float)x, (float)y, (float)w, (float)h);
    guiColor4ub(255, 255, 255, 255);
}

} // namespace

void modsapi_log_paint(ModsAPI* api) {
    if (!api) return;
    const int sw = game_get_sw(), sh = game_get_sh();
    gfx_set_shift(0, 0);
    gfx_set_size(sw, sh);
    gfx_set_scale(1.0f);
    gfx_ortho();

    const ZovGuiFont font = w_font_console();
    const int fh = font.get_height(nullptr, 0);
    int y = sh - fh;
    const bool open = api->console_toggle != 0;
    if (open) {
        shade(0, 0, sw, sh);
        api->console_gui.loop();
        api->console_gui.resize();
        api->console_gui.paint();
    }
    if (!api->log.empty() || open) {
        shade(0, y, sw, fh);
        char status[256];
        std::snprintf(status, sizeof status,
                      ">> Console(%d): F1 = toggle; F2 = clear; F5 = restart; Mods auto-reload.",
                      (int)api->log.size());
        font.draw(status, 0, y, 0, -1);
    }
    if (!open) return;

    // The log stacks upward from the input line, newest lowest, each line
    // wrapped at the window width; the walk ends once a line starts more
    // than one line height above the window.
    Widget* table = api->console_gui.find("table");
    if (table) y = (int)table->get_abs_rect(false).y;
    for (const std::string& line : api->log) {
        y -= font.get_height(line.c_str(), sw);
        font.draw(line.c_str(), 0, y, sw, -1);
        if (y < -fh) break;
    }
}
