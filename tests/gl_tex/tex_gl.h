// Fixture of the texture tests that need a window: the driver's window with
// its GL context, a temporary data directory searched first, and a clock
// the test sets.
#pragma once

#include <gtest/gtest.h>

#include <GL/gl.h>

#include <algorithm>
#include <cstring>

#include "support/tex_files.h"
#include "zov_driver-sdl2.h"
#include "zov_gfx.h"

// What _ZOV_GL_TEXTURE_MAG_FILTER answers in this binary, in place of the
// script's "filter" parameter.
extern int g_mag_filter;
// The registry's clock while a test runs.
extern time_t g_now;

class TexGl : public ::testing::Test {
protected:
    TempDir dir;

    void SetUp() override {
        driver_init(DRIVER_INIT_VIDEO);
        driver_video_init(640, 480, 640, 480, 320, 320, 0);
        ASSERT_NE(driver_sdl2_window(), nullptr);
        driver_set_altdir(dir.path().c_str());
        gfx_init();
        g_mag_filter = GL_LINEAR;
        // Each test gets clock values of its own, so the once-a-second gate
        // of the hot reload never sees a time of an earlier test.
        static time_t base = 1700000000;
        base += 100000;
        g_now = base;
        _gfx_set_clock([] { return g_now; });
    }
    void TearDown() override {
        _gfx_set_clock(nullptr);
        gfx_deinit();
        driver_deinit();
    }
};

// The texels of a texture's mipmap level, read back from GL.
inline Pixels tex_image(int name, int level = 0) {
    glBindTexture(GL_TEXTURE_2D, (GLuint)name);
    Pixels p;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_WIDTH, &p.w);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_HEIGHT, &p.h);
    p.px.resize((size_t)p.w * p.h * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, level, GL_RGBA, GL_UNSIGNED_BYTE, p.px.data());
    return p;
}

inline int tex_param(int name, GLenum pname) {
    glBindTexture(GL_TEXTURE_2D, (GLuint)name);
    GLint v = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, pname, &v);
    return v;
}

// The premultiplied picture in the top-left of a tw x th texture, each
// padding texel a copy of the nearest edge texel: what the loader uploads.
inline Pixels padded(const Pixels& pic, int tw, int th) {
    Pixels want;
    want.w = tw;
    want.h = th;
    want.px.resize((size_t)tw * th * 4);
    Pixels pre = premultiplied(pic);
    for (int y = 0; y < th; y++)
        for (int x = 0; x < tw; x++)
            std::memcpy(want.at(x, y), pre.at(std::min(x, pic.w - 1), std::min(y, pic.h - 1)), 4);
    return want;
}

// A picture of one colour, cheap to write however large.
inline Pixels flat(int w, int h) {
    Pixels p;
    p.w = w;
    p.h = h;
    p.px.assign((size_t)w * h * 4, 200);
    return p;
}
