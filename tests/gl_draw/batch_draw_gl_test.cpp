// Batched drawing against drawing at once: the same calls, once with every
// quad drawn at once and once inside a batch, must leave the same pixels
// (alpha included), whatever comes between the quads; a batch must leave
// the GL state as drawing at once does; and drawing never asks GL for state.
#include <dlfcn.h>

#include <vector>

#include "draw_gl.h"

// GL state queries, counted for the whole binary: the module keeps what it
// sets, and a query can stall a GPU's pipeline.
static long g_gl_queries = 0;

template <class Fn> static Fn gl_real(const char* name) {
    g_gl_queries++;
    return (Fn)dlsym(RTLD_NEXT, name);
}

extern "C" void glGetFloatv(GLenum p, GLfloat* v) { gl_real<void (*)(GLenum, GLfloat*)>("glGetFloatv")(p, v); }
extern "C" void glGetIntegerv(GLenum p, GLint* v) { gl_real<void (*)(GLenum, GLint*)>("glGetIntegerv")(p, v); }
extern "C" void glGetTexParameteriv(GLenum t, GLenum p, GLint* v) {
    gl_real<void (*)(GLenum, GLenum, GLint*)>("glGetTexParameteriv")(t, p, v);
}
extern "C" void glGetTexLevelParameteriv(GLenum t, GLint l, GLenum p, GLint* v) {
    gl_real<void (*)(GLenum, GLint, GLenum, GLint*)>("glGetTexLevelParameteriv")(t, l, p, v);
}

namespace {

const unsigned char START[4] = {200, 120, 40, 220}; // the colour before each run

class BatchDrawGl : public DrawGl {
protected:
    int a = 0, b = 0, nine = 0; // a and b are pictures with alpha, nine a 3 x 3 block picture

    void SetUp() override {
        DrawGl::SetUp();
        if (HasFatalFailure()) return;
        // The loader's own filters (linear, mipmaps): interpolation and
        // minification must come out the same too.
        a = loaded("a", pattern(32, 32));
        Pixels pb = pattern(20, 12);
        for (size_t i = 0; i < pb.px.size(); i += 4) std::swap(pb.px[i], pb.px[i + 2]);
        b = loaded("b", pb);
        nine = loaded("nine", pattern(30, 30));
        ASSERT_TRUE(a && b && nine);
    }

    // A font whose one glyph is the whole page, the picture "a".
    int glyph_font() {
        EXPECT_TRUE(write_file(dir / "a.fnt", "common lineHeight=24 base=18 scaleW=32 scaleH=32\n"
                                              "char id=65 x=0 y=0 width=32 height=32 xoffset=0 yoffset=0 xadvance=34\n"));
        Capture err(stderr), out(stdout);
        return font_load("a", 0);
    }

    Pixels run(const std::function<void()>& scene, bool batched) {
        gfx_clear();
        gfx_set_color(START[0], START[1], START[2], START[3]);
        if (batched) gfx_batch_begin();
        scene();
        if (batched) gfx_batch_end();
        return grab();
    }

    // Draws the scene at once, then batched, and compares every byte.
    void expect_same(const std::function<void()>& scene, const char* what) {
        Pixels once = run(scene, false);
        Pixels batched = run(scene, true);
        int lit = 0, bad = 0;
        for (int y = 0; y < WIN_H; y++)
            for (int x = 0; x < WIN_W; x++) {
                const unsigned char *p = once.at(x, y), *q = batched.at(x, y);
                lit += p[0] || p[1] || p[2];
                if (std::equal(p, p + 4, q)) continue;
                if (++bad <= 5)
                    ADD_FAILURE() << what << ": pixel (" << x << ", " << y << ") batched is (" << (int)q[0] << ", "
                                  << (int)q[1] << ", " << (int)q[2] << ", " << (int)q[3] << "), at once ("
                                  << (int)p[0] << ", " << (int)p[1] << ", " << (int)p[2] << ", " << (int)p[3] << ")";
            }
        if (bad > 5) ADD_FAILURE() << what << ": " << bad << " pixels differ in all";
        EXPECT_GT(lit, 1000) << what << ": the scene draws something";
        EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    }
};

// A tint that changes with i, alpha included.
void tint(int i) {
    const unsigned char alpha = (unsigned char)(90 + i * 37 % 166);
    gfx_set_color((unsigned char)(i * 53 % (alpha + 1)), (unsigned char)(i * 29 % (alpha + 1)), alpha, alpha);
}

} // namespace

TEST_F(BatchDrawGl, OverlappingQuadsKeepTheirOrderAcrossTexturesAndTints) {
    expect_same(
        [&] {
            // Runs of 1, 2, 3 ... quads of one texture, then the other;
            // fractional places and sizes, magnified and minified.
            int i = 0;
            for (int run = 1; run <= 12; run++)
                for (int k = 0; k < run; k++, i++) {
                    tint(i);
                    float x = 20.5f + (float)(i * 37 % 500), y = 10.25f + (float)(i * 23 % 400);
                    float s = i % 3 == 0 ? 0.4f : i % 3 == 1 ? 1.0f : 2.7f;
                    gfx_img_blit(run % 2 ? a : b, x, y, 32 * s, 24 * s);
                }
            // Mirrored, and part of a frame.
            gfx_img_blit(a, 300, 300, -40, 40);
            gfx_img_blit2(b, 0.25f, 0.5f, 0.5f, 0.5f, 310, 290, 60, 30);
        },
        "overlapping runs");
}

TEST_F(BatchDrawGl, FillsAndFreeQuadsBetweenQuadsDrawInTheirPlace) {
    expect_same(
        [&] {
            tint(3);
            gfx_img_blit(a, 100, 100, 64, 64);
            gfx_fill(0x3060a0, 120, 120, 40, 40);
            // No colour set since the fill: opaque white.
            gfx_img_blit(a, 140, 140, 64, 64);
            tint(5);
            gfx_img_blit(b, 90, 150, 80, 40);
            gfx_img_quad(b, 100, 200, 0, 200, 200, 0, 100, 100, 0, 200, 100, 0);
            gfx_img_blit(b, 150, 180, 50, 50);
            gfx_tex_quad(gfx_img_get_tex(a), 170, 260, 0, 260, 250, 0, 160, 160, 0, 250, 170, 0);
            gfx_img_blit(a, 200, 200, 40, 40);
            // A fill wholly clipped away changes nothing, the tint stays.
            gfx_clip(0, 0, 10, 10);
            gfx_fill(0xff0000, 300, 300, 10, 10);
            gfx_unclip();
            gfx_img_blit(a, 230, 100, 40, 40);
        },
        "fills and free quads");
}

TEST_F(BatchDrawGl, ClipChangesBetweenQuads) {
    expect_same(
        [&] {
            gfx_clip(50, 40, 300, 200);
            gfx_img_blit(a, 30, 30, 100, 100);
            gfx_clip(100.5f, 60, 50, 300);
            tint(7);
            gfx_img_blit(a, 80, 50, 100, 100);
            gfx_img_blit(b, 90, 70, 100, 100);
            gfx_unclip();
            gfx_img_blit(b, 200, 200, 100, 100);
            gfx_unclip();
            // Tiles and boxes push and pop levels of their own.
            gfx_img_tile(a, 300, 20, 150, 100, 32);
            gfx_img_box(nine, 400, 150, 120, 90, 10);
            gfx_tex_box_slow(gfx_img_get_tex(nine), 20, 300, 170, 100, 8);
            gfx_tex_box(gfx_img_get_tex(b), 200, 330, 90, 60, 12);
            gfx_img_blit(b, 380, 280, 0, 0);
        },
        "clip levels, tiles and boxes");
}

TEST_F(BatchDrawGl, TranslationViewAndTextBetweenQuadsLeaveEarlierQuadsInPlace) {
    const int font = glyph_font();
    ASSERT_NE(font, 0);
    expect_same(
        [&] {
            gfx_img_blit(a, 10, 10, 64, 64);
            gfx_translate(30.5f, 12);
            gfx_img_blit(a, 10, 10, 64, 64);
            gfx_clip(0, 0, 60, 60); // stored untranslated
            gfx_img_blit(b, 20, 20, 64, 64);
            gfx_translate(-30.5f, -12);
            gfx_img_blit(b, 30, 30, 64, 64);
            gfx_unclip();
            // Text goes over the quad queued before it, under the one after.
            gfx_img_blit(b, 200, 30, 64, 64);
            font_draw(font, "AA", 210, 40, 0, -1);
            gfx_img_blit(a, 240, 50, 64, 64);
            // A new view: the quad queued before stays in the old one.
            gfx_img_blit(b, 300, 200, 64, 64);
            gfx_set_scale(1.5f);
            gfx_ortho();
            gfx_img_blit(a, 300, 200, 64, 64);
            gfx_set_scale(1);
            gfx_ortho();
        },
        "translations, text and views");
}

TEST_F(BatchDrawGl, MipmappedPicturesAtTheirSizeOrLargerUnderEveryViewScale) {
    // b magnifies with nearest texels, a with linear ones; both minify
    // through mipmaps.
    gfx_tex_filter(gfx_img_get_tex(b), 64, 64, GL_LINEAR_MIPMAP_LINEAR, GL_NEAREST);
    for (float scale : {1.0f, 0.5f, 1.75f}) {
        gfx_set_scale(scale);
        gfx_ortho();
        const std::string what = "view scale " + std::to_string(scale);
        expect_same(
            [&] {
                // Runs at the natural size, at fractional places, and larger.
                for (int i = 0; i < 60; i++) {
                    const float k = i % 3 == 0 ? 1.0f : i % 3 == 1 ? 1.5f : 3.0f;
                    gfx_img_blit(a, 3.25f + (float)(i * 41 % 560), 7.5f + (float)(i * 29 % 400), 32 * k, 32 * k);
                }
                for (int i = 0; i < 30; i++) gfx_img_blit(b, (float)(i * 37 % 600), 0.5f + (float)(i * 17 % 440), 0, 0);
                // One quad a little smaller than its picture in a run.
                gfx_img_blit(a, 100, 100, 32, 32);
                gfx_img_blit(a, 140, 100, 31, 32);
                gfx_img_blit(a, 180, 100, 32, 32);
            },
            what.c_str());
    }
    gfx_set_scale(1);
    gfx_ortho();
}

TEST_F(BatchDrawGl, MoreQuadsThanTheQueueHolds) {
    const int n = 2 * GFX_BATCH_QUADS + 7;
    expect_same(
        [&] {
            for (int i = 0; i < n; i++) {
                if (i % 97 == 0) tint(i);
                // One texture switch exactly where the queue is full.
                int id = i == GFX_BATCH_QUADS ? b : a;
                gfx_img_blit(id, (float)(i * 7 % 600), (float)(i * 13 % 440), 24, 24);
            }
        },
        "a long run");
}

TEST_F(BatchDrawGl, BatchLeavesTheGlStateOfDrawingAtOnce) {
    gfx_set_color(START[0], START[1], START[2], START[3]);
    gfx_batch_begin();
    gfx_img_blit(a, 10, 10, 0, 0);
    gfx_set_color(90, 20, 30, 40);
    gfx_img_blit(a, 20, 10, 0, 0);
    gfx_set_color(10, 20, 30, 40); // after the last queued quad
    gfx_batch_flush();
    GLubyte c[4];
    auto colour = [&] {
        GLfloat f[4];
        glGetFloatv(GL_CURRENT_COLOR, f);
        for (int i = 0; i < 4; i++) c[i] = (GLubyte)(f[i] * 255 + 0.5f);
    };
    colour();
    EXPECT_EQ(c[0], 10) << "a flush leaves the last colour set";
    EXPECT_EQ(c[3], 40);
    EXPECT_FALSE(glIsEnabled(GL_COLOR_ARRAY));
    gfx_img_blit(a, 30, 10, 0, 0);
    gfx_fill(0x102030, 0, 0, 5, 5);
    colour();
    EXPECT_EQ(c[0], 255) << "opaque white after a fill, in a batch too";
    EXPECT_EQ(c[3], 255);
    gfx_img_blit(a, 40, 10, 0, 0);
    gfx_batch_end();
    colour();
    EXPECT_EQ(c[1], 255);
    EXPECT_FALSE(glIsEnabled(GL_COLOR_ARRAY));
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_COORD_ARRAY));
    EXPECT_TRUE(glIsEnabled(GL_VERTEX_ARRAY));

    // Closed: a quad is on screen at once, in the colour of the moment.
    gfx_clear();
    gfx_set_color(0, 0, 0, 255);
    gfx_img_blit(a, 10, 10, 0, 0);
    expect_screen([](int, int) { return BLACK; }, "a black tint draws black at once");
}

TEST_F(BatchDrawGl, DrawingAsksGlForNoState) {
    const int font = glyph_font();
    const long before = g_gl_queries;
    for (bool batched : {false, true}) {
        if (batched) gfx_batch_begin();
        tint(1);
        gfx_img_blit(a, 10.5f, 10, 32, 32); // at its size, larger and smaller
        gfx_img_blit(a, 50, 10, 80, 80);
        gfx_img_blit(b, 150, 10, 8, 5);
        gfx_fill(0x204060, 200, 10, 20, 20);
        font_draw(font, "AA", 230, 10, 0, -1);
        gfx_translate(5, 5);
        gfx_img_box(nine, 300, 10, 60, 40, 8);
        gfx_translate(-5, -5);
        gfx_set_scale(1.5f);
        gfx_ortho();
        gfx_img_quad(b, 0, 300, 0, 100, 300, 0, 0, 200, 0, 100, 200, 0);
        gfx_set_scale(1);
        gfx_ortho();
        if (batched) gfx_batch_end();
    }
    EXPECT_EQ(g_gl_queries - before, 0);
}
