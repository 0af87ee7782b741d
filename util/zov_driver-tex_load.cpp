#include "zov_driver-tex_load.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <stb_image.h>

#include "zov_driver-tex_check.h"
#include "zov_driver.h"
#include "zov_gfx_draw.h"
#include "zov_var.h"

// Not in every gl.h: the texture parameter that builds mipmaps at upload
// (core since 1.4).
static const GLenum ZOV_GL_GENERATE_MIPMAP = 0x8191;

// ====== Pixel pipeline ======

void _driver_tex_premultiply(unsigned char* px, size_t texels) {
    for (size_t i = 0; i < texels; i++, px += 4) {
        unsigned a = px[3];
        px[0] = (unsigned char)((px[0] * a) >> 8);
        px[1] = (unsigned char)((px[1] * a) >> 8);
        px[2] = (unsigned char)((px[2] * a) >> 8);
    }
}

int _driver_tex_side(int v) {
    for (int side = 64; side <= 4096; side *= 2)
        if (side >= v) return side;
    return v;
}

unsigned char* _driver_tex_pad(const unsigned char* px, int w, int h, int tw, int th) {
    unsigned char* out = (unsigned char*)std::malloc((size_t)tw * th * 4);
    if (!out) return nullptr;
    const size_t row = (size_t)tw * 4;
    for (int y = 0; y < h; y++) {
        unsigned char* r = out + y * row;
        std::memcpy(r, px + (size_t)y * w * 4, (size_t)w * 4);
        for (int x = w; x < tw; x++) std::memcpy(r + (size_t)x * 4, r + (size_t)(w - 1) * 4, 4);
    }
    for (int y = h; y < th; y++) std::memcpy(out + y * row, out + (size_t)(h - 1) * row, row);
    return out;
}

void _driver_tex_halve(unsigned char* px, int* w, int* h, int* tw, int* th) {
    size_t old_stride = (size_t)*tw * 4;
    *w /= 2;
    *h /= 2;
    *tw /= 2;
    *th /= 2;
    // Front to back: texel (x, y) lands at or before the first of its
    // sources, (2x, 2y), and after every source already read.
    for (int y = 0; y < *th; y++) {
        const unsigned char* r0 = px + (size_t)2 * y * old_stride;
        const unsigned char* r1 = r0 + old_stride;
        unsigned char* out = px + (size_t)y * *tw * 4;
        for (int x = 0; x < *tw; x++) {
            for (int c = 0; c < 4; c++) {
                size_t i = (size_t)x * 8 + c;
                out[(size_t)x * 4 + c] = (unsigned char)((r0[i] + r0[i + 4] + r1[i] + r1[i + 4]) >> 2);
            }
        }
    }
}

// ====== Limits ======

std::string _driver_tex_size_refusal(int w, int h, int max_side) {
    char why[128];
    long long tw = _driver_tex_side(w), th = _driver_tex_side(h);
    if (w <= 0 || h <= 0) {
        std::snprintf(why, sizeof why, "picture is %dx%d, it has no pixels", w, h);
    } else if (w > max_side || h > max_side) {
        std::snprintf(why, sizeof why, "picture is %dx%d, larger than %dx%d", w, h, max_side, max_side);
    } else if (tw * th > ZOV_TEX_MAX_TEXELS) {
        std::snprintf(why, sizeof why, "picture is %dx%d, its %lldx%lld texture has more than %lld texels", w, h,
                      tw, th, ZOV_TEX_MAX_TEXELS);
    } else {
        return "";
    }
    return why;
}

// ====== Decoding ======

// stb_image's reason for its last failure.  Some of its failures record
// none, or an empty one, which would leave the log line without a reason.
static std::string stb_reason() {
    const char* r = stbi_failure_reason();
    return r && *r ? r : "damaged or not a picture";
}

// Why stb_image must not decode this file, read from its header alone;
// empty when it may.  The picture's size goes to *w, *h.
static std::string header_refusal(const stbi_uc* file, int len, int max_side, int* w, int* h) {
    int n;
    if (!stbi_info_from_memory(file, len, w, h, &n)) {
        std::string kind = _driver_tex_unsupported(file, (size_t)len);
        return kind.empty() ? stb_reason() : kind;
    }
    // This version of the library loops forever on some run-length coded
    // HDR files, and reads past its buffer when it brings any 16-bit PNM
    // down to 8 bits.
    if (stbi_is_hdr_from_memory(file, len)) return "HDR pictures are not supported";
    bool pnm = len >= 2 && file[0] == 'P' && (file[1] == '5' || file[1] == '6');
    if (pnm && stbi_is_16_bit_from_memory(file, len)) return "16-bit PNM pictures are not supported";
    // A BMP stored top down gives its height negative; the decoder reads
    // the same rows either way.
    bool bmp = len >= 2 && file[0] == 'B' && file[1] == 'M';
    if (bmp && *h < 0 && *h != INT_MIN) *h = -*h;
    std::string why = _driver_tex_size_refusal(*w, *h, max_side);
    if (why.empty()) why = _driver_png_refusal(file, (size_t)len);
    if (why.empty()) why = _driver_jpeg_refusal(file, (size_t)len);
    return why;
}

unsigned char* _stbi_load(const char* path, int* w, int* h, int* n, int want, int max_side, std::string* why) {
    int len = 0;
    void* file = driver_file_alloc(path, &len);
    if (!file) {
        // stb_image has not seen this file: its own reason would be stale.
        *why = "file missing, empty or unreadable";
        return nullptr;
    }
    const stbi_uc* bytes = (const stbi_uc*)file;
    int hw = 0, hh = 0;
    *why = header_refusal(bytes, len, max_side, &hw, &hh);
    unsigned char* px = why->empty() ? stbi_load_from_memory(bytes, len, w, h, n, want) : nullptr;
    std::free(file);
    if (px && (*w != hw || *h != hh)) {
        // The checks above hold only for the size the header gave.
        char text[96];
        std::snprintf(text, sizeof text, "decoded as %dx%d, its header says %dx%d", *w, *h, hw, hh);
        *why = text;
        stbi_image_free(px);
        return nullptr;
    }
    if (!px && why->empty()) *why = stb_reason();
    return px;
}

TexPixels::~TexPixels() {
    std::free(padded);
    stbi_image_free(decoded);
}

bool _driver_tex_pixels(const char* path, int max_side, TexPixels* out, std::string* why) {
    int n;
    out->decoded = _stbi_load(path, &out->w0, &out->h0, &n, 4, max_side, why);
    if (!out->decoded) return false;
    _driver_tex_premultiply(out->decoded, (size_t)out->w0 * out->h0);
    out->w = out->w0;
    out->h = out->h0;
    out->tw = _driver_tex_side(out->w);
    out->th = _driver_tex_side(out->h);
    if (out->tw != out->w || out->th != out->h) {
        out->padded = _driver_tex_pad(out->decoded, out->w, out->h, out->tw, out->th);
        if (!out->padded) {
            *why = "no memory for a " + std::to_string(out->tw) + "x" + std::to_string(out->th) + " texture";
            return false;
        }
        // Freed before the upload, which makes GL's own copy.
        stbi_image_free(out->decoded);
        out->decoded = nullptr;
    }
    return true;
}

// ====== Filters and GL version ======

int _driver_gl_version_parse(const char* text) {
    if (!text) return 0;
    char buf[256]; // only the leading digits and dots count, so a longer text may be cut
    std::snprintf(buf, sizeof buf, "%s", text);
    size_t end = 0;
    while ((buf[end] >= '0' && buf[end] <= '9') || buf[end] == '.') end++;
    buf[end] = '\0';
    var pieces = str_split(buf, ".");
    const double limit[3] = {32767, 255, 255};
    int v[3] = {0, 0, 0};
    for (int i = 0; i < 3 && i < pieces.__len__(); i++) {
        double d = pieces[i].__num__();
        v[i] = (int)(d < 0 ? 0 : d > limit[i] ? limit[i] : d);
    }
    return (v[0] << 16) + (v[1] << 8) + v[2];
}

int _driver_gl_version() { return _driver_gl_version_parse((const char*)glGetString(GL_VERSION)); }

int _has_gl_generate_mipmap(int version) { return version > 0x103ff; }

// Trilinear where mipmaps can be made at upload; without them a mipmapping
// filter would leave the texture incomplete, so plain linear instead.
int _zov_gl_texture_min_filter() {
    return _has_gl_generate_mipmap(_driver_gl_version()) ? GL_LINEAR_MIPMAP_LINEAR : GL_LINEAR;
}

GLboolean _zov_gl_generate_mipmap() {
    int f = _zov_gl_texture_min_filter();
    return f != GL_NEAREST && f != GL_LINEAR;
}

__attribute__((weak)) int _ZOV_GL_TEXTURE_MAG_FILTER() { return GL_LINEAR; }

bool _ZOV_DRIVER_TEX_LOAD_DOWNSCALE() {
    const char* idiom = driver_get_idiom();
    if (std::strcmp(idiom, "phone") == 0) return true;
    if (std::strcmp(idiom, "tablet") != 0) return false;
    int w, h;
    driver_get_size(&w, &h);
    double s = driver_get_scale();
    return std::trunc(w * s) <= 1024 && std::trunc(h * s) <= 1024;
}

// ====== Upload ======

// Uploads a tw x th texture; returns its name, or 0 (after one line on
// standard error, with nothing left behind) when GL refused it: a side past
// the GL maximum, no memory, or no context.
static GLuint _driver_tex_upload(const char* path, const unsigned char* px, int tw, int th) {
    // Only this upload's error may count.  Bounded: without a context the
    // error query may not behave.
    for (int i = 0; i < 16 && glGetError() != GL_NO_ERROR; i++) {}
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    GLuint name = 0;
    glGenTextures(1, &name);
    if (name == 0) {
        std::fprintf(stderr, "driver_tex_load: no OpenGL texture name for %s\n", path);
        return 0;
    }
    // Bound, with the filters recorded for the draws.
    gfx_tex_filter((int)name, tw, th, _zov_gl_texture_min_filter(), _ZOV_GL_TEXTURE_MAG_FILTER());
    // Before the image, so the upload builds the mipmap levels.
    if (_zov_gl_generate_mipmap()) glTexParameteri(GL_TEXTURE_2D, ZOV_GL_GENERATE_MIPMAP, 1);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, tw, th, 0, GL_RGBA, GL_UNSIGNED_BYTE, px);
    GLenum err = glGetError();
    if (err != GL_NO_ERROR) {
        std::fprintf(stderr, "driver_tex_load: upload of %s as %dx%d failed, GL error 0x%04x\n", path, tw, th,
                     (unsigned)err);
        gfx_tex_delete((int)name);
        return 0;
    }
    return name;
}

// GL's largest texture side, within ZOV_TEX_MAX_SIDE; that limit alone
// without a context.
static int tex_max_side() {
    GLint gl = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &gl);
    return gl > 0 && gl < ZOV_TEX_MAX_SIDE ? gl : ZOV_TEX_MAX_SIDE;
}

int _driver_tex_load(const char* path, int* rw, int* rh, int* rtw, int* rth) {
    TexPixels t;
    std::string why;
    if (!_driver_tex_pixels(path, tex_max_side(), &t, &why)) {
        std::fprintf(stderr, "stbi_load failed %s - %s\n", path, why.c_str());
        return 0;
    }
    if (_ZOV_DRIVER_TEX_LOAD_DOWNSCALE() && t.tw > 64 && t.th > 64)
        _driver_tex_halve(t.texels(), &t.w, &t.h, &t.tw, &t.th);
    GLuint name = _driver_tex_upload(path, t.texels(), t.tw, t.th);
    if (!name) return 0;
    *rw = t.w;
    *rh = t.h;
    *rtw = t.tw;
    *rth = t.th;
    std::fprintf(stderr, "loaded %s as %d (%d,%d)->(%d,%d):(%d,%d)\n", path, (int)name, t.w0, t.h0, t.w, t.h, t.tw,
                 t.th);
    return (int)name;
}
