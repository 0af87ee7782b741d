// zov_gfx: graphics state: rectangles, the fixed OpenGL state, the logical
// view and its mapping to window pixels, the focus rectangle, the widget
// translation, the clip stack, and the registry of textures and images.
//
// State: the singleton `_gfx` (`_GfxData`), created by the first `gfx_init`
// and deleted by `gfx_deinit`; it also holds the picture registries.
// The view is a canvas of `size` that is shifted, rotated by `orient`,
// scaled by `scale` and centred in `view` (the whole window); `gfx_ortho`
// puts that transform into the projection matrix, so the modelview matrix is
// left free for `gfx_translate`.  Clipping is done in software on the
// rectangles handed to the drawing calls; no scissor or stencil is used.
//
// The registry gives every picture a stable id: a texture is one picture
// file uploaded through the texture loader (zov_driver-tex_load), an image
// is a frame of a texture placed in its untrimmed source picture (sprite
// atlases).  Ids index `tex_data` and `img_data`; entry 0 of each is the
// reserved "none", entries are never removed, so an id keeps its meaning
// across reloads and evictions.  Names are cached on first request,
// failures included.  Texture memory is estimated, and past the cap the
// textures unused for 300 s are freed; a freed texture is loaded again under
// its id when next used.  Changed files are reloaded in place.
//
// Main thread only, with the window's GL context current.  Every call other
// than `gfx_init`, `gfx_deinit` and `gfx_clear` uses `_gfx`, so it is made
// between `gfx_init` and `gfx_deinit`.  The registry also needs the driver
// (`driver_init`) for its file lookups.
#pragma once

#include <cstdint>
#include <ctime>
#include <map>
#include <string>
#include <vector>

#include "zov_event.h"
#include "zov_var.h"

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
    uint64_t tex_memused = 0;    // memory estimate in bytes
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
    // Window pixels per view unit of the transform gfx_ortho loaded last;
    // 0 before the first and for a rotated view.
    float ortho_px = 0;
    uint64_t memused = 0;            // sum of the textures' estimates

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

// ====== Picture registry ======
// Ids that come from outside (scripts, styles) may be anything: an id out of
// range is taken as 0, which names nothing and draws nothing.  A GL name of
// 0 (none, freed, or a picture that did not decode) must draw nothing: bound
// as a texture it would draw a solid quad.

// The texture id of a picture name, loading the file on the first request
// (scale and idiom variants first, see _gfx_find); marks use.  0 when not
// found, cached: the name is not looked up again.  A file that is found but
// does not decode still gets an id, with GL name 0 and size 0.  A name of 64
// bytes or more is refused (cached as 0, one line on standard error).
int gfx_tex_load(const char* name);
// The image id of a name: an atlas frame, or the whole picture of that name
// (loaded as by gfx_tex_load).  Marks use of its texture; 0 when not found.
int gfx_img_load(const char* name);
// Adds the image `name` or updates the one of that name in place (its id is
// kept); `tid` out of range is taken as 0.  Returns the image id.
int gfx_img_add(const char* name, int tid, GfxRect rect, GfxRect shape);
// The GL name of the image's texture, reloaded if it was freed; marks use.
// Drawing by image id takes its GL name here, so what is on screen counts
// as used and is never evicted.
int gfx_img_get_tex(int img);
// The GL name of the texture, reloaded if it was freed; marks use.
int gfx_tex_get_id(int tid);
// The image's natural (untrimmed) size, truncated toward zero.
int gfx_img_get_width(int img);
int gfx_img_get_height(int img);
// max(1, width) / max(1, height).
float gfx_img_get_ratio(int img);
// (Re)loads the texture's file in place, keeping its id and its image's id;
// the size may change.
void gfx_tex_reload(int tid);
// Hot reload, at most once per second of the clock: reloads pictures and
// atlases whose files have changed since their load and are at least 2 s
// old (an editor may still be writing a newer one).
void gfx_reload_auto();
// Loads a picture and its sprite atlas "<name>.json" (JSON-hash layout,
// looked up with the same variants), unless the name is loaded already.
void gfx_atlas_load(const char* name);
// (Re)reads the atlas and registers its frames as images of texture `tid`
// (the frame key cut before its last "."); frames keep their ids, and a
// frame that is gone keeps its last rectangles.  A file that is not valid
// JSON changes nothing.
void gfx_atlas_reload(int tid, const char* path);

// The found file name (no directory) for a picture name, or null: the
// directory part is dropped; the stem (before the first ".") gets the scale
// suffix "@<n>x" and the idiom suffix "~<idiom>", tried as stem+S+I+ext,
// stem+S+ext, stem+I+ext, stem+ext, each by _gfx_find_ext.  Writes
// "_gfx_find(name):stem:ext" on standard output.
char* _gfx_find(const char* name);
// The candidate as it is (only when it holds a "."), then with ".tga",
// ".png", ".jpg", ".zov" appended: the first that exists as a data file, or
// null.  The result lives in a static buffer that the next lookup overwrites.
char* _gfx_find_ext(const char* c);
// Marks use of a texture and reloads it if it was freed.
void _gfx_tex_check(int tid);
// Frees the GL texture and its memory estimate; everything else stays.
void _gfx_tex_gl_free(int tid);
// While the estimate is over the cap, frees the loaded texture unused for
// the longest time, if that is over 299 s (on equal ages the higher id).
void _gfx_tex_recycle();
// The cap: 32 MiB where textures are halved, else 80 MiB.
uint64_t ZOV_GFX_MEMMAX();
// "x", "y", "w", "h" of a dict as numbers; zero for what is missing.
GfxRect _gfx_json_rect(var& v);
// The entries themselves; an id out of range gives entry 0.
GfxImage* _gfx_get_img(int img);
GfxTexture* _gfx_get_tex(int tid);
// The clock (seconds) for use times, eviction and hot reload; null restores
// time().  Lets tests age textures and files without waiting.
void _gfx_set_clock(time_t (*now)());

// The drawing primitives, so callers include one header.
#include "zov_gfx_draw.h"
