// Clipping cost per drawn quad: _gfx_clip (and the _gfx_clip_test it calls)
// over one million random destination and texture rectangles, with an empty
// clip stack and with two nested levels under a translation.  The heap is
// counted around every timed loop: the clip path must not allocate.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstddef>
#include <random>
#include <vector>

#include "zov_driver.h"
#include "zov_gfx.h"

// ====== Allocation counter ======
// Interposes the C allocator (C++ new goes through it too) and counts calls.
extern "C" void* __libc_malloc(size_t);
extern "C" void* __libc_calloc(size_t, size_t);
extern "C" void* __libc_realloc(void*, size_t);

static std::atomic<long> g_allocs{0};

extern "C" void* malloc(size_t n) {
    g_allocs.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(n);
}
extern "C" void* calloc(size_t n, size_t size) {
    g_allocs.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(n, size);
}
extern "C" void* realloc(void* p, size_t n) {
    g_allocs.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(p, n);
}

namespace {

const int N = 1000000;

struct Quad {
    GfxRect dst, tex;
};

// Rectangles around and across an 800x600 area, some empty or negative.
const std::vector<Quad>& quads() {
    static std::vector<Quad> q = [] {
        std::mt19937 rng(12345);
        std::uniform_real_distribution<float> pos(-200, 1000), ext(-10, 300), uv(0, 1);
        std::vector<Quad> v(N);
        for (Quad& e : v) {
            e.dst = GfxRect(pos(rng), pos(rng), ext(rng), ext(rng));
            e.tex = GfxRect(uv(rng), uv(rng), uv(rng), uv(rng));
        }
        return v;
    }();
    return q;
}

// Runs _gfx_clip over every quad per iteration; fails the run on any
// allocation inside the timed loop.
void run(benchmark::State& state) {
    const std::vector<Quad>& q = quads();
    long kept = 0;
    long before = g_allocs.load();
    for (auto _ : state) {
        for (const Quad& e : q) {
            GfxRect d = e.dst, t = e.tex;
            kept += _gfx_clip(&d, &t);
            benchmark::DoNotOptimize(d);
            benchmark::DoNotOptimize(t);
        }
    }
    long allocs = g_allocs.load() - before;
    state.SetItemsProcessed(state.iterations() * (int64_t)q.size());
    state.counters["allocs"] = (double)allocs;
    state.counters["kept"] = (double)kept / ((double)state.iterations() * q.size());
    if (allocs != 0) state.SkipWithError("the clip path allocated");
}

void BM_gfx_clip_empty_stack(benchmark::State& state) {
    driver_init(0);
    gfx_init();
    run(state);
    gfx_deinit();
    driver_deinit();
}

void BM_gfx_clip_active(benchmark::State& state) {
    driver_init(0);
    gfx_init();
    gfx_clip(0, 0, 800, 600);
    gfx_translate(40, 30);
    gfx_clip(10, 10, 600, 400);
    run(state);
    gfx_deinit();
    driver_deinit();
}

} // namespace

BENCHMARK(BM_gfx_clip_empty_stack)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_gfx_clip_active)->Unit(benchmark::kMillisecond);
