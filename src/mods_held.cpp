#include "mods_held.h"

#include <algorithm>

// The press a press or release event belongs to; type 0 for other events.
static int _held_press_type(int type) {
    switch (type) {
    case EVT_KEYDOWN:
    case EVT_KEYUP: return EVT_KEYDOWN;
    case EVT_MOUSEDOWN:
    case EVT_MOUSEUP: return EVT_MOUSEDOWN;
    case EVT_DOWN:
    case EVT_UP: return EVT_DOWN;
    case EVT_TOUCHDOWN:
    case EVT_TOUCHUP: return EVT_TOUCHDOWN;
    case EVT_JOYDOWN:
    case EVT_JOYUP: return EVT_JOYDOWN;
    default: return 0;
    }
}

bool ModsHeld::admit(const Event& e, const var& d, bool running) {
    int press = _held_press_type(e.type);
    bool key = press == EVT_KEYDOWN;
    if (!press || (key && e._v == 0)) return true;
    Press p{press, key ? 0 : e.device, key ? e._v : e.b};
    auto it = std::find(held_.begin(), held_.end(), p);
    if (e.type == press) {
        // A press the stopped script does not get is not held: its release
        // is dropped too.  Repeats of a held key are the same press.
        if (running && it == held_.end()) held_.push_back(p);
        return true;
    }
    if (it == held_.end()) return false;
    held_.erase(it);
    if (!running) missed_.push_back(d);
    return running;
}

bool ModsHeld::next_missed(var* d) {
    if (missed_.empty()) return false;
    *d = missed_.front();
    missed_.pop_front();
    return true;
}
