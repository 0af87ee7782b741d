// bake_font: turns a TrueType font into a bitmap font for the runtime: a
// BMFont text file "<out>.fnt" and its glyph page "<out>.png" (white glyphs,
// coverage in alpha), for the printable ASCII bytes 32 to 126.
//
//   bake_font <font.ttf> <line height in pixels> <out path without extension>
//
// The font is meant to be drawn at its native size, so everything that
// places a glyph (advance, offsets, line height, baseline) is a whole pixel:
// glyphs then land on the pixel grid and stay crisp.  The page is a power of
// two on both sides, so the texture needs no padding.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#define STB_TRUETYPE_IMPLEMENTATION
#include <stb/stb_truetype.h>
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

namespace {

const int FIRST = 32, LAST = 126;
const int PAGE_W = 256;
const int GAP = 1; // empty texels between glyphs, so filtering never bleeds

struct Glyph {
    int id;
    int x = 0, y = 0, w = 0, h = 0; // cell in the page
    int xoff = 0, yoff = 0, adv = 0;
    std::vector<unsigned char> alpha;
};

std::vector<unsigned char> read_file(const char* path) {
    std::vector<unsigned char> data;
    FILE* f = std::fopen(path, "rb");
    if (!f) return data;
    unsigned char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) data.insert(data.end(), buf, buf + n);
    std::fclose(f);
    return data;
}

int next_pow2(int v) {
    int p = 1;
    while (p < v) p *= 2;
    return p;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s font.ttf line-height out-stem\n", argv[0]);
        return 2;
    }
    const int line_h = std::atoi(argv[2]);
    const std::string out = argv[3];
    std::vector<unsigned char> ttf = read_file(argv[1]);
    stbtt_fontinfo font;
    if (ttf.empty() || line_h <= 0 || !stbtt_InitFont(&font, ttf.data(), stbtt_GetFontOffsetForIndex(ttf.data(), 0))) {
        std::fprintf(stderr, "bake_font: cannot read font %s\n", argv[1]);
        return 1;
    }
    // Ascent to descent spans exactly one line.
    const float scale = stbtt_ScaleForPixelHeight(&font, (float)line_h);
    int ascent, descent, gap;
    stbtt_GetFontVMetrics(&font, &ascent, &descent, &gap);
    const int base = (int)std::lround(ascent * scale);

    std::vector<Glyph> glyphs;
    for (int c = FIRST; c <= LAST; c++) {
        Glyph g;
        g.id = c;
        int adv, lsb;
        stbtt_GetCodepointHMetrics(&font, c, &adv, &lsb);
        g.adv = (int)std::lround(adv * scale);
        int x0, y0, x1, y1;
        stbtt_GetCodepointBitmapBox(&font, c, scale, scale, &x0, &y0, &x1, &y1);
        g.w = x1 - x0;
        g.h = y1 - y0;
        g.xoff = x0;
        g.yoff = base + y0;
        if (g.w > 0 && g.h > 0) {
            g.alpha.resize((size_t)g.w * g.h);
            stbtt_MakeCodepointBitmap(&font, g.alpha.data(), g.w, g.h, g.w, scale, scale, c);
        } else {
            g.w = g.h = 0;
        }
        glyphs.push_back(std::move(g));
    }

    // Shelf packing, left to right, rows as tall as their tallest glyph.
    int px = GAP, py = GAP, row_h = 0;
    for (Glyph& g : glyphs) {
        if (g.w == 0) continue;
        if (px + g.w + GAP > PAGE_W) {
            px = GAP;
            py += row_h + GAP;
            row_h = 0;
        }
        g.x = px;
        g.y = py;
        px += g.w + GAP;
        if (g.h > row_h) row_h = g.h;
    }
    const int page_h = next_pow2(py + row_h + GAP);

    std::vector<unsigned char> page((size_t)PAGE_W * page_h * 4, 0);
    for (const Glyph& g : glyphs)
        for (int y = 0; y < g.h; y++)
            for (int x = 0; x < g.w; x++) {
                unsigned char* p = &page[((size_t)(g.y + y) * PAGE_W + g.x + x) * 4];
                p[0] = p[1] = p[2] = 255;
                p[3] = g.alpha[(size_t)y * g.w + x];
            }
    const std::string png = out + ".png";
    if (!stbi_write_png(png.c_str(), PAGE_W, page_h, 4, page.data(), PAGE_W * 4)) {
        std::fprintf(stderr, "bake_font: cannot write %s\n", png.c_str());
        return 1;
    }

    const std::string fnt = out + ".fnt";
    FILE* f = std::fopen(fnt.c_str(), "w");
    if (!f) {
        std::fprintf(stderr, "bake_font: cannot write %s\n", fnt.c_str());
        return 1;
    }
    const std::string page_file = png.substr(png.find_last_of('/') + 1);
    std::fprintf(f, "info size=%d bold=0 italic=0 unicode=0 smooth=1 aa=1 padding=0,0,0,0 spacing=%d,%d\n",
                 line_h, GAP, GAP);
    std::fprintf(f, "common lineHeight=%d base=%d scaleW=%d scaleH=%d pages=1 packed=0\n", line_h, base, PAGE_W,
                 page_h);
    std::fprintf(f, "page id=0 file=\"%s\"\n", page_file.c_str());
    std::fprintf(f, "chars count=%d\n", (int)glyphs.size());
    for (const Glyph& g : glyphs)
        std::fprintf(f, "char id=%d x=%d y=%d width=%d height=%d xoffset=%d yoffset=%d xadvance=%d page=0 chnl=15\n",
                     g.id, g.x, g.y, g.w, g.h, g.xoff, g.yoff, g.adv);
    std::fclose(f);
    std::printf("bake_font: %s and %s, %d glyphs, line %d, base %d, page %dx%d\n", fnt.c_str(), png.c_str(),
                (int)glyphs.size(), line_h, base, PAGE_W, page_h);
    return 0;
}
