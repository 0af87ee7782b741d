// game_art: paints the bundled game's pictures and writes them as PNG files
// (straight alpha; the runtime premultiplies on load).
//
//   game_art <output directory>
//
// Small sprites are drawn from character maps below, one character per
// pixel; the coin, the rock and the sky are computed.  A fixed pseudo-random
// sequence makes every run write the same files.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

namespace {

struct Picture {
    int w, h;
    std::vector<uint8_t> rgba;
    Picture(int w_, int h_) : w(w_), h(h_), rgba((size_t)w_ * h_ * 4, 0) {}
    void set(int x, int y, uint32_t rgb, int a = 255) {
        if (x < 0 || y < 0 || x >= w || y >= h) return;
        uint8_t* p = &rgba[((size_t)y * w + x) * 4];
        p[0] = (uint8_t)(rgb >> 16);
        p[1] = (uint8_t)(rgb >> 8);
        p[2] = (uint8_t)rgb;
        p[3] = (uint8_t)a;
    }
    bool save(const std::string& dir, const char* name) const {
        std::string path = dir + "/" + name + ".png";
        if (stbi_write_png(path.c_str(), w, h, 4, rgba.data(), w * 4)) return true;
        std::fprintf(stderr, "game_art: cannot write %s\n", path.c_str());
        return false;
    }
};

uint32_t rng_state = 12345;
// Uniform in [0, 1).
double rnd() {
    rng_state = rng_state * 1664525u + 1013904223u;
    return (rng_state >> 8) / 16777216.0;
}

uint32_t mix(uint32_t a, uint32_t b, double t) {
    uint32_t out = 0;
    for (int s = 0; s < 24; s += 8) {
        double ca = (a >> s) & 255, cb = (b >> s) & 255;
        out |= (uint32_t)std::lround(ca + (cb - ca) * t) << s;
    }
    return out;
}

struct Ink {
    char c;
    uint32_t rgb;
};

Picture from_map(const std::vector<const char*>& rows, const std::vector<Ink>& inks) {
    Picture p((int)std::strlen(rows[0]), (int)rows.size());
    for (int y = 0; y < p.h; y++) {
        for (int x = 0; x < p.w; x++) {
            for (const Ink& ink : inks) {
                if (rows[y][x] == ink.c) p.set(x, y, ink.rgb);
            }
        }
    }
    return p;
}

Picture ship() {
    return from_map({"       WW       ",
                     "      WBBW      ",
                     "      WBCW      ",
                     "     WWBBWW     ",
                     "    WGGGGGGW    ",
                     "   WGGGGGGGGW   ",
                     "  WGGDGGGGDGGW  ",
                     " WGGGDGGGGDGGGW ",
                     "WGGGGDDDDDDGGGGW",
                     "WWWW  WWWW  WWWW",
                     "      ORRO      ",
                     "       OO       "},
                    {{'W', 0xe8ecf4}, {'G', 0x5d7bb5}, {'D', 0x33456e}, {'B', 0x49d6ff}, {'C', 0xffffff},
                     {'O', 0xffb02e}, {'R', 0xff4a2e}});
}

Picture heart() {
    return from_map({" RR RR ",
                     "RWRRRRR",
                     "RRRRRRR",
                     " RRRRR ",
                     "  RRR  ",
                     "   R   "},
                    {{'R', 0xe8344e}, {'W', 0xffc0c8}});
}

// A gold coin: a disc shaded from its upper left, a darker rim, a glint.
Picture coin() {
    const int n = 12;
    Picture p(n, n);
    double c = (n - 1) / 2.0, r = n / 2.0;
    for (int y = 0; y < n; y++) {
        for (int x = 0; x < n; x++) {
            double dx = x - c, dy = y - c, d = std::sqrt(dx * dx + dy * dy);
            if (d > r - 0.3) continue;
            double light = 0.5 - (dx + dy) / (4 * r);
            uint32_t rgb = mix(0xc98a0b, 0xffe066, light);
            if (d > r - 1.5) rgb = 0x8a5a00;
            p.set(x, y, rgb);
        }
    }
    p.set(3, 3, 0xffffff);
    p.set(4, 3, 0xfff6c8);
    p.set(3, 4, 0xfff6c8);
    return p;
}

// A lumpy grey rock: a disc whose radius wanders with the angle.
Picture rock() {
    const int n = 16;
    Picture p(n, n);
    double bumps[8];
    for (double& b : bumps) b = 0.75 + 0.25 * rnd();
    double c = (n - 1) / 2.0;
    for (int y = 0; y < n; y++) {
        for (int x = 0; x < n; x++) {
            double dx = x - c, dy = y - c, d = std::sqrt(dx * dx + dy * dy);
            double a = (std::atan2(dy, dx) + M_PI) / (2 * M_PI) * 8;
            int i = (int)a % 8;
            double t = a - std::floor(a);
            double r = (bumps[i] * (1 - t) + bumps[(i + 1) % 8] * t) * n / 2;
            if (d > r) continue;
            double light = 0.55 - (dx + dy) / (3 * n) + 0.15 * (rnd() - 0.5);
            uint32_t rgb = mix(0x3b3a40, 0xa59d94, light);
            if (d > r - 1.2) rgb = 0x2a282c;
            p.set(x, y, rgb);
        }
    }
    return p;
}

// The backdrop: night sky from deep blue to violet, with stars.
Picture sky() {
    const int w = 320, h = 240;
    Picture p(w, h);
    for (int y = 0; y < h; y++) {
        uint32_t rgb = mix(0x070b24, 0x3a1d5c, (double)y / (h - 1));
        for (int x = 0; x < w; x++) p.set(x, y, rgb);
    }
    for (int i = 0; i < 140; i++) {
        int x = (int)(rnd() * w), y = (int)(rnd() * h);
        int a = 90 + (int)(rnd() * 165);
        p.set(x, y, mix(0x070b24, 0xffffff, a / 255.0));
    }
    for (int i = 0; i < 6; i++) { // a few bright ones with a cross
        int x = 8 + (int)(rnd() * (w - 16)), y = 8 + (int)(rnd() * (h - 16));
        p.set(x, y, 0xffffff);
        for (int d : {-1, 1}) {
            p.set(x + d, y, 0x9fb4ff);
            p.set(x, y + d, 0x9fb4ff);
        }
    }
    return p;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: game_art <output directory>\n");
        return 2;
    }
    std::string dir = argv[1];
    bool ok = ship().save(dir, "ship") && heart().save(dir, "heart") && coin().save(dir, "coin") &&
              rock().save(dir, "rock") && sky().save(dir, "sky");
    return ok ? 0 : 1;
}
