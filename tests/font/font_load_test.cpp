// Loading and parsing font files: a file made by a third-party generator
// read glyph by glyph, hand-made files with odd ids, CRLF line ends and no
// line height, the lookup order, the cache, the page picture's name, refused
// names and reloading from the resolved path.
#include <map>
#include <regex>
#include <sstream>

#include <sys/stat.h>
#include <unistd.h>

#include "font_fixture.h"

namespace {

// The "char" lines of a BMFont text file, read with a regular expression:
// id -> its key/value pairs.
std::map<int, std::map<std::string, int>> char_lines(const std::string& text) {
    std::map<int, std::map<std::string, int>> out;
    std::istringstream in(text);
    std::string line;
    const std::regex kv("([A-Za-z]+)=(-?[0-9]+)");
    while (std::getline(in, line)) {
        if (line.rfind("char ", 0) != 0) continue;
        std::map<std::string, int> keys;
        for (std::sregex_iterator m(line.begin(), line.end(), kv), end; m != end; ++m)
            keys[(*m)[1]] = std::stoi((*m)[2]);
        out[keys["id"]] = keys;
    }
    return out;
}

void expect_rect(const GfxRect& got, float x, float y, float w, float h, const std::string& what) {
    EXPECT_EQ(got.x, x) << what;
    EXPECT_EQ(got.y, y) << what;
    EXPECT_EQ(got.w, w) << what;
    EXPECT_EQ(got.h, h) << what;
}

} // namespace

// ====== Parsing ======

TEST_F(FontTest, GeneratorFileIsReadGlyphByGlyph) {
    driver_set_altdir(ZOV_TEST_DATA "/fonts");
    int id = load("sdf_sans", 0);
    ASSERT_NE(id, 0);
    const FontInfo& f = info(id);
    EXPECT_EQ(f.height, 29);
    EXPECT_EQ(f.base, 19);
    EXPECT_EQ(f._size, 29);
    EXPECT_EQ(f.scale, 1.0f);
    expect_rect(f.rect, 0, 0, 256, 256, "page size");

    auto file = char_lines(read_file(ZOV_TEST_DATA "/fonts/sdf_sans.fnt"));
    ASSERT_TRUE(file.count(8364) && file.count(937)) << "the file holds ids above 255";
    int stored = 0;
    for (int c = 0; c < FONT_GLYPHS; c++) {
        if (!file.count(c)) {
            expect_rect(f.rects[c], 0, 0, 0, 0, "undefined glyph " + std::to_string(c));
            expect_rect(f.shapes[c], 0, 0, 0, 0, "undefined glyph " + std::to_string(c));
            continue;
        }
        auto& k = file[c];
        std::string what = "glyph " + std::to_string(c);
        expect_rect(f.rects[c], k["x"], k["y"], k["width"], k["height"], what);
        expect_rect(f.shapes[c], k["xoffset"], k["yoffset"], k["xadvance"], k["height"], what);
        stored++;
    }
    EXPECT_EQ(stored, 97) << "printable ASCII, e-acute and u-umlaut";
}

TEST_F(FontTest, IdsOutsideTheByteRangeAreIgnored) {
    ASSERT_TRUE(write_file(dir / "odd.fnt",
                           "common lineHeight=10 base=8 scaleW=32 scaleH=32\n"
                           "char id=65 x=1 y=2 width=3 height=4 xoffset=5 yoffset=6 xadvance=7\n"
                           "char id=300 x=9 y=9 width=9 height=9 xoffset=9 yoffset=9 xadvance=9\n"
                           "char id=-1 x=8 y=8 width=8 height=8 xoffset=8 yoffset=8 xadvance=8\n"
                           "char id=0 x=7 y=7 width=7 height=7 xoffset=7 yoffset=7 xadvance=7\n"
                           "char id=256 x=6 y=6 width=6 height=6 xoffset=6 yoffset=6 xadvance=6\n"
                           "char id=1e300 x=6 y=6 width=6 height=6 xoffset=6 yoffset=6 xadvance=6\n"
                           "char id=255 x=1 y=1 width=1 height=1 xoffset=1 yoffset=1 xadvance=1\n"));
    const FontInfo& f = info(load("odd", 0));
    expect_rect(f.rects['A'], 1, 2, 3, 4, "A");
    expect_rect(f.shapes['A'], 5, 6, 7, 4, "A");
    expect_rect(f.rects[255], 1, 1, 1, 1, "byte 255");
    for (int c = 0; c < FONT_GLYPHS; c++) {
        if (c == 'A' || c == 255) continue;
        EXPECT_EQ(f.shapes[c].w, 0) << "glyph " << c << " came from an id out of range";
    }
}

TEST_F(FontTest, CrlfLinesAndKeyOddities) {
    ASSERT_TRUE(write_file(dir / "crlf.fnt",
                           "info face=\"x y\" size=12\r\n"
                           "common  scaleW=128 scaleH=64 base=9 lineHeight=12\r\n"
                           "char id=66 x=3 y=4 width=5 height=6 xoffset=-1 yoffset=2 xadvance=7.5 junk\r\n"
                           "char id=67 x==3 y=4=5 width=5\r\n"
                           "kerning first=66 second=67 amount=-1\r\n"));
    const FontInfo& f = info(load("crlf", 0));
    EXPECT_EQ(f.height, 12) << "the last key before CR LF";
    EXPECT_EQ(f.base, 9);
    expect_rect(f.rect, 0, 0, 128, 64, "page");
    expect_rect(f.rects['B'], 3, 4, 5, 6, "B");
    expect_rect(f.shapes['B'], -1, 2, 7.5f, 6, "B: the advance keeps its fraction");
    expect_rect(f.rects['C'], 0, 4, 5, 0, "C: x== reads an empty value, y=4=5 the second piece");
}

TEST_F(FontTest, ScaleFollowsTheRequestedSize) {
    EXPECT_EQ(info(mono).scale, 1.0f) << "size 0 is the native size";
    int big = load("mono", 50);
    EXPECT_NE(big, mono);
    EXPECT_EQ(info(big).scale, 2.5f);
    EXPECT_EQ(font_get_height(big, "x", 0), 50.0f);
    EXPECT_EQ(font_get_width(big, "ab"), 51.0f);

    ASSERT_TRUE(write_file(dir / "flat.txt", "common base=5 scaleW=64 scaleH=64\n"
                                             "char id=97 x=0 y=0 width=4 height=4 xadvance=6\n"));
    int flat = load("flat", 24);
    ASSERT_NE(flat, 0) << "found with .txt";
    EXPECT_EQ(info(flat).scale, 1.0f) << "no line height: drawn at the file's size, not scaled by 24/0";
    EXPECT_EQ(font_get_width(flat, "aa"), 13.0f);
}

// ====== Lookup and cache ======

TEST_F(FontTest, FileIsTheNameThenFntThenTxt) {
    ASSERT_TRUE(write_file(dir / "f.txt", "x"));
    EXPECT_STREQ(_font_find("f"), "f.txt");
    ASSERT_TRUE(write_file(dir / "f.fnt", "x"));
    EXPECT_STREQ(_font_find("f"), "f.fnt");
    ASSERT_TRUE(write_file(dir / "f", "x"));
    EXPECT_STREQ(_font_find("f"), "f");
    EXPECT_EQ(_font_find("g"), nullptr);
}

TEST_F(FontTest, MissingFontIsReportedOnceAndCachedAsZero) {
    Capture err(stderr);
    EXPECT_EQ(font_load("nothing", 24), 0);
    EXPECT_EQ(font_load("nothing", 24), 0);
    EXPECT_EQ(err.text(), "trying load font nothing\nunable to find font nothing\n");
    EXPECT_EQ(font_get_height(0, "x", 0), 0.0f) << "font 0 measures nothing";
    EXPECT_EQ(font_get_width(0, "xyz"), 1.0f);
}

TEST_F(FontTest, SizesAreSeparateRecordsSharingOnePage) {
    Pixels page = pattern(64, 64);
    ASSERT_TRUE(write_png(dir / "paged.png", page));
    ASSERT_TRUE(write_file(dir / "paged.fnt", mono_fnt()));
    Captured log = capture([&] {
        int a = font_load("paged", 24);
        int b = font_load("paged", 32);
        EXPECT_EQ(font_load("paged", 24), a);
        EXPECT_NE(a, b);
        EXPECT_NE(info(a).tex, 0);
        EXPECT_EQ(info(a).tex, info(b).tex);
        EXPECT_EQ(_font->map.count("paged:24"), 1u);
        EXPECT_EQ(_font->map.count("paged:32"), 1u);
    });
    EXPECT_NE(log.err.find("doing load font paged (2)"), std::string::npos) << log.err;
    EXPECT_NE(log.err.find("doing load font paged (3)"), std::string::npos) << log.err;
}

TEST_F(FontTest, NameWithTheFontExtensionFindsThePagePictureWithout) {
    ASSERT_TRUE(write_png(dir / "cons.png", pattern(8, 8)));
    ASSERT_TRUE(write_file(dir / "cons.fnt", mono_fnt()));
    int id = load("cons.fnt", 0);
    ASSERT_NE(id, 0);
    ASSERT_NE(info(id).tex, 0);
    const GfxTexture& t = _gfx->tex_data[info(id).tex];
    EXPECT_STREQ(t.name, "cons") << "not the font file itself";
    EXPECT_NE(std::string(t.tex_fname).find("cons.png"), std::string::npos) << t.tex_fname;
}

TEST_F(FontTest, MissingPagePictureStillMeasures) {
    // mono has no picture: it measures, and (see the display tests) draws
    // nothing.
    EXPECT_EQ(info(mono).tex, 0);
    EXPECT_EQ(font_get_width(mono, "abc"), 31.0f);
}

TEST_F(FontTest, OverLongNamesAreRefusedWithALine) {
    std::string key_long(260, 'k');
    Capture err(stderr);
    EXPECT_EQ(font_load(key_long.c_str(), 0), 0);
    std::string path_long(600, 'p');
    EXPECT_EQ(_font_find(path_long.c_str()), nullptr);
    std::string text = err.text();
    EXPECT_NE(text.find("font name too long"), std::string::npos) << text;
    EXPECT_EQ(text.find("trying load font"), std::string::npos) << "refused before any lookup";
}

// ====== Reload ======

TEST_F(FontTest, ReloadReadsTheResolvedFileEvenWithADirectoryOrAnotherAltdir) {
    const std::string sub = dir / "sub";
    ASSERT_EQ(mkdir(sub.c_str(), 0755), 0);
    ASSERT_TRUE(write_file(sub + "/deep.fnt", "common lineHeight=10 base=8\n"));
    int id = load("sub/deep", 0);
    ASSERT_NE(id, 0);
    EXPECT_EQ(info(id).height, 10);
    EXPECT_EQ(std::string(info(id).fnt_fname), sub + "/deep.fnt");

    ASSERT_TRUE(write_file(sub + "/deep.fnt", "common lineHeight=14 base=8\n"));
    TempDir other;
    ASSERT_TRUE(write_file(other / "deep.fnt", "common lineHeight=99 base=8\n"));
    driver_set_altdir(other.path().c_str());
    font_reload(id);
    EXPECT_EQ(info(id).height, 14) << "the file that was loaded, not a new lookup";

    unlink((sub + "/deep.fnt").c_str());
    font_reload(id);
    EXPECT_EQ(info(id).height, 14) << "a file that is gone changes nothing";
    rmdir(sub.c_str());
}

TEST_F(FontTest, ReloadKeepsGlyphsTheNewFileLacks) {
    ASSERT_TRUE(write_file(dir / "mono.fnt", "common lineHeight=30 base=20\nchar id=97 xadvance=12\n"));
    font_reload(mono);
    EXPECT_EQ(info(mono).height, 30);
    EXPECT_EQ(info(mono).shapes['a'].w, 12);
    EXPECT_EQ(info(mono).shapes['b'].w, 10) << "not cleared first";
}

TEST_F(FontTest, AutoReloadWaitsUntilTheFileHasBeenQuietForTwoSeconds) {
    const std::string path = dir / "mono.fnt";
    // Loaded from a file written long ago.
    ASSERT_TRUE(set_mtime(path, time(nullptr) - 100));
    font_reload(mono);
    ASSERT_TRUE(write_file(path, "common lineHeight=40 base=30\n"));
    // One pass per clock second: each pass waits for the next second, then
    // dates the file that many seconds back and checks it.
    auto pass_aged = [&](int age) {
        time_t t0 = time(nullptr);
        while (time(nullptr) == t0) usleep(20000);
        ASSERT_TRUE(set_mtime(path, time(nullptr) - age));
        font_reload_auto();
    };
    pass_aged(1);
    EXPECT_EQ(info(mono).height, 20) << "quiet for 1 second: not yet";
    pass_aged(2);
    EXPECT_EQ(info(mono).height, 40) << "quiet for 2 seconds";
    EXPECT_EQ(info(mono).fnt_mtime, driver_file_mtime(path.c_str()));
    EXPECT_EQ(font_load("mono", 0), mono) << "the id is kept";
}
