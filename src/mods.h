// mods: the script host's shared types: the script engine interface and the
// record of a loaded script file.
//
// The game owns one engine (`ModsBase*`, deleted through the virtual
// destructor) and one API object; the engine runs scripts for that API
// object.  Main thread only.
#pragma once

#include <ctime>
#include <string>

#include "zov_var.h"

// A script engine.  The base does nothing and is always healthy.
class ModsBase {
public:
    // The script's _init().
    virtual void init() {}
    // The script's _loop(t); t is the frame time in seconds.
    virtual void loop(float t) { (void)t; }
    // The script's _event(e); e is the event dict.
    virtual void event(var e) { (void)e; }
    // The script's _paint().
    virtual void paint() {}
    // Runs a source text as a chunk called `name`; errors go to the log.
    virtual void script(const char* s, const char* name) {
        (void)s;
        (void)name;
    }
    // False while a failed hook keeps the hooks stopped.
    virtual bool is_ok() { return true; }
    virtual ~ModsBase() {}
};

// One script file that `require` has loaded since the last reload.
struct ModScript {
    std::string _fname; // the name as passed to require
    std::string fname;  // the path it was loaded from
    time_t mtime = 0;   // its modification time when loaded
    std::string name;   // base name (".lua" added): runs once per reload
};
