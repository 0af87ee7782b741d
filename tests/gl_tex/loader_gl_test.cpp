// The texture loader under a real GL context: texels read back, sizes,
// filters, mipmap levels, halving and refused uploads.
#include "tex_gl.h"

#include <cstring>

#include "support/capture.h"
#include "zov_driver-tex_load.h"

int g_mag_filter = GL_LINEAR;
time_t g_now = 0;

// Stands in for the script host's answer to the "filter" parameter.
int _ZOV_GL_TEXTURE_MAG_FILTER() { return g_mag_filter; }

namespace {

struct Loaded {
    int name = 0, w = -1, h = -1, tw = -1, th = -1;
};

Loaded load(const std::string& path) {
    Loaded l;
    l.name = driver_tex_load(path.c_str(), &l.w, &l.h, &l.tw, &l.th);
    return l;
}

} // namespace

// ====== Texels and sizes ======

TEST_F(TexGl, RealIconIsPremultipliedAndPaddedWithItsEdges) {
    std::string path = ADWAITA "/48x48/places/user-trash.png";
    Loaded l = load(path);
    ASSERT_NE(l.name, 0);
    EXPECT_EQ(l.w, 48);
    EXPECT_EQ(l.h, 48);
    EXPECT_EQ(l.tw, 64);
    EXPECT_EQ(l.th, 64);
    Pixels got = tex_image(l.name);
    ASSERT_EQ(got.w, 64);
    EXPECT_EQ(got.px, padded(decode(path), 64, 64).px);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST_F(TexGl, PowerOfTwoPictureUploadsAsItIs) {
    std::string path = ADWAITA "/256x256/places/user-trash.png";
    Loaded l = load(path);
    ASSERT_NE(l.name, 0);
    EXPECT_EQ(l.tw, 256);
    EXPECT_EQ(l.th, 256);
    EXPECT_EQ(tex_image(l.name).px, premultiplied(decode(path)).px);
}

TEST_F(TexGl, SidesPadToThePowerOfTwoAboveOrStayPast4096) {
    ASSERT_TRUE(write_png(dir / "wide.png", pattern(100, 30)));
    ASSERT_TRUE(write_png(dir / "huge.png", pattern(5000, 10)));
    Loaded a = load(dir / "wide.png");
    EXPECT_EQ(a.w, 100);
    EXPECT_EQ(a.h, 30);
    EXPECT_EQ(a.tw, 128);
    EXPECT_EQ(a.th, 64);
    EXPECT_EQ(tex_image(a.name).px, padded(pattern(100, 30), 128, 64).px);
    Loaded b = load(dir / "huge.png");
    ASSERT_NE(b.name, 0);
    EXPECT_EQ(b.tw, 5000);
    EXPECT_EQ(b.th, 64);
    Pixels got = tex_image(b.name);
    EXPECT_EQ(got.w, 5000) << "not a power of two";
    EXPECT_EQ(got.px, padded(pattern(5000, 10), 5000, 64).px);
}

// ====== Filters and mipmaps ======

TEST_F(TexGl, Gl45GetsTrilinearFilteringAndGeneratedMipmaps) {
    EXPECT_EQ(_driver_gl_version() >> 16, 4) << (const char*)glGetString(GL_VERSION);
    ASSERT_TRUE(write_png(dir / "p.png", pattern(64, 64)));
    Loaded l = load(dir / "p.png");
    EXPECT_EQ(tex_param(l.name, GL_TEXTURE_MIN_FILTER), GL_LINEAR_MIPMAP_LINEAR);
    EXPECT_EQ(tex_param(l.name, GL_TEXTURE_MAG_FILTER), GL_LINEAR);
    EXPECT_EQ(tex_param(l.name, 0x8191 /* GL_GENERATE_MIPMAP */), GL_TRUE);
    EXPECT_EQ(tex_param(l.name, GL_TEXTURE_WRAP_S), GL_CLAMP_TO_EDGE);
    EXPECT_EQ(tex_param(l.name, GL_TEXTURE_WRAP_T), GL_CLAMP_TO_EDGE);
    Pixels base = tex_image(l.name, 0);
    Pixels half = tex_image(l.name, 1);
    ASSERT_EQ(half.w, 32);
    ASSERT_EQ(half.h, 32);
    EXPECT_EQ(tex_image(l.name, 6).w, 1) << "levels down to 1x1";
    int off = 0;
    for (int y = 0; y < 32; y++)
        for (int x = 0; x < 32; x++)
            for (int c = 0; c < 4; c++) {
                int sum = base.at(2 * x, 2 * y)[c] + base.at(2 * x + 1, 2 * y)[c] + base.at(2 * x, 2 * y + 1)[c] +
                          base.at(2 * x + 1, 2 * y + 1)[c];
                off += std::abs(half.at(x, y)[c] * 4 - sum) > 4;
            }
    EXPECT_EQ(off, 0) << "level 1 is the 2x2 average of level 0";
}

TEST_F(TexGl, NearestFilterParameterChangesOnlyLaterUploads) {
    ASSERT_TRUE(write_png(dir / "p.png", pattern(8, 8)));
    Loaded before = load(dir / "p.png");
    g_mag_filter = GL_NEAREST;
    Loaded after = load(dir / "p.png");
    EXPECT_EQ(tex_param(before.name, GL_TEXTURE_MAG_FILTER), GL_LINEAR);
    EXPECT_EQ(tex_param(after.name, GL_TEXTURE_MAG_FILTER), GL_NEAREST);
    EXPECT_EQ(tex_param(after.name, GL_TEXTURE_MIN_FILTER), GL_LINEAR_MIPMAP_LINEAR) << "follows the version";
}

// ====== Halving ======

TEST_F(TexGl, PhonesHalveTexturesLargerThan64) {
    driver_set_idiom("phone");
    Pixels pic = pattern(100, 100);
    ASSERT_TRUE(write_png(dir / "big.png", pic));
    ASSERT_TRUE(write_png(dir / "tall.png", pattern(60, 200)));
    Loaded l = load(dir / "big.png");
    EXPECT_EQ(l.w, 50);
    EXPECT_EQ(l.h, 50);
    EXPECT_EQ(l.tw, 64);
    EXPECT_EQ(l.th, 64);
    Pixels full = padded(pic, 128, 128);
    Pixels got = tex_image(l.name);
    ASSERT_EQ(got.w, 64);
    int wrong = 0;
    for (int y = 0; y < 64; y++)
        for (int x = 0; x < 64; x++)
            for (int c = 0; c < 4; c++) {
                int sum = full.at(2 * x, 2 * y)[c] + full.at(2 * x + 1, 2 * y)[c] + full.at(2 * x, 2 * y + 1)[c] +
                          full.at(2 * x + 1, 2 * y + 1)[c];
                wrong += got.at(x, y)[c] != sum >> 2;
            }
    EXPECT_EQ(wrong, 0);
    Loaded t = load(dir / "tall.png");
    EXPECT_EQ(t.w, 60) << "a texture 64 wide is never halved";
    EXPECT_EQ(t.h, 200);
    EXPECT_EQ(t.tw, 64);
    EXPECT_EQ(t.th, 256);
}

// ====== Refused uploads ======

TEST_F(TexGl, PictureWiderThanGlAllowsIsRefusedBeforeDecoding) {
    GLint max = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &max);
    ASSERT_GT(max, 0);
    ASSERT_TRUE(write_png(dir / "strip.png", flat(max + 16, 1)));
    GLuint probe;
    glGenTextures(1, &probe); // the name a texture would be given next
    glDeleteTextures(1, &probe);
    Capture err(stderr);
    Loaded l = load(dir / "strip.png");
    std::string text = err.text();
    EXPECT_EQ(l.name, 0);
    EXPECT_EQ(l.w + l.h + l.tw + l.th, -4) << "outputs untouched";
    std::string side = std::to_string(std::min<int>(max, ZOV_TEX_MAX_SIDE));
    EXPECT_NE(text.find("stbi_load failed " + (dir / "strip.png") + " - picture is " + std::to_string(max + 16) +
                        "x1, larger than " + side + "x" + side + "\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find("loaded "), std::string::npos);
    EXPECT_FALSE(glIsTexture(probe)) << "no texture is made";
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);

    // The registry treats it as a picture that does not decode.
    int tid = gfx_tex_load("strip");
    ASSERT_GT(tid, 0);
    EXPECT_EQ(gfx_tex_get_id(tid), 0);
    EXPECT_EQ(gfx_img_get_width(gfx_img_load("strip")), 0);
    EXPECT_EQ(_gfx->memused, 0u);
}

TEST_F(TexGl, TgaAndContentTypedFilesLoadThroughTheRegistry) {
    Pixels icon = decode(ADWAITA "/24x24/mimetypes/audio-x-generic.png");
    ASSERT_TRUE(stbi_write_tga((dir / "icon.tga").c_str(), icon.w, icon.h, 4, icon.px.data()));
    ASSERT_TRUE(write_file(dir / "logo.zov", read_file(PYTHON_PICTURES "/python.jpg")));
    int a = gfx_img_load("icon");
    int b = gfx_img_load("logo");
    EXPECT_EQ(gfx_img_get_width(a), 24);
    EXPECT_EQ(gfx_img_get_width(b), 16);
    EXPECT_EQ(tex_image(gfx_img_get_tex(a)).px, padded(icon, 64, 64).px);
    EXPECT_NE(gfx_img_get_tex(b), 0);
}
