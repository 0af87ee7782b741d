// mods_misc: the scripts' lifecycle inside the game: restart (a fresh API
// object and script engine), reload (the same engine runs the main script
// again, so globals survive), the once-a-second check for changed script
// files, the per-frame update and paint, and the translation of every input
// event into the dict that the script's _event receives.
//
// State: the time of the last file check (in mods_reload_auto); everything
// else lives in the game's Mods record.  Main thread only.
#pragma once

#include "zov_event.h"
#include "zov_var.h"

struct Game;

// Clears the alternative data directory, replaces the script engine and the
// API object, sets the script parameters (command line first, then the
// fixed ones), runs "api.lua" and the main script, then the script's
// _init().  `chstate` is accepted and unused.
void mods_restart(Game& game, int chstate);
// Clears the console log and the list of loaded scripts, then runs the main
// script again in the same engine, then gives it the releases it missed
// while stopped; _init() is not called.
void mods_reload(Game& game);
// At most once per second of the clock: reloads the scripts when a loaded
// script file's time has grown and lies at least 2 s in the past.
void mods_reload_auto(Game& game);
// The file check, then the script's _loop(t).
void mods_loop(Game& game, float t);
// Publishes the window size, lets a healthy script queue its frame and
// draws the queue (the last good one while the script is failing).
void mods_paint(Game& game);
// The console sees the event first; then it is mapped into the view (for
// "down", "motion", "up" and "wheel") and handed to the script as a dict,
// unless it is a release the script holds no press for (mods_held).
void mods_event_handle(Game& game, Event e);
// The script's _event(e).
void mods_event(Game& game, var e);
// Once a script text has run and the hooks run again: the releases the
// script missed while they were stopped, oldest first.
void mods_event_missed(Game& game);
void mods_log_clear(Game& game);
void mods_console_toggle(Game& game);

// The script's name of an event type: "keydown", "down", ...; "?" for the
// codes the scripts have no name for.
const char* mods_event_name(int type);
// The dict a script receives for an event: "type", "x", "y", "w", "h",
// "dx", "dy", "text", "button", "device", and for key events "key" and
// "name".
var mods_event_dict(const Event& e);
