// mods_console: the developer console, an overlay drawn over the game in
// window pixels.  Closed, it shows a one-line status bar whenever the log
// holds lines.  Open, it darkens the window, lists the newest log lines
// upward from an input line near the bottom, and runs what is typed there as
// a script chunk.  F1 opens and closes it, F2 clears the log, F5 restarts the
// scripts, at all times; while it is open Esc or a release in the top 44
// pixels closes it, Up or F3 recalls the last line and Enter runs the line.
//
// State: none of its own.  It uses the API object's log, console_gui (the
// widget tree), console_history and console_toggle.  Needs the font
// "console" (drawn at size 24) and the picture "black"; without them it
// draws no text or no darkening.  Main thread only.
#pragma once

#include "zov_gui_layout.h"

class ModsAPI;
struct Game;
struct Event;

// Lines above this y (window pixels) close the open console on a release.
const float CONSOLE_CLOSE_ZONE = 44.0f;
// Alpha of the black picture that darkens the game.
const int CONSOLE_SHADE_ALPHA = 170;

// The console's font: "console" at size 24 (id 0 outside the font module).
ZovGuiFont w_font_console();
// Replaces the console's widget tree for the current window size: a prompt,
// the input line (empty, at most 255 bytes, focused) and a spacer line that
// keeps the status line free.  The input's text and history are lost.
void modsapi_console_gui_rebuild(ModsAPI* api);
// Sees every event first, unchanged and in window pixels, before the
// scripts do.  1 when the console handled it or saw it while open, or it
// was one of the console's keys; 0 otherwise.  The game ignores the result.
int mods_event_console(Game& game, Event e);
// Draws the status line and, when open, the darkening, the widgets and the
// log over the finished frame; leaves the view at plain window pixels.
void modsapi_log_paint(ModsAPI* api);
