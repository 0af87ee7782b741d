// zov_driver-keys: keys held while the window is re-created.
//
// Destroying the window while it has the keyboard focus (which SDL takes
// about 0.2 s after a new window gets it) makes SDL let go of every key it
// holds down, presses not yet read included: it sends a key-up for each,
// drops the real release that comes later, and takes the next auto-repeat
// of a key still held as a fresh press.  A game would read a key held
// through Ctrl+F as released, and a held Ctrl+F would switch full screen on
// and straight back off.  So, for each key held as the window goes:
//   - SDL's key-up is held back while the window system still reports the
//     key down; the key stays down for the game, through any number of
//     rebuilds (SDL shows it up after the first);
//   - the key's release is reported when the window system reports it let
//     go (checked before each event is read);
//   - a fresh press from SDL after its key-up (the auto-repeat) is
//     reported as a repeat, and SDL tracks the key again from there; a
//     press read before that key-up is an earlier one and passes as it is.
// A key let go and pressed again between two polls (a few milliseconds) is
// taken as held.
//
// Only an X11 display can be asked which keys are down, by X key code, and
// SDL does not tell a key's X key code: the X key press that SDL hands on
// (as a window-system event) just before its own key-down does.  The
// driver's event filter learns them there and drops those events.  Keys
// never pressed in the window (and every key elsewhere than on X11) are let
// go at a rebuild as SDL does it.
//
// State: the learned key codes and the keys carried through a rebuild,
// private to this file; started and stopped with video.  Main thread only
// (SDL runs the event filter on the thread that reads events).
#pragma once

struct SDL_KeyboardEvent;

// Installs the event filter that learns key codes (video starts).
void _driver_keys_start();
// Removes it and forgets everything (video stops).
void _driver_keys_stop();
// Carries the keys SDL holds down now, besides those still carried from
// earlier rebuilds; call right before the window is destroyed.
void _driver_keys_remember();
// False when SDL's key event `key` is to be dropped: the key-up SDL made for
// a carried key still held.  A fresh press of a carried key that SDL has
// let go of gets its repeat flag set.
bool _driver_keys_pass(SDL_KeyboardEvent& key);
// True, with `up` filled as SDL's key-up for it, when a carried key has been
// let go; the key is forgotten then.
bool _driver_keys_let_go(SDL_KeyboardEvent* up);
