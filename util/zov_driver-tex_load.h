// zov_driver-tex_load: the texture loader: one picture file becomes one
// OpenGL texture.
//
// The file is read whole and its header asked by stb_image for the kind and
// size of the picture; what no texture can hold, the kinds this version of
// the library crashes or hangs on, and files whose own structure would make
// it take far more memory or time than their size calls for
// (zov_driver-tex_check) are refused before any decoding.  The
// picture is then decoded from memory (its content, not its extension,
// decides the format), premultiplied by alpha, padded into a power-of-two
// texture (sides 64 to 4096; wider pictures keep their size) with copies of
// its edges, halved on small devices and uploaded with the filters that the
// GL version and the script's "filter" parameter allow.  Everything before
// the upload works without GL, so it can be checked without a window.
//
// No state of its own.  Main thread only, with the window's GL context
// current.  Reached through the driver's `driver_tex_load` (zov_driver.h),
// which the picture registry (zov_gfx) calls.
#pragma once

#include <GL/gl.h>

#include <cstddef>
#include <string>

// ====== Pixel pipeline (pure) ======
// Pixels are RGBA bytes, rows top to bottom, no row padding.

// R, G and B of each of `texels` texels become (v * alpha) >> 8: opaque 255
// gives 254, alpha 0 gives black.  Alpha is unchanged.
void _driver_tex_premultiply(unsigned char* px, size_t texels);
// The texture side for a picture side: the first of 64, 128, ..., 4096 that
// is not smaller than v; v itself above 4096.
int _driver_tex_side(int v);
// A new tw x th buffer (malloc'ed, the caller frees it) with the w x h
// picture (w, h at least 1, at most tw, th) in its top-left corner and its edges carried into the padding:
// the last column to the right, the last row (corner included) downwards.
// A filter that reaches past the picture's right or bottom edge, magnified
// or at any mipmap level, then meets the edge colour, as clamping gives at
// the left and top, instead of fading into transparent black.  Null when
// it cannot be allocated.
unsigned char* _driver_tex_pad(const unsigned char* px, int w, int h, int tw, int th);
// Halves the tw x th texture in place: each texel becomes the average
// (sum >> 2, per channel) of the 2x2 block it came from; all four sizes are
// halved (odd remainders dropped).
void _driver_tex_halve(unsigned char* px, int* w, int* h, int* tw, int* th);

// ====== Limits ======

// The longest side a picture may have, even where GL allows more.
const int ZOV_TEX_MAX_SIDE = 16384;
// The most texels a texture may have: those of 4096 x 4096, 64 MiB as RGBA.
// Decoding, padding and GL's own copy each hold about one such buffer, and
// the decoder more beside, by kind.  Measured in the whole program (about
// 96 MB without pictures), loading one of the largest pictures peaks at
// 250 MB for a JPEG or an 8-bit PNG, 358 MB for a progressive CMYK JPEG or
// a 16-bit 16384 x 1024 PNG and 424 MB for an interlaced 16-bit PNG, plus
// the size of the file, which is read whole (such a PNG of 62 MB: 485 MB).
// The registry's memory estimate (16/3 bytes a texel, in 32-bit
// arithmetic) cannot overflow.
const long long ZOV_TEX_MAX_TEXELS = 4096LL * 4096;

// Why a w x h picture cannot become a texture whose sides are at most
// max_side and whose padded size holds at most ZOV_TEX_MAX_TEXELS; empty
// when it can.
std::string _driver_tex_size_refusal(int w, int h, int max_side);

// ====== Decoding ======

// The whole file decoded by stb_image to `want` channels, once its header
// shows a picture that stb_image decodes safely and that fits a texture of
// sides at most max_side; null when the file cannot be read, is refused or
// does not decode, with the reason in *why.  A refused file is never
// decoded.  Free the result with stbi_image_free.
unsigned char* _stbi_load(const char* path, int* w, int* h, int* n, int want, int max_side, std::string* why);

// One picture ready for upload: decoded, premultiplied and padded to its
// texture's sides.  Owns its pixels.
struct TexPixels {
    int w0 = 0, h0 = 0;               // the size as decoded
    int w = 0, h = 0, tw = 0, th = 0; // the picture and its texture
    unsigned char* decoded = nullptr; // stb_image's pixels, freed once padded
    unsigned char* padded = nullptr;  // the padded copy, when the sides differ
    unsigned char* texels() const { return padded ? padded : decoded; }
    TexPixels() = default;
    TexPixels(const TexPixels&) = delete;
    TexPixels& operator=(const TexPixels&) = delete;
    ~TexPixels();
};
// What the loader does to the file at `path` before halving and upload,
// with texture sides of at most max_side.  False, with the reason in *why,
// when the file cannot be read, is refused, does not decode or finds no
// memory.
bool _driver_tex_pixels(const char* path, int max_side, TexPixels* out, std::string* why);

// ====== Filters and GL version ======

// The GL version text packed as (major << 16) + (minor << 8) + patch, read
// from its leading digits and dots ("4.5 (Compatibility Profile) Mesa ..."
// gives 0x40500).  Null gives 0.  Each piece is held within its byte (the
// major within 0..32767), so an absurd text cannot overflow the packing.
int _driver_gl_version_parse(const char* text);
// The current context's version, asked anew at every call; 0 without one.
int _driver_gl_version();
// Non-zero for a packed version of 1.4 or later, where mipmaps can be
// generated at upload.
int _has_gl_generate_mipmap(int version);
// The minification filter for the current context: GL_LINEAR_MIPMAP_LINEAR
// from GL 1.4 on, GL_LINEAR before.
int _zov_gl_texture_min_filter();
// True when the minification filter uses mipmaps.
GLboolean _zov_gl_generate_mipmap();
// The magnification filter: GL_NEAREST when the script parameter "filter"
// reads "nearest", else GL_LINEAR.  The script host provides it; until it
// exists (or before it starts) a weak default answers GL_LINEAR.
int _ZOV_GL_TEXTURE_MAG_FILTER();

// True when textures are halved: on a phone, and on a tablet whose window
// (size times scale, each side truncated) is at most 1024 on both sides.
bool _ZOV_DRIVER_TEX_LOAD_DOWNSCALE();
