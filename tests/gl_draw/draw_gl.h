// Fixture of the drawing tests: the driver's 640x480 window, a view of the
// same size (one view unit is one window pixel), nearest filtering, and a
// temporary data directory searched first.  Pixels are read back from the
// back buffer before any swap.
#pragma once

#include <gtest/gtest.h>

#include <GL/gl.h>

#include <functional>
#include <string>

#include "support/tex_files.h"
#include "zov_driver-sdl2.h"
#include "zov_font.h"
#include "zov_gfx.h"

const int WIN_W = 640, WIN_H = 480;

// Premultiplied RGB, as a framebuffer cleared to black shows a texel.
struct Rgb {
    int r, g, b;
    bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
    bool operator!=(const Rgb& o) const { return !(*this == o); }
};

inline std::ostream& operator<<(std::ostream& os, const Rgb& c) {
    return os << "(" << c.r << ", " << c.g << ", " << c.b << ")";
}

const Rgb BLACK{0, 0, 0};

// The script's "filter" parameter, as the loader asks for it: GL_NEAREST
// for "nearest", else GL_LINEAR (the default).
extern int g_mag_filter;

// Nearest filtering both ways: a quad stretched along one axis only may
// count as minified, and the loader's minification filter is linear.  Set
// through the module, which owns the filters (the size then decides
// nothing).
inline void nearest(int name) { gfx_tex_filter(name, 0, 0, GL_NEAREST, GL_NEAREST); }

class DrawGl : public ::testing::Test {
protected:
    TempDir dir;

    void SetUp() override {
        driver_init(DRIVER_INIT_VIDEO);
        driver_video_init(WIN_W, WIN_H, WIN_W, WIN_H, 320, 320, 0);
        ASSERT_NE(driver_sdl2_window(), nullptr);
        driver_set_idiom("desktop");
        driver_set_altdir(dir.path().c_str());
        gfx_init();
        font_init();
        gfx_set_size(WIN_W, WIN_H);
        gfx_set_scale(1);
        gfx_ortho();
        gfx_clear();
        glColor4ub(255, 255, 255, 255);
    }
    void TearDown() override {
        font_deinit();
        gfx_deinit();
        driver_deinit();
    }

    // Writes a picture into the data directory and loads it as an image
    // with the loader's filters.
    int loaded(const std::string& name, const Pixels& p) {
        EXPECT_TRUE(write_png(dir / (name + ".png"), p));
        Capture err(stderr), out(stdout);
        return gfx_img_load(name.c_str());
    }

    // The same with nearest filtering.
    int picture(const std::string& name, const Pixels& p) {
        int id = loaded(name, p);
        nearest(gfx_img_get_tex(id));
        return id;
    }

    // The back buffer, rows top to bottom.
    Pixels grab() {
        Pixels p;
        p.w = WIN_W;
        p.h = WIN_H;
        p.px.resize((size_t)WIN_W * WIN_H * 4);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, WIN_W, WIN_H, GL_RGBA, GL_UNSIGNED_BYTE, p.px.data());
        Pixels flipped = p;
        for (int y = 0; y < WIN_H; y++)
            std::copy(p.at(0, WIN_H - 1 - y), p.at(0, WIN_H - 1 - y) + WIN_W * 4, flipped.at(0, y));
        return flipped;
    }

    // Compares every window pixel with want(x, y); reports the first few
    // differences.  True when all match.
    bool expect_screen(const std::function<Rgb(int, int)>& want, const char* what) {
        Pixels s = grab();
        int bad = 0;
        for (int y = 0; y < WIN_H; y++)
            for (int x = 0; x < WIN_W; x++) {
                const unsigned char* p = s.at(x, y);
                Rgb got{p[0], p[1], p[2]}, w = want(x, y);
                if (got != w && ++bad <= 5)
                    ADD_FAILURE() << what << ": pixel (" << x << ", " << y << ") is " << got << ", want " << w;
            }
        if (bad > 5) ADD_FAILURE() << what << ": " << bad << " pixels differ in all";
        return bad == 0;
    }
};

// The colour a premultiplied texel shows over black.
inline Rgb shown(const Pixels& premul, int x, int y) {
    const unsigned char* t = premul.at(x, y);
    return Rgb{t[0], t[1], t[2]};
}

// Whether [x, x + 1) x [y, y + 1) has its centre inside the rectangle: the
// pixels a quad covers.
inline bool covers(float rx, float ry, float rw, float rh, int x, int y) {
    return x + 0.5f >= rx && x + 0.5f < rx + rw && y + 0.5f >= ry && y + 0.5f < ry + rh;
}

// A w x h picture of one opaque colour.
inline Pixels solid(int w, int h, Rgb c) {
    Pixels p;
    p.w = w;
    p.h = h;
    p.px.resize((size_t)w * h * 4);
    for (int i = 0; i < w * h; i++) {
        p.px[i * 4 + 0] = (unsigned char)c.r;
        p.px[i * 4 + 1] = (unsigned char)c.g;
        p.px[i * 4 + 2] = (unsigned char)c.b;
        p.px[i * 4 + 3] = 255;
    }
    return p;
}
