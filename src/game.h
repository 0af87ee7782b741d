// game: the one Game object: start-up of every subsystem, the per-frame
// update and paint with frame pacing, the key chords the host handles
// itself, and shutdown.  The scripts' lifecycle (restart, reload, hooks,
// event dicts) is in mods_misc; the `game_` wrapper and the tick in
// gamewrap; the entry point in main.
//
// State: `GAME_THIS`, the game being run, set by `Game::init` and reset when
// the game is deleted; read through `game_this()`.  `Game` owns its API
// object and its script engine.  Main thread only.
#pragma once

#include "zov_event.h"

class ModsAPI;
class ModsBase;

// Room for the main script path, terminator included.
enum { GAME_PATH_MAX = 512 };

// The script host's record inside the game.
struct Mods {
    char fname[GAME_PATH_MAX]; // main script path: the key that a reload requires
    ModsAPI* api;              // owned by the game
    ModsBase* mod;             // the script engine, owned by the game
};

struct GameData {
    int version;
    Mods mods;
};

struct Game {
    int version;
    GameData data;
    int _quit;                 // non-zero ends the main loop after the current tick
    char _mod[GAME_PATH_MAX];  // main script path: "-mod", else the data path of "main.lua"
    int _argc;                 // the process's arguments, kept by reference:
    char** _argv;              // every restart reads them again
    int _full;                 // 0 at start, then 1 full screen / -1 windowed

    Game() : version(0), data(), _quit(0), _mod(), _argc(0), _argv(nullptr), _full(0) {}

    // Keeps the arguments and takes the last "-mod" path.  False, after a
    // line on standard error, when a "-mod" path does not fit `_mod`: a cut
    // path would name another file.
    bool args(int argc, char** argv);
    // Starts every subsystem, shows one cleared frame, then starts the
    // scripts.  False, after a line on standard error, when no window could
    // be opened; deinit() must still follow.
    bool init();
    // Hot reload of pictures, fonts and sounds, then the scripts' update
    // with the seconds since the previous update (0 the first time, at most
    // 1.0).
    void loop();
    // Draws the frame (the scripts' queue, the console), shows it and paces
    // the loop to 60 frames a second.
    void paint();
    // Quit, the full-screen and quit chords, window set-up on reset and
    // resize, then the console and the scripts; mouse and touch events reach
    // the scripts a second time as "down", "motion" or "up".
    void event(Event e);
    // Deletes the script engine, then the API object, then stops sound,
    // fonts, graphics and the driver.
    void deinit();
};

// The game being run; null before `Game::init` and after the game is
// deleted.  Main thread only.
extern Game* GAME_THIS;

Game* game_this();
// Window width and height as the driver reports them.
int game_get_sw();
int game_get_sh();
// The info tag of the host's log lines: always the empty text.
char* game_log_info();

// Sleeps what is left of the frame's 1/60 s.  The frame is measured from
// the end of the previous call's sleep, so the loop holds 60 frames a second
// also where the buffer swap does not wait for the display.
void _game_paint_tick(Game& game);
// Milliseconds to sleep after a frame whose work took `delta_ms` (0 when it
// took 1/60 s or more).
int _game_frame_delay(int delta_ms);
// Seconds for the scripts' update after `delta_ms` milliseconds, at most 1.
float _game_dt(int delta_ms);
// True when the key event asks for a chord: a Ctrl, Alt or GUI key held,
// read from the event itself or from the keyboard state now (a fast press
// is already released when its event is handled).
bool _game_chord_mods(const Event& e);
