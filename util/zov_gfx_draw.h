// zov_gfx_draw: the drawing primitives: textured quads (blits), free quads,
// opaque fills, nine-slice boxes and tiles, in view coordinates.
//
// It reads the image and texture registry of `_gfx` and trims every draw
// except the free quads to the top clip level (`_gfx_clip`), drawing nothing
// when nothing is left.  Its own state (static, one each): the batch below,
// the draw colour and the filters of the textures it set up.  It keeps what
// it sets in GL and never asks GL for it: a query can stall a GPU's
// pipeline, and two records of one value drift apart.  Outside a batch
// each quad is drawn at once as a run of one; nothing is allocated.  Main
// thread only, with the GL context current, between gfx_init and
// gfx_deinit.
//
// Colour: textured draws use the draw colour, which callers set as a
// premultiplied tint with gfx_set_color (a colour set in GL directly is not
// seen); gfx_fill draws opaque and leaves the colour opaque white.  The
// `tex` calls take an OpenGL texture name, the `img` calls an image id of
// the registry (its frame, placed inside its untrimmed source picture).
// Texture name 0, image 0, and an image whose picture or texture has no
// size draw nothing.
#pragma once

// ====== Texture names ======

// The whole texture into (x, y, w, h).
void gfx_tex_blit(int name, int x, int y, int w, int h);
// The texture rectangle (u, v, uw, vh), in fractions of the texture, into
// (x, y, w, h).
void gfx_tex_blit2(int name, float u, float v, float uw, float vh, float x, float y, float w, float h);
// The whole texture on the free quad P1..P4 (x, y, z each), not clipped:
// P1 takes the picture's lower-left corner, P2 lower-right, P3 upper-left,
// P4 upper-right.
void gfx_tex_quad(int name, float x1, float y1, float z1, float x2, float y2, float z2, float x3, float y3,
                  float z3, float x4, float y4, float z4);
// Nine-slice box from the texture's thirds, corners s x s.
void gfx_tex_box(int name, int x, int y, int w, int h, int s);
// Nine-slice box from a texture whose thirds are s texels wide, its edges
// and centre tiled in steps of s instead of stretched.  A step below 1
// draws nothing.
void gfx_tex_box_slow(int name, int x, int y, int w, int h, int s);

// ====== Images ======

// The image with its source picture scaled to w x h at (x, y); a w or h of
// 0 means the natural width or height.
void gfx_img_blit(int id, float x, float y, float w, float h);
// The part (sx, sy, sw, sh) of the frame, in fractions of the frame, into
// (x, y, w, h); nothing when w or h is 0.
void gfx_img_blit2(int id, float sx, float sy, float sw, float sh, float x, float y, float w, float h);
// The image's frame on the free quad P1..P4 (corners as gfx_tex_quad), not
// clipped.
void gfx_img_quad(int id, float x1, float y1, float z1, float x2, float y2, float z2, float x3, float y3,
                  float z3, float x4, float y4, float z4);
// Nine-slice box from the frame's thirds, corners min(s, w/2) x min(s, h/2).
void gfx_img_box(int id, int x, int y, int w, int h, int s);
// The image repeated in s x s cells over (x, y, w, h), the edge cells cut.
// A step below 1 draws nothing.
void gfx_img_tile(int id, int x, int y, int w, int h, int s);

// ====== Fills ======

// An opaque rectangle of colour 0xRRGGBB (the top byte is ignored); then the
// colour is opaque white.  Wholly clipped away, it changes nothing.
void gfx_fill(unsigned int colour, int x, int y, int w, int h);

// ====== Batching ======
// Between gfx_batch_begin and gfx_batch_end the clipped textured quads (the
// blits, and so the boxes and tiles) are queued with their colour instead
// of drawn, and each run of quads from one texture goes to OpenGL as one
// draw call.  It changes speed only: the pixels are those of drawing every
// quad at once, in the same order.  Whatever else draws or changes where
// queued quads would land first draws what is queued: fills, free quads,
// text, gfx_translate, gfx_ortho, gfx_clear.  Quads are trimmed when
// queued, so clip changes need nothing.  Outside a batch every primitive
// draws at once, as without batching.
//
// Whoever opens a batch, while it is open, calls gfx_batch_flush (or closes
// the batch) before drawing or changing GL state by other means than this
// module's calls, and before swapping the buffers.

// Quads queued at most; one more draws the queue first.
enum { GFX_BATCH_QUADS = 4096 };
// Quads drawn between two glFlush calls, at least.
enum { GFX_FLUSH_QUADS = 8192 };

// Opens the batch.
void gfx_batch_begin();
// Draws what is queued; the batch stays open.  Leaves GL's current colour
// as the draw colour.
void gfx_batch_flush();
// Draws what is queued and closes the batch.
void gfx_batch_end();
// Sets the draw colour (premultiplied bytes): the colour of the quads drawn
// or queued after it, and GL's current colour for draws of the caller's own.
void gfx_set_color(unsigned char r, unsigned char g, unsigned char b, unsigned char a);

// ====== Texture filters ======
// The module records the size and the two filters of each texture that it
// sets up, so drawing never asks GL for them.  A run of quads of which none
// is shrunk (at most one texel a window pixel, across and down, in the view
// that gfx_ortho loaded, give or take a rounding margin far below a pixel)
// is drawn with the magnification filter both ways: so a "nearest" picture
// or text at its own size or larger shows whole texels wherever it lands.
// Shrunk runs keep the minification filter.  Textures that were not set up
// here keep whatever filters they have.

// Binds the texture and gives it the two filters, recorded with its size
// (tw x th texels).
void gfx_tex_filter(int name, int tw, int th, int min_filter, int mag_filter);
// Whether a quad of texture `name`, w x h view units large and showing the
// span uw x vh of it (fractions of the texture), is unshrunk as above;
// false for a texture not set up here.
bool gfx_tex_unshrunk(int name, float w, float h, float uw, float vh);
// Binds the texture for a run of quads of the caller's own: with the
// magnification filter both ways when `unshrunk` (every quad of the run
// passed gfx_tex_unshrunk), else with its own filters.
void gfx_tex_bind(int name, bool unshrunk);
// Deletes the texture and the record of it.
void gfx_tex_delete(int name);
// For gfx_init, with a new context: no texture recorded, the colour opaque
// white.
void _gfx_draw_reset();
