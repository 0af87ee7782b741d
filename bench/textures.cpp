// Picture loading and registry overhead:
//   - milliseconds per load of a 2048x2048 PNG (read, decode, premultiply,
//     upload with generated mipmaps);
//   - the registry's cost per draw when a picture is asked for by name
//     before every draw (name to image id, use mark, GL name), 10,000 draws
//     per iteration.
// Needs a display (run under Xvfb); the window is the driver's.
#include <benchmark/benchmark.h>

#include <GL/gl.h>
#include <stb_image_write.h>

#include <cstdio>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "zov_driver-sdl2.h"
#include "zov_driver.h"
#include "zov_gfx.h"

namespace {

// The driver's window and the graphics module for one benchmark.
struct Window {
    bool ok;
    Window() {
        driver_init(DRIVER_INIT_VIDEO);
        driver_video_init(640, 480, 640, 480, 320, 320, 0);
        ok = driver_sdl2_window() != nullptr;
        gfx_init();
    }
    ~Window() {
        gfx_deinit();
        driver_deinit();
    }
};

// An n x n RGBA PNG at `path` with soft gradients and some noise, so it
// compresses like a real picture rather than like a flat one.
bool write_png(const std::string& path, int n) {
    std::vector<unsigned char> px((size_t)n * n * 4);
    unsigned seed = 12345;
    for (int y = 0; y < n; y++)
        for (int x = 0; x < n; x++) {
            seed = seed * 1103515245u + 12345u;
            unsigned char* t = &px[((size_t)y * n + x) * 4];
            t[0] = (unsigned char)(x / 8 + (seed >> 28));
            t[1] = (unsigned char)(y / 8);
            t[2] = (unsigned char)((x + y) / 16);
            t[3] = (unsigned char)(128 + (x ^ y) % 128);
        }
    return stbi_write_png(path.c_str(), n, n, 4, px.data(), n * 4) != 0;
}

// A fresh directory for the pictures, removed with them.
struct Dir {
    std::string path;
    std::vector<std::string> files;
    Dir() {
        char tmpl[] = "/tmp/zov-bench-XXXXXX";
        if (mkdtemp(tmpl)) path = tmpl;
    }
    ~Dir() {
        for (const std::string& f : files) unlink(f.c_str());
        if (!path.empty()) rmdir(path.c_str());
    }
    std::string add(const std::string& name, int n) {
        std::string f = path + "/" + name;
        files.push_back(f);
        return write_png(f, n) ? f : "";
    }
};

void BM_tex_load_png_2048(benchmark::State& state) {
    Window win;
    Dir dir;
    std::string path = dir.add("big.png", 2048);
    if (!win.ok || path.empty()) {
        state.SkipWithError("no window or no picture");
        return;
    }
    // The loader writes two lines per load: keep them out of the figures.
    std::fflush(stderr);
    int saved = dup(2);
    int devnull = open("/dev/null", O_WRONLY);
    dup2(devnull, 2);
    for (auto _ : state) {
        int w, h, tw, th;
        GLuint name = (GLuint)driver_tex_load(path.c_str(), &w, &h, &tw, &th);
        if (!name) state.SkipWithError("load failed");
        gfx_tex_delete((int)name);
    }
    dup2(saved, 2);
    close(saved);
    close(devnull);
}

void BM_img_load_by_name_per_draw(benchmark::State& state) {
    Window win;
    Dir dir;
    const char* names[] = {"hero", "enemy", "tiles", "ui/button", "cloud.png", "sky"};
    for (const char* n : {"hero", "enemy", "tiles", "button", "cloud", "sky"}) dir.add(std::string(n) + ".png", 64);
    driver_set_altdir(dir.path.c_str());
    for (const char* n : names)
        if (!gfx_img_load(n)) state.SkipWithError("picture missing");
    const int draws = 10000;
    for (auto _ : state) {
        int sum = 0;
        for (int i = 0; i < draws; i++) {
            int img = gfx_img_load(names[i % 6]);
            sum += gfx_img_get_tex(img);
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * draws);
}

} // namespace

BENCHMARK(BM_tex_load_png_2048)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_img_load_by_name_per_draw)->Unit(benchmark::kMicrosecond);
