// Pictures look as they were drawn: a padded picture keeps its right and
// bottom edges stretched or shrunk.
#include <vector>

#include "draw_gl.h"

namespace {

// The smallest and largest of each channel over the pixels of a box drawn
// at whole-pixel places.
struct Span {
    int lo[3] = {255, 255, 255}, hi[3] = {0, 0, 0};
};

Span span(const Pixels& s, int x0, int y0, int w, int h) {
    Span r;
    for (int y = y0; y < y0 + h; y++)
        for (int x = x0; x < x0 + w; x++)
            for (int c = 0; c < 3; c++) {
                r.lo[c] = std::min(r.lo[c], (int)s.at(x, y)[c]);
                r.hi[c] = std::max(r.hi[c], (int)s.at(x, y)[c]);
            }
    return r;
}

} // namespace

TEST_F(DrawGl, StretchedPicturesKeepTheirRightAndBottomEdges) {
    const int sizes[][2] = {{1, 1}, {2, 2}, {8, 8}, {5, 3}, {63, 63}, {100, 100}};
    std::vector<int> ids;
    for (const auto& s : sizes)
        ids.push_back(loaded("white" + std::to_string(ids.size()), solid(s[0], s[1], {255, 255, 255})));
    for (size_t i = 0; i < ids.size(); i++) gfx_img_blit(ids[i], 8 + 104 * (float)i, 40, 96, 320);
    Pixels shot = grab();
    for (size_t i = 0; i < ids.size(); i++) {
        const int x0 = 8 + 104 * (int)i, y0 = 40;
        const int middle = shot.at(x0 + 48, y0 + 160)[0];
        const int right = shot.at(x0 + 93, y0 + 160)[0], bottom = shot.at(x0 + 48, y0 + 317)[0];
        const Span all = span(shot, x0, y0, 96, 320);
        EXPECT_EQ(middle, 254) << sizes[i][0] << "x" << sizes[i][1];
        EXPECT_GE(all.lo[0], middle - 3) << sizes[i][0] << "x" << sizes[i][1] << " stretched to 96x320: middle "
                                         << middle << ", two pixels inside the right edge " << right
                                         << ", inside the bottom edge " << bottom << ", darkest " << all.lo[0];
    }
}

TEST_F(DrawGl, ShrunkPicturesKeepTheirEdgeColourAtEveryMipmapLevel) {
    // Picture size, then the size drawn: from a little to five times smaller.
    const int cases[][4] = {{37, 23, 13, 9}, {100, 70, 33, 23}, {63, 63, 20, 20}, {130, 66, 40, 20}, {5, 3, 2, 1}};
    const int want[3] = {254, 127, 0}; // (255, 128, 0) premultiplied
    int x = 10;
    for (const auto& c : cases) {
        int id = loaded("orange" + std::to_string(x), solid(c[0], c[1], {255, 128, 0}));
        gfx_img_blit(id, (float)x, 300, (float)c[2], (float)c[3]);
        x += c[2] + 20;
    }
    Pixels shot = grab();
    x = 10;
    for (const auto& c : cases) {
        const Span s = span(shot, x, 300, c[2], c[3]);
        for (int ch = 0; ch < 3; ch++)
            EXPECT_TRUE(s.lo[ch] >= want[ch] - 3 && s.hi[ch] <= want[ch] + 3)
                << c[0] << "x" << c[1] << " drawn " << c[2] << "x" << c[3] << ", channel " << ch << ": " << s.lo[ch]
                << " to " << s.hi[ch] << ", want " << want[ch];
        x += c[2] + 20;
    }
}
