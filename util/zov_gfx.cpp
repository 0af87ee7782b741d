#include "zov_gfx.h"

#include <GL/gl.h>

#include <climits>
#include <cmath>

#include "zov_driver.h"

_GfxData* _gfx = nullptr;

_GfxData::_GfxData() {
    img_data.push_back(GfxImage());
    tex_data.push_back(GfxTexture());
}

// ====== Helpers ======
namespace {

// Truncation toward zero that saturates instead of overflowing: an int
// stored as float may round up to 2^31, one past INT_MAX.
int trunc_int(float v) {
    if (v != v) return 0;
    if (v >= 2147483648.0f) return INT_MAX;
    if (v < -2147483648.0f) return INT_MIN;
    return (int)v;
}

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
