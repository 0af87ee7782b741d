// mods_api: the engine-side API object that scripts talk to.  Every script
// global lands in one of its operations.  It holds the script parameters,
// the console log and the console's state, the loaded script files, the draw
// batch, the music streams' states and a pending-error slot through which its
// failures become script errors.
//
// State: one ModsAPI at a time, owned by the game, created at every restart
// and deleted at the next restart and at shutdown.  Main thread only.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "mods.h"
#include "mods_batch.h"
#include "mods_held.h"
#include "zov_gui.h"
#include "zov_var.h"

struct Game;
struct LuaHeap;

// Most lines the console log keeps.
enum { MODSAPI_LOG_MAX = 255 };
// Most bytes of one line the console log keeps: about a screenful of text.
// Standard output still gets the whole line.
enum { MODSAPI_LOG_LINE_MAX = 64 << 10 };
// What a parameter costs beside its key and its text: about what one entry
// of the dict holds.
enum { MODSAPI_PARAM_ENTRY_BYTES = 128 };

class ModsAPI {
public:
    Container gui;                   // built and destroyed, otherwise unused
    Game& game;                      // the owning game
    std::vector<std::string> log;    // console log, newest first
    Container console_gui;           // the console's widget tree
    std::string console_history;     // the console's last entered line
    int console_toggle = 0;          // 1 while the console is open
    std::string error;               // text of the pending error
    int has_error = 0;               // non-zero while an error is pending
    std::vector<ModScript> scripts;  // files loaded since the last reload, in order
    GBatch batch;                    // draw-command queue
    std::map<std::string, int> streams; // 1 once started, 0 after a stop
    var params;                      // the script parameters (a dict)
    ModsHeld held;                   // what the script holds down
    size_t params_bytes = 0;         // what the parameters hold
    // The memory count of the engine serving this object, while its state
    // is open: what the host keeps for the scripts counts against their
    // limit.  Null without one: nothing is refused.
    LuaHeap* scripts_heap = nullptr;

    // Builds the console's widgets last.
    explicit ModsAPI(Game& game);
    ~ModsAPI();
    ModsAPI(const ModsAPI&) = delete;
    ModsAPI& operator=(const ModsAPI&) = delete;

    // ====== Pending error ======
    int api_error() const { return has_error; }
    void api_error_set(std::string v);
    std::string api_error_get() const { return error; }
    void api_error_clear();

    // ====== Memory kept for the scripts ======
    // The bytes of the parameters and the queued draw commands.
    size_t kept() const { return params_bytes + batch.bytes; }
    // Whether the scripts' memory has room for `bytes` more that the host
    // keeps for them; if not, the pending error "not enough memory".
    bool hold(size_t bytes);

    // ====== Log ======
    // Tabs become four spaces and "\r" a line break; each non-blank line is
    // put at the front of the log and echoed as "ModsAPI: %s".
    void log_entry(std::string s);
    void log_printf(const char* fmt, ...) __attribute__((format(printf, 2, 3)));

    // ====== Scripts ======
    // Finds, records and runs a script file once per reload; a missing file
    // logs a line and leaves the pending error "file missing".
    void require(std::string name);

    // ====== Parameters ======
    // Stores the value; "altdir", "appid" and "caption" also take effect,
    // unless unsafe (an appid that is empty, only dots, or holds "/", ".."
    // or a zero byte) or too long for the driver: then a line is logged.
    // A value that grows the parameters past the scripts' memory is not
    // stored: the pending error "not enough memory".
    void params_set(std::string k, var v);
    // The value, or none for a key never set.
    var params_get(std::string k);

    // ====== Files ======
    // A document, else a data file; empty when neither exists.  A name that
    // is not a plain relative path is refused (log line, pending error).
    std::string file_load(std::string name);
    // Saves a document and returns true; the previous one stays unless the
    // new one was written whole.  A refused name logs a line, leaves the
    // pending error "bad file name" and returns false.  A failed save is not
    // an error of the script: it logs "ModsAPI::file_save("<name>") failed:
    // <why>", puts "<name>: <why>" in *reason and returns false.
    bool file_save(std::string name, std::string data, std::string* reason = nullptr);

    // ====== Drawing: queued, drawn by the batch ======
    // A command past the scripts' memory is not queued: the pending error
    // "not enough memory".
    void view_set(float x, float y, float w, float h, float depth);
    void image_init(std::string name, std::string src, float sw, float sh, float x, float y, float w, float h,
                    float tx, float ty, float tw, float th);
    void image_draw(std::string name, float x, float y, float w, float h, float cx, float cy, float angle, int color,
                    float alpha, int mode, float depth);
    void font_draw(std::string name, int points, std::string text, float x, float y, float w, int align, int color,
                   float alpha, float mode);
    // Width << 16 | height of the text (wrapped at w when w > 0, and then w
    // is the width), each clamped to 0..65535.
    unsigned font_size(std::string name, int points, std::string text, float w);

    // ====== Sound ======
    void sample_play(std::string name, float vol, float pan);
    // Starts the stream unless this API object already started it; sets its
    // volume in every case.
    void stream_play(std::string name, float vol, float pan);
    void stream_stop(std::string name);

    // "open_url" (data is the URL) and "exit"; others do nothing.  Returns "".
    std::string ext_call(std::string action, std::string data);

private:
    // A new command at the end of the queue, its texts counted; null when
    // the scripts' memory has no room for it.
    GCommand* queue_command(size_t text_bytes);
    // False (after a log line and a pending error) for an empty name, an
    // absolute one, or one holding "..", a backslash or a zero byte.
    bool file_name_ok(const char* what, const std::string& name);
};

// The last path component of fname, after every ".." became "_" and every
// backslash a slash.
std::string get_basename(std::string fname);
// fname without its last component ("/" for a file in the root directory,
// "" for a bare name); backslashes count as slashes.
std::string get_dirname(std::string fname);
// Letters and digits of v, others as "_", cut before the first "." and
// after 16 characters; "_" when nothing is left.
std::string _name_clean(std::string v);
