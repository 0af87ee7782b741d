#include "zov_gfx_draw.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "zov_gfx.h"
#include "zov_util.h"

// ====== Helpers ======
namespace {

// A third of a side, and two thirds as the sum of two.
const float T3 = 0.33333334f;
const float THIRDS[3] = {0, T3, T3 + T3};

// The batch: quads queued between gfx_batch_begin and gfx_batch_end, all of
// one texture, each vertex with its colour so a change of tint does not
// end a run.  Indexed triangles: four vertices a quad, and the two
// triangles a strip of those four makes.
struct BatchVertex {
    float x, y, u, v;
    unsigned char rgba[4];
};

struct Batch {
    bool open = false;
    int name = 0;  // GL texture of the queued quads
    int quads = 0; // queued
    int unflushed = 0; // quads drawn since the last glFlush
    // Whether the queued quads are drawn with the magnification filter both
    // ways: none shrinks a texture that the module set up.
    bool unshrunk = false;
    // The draw colour, whose one record this is: gfx_set_color writes it
    // and GL's current colour together, and the quads take it from here.
    unsigned char colour[4] = {255, 255, 255, 255};
    BatchVertex vert[GFX_BATCH_QUADS * 4];
    unsigned short index[GFX_BATCH_QUADS * 6];

    Batch() {
        static_assert(GFX_BATCH_QUADS * 4 <= 65536, "indices are 16 bits");
        for (int q = 0; q < GFX_BATCH_QUADS; q++) {
            const unsigned short i = (unsigned short)(q * 4);
            const unsigned short tri[6] = {i, (unsigned short)(i + 1), (unsigned short)(i + 2),
                                           (unsigned short)(i + 2), (unsigned short)(i + 1), (unsigned short)(i + 3)};
            std::copy(tri, tri + 6, index + q * 6);
        }
    }
};

Batch batch;

// What the module gave a texture: its size in texels, its two filters, and
// the minification filter GL holds for it now (the magnification filter
// while it draws unshrunk runs).
struct TexFilters {
    int w = 0, h = 0;
    int min = 0, mag = 0, min_now = 0;
};

// By GL name; names past the end, or with no filters, were not set up here.
std::vector<TexFilters> filters;
// Names above this are not recorded (GL hands out small ones).
const int FILTERS_MAX = 65535;

TexFilters* filters_of(int name) {
    if (name <= 0 || (size_t)name >= filters.size() || filters[name].mag == 0) return nullptr;
    return &filters[name];
}

// Binds the texture (t: its record, if any) for a draw.  Its minification
// filter becomes the magnification filter when no quad is shrunk, else its
// own; GL is told only of a change.
void bind(int name, TexFilters* t, bool unshrunk) {
    glBindTexture(GL_TEXTURE_2D, name);
    if (!t) return;
    const int min = unshrunk ? t->mag : t->min;
    if (t->min_now == min) return;
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, min);
    t->min_now = min;
}

void colour_apply(const unsigned char* c) {
    std::memcpy(batch.colour, c, 4);
    glColor4ubv(c);
}

// How many texels more than window pixels a quad may show along a side
// and still count as unshrunk.  A side's length in floats, (y + 16) - y,
// comes out a hair short at many small coordinates (15.999999 at y = 0.3);
// that rounding, at most half a float step of the far edge times the view
// scale, stays below the margin for view coordinates under 262144 / scale
// (65536 at scale 4).  No real shrinking is as slight.
const float SHRINK_MARGIN = 1.0f / 64;

// Whether a quad w x h view units large that shows the texture span
// uw x vh (fractions of the texture) shows at most one texel a window
// pixel, across and down, in the view that gfx_ortho loaded (widget
// translations do not scale).
bool is_unshrunk(const TexFilters& t, float w, float h, float uw, float vh) {
    const float px = _gfx ? _gfx->ortho_px : 0;
    return std::fabs(uw) * (float)t.w <= px * std::fabs(w) + SHRINK_MARGIN &&
           std::fabs(vh) * (float)t.h <= px * std::fabs(h) + SHRINK_MARGIN;
}

// Queues one strip of four vertices (v, texture coordinates c) of texture
// `name`, drawing the queue first when it is full, holds another texture,
// or needs the other minification filter.
void batch_add(int name, const float* v, const float* c) {
    const bool unshrunk = gfx_tex_unshrunk(name, v[4] - v[0], v[3] - v[1], c[4] - c[0], c[3] - c[1]);
    if (batch.quads == GFX_BATCH_QUADS || (batch.quads && (batch.name != name || batch.unshrunk != unshrunk)))
        gfx_batch_flush();
    batch.name = name;
    batch.unshrunk = unshrunk;
    BatchVertex* q = batch.vert + batch.quads * 4;
    for (int i = 0; i < 4; i++) {
        q[i] = BatchVertex{v[i * 2], v[i * 2 + 1], c[i * 2], c[i * 2 + 1], {}};
        std::copy(batch.colour, batch.colour + 4, q[i].rgba);
    }
    batch.quads++;
}

// Draws the (already trimmed) destination with the texture rectangle as one
// strip: queued in an open batch, else at once as a run of one.  Name 0
// draws nothing: GL would draw a solid quad in the colour.
void strip(int name, const GfxRect& d, const GfxRect& t) {
    if (name == 0) return;
    const float v[8] = {d.x, d.y, d.x, d.y + d.h, d.x + d.w, d.y, d.x + d.w, d.y + d.h};
    const float c[8] = {t.x, t.y, t.x, t.y + t.h, t.x + t.w, t.y, t.x + t.w, t.y + t.h};
    batch_add(name, v, c);
    if (!batch.open) gfx_batch_flush();
}

void clipped_strip(int name, GfxRect d, GfxRect t) {
    if (_gfx_clip(&d, &t)) strip(name, d, t);
}

// Four points of three coordinates with their texture coordinates, unclipped.
void free_strip(int name, const float* v, const float* c) {
    if (name == 0) return;
    gfx_batch_flush();
    gfx_tex_bind(name, false);
    glVertexPointer(3, GL_FLOAT, 0, v);
    glTexCoordPointer(2, GL_FLOAT, 0, c);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
}

// What drawing an image needs: R its frame, P its place in the source
// picture and the source's size, T its texture's size, and the GL name.
struct ImgParts {
    int name;
    GfxRect R, P, T;
};

// False when the image can't be drawn: not a registry id, no GL texture, or
// a zero size that the placement would divide by.  Marks use of the
// texture (reloading it when the memory cap freed it), so an image drawn
// every frame by id is never evicted while on screen.
bool img_parts(int id, ImgParts* p) {
    if (id <= 0 || (size_t)id >= _gfx->img_data.size()) return false;
    p->name = gfx_img_get_tex(id);
    const GfxImage& im = _gfx->img_data[id];
    p->R = im.rect;
    p->P = im.shape;
    p->T = _gfx->tex_data[im.tid].rect;
    return p->name != 0 && p->P.w != 0 && p->P.h != 0 && p->T.w != 0 && p->T.h != 0;
}

// Where the frame lands when the whole source picture covers (x, y, w, h).
GfxRect img_dest(const ImgParts& p, float x, float y, float w, float h) {
    return GfxRect(x + p.P.x * w / p.P.w, y + p.P.y * h / p.P.h, p.R.w * w / p.P.w, p.R.h * h / p.P.h);
}

// The nine pieces of a box with corners cx x cy, row by row from the top:
// piece(col, row, x, y, w, h) in integer destination coordinates.
template <class Piece>
void nine_slice(int x, int y, int w, int h, int cx, int cy, Piece piece) {
    const int xs[3] = {x, x + cx, x + w - cx}, ws[3] = {cx, w - 2 * cx, cx};
    const int ys[3] = {y, y + cy, y + h - cy}, hs[3] = {cy, h - 2 * cy, cy};
    for (int row = 0; row < 3; row++)
        for (int col = 0; col < 3; col++) piece(col, row, xs[col], ys[row], ws[col], hs[row]);
}

} // namespace

// ====== Texture names ======

void gfx_tex_blit(int name, int x, int y, int w, int h) {
    clipped_strip(name, GfxRect(x, y, w, h), GfxRect(0, 0, 1, 1));
}

void gfx_tex_blit2(int name, float u, float v, float uw, float vh, float x, float y, float w, float h) {
    clipped_strip(name, GfxRect(x, y, w, h), GfxRect(u, v, uw, vh));
}

void gfx_tex_quad(int name, float x1, float y1, float z1, float x2, float y2, float z2, float x3, float y3,
                  float z3, float x4, float y4, float z4) {
    const float v[12] = {x1, y1, z1, x2, y2, z2, x3, y3, z3, x4, y4, z4};
    const float c[8] = {0, 1, 1, 1, 0, 0, 1, 0};
    free_strip(name, v, c);
}

// The thirds are those of the whole texture, padding included, so a box
// picture that needed padding is not cut at its own thirds: its right and
// bottom pieces reach into the padding, which repeats the picture's last
// column and row.  They show those edge colours stretched where they showed
// a transparent band while the padding was transparent black.  A picture of
// 64, 128, ... texels a side is cut at its own thirds.
void gfx_tex_box(int name, int x, int y, int w, int h, int s) {
    nine_slice(x, y, w, h, s, s, [&](int col, int row, int px, int py, int pw, int ph) {
        gfx_tex_blit2(name, THIRDS[col], THIRDS[row], T3, T3, px, py, pw, ph);
    });
}

void gfx_tex_box_slow(int name, int x, int y, int w, int h, int s) {
    if (s < 1) return;
    // Positions in 64 bits: exact, and no overflow near the int range's end.
    const int64_t S = s, X = x, Y = y, R = X + w, B = Y + h;
    const float s3 = 3.0f * s;
    for (int64_t py = Y; py < B; py += S) {
        int64_t tv = py == Y ? 0 : S, ph = S, dy = py;
        if (py >= B - 2 * S && py < B - S) ph = (B - S) - py;
        if (py >= B - S) {
            tv += S;
            dy = B - S;
        }
        for (int64_t px = X; px < R; px += S) {
            int64_t tu = px == X ? 0 : S, pw = S, dx = px;
            if (px >= R - 2 * S && px < R - S) pw = (R - S) - px;
            if (px >= R - S) {
                tu += S;
                dx = R - S;
            }
            gfx_tex_blit2(name, tu / s3, tv / s3, pw / s3, ph / s3, dx, dy, pw, ph);
        }
    }
}

// ====== Images ======

void gfx_img_blit(int id, float x, float y, float w, float h) {
    ImgParts p;
    if (!img_parts(id, &p)) return;
    if (w == 0) w = p.P.w;
    if (h == 0) h = p.P.h;
    clipped_strip(p.name, img_dest(p, x, y, w, h),
                  GfxRect(p.R.x / p.T.w, p.R.y / p.T.h, p.R.w / p.T.w, p.R.h / p.T.h));
}

void gfx_img_blit2(int id, float sx, float sy, float sw, float sh, float x, float y, float w, float h) {
    if (w == 0 || h == 0) return;
    ImgParts p;
    if (!img_parts(id, &p)) return;
    const GfxRect& R = p.R;
    const GfxRect& T = p.T;
    clipped_strip(p.name, img_dest(p, x, y, w, h),
                  GfxRect(R.w * sx / T.w + R.x / T.w, R.h * sy / T.h + R.y / T.h, R.w * sw / T.w, R.h * sh / T.h));
}

void gfx_img_quad(int id, float x1, float y1, float z1, float x2, float y2, float z2, float x3, float y3,
                  float z3, float x4, float y4, float z4) {
    ImgParts p;
    if (!img_parts(id, &p)) return;
    const float ul = p.R.x / p.T.w, vt = p.R.y / p.T.h;
    const float ur = (p.R.x + p.R.w) / p.T.w, vb = (p.R.y + p.R.h) / p.T.h;
    const float v[12] = {x1, y1, z1, x3, y3, z3, x2, y2, z2, x4, y4, z4};
    const float c[8] = {ul, vb, ul, vt, ur, vb, ur, vt};
    free_strip(p.name, v, c);
}

void gfx_img_box(int id, int x, int y, int w, int h, int s) {
    const int cx = (int)mymin((float)s, (float)(w / 2));
    const int cy = (int)mymin((float)s, (float)(h / 2));
    nine_slice(x, y, w, h, cx, cy, [&](int col, int row, int px, int py, int pw, int ph) {
        gfx_img_blit2(id, THIRDS[col], THIRDS[row], T3, T3, px, py, pw, ph);
    });
}

void gfx_img_tile(int id, int x, int y, int w, int h, int s) {
    if (s < 1) return;
    const int64_t R = (int64_t)x + w, B = (int64_t)y + h;
    gfx_clip(x, y, w, h); // cuts the cells on the right and bottom edges
    for (int64_t row = y; row < B; row += s)
        for (int64_t col = x; col < R; col += s) gfx_img_blit(id, col, row, s, s);
    gfx_unclip();
}

// ====== Fills ======

void gfx_fill(unsigned int colour, int x, int y, int w, int h) {
    GfxRect d(x, y, w, h);
    if (!_gfx_clip(&d, nullptr)) return;
    const float v[8] = {d.x, d.y, d.x + d.w, d.y, d.x, d.y + d.h, d.x + d.w, d.y + d.h};
    gfx_batch_flush();
    glColor4ub((colour >> 16) & 255, (colour >> 8) & 255, colour & 255, 255);
    glDisable(GL_TEXTURE_2D);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glVertexPointer(2, GL_FLOAT, 0, v);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    glEnable(GL_TEXTURE_2D);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    const unsigned char white[4] = {255, 255, 255, 255};
    colour_apply(white);
}

// ====== Batching ======

void gfx_batch_begin() {
    gfx_batch_flush();
    batch.open = true;
}

void gfx_batch_flush() {
    if (batch.quads == 0) return;
    const BatchVertex* v = batch.vert;
    // A run with no quad shrunk is drawn with the magnification filter both
    // ways.  Under "nearest" that keeps the texels whole: at exactly one
    // texel a pixel the rasterizer may take the minification filter, whose
    // mipmaps would blend neighbours (whole copies of a sprite go soft as it
    // moves).  Under "linear" it gives the same pixels as the mipmapped
    // filter, for which a software rasterizer works out the level of detail
    // of every pixel block: about a fifth less work on sprites at their size.
    bind(batch.name, filters_of(batch.name), batch.unshrunk);
    glVertexPointer(2, GL_FLOAT, sizeof *v, &v->x);
    glTexCoordPointer(2, GL_FLOAT, sizeof *v, &v->u);
    if (batch.quads == 1) {
        // Cheaper for GL than an indexed draw with colours: textures that
        // alternate from quad to quad make many runs of one.
        glColor4ubv(v->rgba);
        glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    } else {
        // Each quad has one colour at all four corners, so flat shading
        // gives the same pixels and spares the rasterizer interpolating it.
        glShadeModel(GL_FLAT);
        glEnableClientState(GL_COLOR_ARRAY);
        glColorPointer(4, GL_UNSIGNED_BYTE, sizeof *v, v->rgba);
        glDrawRangeElements(GL_TRIANGLES, 0, batch.quads * 4 - 1, batch.quads * 6, GL_UNSIGNED_SHORT, batch.index);
        glDisableClientState(GL_COLOR_ARRAY);
        glShadeModel(GL_SMOOTH);
    }
    // After a draw with a colour array GL's current colour is undefined.
    glColor4ubv(batch.colour);
    // A software rasterizer (llvmpipe) starts on what it was given only at a
    // flush: flushing every few thousand quads lets it draw them while this
    // thread queues the next ones, instead of all at the end of the frame.
    // On a GPU a flush that often costs next to nothing.
    batch.unflushed += batch.quads;
    if (batch.unflushed >= GFX_FLUSH_QUADS) {
        glFlush();
        batch.unflushed = 0;
    }
    batch.quads = 0;
}

void gfx_batch_end() {
    gfx_batch_flush();
    batch.open = false;
}

void gfx_set_color(unsigned char r, unsigned char g, unsigned char b, unsigned char a) {
    const unsigned char c[4] = {r, g, b, a};
    // GL holds the record's colour already: most draws repeat the last tint.
    if (std::memcmp(c, batch.colour, 4) != 0) colour_apply(c);
}

// ====== Texture filters ======

void gfx_tex_filter(int name, int tw, int th, int min_filter, int mag_filter) {
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, mag_filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, min_filter);
    if (name <= 0 || name > FILTERS_MAX) return;
    if ((size_t)name >= filters.size()) filters.resize((size_t)name + 1);
    filters[name] = TexFilters{tw, th, min_filter, mag_filter, min_filter};
}

bool gfx_tex_unshrunk(int name, float w, float h, float uw, float vh) {
    const TexFilters* t = filters_of(name);
    return t && is_unshrunk(*t, w, h, uw, vh);
}

void gfx_tex_bind(int name, bool unshrunk) { bind(name, filters_of(name), unshrunk); }

void gfx_tex_delete(int name) {
    GLuint n = (GLuint)name;
    glDeleteTextures(1, &n);
    if (filters_of(name)) filters[name] = TexFilters();
}

void _gfx_draw_reset() {
    filters.clear();
    const unsigned char white[4] = {255, 255, 255, 255};
    colour_apply(white);
}
