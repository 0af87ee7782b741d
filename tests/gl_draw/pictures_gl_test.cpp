// Pictures look as they were drawn: a padded picture keeps its right and
// bottom edges stretched or shrunk, "nearest" keeps texels whole at a
// picture's own size and above wherever it lands, and a picture that needs
// no padding draws as GL draws its texture with the loader's filters.
#include <vector>

#include "draw_gl.h"

// The script's "filter" parameter, as the loader asks for it.
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
    // Copies at every tenth of a pixel across and down, at the picture's
    // size and at twice it, left of x = 560; one copy shrunk right of it.
    auto scene = [&] {
        for (int i = 1; i <= 9; i++) {
            const float fx = i / 10.0f, fy = (10 - i) / 10.0f;
            gfx_img_blit(id, 20 + 60 * (float)(i - 1) + fx, 20 + fy, 0, 0);
            gfx_img_blit(id, 20 + 60 * (float)(i - 1) + fy, 80 + fx, 32, 32);
        }
        gfx_img_blit(id, 580.5f, 20.25f, 11, 11);
    };
    for (bool batched : {false, true}) {
        gfx_clear();
        if (batched) gfx_batch_begin();
        scene();
        if (batched) gfx_batch_end();
        Pixels shot = grab();
        EXPECT_EQ(blended(shot, 0, 560), 0) << (batched ? "batched" : "at once");
        EXPECT_GT(blended(shot, 560, WIN_W), 0) << "shrunk copies stay smooth, " << (batched ? "batched" : "at once");
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
