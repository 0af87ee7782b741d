#include "zov_driver-tex_check.h"

#define ZLIB_CONST // the input is never written
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <vector>

// ====== PNG ======

namespace {

unsigned long be32(const unsigned char* p) {
    return (unsigned long)p[0] << 24 | (unsigned long)p[1] << 16 | (unsigned long)p[2] << 8 | p[3];
}

// What a PNG's chunks tell the checks.
struct PngChunks {
    bool fit = true;                     // no chunk up to IEND claims more bytes than the file has left
    const unsigned char* ihdr = nullptr; // the header chunk's data (13 bytes)
    bool raw = false;                    // an iPhone PNG ("CgBI"): deflate data without zlib's wrapper
    std::vector<std::pair<const unsigned char*, size_t>> idat; // the image data, in order
    unsigned long long idat_bytes = 0;
};

// stb_image grows its buffer to a chunk's claimed length before it finds
// the bytes missing (up to 2 GB asked for by a few damaged bytes), and
// reads the image data as one stream of the data chunks before IEND, where
// it stops: bytes after IEND (some tools append their own) are not part of
// the picture.  Other chunks that hold compressed data (text, colour
// profiles, the frames of animated PNGs) it skips unread.
PngChunks png_chunks(const unsigned char* file, size_t len) {
    PngChunks c;
    for (size_t at = 8; len - at >= 12;) {
        const unsigned char* p = file + at;
        size_t n = be32(p);
        if (n > len - at - 12) { // 12: length, type and checksum
            c.fit = false;
            break;
        }
        const char* type = (const char*)p + 4;
        if (std::memcmp(type, "IHDR", 4) == 0 && !c.ihdr && n >= 13) c.ihdr = p + 8;
        if (std::memcmp(type, "CgBI", 4) == 0) c.raw = true;
        if (std::memcmp(type, "IDAT", 4) == 0) {
            c.idat.emplace_back(p + 8, n);
            c.idat_bytes += n;
        }
        if (std::memcmp(type, "IEND", 4) == 0) break;
        at += 12 + n;
    }
    return c;
}

// The image data fed to zlib piece by piece, and what it inflated to.
struct PngInflate {
    const PngChunks& c;
    unsigned long long need;
    size_t next = 0;                              // the next data chunk
    size_t wrapper;                               // bytes of zlib's header still to skip: stb_image checks it
    unsigned long long total = 0;                 // bytes inflated
    PngInflate(const PngChunks& c, unsigned long long need) : c(c), need(need), wrapper(c.raw ? 0 : 2) {}

    static unsigned in(void* self, z_const unsigned char** buf) {
        PngInflate& f = *static_cast<PngInflate*>(self);
        while (f.next < f.c.idat.size()) {
            const auto& piece = f.c.idat[f.next++];
            size_t skip = f.wrapper < piece.second ? f.wrapper : piece.second;
            f.wrapper -= skip;
            if (piece.second > skip) {
                *buf = piece.first + skip;
                return (unsigned)(piece.second - skip);
            }
        }
        return 0;
    }
    // Counts and drops; non-zero stops the inflation once past `need`.
    static int out(void* self, unsigned char*, unsigned n) {
        PngInflate& f = *static_cast<PngInflate*>(self);
        f.total += n;
        return f.total > f.need;
    }
};

// What the image data inflates to, stopped just past `need`, keeping
// nothing but zlib's 32 KiB window.  A stream that zlib refuses is damaged,
// in *why; one cut short is left to stb_image.
unsigned long long png_inflated(const PngChunks& c, unsigned long long need, std::string* why) {
    unsigned char window[1 << MAX_WBITS];
    z_stream z{};
    if (inflateBackInit(&z, MAX_WBITS, window) != Z_OK) {
        *why = "no memory to check the PNG's data";
        return 0;
    }
    PngInflate feed(c, need);
    int r = inflateBack(&z, PngInflate::in, &feed, PngInflate::out, &feed);
    if (r == Z_DATA_ERROR) *why = std::string("PNG data does not inflate: ") + (z.msg ? z.msg : "damaged");
    inflateBackEnd(&z);
    return feed.total;
}

} // namespace

unsigned long long _driver_png_data_bytes(unsigned long w, unsigned long h, int depth, int colour, bool interlaced) {
    static const int channels[7] = {1, 0, 3, 1, 2, 0, 4}; // by colour type: grey, RGB, palette, grey + alpha, RGBA
    unsigned long long bits = colour >= 0 && colour < 7 ? (unsigned long long)channels[colour] * depth : 0;
    auto rows = [bits](unsigned long long pw, unsigned long long ph) {
        return pw && ph && bits ? ph * (1 + (pw * bits + 7) / 8) : 0;
    };
    if (!interlaced) return rows(w, h);
    // Adam7: each pass's first column and row, and its steps.
    static const int passes[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                     {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
    unsigned long long sum = 0;
    for (const auto& p : passes) {
        unsigned long pw = w > (unsigned long)p[0] ? (w - p[0] + p[2] - 1) / p[2] : 0;
        unsigned long ph = h > (unsigned long)p[1] ? (h - p[1] + p[3] - 1) / p[3] : 0;
        sum += rows(pw, ph);
    }
    return sum;
}

std::string _driver_png_refusal(const unsigned char* file, size_t len) {
    static const unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    if (len < 8 || std::memcmp(file, signature, 8) != 0) return "";
    PngChunks c = png_chunks(file, len);
    if (!c.fit) return "a PNG chunk runs past the end of the file";
    if (!c.ihdr) return ""; // stb_image refuses it
    const unsigned char* ihdr = c.ihdr;
    unsigned long w = be32(ihdr), h = be32(ihdr + 4);
    unsigned long long need = _driver_png_data_bytes(w, h, ihdr[8], ihdr[9], ihdr[12] != 0);
    // stb_image takes data past `need` (it only asks for enough) into a
    // buffer that doubles as it grows: a 1x1 picture of 1.5 MB can inflate
    // to 1.6 GB.  Deflate makes at most 1032 bytes of one (a 258-byte match
    // from two bits), so data compressed more tightly than that cannot pass
    // `need` and is not inflated here.  Every other file is inflated twice,
    // here and by stb_image: a 2048 x 2048 PNG loads in about 215 ms
    // instead of 154.
    if (need == 0 || c.idat_bytes * 1032 <= need) return "";
    std::string why;
    if (png_inflated(c, need, &why) > need) {
        char text[128];
        std::snprintf(text, sizeof text, "PNG data inflates past the %llu bytes its %lux%lu pixels need", need, w, h);
        return text;
    }
    return why;
}

// ====== JPEG ======

namespace {

// The Huffman tables a table segment defines, as bits (class * 4 + id) of
// `defined`: each a class and id byte, 16 counts and that many symbols.
void jpeg_tables(const unsigned char* body, size_t n, unsigned* defined) {
    for (size_t t = 0; t + 17 <= n;) {
        unsigned tc = body[t] >> 4, th = body[t] & 15;
        if (tc < 2 && th < 4) *defined |= 1u << (tc * 4 + th);
        size_t symbols = 0;
        for (int i = 1; i <= 16; i++) symbols += body[t + i];
        t += 17 + symbols;
    }
}

// Whether a scan header uses only tables defined before it.  A baseline
// scan codes DC and AC coefficients; a progressive one either a DC first
// pass, DC refinements (no table) or AC bands, and names the unused tables
// 0 whether they exist or not.  stb_image decodes with whatever an
// undefined table's memory holds, until one of its asserts ends the program.
bool jpeg_scan_tables_defined(const unsigned char* body, size_t n, bool progressive, unsigned defined) {
    size_t ns = n ? body[0] : 0;
    if (n < 4 + 2 * ns) return true; // stb_image refuses the header itself
    unsigned ss = body[1 + 2 * ns], ah = body[3 + 2 * ns] >> 4;
    bool dc = !progressive || (ss == 0 && ah == 0), ac = !progressive || ss > 0;
    for (size_t i = 0; i < ns; i++) {
        unsigned td = body[2 + 2 * i] >> 4, ta = body[2 + 2 * i] & 15;
        if (dc && td < 4 && !(defined >> td & 1)) return false;
        if (ac && ta < 4 && !(defined >> (4 + ta) & 1)) return false;
    }
    return true;
}

} // namespace

std::string _driver_jpeg_refusal(const unsigned char* f, size_t len) {
    if (len < 2 || f[0] != 0xff || f[1] != 0xd8) return "";
    int scans = 0;
    bool progressive = false;
    unsigned defined = 0;
    for (size_t at = 2; at + 1 < len;) {
        // A marker: 0xff, any fill bytes 0xff, then its code.  Anything
        // else between segments is skipped, as stb_image does after a scan.
        if (f[at] != 0xff || f[at + 1] == 0xff) {
            at++;
            continue;
        }
        unsigned char m = f[at + 1];
        at += 2;
        if (m == 0xd9) break; // end of image
        // Start of image, restarts and the reserved 0x01 have no length.
        if (m == 0xd8 || m == 0x01 || (m >= 0xd0 && m <= 0xd7) || m == 0x00) continue;
        if (at + 2 > len) break;
        size_t n = (size_t)f[at] << 8 | f[at + 1]; // the length counts itself
        if (n < 2) break;                          // stb_image stops here
        const unsigned char* body = f + at + 2;
        size_t body_len = n - 2 < len - at - 2 ? n - 2 : len - at - 2;
        at += n;
        if (m == 0xc2) progressive = true;
        if (m == 0xc4) jpeg_tables(body, body_len, &defined);
        if (m != 0xda) continue;
        if (!jpeg_scan_tables_defined(body, body_len, progressive, defined))
            return "a JPEG scan uses a Huffman table the file does not define";
        if (++scans > ZOV_JPEG_MAX_SCANS) return "JPEG has more than " + std::to_string(ZOV_JPEG_MAX_SCANS) + " scans";
        // The scan's coded data runs to the next marker: 0xff is followed
        // by 0 when it is data, and restarts are part of the scan.
        while (at + 1 < len && !(f[at] == 0xff && f[at + 1] != 0x00 && !(f[at + 1] >= 0xd0 && f[at + 1] <= 0xd7)))
            at++;
    }
    return "";
}

// ====== Kinds stb_image does not decode ======

std::string _driver_tex_unsupported(const unsigned char* f, size_t len) {
    // A BMP's compression: 1 and 2 are run lengths of 8 and 4 bits.
    if (len >= 34 && f[0] == 'B' && f[1] == 'M' && f[14] >= 40 && (f[30] == 1 || f[30] == 2) &&
        !f[31] && !f[32] && !f[33])
        return "run-length coded (RLE) BMP pictures are not supported";
    if (len < 2 || f[0] != 0xff || f[1] != 0xd8) return "";
    // The first frame header of a JPEG tells its coding: C0 to C2 are the
    // Huffman-coded baseline, extended and progressive that stb_image reads.
    for (size_t at = 2; at + 4 <= len && f[at] == 0xff;) {
        const unsigned char m = f[at + 1];
        if (m == 0xff) { // fill byte
            at++;
            continue;
        }
        if ((m >= 0xc9 && m <= 0xcb) || (m >= 0xcd && m <= 0xcf))
            return "arithmetic-coded JPEG pictures are not supported";
        if (m == 0xc3 || (m >= 0xc5 && m <= 0xc7))
            return "lossless and hierarchical JPEG pictures are not supported";
        if (m == 0xda || m == 0xd9 || (m >= 0xc0 && m <= 0xc2)) break;
        at += 2 + ((size_t)f[at + 2] << 8 | f[at + 3]);
    }
    return "";
}
