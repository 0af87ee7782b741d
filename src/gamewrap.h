// gamewrap: the thin `game_` wrapper over the one Game, and the tick that
// the entry point runs while the game is not quitting.
//
// State: `_game`, the owner pointer of the one Game: created by game_init,
// deleted and reset by game_deinit.  Main thread only.
#pragma once

#include "zov_event.h"

struct Game;

extern Game* _game;

// Creates and starts the game (nothing if it exists).  0 on success;
// otherwise the exit status for the process (2: bad command line, 1: no
// window), after a line on standard error.  game_deinit() follows in every
// case.
int game_init(int argc, char** argv);
// Forward to the game; nothing without one.
void game_loop();
void game_paint();
// Also the way in for events made elsewhere (the social layer's login and
// logout).
void game_event(Event e);
// True without a game or once it is quitting.
bool game_is_quit();
// Shuts the game down and deletes it; `GAME_THIS` is reset with it.
void game_deinit();

extern "C" {
// One frame: every pending event, then update, then paint.  arg is ignored.
void _main_tick(void* arg);
// Hands every pending input event to the game.
void _main_event_poll();
}
