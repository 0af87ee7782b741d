#include "mods_batch.h"

#include <cmath>

#include "game.h"
#include "mods_api.h"
#include "zov_font.h"
#include "zov_gfx.h"
#include "zov_gfx_draw.h"
#include "zov_util.h"

// ====== Colour ======

void _blend_bytes(int color, float alpha, unsigned char out[4]) {
    // Clamped first: beyond 0..1 the products would wrap round to other
    // colours.
    float a = alpha > 0 ? (alpha < 1 ? alpha : 1) : 0;
    out[0] = (unsigned char)(((color >> 16) & 255) * a);
    out[1] = (unsigned char)(((color >> 8) & 255) * a);
    out[2] = (unsigned char)((color & 255) * a);
    out[3] = (unsigned char)(a * 255.0f);
}

void _blend_set(int color, float alpha, int mode) {
    (void)mode;
    unsigned char c[4];
    _blend_bytes(color, alpha, c);
    gfx_set_color(c[0], c[1], c[2], c[3]);
}

// ====== View ======

// Truncated toward zero, saturating at the int range (NaN gives 0): script
// numbers can be anything.
static int _to_int(float v) {
    if (!(v == v)) return 0;
    if (v >= 2147483520.0f) return 2147483520;
    if (v <= -2147483520.0f) return -2147483520;
    return (int)v;
}

float _mods_view_fit_scale(float vw, float vh, float sw, float sh) {
    bool usable = std::isfinite(vw) && std::isfinite(vh) && vw > 0 && vh > 0;
    return usable ? mymin(sh / vh, sw / vw) : 0.0f;
}

void _mods_view_init(Game& game) {
    ModsAPI& api = *game.data.mods.api;
    var w = api.params_get("view_w"), h = api.params_get("view_h");
    float vw = w, vh = h;
    float scale = _mods_view_fit_scale(vw, vh, (float)game_get_sw(), (float)game_get_sh());
    if (scale == 0.0f) {
        std::string size = w.__str__() + " x " + h.__str__();
        if (api.batch.view_warned != size) {
            api.log_printf("view size %s is not a positive number; the last valid view stays\n", size.c_str());
            api.batch.view_warned = size;
        }
        return;
    }
    api.params_set("view_scale", var(scale));
    gfx_set_size(_to_int(vw), _to_int(vh));
    gfx_set_shift(-_to_int(api.params_get("view_x")), -_to_int(api.params_get("view_y")));
    gfx_set_scale(scale);
}

// ====== Queue ======

void GBatch::clear() {
    queue.clear();
    bytes = 0;
}

void GBatch::draw() {
    Game& game = *game_this();
    // Through params_set, which counts what the parameters hold.
    ModsAPI& api = *game.data.mods.api;
    _mods_view_init(game);
    gfx_ortho();
    // Runs of images from one texture go to GL together; a new view and
    // text draw the queued images first themselves.
    gfx_batch_begin();
    // A name keeps its image id for good (a failure keeps 0), so a run of
    // commands with one name needs one look-up; the blit marks each use.
    const std::string* last_name = nullptr;
    int last_id = 0;
    for (const GCommand& c : queue) {
        switch (c.type) {
        case GCMD_VIEW:
            api.params_set("view_x", var(c.x));
            api.params_set("view_y", var(c.y));
            api.params_set("view_w", var(c.w));
            api.params_set("view_h", var(c.h));
            api.params_set("view_depth", var(c.depth));
            _mods_view_init(game);
            gfx_ortho();
            break;
        case GCMD_IMAGE: {
            if (!last_name || *last_name != c.name) {
                last_id = gfx_img_load(c.name.c_str());
                last_name = &c.name;
            }
            const int id = last_id;
            _blend_set(c.color, c.alpha, c.mode);
            // A negative size mirrors the picture in place: its box starts
            // that much further on.
            float dx = c.x - c.cx, dy = c.y - c.cy;
            if (c.w < 0) dx -= c.w;
            if (c.h < 0) dy -= c.h;
            gfx_img_blit(id, dx, dy, c.w, c.h);
            break;
        }
        case GCMD_TEXT: {
            int f = font_load(c.name.c_str(), c.points);
            _blend_set(c.color, c.alpha, c.mode);
            font_draw(f, c.text.c_str(), c.x, c.y, c.w, c.align);
            break;
        }
        default:
            break;
        }
    }
    gfx_batch_end();
}
