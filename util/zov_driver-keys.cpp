#include "zov_driver-keys.h"

#include <SDL.h>
#include <SDL_syswm.h>

#include <algorithm>
#include <vector>

// ====== State ======

#if defined(SDL_VIDEO_DRIVER_X11)
// The display the keys were held on, and each key as SDL's scancode with
// the X key code that asks for it.  Main thread only.
static Display* _keys_display = nullptr;
struct _HeldKey {
    SDL_Scancode scancode;
    KeyCode keycode;
};
static std::vector<_HeldKey> _keys_held;

// ====== Actions ======

void _driver_keys_remember(SDL_Window* win) {
    _keys_held.clear();
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(win, &info) || info.subsystem != SDL_SYSWM_X11) return;
    _keys_display = info.info.x11.display;
    int n = 0;
    const Uint8* down = SDL_GetKeyboardState(&n);
    for (int sc = 0; sc < n; sc++) {
        if (!down[sc]) continue;
        // SDL's key names are X's key-symbol names for the keys that repeat:
        // letters, digits, function keys.  Other keys are not remembered.
        KeySym sym = XStringToKeysym(SDL_GetKeyName(SDL_GetKeyFromScancode((SDL_Scancode)sc)));
        KeyCode code = sym == NoSymbol ? 0 : XKeysymToKeycode(_keys_display, sym);
        if (code) _keys_held.push_back({(SDL_Scancode)sc, code});
    }
}

void _driver_keys_update() {
    if (_keys_held.empty()) return;
    char keys[32];
    XQueryKeymap(_keys_display, keys);
    auto released = [&](const _HeldKey& k) { return !(keys[k.keycode / 8] & (1 << (k.keycode % 8))); };
    _keys_held.erase(std::remove_if(_keys_held.begin(), _keys_held.end(), released), _keys_held.end());
}

bool _driver_keys_is_repeat(const SDL_KeyboardEvent& key) {
    if (key.type != SDL_KEYDOWN || key.repeat) return false;
    auto it = std::find_if(_keys_held.begin(), _keys_held.end(),
                           [&](const _HeldKey& k) { return k.scancode == key.keysym.scancode; });
    if (it == _keys_held.end()) return false;
    _keys_held.erase(it);
    return true;
}

void _driver_keys_clear() { _keys_held.clear(); }

#else // no X11: presses arrive as SDL gives them

void _driver_keys_remember(SDL_Window*) {}
void _driver_keys_update() {}
bool _driver_keys_is_repeat(const SDL_KeyboardEvent&) { return false; }
void _driver_keys_clear() {}

#endif
