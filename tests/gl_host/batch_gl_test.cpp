// The draw batch in a real GL context: commands run in order, views switch
// between them, tints are premultiplied, and text draws through the font
// module; checked on pixels read back from the back buffer.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <cmath>
#include <vector>

#include "game.h"
#include "mods_api.h"
#include "support/capture.h"
#include "support/tex_files.h"
#include "zov_driver-sdl2.h"
#include "zov_font.h"
#include "zov_gfx.h"

namespace {

const int WIN_W = 640, WIN_H = 480;

class BatchGl : public ::testing::Test {
protected:
    TempDir pics;
    Game game;
    ModsAPI* api = nullptr;

    void SetUp() override {
        driver_init(DRIVER_INIT_VIDEO);
        driver_video_init(WIN_W, WIN_H, WIN_W, WIN_H, 320, 320, 0);
        ASSERT_NE(driver_sdl2_window(), nullptr);
        gfx_init();
        font_init();
        Pixels white;
        white.w = white.h = 4;
        white.px.assign(4 * 4 * 4, 255);
        ASSERT_TRUE(write_png(pics / "white.png", white));
        GAME_THIS = &game;
        // The API object builds the console, which loads the data
        // directory's "console" font once for the whole test.
        driver_set_altdir(ZOV_TEST_DATA "/../../data");
        api = new ModsAPI(game);
        driver_set_altdir(pics.path().c_str());
        game.data.mods.api = api;
        set_view(0, 0, WIN_W, WIN_H);
        gfx_clear();
    }

    void TearDown() override {
        delete api;
        GAME_THIS = nullptr;
        font_deinit();
        gfx_deinit();
        driver_deinit();
    }

    void set_view(float x, float y, float w, float h) {
        api->params_set("view_x", var(x));
        api->params_set("view_y", var(y));
        api->params_set("view_w", var(w));
        api->params_set("view_h", var(h));
    }

    void white(float x, float y, float w, float h, int color = 0xffffff, float alpha = 1) {
        api->image_draw("white", x, y, w, h, 0, 0, 0, color, alpha, 0, 0);
    }

    // The back buffer, rows top to bottom.
    Pixels read() {
        Pixels p;
        p.w = WIN_W;
        p.h = WIN_H;
        p.px.resize(WIN_W * WIN_H * 4);
        std::vector<unsigned char> raw(p.px.size());
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, WIN_W, WIN_H, GL_RGBA, GL_UNSIGNED_BYTE, raw.data());
        for (int row = 0; row < WIN_H; row++)
            std::copy(&raw[(size_t)row * WIN_W * 4], &raw[(size_t)(row + 1) * WIN_W * 4],
                      p.at(0, WIN_H - 1 - row));
        return p;
    }

    static bool lit(const Pixels& p, int x, int y) { return p.at(x, y)[0] > 127; }
};

} // namespace

TEST_F(BatchGl, ImageIsTintedPremultipliedAndLaterCommandsDrawOver) {
    Pixels blue;
    blue.w = blue.h = 4;
    for (int i = 0; i < 16; i++) blue.px.insert(blue.px.end(), {0, 0, 255, 255});
    ASSERT_TRUE(write_png(pics / "blue.png", blue));
    white(100, 100, 50, 40, 0xff8000, 1.0f);
    white(200, 100, 50, 40, 0xff8000, 0.5f);
    // Another picture right after a run of one name: drawn with its own.
    api->image_draw("blue", 120, 110, 10, 10, 0, 0, 0, 0xffffff, 1, 0, 0);
    capture([&] { api->batch.draw(); });
    Pixels p = read();
    // The white picture is 254 once premultiplied (255 * 255 >> 8).
    const unsigned char* full = p.at(105, 105);
    EXPECT_NEAR(full[0], 255, 1);
    EXPECT_NEAR(full[1], 128, 1);
    EXPECT_EQ(full[2], 0);
    const unsigned char* half = p.at(210, 110);
    EXPECT_NEAR(half[0], 127, 1);
    EXPECT_NEAR(half[1], 64, 1);
    EXPECT_EQ(half[2], 0);
    const unsigned char* over = p.at(125, 115);
    EXPECT_EQ(over[0], 0) << "the later command draws over the earlier one";
    EXPECT_NEAR(over[2], 255, 1);
    EXPECT_EQ(p.at(99, 105)[0], 0);
    EXPECT_EQ(p.at(150, 105)[0], 0);
    EXPECT_EQ(api->batch.queue.size(), 3u) << "drawing leaves the queue as it is";
}

TEST_F(BatchGl, AnchorAndNegativeSizes) {
    api->image_draw("white", 300, 300, 40, 20, 20, 10, 0, 0xffffff, 1, 0, 0);
    api->image_draw("white", 100, 200, -64, -32, 0, 0, 0, 0xffffff, 1, 0, 0);
    capture([&] { api->batch.draw(); });
    Pixels p = read();
    EXPECT_TRUE(lit(p, 281, 291)) << "centred on (300, 300)";
    EXPECT_TRUE(lit(p, 318, 308));
    EXPECT_FALSE(lit(p, 279, 300));
    EXPECT_FALSE(lit(p, 321, 300));
    // Width -64 at x 100: the box spans 100..164, mirrored in place.
    EXPECT_TRUE(lit(p, 102, 202));
    EXPECT_TRUE(lit(p, 162, 230));
    EXPECT_FALSE(lit(p, 98, 210));
    EXPECT_FALSE(lit(p, 166, 210));
    EXPECT_FALSE(lit(p, 130, 234));
}

TEST_F(BatchGl, ViewCommandsApplyToTheCommandsAfterThem) {
    api->view_set(0, 0, 320, 240, 1);
    white(10, 10, 10, 10);
    api->view_set(0, 0, 640, 480, 3);
    white(100, 10, 10, 10);
    capture([&] { api->batch.draw(); });
    Pixels p = read();
    EXPECT_TRUE(lit(p, 21, 21)) << "first view: twice the size";
    EXPECT_TRUE(lit(p, 38, 38));
    EXPECT_FALSE(lit(p, 18, 30));
    EXPECT_TRUE(lit(p, 101, 11)) << "second view: window pixels";
    EXPECT_FALSE(lit(p, 112, 15));
    EXPECT_EQ((double)api->params_get("view_scale"), 1.0);
    EXPECT_EQ((double)api->params_get("view_depth"), 3.0);
    EXPECT_EQ((double)api->params_get("view_w"), 640.0);
}

TEST_F(BatchGl, FitScaleIsTheSmallerRatio) {
    api->view_set(0, 0, 320, 240, 1);
    capture([&] { api->batch.draw(); });
    EXPECT_EQ((double)api->params_get("view_scale"), 2.0);
    api->batch.clear();
    api->view_set(0, 0, 320, 120, 1);
    capture([&] { api->batch.draw(); });
    EXPECT_EQ((double)api->params_get("view_scale"), 2.0);
    api->batch.clear();
    api->view_set(0, 0, 160, 240, 1);
    capture([&] { api->batch.draw(); });
    EXPECT_EQ((double)api->params_get("view_scale"), 2.0);
    api->batch.clear();
    api->view_set(0, 0, 1280, 480, 1);
    capture([&] { api->batch.draw(); });
    EXPECT_EQ((double)api->params_get("view_scale"), 0.5);
}

TEST_F(BatchGl, WithoutAViewCommandTheParametersViewIsUsed) {
    // Another view was applied last (say by the console); the frame still
    // draws in the view the parameters hold.
    gfx_set_size(WIN_W, WIN_H);
    gfx_set_scale(1);
    gfx_ortho();
    set_view(5, 0, 320, 240);
    white(10, 10, 10, 10);
    capture([&] { api->batch.draw(); });
    Pixels p = read();
    EXPECT_TRUE(lit(p, 11, 21)) << "shifted by -5 view units, scaled by 2";
    EXPECT_TRUE(lit(p, 28, 38));
    EXPECT_FALSE(lit(p, 31, 30));
}

TEST_F(BatchGl, UnusableViewSizeKeepsTheLastViewAndIsLoggedOnce) {
    api->view_set(0, 0, 320, 240, 1);
    api->view_set(0, 0, 0, 240, 1);
    white(10, 10, 10, 10);
    capture([&] {
        api->batch.draw();
        api->batch.draw();
    });
    Pixels p = read();
    EXPECT_TRUE(lit(p, 21, 21)) << "still the 320x240 view";
    int reports = 0;
    for (const std::string& l : api->log) reports += l.find("not a positive number") != std::string::npos;
    EXPECT_EQ(reports, 1);
    EXPECT_EQ((double)api->params_get("view_scale"), 2.0);

    api->batch.clear();
    api->view_set(0, 0, NAN, 240, 1);
    capture([&] {
        api->batch.draw();
        api->batch.draw();
    });
    reports = 0;
    for (const std::string& l : api->log) reports += l.find("not a positive number") != std::string::npos;
    EXPECT_EQ(reports, 2) << "another unusable size is reported once too";
}

TEST_F(BatchGl, TextDrawsWithItsFontAndColour) {
    driver_set_altdir(ZOV_TEST_DATA "/../../data");
    api->font_draw("console", 24, "MM", 50, 60, 0, -1, 0x00ff00, 1, 0);
    capture([&] { api->batch.draw(); });
    Pixels p = read();
    int f = font_load("console", 24);
    ASSERT_NE(f, 0);
    int w = (int)font_get_width(f, "MM"), h = (int)font_get_height(f, "MM", 0);
    int inside = 0, outside = 0;
    for (int y = 0; y < WIN_H; y++)
        for (int x = 0; x < WIN_W; x++) {
            const unsigned char* c = p.at(x, y);
            if (c[0] > 0 || c[1] > 0 || c[2] > 0) {
                bool in = x >= 50 && x < 50 + w && y >= 60 && y < 60 + h;
                (in ? inside : outside)++;
                EXPECT_EQ(c[0], 0);
            }
        }
    EXPECT_GT(inside, 20);
    EXPECT_EQ(outside, 0);
}

TEST_F(BatchGl, FontSizeMeasuresWithTheLoadedFont) {
    driver_set_altdir(ZOV_TEST_DATA "/../../data");
    unsigned r = 0, wrapped = 0;
    capture([&] {
        r = api->font_size("console", 24, "abc", 0);
        wrapped = api->font_size("console", 24, "abc def ghi jkl", 40);
    });
    int f = font_load("console", 24);
    EXPECT_EQ(r >> 16, (unsigned)font_get_width(f, "abc"));
    EXPECT_EQ(r & 0xffff, 24u);
    EXPECT_EQ(wrapped >> 16, 40u);
    EXPECT_EQ(wrapped & 0xffff, (unsigned)font_get_height(f, "abc def ghi jkl", 40));
    EXPECT_GT(wrapped & 0xffff, 24u);
}

TEST_F(BatchGl, TextAndViewsBetweenImagesDrawInQueueOrder) {
    driver_set_altdir(ZOV_TEST_DATA "/../../data");
    int f;
    capture([&] { f = font_load("console", 24); });
    ASSERT_NE(f, 0);
    driver_set_altdir(pics.path().c_str());
    const int w = (int)font_get_width(f, "MMMM"), h = (int)font_get_height(f, "MMMM", 0);
    white(40, 50, 200, 100, 0xff0000);                                // red under the text
    api->font_draw("console", 24, "MMMM", 50, 60, 0, -1, 0x00ff00, 1, 0); // green text
    white(50, 60, w / 2, h, 0x0000ff);                                // blue over its left half
    api->view_set(0, 0, 320, 240, 1);
    white(150, 10, 10, 10, 0xffffff); // after the view: (300, 20) to (320, 40) on screen
    white(152, 12, 6, 6, 0xff0000, 0.5f);
    capture([&] { api->batch.draw(); });
    Pixels p = read();
    // The stretched picture is blue up to its right and bottom edges: its
    // texture's padding carries them.
    int green = 0, blue = 0, other = 0;
    const int blue_w = w / 2, blue_h = h;
    for (int y = 60; y < 60 + h; y++)
        for (int x = 50; x < 50 + w; x++) {
            const unsigned char* c = p.at(x, y);
            if (x < 50 + w / 2) {
                blue += x < 50 + blue_w && y < 60 + blue_h && c[2] > 250 && c[0] == 0 && c[1] == 0;
            } else if (c[1] > 0) {
                green++;
                other += c[0] > 255 - c[1] + 1 || c[2] != 0; // text over red: nothing but red and green
            }
        }
    EXPECT_EQ(blue, blue_w * blue_h) << "the later image covers the text";
    EXPECT_GT(green, 20) << "the text covers the earlier image";
    EXPECT_EQ(other, 0);
    EXPECT_GT(p.at(45, 55)[0], 250);
    EXPECT_EQ(p.at(45, 55)[1], 0);
    EXPECT_GT(p.at(301, 21)[1], 250) << "white, twice the size";
    EXPECT_GT(p.at(302, 35)[1], 250);
    const unsigned char* half = p.at(310, 30); // half red over white
    EXPECT_GT(half[0], 250);
    EXPECT_NEAR(half[1], 127, 2);
    GLfloat c[4];
    glGetFloatv(GL_CURRENT_COLOR, c);
    EXPECT_NEAR(c[0], 127 / 255.0, 1e-6) << "the last tint stays GL's colour";
    EXPECT_NEAR(c[3], 127 / 255.0, 1e-6);
    EXPECT_FALSE(glIsEnabled(GL_COLOR_ARRAY));
}

TEST_F(BatchGl, ImageAfterTextTakesItsOwnTintAgain) {
    driver_set_altdir(ZOV_TEST_DATA "/../../data");
    capture([&] { font_load("console", 24); });
    driver_set_altdir(pics.path().c_str());
    white(10, 10, 20, 20, 0xff0000);
    api->font_draw("console", 24, "M", 100, 100, 0, -1, 0x00ff00, 1, 0);
    white(40, 10, 20, 20, 0xff0000); // the tint of the image before the text
    capture([&] { api->batch.draw(); });
    Pixels p = read();
    const unsigned char* c = p.at(45, 15);
    EXPECT_GT(c[0], 250) << "red, not the text's green";
    EXPECT_EQ(c[1], 0);
}
