#include "mods_misc.h"

#include <SDL.h>

#include <ctime>
#include <string>

#include "game.h"
#include "gprint.h"
#include "mods.h"
#include "mods_api.h"
#include "mods_batch.h"
#include "mods_console.h"
#include "mods_lua.h"
#include "zov_driver.h"
#include "zov_gfx.h"

// The distributor's web domain: the last field of the "vinfo" parameter.
static const char* const VINFO = "test-Desktop-Linux-tovmar2.example";

// ====== Restart and reload ======

void mods_restart(Game& game, int chstate) {
    (void)chstate;
    Mods& m = game.data.mods;
    driver_set_altdir(nullptr);
    // The engine goes before its API object: while it closes its Lua state,
    // finalizers may still print into that object's log.
    if (m.mod) {
        delete m.mod;
        m.mod = nullptr;
    }
    if (m.api) {
        delete m.api;
        m.api = nullptr;
    }
    m.api = new ModsAPI(game);
    ModsAPI& api = *m.api;

    // Every "-key value" pair of the command line; a value is examined as a
    // key itself at the next index.
    for (int i = 0; i < game._argc; i++) {
        const char* a = game._argv[i];
        if (a[0] == '-' && i + 1 < game._argc) api.params_set(a + 1, var(game._argv[i + 1]));
    }
    int sw = game_get_sw(), sh = game_get_sh();
    api.params_set("vinfo", var(VINFO));
    api.params_set("version", var("test"));
    api.params_set("speed", var(1.0));
    api.params_set("ticks", var(1));
    api.params_set("view_x", var(0));
    api.params_set("view_y", var(0));
    api.params_set("view_w", var(sw));
    api.params_set("view_h", var(sh));
    api.params_set("view_scale", var(1.0));
    api.params_set("default_w", var(sw));
    api.params_set("default_h", var(sh));

    m.mod = mods_lua(api);
    mods_reload(game);
    m.mod->init();
}

void mods_reload(Game& game) {
    mods_log_clear(game);
    gprint("mods_reload: %s\n", game.data.mods.fname);
    ModsAPI& api = *game.data.mods.api;
    api.scripts.clear();
    api.require(game.data.mods.fname);
    mods_event_missed(game);
}

void mods_reload_auto(Game& game) {
    static time_t _prev = 0;
    time_t now = time(nullptr);
    if (now == _prev) return;
    _prev = now;
    bool changed = false;
    for (const ModScript& s : game.data.mods.api->scripts) {
        time_t m = driver_file_mtime(s.fname.c_str());
        // Two quiet seconds: an editor may still be writing the file.
        if (s.mtime < m && m <= now - 2) changed = true;
    }
    if (!changed) return;
    gprint("reload...\n");
    mods_reload(game);
}

// ====== Frame ======

void mods_loop(Game& game, float t) {
    mods_reload_auto(game);
    game.data.mods.mod->loop(t);
}

void mods_paint(Game& game) {
    ModsAPI& api = *game.data.mods.api;
    api.params_set("default_w", var(game_get_sw()));
    api.params_set("default_h", var(game_get_sh()));
    // A failing script queues nothing: the last good frame is drawn again.
    if (game.data.mods.mod->is_ok()) {
        api.batch.clear();
        game.data.mods.mod->paint();
    }
    api.batch.draw();
    gfx_set_color(255, 255, 255, 255);
}

// ====== Events ======

const char* mods_event_name(int type) {
    static const char* const names[] = {"?",        "quit",       "suspend",   "resume",    "resize",    "reset",
                                        "keydown",  "keyup",      "down",      "motion",    "up",        "mousedown",
                                        "mousemotion", "mouseup", "wheel",     "touchdown", "touchmotion", "touchup",
                                        "?",        "?",          "joymotion", "joydown",   "joyup"};
    if (type < 0 || type >= (int)(sizeof names / sizeof names[0])) return "?";
    return names[type];
}

var mods_event_dict(const Event& e) {
    var d = var_dict();
    d["type"] = var(mods_event_name(e.type));
    d["x"] = var((double)e.x);
    d["y"] = var((double)e.y);
    d["w"] = var((double)e.w);
    d["h"] = var((double)e.h);
    d["dx"] = var((double)e.dx);
    d["dy"] = var((double)e.dy);
    char c = (char)(e.c & 255);
    d["text"] = var(c ? std::string(1, c) : std::string());
    d["button"] = var(e.b);
    d["device"] = var(e.device);
    if (e.type == EVT_KEYDOWN || e.type == EVT_KEYUP) {
        d["key"] = var(e._v);
        d["name"] = var(SDL_GetScancodeName(SDL_GetScancodeFromKey(e._v)));
    }
    return d;
}

void mods_event_handle(Game& game, Event e) {
    mods_event_console(game, e); // may restart: the API object and engine are read after it
    _mods_view_init(game);
    gfx_event_correct(&e);
    var d = mods_event_dict(e);
    if (game.data.mods.api->held.admit(e, d, game.data.mods.mod->is_ok())) mods_event(game, d);
}

void mods_event(Game& game, var e) { game.data.mods.mod->event(e); }

void mods_event_missed(Game& game) {
    var up;
    while (game.data.mods.mod->is_ok() && game.data.mods.api->held.next_missed(&up)) mods_event(game, up);
}

void mods_log_clear(Game& game) { game.data.mods.api->log.clear(); }

void mods_console_toggle(Game& game) { game.data.mods.api->console_toggle ^= 1; }
