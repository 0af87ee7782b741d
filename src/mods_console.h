// mods_console: the developer console over the API object's log.
//
// The API object's constructor builds the console's widgets through
// `modsapi_console_gui_rebuild`; the console module fills it.
#pragma once

class ModsAPI;

// Replaces the console's widget tree for the current window size.
void modsapi_console_gui_rebuild(ModsAPI* api);

struct Game;
struct Event;

// Sees every event first, unchanged and in window pixels, before the
// scripts do; 1 when the console used it.  The game ignores the result.
int mods_event_console(Game& game, Event e);
// Draws the console over the finished frame, before the buffer flip.
void modsapi_log_paint(ModsAPI* api);
