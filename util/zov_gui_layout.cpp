#include "zov_gui_layout.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <vector>

#include "zov_font.h"
#include "zov_util.h"

// ====== Helpers ======
namespace {

int64_t or0(int v) { return v == STYLE_UNSET ? 0 : v; }
double or0(MyRectNumber v) { return v == STYLE_UNSET_F ? 0 : v; }

// Margin + border + padding of both sides of one axis, current style.
int64_t extents(const StyleData& s, int side_a, int side_b) {
    int64_t sum = 0;
    for (int side : {side_a, side_b}) sum += or0(s.margin[side]) + or0(s.border[side]) + or0(s.padding[side]);
    return sum;
}

// A cell's first column (row) and span, read so that a cell written outside
// the grid by hand still lies within the arrays.
struct Span {
    int from, n;
};
Span col_span(const Widget* w) { return {t_max(0, w->b_col), t_max(0, w->b_colspan)}; }
Span row_span(const Widget* w) { return {t_max(0, w->b_row), t_max(0, w->b_rowspan)}; }

} // namespace

// ====== Font handle ======
// Outside font_init .. font_deinit there is no font to ask: texts measure 0
// and draw nothing, as with a font that failed to load.

int ZovGuiFont::get_height(const char* text, int width) const {
    return _font ? trunc_int(font_get_height(fid, text, (float)width)) : 0;
}

int ZovGuiFont::get_width(const char* text, int width) const {
    if (width != 0) return width;
    return _font ? trunc_int(font_get_width(fid, text)) : 0;
}

void ZovGuiFont::draw(const char* text, int x, int y, int width, int align) const {
    if (_font) font_draw(fid, text, (float)x, (float)y, (float)width, align);
}

GfxRect ZovGuiFont::crect(const char* text, int index, int width, int align) const {
    return _font ? font_crect(fid, text, index, (float)width, align) : GfxRect();
}

int ZovGuiFont::cnear(const char* text, int x, int y, int width, int align) const {
    return _font ? font_cnear(fid, text, x, y, (float)width, align) : 0;
}

// ====== Grid helpers ======

int t_sum(int* a, int from, int to) {
    int s = 0;
    for (int i = from; i < to; i++) s += a[i];
    return s;
}

int t_max(int a, int b) { return a < b ? b : a; }

int t_div(int a, int b, int c) {
    int q = a / b, r = a % b;
    if (r == 0) return q;
    return c % b < r ? q + 1 : q;
}

bool t_sort_by_colspan(Widget* p, Widget* q) { return p->b_colspan < q->b_colspan; }
bool t_sort_by_rowspan(Widget* p, Widget* q) { return p->b_rowspan < q->b_rowspan; }

// ====== Table ======

Table::Table() { _add_hidden(); }

Table& Table::operator=(const Table& o) {
    Container::operator=(o);
    row = o.row;
    col = o.col;
    _add_hidden();
    return *this;
}

void Table::_add_hidden() {
    me = new Widget();
    add(me, 0, 0);
    me->ignore = 1;
}

void Table::tr() {
    row += 1;
    col = 0;
}

void Table::td(Widget* w, int colspan, int rowspan, int c, int r) {
    if (c != -1) col = c;
    if (r != -1) row = r;
    col = t_max(0, col);
    row = t_max(0, row);
    w->b_col = col;
    w->b_row = row;
    w->b_colspan = t_max(0, colspan);
    w->b_rowspan = t_max(0, rowspan);
    col += w->b_colspan;
    add(w, 0, 0);
}

namespace {

// Widens the tracks (columns or rows) under each cell by what the cell still
// misses, narrow cells first: a spanning cell then only adds what its
// tracks lack, split evenly by absolute track index.
void fit_tracks(std::vector<Widget*>& cells, std::vector<int>& size, bool (*by_span)(Widget*, Widget*),
                Span (*span)(const Widget*), MyRectNumber MyRect::*extent) {
    std::sort(cells.begin(), cells.end(), by_span);
    for (Widget* w : cells) {
        Span s = span(w);
        int have = t_sum(size.data(), s.from, s.from + s.n);
        if (!(have < w->_rect.*extent)) continue;
        int d = trunc_int(w->_rect.*extent - have);
        for (int i = s.from; i < s.from + s.n; i++) size[i] += t_div(d, s.n, i);
    }
}

// Running sums: offsets[i] is where track i starts, offsets[n] the total.
std::vector<int> offsets_of(const std::vector<int>& size) {
    std::vector<int> at(size.size() + 1, 0);
    for (size_t i = 0; i < size.size(); i++) at[i + 1] = at[i] + size[i];
    return at;
}

} // namespace

void Table::resize() {
    Container::resize();
    int cols = 0, rows = 0;
    for (Widget* w : widgets) {
        Span c = col_span(w), r = row_span(w);
        cols = t_max(cols, c.from + c.n);
        rows = t_max(rows, r.from + r.n);
    }
    const StyleData& s = style.data[STYLE_CUR];
    me->b_col = me->b_row = 0;
    me->b_colspan = cols;
    me->b_rowspan = rows;
    me->_rect = MyRect(0, 0, (MyRectNumber)or0(s.width), (MyRectNumber)or0(s.height));

    std::vector<int> widths(cols, 0), heights(rows, 0);
    fit_tracks(widgets, widths, t_sort_by_colspan, col_span, &MyRect::w);
    fit_tracks(widgets, heights, t_sort_by_rowspan, row_span, &MyRect::h);
    std::vector<int> x = offsets_of(widths), y = offsets_of(heights);

    for (Widget* w : widgets) {
        Span c = col_span(w), r = row_span(w);
        w->_rect.x = (MyRectNumber)x[c.from];
        w->_rect.y = (MyRectNumber)y[r.from];
        int cw = x[c.from + c.n] - x[c.from], rh = y[r.from + r.n] - y[r.from];
        // A cell already at its natural size is not laid out twice.
        if ((float)cw != w->_rect.w || (float)rh != w->_rect.h) w->_resize(cw, rh);
    }
    rect.w = (MyRectNumber)x[cols];
    rect.h = (MyRectNumber)y[rows];
}

// ====== Box ======

Box::Box(Widget* child) { add(child, 0, 0); }

void Box::resize() {
    Container::resize();
    const StyleData& s = style.data[STYLE_CUR];
    const int64_t hext = extents(s, STYLE_LEFT, STYLE_RIGHT), vext = extents(s, STYLE_TOP, STYLE_BOTTOM);
    const MyRectNumber cw = widgets.empty() ? 0 : widgets[0]->_rect.w;
    const MyRectNumber ch = widgets.empty() ? 0 : widgets[0]->_rect.h;
    if (s.clip != STYLE_UNSET && s.clip != 0) {
        // Keeps its style size and may cut the child.
        rect.w = s.width != STYLE_UNSET_F && trunc_int(s.width) != 0 ? (MyRectNumber)(s.width - hext) : cw;
        rect.h = s.height != STYLE_UNSET_F && trunc_int(s.height) != 0 ? (MyRectNumber)(s.height - vext) : ch;
    } else {
        // Grows to hold the child, and is at least its style size.
        rect.w = (MyRectNumber)t_max(trunc_int(cw), trunc_int(or0(s.width) - hext));
        rect.h = (MyRectNumber)t_max(trunc_int(ch), trunc_int(or0(s.height) - vext));
    }
    _align();
}

void Box::resize(int width, int height) {
    resize();
    rect.w = (MyRectNumber)width;
    rect.h = (MyRectNumber)height;
    _align();
}

void Box::_align() {
    if (widgets.empty()) return;
    Widget* child = widgets[0];
    const StyleData& s = style.data[STYLE_CUR];
    // k is 0 at the start, 1 in the centre, 2 at the end; a child larger
    // than the box gets a negative offset.
    auto offset = [](int align, double room) {
        int64_t k = align == STYLE_UNSET ? 1 : (int64_t)align + 1;
        return (MyRectNumber)((k * trunc_int(room)) / 2);
    };
    child->_rect.x = offset(s.align, rect.w - child->_rect.w);
    child->_rect.y = offset(s.valign, rect.h - child->_rect.h);
}

void Box::paint() {
    const int clip = style.data[STYLE_CUR].clip;
    if (clip == STYLE_UNSET || clip == 0) {
        Container::paint();
        return;
    }
    _enable_clip();
    Container::paint();
    _disable_clip();
}

// ====== Label ======

Label::Label(ZovGuiFont f, const char* text) : fnt(f), txt(text ? text : "") {}

void Label::set_value_s(const char* text) { txt = text ? text : ""; }

var Label::event(Event* e) { return Widget::event(e); }

void Label::resize() {
    const StyleData& s = style.data[STYLE_CUR];
    rect.w = s.width != STYLE_UNSET_F ? s.width : (MyRectNumber)fnt.get_width(txt.c_str(), 0);
    rect.h = (MyRectNumber)fnt.get_height(txt.c_str(), trunc_int(rect.w));
}

void Label::paint() {
    const StyleData& s = style.data[STYLE_CUR];
    const unsigned color = s.color == STYLE_UNSET ? 0xFFFFFF : (unsigned)s.color;
    const unsigned alpha = s.alpha == STYLE_UNSET ? 255 : (unsigned)s.alpha;
    guiColor4ub(color >> 16, color >> 8, color, alpha);
    fnt.draw(txt.c_str(), 0, 0, trunc_int(rect.w), s.align == STYLE_UNSET ? -1 : s.align);
    guiColor4ub(255, 255, 255, 255);
}
