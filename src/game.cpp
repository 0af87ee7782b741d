#include "game.h"

#include <SDL.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "mods.h"
#include "mods_api.h"
#include "mods_console.h"
#include "mods_misc.h"
#include "zov_driver-sdl2.h"
#include "zov_driver.h"
#include "zov_font.h"
#include "zov_gfx.h"
#include "zov_mixer.h"
#include "zov_util.h"

// ====== State ======

// Set by Game::init, reset by game_deinit.  Main thread only.
Game* GAME_THIS = nullptr;

// ====== Accessors ======

Game* game_this() { return GAME_THIS; }

int game_get_sw() {
    int w = 0, h = 0;
    driver_get_size(&w, &h);
    return w;
}

int game_get_sh() {
    int w = 0, h = 0;
    driver_get_size(&w, &h);
    return h;
}

char* game_log_info() {
    static char s[256];
    s[0] = '\0';
    return s;
}

// ====== Start-up ======

// Whether the window can be seen and take input.  Without a display SDL
// falls back to its offscreen driver: the window it makes takes no input,
// not even a close, and the program would run for ever unseen.  That driver
// asked for by name is fine.
static bool _game_window_usable() {
    const char* driver = SDL_GetCurrentVideoDriver();
    const char* asked = SDL_getenv("SDL_VIDEODRIVER");
    if (!driver_sdl2_window()) {
        std::fprintf(stderr, "tovmar2: no window could be opened: %s\n", SDL_GetError());
        return false;
    }
    if (driver && std::strcmp(driver, "offscreen") == 0 && !(asked && std::strstr(asked, "offscreen"))) {
        std::fprintf(stderr, "tovmar2: no display to open a window on (is DISPLAY set?)\n");
        return false;
    }
    return true;
}

// A start that cannot work as meant gets one line saying why.  Paths are
// relative to the working directory, which tools/run.sh moves into build/:
// the lines show them absolute.
static std::string _game_absolute(const char* path) {
    std::error_code err;
    std::filesystem::path p = std::filesystem::absolute(path, err);
    return err ? std::string(path) : p.lexically_normal().string();
}

static void _game_explain_start(const char* mod) {
    const char* data = _driver_get_datadir();
    std::error_code err;
    if (!std::filesystem::is_directory(data, err)) {
        std::fprintf(stderr,
                     "tovmar2: no data directory %s (%s from the working directory); start tovmar2 from a folder "
                     "beside data/, as bash tools/run.sh does: cd build && ./tovmar2\n",
                     _game_absolute(data).c_str(), data);
    }
    if (!mod[0]) return;
    if (std::filesystem::is_directory(mod, err)) {
        std::string main = std::string(mod) + (mod[std::strlen(mod) - 1] == '/' ? "" : "/") + "main.lua";
        std::fprintf(stderr, "tovmar2: -mod %s is a directory; name its main script, e.g. -mod %s\n", mod,
                     main.c_str());
    } else if (!std::filesystem::exists(mod, err)) {
        std::fprintf(stderr, "tovmar2: -mod %s: no such file (%s); the data directory's script of the same name "
                             "runs instead, if there is one\n",
                     mod, _game_absolute(mod).c_str());
    }
}

bool Game::args(int argc, char** argv) {
    _argc = argc;
    _argv = argv;
    for (int i = 0; i < argc; i++) {
        if (std::strcmp(argv[i], "-mod") != 0 || i + 1 >= argc) continue;
        size_t n = std::strlen(argv[i + 1]);
        if (n >= sizeof _mod) {
            std::fprintf(stderr, "tovmar2: the -mod path is %zu bytes long; at most %zu are allowed\n", n,
                         sizeof _mod - 1);
            return false;
        }
        std::memcpy(_mod, argv[i + 1], n + 1);
    }
    return true;
}

bool Game::init() {
    GAME_THIS = this;
    _game_explain_start(_mod);
    driver_init(255);
    driver_set_gamename("ZovGame");
    driver_set_caption("ZovGame");
    version = 1;
    _quit = 0;
    driver_timer_set(60);
    _full = 0;
    driver_video_init(0, 0, 640, 480, 320, 320, _full == 1);
    if (!_game_window_usable()) return false;

    gfx_init();
    gfx_set_size(game_get_sw(), game_get_sh());
    gfx_set_orient(0);
    gfx_set_ortho_near_far(-1000.0f, 1000.0f);
    // One cleared frame is shown before any script runs.
    gfx_clear();
    driver_video_flip();

    font_init();
    mixer_init();

    std::memset(&data.mods, 0, sizeof data.mods);
    if (!_mod[0]) std::snprintf(_mod, sizeof _mod, "%s", driver_data_fname("main.lua"));
    std::memcpy(data.mods.fname, _mod, sizeof _mod);
    mods_restart(*this, 1);
    return true;
}

// ====== One frame ======

float _game_dt(int delta_ms) { return mymin(1.0f, (float)(delta_ms / 1000.0)); }

int _game_frame_delay(int delta_ms) {
    float delay = 0.016666668f - _game_dt(delta_ms);
    return delay > 0 ? (int)(delay * 1000.0f) : 0;
}

void Game::loop() {
    gfx_reload_auto();
    font_reload_auto();
    mixer_reload_auto();
    // The tick count turns negative after 2^31 ms: a flag, not a negative
    // value, marks the first update, and differences are taken across the
    // wrap.
    static bool first = true;
    static int prev = 0;
    int cur = driver_timer_get_ticks();
    if (first) prev = cur;
    first = false;
    int delta = driver_timer_delta(cur, prev);
    prev = cur;
    mods_loop(*this, _game_dt(delta));
}

void Game::paint() {
    gfx_clear();
    mods_paint(*this);
    modsapi_log_paint(data.mods.api);
    driver_video_flip();
    _game_paint_tick(*this);
}

void _game_paint_tick(Game& game) {
    (void)game;
    // End of the previous frame's sleep.  Taken after the sleep: were it
    // taken before, a frame would count the previous sleep as its own work,
    // and without a waiting buffer swap the loop would sleep every other
    // frame only (about 97 frames a second, with an uneven dt).
    static bool first = true;
    static int prev = 0;
    if (first) prev = driver_timer_get_ticks();
    first = false;
    int delay = _game_frame_delay(driver_timer_delta(driver_timer_get_ticks(), prev));
    if (delay > 0) driver_timer_delay(delay);
    prev = driver_timer_get_ticks();
}

// ====== Events ======

bool _game_chord_mods(const Event& e) {
    const int held = 2 | 4 | 8; // ctrl, alt, GUI bits of a key event
    return (e.b & held) != 0 || (SDL_GetModState() & 0xfc0) != 0;
}

void Game::event(Event e) {
    if (e.type == EVT_QUIT) {
        _quit = 1;
        return;
    }
    // A held chord acts once: its key repeats reach the scripts as keys.
    bool chord = e.type == EVT_KEYDOWN && !e.t && _game_chord_mods(e);
    if (chord && e.v == KEY_f) {
        _full = _full == 1 ? -1 : 1;
        event(Event(EVT_RESET));
    }
    if (chord && e.v == KEY_q) {
        event(Event(EVT_SUSPEND));
        _quit = 1;
        return;
    }
    if (e.type == EVT_RESET) {
        driver_keyboard_hide();
        driver_video_init(0, 0, 640, 480, 320, 320, _full == 1);
    }
    if (e.type == EVT_RESIZE) driver_keyboard_hide();
    mods_event_handle(*this, e);

    int generic = e.type;
    if (e.type == EVT_MOUSEDOWN || e.type == EVT_TOUCHDOWN) generic = EVT_DOWN;
    if (e.type == EVT_MOUSEMOTION || e.type == EVT_TOUCHMOTION) generic = EVT_MOTION;
    if (e.type == EVT_MOUSEUP || e.type == EVT_TOUCHUP) generic = EVT_UP;
    if (generic != e.type) {
        e.type = generic;
        event(e);
    }
}

// ====== Shutdown ======

void Game::deinit() {
    // The engine goes first: while it closes its Lua state, finalizers may
    // still print into the API object's log.
    // Each pointer is cleared at once: the API object's destructor looks at
    // the engine.
    delete data.mods.mod;
    data.mods.mod = nullptr;
    delete data.mods.api;
    data.mods.api = nullptr;
    mixer_deinit();
    font_deinit();
    gfx_deinit();
    driver_deinit();
}
