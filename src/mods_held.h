// mods_held: what the script holds down, so that it sees every press and
// release in pairs.
//
// A release reaches the script only after its press did: Ctrl+Q's Q (its
// press is the chord), a key already down when the scripts started, a
// button pressed while the script was stopped give no lone release.  While
// a script error keeps the hooks stopped (no _event runs), the releases of
// what the script holds are kept; they are given to it first when its hooks
// run again, in the order they happened, so that a game tracking keys from
// _event does not hold a key for ever.  Presses and releases that both come
// while it is stopped give nothing.
//
// Pairs, by type: keydown/keyup by key code (text records, key code 0,
// are no key); mousedown/mouseup, down/up, touchdown/touchup and
// joydown/joyup by device and button.
//
// State: one per API object, so a restart starts afresh.  Main thread only.
#pragma once

#include <deque>
#include <vector>

#include "zov_event.h"
#include "zov_var.h"

class ModsHeld {
public:
    // Whether the event (as the script's dict `d`) goes to _event now;
    // `running` tells whether the hooks run.  A release of something the
    // script holds is kept while they do not.
    bool admit(const Event& e, const var& d, bool running);
    // Takes the oldest release kept while the hooks were stopped into *d;
    // false when there is none.
    bool next_missed(var* d);

private:
    struct Press {
        int type; // the press's event type
        int device;
        int id; // key code or button
        bool operator==(const Press& o) const { return type == o.type && device == o.device && id == o.id; }
    };
    std::vector<Press> held_;
    std::deque<var> missed_;
};
