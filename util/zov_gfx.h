// zov_gfx: graphics state: rectangles, the fixed OpenGL state, the logical
// view and its mapping to window pixels, the focus rectangle, the widget
// translation and the clip stack.
//
// State: the singleton `_gfx` (`_GfxData`), created by the first `gfx_init`
// and deleted by `gfx_deinit`; it also holds the picture registries' maps.
// The view is a canvas of `size` that is shifted, rotated by `orient`,
// scaled by `scale` and centred in `view` (the whole window); `gfx_ortho`
// puts that transform into the projection matrix, so the modelview matrix is
// left free for `gfx_translate`.  Clipping is done in software on the
// rectangles handed to the drawing calls; no scissor or stencil is used.
//
// Main thread only, with the window's GL context current.  Every call other
// than `gfx_init`, `gfx_deinit` and `gfx_clear` uses `_gfx`, so it is made
// between `gfx_init` and `gfx_deinit`.
#pragma once

#include <cstdint>
#include <ctime>
#include <map>
#include <string>
#include <vector>

#include "zov_event.h"

// ====== Types ======

// A float rectangle; y grows downwards.  Never normalised: a width or height
// may be zero or negative.
struct GfxRect {
    float x, y, w, h;
    GfxRect() : x(0), y(0), w(0), h(0) {}
    GfxRect(float x, float y, float w, float h) : x(x), y(y), w(w), h(h) {}
};

// An image: a frame of a texture placed in its untrimmed source picture.
struct GfxImage {
    int n = 0;     // its own id
    int tid = 0;   // the texture holding it
    GfxRect rect;  // the frame inside the texture, in texels
    GfxRect shape; // x, y: frame position in the source; w, h: source size
};

// A picture file uploaded to OpenGL.
struct GfxTexture {
    int n = 0;
    int loaded = 0;              // 1 from a (re)load until freed
    int tex = 0;                 // OpenGL name; 0 when none
    uint32_t tex_memused = 0;    // memory estimate in bytes
    GfxRect rect;                // (0, 0, texture width, texture height)
    char name[64] = {};          // the name it was requested by
    char tex_fname[512] = {};    // resolved picture path
    time_t tex_mtime = 0;
    char atlas_fname[512] = {};  // resolved atlas path; empty when none
    time_t atlas_mtime = 0;
    time_t tex_atime = 0;        // last use
};

// Levels of the clip stack that are stored; deeper pushes are only counted.
enum { GFX_CLIP_MAX = 8 };

struct _GfxData {
    GfxRect _driver_size; // window size seen by the last view update (w, h)
    GfxRect view;         // window rectangle the canvas is centred in
    GfxRect size;         // canvas size (w, h)
    float orient = 0;     // canvas rotation, degrees
    float scale = 0;      // window pixels per view unit
    GfxRect focus;        // focused text field, view coordinates; 0 when none
    GfxRect shift;        // offset added to view coordinates (x, y)
    std::map<std::string, int> img_map;
    std::vector<GfxImage> img_data; // entry 0 is the reserved "none" image
    std::map<std::string, int> tex_map;
    std::vector<GfxTexture> tex_data; // entry 0 is the reserved "none" texture
    GfxRect translate;               // sum of gfx_translate offsets (x, y)
    GfxRect clip[GFX_CLIP_MAX];      // clip stack, bottom first, untranslated
    int clip_n = 0;                  // pushes not yet popped; may exceed 8
    float ortho_near = -1.0f;
    float ortho_far = 1.0f;
    uint32_t memused = 0;            // sum of the textures' estimates

    _GfxData();
};

// The graphics singleton: null outside gfx_init / gfx_deinit.  Main thread.
extern _GfxData* _gfx;

// ====== Lifecycle ======

// First call: creates `_gfx` and sets the fixed GL state (texturing, vertex
// and texture-coordinate arrays, premultiplied blending), canvas 256x256,
// orientation 0, scale 1.  Every call: brings the view up to the window size.
void gfx_init();
// Destroys `_gfx` (if any); deletes no GL texture.
void gfx_deinit();
// Clears colour to opaque black and depth to 1.
void gfx_clear();

// ====== View state ======

void gfx_set_ortho_near_far(float near_plane, float far_plane);
// The getters truncate toward zero.
void gfx_set_view(int x, int y, int w, int h);
void gfx_get_view(int* x, int* y, int* w, int* h);
void gfx_set_size(int w, int h);
void gfx_get_size(int* w, int* h);
void gfx_set_shift(int x, int y);
void gfx_get_shift(int* x, int* y);
void gfx_set_orient(float degrees);
float gfx_get_orient();
void gfx_set_scale(float scale);
float gfx_get_scale();
// Sets the view to the whole window when the window size changed.
void _gfx_fix_view();
// Updates the view and loads the whole view transform into the projection
// matrix; the modelview matrix becomes identity.
void gfx_ortho();

// ====== Mapping between window pixels and view coordinates ======
// With a scale of 0 or a non-finite scale nothing can be mapped: each of the
// four returns its argument unchanged.

// View point (x, y) to window pixels; w, h copied unchanged.
GfxRect gfx_pos_to_hwpos(GfxRect r);
// Window point to view coordinates (the inverse); w, h copied unchanged.
GfxRect gfx_hwpos_to_pos(GfxRect r);
// View rectangle to window pixels, both corners mapped; under a rotation the
// width or height may come back negative.
GfxRect gfx_rect_to_hwrect(GfxRect r);
// Window rectangle to view coordinates, both corners mapped.
GfxRect gfx_hwrect_to_rect(GfxRect r);
// For EVT_DOWN, EVT_MOTION, EVT_UP and EVT_WHEEL: keeps the raw x, y, dx, dy
// in _x, _y, _dx, _dy and maps them to view coordinates (position as a
// point, motion as a rectangle's extent).  Other events are left untouched.
void gfx_event_correct(Event* e);

// ====== Focus ======

// Stores the focused text field's rectangle (view coordinates).
void gfx_focus(GfxRect r);
// Forgets the focus rectangle.
void gfx_blur();
// The focus rectangle in window pixels.
GfxRect _gfx_get_focus_fixed();

// ====== Translation and clipping ======

// Moves the origin of the current matrix and records the offset, so clip
// rectangles pushed inside a translated widget are stored untranslated.
void gfx_translate(float dx, float dy);
// Pushes a clip rectangle given in current (translated) coordinates,
// intersected with the level below.  Past 8 levels nothing is stored and
// every clipped draw draws nothing until enough pops.
void gfx_clip(float x, float y, float w, float h);
// Pops one level; an empty stack stays empty.
void gfx_unclip();
// Trims dst (and tex, which may be null) to the top clip level.  True with an
// empty stack (nothing changed); false when nothing is left to draw.
bool _gfx_clip(GfxRect* dst, GfxRect* tex);
// Trims dst to bounds in place and tex by the same proportions, so a partly
// clipped picture keeps its mapping.  False when nothing of dst is left (dst
// and tex are then partly trimmed).  Allocates nothing.
bool _gfx_clip_test(const GfxRect& bounds, GfxRect* dst, GfxRect* tex);
