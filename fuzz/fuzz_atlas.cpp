// The sprite atlas reader on any file, through gfx_atlas_load, then every
// image it registered is looked up and measured.  No window: the picture
// does not decode and gets GL name 0, which the atlas does not need.
#include <string>

#include "fuzz_support.h"
#include "zov_driver.h"
#include "zov_gfx.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool ready = [] {
        driver_init(0);
        driver_set_altdir(fuzz_dir().c_str());
        const uint8_t picture[] = "not a picture";
        fuzz_file("a.png", picture, sizeof picture);
        return true;
    }();
    (void)ready;
    fuzz_file("a.json", data, size);
    gfx_init();
    gfx_atlas_load("a");
    for (const auto& [name, id] : _gfx->img_map) {
        if (gfx_img_load(name.c_str()) != id) fuzz_fail("an image name does not give its id");
        gfx_img_get_width(id);
        gfx_img_get_height(id);
        gfx_img_get_ratio(id);
    }
    gfx_deinit();
    return 0;
}
