// mods_batch: the draw batch.  Scripts never draw at once: their view, image
// and text calls queue commands, and `GBatch::draw` runs the queue in order
// once per frame through the graphics and font modules.  Also maps the view
// parameters of the script parameter dict onto the graphics view.
//
// State: the queue lives in the game's API object (one batch per API
// object).  Main thread only, with the window's GL context current for
// `draw`, `_blend_set` and `_mods_view_init`.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct Game;

enum { GCMD_VIEW = 1, GCMD_IMAGE = 2, GCMD_TEXT = 3 };

// One queued command; each queueing call sets every field its type reads.
struct GCommand {
    int type = 0;       // GCMD_VIEW, GCMD_IMAGE or GCMD_TEXT; others are skipped
    std::string name;   // image or font name
    int points = 0;     // font size
    std::string text;   // text to draw
    float x = 0, y = 0, w = 0, h = 0; // view rectangle; image position and size; text position and wrap width
    int align = 0;      // text alignment
    float cx = 0, cy = 0; // image anchor, subtracted from its position
    float angle = 0;    // stored, never drawn
    int color = 0;      // 0xRRGGBB tint
    float alpha = 0;    // tint opacity
    int mode = 0;       // blend mode: stored, ignored
    float depth = 0;    // view depth
};

class GBatch {
public:
    std::vector<GCommand> queue; // in the order queued
    size_t bytes = 0;            // what the queued commands hold, texts included
    // The unusable view size reported last ("w x h"): a queue that sets it
    // every frame is reported once.
    std::string view_warned;

    // Empties the queue.
    void clear();
    // Runs the queue in order with the game's parameters; the queue stays.
    // Commands before the first view command draw in the view that the
    // parameters hold.
    void draw();
};

// The draw colour (gfx_set_color) for a tint: 0xRRGGBB times alpha
// (clamped to 0..1; NaN counts as 0), premultiplied as the pictures are.
// `mode` is ignored.
void _blend_set(int color, float alpha, int mode);
// The four colour bytes that _blend_set sets (red, green, blue, alpha).
void _blend_bytes(int color, float alpha, unsigned char out[4]);
// Applies "view_x", "view_y", "view_w", "view_h" of the game's parameters to
// the graphics view and stores the fit scale in "view_scale".  A size that
// is not a finite positive number keeps the view as it is (one log line
// per unusable size).
void _mods_view_init(Game& game);
// The largest scale at which a vw x vh view fits into a sw x sh window;
// 0 when the view size is not finite and positive.
float _mods_view_fit_scale(float vw, float vh, float sw, float sh);
