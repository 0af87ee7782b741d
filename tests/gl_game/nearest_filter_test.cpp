// A game that asks for sharp pixels ("filter" "nearest") and draws a
// picture and text at their own size at fractional places: the screen shows
// only the picture's own texels, while a copy drawn smaller stays smooth.
#include "game_run.h"

using namespace e2e;

namespace {

// A 16x16 TGA of single black and white texels.
std::string checkers_tga() {
    std::string t = tga(16, 16, 0x000000);
    for (int y = 0; y < 16; y++)
        for (int x = (y + 1) % 2; x < 16; x += 2) t.replace(18 + (y * 16 + x) * 4, 3, 3, (char)255);
    return t;
}

TEST(GameRun, NearestPicturesAndTextAtFractionalPlacesShowWholeTexels) {
    GameRun run;
    run.put("checkers.tga", checkers_tga());
    // One glyph, "A", that is the whole picture, and a line as high as it.
    run.put("checkers.fnt", "common lineHeight=16 base=16 scaleW=16 scaleH=16\n"
                            "char id=65 x=0 y=0 width=16 height=16 xoffset=0 yoffset=0 xadvance=18\n");
    // One view unit a window pixel; pictures left of x = 560 and text right
    // of it, each row at another tenth of a pixel from the window's corner
    // down; a copy at 11 x 11 right of x = 800.
    run.put("main.lua", R"(
        zov_params_set("filter", "nearest")
        frames = 0
        function _paint()
            zov_view_set(0, 0, zov_params_get("default_w"), zov_params_get("default_h"))
            for j = 0, 19 do
                local g = (3 + 7 * j) % 10 / 10
                for i = 0, 22 do
                    zov_image_draw("checkers", 24 * i + (3 + 7 * i) % 10 / 10, 24 * j + g, 0, 0)
                end
                zov_font_draw("checkers", 0, "AAAAAAAAAAA", 560 + g, 24 * j + g, 0, -1)
            end
            zov_image_draw("checkers", 820.3, 20.6, 11, 11)
            frames = frames + 1
            if frames == 3 then print("drawn") end
        end)");
    run.start();
    XDisplay x;
    ASSERT_TRUE(x.d);
    Window w = x.find(run.pid());
    ASSERT_NE(w, 0u) << run.err();
    ASSERT_TRUE(run.wait_line("drawn")) << run.out();
    int ww, wh;
    x.size(w, &ww, &wh);
    ASSERT_GE(ww, 840);
    ASSERT_GE(wh, 480);

    // Per region (pictures, text, the smaller copy): pixels of the picture's
    // white, and pixels of neither its black nor its white (premultiplied,
    // 254).
    auto shot = x.shot(w);
    int white[3] = {}, blended[3] = {};
    for (int py = 0; py < 480; py++)
        for (int px = 0; px < 840; px++) {
            const int region = px < 560 ? 0 : px < 800 ? 1 : 2;
            const unsigned c = shot->rgb(px, py);
            white[region] += c == 0xfefefe;
            blended[region] += c != 0 && c != 0xfefefe;
        }
    EXPECT_GT(white[0], 0) << "pictures drawn";
    EXPECT_GT(white[1], 0) << "text drawn";
    EXPECT_EQ(blended[0], 0) << "pictures";
    EXPECT_EQ(blended[1], 0) << "text";
    EXPECT_GT(blended[2], 0) << "the smaller copy is smoothed";
    EXPECT_EQ(count_lines(run.out(), "Lua error"), 0) << run.out();

    x.close(w);
    EXPECT_EQ(run.wait_exit(), 0);
}

} // namespace
