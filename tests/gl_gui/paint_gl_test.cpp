// The theme's painting in a real GL context, checked on the pixels: border
// strips, the background and overlay over the padding box, the content at
// its offset, and what is skipped.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include "support/tex_files.h"
#include "zov_driver-sdl2.h"
#include "zov_gfx.h"
#include "zov_gfx_draw.h"
#include "zov_gui.h"

// Stretched pictures sample their nearest texel, so an edge pixel is not
// blended with the texture's border.
int _ZOV_GL_TEXTURE_MAG_FILTER() { return GL_NEAREST; }

namespace {

const int WIN_W = 640, WIN_H = 480;

// Fills its content box with yellow and counts its paints.
struct Painter : Widget {
    int paints = 0;
    void paint() override {
        paints++;
        gfx_fill(0xFFFF00, 0, 0, (int)rect.w, (int)rect.h);
    }
};

class GuiPaint : public ::testing::Test {
protected:
    void SetUp() override {
        driver_init(DRIVER_INIT_VIDEO);
        driver_video_init(WIN_W, WIN_H, WIN_W, WIN_H, 320, 320, 0);
        ASSERT_NE(driver_sdl2_window(), nullptr);
        driver_set_altdir(dir.path().c_str());
        gfx_init();
        gfx_set_size(WIN_W, WIN_H);
        gfx_set_scale(1.0f);
        gfx_ortho();
        gfx_clear();
        Pixels white;
        white.w = white.h = 4;
        white.px.assign(4 * 4 * 4, 255);
        ASSERT_TRUE(write_png(dir / "white.png", white));
        image = gfx_img_load("white");
        ASSERT_NE(image, 0);
    }
    void TearDown() override {
        gfx_deinit();
        driver_deinit();
    }

    // The RGB of one window pixel of the back buffer, y growing downwards.
    unsigned pixel(int x, int y) {
        unsigned char px[4];
        glReadPixels(x, WIN_H - 1 - y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, px);
        return (unsigned)px[0] << 16 | (unsigned)px[1] << 8 | px[2];
    }

    Painter* add(int x, int y, float w, float h) {
        Painter* p = new Painter;
        p->style.width = w;
        p->style.height = h;
        EXPECT_TRUE(root.add(p, x, y));
        return p;
    }

    TempDir dir;
    int image = 0;
    Container root;
};

// Channels within 2 of each other (blending rounds).
::testing::AssertionResult near_rgb(unsigned got, unsigned want) {
    for (int shift = 0; shift <= 16; shift += 8) {
        int a = (got >> shift) & 255, b = (want >> shift) & 255;
        if (a - b > 2 || b - a > 2)
            return ::testing::AssertionFailure() << std::hex << "got 0x" << got << ", want 0x" << want;
    }
    return ::testing::AssertionSuccess();
}

} // namespace

TEST_F(GuiPaint, MarginBorderPaddingBackgroundOverlayAndContentLandWhereTheBoxModelSays) {
    // Outer box at (100, 50): margin 5; borders top 2, right 3, bottom 4,
    // left 5; padding 6; content 40 x 30.  Outer size 70 x 58.
    Painter* w = add(100, 50, 40, 30);
    w->style.set_margin(5, STYLE_UNSET, STYLE_UNSET, STYLE_UNSET);
    w->style.set_border(2, 3, 4, 5);
    w->style.border_color = 0xFF0000;
    w->style.set_padding(6, STYLE_UNSET, STYLE_UNSET, STYLE_UNSET);
    w->style.background.color = 0x00FF00;
    w->style.overlay.image = image;
    w->style.overlay.color = 0x0000FF;
    w->style.overlay.alpha = 128;
    root.resize();
    ASSERT_EQ(w->_rect.w, 70);
    ASSERT_EQ(w->_rect.h, 58);
    root.paint();

    const unsigned black = 0, red = 0xFF0000, yellow = 0xFFFF00;
    // Half-transparent blue over green: (0, 255 * 127 / 255, 128).
    const unsigned padding = 0x007F80;
    EXPECT_EQ(pixel(102, 70), black) << "left margin";
    EXPECT_EQ(pixel(130, 52), black) << "top margin";
    EXPECT_EQ(pixel(167, 70), black) << "right margin";
    EXPECT_EQ(pixel(130, 105), black) << "bottom margin";
    EXPECT_EQ(pixel(105, 55), red) << "top strip spans the left corner";
    EXPECT_EQ(pixel(164, 56), red) << "top strip spans the right corner";
    EXPECT_EQ(pixel(105, 102), red) << "bottom strip spans the corner";
    EXPECT_EQ(pixel(109, 80), red) << "left strip, 5 wide";
    EXPECT_TRUE(near_rgb(pixel(110, 80), padding)) << "padding begins after the left border";
    EXPECT_EQ(pixel(162, 80), red) << "right strip, 3 wide";
    EXPECT_TRUE(near_rgb(pixel(161, 80), padding));
    EXPECT_TRUE(near_rgb(pixel(130, 57), padding)) << "padding begins under the top border";
    EXPECT_TRUE(near_rgb(pixel(130, 98), padding)) << "padding ends over the bottom border";
    EXPECT_EQ(pixel(130, 99), red);
    EXPECT_EQ(pixel(116, 63), yellow) << "content at margin + border + padding";
    EXPECT_EQ(pixel(155, 92), yellow);
    EXPECT_TRUE(near_rgb(pixel(156, 92), padding));
    EXPECT_TRUE(near_rgb(pixel(115, 63), padding));
    float c[4];
    glGetFloatv(GL_CURRENT_COLOR, c);
    EXPECT_EQ(c[0] + c[1] + c[2] + c[3], 4.0f) << "the colour is left opaque white";
}

TEST_F(GuiPaint, BorderWidthsWithoutAColourKeepTheirSpaceButDrawNothing) {
    Painter* w = add(10, 10, 20, 20);
    w->style.set_border(4, STYLE_UNSET, STYLE_UNSET, STYLE_UNSET);
    root.resize();
    root.paint();
    EXPECT_EQ(pixel(11, 20), 0u);
    EXPECT_EQ(pixel(14, 20), 0xFFFF00u);
}

TEST_F(GuiPaint, AnImageOverAnEmptyPaddingBoxIsNotDrawnAtItsNaturalSize) {
    Painter* w = add(10, 10, 0, 0);
    w->style.background.image = image;
    root.resize();
    root.paint();
    EXPECT_EQ(pixel(11, 11), 0u);
}

TEST_F(GuiPaint, TilesBelowOneAndNegativeEdgesCountAsUnsetAndStretchTheImage) {
    Painter* tiled = add(10, 10, 0, 0);
    tiled->style.set_padding(10, STYLE_UNSET, STYLE_UNSET, STYLE_UNSET);
    tiled->style.background.image = image;
    tiled->style.background.tile = 0;
    Painter* boxed = add(50, 10, 0, 0);
    boxed->style.set_padding(10, STYLE_UNSET, STYLE_UNSET, STYLE_UNSET);
    boxed->style.background.image = image;
    boxed->style.background.edge = -3;
    root.resize();
    root.paint();
    const unsigned white = 0xFEFEFE; // 255 premultiplied by 255 / 256
    EXPECT_EQ(pixel(10, 10), white);
    EXPECT_EQ(pixel(29, 29), white);
    EXPECT_EQ(pixel(30, 30), 0u);
    EXPECT_EQ(pixel(69, 29), white);
}

TEST_F(GuiPaint, TiledAndNineSliceImagesCoverThePaddingBox) {
    Painter* tiled = add(10, 10, 0, 0);
    tiled->style.set_padding(9, STYLE_UNSET, STYLE_UNSET, STYLE_UNSET);
    tiled->style.background.image = image;
    tiled->style.background.tile = 4;
    Painter* boxed = add(50, 10, 0, 0);
    boxed->style.set_padding(9, STYLE_UNSET, STYLE_UNSET, STYLE_UNSET);
    boxed->style.background.image = image;
    boxed->style.background.edge = 2;
    boxed->style.background.tile = 4; // the edge wins
    root.resize();
    root.paint();
    const unsigned white = 0xFEFEFE;
    EXPECT_EQ(pixel(27, 27), white) << "last tile cut at the edge";
    EXPECT_EQ(pixel(28, 28), 0u);
    EXPECT_EQ(pixel(50, 10), white);
    EXPECT_EQ(pixel(67, 27), white);
}

TEST_F(GuiPaint, ChildrenWhollyOutsideTheClipAreSkipped) {
    Painter* inside = add(0, 0, 10, 10);
    Painter* edge = add(45, 45, 10, 10);
    Painter* outside = add(50, 0, 10, 10);
    root.resize();
    gfx_clip(0, 0, 50, 50);
    root.paint();
    gfx_unclip();
    EXPECT_EQ(inside->paints, 1);
    EXPECT_EQ(edge->paints, 1);
    EXPECT_EQ(outside->paints, 0);
    EXPECT_EQ(pixel(49, 49), 0xFFFF00u);
    EXPECT_EQ(pixel(50, 50), 0u) << "the partly visible child is cut by the clip";
    EXPECT_EQ(_gfx->translate.x, 0) << "translations are undone";
}

TEST_F(GuiPaint, PremultipliedColourTruncatesEachChannel) {
    guiColor4ub(255, 128, 1, 128);
    float c[4];
    glGetFloatv(GL_CURRENT_COLOR, c);
    EXPECT_EQ((int)(c[0] * 255 + 0.5f), 128);
    EXPECT_EQ((int)(c[1] * 255 + 0.5f), 64);
    EXPECT_EQ((int)(c[2] * 255 + 0.5f), 0);
    EXPECT_EQ((int)(c[3] * 255 + 0.5f), 128);
}
