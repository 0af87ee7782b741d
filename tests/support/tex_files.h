// Picture files for the texture tests: pictures written with
// stb_image_write, real pictures from installed packages, and
// the premultiplied pixels the loader is expected to produce.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <sys/time.h>
#include <unistd.h>

#include <stb_image.h>
#include <stb_image_write.h>

#include "support/capture.h" // TempDir, Capture

// Real pictures of Debian packages (see tools/install-deps.sh).
#define ADWAITA "/usr/share/icons/Adwaita"
#define PYTHON_PICTURES "/usr/lib/python3.11/test/imghdrdata"

// RGBA pixels, rows top to bottom.
struct Pixels {
    int w = 0, h = 0;
    std::vector<unsigned char> px;
    unsigned char* at(int x, int y) { return &px[((size_t)y * w + x) * 4]; }
    const unsigned char* at(int x, int y) const { return &px[((size_t)y * w + x) * 4]; }
};

// A picture decoded to RGBA by stb_image; empty when it does not decode.
inline Pixels decode(const std::string& path) {
    Pixels p;
    int n;
    unsigned char* d = stbi_load(path.c_str(), &p.w, &p.h, &n, 4);
    if (d) p.px.assign(d, d + (size_t)p.w * p.h * 4);
    stbi_image_free(d);
    return p;
}

// The colour channels times alpha, divided by 256.
inline Pixels premultiplied(Pixels p) {
    for (size_t i = 0; i < p.px.size(); i += 4)
        for (int c = 0; c < 3; c++) p.px[i + c] = (unsigned char)(p.px[i + c] * p.px[i + 3] >> 8);
    return p;
}

// A w x h picture whose texels vary in every channel (alpha included).
inline Pixels pattern(int w, int h) {
    Pixels p;
    p.w = w;
    p.h = h;
    p.px.resize((size_t)w * h * 4);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            unsigned char* t = p.at(x, y);
            t[0] = (unsigned char)(x * 7 + y);
            t[1] = (unsigned char)(y * 5 + 3);
            t[2] = (unsigned char)(x ^ y);
            t[3] = (unsigned char)(255 - (x + y) % 200);
        }
    return p;
}

inline bool write_png(const std::string& path, const Pixels& p) {
    return stbi_write_png(path.c_str(), p.w, p.h, 4, p.px.data(), p.w * 4) != 0;
}

inline bool write_file(const std::string& path, const std::string& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    size_t n = std::fwrite(bytes.data(), 1, bytes.size(), f);
    return std::fclose(f) == 0 && n == bytes.size();
}

inline std::string read_file(const std::string& path) {
    std::string out;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
        std::fclose(f);
    }
    return out;
}

// Sets a file's modification (and access) time.
inline bool set_mtime(const std::string& path, time_t t) {
    struct timeval tv[2] = {{t, 0}, {t, 0}};
    return utimes(path.c_str(), tv) == 0;
}
