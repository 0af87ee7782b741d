// Fonts over a temporary data directory, without a window: the page
// pictures that exist are registered with GL name 0 (nothing can be uploaded
// without a context), which is all measuring and parsing need.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "support/capture.h"
#include "support/tex_files.h"
#include "zov_driver.h"
#include "zov_font.h"
#include "zov_gfx.h"

// "mono": every letter, digit and the space advance 10, line height 20,
// baseline 16; 'W' is 30 wide.
inline std::string mono_fnt() {
    std::string s = "info face=\"mono\" size=20\ncommon lineHeight=20 base=16 scaleW=64 scaleH=64 pages=1\n";
    auto glyph = [&](int id, int adv) {
        s += "char id=" + std::to_string(id) + " x=1 y=2 width=8 height=12 xoffset=1 yoffset=4 xadvance=" +
             std::to_string(adv) + " page=0 chnl=15\n";
    };
    glyph(' ', 10);
    for (int c = '0'; c <= '9'; c++) glyph(c, 10);
    for (int c = 'A'; c <= 'Z'; c++) glyph(c, c == 'W' ? 30 : 10);
    for (int c = 'a'; c <= 'z'; c++) glyph(c, 10);
    return s;
}

class FontTest : public ::testing::Test {
protected:
    TempDir dir;
    int mono = 0;

    void SetUp() override {
        driver_init(0);
        driver_set_idiom("desktop");
        driver_set_altdir(dir.path().c_str());
        gfx_init();
        font_init();
        ASSERT_TRUE(write_file(dir / "mono.fnt", mono_fnt()));
        mono = load("mono", 0);
        ASSERT_NE(mono, 0);
    }
    void TearDown() override {
        font_deinit();
        gfx_deinit();
        driver_deinit();
    }
    // font_load with its log lines kept out of the test output.
    static int load(const char* name, int size) {
        Capture err(stderr), out(stdout);
        return font_load(name, size);
    }
    static const FontInfo& info(int id) { return _font->data[id]; }
};
