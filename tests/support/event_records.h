// Helpers for the event tests: a readable form of a whole record, and SDL
// events pushed and read back through the driver.
#pragma once

#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "zov_driver.h"
#include "zov_event.h"

// Every field by name, so a mismatch shows which field differs.
inline std::string event_text(const Event& e) {
    char buf[512];
    std::snprintf(buf, sizeof buf,
                  "type=%d x=%.9g y=%.9g z=%.9g dx=%.9g dy=%.9g dz=%.9g w=%.9g h=%.9g _x=%.9g _y=%.9g _z=%.9g "
                  "_dx=%.9g _dy=%.9g _dz=%.9g b=%d v=%d c=%d t=%d _v=%d stype=%d device=%d",
                  e.type, e.x, e.y, e.z, e.dx, e.dy, e.dz, e.w, e.h, e._x, e._y, e._z, e._dx, e._dy, e._dz, e.b, e.v,
                  e.c, e.t, e._v, e.stype, e.device);
    return buf;
}

// A record with its raw position fields and their unmapped copies set alike,
// as the driver hands pointer records on.
inline Event event_at(int type, float x, float y, float dx = 0, float dy = 0) {
    Event e(type);
    e.x = e._x = x;
    e.y = e._y = y;
    e.dx = e._dx = dx;
    e.dy = e._dy = dy;
    return e;
}

// The record a key event becomes: raw SDL key, translated key, modifier bits.
inline Event key_record(int type, int sym, int key, int mods) {
    Event e(type);
    e._v = sym;
    e.v = key;
    e.b = mods;
    return e;
}

// The record that hands out one byte of typed text.
inline Event text_record(int c) {
    Event e(EVT_KEYDOWN);
    e.c = c;
    return e;
}

// The next record.  A poll may answer nothing once right after events were
// pushed, so a few polls are allowed before giving up with EVT_MAX.
inline Event poll_one() {
    Event e;
    for (int i = 0; i < 3; i++)
        if (driver_event_poll(&e)) return e;
    return Event(EVT_MAX);
}

// Drops everything pending (window-system events, text not yet handed out).
inline void poll_drain() {
    Event e;
    for (int quiet = 0; quiet < 3;) quiet = driver_event_poll(&e) ? 0 : quiet + 1;
}

inline SDL_Event sdl_event(Uint32 type) {
    SDL_Event ev;
    std::memset(&ev, 0, sizeof ev);
    ev.type = type;
    return ev;
}

inline SDL_Event sdl_key(Uint32 type, SDL_Keycode sym, Uint16 mod) {
    SDL_Event ev = sdl_event(type);
    ev.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
    ev.key.keysym.sym = sym;
    ev.key.keysym.mod = mod;
    return ev;
}

inline SDL_Event sdl_finger(Uint32 type, float x, float y, float dx, float dy, SDL_FingerID finger,
                            SDL_TouchID touch) {
    SDL_Event ev = sdl_event(type);
    ev.tfinger.x = x;
    ev.tfinger.y = y;
    ev.tfinger.dx = dx;
    ev.tfinger.dy = dy;
    ev.tfinger.fingerId = finger;
    ev.tfinger.touchId = touch;
    return ev;
}

inline SDL_Event sdl_wheel(int x, int y) {
    SDL_Event ev = sdl_event(SDL_MOUSEWHEEL);
    ev.wheel.x = x;
    ev.wheel.y = y;
    return ev;
}

// Pushes one SDL event and reads the record the driver makes of it.
inline Event push_and_poll(SDL_Event ev) {
    if (SDL_PushEvent(&ev) != 1) {
        ADD_FAILURE() << "SDL_PushEvent refused type " << ev.type << ": " << SDL_GetError();
        return Event(EVT_MAX);
    }
    return poll_one();
}
