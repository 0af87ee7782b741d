// Text drawn into a real context: glyph boxes at their offsets under the
// baseline offset, a page padded to a power-of-two texture, long lines,
// clipping, a font without its page, the console's own data files, and
// "nearest" text at fractional places and shrunk.
#include <algorithm>
#include <string>
#include <vector>

#include "draw_gl.h"

namespace {

// "blocks": a 64x64 page of opaque white cells: 'A' 6x9 at (0, 0), 'B' 5x7
// at (10, 0), 'I' 1x4 at (20, 0).  Line height 24, baseline 18, so lines
// start (24 - 18) * 0.333 = 1.998 below the y asked for.
const char* BLOCKS_FNT =
    "common lineHeight=24 base=18 scaleW=64 scaleH=64\n"
    "char id=65 x=0 y=0 width=6 height=9 xoffset=1 yoffset=3 xadvance=8\n"
    "char id=66 x=10 y=0 width=5 height=7 xoffset=2 yoffset=5 xadvance=7\n"
    "char id=73 x=20 y=0 width=1 height=4 xoffset=0 yoffset=0 xadvance=2\n";
const float BASE_OFFSET = (float)((24 - 18) * 0.333);

Pixels blocks_page() {
    Pixels p = solid(64, 64, BLACK);
    for (size_t i = 3; i < p.px.size(); i += 4) p.px[i] = 0;
    auto cell = [&](int x0, int y0, int w, int h) {
        for (int y = y0; y < y0 + h; y++)
            for (int x = x0; x < x0 + w; x++) {
                unsigned char* t = p.at(x, y);
                t[0] = t[1] = t[2] = t[3] = 255;
            }
    };
    cell(0, 0, 6, 9);
    cell(10, 0, 5, 7);
    cell(20, 0, 1, 4);
    return p;
}

const Rgb WHITE{254, 254, 254}; // opaque white, premultiplied

// The colours of a picture as 0xRRGGBB, sorted, each once.
std::vector<unsigned> colours(const Pixels& p) {
    std::vector<unsigned> c;
    for (int y = 0; y < p.h; y++)
        for (int x = 0; x < p.w; x++) c.push_back((unsigned)p.at(x, y)[0] << 16 | p.at(x, y)[1] << 8 | p.at(x, y)[2]);
    std::sort(c.begin(), c.end());
    c.erase(std::unique(c.begin(), c.end()), c.end());
    return c;
}

// How many colours of `p` are not among `known` (sorted).
int fresh_colours(const Pixels& p, const std::vector<unsigned>& known) {
    int n = 0;
    for (unsigned c : colours(p)) n += !std::binary_search(known.begin(), known.end(), c);
    return n;
}

class FontGl : public DrawGl {
protected:
    int load_font(const std::string& name, int size) {
        Capture err(stderr), out(stdout);
        int id = font_load(name.c_str(), size);
        if (id && _font->data[id].tex) nearest(gfx_tex_get_id(_font->data[id].tex));
        return id;
    }
    int blocks() {
        EXPECT_TRUE(write_png(dir / "blocks.png", blocks_page()));
        EXPECT_TRUE(write_file(dir / "blocks.fnt", BLOCKS_FNT));
        return load_font("blocks", 0);
    }
    // "wide": a 300x200 patterned page, uploaded as a 512x256 texture (the
    // premultiplied page into *pm).  'A' is its cell at (250, 150), 20x30;
    // 'B' the cell at (10, 20), 15x25, 1 right and 2 down.  Lines start at
    // the y asked for.
    int wide(Pixels* pm) {
        Pixels page = pattern(300, 200);
        EXPECT_TRUE(write_png(dir / "wide.png", page));
        EXPECT_TRUE(write_file(dir / "wide.fnt",
                               "common lineHeight=30 base=30 scaleW=300 scaleH=200\n"
                               "char id=65 x=250 y=150 width=20 height=30 xoffset=0 yoffset=0 xadvance=22\n"
                               "char id=66 x=10 y=20 width=15 height=25 xoffset=1 yoffset=2 xadvance=16\n"));
        *pm = premultiplied(page);
        return load_font("wide", 0);
    }
};

} // namespace

TEST_F(FontGl, GlyphBoxesLightAtTheirOffsetsBelowTheBaselineOffset) {
    int id = blocks();
    ASSERT_NE(id, 0);
    font_draw(id, "AB", 100, 50, 0, -1);
    const float y0 = 50 + BASE_OFFSET;
    expect_screen(
        [&](int x, int y) {
            bool lit = covers(100 + 1, y0 + 3, 6, 9, x, y) || covers(100 + 8 + 2, y0 + 5, 5, 7, x, y);
            return lit ? WHITE : BLACK;
        },
        "A then B");
}

TEST_F(FontGl, WrappedAlignedLinesAndScale) {
    int id = blocks();
    // Size 48 doubles every box; "AB A" wraps at 40 into "AB" (30 wide) and
    // "A" (16 wide), each right-aligned in 40.
    int big = load_font("blocks", 48);
    ASSERT_NE(big, id);
    font_draw(big, "AB A", 200, 100, 40, 1);
    const float y0 = 100 + 2 * BASE_OFFSET;
    expect_screen(
        [&](int x, int y) {
            const float l1 = 200 + 10, l2 = 200 + 24;
            bool lit = covers(l1 + 2, y0 + 6, 12, 18, x, y) || covers(l1 + 16 + 4, y0 + 10, 10, 14, x, y) ||
                       covers(l2 + 2, y0 + 48 + 6, 12, 18, x, y);
            return lit ? WHITE : BLACK;
        },
        "two right-aligned lines at twice the size");
}

TEST_F(FontGl, LinesLongerThanTheGlyphArraysAreDrawnWhole) {
    int id = blocks();
    std::string line(300, 'I');
    font_draw(id, line.c_str(), 10, 200, 0, -1);
    const float y0 = 200 + BASE_OFFSET;
    expect_screen([&](int x, int y) { return x >= 10 && x < 610 && x % 2 == 0 && covers(x, y0, 1, 4, x, y) ? WHITE : BLACK; },
                  "300 glyphs");
}

TEST_F(FontGl, ClippedGlyphsAreTrimmedAndHiddenLinesSkipped) {
    int id = blocks();
    gfx_clip(103, 0, 100, 480);
    font_draw(id, "AB\nAB", 100, 50, 0, -1);
    gfx_unclip();
    gfx_clip(0, 0, 640, 70);
    font_draw(id, "A\nA", 300, 50, 0, -1);
    gfx_unclip();
    const float y0 = 50 + BASE_OFFSET;
    expect_screen(
        [&](int x, int y) {
            bool lit = false;
            for (float ly : {y0, y0 + 24})
                lit = lit || covers(103, ly + 3, 4, 9, x, y) || covers(110, ly + 5, 5, 7, x, y);
            lit = lit || covers(301, y0 + 3, 6, 9, x, y); // the second line lies below 70
            return lit ? WHITE : BLACK;
        },
        "clipped text");
}

TEST_F(FontGl, PagePaddedToAPowerOfTwoKeepsItsGlyphs) {
    // Glyph cells are in page pixels and must map to the same texels.
    Pixels pm;
    int id = wide(&pm);
    ASSERT_NE(id, 0);
    EXPECT_EQ(_gfx->tex_data[_font->data[id].tex].rect.w, 512);
    font_draw(id, "AB", 50, 60, 0, -1);
    expect_screen(
        [&](int x, int y) {
            if (covers(50, 60, 20, 30, x, y)) return shown(pm, 250 + x - 50, 150 + y - 60);
            if (covers(73, 62, 15, 25, x, y)) return shown(pm, 10 + x - 73, 20 + y - 62);
            return BLACK;
        },
        "glyphs from a padded page");
}

TEST_F(FontGl, ClippedGlyphShowsTheTexelsOfItsVisiblePartNotItsWholeCellSquashed) {
    Pixels pm;
    int id = wide(&pm);
    ASSERT_NE(id, 0);
    gfx_clip(60, 70, 100, 100);
    font_draw(id, "A", 50, 60, 0, -1);
    gfx_unclip();
    expect_screen([&](int x, int y) { return covers(60, 70, 10, 20, x, y) ? shown(pm, 250 + x - 50, 150 + y - 60) : BLACK; },
                  "the bottom right of A");
}

TEST_F(FontGl, FontWithoutItsPageDrawsNothing) {
    ASSERT_TRUE(write_file(dir / "nopage.fnt", BLOCKS_FNT));
    int id = load_font("nopage", 0);
    ASSERT_NE(id, 0);
    EXPECT_EQ(_font->data[id].tex, 0);
    font_draw(id, "ABI", 10, 10, 0, -1);
    font_draw(0, "ABI", 10, 10, 0, -1);
    expect_screen([](int, int) { return BLACK; }, "no solid boxes");
}

TEST_F(FontGl, ConsoleFontAndBlackPictureFromTheDataDirectory) {
    driver_set_altdir(ZOV_TEST_DATA "/../../data");
    int id = load_font("console", 24);
    ASSERT_NE(id, 0);
    const FontInfo& f = _font->data[id];
    EXPECT_EQ(f.scale, 1.0f) << "baked at its native size, drawn unscaled";
    ASSERT_NE(f.tex, 0);
    for (int c = 33; c < 127; c++) EXPECT_GT(f.rects[c].w, 0) << "printable glyph " << c;

    font_draw(id, "AB", 20, 30, 0, -1);
    const float y0 = 30 + (float)((f.height - f.base) * 0.333);
    Pixels s = grab();
    int lit_in[2] = {0, 0}, lit_out = 0;
    for (int y = 0; y < WIN_H; y++)
        for (int x = 0; x < WIN_W; x++) {
            if (s.at(x, y)[0] == 0) continue;
            float gx = 20;
            bool in = false;
            for (int i = 0; i < 2; i++) {
                unsigned char c = "AB"[i];
                if (covers(gx + f.shapes[c].x, y0 + f.shapes[c].y, f.rects[c].w, f.rects[c].h, x, y)) {
                    lit_in[i]++;
                    in = true;
                }
                gx += f.shapes[c].w;
            }
            if (!in) lit_out++;
        }
    EXPECT_GT(lit_in[0], 40) << "A";
    EXPECT_GT(lit_in[1], 40) << "B";
    EXPECT_EQ(lit_out, 0) << "nothing outside the glyph cells";

    // "black" darkens what lies under it, wherever it is stretched.
    int black;
    {
        Capture err(stderr), out(stdout);
        black = gfx_img_load("black");
    }
    ASSERT_NE(black, 0);
    gfx_fill(0xFFFFFF, 0, 0, WIN_W, WIN_H);
    gfx_img_blit(black, 0, 0, WIN_W, WIN_H);
    expect_screen([](int, int) { return BLACK; }, "opaque black over white");
}

TEST_F(FontGl, NearestTextAtFractionalPlacesShowsOnlyColoursOfItsWholePlaceAndShrunkTextIsSmoothed) {
    driver_set_altdir(ZOV_TEST_DATA "/../../data");
    g_mag_filter = GL_NEAREST;
    int own, half;
    {
        Capture err(stderr), out(stdout);
        own = font_load("font", 0);
        half = font_load("font", 8);
    }
    g_mag_filter = GL_LINEAR;
    ASSERT_TRUE(own && half);
    const char* line = "The quick brown fox jumps over the lazy dog: 0123456789 ,.;!?";
    auto drawn = [&](int font, float off) {
        gfx_clear();
        font_draw(font, line, 20 + off, 20 + off, 0, -1);
        return grab();
    };
    const std::vector<unsigned> whole = colours(drawn(own, 0));
    ASSERT_GT(whole.size(), 3u) << "an antialiased font";
    for (float off : {0.25f, 0.5f, 0.75f})
        EXPECT_EQ(fresh_colours(drawn(own, off), whole), 0)
            << "pixels of a colour the line at a whole place lacks, moved by " << off;
    EXPECT_GT(fresh_colours(drawn(half, 0.25f), whole), 0) << "text at half its size blends texels through the mipmaps";
}

TEST_F(FontGl, SlightlyShrunkTextIsSmoothedWhateverGlyphEndsIt) {
    // At 63/64 of its size a 30-texel-high 'A' is shrunk, while a 1x1 '.'
    // lies within the margin that unshrunk quads may exceed: the run holds
    // a shrunk glyph, so all of it takes the mipmaps, not "nearest".
    Pixels page = pattern(300, 200);
    ASSERT_TRUE(write_png(dir / "dots.png", page));
    ASSERT_TRUE(write_png(dir / "stack.png", page));
    const char* common = "common lineHeight=64 base=64 scaleW=300 scaleH=200\n";
    ASSERT_TRUE(write_file(dir / "dots.fnt", std::string(common) +
                                                 "char id=65 x=250 y=150 width=20 height=30 xadvance=22\n"
                                                 "char id=46 x=10 y=20 width=1 height=1 xadvance=2\n"));
    // Its 'A's pile up in one place and its '.' stands 100 texels apart.
    ASSERT_TRUE(write_file(dir / "stack.fnt", std::string(common) +
                                                  "char id=65 x=250 y=150 width=20 height=30 xadvance=0\n"
                                                  "char id=46 x=10 y=20 width=1 height=1 xoffset=100 xadvance=2\n"));
    auto load = [&](const char* name) {
        g_mag_filter = GL_NEAREST;
        Capture err(stderr), out(stdout);
        int id = font_load(name, 63);
        g_mag_filter = GL_LINEAR;
        return id;
    };
    const int id = load("dots"), stack = load("stack");
    ASSERT_TRUE(id && stack);
    std::vector<unsigned> known = colours(premultiplied(page));
    known.insert(known.begin(), 0u); // the cleared window
    for (const char* text : {"A", "A.", ".A"}) {
        gfx_clear();
        font_draw(id, text, 40, 40, 0, -1);
        EXPECT_GT(fresh_colours(grab(), known), 0) << "\"" << text << "\" shows only the page's own texels";
    }
    // A line longer than one batch of 256 glyphs: the batch after the
    // shrunk 'A's holds only the dot, which shows a texel of its own.
    gfx_clear();
    font_draw(stack, (std::string(256, 'A') + ".").c_str(), 40, 40, 0, -1);
    Pixels s = grab(), dot;
    dot.w = s.w - 100, dot.h = s.h;
    for (int y = 0; y < s.h; y++) dot.px.insert(dot.px.end(), s.at(100, y), s.at(100, y) + dot.w * 4);
    EXPECT_EQ(colours(dot).size(), 2u) << "the dot on the cleared window";
    EXPECT_EQ(fresh_colours(dot, known), 0) << "the dot after 256 shrunk glyphs is smoothed";
}
