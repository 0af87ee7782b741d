// game: the one Game object and the accessors through which the rest of the
// host reaches it.
//
// State: `GAME_THIS`, the game being run, set when the game starts; read
// through `game_this()`.  Main thread only.
//
// Only the part that the script host's API object, engine and draw batch
// read is here; the start-up, main loop and lifecycle functions join it with
// the game itself.
#pragma once

class ModsAPI;
class ModsBase;

// The script host's record inside the game.
struct Mods {
    char fname[512];   // main script path: the key that a reload requires
    ModsAPI* api;      // owned by the game
    ModsBase* mod;     // the script engine, owned by the game
};

struct GameData {
    int version;
    Mods mods;
};

struct Game {
    int version;
    GameData data;
    int _quit;       // non-zero ends the main loop after the current tick
    char _mod[512];  // main script path from the command line
    int _argc;
    char** _argv;
    int _full;

    Game() : version(0), data(), _quit(0), _mod(), _argc(0), _argv(nullptr), _full(0) {}
};

// The game being run; null before it starts.  Main thread only.
extern Game* GAME_THIS;

Game* game_this();
// Window width and height as the driver reports them.
int game_get_sw();
int game_get_sh();
// The info tag of the host's log lines: always the empty text.
char* game_log_info();
