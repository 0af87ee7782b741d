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

// ====== Hostile pictures ======

// `v` as `bytes` bytes, most significant first (`big`) or last.
inline std::string packed(unsigned long v, int bytes, bool big) {
    std::string s(bytes, '\0');
    for (int i = 0; i < bytes; i++) s[big ? bytes - 1 - i : i] = (char)(v >> (8 * i));
    return s;
}

// A 32-bit BMP header of w x h followed by 16 bytes of pixels: 70 bytes.
inline std::string bmp_claiming(int w, int h) {
    auto le = [](long v, int n) { return packed((unsigned long)v, n, false); };
    return "BM" + le(70, 4) + le(0, 4) + le(54, 4) + le(40, 4) + le(w, 4) + le(h, 4) + le(1, 2) + le(32, 2) +
           le(0, 4) + le(16, 4) + le(2835, 4) + le(2835, 4) + std::string(8, '\0') + std::string(16, '\xff');
}

// The 40-byte header of an uncompressed PSD of w x h, 3 channels of
// `depth` bits.
inline std::string psd_claiming(int w, int h, int depth) {
    auto be = [](unsigned long v, int n) { return packed(v, n, true); };
    return "8BPS" + be(1, 2) + std::string(6, '\0') + be(3, 2) + be(h, 4) + be(w, 4) + be(depth, 2) + be(3, 2) +
           std::string(14, '\0');
}

// A small JPEG written by stb_image_write whose frame header then claims
// w x h.
inline std::string jpeg_claiming(int w, int h) {
    std::string s;
    Pixels p = pattern(16, 16);
    stbi_write_jpg_to_func([](void* out, void* data, int n) { ((std::string*)out)->append((char*)data, n); }, &s,
                           16, 16, 4, p.px.data(), 90);
    size_t sof = s.find("\xff\xc0");
    if (sof != std::string::npos) s.replace(sof + 5, 4, packed(h, 2, true) + packed(w, 2, true));
    return s;
}

// A file this version of stb_image crashes on, hangs on, or answers by
// allocating gigabytes, and the reason the loader gives for refusing it.
struct HostilePicture {
    std::string name, bytes, reason;
};

inline std::vector<HostilePicture> hostile_pictures() {
    // A run-length coded scanline cut off after its start: the HDR reader
    // then counts runs of length 0 forever.  A comment pads it to 121 bytes.
    std::string head = "#?RADIANCE\n# ";
    std::string tail = "\nFORMAT=32-bit_rle_rgbe\n\n-Y 8 +X 8\n" + std::string("\x02\x02\x00\x08", 4);
    std::string hdr = head + std::string(121 - head.size() - tail.size(), 'x') + tail;
    // A PNG whose data chunk claims two gigabytes.
    std::string png;
    Pixels p = pattern(5, 3);
    stbi_write_png_to_func([](void* out, void* data, int n) { ((std::string*)out)->append((char*)data, n); }, &png,
                           5, 3, 4, p.px.data(), 20);
    size_t idat = png.find("IDAT");
    if (idat != std::string::npos) png.replace(idat - 4, 4, packed(0x7fffff00, 4, true));
    const std::string big = "picture is 23000x23000, larger than 16384x16384";
    return {
        {"flat.bmp", bmp_claiming(4, 0), "picture is 4x0, it has no pixels"},
        {"thin.bmp", bmp_claiming(0, 4), "picture is 0x4, it has no pixels"},
        {"thin.psd", psd_claiming(0, 4, 8) + std::string(24, '\0'), "picture is 0x4, it has no pixels"},
        {"deep.ppm", "P6 4000 4000 65535\n", "16-bit PNM pictures are not supported"},
        {"loop.hdr", hdr, "HDR pictures are not supported"},
        {"huge.jpg", jpeg_claiming(23000, 23000), big},
        {"huge.ppm", "P6 23000 23000 255\n" + std::string(100, '\x80'), big},
        {"huge.psd", psd_claiming(23000, 23000, 16) + std::string(329, '\0'), big},
        {"long.png", png, "a PNG chunk runs past the end of the file"},
    };
}
