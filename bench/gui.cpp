// GUI toolkit: events routed per second through 1,000-widget trees (flat and
// deep), and one layout pass, one paint pass and both together over 1,000
// styled widgets.  The paint benchmarks need a display (run under Xvfb);
// without one they are skipped.
#include <benchmark/benchmark.h>

#include <GL/gl.h>

#include <memory>
#include <random>
#include <vector>

#include "zov_driver-sdl2.h"
#include "zov_gfx.h"
#include "zov_gui.h"

namespace {

const int N = 1000;

// 1,000 focusable 10x10 widgets side by side in a 40 x 25 grid.
std::unique_ptr<Container> flat_tree() {
    auto root = std::make_unique<Container>();
    for (int i = 0; i < N; i++) {
        Widget* w = new Widget;
        w->useful = 1;
        w->onclick = var("click");
        w->style.width = w->style.height = 10;
        root->add(w, (i % 40) * 12, (i / 40) * 12);
    }
    root->resize();
    return root;
}

// 999 containers nested one in the other, each 1 unit in, around one leaf.
std::unique_ptr<Container> deep_tree() {
    auto root = std::make_unique<Container>();
    Container* c = root.get();
    for (int i = 0; i < N - 1; i++) {
        Container* inner = new Container;
        c->add(inner, 1, 1);
        c = inner;
    }
    Widget* leaf = new Widget;
    leaf->useful = 1;
    leaf->onclick = var("click");
    leaf->style.width = leaf->style.height = 50;
    c->add(leaf, 0, 0);
    root->resize();
    return root;
}

// Pointer motion over random points: each one a hit test and usually a
// hover change (exit, enter) before the event is passed on.
void route_motion(benchmark::State& state, Container& root, float span) {
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> pos(0, span);
    std::vector<Event> events(4096, Event(EVT_MOTION));
    for (Event& e : events) {
        e.x = pos(rng);
        e.y = pos(rng);
    }
    size_t i = 0;
    for (auto _ : state) {
        Event& e = events[i++ & 4095];
        benchmark::DoNotOptimize(root.event(&e));
    }
    state.SetItemsProcessed(state.iterations());
}

// Press and release at random points: focus moves and clicks.
void route_clicks(benchmark::State& state, Container& root, float span) {
    std::mt19937 rng(2);
    std::uniform_real_distribution<float> pos(0, span);
    for (auto _ : state) {
        Event down(EVT_DOWN), up(EVT_UP);
        down.x = up.x = pos(rng);
        down.y = up.y = pos(rng);
        benchmark::DoNotOptimize(root.event(&down));
        benchmark::DoNotOptimize(root.event(&up));
    }
    state.SetItemsProcessed(state.iterations() * 2);
}

void BM_EventsFlatMotion(benchmark::State& state) {
    auto root = flat_tree();
    route_motion(state, *root, 480);
}
BENCHMARK(BM_EventsFlatMotion);

void BM_EventsFlatClicks(benchmark::State& state) {
    auto root = flat_tree();
    route_clicks(state, *root, 480);
}
BENCHMARK(BM_EventsFlatClicks);

void BM_EventsDeepMotion(benchmark::State& state) {
    auto root = deep_tree();
    route_motion(state, *root, 1100);
}
BENCHMARK(BM_EventsDeepMotion);

void BM_EventsDeepClicks(benchmark::State& state) {
    auto root = deep_tree();
    route_clicks(state, *root, 1100);
}
BENCHMARK(BM_EventsDeepClicks);

// 1,000 widgets with margins, borders, paddings, a background and an
// overlay, all still stepping toward their hover values.
std::unique_ptr<Container> styled_tree() {
    auto root = std::make_unique<Container>();
    for (int i = 0; i < N; i++) {
        Widget* w = new Widget;
        StyleSheet& s = w->style;
        s.width = 8;
        s.height = 8;
        s.set_margin(1, STYLE_UNSET, STYLE_UNSET, STYLE_UNSET);
        s.set_border(1, STYLE_UNSET, STYLE_UNSET, STYLE_UNSET);
        s.set_padding(2, STYLE_UNSET, STYLE_UNSET, STYLE_UNSET);
        s.border_color = 0x808080;
        s.background.color = 0x203040;
        s.overlay.color = 0x405060;
        s.data[STYLE_NONE].background.color = 0xFFFFFF;
        s.data[STYLE_NONE].width = 12;
        root->add(w, (i % 40) * 16, (i / 40) * 16);
    }
    return root;
}

void BM_LayoutStyled(benchmark::State& state) {
    auto root = styled_tree();
    for (auto _ : state) root->resize();
    state.SetItemsProcessed(state.iterations() * N);
}
BENCHMARK(BM_LayoutStyled);

// The window and GL context for the paint benchmarks, opened once.
bool open_display() {
    static bool open = [] {
        driver_init(DRIVER_INIT_VIDEO);
        driver_video_init(640, 480, 640, 480, 320, 320, 0);
        if (!driver_sdl2_window()) return false;
        gfx_init();
        gfx_set_size(640, 480);
        gfx_set_scale(1.0f);
        gfx_ortho();
        return true;
    }();
    return open;
}

void BM_PaintStyled(benchmark::State& state) {
    if (!open_display()) return state.SkipWithError("no display");
    auto root = styled_tree();
    root->resize();
    for (auto _ : state) {
        root->paint();
        glFinish();
    }
    state.SetItemsProcessed(state.iterations() * N);
}
BENCHMARK(BM_PaintStyled);

void BM_LayoutAndPaintStyled(benchmark::State& state) {
    if (!open_display()) return state.SkipWithError("no display");
    auto root = styled_tree();
    for (auto _ : state) {
        root->resize();
        root->paint();
        glFinish();
    }
    state.SetItemsProcessed(state.iterations() * N);
}
BENCHMARK(BM_LayoutAndPaintStyled);

} // namespace
