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
#include <zlib.h>

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

// An uncompressed BMP of w x h at `bits` a pixel, its pixel rows as given.
inline std::string bmp_file(int w, int h, int bits, const std::string& rows) {
    auto le = [](long v, int n) { return packed((unsigned long)v, n, false); };
    return "BM" + le(54 + rows.size(), 4) + le(0, 4) + le(54, 4) + le(40, 4) + le(w, 4) + le(h, 4) + le(1, 2) +
           le(bits, 2) + le(0, 4) + le(rows.size(), 4) + le(2835, 4) + le(2835, 4) + std::string(8, '\0') + rows;
}

// A 32-bit BMP header of w x h followed by 16 bytes of pixels: 70 bytes.
inline std::string bmp_claiming(int w, int h) { return bmp_file(w, h, 32, std::string(16, '\xff')); }

// An 8-bit RGBA PNG of a w x h header whose image data is `idat`.
inline std::string png_with_data(int w, int h, const std::string& idat) {
    auto be = [](unsigned long v) { return packed(v, 4, true); };
    auto chunk = [&](const std::string& type, const std::string& data) {
        std::string body = type + data;
        return be(data.size()) + body + be(crc32(0, (const Bytef*)body.data(), (uInt)body.size()));
    };
    return "\x89PNG\r\n\x1a\n" + chunk("IHDR", be(w) + be(h) + std::string("\x08\x06\0\0\0", 5)) +
           chunk("IDAT", idat) + chunk("IEND", "");
}

// zlib data of `mb` MiB of zero bytes, about 1 KB a MiB: one deflate block
// that starts afresh, repeated, then an empty last block and the checksum.
inline std::string zeros_deflated(unsigned long mb) {
    std::string zeros(1 << 20, '\0'), block(1 << 12, '\0');
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY);
    z.next_in = (Bytef*)zeros.data(), z.avail_in = (uInt)zeros.size();
    z.next_out = (Bytef*)&block[0], z.avail_out = (uInt)block.size();
    deflate(&z, Z_FULL_FLUSH);
    block.resize(block.size() - z.avail_out);
    deflateEnd(&z);
    std::string data = "\x78\xda";
    for (unsigned long i = 0; i < mb; i++) data += block;
    return data + std::string("\x03\x00", 2) + packed((mb << 20) % 65521 << 16 | 1, 4, true);
}

// A progressive grey JPEG of w x h made of `scans` refinement scans of
// every AC coefficient, each one zero byte long: stb_image reads them as
// runs of blocks that change nothing.  They use AC table `table`; the file
// defines table 0.
inline std::string jpeg_scans(int w, int h, int scans, char table = 0) {
    auto segment = [](char marker, const std::string& body) {
        return std::string("\xff") + marker + packed(body.size() + 2, 2, true) + body;
    };
    std::string s = "\xff\xd8" + segment('\xdb', std::string(1, '\0') + std::string(64, '\1')) +
                    segment('\xc2', "\x08" + packed(h, 2, true) + packed(w, 2, true) + std::string("\x01\x01\x11\0", 4)) +
                    // AC table 0: one code, a single 0 bit, for a run of 16384 blocks
                    segment('\xc4', std::string("\x10\x01", 2) + std::string(15, '\0') + "\xe0");
    for (int i = 0; i < scans; i++) s += segment('\xda', std::string("\x01\x01") + table + std::string("\x01\x3f\x10", 3)) + '\0';
    return s + "\xff\xd9";
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
        {"deep.pgm", "P5 4000 4000 65535\n", "16-bit PNM pictures are not supported"},
        {"loop.hdr", hdr, "HDR pictures are not supported"},
        {"huge.jpg", jpeg_claiming(23000, 23000), big},
        {"huge.ppm", "P6 23000 23000 255\n" + std::string(100, '\x80'), big},
        {"huge.psd", psd_claiming(23000, 23000, 16) + std::string(329, '\0'), big},
        {"long.png", png, "a PNG chunk runs past the end of the file"},
        {"bomb.png", png_with_data(1, 1, zeros_deflated(1600)), "PNG data inflates past the 5 bytes its 1x1 pixels need"},
        // Compressed about 1020:1, near deflate's most: 2.6 times its need.
        {"dense.png", png_with_data(320, 320, zeros_deflated(1)),
         "PNG data inflates past the 409920 bytes its 320x320 pixels need"},
        {"broken.png", png_with_data(1, 1, "\x78\x01\x07"), "PNG data does not inflate: invalid block type"},
        {"scans.jpg", jpeg_scans(4096, 4096, 2000), "JPEG has more than 100 scans"},
        {"tables.jpg", jpeg_scans(64, 64, 1, 1), "a JPEG scan uses a Huffman table the file does not define"},
    };
}
