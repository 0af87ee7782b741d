// Drawing cost in a real GL context (run under Xvfb; Mesa's llvmpipe):
//   - frame time for 1,000 / 10,000 / 50,000 image blits per frame, of one
//     32x32 picture and of 4x4 sprites, all from one texture or spread
//     over 64 textures;
//   - glyphs per second of font_draw with the console font;
//   - draw calls per frame, counted by interposing glDrawArrays.
// A frame is: clear, the draws, glFinish (so the rasterising is timed too).
#include <benchmark/benchmark.h>

#include <GL/gl.h>
#include <dlfcn.h>
#include <stb_image_write.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "zov_driver-sdl2.h"
#include "zov_driver.h"
#include "zov_font.h"
#include "zov_gfx.h"

// ====== Draw call counter ======

static long g_draw_calls = 0;

extern "C" void glDrawArrays(GLenum mode, GLint first, GLsizei count) {
    using Fn = void (*)(GLenum, GLint, GLsizei);
    static Fn real = (Fn)dlsym(RTLD_NEXT, "glDrawArrays");
    g_draw_calls++;
    real(mode, first, count);
}

namespace {

const int WIN_W = 640, WIN_H = 480;

// The driver's window, the graphics and font modules, and a data directory
// of pictures, made once for the whole run.
struct Scene {
    bool ok = false;
    std::string dir;
    std::vector<int> big;    // 32x32 pictures, one per texture
    std::vector<int> sprite; // 4x4 pictures, one per texture
    int console = 0;

    Scene() {
        driver_init(DRIVER_INIT_VIDEO);
        driver_video_init(WIN_W, WIN_H, WIN_W, WIN_H, 320, 320, 0);
        if (!driver_sdl2_window()) return;
        gfx_init();
        font_init();
        gfx_set_size(WIN_W, WIN_H);
        gfx_set_scale(1);
        gfx_ortho();
        char tmpl[] = "/tmp/zov-bench-draw-XXXXXX";
        if (!mkdtemp(tmpl)) return;
        dir = tmpl;
        driver_set_altdir(dir.c_str());
        // The registry writes lines for every load: keep them out of the
        // report.
        std::fflush(stdout);
        std::fflush(stderr);
        int saved_out = dup(1), saved_err = dup(2), null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        for (int i = 0; i < 64; i++) {
            big.push_back(picture("big" + std::to_string(i), 32, i));
            sprite.push_back(picture("spr" + std::to_string(i), 4, i));
        }
        // The console font of the data directory beside this file's folder.
        const std::string data = std::filesystem::path(__FILE__).parent_path().parent_path() / "data";
        driver_set_altdir(data.c_str());
        console = font_load("console", 24);
        std::fflush(stdout);
        std::fflush(stderr);
        dup2(saved_out, 1);
        dup2(saved_err, 2);
        close(saved_out);
        close(saved_err);
        close(null);
        ok = console != 0 && big[63] != 0 && sprite[63] != 0;
    }
    ~Scene() {
        if (!dir.empty()) std::filesystem::remove_all(dir);
        font_deinit();
        gfx_deinit();
        driver_deinit();
    }

    int picture(const std::string& name, int n, int seed) {
        std::vector<unsigned char> px((size_t)n * n * 4);
        for (int i = 0; i < n * n; i++) {
            px[i * 4 + 0] = (unsigned char)(seed * 4 + i);
            px[i * 4 + 1] = (unsigned char)(i * 3);
            px[i * 4 + 2] = (unsigned char)(255 - seed);
            px[i * 4 + 3] = (unsigned char)(128 + i % 128);
        }
        stbi_write_png((dir + "/" + name + ".png").c_str(), n, n, 4, px.data(), n * 4);
        return gfx_img_load(name.c_str());
    }
};

Scene& scene() {
    static Scene s;
    return s;
}

// Blits per frame (range 0), picture side 32 or 4 (range 1), textures 1 or
// 64 (range 2).
void BM_Blits(benchmark::State& state) {
    Scene& s = scene();
    if (!s.ok) {
        state.SkipWithError("no GL window");
        return;
    }
    const int n = (int)state.range(0), side = (int)state.range(1), textures = (int)state.range(2);
    const std::vector<int>& ids = side == 32 ? s.big : s.sprite;
    std::vector<float> xy((size_t)n * 2);
    unsigned seed = 7;
    for (float& v : xy) {
        seed = seed * 1103515245u + 12345u;
        v = (float)(seed >> 8 & 1023) / 1024.0f;
    }
    g_draw_calls = 0;
    for (auto _ : state) {
        gfx_clear();
        for (int i = 0; i < n; i++)
            gfx_img_blit(ids[i % textures], xy[i * 2] * (WIN_W - side), xy[i * 2 + 1] * (WIN_H - side), 0, 0);
        glFinish();
    }
    state.counters["draw_calls/frame"] = (double)g_draw_calls / state.iterations();
    state.counters["blits/s"] = benchmark::Counter((double)n * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Blits)
    ->ArgsProduct({{1000, 10000, 50000}, {32, 4}, {1, 64}})
    ->ArgNames({"blits", "side", "textures"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Lines of 80 characters per frame (range 0), drawn with the console font
// in blocks of 20 lines (a text is laid out in 32 lines at most).
void BM_Glyphs(benchmark::State& state) {
    Scene& s = scene();
    if (!s.ok) {
        state.SkipWithError("no GL window");
        return;
    }
    const int lines = (int)state.range(0);
    std::string block;
    for (int l = 0; l < 20; l++) {
        for (int c = 0; c < 80; c++) block += (char)(33 + (l * 7 + c) % 94);
        if (l < 19) block += '\n';
    }
    const int glyphs = lines * 80;
    g_draw_calls = 0;
    for (auto _ : state) {
        gfx_clear();
        for (int first = 0; first < lines; first += 20) font_draw(s.console, block.c_str(), 0, 0, 0, -1);
        glFinish();
    }
    state.counters["draw_calls/frame"] = (double)g_draw_calls / state.iterations();
    state.counters["glyphs/s"] = benchmark::Counter((double)glyphs * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Glyphs)->Arg(20)->Arg(200)->ArgName("lines")->Unit(benchmark::kMillisecond)->UseRealTime();

// Wrapping and measuring alone (no GL): a 2,000-byte paragraph at 600 pixels.
void BM_WrapAndMeasure(benchmark::State& state) {
    Scene& s = scene();
    if (!s.ok) {
        state.SkipWithError("no GL window");
        return;
    }
    std::string text;
    for (int i = 0; i < 2000; i++) text += (i % 7 == 6) ? ' ' : (char)('a' + i % 26);
    for (auto _ : state) {
        benchmark::DoNotOptimize(font_get_height(s.console, text.c_str(), 600));
        benchmark::DoNotOptimize(font_get_width(s.console, text.c_str()));
    }
    state.SetBytesProcessed((int64_t)text.size() * 2 * state.iterations());
}
BENCHMARK(BM_WrapAndMeasure);

} // namespace
