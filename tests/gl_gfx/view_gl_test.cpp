// The view in a real GL context: the fixed state after gfx_init, the
// projection that gfx_ortho loads, and agreement between what GL draws and
// where the mapping functions say it lands.
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <SDL.h>

#include <cmath>
#include <vector>

#include "zov_driver-sdl2.h"
#include "zov_gfx.h"

namespace {

const int WIN_W = 640, WIN_H = 480;

// Opens the driver's 640x480 window with its GL context.
class GfxGl : public ::testing::Test {
protected:
    SDL_Window* win = nullptr;

    void SetUp() override {
        driver_init(DRIVER_INIT_VIDEO);
        driver_video_init(WIN_W, WIN_H, WIN_W, WIN_H, 320, 320, 0);
        win = driver_sdl2_window();
        ASSERT_NE(win, nullptr) << SDL_GetError();
        gfx_init();
    }

    void TearDown() override {
        gfx_deinit();
        driver_deinit();
    }
};

// The back buffer's pixels that are not black, as (x, y) window pixels with
// y growing downwards.
std::vector<std::pair<int, int>> lit_pixels() {
    std::vector<unsigned char> px(WIN_W * WIN_H * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, WIN_W, WIN_H, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
    std::vector<std::pair<int, int>> lit;
    for (int row = 0; row < WIN_H; row++)
        for (int x = 0; x < WIN_W; x++)
            if (px[(row * WIN_W + x) * 4] > 127) lit.emplace_back(x, WIN_H - 1 - row);
    return lit;
}

// A white axis-aligned square in the current coordinates.
void draw_square(float cx, float cy, float side) {
    const float h = side / 2;
    const float v[] = {cx - h, cy - h, cx + h, cy - h, cx - h, cy + h, cx + h, cy + h};
    glDisable(GL_TEXTURE_2D);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glColor4ub(255, 255, 255, 255);
    glVertexPointer(2, GL_FLOAT, 0, v);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glEnable(GL_TEXTURE_2D);
}

// Column-major 4x4 product a * b.
void mul(double* out, const double* a, const double* b) {
    double r[16];
    for (int c = 0; c < 4; c++)
        for (int row = 0; row < 4; row++) {
            r[c * 4 + row] = 0;
            for (int k = 0; k < 4; k++) r[c * 4 + row] += a[k * 4 + row] * b[c * 4 + k];
        }
    for (int i = 0; i < 16; i++) out[i] = r[i];
}

void identity(double* m) {
    for (int i = 0; i < 16; i++) m[i] = (i % 5 == 0) ? 1 : 0;
}

void then(double* m, const double* step) { mul(m, m, step); }

void then_translate(double* m, double x, double y) {
    double t[16];
    identity(t);
    t[12] = x;
    t[13] = y;
    then(m, t);
}

} // namespace

TEST_F(GfxGl, InitSetsTheFixedStateAndWholeWindowView) {
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_TRUE(glIsEnabled(GL_VERTEX_ARRAY));
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_COORD_ARRAY));
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    GLint src = 0, dst = 0;
    glGetIntegerv(GL_BLEND_SRC, &src);
    glGetIntegerv(GL_BLEND_DST, &dst);
    EXPECT_EQ(src, GL_ONE) << "premultiplied alpha";
    EXPECT_EQ(dst, GL_ONE_MINUS_SRC_ALPHA);
    int x, y, w, h;
    gfx_get_view(&x, &y, &w, &h);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
    EXPECT_EQ(w, WIN_W);
    EXPECT_EQ(h, WIN_H);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST_F(GfxGl, ClearGivesOpaqueBlack) {
    glClearColor(1, 1, 1, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    gfx_clear();
    unsigned char px[4] = {1, 1, 1, 1};
    glReadPixels(WIN_W / 2, WIN_H / 2, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, px);
    EXPECT_EQ(px[0], 0);
    EXPECT_EQ(px[1], 0);
    EXPECT_EQ(px[2], 0);
    EXPECT_EQ(px[3], 255);
    GLfloat depth = 0;
    glGetFloatv(GL_DEPTH_CLEAR_VALUE, &depth);
    EXPECT_EQ(depth, 1.0f);
}

TEST_F(GfxGl, ProjectionIsOrthoThenCentreScaleRotateUncentreShift) {
    gfx_set_ortho_near_far(-1000, 1000);
    gfx_set_size(301, 200);
    gfx_set_scale(1.5f);
    gfx_set_orient(33);
    gfx_set_shift(7, -4);
    glMatrixMode(GL_MODELVIEW);
    glTranslatef(3, 3, 0); // must be reset
    gfx_ortho();

    double want[16];
    identity(want);
    // glOrtho(0, 640, 480, 0, -1000, 1000)
    want[0] = 2.0 / WIN_W;
    want[5] = -2.0 / WIN_H;
    want[10] = -2.0 / 2000;
    want[12] = -1;
    want[13] = 1;
    then_translate(want, WIN_W / 2.0, WIN_H / 2.0);
    double s[16];
    identity(s);
    s[0] = s[5] = 1.5;
    then(want, s);
    const double a = 33 * M_PI / 180;
    double r[16];
    identity(r);
    r[0] = std::cos(a);
    r[1] = std::sin(a);
    r[4] = -std::sin(a);
    r[5] = std::cos(a);
    then(want, r);
    then_translate(want, -150.5, -100);
    then_translate(want, 7, -4);

    GLfloat got[16];
    glGetFloatv(GL_PROJECTION_MATRIX, got);
    for (int i = 0; i < 16; i++) EXPECT_NEAR(got[i], want[i], 1e-5) << "element " << i;

    GLfloat mv[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, mv);
    for (int i = 0; i < 16; i++) EXPECT_EQ(mv[i], i % 5 == 0 ? 1.0f : 0.0f) << "modelview " << i;
}

// For each view, pick a window pixel, map its centre into view coordinates
// and draw a square one window pixel wide there: exactly that pixel must
// light, and the forward mapping must bring the view point back to it.
TEST_F(GfxGl, DrawnPixelLandsWhereTheMappingSays) {
    struct Case { float orient, scale; int kx, ky, px, py; };
    const Case cases[] = {
        {0, 1, 0, 0, 17, 9},      {90, 1, 0, 0, 400, 100},  {180, 1, 0, 0, 5, 470},
        {270, 1, 0, 0, 600, 300}, {33, 1, 0, 0, 250, 200},  {0, 2, 11, -6, 123, 321},
        {90, 2.5f, -3, 8, 639, 0}, {180, 0.75f, 5, 5, 320, 240}, {270, 3, 0, 20, 77, 411},
        {33, 1.7f, -9, 4, 501, 33},
    };
    gfx_set_size(320, 200);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "orient " << c.orient << " scale " << c.scale << " pixel " << c.px
                                        << "," << c.py);
        gfx_set_orient(c.orient);
        gfx_set_scale(c.scale);
        gfx_set_shift(c.kx, c.ky);
        gfx_ortho();
        gfx_clear();
        GfxRect centre(c.px + 0.5f, c.py + 0.5f, 0, 0);
        GfxRect p = gfx_hwpos_to_pos(centre);
        GfxRect back = gfx_pos_to_hwpos(p);
        EXPECT_NEAR(back.x, centre.x, 1e-3);
        EXPECT_NEAR(back.y, centre.y, 1e-3);

        draw_square(p.x, p.y, 1 / c.scale);
        auto lit = lit_pixels();
        ASSERT_EQ(lit.size(), 1u);
        EXPECT_EQ(lit[0].first, c.px);
        EXPECT_EQ(lit[0].second, c.py);

        // A widget translation moves the origin in view units, under the view.
        gfx_clear();
        gfx_translate(5, -3);
        draw_square(p.x - 5, p.y + 3, 1 / c.scale);
        gfx_translate(-5, 3);
        lit = lit_pixels();
        ASSERT_EQ(lit.size(), 1u) << "translated";
        EXPECT_EQ(lit[0].first, c.px) << "translated";
        EXPECT_EQ(lit[0].second, c.py) << "translated";
    }
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST_F(GfxGl, OrthoPicksUpAWindowResize) {
    SDL_SetWindowSize(win, 800, 600);
    _driver_video_resize(); // what the driver does on a resize event
    int w = 0, h = 0;
    SDL_GetWindowSize(win, &w, &h);
    ASSERT_EQ(w, 800);
    ASSERT_EQ(h, 600);
    gfx_set_view(5, 5, 10, 10); // a size change overrides any set view
    gfx_ortho();
    int x, y;
    gfx_get_view(&x, &y, &w, &h);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
    EXPECT_EQ(w, 800);
    EXPECT_EQ(h, 600);
    // An unchanged size leaves a set view alone.
    gfx_set_view(5, 5, 10, 10);
    gfx_ortho();
    gfx_get_view(&x, &y, &w, &h);
    EXPECT_EQ(w, 10);
}
