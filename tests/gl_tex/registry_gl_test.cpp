// The picture registry under a real GL context: the load messages, atlas
// frames drawn pixel for pixel, eviction under the memory cap with a set
// clock, reload of freed textures, and hot reload.
#include "tex_gl.h"

#include <cstring>

#include "support/capture.h"

namespace {

const int WIN_W = 640, WIN_H = 480;

// Draws the texture rectangle uv of GL texture `name` into dst (view
// coordinates) as one strip, the way the drawing calls will.
void draw(int name, GfxRect dst, GfxRect uv) {
    if (!name) return; // GL name 0 would draw a solid quad
    glBindTexture(GL_TEXTURE_2D, (GLuint)name);
    const float v[8] = {dst.x, dst.y, dst.x + dst.w, dst.y, dst.x, dst.y + dst.h, dst.x + dst.w, dst.y + dst.h};
    const float t[8] = {uv.x, uv.y, uv.x + uv.w, uv.y, uv.x, uv.y + uv.h, uv.x + uv.w, uv.y + uv.h};
    glVertexPointer(2, GL_FLOAT, 0, v);
    glTexCoordPointer(2, GL_FLOAT, 0, t);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
}

// The back buffer, rows top to bottom.
Pixels screen() {
    Pixels p;
    p.w = WIN_W;
    p.h = WIN_H;
    p.px.resize((size_t)WIN_W * WIN_H * 4);
    std::vector<unsigned char> rows(p.px.size());
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, WIN_W, WIN_H, GL_RGBA, GL_UNSIGNED_BYTE, rows.data());
    for (int y = 0; y < WIN_H; y++) std::memcpy(p.at(0, y), &rows[(size_t)(WIN_H - 1 - y) * WIN_W * 4], WIN_W * 4);
    return p;
}

// Finds `needles` in `text` in this order.
void expect_in_order(const std::string& text, const std::vector<std::string>& needles) {
    size_t at = 0;
    for (const std::string& n : needles) {
        size_t found = text.find(n, at);
        ASSERT_NE(found, std::string::npos) << "missing, or out of order: " << n << "\nin:\n" << text;
        at = found + n.size();
    }
}

const uint64_t EST_2048_SQUARE = 2048ull * 2048 * 16 / 3; // 22369621 bytes
const uint64_t EST_4096_BY_2048 = 4096ull * 2048 * 16 / 3;

} // namespace

// ====== Loading ======

TEST_F(TexGl, FirstLoadWritesItsStepsAndTheSecondNothing) {
    ASSERT_TRUE(write_png(dir / "hero.png", pattern(100, 30)));
    Capture err(stderr);
    int id = gfx_tex_load("hero");
    std::string text = err.text();
    ASSERT_GT(id, 0);
    std::string path = dir / "hero.png";
    int name = _gfx_get_tex(id)->tex;
    expect_in_order(text, {"trying load tex hero\n", "doing load tex hero (1)\n",
                           "gfx_tex_reload: 1 hero " + path + "\n", "driver_tex_load " + path + "\n",
                           "loaded " + path + " as " + std::to_string(name) + " (100,30)->(100,30):(128,64)\n",
                           "_gfx->memused: 0.04M\n", "gfx_tex_load: "});
    EXPECT_NE(text.find(" ms, total "), std::string::npos);
    EXPECT_EQ(_gfx->memused, 128u * 64 * 16 / 3);
    const GfxTexture* t = _gfx_get_tex(id);
    EXPECT_EQ(t->rect.w, 128);
    EXPECT_EQ(t->rect.h, 64);
    int img = gfx_img_load("hero");
    EXPECT_EQ(_gfx_get_img(img)->rect.w, 100);
    EXPECT_EQ(_gfx_get_img(img)->shape.h, 30);
    EXPECT_FLOAT_EQ(gfx_img_get_ratio(img), 100.0f / 30.0f);

    Capture again(stderr);
    Capture out(stdout);
    EXPECT_EQ(gfx_tex_load("hero"), id);
    EXPECT_EQ(gfx_img_load("hero"), img);
    EXPECT_EQ(again.text(), "");
    EXPECT_EQ(out.text(), "");
}

// ====== Atlases ======

TEST_F(TexGl, EveryAtlasFrameDrawsAsItsSourcePicturePixelForPixel) {
    driver_set_altdir(ZOV_TEST_DATA "/atlas");
    g_mag_filter = GL_NEAREST;
    gfx_atlas_load("sprites");
    int tid = gfx_tex_load("sprites");
    ASSERT_GT(tid, 0);
    const GfxTexture* tex = _gfx_get_tex(tid);
    ASSERT_EQ(tex->rect.w, 128);
    ASSERT_EQ(tex->rect.h, 256);

    gfx_set_size(WIN_W, WIN_H); // one view unit per window pixel
    gfx_set_scale(1);
    gfx_ortho();
    gfx_clear();
    glColor4ub(255, 255, 255, 255);
    struct Placed {
        std::string name;
        int x, y;
    };
    std::vector<Placed> placed;
    int x = 10;
    for (const auto& e : _gfx->img_map) {
        const GfxImage* img = _gfx_get_img(e.second);
        if (img->tid != tid || e.first == "sprites") continue;
        GfxRect f = img->rect;
        // The frame at its place inside the untrimmed source, 1:1.
        GfxRect dst(x + img->shape.x, 20 + img->shape.y, f.w, f.h);
        GfxRect uv(f.x / tex->rect.w, f.y / tex->rect.h, f.w / tex->rect.w, f.h / tex->rect.h);
        draw(gfx_img_get_tex(e.second), dst, uv);
        placed.push_back({e.first, x, 20});
        x += gfx_img_get_width(e.second) + 10;
    }
    ASSERT_EQ(placed.size(), 6u);
    Pixels shot = screen();
    for (const Placed& p : placed) {
        Pixels src = premultiplied(decode(ZOV_TEST_DATA "/atlas/src/" + p.name + ".png"));
        ASSERT_GT(src.w, 0) << p.name;
        int wrong = 0, lit = 0;
        // The whole source box: trimmed margins must come out transparent.
        for (int y = 0; y < src.h; y++)
            for (int x2 = 0; x2 < src.w; x2++) {
                const unsigned char* got = shot.at(p.x + x2, p.y + y);
                wrong += std::memcmp(got, src.at(x2, y), 3) != 0;
                lit += got[0] | got[1] | got[2];
            }
        EXPECT_EQ(wrong, 0) << p.name;
        EXPECT_GT(lit, 0) << p.name;
    }
}

// ====== Memory cap ======

// 300 s unused is old enough to be freed, 299 s is not; the cap stays
// exceeded rather than free a texture in use.
TEST_F(TexGl, CapFreesATextureUnusedFor300SecondsButNot299) {
    for (const char* n : {"t1", "t2", "t3"}) ASSERT_TRUE(write_png(dir / (std::string(n) + ".png"), flat(1025, 1025)));
    ASSERT_TRUE(write_png(dir / "t4.png", flat(2049, 1025)));
    time_t t0 = g_now;
    int t1 = gfx_tex_load("t1");
    g_now = t0 + 1;
    int t2 = gfx_tex_load("t2");
    int t3 = gfx_tex_load("t3");
    g_now = t0 + 300;
    Capture err(stderr);
    gfx_tex_load("t4");
    EXPECT_EQ(_gfx_get_tex(t1)->tex, 0) << "unused for 300 s";
    EXPECT_NE(_gfx_get_tex(t2)->tex, 0) << "unused for 299 s";
    EXPECT_NE(_gfx_get_tex(t3)->tex, 0) << "unused for 299 s";
}

TEST_F(TexGl, CapFreesTheLongestUnusedTexturesOlderThan300Seconds) {
    ASSERT_EQ(ZOV_GFX_MEMMAX(), 80u << 20);
    for (const char* n : {"t1", "t2", "t3"}) ASSERT_TRUE(write_png(dir / (std::string(n) + ".png"), flat(1025, 1025)));
    ASSERT_TRUE(write_png(dir / "t4.png", flat(2049, 1025)));
    time_t t0 = g_now;
    int t1 = gfx_tex_load("t1");
    g_now = t0 + 50;
    int t2 = gfx_tex_load("t2");
    g_now = t0 + 390;
    int t3 = gfx_tex_load("t3");
    EXPECT_EQ(_gfx->memused, 3 * EST_2048_SQUARE);
    g_now = t0 + 400;
    Capture err(stderr);
    int t4 = gfx_tex_load("t4");
    std::string text = err.text();
    expect_in_order(text, {"ZOV_GFX_MEMMAX: 80.00M exceeded by 26.67\n", "_gfx_tex_recycle: 1 (t1)\n",
                           "ZOV_GFX_MEMMAX: 80.00M exceeded by 5.33\n", "_gfx_tex_recycle: 2 (t2)\n"});
    EXPECT_EQ(text.find("_gfx_tex_recycle: 3"), std::string::npos) << "t3 was used 10 s ago";
    EXPECT_EQ(_gfx->memused, EST_2048_SQUARE + EST_4096_BY_2048);
    for (int id : {t1, t2}) {
        EXPECT_EQ(_gfx_get_tex(id)->loaded, 0) << id;
        EXPECT_EQ(_gfx_get_tex(id)->tex, 0) << id;
        EXPECT_EQ(_gfx_get_tex(id)->tex_memused, 0u) << id;
    }
    EXPECT_NE(_gfx_get_tex(t3)->tex, 0);
    EXPECT_NE(_gfx_get_tex(t4)->tex, 0);

    // A freed texture comes back under its id and image id when asked for.
    int img = gfx_img_load("t1");
    Capture back(stderr);
    EXPECT_EQ(gfx_img_load("t1"), img);
    EXPECT_EQ(back.text(), "") << "loaded already by the first request";
    EXPECT_EQ(_gfx_get_img(img)->tid, t1);
    EXPECT_EQ(_gfx_get_tex(t1)->loaded, 1);
    EXPECT_NE(gfx_img_get_tex(img), 0);
    EXPECT_EQ(gfx_img_get_width(img), 1025);
    EXPECT_EQ(_gfx->memused, 2 * EST_2048_SQUARE + EST_4096_BY_2048) << "over the cap, nothing old enough";
}

TEST_F(TexGl, ReloadOfAFreedTextureWritesItsMessages) {
    ASSERT_TRUE(write_png(dir / "a.png", flat(10, 10)));
    int id = gfx_tex_load("a");
    _gfx_tex_gl_free(id);
    EXPECT_EQ(_gfx->memused, 0u);
    Capture err(stderr);
    int name = gfx_tex_get_id(id);
    EXPECT_NE(name, 0);
    expect_in_order(err.text(), {"gfx_tex_reload: 1 a ", "loaded " + (dir / "a.png") + " as " +
                                                             std::to_string(name) + " (10,10)->(10,10):(64,64)\n"});
}

TEST_F(TexGl, OnEqualAgesTheHigherIdIsFreedFirst) {
    for (const char* n : {"a", "b"}) ASSERT_TRUE(write_png(dir / (std::string(n) + ".png"), flat(2049, 1025)));
    ASSERT_TRUE(write_png(dir / "c.png", flat(1025, 1025)));
    int a = gfx_tex_load("a");
    int b = gfx_tex_load("b");
    g_now += 400;
    gfx_tex_load("c");
    EXPECT_EQ(_gfx_get_tex(b)->loaded, 0);
    EXPECT_EQ(_gfx_get_tex(a)->loaded, 1);
    EXPECT_EQ(_gfx->memused, EST_4096_BY_2048 + EST_2048_SQUARE);
}

TEST_F(TexGl, ImagesDrawnOnlyByIdCountAsUsed) {
    for (const char* n : {"t1", "t2", "t3"}) ASSERT_TRUE(write_png(dir / (std::string(n) + ".png"), flat(1025, 1025)));
    ASSERT_TRUE(write_png(dir / "t4.png", flat(2049, 1025)));
    time_t t0 = g_now;
    int t1 = gfx_tex_load("t1");
    int on_screen = gfx_img_load("t1");
    g_now = t0 + 50;
    int t2 = gfx_tex_load("t2");
    g_now = t0 + 390;
    gfx_tex_load("t3");
    EXPECT_NE(gfx_img_get_tex(on_screen), 0); // a draw by id
    g_now = t0 + 400;
    gfx_tex_load("t4");
    EXPECT_EQ(_gfx_get_tex(t1)->loaded, 1) << "drawn 10 s ago";
    EXPECT_EQ(_gfx_get_tex(t2)->loaded, 0);
}

// ====== Hot reload ======

TEST_F(TexGl, ChangedPictureReloadsOnceWhenTwoSecondsOldKeepingItsIds) {
    time_t t0 = g_now;
    std::string path = dir / "a.png";
    ASSERT_TRUE(write_png(path, pattern(10, 10)));
    ASSERT_TRUE(set_mtime(path, t0 - 100));
    int tid = gfx_tex_load("a");
    int img = gfx_img_load("a");
    EXPECT_EQ(gfx_img_get_width(img), 10);

    ASSERT_TRUE(write_png(path, pattern(100, 70)));
    ASSERT_TRUE(set_mtime(path, t0 - 1));
    gfx_reload_auto();
    EXPECT_EQ(gfx_img_get_width(img), 10) << "a file 1 s old may still be written";
    g_now = t0 + 1;
    gfx_reload_auto();
    EXPECT_EQ(gfx_tex_load("a"), tid);
    EXPECT_EQ(gfx_img_load("a"), img);
    EXPECT_EQ(gfx_img_get_width(img), 100);
    EXPECT_EQ(gfx_img_get_height(img), 70);
    EXPECT_EQ(_gfx_get_tex(tid)->rect.w, 128);
    EXPECT_EQ(tex_image(gfx_img_get_tex(img)).px, padded(pattern(100, 70), 128, 128).px);

    Capture err(stderr);
    g_now = t0 + 2;
    gfx_reload_auto();
    EXPECT_EQ(err.text().find("gfx_tex_reload"), std::string::npos) << "reloaded once";

    ASSERT_TRUE(write_png(path, pattern(20, 20)));
    ASSERT_TRUE(set_mtime(path, t0));
    gfx_reload_auto(); // same second as the last pass: skipped
    EXPECT_EQ(gfx_img_get_width(img), 100);
    g_now = t0 + 3;
    gfx_reload_auto();
    EXPECT_EQ(gfx_img_get_width(img), 20);
}

TEST_F(TexGl, ChangedAtlasReloadsItsFramesInPlace) {
    time_t t0 = g_now;
    ASSERT_TRUE(write_file(dir / "sprites.png", read_file(ZOV_TEST_DATA "/atlas/sprites.png")));
    std::string json = read_file(ZOV_TEST_DATA "/atlas/sprites.json");
    ASSERT_TRUE(write_file(dir / "sprites.json", json));
    ASSERT_TRUE(set_mtime(dir / "sprites.png", t0 - 100));
    ASSERT_TRUE(set_mtime(dir / "sprites.json", t0 - 100));
    gfx_atlas_load("sprites");
    int music = gfx_img_load("music");
    ASSERT_GT(music, 0);
    EXPECT_EQ(_gfx_get_img(music)->rect.y, 146);

    size_t at = json.find("\"y\": 146");
    ASSERT_NE(at, std::string::npos);
    json.replace(at, 8, "\"y\": 140");
    ASSERT_TRUE(write_file(dir / "sprites.json", json));
    ASSERT_TRUE(set_mtime(dir / "sprites.json", t0 - 5));
    g_now = t0 + 1;
    gfx_reload_auto();
    EXPECT_EQ(gfx_img_load("music"), music);
    EXPECT_EQ(_gfx_get_img(music)->rect.y, 140);
    EXPECT_EQ(_gfx_get_tex(gfx_tex_load("sprites"))->atlas_mtime, t0 - 5);
}
