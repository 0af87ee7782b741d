// Developer console: one overlay frame with a full log of 255 lines, open
// (darkening, widget layout and paint, the log walk) and closed (the status
// bar alone); and the layout part on its own: the widget tree's step and
// layout plus the height of every log line wrapped at the window width.
// Needs a display (run under Xvfb); without one every benchmark is skipped.
#include <benchmark/benchmark.h>

#include <GL/gl.h>

#include <memory>
#include <string>

#include "game.h"
#include "mods_api.h"
#include "mods_console.h"
#include "zov_driver-sdl2.h"
#include "zov_driver.h"
#include "zov_font.h"
#include "zov_gfx.h"

namespace {

// A window, the console's data files and an API object (no script engine)
// whose log holds 255 lines of 60 to 160 bytes, opened once.
ModsAPI* console_api() {
    static Game game;
    static ModsAPI* api = [] () -> ModsAPI* {
        driver_init(DRIVER_INIT_VIDEO);
        driver_video_init(640, 480, 640, 480, 320, 320, 0);
        if (!driver_sdl2_window()) return nullptr;
        gfx_init();
        font_init();
        driver_set_altdir(ZOV_BENCH_DATA);
        GAME_THIS = &game;
        ModsAPI* a = new ModsAPI(game);
        game.data.mods.api = a;
        for (int i = 0; i < MODSAPI_LOG_MAX; i++) {
            std::string line = "line " + std::to_string(i) + ":";
            while (line.size() < (size_t)(60 + i % 100)) line += " word";
            a->log.push_back(line);
        }
        return a;
    }();
    return api;
}

void BM_ConsolePaintOpen(benchmark::State& state) {
    ModsAPI* api = console_api();
    if (!api) return state.SkipWithError("no display");
    api->console_toggle = 1;
    for (auto _ : state) {
        modsapi_log_paint(api);
        glFinish();
    }
}
BENCHMARK(BM_ConsolePaintOpen)->Unit(benchmark::kMicrosecond);

void BM_ConsolePaintClosed(benchmark::State& state) {
    ModsAPI* api = console_api();
    if (!api) return state.SkipWithError("no display");
    api->console_toggle = 0;
    for (auto _ : state) {
        modsapi_log_paint(api);
        glFinish();
    }
}
BENCHMARK(BM_ConsolePaintClosed)->Unit(benchmark::kMicrosecond);

// What the open console computes each frame besides drawing, with the log
// walk measuring all 255 lines (the drawing stops once it is off screen).
void BM_ConsoleLayout255Lines(benchmark::State& state) {
    ModsAPI* api = console_api();
    if (!api) return state.SkipWithError("no display");
    const ZovGuiFont font = w_font_console();
    const int sw = game_get_sw();
    for (auto _ : state) {
        api->console_gui.loop();
        api->console_gui.resize();
        int h = 0;
        for (const std::string& line : api->log) h += font.get_height(line.c_str(), sw);
        benchmark::DoNotOptimize(h);
    }
}
BENCHMARK(BM_ConsoleLayout255Lines)->Unit(benchmark::kMicrosecond);

} // namespace
