// The drawing primitives against pixels read back from a real context:
// blits, clipping, atlas frames, nine-slice boxes, tiles, fills, free quads,
// and the pictures that must draw nothing.
#include <cstdlib>
#include <vector>

#include "draw_gl.h"

namespace {

// A GL texture of exactly w x h texels (no padding), nearest filtering.
GLuint raw_texture(const Pixels& p) {
    GLuint name = 0;
    glGenTextures(1, &name);
    nearest((int)name);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, p.w, p.h, 0, GL_RGBA, GL_UNSIGNED_BYTE, p.px.data());
    return name;
}

// A picture of 3 x 3 blocks of `block` texels, each block its own colour.
const Rgb NINE[3][3] = {{{200, 0, 0}, {0, 200, 0}, {0, 0, 200}},
                        {{200, 200, 0}, {0, 200, 200}, {200, 0, 200}},
                        {{100, 50, 0}, {0, 100, 50}, {50, 0, 100}}};

Pixels nine_blocks(int block) {
    Pixels p = solid(3 * block, 3 * block, BLACK);
    for (int y = 0; y < p.h; y++)
        for (int x = 0; x < p.w; x++) {
            const Rgb& c = NINE[y / block][x / block];
            unsigned char* t = p.at(x, y);
            t[0] = (unsigned char)c.r;
            t[1] = (unsigned char)c.g;
            t[2] = (unsigned char)c.b;
        }
    return p;
}

// The block colour as drawn (opaque, so premultiplying takes 1/256 off).
Rgb nine_shown(int col, int row) {
    const Rgb& c = NINE[row][col];
    return Rgb{c.r * 255 >> 8, c.g * 255 >> 8, c.b * 255 >> 8};
}

// Which of the three slices [0, c), [c, n - c), [n - c, n) holds v.
int slice(int v, int n, int c) { return v < c ? 0 : v < n - c ? 1 : 2; }

} // namespace

// ====== Blits ======

TEST_F(DrawGl, IconBlittedOneToOneShowsItsPremultipliedTexels) {
    Pixels icon = decode(ADWAITA "/48x48/places/user-trash.png");
    ASSERT_EQ(icon.w, 48);
    int id = picture("icon", icon);
    ASSERT_NE(id, 0);
    Pixels pm = premultiplied(icon);
    gfx_img_blit(id, 10, 20, 0, 0);
    expect_screen([&](int x, int y) { return covers(10, 20, 48, 48, x, y) ? shown(pm, x - 10, y - 20) : BLACK; },
                  "icon at its natural size");
}

TEST_F(DrawGl, ClipThroughTheMiddleKeepsTheMapping) {
    Pixels icon = decode(ADWAITA "/48x48/places/user-trash.png");
    int id = picture("icon", icon);
    Pixels pm = premultiplied(icon);
    gfx_clip(34, 0, 640, 480);
    gfx_img_blit(id, 10, 20, 0, 0);
    gfx_unclip();
    expect_screen([&](int x, int y) { return covers(34, 20, 24, 48, x, y) ? shown(pm, x - 10, y - 20) : BLACK; },
                  "right half of the icon");
}

TEST_F(DrawGl, NegativeWidthMirrorsUnclippedAndDrawsNothingClipped) {
    Pixels p = pattern(16, 16);
    int id = picture("pat", p);
    Pixels pm = premultiplied(p);
    gfx_img_blit(id, 100, 10, -16, 16);
    expect_screen([&](int x, int y) { return covers(84, 10, 16, 16, x, y) ? shown(pm, 99 - x, y - 10) : BLACK; },
                  "mirrored leftwards from x");
    gfx_clear();
    gfx_clip(0, 0, 640, 480);
    gfx_img_blit(id, 100, 10, -16, 16);
    gfx_unclip();
    expect_screen([](int, int) { return BLACK; }, "clipped");
}

TEST_F(DrawGl, AtlasFrameLandsAtItsOffsetInTheSourceScaled) {
    Pixels sheet = pattern(128, 128);
    int sheet_id = picture("sheet", sheet);
    ASSERT_NE(sheet_id, 0);
    int tid = _gfx->img_data[sheet_id].tid;
    int frame = gfx_img_add("frame", tid, GfxRect(64, 0, 20, 30), GfxRect(6, 2, 32, 32));
    Pixels pm = premultiplied(sheet);
    gfx_img_blit(frame, 0, 0, 64, 64);
    expect_screen(
        [&](int x, int y) { return covers(12, 4, 40, 60, x, y) ? shown(pm, 64 + (x - 12) / 2, (y - 4) / 2) : BLACK; },
        "frame (64, 0, 20, 30) at offset (6, 2), doubled");
}

TEST_F(DrawGl, BlitOfPartOfTheFrame) {
    Pixels p = pattern(40, 20);
    int id = picture("part", p);
    Pixels pm = premultiplied(p);
    // The right half of the frame, stretched over 40 x 20.
    gfx_img_blit2(id, 0.5f, 0, 0.5f, 1, 300, 100, 40, 20);
    expect_screen(
        [&](int x, int y) { return covers(300, 100, 40, 20, x, y) ? shown(pm, 20 + (x - 300) / 2, y - 100) : BLACK; },
        "right half");
}

// ====== What draws nothing ======

TEST_F(DrawGl, PicturesWithoutTextureOrSizeDrawNothing) {
    ASSERT_TRUE(write_file(dir / "broken.png", "not a picture"));
    int broken;
    {
        Capture err(stderr), out(stdout);
        broken = gfx_img_load("broken");
    }
    ASSERT_NE(broken, 0) << "found, so it has an id";
    ASSERT_EQ(gfx_img_get_tex(broken), 0);
    int good = picture("good", solid(8, 8, Rgb{255, 255, 255}));
    int empty = gfx_img_add("empty", _gfx->img_data[good].tid, GfxRect(0, 0, 8, 8), GfxRect(0, 0, 0, 0));

    glColor4ub(255, 255, 255, 255); // a solid quad would show white
    for (int id : {0, broken, empty, -7, 100000}) {
        gfx_img_blit(id, 10, 10, 50, 50);
        gfx_img_blit2(id, 0, 0, 1, 1, 10, 10, 50, 50);
        gfx_img_box(id, 10, 10, 50, 50, 8);
        gfx_img_tile(id, 10, 10, 50, 50, 8);
        gfx_img_quad(id, 0, 100, 0, 100, 100, 0, 0, 0, 0, 100, 0, 0);
    }
    gfx_tex_blit(0, 10, 10, 50, 50);
    gfx_tex_box(0, 10, 10, 50, 50, 8);
    gfx_tex_quad(0, 0, 100, 0, 100, 100, 0, 0, 0, 0, 100, 0, 0);
    expect_screen([](int, int) { return BLACK; }, "nothing drawn");
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST_F(DrawGl, StepBelowOneReturnsAtOnce) {
    int id = picture("white", solid(8, 8, Rgb{255, 255, 255}));
    GLuint name = raw_texture(solid(12, 12, Rgb{255, 255, 255}));
    for (int s : {0, -1, -1000}) {
        gfx_img_tile(id, 0, 0, 100, 100, s);
        gfx_tex_box_slow((int)name, 0, 0, 100, 100, s);
    }
    expect_screen([](int, int) { return BLACK; }, "nothing drawn");
    EXPECT_EQ(_gfx->clip_n, 0) << "the tile's clip level is not left behind";
    glDeleteTextures(1, &name);
}

// ====== Boxes and tiles ======

TEST_F(DrawGl, NineSliceBoxStretchesTheMiddleAndKeepsTheCorners) {
    int id = picture("nine", nine_blocks(10));
    gfx_img_box(id, 100, 50, 60, 45, 10);
    expect_screen(
        [&](int x, int y) {
            if (!covers(100, 50, 60, 45, x, y)) return BLACK;
            return nine_shown(slice(x - 100, 60, 10), slice(y - 50, 45, 10));
        },
        "60x45 box, corners 10");
}

TEST_F(DrawGl, NarrowBoxSkipsTheMiddleColumn) {
    int id = picture("nine", nine_blocks(10));
    // w = 20, s = 16: corners 10 wide, so the side columns meet.
    gfx_img_box(id, 100, 50, 20, 100, 16);
    expect_screen(
        [&](int x, int y) {
            if (!covers(100, 50, 20, 100, x, y)) return BLACK;
            return nine_shown(x < 110 ? 0 : 2, slice(y - 50, 100, 16));
        },
        "20x100 box, corners 10 x 16");
}

TEST_F(DrawGl, TextureBoxUsesTheThirdsOfTheWholeTexture) {
    GLuint name = raw_texture(premultiplied(nine_blocks(1)));
    gfx_tex_box((int)name, 0, 0, 32, 32, 8);
    expect_screen(
        [&](int x, int y) {
            if (!covers(0, 0, 32, 32, x, y)) return BLACK;
            return nine_shown(slice(x, 32, 8), slice(y, 32, 8));
        },
        "pieces at 0, 8, 24");
    glDeleteTextures(1, &name);
}

TEST_F(DrawGl, SlowBoxTilesTheMiddleThird) {
    const int s = 4;
    Pixels tex = pattern(3 * s, 3 * s);
    for (size_t i = 3; i < tex.px.size(); i += 4) tex.px[i] = 255; // opaque, so each texel shows as it is
    GLuint name = raw_texture(tex);
    // The texel column (or row) drawn at offset v of a side n long.
    auto texel = [&](int v, int n) { return v >= n - s ? 2 * s + v - (n - s) : v < s ? v : s + (v - s) % s; };
    for (int n : {30, 28, 6}) {
        SCOPED_TRACE(n);
        gfx_clear();
        gfx_tex_box_slow((int)name, 20, 10, n, n + 1, s);
        expect_screen(
            [&](int x, int y) {
                if (!covers(20, 10, n, n + 1, x, y)) return BLACK;
                return shown(tex, texel(x - 20, n), texel(y - 10, n + 1));
            },
            "slow box");
    }
    glDeleteTextures(1, &name);
}

TEST_F(DrawGl, TileRepeatsAndCutsTheEdgeCells) {
    Pixels p = pattern(32, 32);
    int id = picture("tile", p);
    Pixels pm = premultiplied(p);
    gfx_img_tile(id, 50, 60, 100, 50, 32);
    expect_screen(
        [&](int x, int y) { return covers(50, 60, 100, 50, x, y) ? shown(pm, (x - 50) % 32, (y - 60) % 32) : BLACK; },
        "100x50 of 32x32 cells");
    EXPECT_EQ(_gfx->clip_n, 0);
}

// ====== Fills and free quads ======

TEST_F(DrawGl, FillIsOpaqueAndLeavesTheColourWhite) {
    glColor4ub(10, 20, 30, 40);
    gfx_fill(0x80FF0000u, 5, 6, 30, 20);
    expect_screen([](int x, int y) { return covers(5, 6, 30, 20, x, y) ? Rgb{255, 0, 0} : BLACK; }, "red fill");
    GLfloat c[4];
    glGetFloatv(GL_CURRENT_COLOR, c);
    EXPECT_EQ(c[0], 1.0f);
    EXPECT_EQ(c[3], 1.0f) << "opaque white after the fill";
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_COORD_ARRAY));

    glColor4ub(10, 20, 30, 40);
    gfx_clip(200, 200, 10, 10);
    gfx_fill(0x00FF00, 0, 0, 50, 50);
    gfx_unclip();
    glGetFloatv(GL_CURRENT_COLOR, c);
    EXPECT_NEAR(c[0], 10 / 255.0, 1e-6) << "a fill outside the clip changes nothing";
    EXPECT_NEAR(c[3], 40 / 255.0, 1e-6);
}

TEST_F(DrawGl, FreeQuadsShowThePictureUpright) {
    Pixels p = solid(64, 64, Rgb{255, 0, 0});
    for (int y = 32; y < 64; y++)
        for (int x = 0; x < 64; x++) p.at(x, y)[0] = 0, p.at(x, y)[2] = 255;
    int id = picture("updown", p);
    const Rgb red{254, 0, 0}, blue{0, 0, 254};
    gfx_img_quad(id, 0, 100, 0, 100, 100, 0, 0, 0, 0, 100, 0, 0);
    expect_screen([&](int x, int y) { return x < 100 && y < 100 ? (y < 50 ? red : blue) : BLACK; }, "image quad");
    gfx_clear();
    gfx_tex_quad(gfx_img_get_tex(id), 200, 100, 0, 300, 100, 0, 200, 0, 0, 300, 0, 0);
    expect_screen([&](int x, int y) { return x >= 200 && x < 300 && y < 100 ? (y < 50 ? red : blue) : BLACK; },
                  "texture quad");
}

TEST_F(DrawGl, FreeQuadsShrunkAreSmoothedThroughTheMipmaps) {
    // One white column in four: at a quarter of its size each pixel shows
    // the mean of a 4x4 block, a quarter of white.  Sampled without the
    // mipmaps, every pixel would fall between two black columns.
    Pixels p = solid(64, 64, BLACK);
    for (int y = 0; y < 64; y++)
        for (int x = 0; x < 64; x += 4) p.at(x, y)[0] = p.at(x, y)[1] = p.at(x, y)[2] = 255;
    int id = loaded("stripes", p);
    gfx_img_quad(id, 200, 216, 0, 216, 216, 0, 200, 200, 0, 216, 200, 0);
    Pixels s = grab();
    int off = 0;
    for (int y = 200; y < 216; y++)
        for (int x = 200; x < 216; x++) off += std::abs(s.at(x, y)[0] - 254 / 4) > 8;
    EXPECT_EQ(off, 0) << "pixels of the quarter-size quad far from a quarter of white";
}
