#include "zov_font.h"

#include <GL/gl.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "zov_driver.h"
#include "zov_util.h"
#include "zov_var.h"

_FontData* _font = nullptr;

_FontData::_FontData() { data.emplace_back(); }

// ====== Helpers ======
namespace {

// The record of a font id; an id the registry never gave is font 0, which
// measures 0 and draws nothing.
const FontInfo& info(int font) {
    if (font < 0 || (size_t)font >= _font->data.size()) return _font->data[0];
    return _font->data[font];
}

float advance(const FontInfo& f, unsigned char c) { return f.shapes[c].w * f.scale; }

float line_height(const FontInfo& f) { return f.height * f.scale; }

// The key=value tokens of one line.  A token is split at every '=': the
// first piece is the key, the second the value; tokens without '=' and
// empty tokens are ignored, quotes mean nothing.  A later key wins.
class LineKeys {
public:
    explicit LineKeys(std::string_view line) {
        size_t pos = 0;
        while (pos <= line.size() && n_ < MAX) {
            size_t sp = line.find(' ', pos);
            if (sp == std::string_view::npos) sp = line.size();
            std::string_view tok = line.substr(pos, sp - pos);
            if (pos == 0) first_ = tok;
            size_t eq = tok.find('=');
            if (eq != std::string_view::npos) {
                std::string_view val = tok.substr(eq + 1);
                keys_[n_] = tok.substr(0, eq);
                vals_[n_] = val.substr(0, val.find('='));
                n_++;
            }
            pos = sp + 1;
        }
    }
    std::string_view first() const { return first_; }
    // The key's value as a number; 0 when the key is missing.
    double num(std::string_view key) const {
        for (int i = n_ - 1; i >= 0; i--) {
            if (keys_[i] != key) continue;
            char buf[64];
            size_t len = vals_[i].size() < sizeof buf - 1 ? vals_[i].size() : sizeof buf - 1;
            std::memcpy(buf, vals_[i].data(), len);
            buf[len] = '\0';
            return _var_str_to_number(buf);
        }
        return 0;
    }

private:
    static const int MAX = 32; // more than any line of the format holds
    std::string_view first_;
    std::string_view keys_[MAX], vals_[MAX];
    int n_ = 0;
};

// Texture coordinates per page pixel.  The file's cells are in the page as
// the file describes it (scaleW x scaleH); the picture may have been padded
// to a power-of-two texture (or halved), so a page pixel is scaled to the
// picture, then divided by the texture's size.  False when the page has no
// texture to sample.
bool page_texel(const FontInfo& f, float* su, float* sv) {
    const GfxTexture& t = _gfx->tex_data[f.tex];
    const GfxRect& pic = _gfx->img_data[f.page].shape;
    if (t.rect.w <= 0 || t.rect.h <= 0 || pic.w <= 0 || pic.h <= 0) return false;
    const float pic_w = pic.w, pic_h = pic.h;
    const float page_w = f.rect.w > 0 ? f.rect.w : pic_w;
    const float page_h = f.rect.h > 0 ? f.rect.h : pic_h;
    *su = pic_w / page_w / t.rect.w;
    *sv = pic_h / page_h / t.rect.h;
    return true;
}

// The x where a line of the given width starts (in double, so that any
// align a caller passes stays defined).
float line_x(const FontWrap& w, int line, float width, int align) {
    if (width == 0) return 0;
    return (align + 1.0) * (width - (float)w.lines[line][2]) / 2.0;
}

// Walks the cells of font_crect and font_cnear: per line, positions start
// to end inclusive.  `visit` returns true to stop; the result tells whether
// it did.  When it did not, (x, y) is left after the last line's last cell
// and one line below it.
template <class Visit>
bool walk_cells(const FontInfo& f, const char* text, float width, int align, float* px, float* py, Visit visit) {
    FontWrap w;
    _font_wrap_calc(f.n, text, width, w);
    const float lh = line_height(f);
    float x = 0, y = 0;
    for (int l = 0; l < w.total; l++) {
        x = line_x(w, l, width, align);
        for (int j = w.lines[l][0]; j <= w.lines[l][1]; j++) {
            float adv = advance(f, (unsigned char)text[j]);
            if (visit(j, GfxRect(x, y, adv, lh))) return true;
            x += adv;
        }
        y += lh;
    }
    *px = x;
    *py = y;
    return false;
}

} // namespace

// ====== Lifecycle ======

void font_init() {
    if (!_font) _font = new _FontData();
}

void font_deinit() {
    delete _font;
    _font = nullptr;
}

// ====== Loading ======

const char* _font_find(const char* name) {
    static char buf[FONT_PATH_MAX];
    static const char* const exts[] = {"", ".fnt", ".txt"};
    for (const char* ext : exts) {
        int n = std::snprintf(buf, sizeof buf, "%s%s", name, ext);
        if (n < 0 || n >= (int)sizeof buf) {
            std::fprintf(stderr, "font name too long: %s\n", name);
            return nullptr;
        }
        if (driver_data_exists(buf)) return buf;
    }
    return nullptr;
}

const char* _font_filter(const char* text) { return text ? text : ""; }

int font_load(const char* name, int size) {
    char key[FONT_KEY_MAX];
    int n = std::snprintf(key, sizeof key, "%s:%d", name, size);
    if (n < 0 || n >= (int)sizeof key) {
        std::fprintf(stderr, "font name too long: %s\n", name);
        return 0;
    }
    auto it = _font->map.find(key);
    if (it != _font->map.end()) return it->second;

    std::fprintf(stderr, "trying load font %s\n", name);
    const char* found = _font_find(name);
    if (!found) {
        std::fprintf(stderr, "unable to find font %s\n", name);
        _font->map[key] = 0;
        return 0;
    }
    FontInfo fi;
    // Found, so its resolved path fitted the driver's 512-byte buffer.
    std::strcpy(fi.fnt_fname, driver_data_fname(found));

    // The page picture is named like the font.  A name that is itself the
    // font file ("console.fnt") loses its extension, or the font file would
    // be taken for the picture.
    std::string page = name;
    if (std::strcmp(found, name) == 0) {
        size_t slash = page.find_last_of('/');
        size_t dot = page.find_last_of('.');
        if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) page.resize(dot);
    }
    fi.tex = gfx_tex_load(page.c_str());
    auto img = _gfx->img_map.find(page);
    if (fi.tex && img != _gfx->img_map.end()) fi.page = img->second;

    const int id = (int)_font->data.size();
    std::fprintf(stderr, "doing load font %s (%d)\n", name, id);
    _font->map[key] = id;
    fi.n = id;
    fi.size = size;
    fi.scale = 1.0f;
    _font->data.push_back(fi);
    font_reload(id);
    return id;
}

void font_reload(int font) {
    if (font <= 0 || (size_t)font >= _font->data.size()) return;
    FontInfo& f = _font->data[font];
    f.fnt_mtime = driver_file_mtime(f.fnt_fname);
    // The resolved path itself: a second lookup could find another file
    // (the alternative directory changes) or none (a name with a directory).
    const std::string text = driver_file_load(f.fnt_fname);
    std::string_view rest = text;
    while (!rest.empty()) {
        size_t nl = rest.find('\n');
        std::string_view line = rest.substr(0, nl);
        rest = nl == std::string_view::npos ? std::string_view() : rest.substr(nl + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        LineKeys k(line);
        if (k.first() == "common") {
            f.height = trunc_int(k.num("lineHeight"));
            f.base = trunc_int(k.num("base"));
            f.rect = GfxRect(0, 0, trunc_int(k.num("scaleW")), trunc_int(k.num("scaleH")));
            f._size = f.height;
            // Without a line height a requested size can't be honoured:
            // draw at the file's own size rather than divide by zero.
            f.scale = (f.size != 0 && f._size != 0) ? f.size / f._size : 1.0f;
        } else if (k.first() == "char") {
            // Only byte values have a slot; real files also hold Unicode ids.
            double id = k.num("id");
            if (!(id >= 1 && id < FONT_GLYPHS)) continue;
            int c = (int)id;
            f.rects[c] = GfxRect(trunc_int(k.num("x")), trunc_int(k.num("y")), trunc_int(k.num("width")),
                                 trunc_int(k.num("height")));
            f.shapes[c] = GfxRect(trunc_int(k.num("xoffset")), trunc_int(k.num("yoffset")), (float)k.num("xadvance"),
                                  (float)k.num("height"));
        }
    }
}

void font_reload_auto() {
    static time_t last = 0;
    time_t now = time(nullptr);
    if (now == last) return;
    last = now;
    for (size_t id = 1; id < _font->data.size(); id++) {
        FontInfo& f = _font->data[id];
        if (!f.fnt_fname[0]) continue;
        time_t m = driver_file_mtime(f.fnt_fname);
        if (f.fnt_mtime < m && time(nullptr) - 2 >= m) font_reload((int)id);
    }
}

// ====== Measuring ======

void _font_wrap_calc(int font, const char* text, float width, FontWrap& out) {
    const FontInfo& f = info(font);
    const int len = (int)std::strlen(text);
    out.total = 0;
    int start = 0, i = 0;
    float w = 0;
    int space = 0, space_w = 0; // last space of the line (0: none) and the width before it
    while (i <= len) {
        unsigned char c = (unsigned char)text[i];
        int end = i;
        if (c != '\n' && c != 0) {
            float adv = advance(f, c);
            if (width == 0 || !(w + adv > width)) {
                if (c == ' ') {
                    space = i;
                    space_w = trunc_int(w);
                }
                w += adv;
                i++;
                continue;
            }
            if (space) {
                end = space;
                w = (float)space_w;
            }
        }
        int* line = out.lines[out.total++];
        line[0] = start;
        line[1] = end;
        line[2] = trunc_int(w);
        if (out.total == FONT_WRAP_MAX) return;
        unsigned char e = (unsigned char)text[end];
        // The byte that ended the line is dropped, unless it is a glyph that
        // did not fit: that one begins the next line.
        start = (e == ' ' || e == '\n' || e == 0) ? end + 1 : end;
        w = 0;
        space = 0;
        i = start;
    }
}

float font_get_height(int font, const char* text, float width) {
    const FontInfo& f = info(font);
    if (!text || width == 0) return line_height(f);
    FontWrap w;
    _font_wrap_calc(font, _font_filter(text), width, w);
    return w.total * line_height(f);
}

float font_get_width(int font, const char* text) {
    const FontInfo& f = info(font);
    float run = 0, widest = 0;
    for (const unsigned char* p = (const unsigned char*)_font_filter(text); *p; p++) {
        run = *p == '\n' ? 0 : run + advance(f, *p);
        if (run > widest) widest = run;
    }
    return (float)std::ceil((double)widest + 0.01);
}

// ====== Drawing ======

void font_draw(int font, const char* text, float x, float y, float width, int align) {
    const FontInfo& f = info(font);
    text = _font_filter(text);
    FontWrap w;
    _font_wrap_calc(font, text, width, w);
    const float lh = line_height(f);
    float y0 = y + (f.height - f.base) * 0.333 * f.scale;
    for (int l = 0; l < w.total; l++) {
        float lx = line_x(w, l, width, align) + x;
        GfxRect box(lx, y0, (float)w.lines[l][2], lh);
        if (_gfx_clip(&box, nullptr))
            _font_draw(font, text + w.lines[l][0], lx, y0, w.lines[l][1] - w.lines[l][0]);
        y0 += lh;
    }
}

void _font_draw(int font, const char* line, float x, float y, int len) {
    // Glyphs per GL call: a longer line is sent in several batches.
    static const int BATCH = 256;
    static float pos[BATCH * 12], tco[BATCH * 12];
    const FontInfo& f = info(font);
    if (f.tex == 0) return;
    const int name = gfx_tex_get_id(f.tex);
    float su, sv;
    if (name == 0 || !page_texel(f, &su, &sv)) return; // no page: draw nothing, not solid boxes
    gfx_batch_flush(); // quads queued before the text go under it
    glVertexPointer(2, GL_FLOAT, 0, pos);
    glTexCoordPointer(2, GL_FLOAT, 0, tco);
    // Glyphs are judged as pictures are: a run in which none is shrunk
    // draws with the page's magnification filter both ways, so "nearest"
    // text keeps whole texels at any position; shrunk text keeps mipmaps.
    int n = 0;
    bool unshrunk = true;
    auto draw_run = [&] {
        gfx_tex_bind(name, unshrunk);
        glDrawArrays(GL_TRIANGLES, 0, 6 * n);
        n = 0;
        unshrunk = true;
    };
    for (int i = 0; len < 0 ? line[i] != 0 : i < len; i++) {
        const unsigned char c = (unsigned char)line[i];
        const GfxRect& r = f.rects[c];
        const GfxRect& s = f.shapes[c];
        GfxRect t(r.x * su, r.y * sv, r.w * su, r.h * sv);
        GfxRect d(x + s.x * f.scale, y + s.y * f.scale, r.w * f.scale, r.h * f.scale);
        x += s.w * f.scale; // a glyph clipped away still advances
        if (!_gfx_clip(&d, &t)) continue;
        unshrunk = unshrunk && gfx_tex_unshrunk(name, d.w, d.h, t.w, t.h);
        const float x0 = d.x, y0 = d.y, x1 = d.x + d.w, y1 = d.y + d.h;
        const float u0 = t.x, v0 = t.y, u1 = t.x + t.w, v1 = t.y + t.h;
        const float p[12] = {x0, y0, x1, y0, x0, y1, x0, y1, x1, y0, x1, y1};
        const float q[12] = {u0, v0, u1, v0, u0, v1, u0, v1, u1, v0, u1, v1};
        std::memcpy(pos + n * 12, p, sizeof p);
        std::memcpy(tco + n * 12, q, sizeof q);
        if (++n == BATCH) draw_run();
    }
    if (n) draw_run();
}

// ====== Text editing queries ======

GfxRect font_crect(int font, const char* text, int index, float width, int align) {
    const FontInfo& f = info(font);
    text = _font_filter(text);
    GfxRect hit;
    float x, y;
    if (walk_cells(f, text, width, align, &x, &y, [&](int j, GfxRect cell) {
            hit = cell;
            return j >= index;
        }))
        return hit;
    return GfxRect(x, y - line_height(f), 0, line_height(f));
}

int _font_dist(GfxRect& r, int x, int y) {
    // Clamped before the conversion and the shift, so a far point can't
    // overflow; the row weight still beats any column difference.
    double dx = std::fabs(std::trunc((double)r.x - x));
    double dy = std::fabs(std::trunc((double)r.y + r.h / 2.0 - y));
    if (!(dx <= 65535)) dx = 65535;
    if (!(dy <= 32767)) dy = 32767;
    return (int)dx + ((int)dy << 16);
}

int font_cnear(int font, const char* text, int x, int y, float width, int align) {
    const FontInfo& f = info(font);
    text = _font_filter(text);
    int best = 0, best_d = -1;
    float ex, ey;
    walk_cells(f, text, width, align, &ex, &ey, [&](int j, GfxRect cell) {
        int d = _font_dist(cell, x, y);
        if (best_d < 0 || d < best_d) {
            best = j;
            best_d = d;
        }
        return false;
    });
    return best;
}
