// The BMFont reader on any file, at its own size and scaled, then measuring,
// wrapping, the caret rectangle and the nearest character with the input's
// own bytes as the text.  No window: the page picture is missing, which
// measuring does not need.
#include <cstring>
#include <string>

#include "fuzz_support.h"
#include "zov_driver.h"
#include "zov_font.h"
#include "zov_gfx.h"

namespace {

void measure(int font, const char* text) {
    const int len = (int)std::strlen(text);
    for (float width : {0.0f, 1.0f, 37.5f, 1e9f}) {
        FontWrap w;
        _font_wrap_calc(font, text, width, w);
        if (w.total < 1 || w.total > FONT_WRAP_MAX) fuzz_fail("wrap line count out of range");
        for (int l = 0; l < w.total; l++)
            if (w.lines[l][0] < 0 || w.lines[l][0] > w.lines[l][1] || w.lines[l][1] > len)
                fuzz_fail("wrapped line outside the text");
        font_get_height(font, text, width);
        for (int align : {-1, 0, 1}) {
            font_crect(font, text, len / 2, width, align);
            int near = font_cnear(font, text, 20, 30, width, align);
            if (near < 0 || near > len) fuzz_fail("nearest character outside the text");
        }
    }
    font_get_width(font, text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool ready = [] {
        driver_init(0);
        driver_set_altdir(fuzz_dir().c_str());
        gfx_init();
        return true;
    }();
    (void)ready;
    fuzz_file("f.fnt", data, size);
    const std::string text((const char*)data, size); // up to its first NUL
    font_init();
    for (int size_px : {0, 13})
        measure(font_load("f", size_px), text.c_str());
    font_deinit();
    return 0;
}
