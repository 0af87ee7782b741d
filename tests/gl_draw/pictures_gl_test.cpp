// Pictures look as they were drawn: a padded picture keeps its right and
// bottom edges stretched or shrunk, "nearest" keeps texels whole at a
// picture's own size and above wherever it lands, and a picture that needs
// no padding draws as GL draws its texture with the loader's filters.
#include <cmath>
#include <functional>
#include <iterator>
#include <vector>

#include "draw_gl.h"

int g_mag_filter = GL_LINEAR;
int _ZOV_GL_TEXTURE_MAG_FILTER() { return g_mag_filter; }

namespace {

// Opaque black and white texels in a checkerboard of single texels.
Pixels checkers(int side) {
    Pixels p = solid(side, side, BLACK);
    for (int y = 0; y < side; y++)
        for (int x = (y + 1) % 2; x < side; x += 2) std::fill(p.at(x, y), p.at(x, y) + 3, 255);
    return p;
}

// Pixels that are neither black nor premultiplied white, in [x0, x1).
int blended(const Pixels& s, int x0, int x1) {
    int n = 0;
    for (int y = 0; y < WIN_H; y++)
        for (int x = x0; x < x1; x++) {
            const unsigned char* p = s.at(x, y);
            for (int c = 0; c < 3; c++) n += p[c] != 0 && p[c] != 254 ? 1 : 0;
        }
    return n;
}

} // namespace

TEST_F(DrawGl, PaddedPicturesStretchedOrShrunkKeepTheirRightAndBottomEdges) {
    // Picture size, then the size drawn: stretched (the top row), then
    // from a little to five times smaller (mipmap levels, the bottom row).
    const int cases[][4] = {{1, 1, 96, 320},   {2, 2, 96, 320},     {8, 8, 96, 320}, {5, 3, 96, 320},
                            {63, 63, 96, 320}, {100, 100, 96, 320}, {37, 23, 13, 9}, {100, 70, 33, 23},
                            {63, 63, 20, 20},  {130, 66, 40, 20},   {5, 3, 2, 1}};
    const int want[3] = {254, 127, 0}; // (255, 128, 0) premultiplied
    std::vector<GfxRect> at;
    float x_top = 8, x_bottom = 8;
    for (const auto& c : cases) {
        const bool top = c[2] == 96;
        float& x = top ? x_top : x_bottom;
        at.push_back(GfxRect(x, top ? 20 : 380, c[2], c[3]));
        x += c[2] + 8;
        int id = loaded("orange" + std::to_string(at.size()), solid(c[0], c[1], {255, 128, 0}));
        gfx_img_blit(id, at.back().x, at.back().y, at.back().w, at.back().h);
    }
    Pixels shot = grab();
    for (size_t i = 0; i < at.size(); i++) {
        int lo[3] = {255, 255, 255}, hi[3] = {0, 0, 0};
        for (int y = (int)at[i].y; y < at[i].y + at[i].h; y++)
            for (int x = (int)at[i].x; x < at[i].x + at[i].w; x++)
                for (int c = 0; c < 3; c++) {
                    lo[c] = std::min(lo[c], (int)shot.at(x, y)[c]);
                    hi[c] = std::max(hi[c], (int)shot.at(x, y)[c]);
                }
        for (int c = 0; c < 3; c++)
            EXPECT_TRUE(lo[c] >= want[c] - 3 && hi[c] <= want[c] + 3)
                << cases[i][0] << "x" << cases[i][1] << " drawn " << cases[i][2] << "x" << cases[i][3] << ", channel "
                << c << ": " << lo[c] << " to " << hi[c] << ", want " << want[c];
    }
}

TEST_F(DrawGl, NearestPicturesAtTheirSizeOrLargerShowWholeTexelsAnywhere) {
    g_mag_filter = GL_NEAREST;
    int id = loaded("checkers", checkers(16));
    g_mag_filter = GL_LINEAR;
    // Left of x = 560, copies at the picture's size or larger; right of it
    // one copy shrunk, which must stay smooth.
    const std::function<void()> scenes[] = {
        // At every tenth of a pixel across and down, at the picture's size
        // and at twice it.
        [&] {
            for (int i = 1; i <= 9; i++) {
                const float fx = i / 10.0f, fy = (10 - i) / 10.0f;
                gfx_img_blit(id, 20 + 60 * (float)(i - 1) + fx, 40 + fy, 0, 0);
                gfx_img_blit(id, 20 + 60 * (float)(i - 1) + fy, 100 + fx, 32, 32);
            }
            gfx_img_blit(id, 140.2f, 10.8f, 0, 0);
            gfx_img_blit(id, 580.5f, 20.25f, 11, 11);
        },
        // A grid from the window's corner at the picture's size: at small
        // coordinates a side, (y + 16) - y in floats, is often a hair short
        // of 16.
        [&] {
            for (int i = 0; i < 23; i++)
                for (int j = 0; j < 20; j++)
                    gfx_img_blit(id, 24 * (float)i + (float)((3 + 7 * i) % 10) / 10,
                                 24 * (float)j + (float)((3 + 7 * j) % 10) / 10, 0, 0);
            gfx_img_blit(id, 580.5f, 20.25f, 11, 11);
        },
    };
    for (size_t n = 0; n < std::size(scenes); n++)
        for (bool batched : {false, true}) {
            gfx_clear();
            if (batched) gfx_batch_begin();
            scenes[n]();
            if (batched) gfx_batch_end();
            Pixels shot = grab();
            const std::string what = "scene " + std::to_string(n) + (batched ? ", batched" : ", at once");
            EXPECT_EQ(blended(shot, 0, 560), 0) << what;
            EXPECT_GT(blended(shot, 560, WIN_W), 0) << "shrunk copies stay smooth, " << what;
        }
}

TEST_F(DrawGl, NearestPicturesNotSquareDrawnOnlyAtTheirSizeShowTheFilesTexels) {
    // Each picture is loaded with "nearest" and never drawn shrunk.  Places
    // whole and fractional, at small coordinates, and where a float side
    // such as (x + 100) - x comes out a hair short.
    struct Place {
        float x, y;
    };
    const struct {
        int w, h;
        std::vector<Place> at;
    } cases[] = {
        {100, 16,
         {{0, 0}, {130.8f, 0.3f}, {260.3f, 10.8f}, {28.4f, 20.8f}, {140.2f, 28.4f}, {250, 40}, {33.9f, 48.2f},
          {160.6f, 64.7f}, {270.75f, 70.25f}, {10.1f, 90.6f}}},
        {16, 100,
         {{400, 0}, {420.3f, 0.8f}, {440.8f, 28.4f}, {460.6f, 31.9f}, {480.1f, 130.3f}, {500.7f, 200}, {520, 150.25f},
          {540.75f, 300.75f}}},
    };
    std::vector<int> ids;
    std::vector<Pixels> shown_texels;
    g_mag_filter = GL_NEAREST;
    for (const auto& c : cases) {
        Pixels p = pattern(c.w, c.h);
        ids.push_back(loaded("flat" + std::to_string(ids.size()), p));
        shown_texels.push_back(premultiplied(p));
    }
    g_mag_filter = GL_LINEAR;
    // Each window pixel whose centre a copy covers shows the texel under
    // that centre; every other pixel stays black.
    auto want = [&](int x, int y) {
        for (size_t i = 0; i < std::size(cases); i++)
            for (const Place& at : cases[i].at)
                if (covers(at.x, at.y, cases[i].w, cases[i].h, x, y))
                    return shown(shown_texels[i], (int)std::floor(x + 0.5f - at.x), (int)std::floor(y + 0.5f - at.y));
        return BLACK;
    };
    for (bool batched : {false, true}) {
        gfx_clear();
        if (batched) gfx_batch_begin();
        for (size_t i = 0; i < std::size(cases); i++)
            for (const Place& at : cases[i].at) gfx_img_blit(ids[i], at.x, at.y, 0, 0);
        if (batched) gfx_batch_end();
        expect_screen(want, batched ? "batched" : "at once");
    }
}

TEST_F(DrawGl, PictureWithoutPaddingDrawsAsItsTextureWithTheLoadersFilters) {
    Pixels p = pattern(128, 64);
    int id = loaded("pot", p);
    // The same texels uploaded here with the filters the loader gives.
    GLuint plain = 0;
    glGenTextures(1, &plain);
    glBindTexture(GL_TEXTURE_2D, plain);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_GENERATE_MIPMAP, 1);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    Pixels pm = premultiplied(p);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 128, 64, 0, GL_RGBA, GL_UNSIGNED_BYTE, pm.px.data());
    // At its size, larger, smaller, stretched one way, at fractional places.
    const GfxRect boxes[] = {{10.25f, 10.5f, 128, 64}, {150, 10, 192, 96},    {350.5f, 20.75f, 77, 38},
                             {450, 10, 160, 40},       {10.5f, 120, 40, 200}, {60, 130.3f, 256, 128}};
    // At view scale 0.5 every box is shrunk on screen, whatever its size in
    // view units: the mipmaps must serve.
    for (float scale : {1.0f, 1.75f, 0.5f}) {
        gfx_set_scale(scale);
        gfx_ortho();
        gfx_clear();
        for (const GfxRect& b : boxes) gfx_tex_blit2((int)plain, 0, 0, 1, 1, b.x, b.y, b.w, b.h);
        Pixels want = grab();
        for (bool batched : {false, true}) {
            gfx_clear();
            if (batched) gfx_batch_begin();
            for (const GfxRect& b : boxes) gfx_img_blit(id, b.x, b.y, b.w, b.h);
            if (batched) gfx_batch_end();
            Pixels got = grab();
            int differ = 0;
            for (size_t i = 0; i < got.px.size(); i++) differ += got.px[i] != want.px[i];
            EXPECT_EQ(differ, 0) << "view scale " << scale << (batched ? ", batched" : ", at once");
        }
    }
    glDeleteTextures(1, &plain);
}
