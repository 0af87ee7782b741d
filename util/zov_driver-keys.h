// zov_driver-keys: keys held while the window is re-created.
//
// Destroying the window makes SDL forget every key held down: it sends
// their key-ups, and the next auto-repeat of a key still held arrives as a
// fresh press.  A held Ctrl+F would switch full screen on, rebuild the
// window, and switch it straight back off.  This module remembers the keys
// held as the window goes and asks the window system whether each is still
// down; until one is let go, its next press is reported as a repeat.  The
// key-ups SDL sends stay as they are, so a script still sees one key-up
// for every key-down.
//
// Only an X11 display can be asked for the keys that are down; elsewhere
// nothing is remembered and presses arrive as SDL gives them.  A key let go
// and pressed again between two polls (a few milliseconds) is taken as
// held.
//
// State: the remembered keys, private to this file, filled by the window
// code of zov_driver-sdl2 and emptied when video stops.  Main thread only.
#pragma once

struct SDL_KeyboardEvent;
struct SDL_Window;

// Remembers the keys SDL holds down now, before `win` is destroyed.
void _driver_keys_remember(SDL_Window* win);
// Forgets the remembered keys that are no longer down; called before each
// event is read.
void _driver_keys_update();
// True when `key` is a fresh key press of a remembered key: the auto-repeat
// of a key held through the rebuild.  The key is forgotten then, as SDL
// tracks it again.
bool _driver_keys_is_repeat(const SDL_KeyboardEvent& key);
// Forgets every key (video stops).
void _driver_keys_clear();
