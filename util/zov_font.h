// zov_font: bitmap fonts in the BMFont text format: loading by (name, pixel
// size), measuring, word wrapping into at most 32 lines, aligned drawing, the
// caret rectangle and the nearest character, and hot reload of font files.
//
// State: the singleton `_font` (`_FontData`), created by `font_init` and
// deleted by `font_deinit`; every other call is made between the two, and
// after `gfx_init` (the glyph page is a picture of the texture registry).
// Main thread only, with the GL context current for drawing.
//
// Text is a NUL-terminated string of bytes: each byte value indexes a glyph,
// byte 10 ends a line; nothing decodes multi-byte encodings.  A font file
// holds "common" and "char" lines; its glyph page is the picture named like
// the font (the file's own page lines are not read).
#pragma once

#include <ctime>
#include <map>
#include <string>
#include <vector>

#include "zov_gfx.h"

// ====== Types ======

enum {
    FONT_GLYPHS = 256,   // one glyph slot per byte value
    FONT_WRAP_MAX = 32,  // lines a wrap yields at most
    FONT_KEY_MAX = 256,  // "%s:%d" cache key, NUL included
    FONT_PATH_MAX = 512, // font file path, NUL included
};

// One loaded (name, size) pair.  All of it is zero when created, so a byte
// the file does not define has an empty cell and advance 0.
struct FontInfo {
    int n = 0;                   // its own font id
    int tex = 0;                 // texture id of the glyph page; 0 when none
    GfxRect rects[FONT_GLYPHS];  // glyph cells in page pixels
    GfxRect shapes[FONT_GLYPHS]; // xoffset, yoffset, xadvance, height
    float height = 0;            // line height
    float base = 0;              // baseline distance from a line's top
    float _size = 0;             // native line height
    float size = 0;              // requested pixel size; 0 means native
    float scale = 0;             // size / _size, or 1
    GfxRect rect;                // (0, 0, scaleW, scaleH): the page size
    char fnt_fname[FONT_PATH_MAX] = {}; // resolved font file path
    time_t fnt_mtime = 0;        // its modification time when last read
    int page = 0;                // image id of the page picture: its size
                                 // tells how the texture was padded
};

// Lines of a wrapped text: start (inclusive), end (exclusive: the byte that
// ended the line) and width in pixels, truncated.
struct FontWrap {
    int total = 0;
    int lines[FONT_WRAP_MAX][3];
};

struct _FontData {
    std::map<std::string, int> map; // "%s:%d" key to font id (0: not found)
    std::vector<FontInfo> data;     // by font id; entry 0 is "no font"

    _FontData();
};

// The font singleton: null outside font_init / font_deinit.  Main thread.
extern _FontData* _font;

// ====== Lifecycle ======

// Creates the singleton; a second call while it exists does nothing.
void font_init();
// Destroys the singleton (if any).
void font_deinit();

// ====== Loading ======

// The font id for (name, size); size 0 means the file's own line height, any
// other size scales the font to lines that many pixels high.  The file is
// the name itself, else with ".fnt", else with ".txt"; the page picture is
// the name without the font file's extension.  Every result is cached, 0
// (file not found, or a name too long for the key or path) included.
int font_load(const char* name, int size);
// Re-reads changed font files, keeping their ids: once per second at most,
// a file whose time has grown and has been quiet for 2 seconds.
void font_reload_auto();
// (Re)parses the font's file (the same resolved path it was loaded from)
// into its record.  Glyphs that a changed file no longer defines keep their
// old values; a file that can't be read changes nothing but the time.
void font_reload(int font);
// The first of name, name + ".fnt", name + ".txt" that exists as a data
// file, in a static buffer the next call overwrites; null when none does.
const char* _font_find(const char* name);
// Applied to every text before it is measured, wrapped or drawn; a null
// text becomes the empty text.
const char* _font_filter(const char* text);

// ====== Measuring ======
// A width of 0 means neither wrapping nor alignment: lines end only at line
// feeds.  align is -1 (left), 0 (centre) or 1 (right), used when width != 0.

// Splits text into lines at width: a line that overflows breaks at its last
// space (which is drawn on neither line), else before the glyph that does
// not fit; line feeds break always.  At most 32 lines; the rest is dropped.
void _font_wrap_calc(int font, const char* text, float width, FontWrap& out);
// One line's height with a null text or a width of 0; else the wrapped
// line count times the line height.
float font_get_height(int font, const char* text, float width);
// The widest line, rounded up after adding 0.01 (the empty text gives 1).
float font_get_width(int font, const char* text);

// ====== Drawing ======

// Draws the wrapped, aligned text with its top-left at (x, y), in the current
// colour.  Lines outside the clip are skipped whole.  A font without its page
// picture draws nothing.
void font_draw(int font, const char* text, float x, float y, float width, int align);
// Draws len bytes of line (all of it up to the NUL when len < 0) on one line
// at (x, y), glyph by glyph, in as few GL calls as the glyph arrays allow.
void _font_draw(int font, const char* line, float x, float y, int len = -1);

// ====== Text editing queries ======
// Coordinates relative to the text's top-left (without the baseline offset).

// The cell of the character at byte index (the caret before it); past the
// laid-out text, a zero-width rectangle after the last line's last character.
GfxRect font_crect(int font, const char* text, int index, float width, int align);
// |dx| + (|dy| << 16) from the cell's left edge and vertical middle to (x, y):
// any row difference outweighs any column difference.
int _font_dist(GfxRect& r, int x, int y);
// The byte index whose cell is nearest (x, y); ties go to the earlier index.
int font_cnear(int font, const char* text, int x, int y, float width, int align);
