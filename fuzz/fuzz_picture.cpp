// The texture loader's path from file bytes to the texels it would upload,
// without GL: the header checks, decoding, premultiplication, padding and
// the halving of small devices.  Every picture that passes must fit the
// limits and carry its edges into the padding.
#include <cstring>
#include <string>

#include "fuzz_support.h"
#include "zov_driver-tex_load.h"
#include "zov_driver.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool ready = [] {
        driver_init(0);
        return true;
    }();
    (void)ready;
    std::string path = fuzz_file("in.pic", data, size);
    TexPixels t;
    std::string why;
    if (!_driver_tex_pixels(path.c_str(), ZOV_TEX_MAX_SIDE, &t, &why)) {
        if (why.empty()) fuzz_fail("a refusal without a reason");
        return 0;
    }
    if (t.w < 1 || t.h < 1 || t.w > ZOV_TEX_MAX_SIDE || t.h > ZOV_TEX_MAX_SIDE)
        fuzz_fail("picture size out of range");
    if (t.tw != _driver_tex_side(t.w) || t.th != _driver_tex_side(t.h))
        fuzz_fail("texture size off the table");
    if ((long long)t.tw * t.th > ZOV_TEX_MAX_TEXELS) fuzz_fail("texture above the texel bound");
    // The far corner repeats the picture's last texel; reading it also
    // shows a buffer smaller than the texture.
    const unsigned char* px = t.texels();
    const unsigned char* last = px + ((size_t)(t.h - 1) * t.tw + t.w - 1) * 4;
    const unsigned char* corner = px + ((size_t)t.th * t.tw - 1) * 4;
    if (std::memcmp(last, corner, 4) != 0) fuzz_fail("padding does not repeat the edge");
    if (t.tw > 64 && t.th > 64) _driver_tex_halve(t.texels(), &t.w, &t.h, &t.tw, &t.th);
    return 0;
}
