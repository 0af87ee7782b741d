#include "mods_api.h"

#include <GL/gl.h>

#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <climits>
#include <cstdio>
#include <cstring>

#include "game.h"
#include "zov_printf.h"
#include "gprint.h"
#include "mods_console.h"
#include "mods_lua.h"
#include "zov_driver-tex_load.h"
#include "zov_driver.h"
#include "zov_font.h"
#include "zov_mixer.h"
#include "zov_util.h"

// ====== Lifecycle ======

ModsAPI::ModsAPI(Game& g) : game(g), params(var_dict()) { modsapi_console_gui_rebuild(this); }

ModsAPI::~ModsAPI() {
    // The game's engine is closed first, while its finalizers can still
    // print to this log and call the script globals: closed later, it would
    // reach a deleted object.
    ModsLua* engine = dynamic_cast<ModsLua*>(game.data.mods.mod);
    if (engine && &engine->g == this) {
        _lua_modsapi = this;
        engine->lua_deinit();
    }
    // Output of any other engine closed later is discarded, and its
    // bindings find no API object.
    if (_lua_modsapi == this) _lua_modsapi = nullptr;
    if (scripts_heap) scripts_heap->api = nullptr;
}

// ====== Memory kept for the scripts ======

bool ModsAPI::hold(size_t bytes) {
    if (!scripts_heap || scripts_heap->used + kept() + bytes <= scripts_heap->cap()) return true;
    api_error_set("not enough memory");
    return false;
}

// ====== Pending error ======

void ModsAPI::api_error_set(std::string v) {
    has_error = 1;
    error = std::move(v);
}

void ModsAPI::api_error_clear() {
    error.clear();
    has_error = 0;
}

// ====== Log ======

void ModsAPI::log_entry(std::string s) {
    s = str_replace(s, "\t", "    ");
    s = str_replace(s, "\r", "\n");
    size_t start = 0;
    while (start <= s.size()) {
        size_t end = s.find('\n', start);
        if (end == std::string::npos) end = s.size();
        std::string piece = s.substr(start, end - start);
        start = end + 1;
        if (piece.find_first_not_of(' ') == std::string::npos) continue;
        gprint("ModsAPI: %s\n", piece.c_str());
        if (piece.size() > MODSAPI_LOG_LINE_MAX) {
            // A copy: a string cut in place keeps its whole buffer.
            std::string more = std::to_string(piece.size() - MODSAPI_LOG_LINE_MAX);
            piece = piece.substr(0, MODSAPI_LOG_LINE_MAX) + " [" + more + " more bytes on standard output]";
        }
        log.insert(log.begin(), std::move(piece));
        if (log.size() > MODSAPI_LOG_MAX) log.resize(MODSAPI_LOG_MAX);
    }
}

void ModsAPI::log_printf(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    std::string text = zov_vformat(fmt, ap);
    va_end(ap);
    log_entry(text);
}

// ====== Scripts ======

std::string get_basename(std::string fname) {
    fname = str_replace(fname, "..", "_");
    fname = str_replace(fname, "\\", "/");
    size_t slash = fname.rfind('/');
    return slash == std::string::npos ? fname : fname.substr(slash + 1);
}

std::string get_dirname(std::string fname) {
    fname = str_replace(fname, "\\", "/");
    size_t slash = fname.rfind('/');
    if (slash == std::string::npos) return "";
    // A file in the root directory keeps its "/": the empty text would name
    // the working directory instead.
    if (slash == 0) return "/";
    return fname.substr(0, slash);
}

void ModsAPI::require(std::string _fname) {
    std::string name = get_basename(_fname);
    if (str_find(name, ".") < 0) name += ".lua";
    for (const ModScript& s : scripts) {
        if (s.name == name) return;
    }
    ModScript rec;
    rec._fname = _fname;
    rec.name = name;

    std::string dir = get_dirname(game.data.mods.fname);
    if (params.__has__(var("altdir"))) dir = params["altdir"].__str__();
    driver_set_altdir(dir.c_str()); // a directory too long for the driver is refused there, with a line

    // A main script given without a directory lives in the working directory.
    std::string path = dir.empty() ? name : (dir == "/" ? dir + name : dir + "/" + name);
    if (!driver_file_exists(path.c_str())) {
        path = driver_data_fname(name.c_str());
        if (!driver_file_exists(path.c_str())) {
            log_printf("ModsAPI::require(\"%s\") file missing\n", _fname.c_str());
            api_error_set("file missing");
            return;
        }
    }
    rec.fname = path;
    rec.mtime = driver_file_mtime(path.c_str());
    // Stored before the file runs, so a file that requires itself (directly
    // or through others) finds its name and the inner call does nothing.
    scripts.push_back(rec);
    gprint("ModsAPI::require: %s\n", path.c_str());

    std::string text = driver_file_load(path.c_str());
    if (game.data.mods.mod) game.data.mods.mod->script(text.c_str(), name.c_str());
}

// ====== Parameters ======

// Whether a parameter's text fits the driver field it goes into; a longer
// one is refused whole, since a cut directory or name would point elsewhere.
static bool _param_fits(ModsAPI& api, const std::string& k, const std::string& v, size_t field) {
    if (v.size() < field) return true;
    api.log_printf("zov_params_set(\"%s\"): value of %zu bytes is longer than %zu, not applied\n", k.c_str(),
                   v.size(), field - 1);
    return false;
}

// What a parameter holds: its key, its text and the entry.  Numbers, bools
// and none hold no text.
static size_t _param_bytes(const std::string& k, const var& v) {
    size_t text = v.__type__() == VAR_STRING ? static_cast<const _var_string*>(v.value)->value.size() : 0;
    return k.size() + text + MODSAPI_PARAM_ENTRY_BYTES;
}

void ModsAPI::params_set(std::string k, var v) {
    size_t old = params.__has__(var(k)) ? _param_bytes(k, params[k]) : 0;
    size_t now = _param_bytes(k, v);
    // Only growth is refused: the runtime's own numbers always go in.
    if (now > old && !hold(now - old)) return;
    params_bytes = params_bytes - old + now;
    params[k] = v;
    if (k != "altdir" && k != "appid" && k != "caption") return;
    std::string s = v.__str__();
    if (k == "altdir") {
        if (_param_fits(*this, k, s, sizeof _driver->altdir)) driver_set_altdir(s.c_str());
    } else if (k == "appid") {
        // The game name becomes a directory under the home directory: it
        // must stay one plain name there.  Empty, "." or ".." would put the
        // documents in the working directory, in the home directory itself
        // or beside it.
        if (s.find_first_not_of('.') == std::string::npos || s.find('/') != std::string::npos ||
            s.find("..") != std::string::npos || s.find('\0') != std::string::npos) {
            log_printf("zov_params_set(\"appid\"): \"%s\" is not a plain name, not applied\n", s.c_str());
        } else if (_param_fits(*this, k, s, sizeof _driver->gamename)) {
            driver_set_gamename(s.c_str());
        }
    } else if (_param_fits(*this, k, s, sizeof _driver->caption)) {
        driver_set_caption(s.c_str());
    }
}

var ModsAPI::params_get(std::string k) {
    if (!params.__has__(var(k))) return var();
    return params[k];
}

// Overrides the texture loader's default.
int _ZOV_GL_TEXTURE_MAG_FILTER() {
    // The console's font loads while the API object is being built, before
    // the game holds it.
    Game* g = game_this();
    if (!g || !g->data.mods.api) return GL_LINEAR;
    var& params = g->data.mods.api->params;
    if (params.__has__(var("filter")) && params["filter"].__str__() == "nearest") return GL_NEAREST;
    return GL_LINEAR;
}

std::string _name_clean(std::string v) {
    std::string r;
    for (char c : v) {
        if (c == '.' || r.size() >= 16) break;
        bool keep = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
        r += keep ? c : '_';
    }
    return r.empty() ? "_" : r;
}

// ====== Files ======

bool ModsAPI::file_name_ok(const char* what, const std::string& name) {
    bool ok = !name.empty() && name[0] != '/' && name.find('\\') == std::string::npos &&
              name.find('\0') == std::string::npos;
    if (ok) {
        // ".." as a whole component climbs out of the directory; inside a
        // name ("a..b") it is harmless.
        size_t start = 0;
        while (ok && start <= name.size()) {
            size_t end = name.find('/', start);
            if (end == std::string::npos) end = name.size();
            if (name.compare(start, end - start, "..") == 0) ok = false;
            start = end + 1;
        }
    }
    if (ok) return true;
    log_printf("ModsAPI::%s(\"%s\") refused: not a plain relative file name\n", what, name.c_str());
    api_error_set("bad file name");
    return false;
}

std::string ModsAPI::file_load(std::string name) {
    if (!file_name_ok("file_load", name)) return std::string();
    if (driver_doc_exists(name.c_str())) return driver_doc_load(name.c_str());
    if (driver_data_exists(name.c_str())) return driver_data_load(name.c_str());
    return std::string();
}

bool ModsAPI::file_save(std::string name, std::string data, std::string* reason) {
    if (!file_name_ok("file_save", name)) return false;
    // A text longer than the driver's int length is too large for a file.
    int err = data.size() > INT_MAX ? EFBIG : driver_doc_save(name.c_str(), data.data(), (int)data.size());
    if (!err) return true;
    const char* why = std::strerror(err);
    log_printf("ModsAPI::file_save(\"%s\") failed: %s\n", name.c_str(), why);
    if (reason) *reason = name + ": " + why;
    return false;
}

// ====== Drawing ======

GCommand* ModsAPI::queue_command(size_t text_bytes) {
    size_t bytes = sizeof(GCommand) + text_bytes;
    if (!hold(bytes)) return nullptr;
    batch.bytes += bytes;
    return &batch.queue.emplace_back(); // in place: one per sprite per frame
}

void ModsAPI::view_set(float x, float y, float w, float h, float depth) {
    GCommand* c = queue_command(0);
    if (!c) return;
    c->type = GCMD_VIEW;
    c->x = x;
    c->y = y;
    c->w = w;
    c->h = h;
    c->depth = depth;
}

void ModsAPI::image_init(std::string, std::string, float, float, float, float, float, float, float, float, float,
                         float) {}

void ModsAPI::image_draw(std::string name, float x, float y, float w, float h, float cx, float cy, float angle,
                         int color, float alpha, int mode, float depth) {
    GCommand* c = queue_command(name.size());
    if (!c) return;
    c->type = GCMD_IMAGE;
    c->name = std::move(name);
    c->x = x;
    c->y = y;
    c->w = w;
    c->h = h;
    c->cx = cx;
    c->cy = cy;
    c->angle = angle;
    c->color = color;
    c->alpha = alpha;
    c->mode = mode;
    c->depth = depth;
}

void ModsAPI::font_draw(std::string name, int points, std::string text, float x, float y, float w, int align,
                        int color, float alpha, float mode) {
    GCommand* c = queue_command(name.size() + text.size());
    if (!c) return;
    c->type = GCMD_TEXT;
    c->name = std::move(name);
    c->points = points;
    c->text = std::move(text);
    c->x = x;
    c->y = y;
    c->w = w;
    c->align = align;
    c->color = color;
    c->alpha = alpha;
    c->mode = trunc_int(mode);
}

// Truncated toward zero into 0..65535, the room each half of the packed
// result has (NaN counts as 0).
static unsigned _font_size_clamp(float v) {
    if (!(v > 0)) return 0;
    if (v >= 65535.0f) return 65535;
    return (unsigned)v;
}

unsigned ModsAPI::font_size(std::string name, int points, std::string text, float w) {
    int f = font_load(name.c_str(), points);
    float width = w <= 0 ? (float)font_get_width(f, text.c_str()) : w;
    float height = (float)font_get_height(f, text.c_str(), w);
    return _font_size_clamp(width) << 16 | _font_size_clamp(height);
}

// ====== Sound ======

void ModsAPI::sample_play(std::string name, float vol, float pan) {
    mixer_sample_play(mixer_sample_load(name.c_str()), vol, pan);
}

void ModsAPI::stream_play(std::string name, float vol, float pan) {
    (void)pan;
    int id = mixer_stream_load(name.c_str());
    int& started = streams[name];
    if (started < 1) {
        mixer_stream_play(id, vol);
        started = 1;
    }
    mixer_stream_volume(id, vol);
}

void ModsAPI::stream_stop(std::string name) {
    mixer_stream_stop(mixer_stream_load(name.c_str()));
    streams[name] = 0;
}

// ====== Other actions ======

std::string ModsAPI::ext_call(std::string action, std::string data) {
    if (action == "open_url") {
        driver_video_minimize();
        driver_open_url(data.c_str());
    } else if (action == "exit") {
        game._quit = 1;
    }
    return std::string();
}
