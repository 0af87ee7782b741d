#include "zov_driver-keys.h"

#include <SDL.h>
#include <SDL_syswm.h>

#include <algorithm>
#include <vector>

#if defined(SDL_VIDEO_DRIVER_X11)

// ====== State ======

// A key held as a window went.  `up_pending` while SDL still holds it down
// or has queued a key-up for it that has not been read: SDL owes one key-up.
struct _CarriedKey {
    SDL_Scancode scancode;
    KeyCode keycode;
    bool up_pending;
};

// Main thread only.  The display is the one the key presses came from.
static Display* _keys_display = nullptr;
static KeyCode _keys_code[SDL_NUM_SCANCODES]; // 0: not learned
static KeyCode _keys_pressing = 0;            // the X key press SDL is handling now
static std::vector<_CarriedKey> _keys_carried;

// ====== Learning key codes ======

// SDL passes each X event on before it handles it: an X key press is
// followed by SDL's key-down for the same key, if any.  Any other X event
// in between (a focus change that makes SDL press modifiers itself) breaks
// the pair.
static int SDLCALL _keys_filter(void*, SDL_Event* ev) {
    if (ev->type == SDL_SYSWMEVENT) {
        const SDL_SysWMmsg* msg = ev->syswm.msg;
        const XEvent* x = msg && msg->subsystem == SDL_SYSWM_X11 ? &msg->msg.x11.event : nullptr;
        _keys_pressing = x && x->type == KeyPress ? (KeyCode)x->xkey.keycode : 0;
        if (_keys_pressing) _keys_display = x->xkey.display;
        return 0;
    }
    if (ev->type == SDL_KEYDOWN) {
        if (_keys_pressing) _keys_code[ev->key.keysym.scancode] = _keys_pressing;
        _keys_pressing = 0;
    }
    return 1;
}

void _driver_keys_start() {
    SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE);
    SDL_SetEventFilter(_keys_filter, nullptr);
}

void _driver_keys_stop() {
    SDL_SetEventFilter(nullptr, nullptr);
    SDL_EventState(SDL_SYSWMEVENT, SDL_DISABLE);
    std::fill(std::begin(_keys_code), std::end(_keys_code), 0);
    _keys_pressing = 0;
    _keys_display = nullptr;
    _keys_carried.clear();
}

// ====== Carried keys ======

static std::vector<_CarriedKey>::iterator _keys_find(SDL_Scancode scancode) {
    return std::find_if(_keys_carried.begin(), _keys_carried.end(),
                        [&](const _CarriedKey& k) { return k.scancode == scancode; });
}

// Keys carried from an earlier rebuild stay: SDL let go of them then and
// shows them up, while the window system may still hold them.  A key SDL
// holds down is owed a key-up, whether it is carried already or not.
void _driver_keys_remember() {
    int n = 0;
    const Uint8* down = SDL_GetKeyboardState(&n);
    for (int sc = 0; sc < n && sc < SDL_NUM_SCANCODES; sc++) {
        if (!down[sc] || !_keys_code[sc]) continue;
        auto it = _keys_find((SDL_Scancode)sc);
        if (it == _keys_carried.end()) {
            _keys_carried.push_back({(SDL_Scancode)sc, _keys_code[sc], true});
        } else {
            it->up_pending = true;
        }
    }
}

// The keys the window system reports down now, one bit per X key code.
struct _Keymap {
    char bits[32];
    _Keymap() { XQueryKeymap(_keys_display, bits); }
    bool down(KeyCode code) const { return bits[code / 8] & (1 << (code % 8)); }
};

bool _driver_keys_pass(SDL_KeyboardEvent& key) {
    auto it = _keys_find(key.keysym.scancode);
    if (it == _keys_carried.end()) return true;
    // Read before the key-up SDL owes: a press from before the rebuild (or
    // SDL's own repeat), which SDL will still let go of.
    if (key.type == SDL_KEYDOWN && it->up_pending) return true;
    if (key.type == SDL_KEYUP && it->up_pending) {
        it->up_pending = false;
        if (_Keymap().down(it->keycode)) return false;
    } else if (key.type == SDL_KEYDOWN) {
        key.repeat = 1;
    }
    _keys_carried.erase(it);
    return true;
}

bool _driver_keys_let_go(SDL_KeyboardEvent* up) {
    if (_keys_carried.empty()) return false;
    _Keymap keys;
    auto it = std::find_if(_keys_carried.begin(), _keys_carried.end(),
                           [&](const _CarriedKey& k) { return !k.up_pending && !keys.down(k.keycode); });
    if (it == _keys_carried.end()) return false;
    *up = SDL_KeyboardEvent();
    up->type = SDL_KEYUP;
    up->timestamp = SDL_GetTicks();
    up->state = SDL_RELEASED;
    up->keysym.scancode = it->scancode;
    up->keysym.sym = SDL_GetKeyFromScancode(it->scancode);
    up->keysym.mod = (Uint16)SDL_GetModState();
    _keys_carried.erase(it);
    return true;
}

#else // no X11: keys are let go at a rebuild as SDL does it

void _driver_keys_start() {}
void _driver_keys_stop() {}
void _driver_keys_remember() {}
bool _driver_keys_pass(SDL_KeyboardEvent&) { return true; }
bool _driver_keys_let_go(SDL_KeyboardEvent*) { return false; }

#endif
