// Script host costs: one event delivered to the script's _event, and one
// zov_image_draw call from Lua into the draw queue; 100,000 of each.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "game.h"
#include "mods_api.h"
#include "mods_lua.h"
#include "zov_driver.h"

namespace {

const int N = 100000;

// A game with its API object and Lua engine, no window.
struct Host {
    Game game;
    ModsAPI* api;
    ModsLua* lua;
    Host() {
        driver_init(0);
        driver_set_altdir("/nonexistent"); // no api.lua
        GAME_THIS = &game;
        api = new ModsAPI(game);
        game.data.mods.api = api;
        lua = static_cast<ModsLua*>(mods_lua(*api));
        game.data.mods.mod = lua;
    }
    ~Host() {
        delete lua;
        game.data.mods.mod = nullptr;
        delete api;
        GAME_THIS = nullptr;
        driver_deinit();
    }
};

// The dict a mouse-down event becomes, with every key the script gets.
var mouse_event() {
    var e = var_dict();
    e["type"] = var("mousedown");
    e["x"] = var(123.5);
    e["y"] = var(456.25);
    e["w"] = var(0);
    e["h"] = var(0);
    e["dx"] = var(0);
    e["dy"] = var(0);
    e["text"] = var("");
    e["button"] = var(1);
    e["device"] = var(0);
    return e;
}

void BM_EventToScript(benchmark::State& state) {
    Host h;
    h.lua->script("n = 0 function _event(e) if e.type == 'mousedown' then n = n + e.x end end", "bench");
    var e = mouse_event();
    for (auto _ : state) h.lua->event(e);
    if (!h.lua->is_ok()) state.SkipWithError("the script failed");
    state.counters["per_event"] = benchmark::Counter((double)state.iterations(),
                                                     benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_EventToScript)->Iterations(N)->Unit(benchmark::kMicrosecond);

void BM_ImageDrawFromLua(benchmark::State& state) {
    Host h;
    std::string loop = "for i = 1, " + std::to_string(N) + " do zov_image_draw('hero', i, 20, 32, 32, 16, 16) end";
    for (auto _ : state) {
        h.api->batch.clear();
        h.lua->script(loop.c_str(), "bench");
    }
    if (h.api->batch.queue.size() != (size_t)N) state.SkipWithError("the queue is short");
    state.counters["per_call"] = benchmark::Counter((double)state.iterations() * N,
                                                    benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_ImageDrawFromLua)->Iterations(5)->Unit(benchmark::kMillisecond);

} // namespace
