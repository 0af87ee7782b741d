// zov_gui_layout: the toolkit's layout containers and static text.
//
// What it holds: `ZovGuiFont`, the font handle through which widgets measure
// and draw text; `Table`, a grid container whose cells may span columns and
// rows; `Box`, a container of exactly one child that it sizes from its style
// and aligns; `Label`, a piece of text; and the grid helpers `t_sum`,
// `t_max`, `t_div` and the span comparators.
//
// Layout is not automatic: a container's resize() (or its parent's) must run
// after texts, styles or children change.  Every style value read here is
// the current one (STYLE_CUR) and counts as absent when unset.
//
// State lives in the widgets; containers own their children.  Main thread
// only.  Measuring needs the font module (`font_init`); without it every
// text measures 0 and nothing is drawn.  Painting needs a GL context.
#pragma once

#include <string>

#include "zov_gfx.h"
#include "zov_gui.h"

// ====== Font handle ======

// A font id of the font module (one per name and pixel size), copied by
// value into every widget that shows text.  Widths are the wrap width in
// pixels; 0 means no wrapping.
struct ZovGuiFont {
    int fid;

    ZovGuiFont(int fid = 0) : fid(fid) {}
    // The height of text wrapped at width, truncated; one line for a null
    // text or a width of 0.
    int get_height(const char* text, int width) const;
    // width itself when it is not 0 (nothing is measured); else the widest
    // line of text, truncated.
    int get_width(const char* text, int width) const;
    void draw(const char* text, int x, int y, int width, int align) const;
    // The cell of the character at byte index (the caret before it).
    GfxRect crect(const char* text, int index, int width, int align) const;
    // The byte index whose cell is nearest (x, y).
    int cnear(const char* text, int x, int y, int width, int align) const;
};

// ====== Grid helpers ======

// a[from] + ... + a[to - 1]; 0 when to <= from.
int t_sum(int* a, int from, int to);
int t_max(int a, int b);
// The share of part c when a is split over b parts (b > 0): a / b, plus one
// for the parts whose index modulo b is below the remainder.
int t_div(int a, int b, int c);
bool t_sort_by_colspan(Widget* p, Widget* q);
bool t_sort_by_rowspan(Widget* p, Widget* q);

// ====== Table ======

// A grid.  Cells are placed row by row with tr() and td(); resize() makes
// every column as wide as its widest single cell, then widens the columns
// under spanning cells by what they still miss, and the same for rows.  A
// hidden first child spans the whole grid at the table's style size, so the
// grid is at least that big and never shrinks.
class Table : public Container {
public:
    int row = -1;        // current row; the first tr() makes it 0
    int col = 0;         // next free column of the current row
    Widget* me;          // the hidden child (owned like any child)

    Table();
    // As Container's (the target is left without children), then a new
    // hidden child: the old one went with the target's children.
    Table& operator=(const Table& other);

    // Starts the next row.
    void tr();
    // Places w in the cell at (col, row) with the given spans and adds it.
    // A col or row of -1 means the table's current one; a column or row
    // below 0 becomes 0, a negative span 0.
    void td(Widget* w, int colspan = 1, int rowspan = 1, int col = -1, int row = -1);
    void resize() override;
    using Container::resize;

private:
    void _add_hidden();
};

// ====== Box ======

// A container of one child (its first).  Clipping (style `clip`) keeps the
// box at its style size and cuts the child; otherwise the box grows to hold
// the child and is at least its style size.  The child is aligned by the
// style's `align` and `valign` (-1 start, 0 or absent centre, 1 end).
class Box : public Container {
public:
    // A null child makes an empty box that lays out as an empty child.
    explicit Box(Widget* child);

    void paint() override;
    void resize() override;
    // The natural layout, then the content size handed down by the theme.
    void resize(int width, int height) override;
    // Places the child inside the content box.
    virtual void _align();
};

// ====== Label ======

// Text in one font, wrapped at the style width when one is set.  Colour,
// alpha and alignment come from the style (white, opaque, left).
class Label : public Widget {
public:
    ZovGuiFont fnt;
    std::string txt;

    // A null text is the empty text.
    Label(ZovGuiFont fnt, const char* text);

    // Replaces the text (null: the empty text); the next layout measures it.
    void set_value_s(const char* text) override;
    var event(Event* e) override;
    void paint() override;
    // Width: the style width, else the widest line; height: the lines of
    // the text wrapped at that width.
    void resize() override;
    using Widget::resize;
};
