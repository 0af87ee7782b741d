#include "zov_gfx.h"

#include <GL/gl.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "zov_driver-tex_load.h"
#include "zov_driver.h"
#include "zov_json.h"
#include "zov_util.h"

_GfxData* _gfx = nullptr;

_GfxData::_GfxData() {
    img_data.push_back(GfxImage());
    tex_data.push_back(GfxTexture());
}

// ====== Helpers ======
namespace {

// The view transform's terms, each held as a float.
struct ViewTerms {
    float cx, cy;  // window centre of the view: vx + vw/2, vy + vh/2
    float hw, hh;  // half the canvas size, from the truncated size
    float kx, ky;  // shift
    float s;       // scale
    float cs, sn;  // cosine and sine of the orientation
    bool ok;       // false when the scale cannot be divided by
};

float orient_radians() { return (float)(_gfx->orient * M_PI / 180.0); }

ViewTerms view_terms() {
    ViewTerms t;
    const GfxRect& v = _gfx->view;
    int sw, sh;
    gfx_get_size(&sw, &sh);
    t.cx = v.x + v.w / 2;
    t.cy = v.y + v.h / 2;
    t.hw = sw / 2.0f;
    t.hh = sh / 2.0f;
    t.kx = _gfx->shift.x;
    t.ky = _gfx->shift.y;
    t.s = _gfx->scale;
    float a = orient_radians();
    t.cs = (float)cos((double)a);
    t.sn = (float)sin((double)a);
    t.ok = t.s != 0 && std::isfinite(t.s);
    return t;
}

// Maps both corners of r with `map` and returns them as a rectangle.
GfxRect map_rect(GfxRect r, GfxRect (*map)(GfxRect)) {
    GfxRect p = map(GfxRect(r.x, r.y, 0, 0));
    GfxRect q = map(GfxRect(r.x + r.w, r.y + r.h, 0, 0));
    return GfxRect(p.x, p.y, q.x - p.x, q.y - p.y);
}

} // namespace

// ====== Lifecycle ======

void gfx_init() {
    if (!_gfx) {
        _gfx = new _GfxData();
        glEnable(GL_TEXTURE_2D);
        glEnableClientState(GL_VERTEX_ARRAY);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glEnable(GL_BLEND);
        // Textures hold premultiplied alpha.
        glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
        _gfx_draw_reset();
        gfx_set_size(256, 256);
        gfx_set_orient(0);
        gfx_set_scale(1.0f);
    }
    _gfx_fix_view();
}

void gfx_deinit() {
    delete _gfx;
    _gfx = nullptr;
}

void gfx_clear() {
    gfx_batch_flush(); // in order: what was queued before is cleared too
    glClearColor(0, 0, 0, 1);
    glClearDepth(1.0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

// ====== View state ======

void gfx_set_ortho_near_far(float near_plane, float far_plane) {
    _gfx->ortho_near = near_plane;
    _gfx->ortho_far = far_plane;
}

void gfx_set_view(int x, int y, int w, int h) { _gfx->view = GfxRect(x, y, w, h); }

void gfx_get_view(int* x, int* y, int* w, int* h) {
    *x = trunc_int(_gfx->view.x);
    *y = trunc_int(_gfx->view.y);
    *w = trunc_int(_gfx->view.w);
    *h = trunc_int(_gfx->view.h);
}

void gfx_set_size(int w, int h) {
    _gfx->size.w = w;
    _gfx->size.h = h;
}

void gfx_get_size(int* w, int* h) {
    *w = trunc_int(_gfx->size.w);
    *h = trunc_int(_gfx->size.h);
}

void gfx_set_shift(int x, int y) {
    _gfx->shift.x = x;
    _gfx->shift.y = y;
}

void gfx_get_shift(int* x, int* y) {
    *x = trunc_int(_gfx->shift.x);
    *y = trunc_int(_gfx->shift.y);
}

void gfx_set_orient(float degrees) { _gfx->orient = degrees; }
float gfx_get_orient() { return _gfx->orient; }
void gfx_set_scale(float scale) { _gfx->scale = scale; }
float gfx_get_scale() { return _gfx->scale; }

void _gfx_fix_view() {
    int w, h;
    driver_get_size(&w, &h);
    if (_gfx->_driver_size.w == (float)w && _gfx->_driver_size.h == (float)h) return;
    _gfx->view = GfxRect(0, 0, w, h);
    _gfx->_driver_size.w = w;
    _gfx->_driver_size.h = h;
}

// The same transform as gfx_pos_to_hwpos, applied by GL: the canvas centre
// is moved to the origin, rotated, scaled and moved to the view's centre.
void gfx_ortho() {
    gfx_batch_flush(); // queued quads land in the view they were queued in
    _gfx_fix_view();
    int ww, wh;
    driver_get_size(&ww, &wh);
    ViewTerms t = view_terms();
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, ww, wh, 0, _gfx->ortho_near, _gfx->ortho_far);
    glTranslatef(t.cx, t.cy, 0);
    glScalef(t.s, t.s, 1);
    glRotatef((float)(orient_radians() * 180.0 / M_PI), 0, 0, 1);
    glTranslatef(-t.hw, -t.hh, 0);
    glTranslatef(t.kx, t.ky, 0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    // The window's drawable may hold more pixels than the window (the
    // driver's integer scale); a rotated view has no scale along the axes.
    _gfx->ortho_px = t.ok && _gfx->orient == 0 ? std::fabs(t.s) * driver_get_scale() : 0;
}

// ====== Mapping ======

GfxRect gfx_pos_to_hwpos(GfxRect r) {
    ViewTerms t = view_terms();
    if (!t.ok) return r;
    float x1 = r.x + t.kx - t.hw;
    float y1 = r.y + t.ky - t.hh;
    float X = (t.cs * x1 - t.sn * y1) * t.s + t.cx;
    float Y = (t.sn * x1 + t.cs * y1) * t.s + t.cy;
    return GfxRect(X, Y, r.w, r.h);
}

GfxRect gfx_hwpos_to_pos(GfxRect r) {
    ViewTerms t = view_terms();
    if (!t.ok) return r;
    float x1 = (r.x - t.cx) / t.s;
    float y1 = (r.y - t.cy) / t.s;
    // Rotation by -a: cos(-a) = cos a, sin(-a) = -sin a.
    float x = t.cs * x1 + t.sn * y1 + t.hw - t.kx;
    float y = -t.sn * x1 + t.cs * y1 + t.hh - t.ky;
    return GfxRect(x, y, r.w, r.h);
}

GfxRect gfx_rect_to_hwrect(GfxRect r) {
    if (!view_terms().ok) return r;
    return map_rect(r, gfx_pos_to_hwpos);
}

GfxRect gfx_hwrect_to_rect(GfxRect r) {
    if (!view_terms().ok) return r;
    return map_rect(r, gfx_hwpos_to_pos);
}

void gfx_event_correct(Event* e) {
    switch (e->type) {
    case EVT_DOWN:
    case EVT_MOTION:
    case EVT_UP:
    case EVT_WHEEL:
        break;
    default:
        return;
    }
    e->_x = e->x;
    e->_y = e->y;
    e->_dx = e->dx;
    e->_dy = e->dy;
    GfxRect r = gfx_hwrect_to_rect(GfxRect(e->_x, e->_y, e->_dx, e->_dy));
    e->x = r.x;
    e->y = r.y;
    e->dx = r.w;
    e->dy = r.h;
}

// ====== Focus ======

void gfx_focus(GfxRect r) { _gfx->focus = r; }
void gfx_blur() { _gfx->focus = GfxRect(); }
GfxRect _gfx_get_focus_fixed() { return gfx_rect_to_hwrect(_gfx->focus); }

// ====== Translation and clipping ======

void gfx_translate(float dx, float dy) {
    gfx_batch_flush(); // queued quads land where they were queued
    _gfx->translate.x += dx;
    _gfx->translate.y += dy;
    glTranslatef(dx, dy, 0);
}

void gfx_clip(float x, float y, float w, float h) {
    int n = ++_gfx->clip_n;
    if (n > GFX_CLIP_MAX) return;
    GfxRect& top = _gfx->clip[n - 1];
    top = GfxRect(_gfx->translate.x + x, _gfx->translate.y + y, w, h);
    // A level that misses its parent keeps a width or height <= 0 and so
    // clips everything away; the result is not needed.
    if (n >= 2) _gfx_clip_test(_gfx->clip[n - 2], &top, nullptr);
}

void gfx_unclip() {
    if (_gfx->clip_n > 0) --_gfx->clip_n;
}

bool _gfx_clip(GfxRect* dst, GfxRect* tex) {
    int n = _gfx->clip_n;
    if (n == 0) return true;
    if (n > GFX_CLIP_MAX) return false;
    GfxRect b = _gfx->clip[n - 1];
    b.x -= _gfx->translate.x;
    b.y -= _gfx->translate.y;
    return _gfx_clip_test(b, dst, tex);
}

// Each trimmed edge shrinks the texture rectangle by the same fraction of the
// destination's (untrimmed) size.
bool _gfx_clip_test(const GfxRect& b, GfxRect* d, GfxRect* t) {
    if (d->w <= 0 || d->h <= 0) return false;
    if (b.x > d->x) {
        float c = b.x - d->x;
        if (t) {
            float f = t->w * c / d->w;
            t->x += f;
            t->w -= f;
        }
        d->x += c;
        d->w -= c;
    }
    if (d->w <= 0) return false;
    if (d->x + d->w > b.x + b.w) {
        float c = d->x + d->w - (b.x + b.w);
        if (t) t->w -= t->w * c / d->w;
        d->w -= c;
    }
    if (d->w <= 0) return false;
    if (b.y > d->y) {
        float c = b.y - d->y;
        if (t) {
            float f = t->h * c / d->h;
            t->y += f;
            t->h -= f;
        }
        d->y += c;
        d->h -= c;
    }
    if (d->h <= 0) return false;
    if (d->y + d->h > b.y + b.h) {
        float c = d->y + d->h - (b.y + b.h);
        if (t) t->h -= t->h * c / d->h;
        d->h -= c;
    }
    return d->h > 0;
}

// ====== Picture registry ======
namespace {

// Set by tests through _gfx_set_clock; null means time().
time_t (*gfx_clock)() = nullptr;

time_t gfx_now() { return gfx_clock ? gfx_clock() : time(nullptr); }

// Ids from outside may be anything; out of range means none.
int tex_id(int id) { return id > 0 && id < (int)_gfx->tex_data.size() ? id : 0; }
int img_id(int id) { return id > 0 && id < (int)_gfx->img_data.size() ? id : 0; }

// Copies text into a fixed field; refused (false, one line on standard
// error) when it does not fit, since a cut name or path could name another
// picture.
template <size_t N>
bool set_field(char (&field)[N], const char* text, const char* what) {
    size_t len = std::strlen(text);
    if (len >= N) {
        std::fprintf(stderr, "gfx: %s of %zu bytes is longer than %zu, refused: %.64s...\n", what, len, N - 1,
                     text);
        return false;
    }
    std::memcpy(field, text, len + 1);
    return true;
}

const char* base_name(const char* path) {
    const char* slash = std::strrchr(path, '/');
    return slash ? slash + 1 : path;
}

// A file counts as changed when its time has grown since the load and lies
// at least 2 s in the past.
bool file_changed(const char* path, time_t loaded_mtime) {
    time_t m = driver_file_mtime(path);
    return loaded_mtime < m && gfx_now() - 2 >= m;
}

} // namespace

void _gfx_set_clock(time_t (*now)()) { gfx_clock = now; }

GfxImage* _gfx_get_img(int img) { return &_gfx->img_data[img_id(img)]; }
GfxTexture* _gfx_get_tex(int tid) { return &_gfx->tex_data[tex_id(tid)]; }

uint64_t ZOV_GFX_MEMMAX() { return _ZOV_DRIVER_TEX_LOAD_DOWNSCALE() ? 0x2000000u : 0x5000000u; }

// ------ Lookup ------

char* _gfx_find_ext(const char* c) {
    static char found[512];
    static const char* const exts[] = {"", ".tga", ".png", ".jpg", ".zov"};
    bool has_dot = std::strchr(c, '.') != nullptr;
    for (const char* e : exts) {
        if (!*e && !has_dot) continue;
        int n = std::snprintf(found, sizeof found, "%s%s", c, e);
        if (n >= (int)sizeof found) {
            std::fprintf(stderr, "_gfx_find_ext: name of %d bytes is too long, skipped: %.64s...\n", n, c);
            continue;
        }
        if (driver_data_exists(found)) return found;
    }
    return nullptr;
}

char* _gfx_find(const char* name) {
    char scale[32];
    std::snprintf(scale, sizeof scale, "@%dx", trunc_int(driver_get_scale()));
    std::string idiom = std::string("~") + driver_get_idiom();
    const char* base = base_name(name);
    const char* dot = std::strchr(base, '.');
    std::string stem(base, dot ? (size_t)(dot - base) : std::strlen(base));
    std::string ext(dot ? dot : "");
    std::printf("_gfx_find(%s):%s:%s\n", name, stem.c_str(), ext.c_str());
    const std::string candidates[] = {stem + scale + idiom + ext, stem + scale + ext, stem + idiom + ext, stem + ext};
    for (const std::string& c : candidates)
        if (char* found = _gfx_find_ext(c.c_str())) return found;
    return nullptr;
}

// ------ Textures ------

int gfx_tex_load(const char* name) {
    auto it = _gfx->tex_map.find(name);
    if (it == _gfx->tex_map.end()) {
        std::fprintf(stderr, "trying load tex %s\n", name);
        GfxTexture entry;
        if (!set_field(entry.name, name, "texture name")) {
            _gfx->tex_map[name] = 0;
            return 0;
        }
        const char* found = _gfx_find(name);
        if (!found) {
            std::fprintf(stderr, "unable to find tex %s\n", name);
            _gfx->tex_map[name] = 0;
            return 0;
        }
        int id = (int)_gfx->tex_data.size();
        _gfx->tex_data.push_back(entry);
        std::fprintf(stderr, "doing load tex %s (%d)\n", name, id);
        int t0 = driver_timer_get_ticks();
        _gfx->tex_map[name] = id;
        GfxTexture& t = _gfx->tex_data[id];
        t.n = id;
        // Fits: the driver refuses paths longer than its 512-byte buffer.
        set_field(t.tex_fname, driver_data_fname(found), "picture path");
        gfx_tex_reload(id);
        static long total = 0; // for the life of the program
        long ms = driver_timer_delta(driver_timer_get_ticks(), t0);
        total += ms;
        std::fprintf(stderr, "gfx_tex_load: %ld ms, total %ld ms\n\n", ms, total);
        it = _gfx->tex_map.find(name);
    }
    _gfx_tex_check(it->second);
    return it->second;
}

void gfx_tex_reload(int tid) {
    tid = tex_id(tid);
    if (!tid) return;
    GfxTexture& t = _gfx->tex_data[tid];
    std::fprintf(stderr, "gfx_tex_reload: %d %s %s\n", tid, t.name, t.tex_fname);
    if (t.tex) _gfx_tex_gl_free(tid);
    t.loaded = 1;
    t.tex_mtime = driver_file_mtime(t.tex_fname);
    int w = 0, h = 0, tw = 0, th = 0; // stay 0 when the file does not decode
    t.tex = driver_tex_load(t.tex_fname, &w, &h, &tw, &th);
    t.rect = GfxRect(0, 0, tw, th);
    // 4 bytes a texel and a third more for mipmaps; 64-bit, as a 16384-texel
    // square overflows 32 bits.
    t.tex_memused = (uint64_t)tw * (uint64_t)th * 16 / 3;
    t.tex_atime = gfx_now();
    _gfx->memused += t.tex_memused;
    gfx_img_add(t.name, tid, GfxRect(0, 0, w, h), GfxRect(0, 0, w, h));
    _gfx_tex_recycle();
}

void _gfx_tex_check(int tid) {
    tid = tex_id(tid);
    if (!tid) return;
    GfxTexture& t = _gfx->tex_data[tid];
    if (!t.loaded) gfx_tex_reload(tid);
    t.tex_atime = gfx_now();
}

int gfx_tex_get_id(int tid) {
    tid = tex_id(tid);
    _gfx_tex_check(tid);
    return _gfx->tex_data[tid].tex;
}

void _gfx_tex_gl_free(int tid) {
    tid = tex_id(tid);
    if (!tid) return;
    GfxTexture& t = _gfx->tex_data[tid];
    if (t.tex) gfx_tex_delete(t.tex);
    t.tex = 0;
    _gfx->memused -= t.tex_memused;
    t.tex_memused = 0;
    t.loaded = 0;
}

void _gfx_tex_recycle() {
    const double mib = 1048576.0;
    std::fprintf(stderr, "_gfx->memused: %.2fM\n", _gfx->memused / mib);
    uint64_t cap = ZOV_GFX_MEMMAX();
    while (_gfx->memused > cap) {
        std::fprintf(stderr, "ZOV_GFX_MEMMAX: %.2fM exceeded by %.2f\n", cap / mib, _gfx->memused / mib - cap / mib);
        time_t now = gfx_now();
        int victim = 0;
        time_t oldest = 0;
        for (int id = 1; id < (int)_gfx->tex_data.size(); id++) {
            const GfxTexture& t = _gfx->tex_data[id];
            time_t age = now - t.tex_atime;
            // Only a texture that holds GL memory: freeing one that did not
            // decode saves nothing and would make it retry its file.
            if (t.loaded != 1 || !t.tex || age <= 299) continue;
            if (!victim || age >= oldest) {
                victim = id;
                oldest = age;
            }
        }
        if (!victim) break; // stays over the cap until a later load finds one
        std::fprintf(stderr, "_gfx_tex_recycle: %d (%s)\n", victim, _gfx->tex_data[victim].name);
        _gfx_tex_gl_free(victim);
    }
}

// ------ Images ------

int gfx_img_add(const char* name, int tid, GfxRect rect, GfxRect shape) {
    auto it = _gfx->img_map.find(name);
    // A name cached as not found (0) gets an entry of its own too: writing
    // through it would fill the reserved entry 0 that every bad id reads.
    if (it == _gfx->img_map.end() || it->second == 0) {
        it = _gfx->img_map.insert_or_assign(name, (int)_gfx->img_data.size()).first;
        _gfx->img_data.push_back(GfxImage());
    }
    GfxImage& img = _gfx->img_data[it->second];
    img.n = it->second;
    img.tid = tex_id(tid);
    img.rect = rect;
    img.shape = shape;
    return img.n;
}

int gfx_img_load(const char* name) {
    auto it = _gfx->img_map.find(name);
    if (it == _gfx->img_map.end()) {
        if (!gfx_tex_load(name)) {
            std::fprintf(stderr, "unable to find img %s\n", name);
            _gfx->img_map[name] = 0;
            return 0;
        }
        it = _gfx->img_map.find(name); // the texture's load registered it
    }
    _gfx_tex_check(_gfx->img_data[it->second].tid);
    return it->second;
}

int gfx_img_get_tex(int img) { return gfx_tex_get_id(_gfx_get_img(img)->tid); }

int gfx_img_get_width(int img) { return trunc_int(_gfx_get_img(img)->shape.w); }
int gfx_img_get_height(int img) { return trunc_int(_gfx_get_img(img)->shape.h); }

float gfx_img_get_ratio(int img) {
    return mymax(1, (float)gfx_img_get_width(img)) / mymax(1, (float)gfx_img_get_height(img));
}

// ------ Hot reload ------

void gfx_reload_auto() {
    static time_t last = 0;
    time_t now = gfx_now();
    if (now == last) return;
    last = now;
    for (int id = 1; id < (int)_gfx->tex_data.size(); id++) {
        const GfxTexture& t = _gfx->tex_data[id];
        if (t.tex_fname[0] && file_changed(t.tex_fname, t.tex_mtime)) gfx_tex_reload(id);
    }
    for (int id = 1; id < (int)_gfx->tex_data.size(); id++) {
        const GfxTexture& t = _gfx->tex_data[id];
        if (t.atlas_fname[0] && file_changed(t.atlas_fname, t.atlas_mtime)) gfx_atlas_reload(id, t.atlas_fname);
    }
}

// ------ Sprite atlases ------

void gfx_atlas_load(const char* name) {
    if (_gfx->tex_map.count(name)) return;
    int id = gfx_tex_load(name);
    std::string atlas = std::string(name) + ".json";
    char field[256];
    if (!set_field(field, atlas.c_str(), "atlas name")) return;
    std::fprintf(stderr, "gfx_atlas_load: %s\n", field);
    const char* found = _gfx_find(field);
    if (!id || !found) return;
    GfxTexture& t = _gfx->tex_data[id];
    set_field(t.atlas_fname, driver_data_fname(found), "atlas path");
    gfx_atlas_reload(id, t.atlas_fname);
}

GfxRect _gfx_json_rect(var& v) {
    if (v.__type__() != VAR_DICT) return GfxRect(); // what a missing member reads as
    return GfxRect((float)v["x"], (float)v["y"], (float)v["w"], (float)v["h"]);
}

void gfx_atlas_reload(int tid, const char* path) {
    tid = tex_id(tid);
    if (!tid) return;
    _gfx->tex_data[tid].atlas_mtime = driver_file_mtime(path);
    std::string text = driver_data_load(base_name(path));
    var top;
    // A file caught half written would register half its frames, some with
    // zero rectangles: keep the frames as they are until it reads whole.
    if (json_decode(top, text.data(), (int)text.size()) != 0 || top.__type__() != VAR_DICT ||
        !top.__has__(var("frames")) || top["frames"].__type__() != VAR_DICT) {
        std::fprintf(stderr, "gfx_atlas_reload: %s holds no \"frames\" object, frames kept\n", path);
        return;
    }
    var frames = top["frames"];
    var it(frames.__iter__());
    var key, value;
    while (it.__pair__(key, value)) {
        std::string k = key.__str__();
        char image[256];
        if (!set_field(image, k.c_str(), "frame key")) continue;
        char* dot = std::strrchr(image, '.');
        if (dot) *dot = '\0';
        if (value.__type__() != VAR_DICT) {
            std::fprintf(stderr, "gfx_atlas_reload: frame %s of %s is not an object, skipped\n", k.c_str(), path);
            continue;
        }
        GfxRect rect = _gfx_json_rect(value["frame"]);
        GfxRect s = _gfx_json_rect(value["spriteSourceSize"]);
        GfxRect source = _gfx_json_rect(value["sourceSize"]);
        gfx_img_add(image, tid, rect, GfxRect(s.x, s.y, source.w, source.h));
    }
}
