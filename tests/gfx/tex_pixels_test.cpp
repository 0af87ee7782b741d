// The texture loader's pixel pipeline as pure functions: premultiplication,
// power-of-two padding, halving, decoding by content, the GL version text
// and the halving rule.  No window.
#include <gtest/gtest.h>

#include <png.h>

#include <cstring>

#include "support/capture.h"
#include "support/tex_files.h"
#include "zov_driver-tex_load.h"
#include "zov_driver.h"

namespace {

Pixels one_texel(unsigned char r, unsigned char g, unsigned char b, unsigned char a) {
    Pixels p;
    p.w = p.h = 1;
    p.px = {r, g, b, a};
    return p;
}

std::vector<unsigned char> premultiply(Pixels p) {
    _driver_tex_premultiply(p.px.data(), (size_t)p.w * p.h);
    return p.px;
}

} // namespace

// ====== Premultiplication ======

TEST(TexPixels, PremultiplyDividesBy256AndKeepsAlpha) {
    EXPECT_EQ(premultiply(one_texel(200, 100, 50, 128)), (std::vector<unsigned char>{100, 50, 25, 128}));
    EXPECT_EQ(premultiply(one_texel(255, 255, 255, 255)), (std::vector<unsigned char>{254, 254, 254, 255}))
        << "opaque white loses one step";
    EXPECT_EQ(premultiply(one_texel(255, 17, 3, 0)), (std::vector<unsigned char>{0, 0, 0, 0}))
        << "invisible texels become transparent black";
}

// ====== Padding ======

TEST(TexPixels, SidesComeFromTheTableOrStayAbove4096) {
    const int cases[][2] = {{1, 64}, {64, 64}, {65, 128}, {100, 128}, {300, 512}, {2048, 2048},
                            {2049, 4096}, {4096, 4096}, {4097, 4097}, {5000, 5000}};
    for (const auto& c : cases) EXPECT_EQ(_driver_tex_side(c[0]), c[1]) << "side " << c[0];
}

TEST(TexPixels, PaddingPutsThePictureTopLeftAndCarriesItsEdgesOut) {
    // Wide, tall, one texel; one side already a power of two (the last row
    // or column then ends the buffer, so a copy one texel too long shows);
    // one column, one row; no padding at all; a side past the table.
    const int cases[][4] = {{100, 30, 128, 64}, {3, 70, 64, 128},  {1, 1, 64, 64},      {64, 5, 64, 64},
                            {100, 64, 128, 64}, {64, 100, 64, 128}, {1, 64, 64, 64},     {64, 1, 64, 64},
                            {1, 200, 64, 256},  {64, 64, 64, 64},   {4097, 2, 4097, 64}, {2, 4097, 64, 4097}};
    for (const auto& c : cases) {
        const int w = c[0], h = c[1], tw = c[2], th = c[3];
        Pixels p = pattern(w, h);
        unsigned char* t = _driver_tex_pad(p.px.data(), w, h, tw, th);
        ASSERT_NE(t, nullptr);
        int wrong = 0;
        for (int y = 0; y < th; y++)
            for (int x = 0; x < tw; x++) {
                // Inside, the picture; right of it its last column, below
                // it its last row, and the corner texel in the corner.
                const unsigned char* want = p.at(x < w ? x : w - 1, y < h ? y : h - 1);
                wrong += std::memcmp(t + ((size_t)y * tw + x) * 4, want, 4) != 0;
            }
        std::free(t);
        EXPECT_EQ(wrong, 0) << w << "x" << h << " in " << tw << "x" << th;
    }
}

// ====== Limits ======

TEST(TexLimits, PicturesBeyondASideOrTheTexelBoundAreRefused) {
    const struct {
        int w, h, max_side;
        const char* reason; // empty: the picture fits
    } cases[] = {
        {1, 1, 16384, ""},
        {16384, 1024, 16384, ""},
        {2049, 2049, 16384, ""}, // a 4096 x 4096 texture: the bound itself
        {8192, 2048, 16384, ""},
        {16385, 1, 16384, "picture is 16385x1, larger than 16384x16384"},
        {1, 16385, 16384, "picture is 1x16385, larger than 16384x16384"},
        {300, 20, 256, "picture is 300x20, larger than 256x256"},
        {4097, 4096, 16384, "picture is 4097x4096, its 4097x4096 texture has more than 16777216 texels"},
        {8192, 2049, 16384, "picture is 8192x2049, its 8192x4096 texture has more than 16777216 texels"},
        {16384, 1025, 16384, "picture is 16384x1025, its 16384x2048 texture has more than 16777216 texels"},
        {4, 0, 16384, "picture is 4x0, it has no pixels"},
        {0, 4, 16384, "picture is 0x4, it has no pixels"},
        {-3, 4, 16384, "picture is -3x4, it has no pixels"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(_driver_tex_size_refusal(c.w, c.h, c.max_side), c.reason) << c.w << "x" << c.h;
}

// ====== Halving ======

TEST(TexPixels, HalvingAveragesEach2x2BlockRoundingDown) {
    Pixels p;
    p.w = p.h = 2;
    p.px = {1, 10, 0, 255, 2, 20, 1, 255, 3, 30, 1, 255, 4, 41, 1, 254};
    int w = 2, h = 2, tw = 2, th = 2;
    _driver_tex_halve(p.px.data(), &w, &h, &tw, &th);
    EXPECT_EQ(w, 1);
    EXPECT_EQ(tw, 1);
    EXPECT_EQ(p.px[0], 2) << "(1+2+3+4)/4 = 2.5 rounds down";
    EXPECT_EQ(p.px[1], 25) << "(10+20+30+41)/4 = 25.25";
    EXPECT_EQ(p.px[2], 0) << "(0+1+1+1)/4 = 0.75";
    EXPECT_EQ(p.px[3], 254) << "(3*255+254)/4 = 254.75";
}

TEST(TexPixels, HalvingInPlaceReadsEverySourceBeforeItIsOverwritten) {
    Pixels src = pattern(256, 128);
    Pixels p = src;
    int w = 201, h = 99, tw = 256, th = 128;
    _driver_tex_halve(p.px.data(), &w, &h, &tw, &th);
    EXPECT_EQ(w, 100) << "odd sizes drop the remainder";
    EXPECT_EQ(h, 49);
    EXPECT_EQ(tw, 128);
    EXPECT_EQ(th, 64);
    int wrong = 0;
    for (int y = 0; y < th; y++)
        for (int x = 0; x < tw; x++)
            for (int c = 0; c < 4; c++) {
                int sum = src.at(2 * x, 2 * y)[c] + src.at(2 * x + 1, 2 * y)[c] + src.at(2 * x, 2 * y + 1)[c] +
                          src.at(2 * x + 1, 2 * y + 1)[c];
                wrong += p.px[((size_t)y * tw + x) * 4 + c] != sum >> 2;
            }
    EXPECT_EQ(wrong, 0);
}

// ====== Decoding ======

TEST(TexDecode, ContentDecidesTheFormatWhateverTheExtension) {
    TempDir dir;
    // Palette PNG, GIF, PPM, BMP and JPEG of the same 16x16 picture, each
    // under picture extensions that are not its own.
    for (const char* format : {"png", "gif", "ppm", "bmp", "jpg"}) {
        std::string original = std::string(PYTHON_PICTURES "/python.") + format;
        Pixels want = decode(original);
        ASSERT_EQ(want.w, 16) << original;
        for (const char* ext : {".jpg", ".zov", ".tga", ".png"}) {
            std::string copy = dir / (std::string("as-") + format + ext);
            ASSERT_TRUE(write_file(copy, read_file(original)));
            int w, h, n;
            std::string why;
            unsigned char* px = _stbi_load(copy.c_str(), &w, &h, &n, 4, ZOV_TEX_MAX_SIDE, &why);
            ASSERT_NE(px, nullptr) << copy;
            EXPECT_EQ(w, 16);
            EXPECT_EQ(h, 16);
            EXPECT_EQ(std::memcmp(px, want.px.data(), want.px.size()), 0) << copy;
            stbi_image_free(px);
        }
    }
}

TEST(TexDecode, ATgaWrittenByStbImageWriteReadsBack) {
    TempDir dir;
    Pixels icon = decode(ADWAITA "/24x24/mimetypes/audio-x-generic.png");
    ASSERT_EQ(icon.w, 24);
    ASSERT_TRUE(stbi_write_tga((dir / "icon.tga").c_str(), 24, 24, 4, icon.px.data()));
    int w, h, n;
    std::string why;
    unsigned char* px = _stbi_load((dir / "icon.tga").c_str(), &w, &h, &n, 4, ZOV_TEX_MAX_SIDE, &why);
    ASSERT_NE(px, nullptr);
    EXPECT_EQ(std::memcmp(px, icon.px.data(), icon.px.size()), 0);
    stbi_image_free(px);
}

// 3 x 2, 24 bits, rows padded to 4 bytes: bottom up as usual, or top down
// with its height negative.
TEST(TexDecode, ATopDownBmpShowsTheSamePixelsAsItsBottomUpTwin) {
    const unsigned rgb[6] = {0xff0000, 0x00ff80, 0x0000ff, 0x102030, 0xffffff, 0x000000}; // top row first
    TempDir dir;
    for (int top_down : {0, 1}) {
        std::string rows, path = dir / "two.bmp", why;
        for (int r = 0; r < 2; r++) {
            for (int x = 0; x < 3; x++) rows += packed(rgb[(top_down ? r : 1 - r) * 3 + x], 3, false); // blue, green, red
            rows += std::string(3, '\0');
        }
        ASSERT_TRUE(write_file(path, bmp_file(3, top_down ? -2 : 2, 24, rows)));
        int w, h, n;
        unsigned char* px = _stbi_load(path.c_str(), &w, &h, &n, 4, ZOV_TEX_MAX_SIDE, &why);
        ASSERT_NE(px, nullptr) << top_down << ": " << why;
        EXPECT_EQ(w * 10 + h, 32);
        for (int i = 0; i < 6; i++)
            EXPECT_EQ((unsigned)(px[i * 4] << 16 | px[i * 4 + 1] << 8 | px[i * 4 + 2] | px[i * 4 + 3] << 24),
                      0xff000000 | rgb[i]) << top_down << ", pixel " << i;
        stbi_image_free(px);
    }
}

namespace {

// A PNG that libpng writes: w x h of the colour type and bit depth, Adam7
// interlaced when asked, its bytes counting up.
std::string libpng_file(int w, int h, int colour, int depth, bool interlaced) {
    std::string out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &out, [](png_structp p, png_bytep d, size_t n) {
        static_cast<std::string*>(png_get_io_ptr(p))->append((const char*)d, n); }, nullptr);
    png_set_IHDR(png, info, w, h, depth, colour, interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, 0, 0);
    std::vector<png_color> palette(256, png_color{200, 100, 50});
    if (colour == PNG_COLOR_TYPE_PALETTE) png_set_PLTE(png, info, palette.data(), 1 << depth);
    png_write_info(png, info);
    std::vector<png_byte> px(png_get_rowbytes(png, info) * h);
    for (size_t i = 0; i < px.size(); i++) px[i] = (png_byte)(i * 37 + 11);
    std::vector<png_bytep> rows;
    for (int y = 0; y < h; y++) rows.push_back(&px[px.size() / h * y]);
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

} // namespace

// The image data of a real PNG inflates to exactly what its size needs:
// every colour type and bit depth, interlaced or not, at sizes whose passes
// are uneven or empty, loads as stb_image alone decodes it; so does one
// with bytes after its end (IEND), which some tools append.
TEST(TexDecode, PngsOfEveryKindLoadAsTheDecoderAloneReadsThem) {
    const std::vector<int> depths[7] = {{1, 2, 4, 8, 16}, {}, {8, 16}, {1, 2, 4, 8}, {8, 16}, {}, {8, 16}}; // by colour type
    TempDir dir;
    for (int colour = 0; colour < 7; colour++)
        for (int depth : depths[colour])
            for (int kind = 0; kind < 6; kind++) { // 1x1 or 13x7, interlaced or not, or with bytes after IEND
                SCOPED_TRACE(testing::Message() << "colour " << colour << ", depth " << depth << ", kind " << kind);
                int w = kind & 1 ? 13 : 1, w0, h0, n;
                std::string file = libpng_file(w, w / 2 + 1, colour, depth, kind == 2 || kind == 3), path = dir / "kind.png", why;
                if (kind > 3) file += "bytes a tool left after the end";
                ASSERT_TRUE(write_file(path, file));
                unsigned char* want = stbi_load_from_memory((const stbi_uc*)file.data(), (int)file.size(), &w0, &h0, &n, 4);
                unsigned char* got = _stbi_load(path.c_str(), &w0, &h0, &n, 4, ZOV_TEX_MAX_SIDE, &why);
                ASSERT_TRUE(want && got) << why;
                EXPECT_EQ(std::memcmp(got, want, (size_t)w0 * h0 * 4), 0);
                stbi_image_free(want);
                stbi_image_free(got);
            }
}

TEST(TexDecode, AFileThatCannotBeReadGivesAFixedReasonNotAStaleOne) {
    TempDir dir;
    ASSERT_TRUE(write_file(dir / "junk.png", "this is no picture"));
    int w = -1, h = -1, n;
    std::string why;
    EXPECT_EQ(_stbi_load((dir / "junk.png").c_str(), &w, &h, &n, 4, ZOV_TEX_MAX_SIDE, &why), nullptr);
    ASSERT_FALSE(why.empty());
    std::string decode_reason = why;
    EXPECT_EQ(_stbi_load((dir / "missing.png").c_str(), &w, &h, &n, 4, ZOV_TEX_MAX_SIDE, &why), nullptr);
    EXPECT_EQ(why, "file missing, empty or unreadable");
    EXPECT_NE(decode_reason, why);
    ASSERT_TRUE(write_file(dir / "empty.png", ""));
    EXPECT_EQ(_stbi_load((dir / "empty.png").c_str(), &w, &h, &n, 4, ZOV_TEX_MAX_SIDE, &why), nullptr);
    EXPECT_EQ(why, "file missing, empty or unreadable");
}

TEST(TexDecode, LoaderReportsAnUndecodableFileAndLeavesTheOutputsAlone) {
    TempDir dir;
    ASSERT_TRUE(write_file(dir / "junk.png", "this is no picture"));
    // A critical chunk whose name starts with a zero byte: stb_image's
    // reason for it is an empty text.
    ASSERT_TRUE(write_png(dir / "odd.png", pattern(3, 3)));
    std::string odd = read_file(dir / "odd.png");
    odd.replace(odd.find("IEND"), 4, std::string("\0END", 4));
    ASSERT_TRUE(write_file(dir / "odd.png", odd));
    int w = 7, h = 8, tw = 9, th = 10;
    Capture err(stderr);
    EXPECT_EQ(_driver_tex_load((dir / "junk.png").c_str(), &w, &h, &tw, &th), 0);
    EXPECT_EQ(_driver_tex_load((dir / "none.png").c_str(), &w, &h, &tw, &th), 0);
    EXPECT_EQ(_driver_tex_load((dir / "odd.png").c_str(), &w, &h, &tw, &th), 0);
    std::string text = err.text();
    EXPECT_NE(text.find("stbi_load failed " + (dir / "junk.png") + " - "), std::string::npos) << text;
    EXPECT_NE(text.find("stbi_load failed " + (dir / "none.png") + " - file missing"), std::string::npos) << text;
    EXPECT_NE(text.find("stbi_load failed " + (dir / "odd.png") + " - damaged or not a picture\n"), std::string::npos)
        << text;
    EXPECT_EQ(w + h + tw + th, 7 + 8 + 9 + 10);
}

TEST(TexDecode, HostileFilesAreRefusedBeforeDecoding) {
    // Each would crash, hang or allocate gigabytes inside stb_image.
    TempDir dir;
    for (const HostilePicture& p : hostile_pictures()) {
        std::string path = dir / p.name;
        ASSERT_TRUE(write_file(path, p.bytes));
        int w = 7, h = 8, tw = 9, th = 10;
        Capture err(stderr);
        EXPECT_EQ(_driver_tex_load(path.c_str(), &w, &h, &tw, &th), 0) << p.name;
        EXPECT_EQ(err.text(), "stbi_load failed " + path + " - " + p.reason + "\n");
        EXPECT_EQ(w + h + tw + th, 7 + 8 + 9 + 10) << p.name;
    }
}

// Kinds of picture that stb_image does not decode are named, not left at
// its "unknown image type".
TEST(TexDecode, KindsTheDecoderDoesNotReadAreNamed) {
    std::string rle = bmp_file(4, 4, 8, std::string(16, '\0')), arithmetic = jpeg_claiming(16, 16);
    rle[30] = 1; // compression: runs of 8-bit indices
    std::string rle4 = rle, lossless = arithmetic;
    rle4[30] = 2; // of 4-bit ones
    arithmetic[arithmetic.find("\xff\xc0") + 1] = '\xc9';
    lossless[lossless.find("\xff\xc0") + 1] = '\xc3';
    const struct {
        const char* name;
        std::string bytes;
        const char* reason;
    } cases[] = {{"rle.bmp", rle, "run-length coded (RLE) BMP pictures are not supported"},
                 {"rle4.bmp", rle4, "run-length coded (RLE) BMP pictures are not supported"},
                 {"arithmetic.jpg", arithmetic, "arithmetic-coded JPEG pictures are not supported"},
                 {"lossless.jpg", lossless, "lossless and hierarchical JPEG pictures are not supported"}};
    TempDir dir;
    for (const auto& c : cases) {
        ASSERT_TRUE(write_file(dir / c.name, c.bytes));
        int w, h, n;
        std::string why;
        EXPECT_EQ(_stbi_load((dir / c.name).c_str(), &w, &h, &n, 4, ZOV_TEX_MAX_SIDE, &why), nullptr);
        EXPECT_EQ(why, c.reason);
    }
}

namespace {

// A PNG of 16 bits a channel (RGBA), its data in one stored deflate block.
std::string png16(int w, int h, const std::vector<uint16_t>& rgba) {
    auto be = [](unsigned long v) { return packed(v, 4, true); };
    auto chunk = [&](const std::string& type, const std::string& data) {
        std::string body = type + data;
        unsigned long crc = 0xffffffff;
        for (unsigned char b : body) {
            crc ^= b;
            for (int k = 0; k < 8; k++) crc = (crc >> 1) ^ (0xedb88320 & (0 - (crc & 1)));
        }
        return be(data.size()) + body + be(crc ^ 0xffffffff);
    };
    std::string raw;
    for (int y = 0; y < h; y++) {
        raw += '\0'; // no filter
        for (int x = 0; x < w * 4; x++) raw += packed(rgba[(size_t)y * w * 4 + x], 2, true);
    }
    unsigned long a = 1, b = 0;
    for (unsigned char c : raw) b = (b + (a = (a + c) % 65521)) % 65521;
    std::string zlib = "\x78\x01\x01" + packed(raw.size(), 2, false) + packed(~raw.size() & 0xffff, 2, false) + raw +
                       be(b << 16 | a);
    return "\x89PNG\r\n\x1a\n" + chunk("IHDR", be(w) + be(h) + std::string("\x10\x06\0\0\0", 5)) +
           chunk("IDAT", zlib) + chunk("IEND", "");
}

} // namespace

TEST(TexDecode, SixteenBitPngAndPsdLoadAtTheirHighByte) {
    TempDir dir;
    std::vector<uint16_t> samples;
    for (int i = 0; i < 3 * 2 * 4; i++) samples.push_back((uint16_t)(i * 2741 + 255));
    std::string psd = psd_claiming(2, 1, 16);
    for (int i = 0; i < 3 * 2; i++) psd += packed(samples[i], 2, true); // planar: R R, G G, B B
    const struct {
        const char* name;
        std::string bytes;
        int w, h;
        int first[8]; // the first two texels: the sample each channel takes the high byte of; -1: opaque
    } cases[] = {
        {"deep.png", png16(3, 2, samples), 3, 2, {0, 1, 2, 3, 4, 5, 6, 7}},
        {"deep.psd", psd, 2, 1, {0, 2, 4, -1, 1, 3, 5, -1}},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(write_file(dir / c.name, c.bytes));
        int w, h, n;
        std::string why;
        unsigned char* px = _stbi_load((dir / c.name).c_str(), &w, &h, &n, 4, ZOV_TEX_MAX_SIDE, &why);
        ASSERT_NE(px, nullptr) << c.name << ": " << why;
        EXPECT_EQ(w, c.w);
        EXPECT_EQ(h, c.h);
        for (int i = 0; i < 8; i++)
            EXPECT_EQ(px[i], c.first[i] < 0 ? 255 : samples[c.first[i]] >> 8) << c.name << " byte " << i;
        stbi_image_free(px);
    }
}

// ====== GL version and filters ======

TEST(TexGlVersion, LeadingDigitsAndDotsArePacked) {
    const struct {
        const char* text;
        int packed;
    } cases[] = {
        {"4.5 (Compatibility Profile) Mesa 22.3.6", 0x40500},
        {"2.1 Mesa 10.1.3", 0x20100},
        {"1.4.0", 0x10400},
        {"1.3", 0x10300},
        {"1.3.1 Vendor", 0x10301},
        {"3.0 and more words", 0x30000},
        {"4.6.0 NVIDIA 535.1", 0x40600},
        {"", 0},
        {"OpenGL ES 3.2", 0},
        {"2", 0x20000},
        {"1.5.2.9", 0x10502},
        {"99999999999.300.70000", (32767 << 16) + (255 << 8) + 255},
    };
    for (const auto& c : cases) EXPECT_EQ(_driver_gl_version_parse(c.text), c.packed) << c.text;
    EXPECT_EQ(_driver_gl_version_parse(nullptr), 0) << "a missing version text";
    std::string long_text = "2.1 " + std::string(400, 'x');
    EXPECT_EQ(_driver_gl_version_parse(long_text.c_str()), 0x20100);
}

TEST(TexGlVersion, MipmapsAreGeneratedFrom14On) {
    EXPECT_FALSE(_has_gl_generate_mipmap(_driver_gl_version_parse("1.3.1 Vendor")));
    EXPECT_FALSE(_has_gl_generate_mipmap(0x103ff));
    EXPECT_TRUE(_has_gl_generate_mipmap(_driver_gl_version_parse("1.4")));
    EXPECT_TRUE(_has_gl_generate_mipmap(_driver_gl_version_parse("3.0 foo")));
    EXPECT_FALSE(_has_gl_generate_mipmap(0)) << "no context";
}

TEST(TexGlVersion, WithoutAContextFiltersAreLinearWithoutMipmaps) {
    EXPECT_EQ(_driver_gl_version(), 0);
    EXPECT_EQ(_zov_gl_texture_min_filter(), GL_LINEAR);
    EXPECT_FALSE(_zov_gl_generate_mipmap());
    EXPECT_EQ(_ZOV_GL_TEXTURE_MAG_FILTER(), GL_LINEAR) << "no script host: the default";
}

// ====== Halving rule ======

TEST(TexDownscale, PhonesAndSmallTabletsHalve) {
    driver_init(0);
    const struct {
        const char* idiom;
        int w, h;
        float scale;
        bool halve;
    } cases[] = {
        {"phone", 2000, 2000, 2, true},   {"tablet", 1024, 768, 1, true},  {"tablet", 1025, 768, 1, false},
        {"tablet", 512, 512, 2, true},    {"tablet", 600, 400, 2, false},  {"tablet", 683, 512, 1.5f, true},
        {"desktop", 320, 240, 1, false},  {"", 320, 240, 1, false},
    };
    for (const auto& c : cases) {
        driver_set_idiom(c.idiom);
        driver_set_size(c.w, c.h);
        driver_set_scale(c.scale);
        EXPECT_EQ(_ZOV_DRIVER_TEX_LOAD_DOWNSCALE(), c.halve) << c.idiom << " " << c.w << "x" << c.h << " @" << c.scale;
    }
    driver_deinit();
}
