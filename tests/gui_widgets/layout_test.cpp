// Table and box layout, label sizing and the font handle, on the "mono"
// font (advance 10, line height 20) and on plain widgets of a given size.
#include "font/font_fixture.h"
#include "zov_gui_layout.h"

namespace {

// A plain widget whose natural content size is w x h; counts the layouts
// it gets to a given size.
class Cell : public Widget {
public:
    int sized = 0;
    Cell(float w, float h) {
        style.width = w;
        style.height = h;
    }
    void resize(int w, int h) override {
        sized++;
        Widget::resize(w, h);
    }
    using Widget::resize;
};

using GuiLayout = FontTest;

} // namespace

// ====== Grid helpers ======

TEST(GridSplit, ExtraUnitsGoToTheTracksWhoseAbsoluteIndexIsBelowTheRemainder) {
    // 7 over a span of 3 from column 0: 3, 2, 2; from column 1: 2, 2, 3.
    EXPECT_EQ(t_div(7, 3, 0), 3);
    EXPECT_EQ(t_div(7, 3, 1), 2);
    EXPECT_EQ(t_div(7, 3, 2), 2);
    EXPECT_EQ(t_div(7, 3, 3), 3);
    EXPECT_EQ(t_div(9, 3, 5), 3) << "no remainder: every share equal";
    int a[] = {1, 2, 3};
    EXPECT_EQ(t_sum(a, 0, 3), 6);
    EXPECT_EQ(t_sum(a, 2, 1), 0);
}

// ====== Table ======

TEST(TableLayout, SpanningCellWidensItsColumnsOnlyByWhatIsMissing) {
    Table t;
    t.tr();
    Cell* a = new Cell(30, 10);
    Cell* b = new Cell(50, 10);
    t.td(a);
    t.td(b);
    t.tr();
    Cell* c = new Cell(101, 10);
    t.td(c, 2, 1);
    t.resize();
    // 21 missing over columns 0 and 1: 11 and 10, so 41 and 60.
    EXPECT_EQ(b->_rect.x, 41);
    EXPECT_EQ(c->_rect.y, 10);
    EXPECT_EQ(t.rect.w, 101);
    EXPECT_EQ(t.rect.h, 20);
}

TEST(TableLayout, SpanOverAnEmptyColumnSplitsTheWholeShortfall) {
    Table t;
    t.tr();
    t.td(new Cell(30, 10));
    Cell* empty = new Cell(0, 10);
    t.td(empty);
    t.tr();
    t.td(new Cell(101, 10), 2, 1);
    t.resize();
    // 71 missing: column 0 gets 36 (to 66), column 1 gets 35.
    EXPECT_EQ(empty->_rect.x, 66);
    EXPECT_EQ(t.rect.w, 101);
}

TEST(TableLayout, StyleSizeIsSpreadOverAllColumnsAndTheGridNeverShrinks) {
    Table t;
    t.style.width = 200;
    t.style.height = 5;
    t.style.loop();
    Cell* a = new Cell(10, 5);
    Cell* b = new Cell(20, 5);
    Cell* c = new Cell(30, 5);
    t.tr();
    t.td(a);
    t.td(b);
    t.td(c);
    t.resize();
    // 140 missing over three columns: 47, 47, 46.
    EXPECT_EQ(b->_rect.x, 57);
    EXPECT_EQ(c->_rect.x, 124);
    EXPECT_EQ(t.rect.w, 200);
    EXPECT_EQ(t.me->_rect.w, 200) << "the hidden child matches its cell and is not laid out again";

    t.style.width = 0;
    t.style.loop();
    t.resize();
    EXPECT_EQ(t.rect.w, 60) << "without the style size the columns fall back to their cells";
    EXPECT_EQ(t.me->b_colspan, 3) << "the hidden child keeps spanning the grid";
}

TEST(TableLayout, ACellAtItsNaturalSizeIsNotLaidOutTwice) {
    Table t;
    t.style.width = 10;
    t.style.loop();
    t.tr();
    Cell* narrow = new Cell(20, 10);
    Cell* wide = new Cell(40, 10);
    t.td(narrow);
    t.tr();
    t.td(wide);
    t.resize();
    EXPECT_EQ(wide->sized, 0);
    EXPECT_EQ(narrow->sized, 1) << "a cell narrower than its column is laid out to the column";
    EXPECT_EQ(narrow->_rect.w, 20) << "a plain widget keeps its own size in a wider cell";
    EXPECT_EQ(t.me->_rect.w, 0) << "the hidden child is laid out again when the grid differs from the style size";
}

TEST(TableLayout, CellsOutsideTheGridAreMovedIntoIt) {
    Table t;
    Cell* before_tr = new Cell(5, 5);
    t.td(before_tr);
    EXPECT_EQ(before_tr->b_row, 0) << "a cell before the first row lands in row 0";
    Cell* up = new Cell(5, 5);
    t.td(up, 1, 1, -1, -5);
    EXPECT_EQ(up->b_row, 0);
    Cell* left = new Cell(5, 5);
    t.td(left, -2, 1, -7, 3);
    EXPECT_EQ(left->b_col, 0) << "a column below -1 is clamped";
    EXPECT_EQ(left->b_colspan, 0) << "a negative span covers no column";
    EXPECT_EQ(left->b_row, 3);
    left->b_col = -4; // written by hand after placement
    t.resize();
    EXPECT_EQ(left->_rect.x, 0);
    EXPECT_EQ(left->_rect.y, 5) << "rows 1 and 2 are empty";
    EXPECT_EQ(t.rect.h, 10);
}

TEST(TableLayout, ChildrenEndSortedByRowSpan) {
    Table t;
    t.tr();
    Cell* tall = new Cell(5, 30);
    t.td(tall, 1, 2);
    t.td(new Cell(5, 5));
    t.tr();
    t.td(new Cell(5, 5), 1, 1, 1, 1);
    t.resize();
    EXPECT_EQ(t.widgets.back()->b_rowspan, 2) << "the sorted order stays: the widest span last";
    EXPECT_EQ(tall->_rect.y, 0);
    EXPECT_EQ(t.rect.h, 30) << "the spanning cell widens its rows to 30 in all";
}

TEST(TableLayout, AssignedTableHasItsOwnHiddenChildAndLaysOut) {
    Table a;
    a.tr();
    a.td(new Cell(30, 10));
    Table b;
    b.style.width = 70;
    a = b;
    ASSERT_EQ(a.widgets.size(), 1u) << "only the hidden child";
    EXPECT_EQ(a.widgets[0], a.me);
    EXPECT_NE(a.me, b.me);
    EXPECT_EQ(a.me->ignore, 1);
    a = Table(); // the source's hidden child dies with it
    a.td(new Cell(40, 10));
    a.resize();
    EXPECT_EQ(a.rect.w, 40);
}

// ====== Box ======

TEST(BoxLayout, AlignPlacesTheChildAtTheStartCentreOrEnd) {
    struct Case {
        float width;
        int align;
        float x;
    } cases[] = {{100, -1, 0}, {100, STYLE_UNSET, 30}, {100, 0, 30}, {100, 1, 60},
                 {101, -1, 0}, {101, STYLE_UNSET, 30}, {101, 0, 30}, {101, 1, 61}};
    for (const Case& c : cases) {
        Cell* child = new Cell(40, 10);
        Box box(child);
        box.style.width = c.width;
        box.style.height = 30;
        box.style.align = c.align;
        box.style.valign = 1;
        box.style.loop();
        box.resize();
        EXPECT_EQ(box.rect.w, c.width);
        EXPECT_EQ(child->_rect.x, c.x) << "width " << c.width << ", align " << c.align;
        EXPECT_EQ(child->_rect.y, 20) << "valign 1 puts the child at the bottom";
    }
}

TEST(BoxLayout, ClippingKeepsTheStyleSizeElseTheBoxGrowsAroundTheChild) {
    Cell* child = new Cell(40, 10);
    Box clip(child);
    clip.style.clip = 1;
    clip.style.width = 0;
    clip.style.loop();
    clip.resize();
    EXPECT_EQ(clip.rect.w, 40) << "a clipping box of style width 0 takes the child's width";

    clip.style.width = 30;
    clip.style.loop();
    clip.resize();
    EXPECT_EQ(clip.rect.w, 30) << "and cuts a wider child";
    EXPECT_EQ(child->_rect.x, -5) << "a child larger than the box is centred at a negative offset";

    Box grow(new Cell(40, 10));
    grow.style.width = 80;
    grow.style.set_padding(5, STYLE_UNSET, STYLE_UNSET, STYLE_UNSET);
    grow.style.loop();
    grow.resize();
    EXPECT_EQ(grow.rect.w, 70) << "style width less the extents";
    grow.style.width = 20;
    grow.style.loop();
    grow.resize();
    EXPECT_EQ(grow.rect.w, 40) << "never narrower than the child";
}

TEST(BoxLayout, AGivenSizeReplacesTheNaturalOneAndRealigns) {
    Cell* child = new Cell(40, 10);
    Box box(child);
    box.style.align = 1;
    box.style.loop();
    box._resize(100, 50);
    EXPECT_EQ(box.rect.w, 100);
    EXPECT_EQ(box._rect.w, 100);
    EXPECT_EQ(child->_rect.x, 60);
    EXPECT_EQ(child->_rect.y, 20);
}

TEST(BoxLayout, WithoutAChildTheBoxIsItsStyleSize) {
    Box box(nullptr);
    box.style.width = 25;
    box.style.loop();
    box.resize();
    EXPECT_EQ(box.rect.w, 25);
    EXPECT_TRUE(box.widgets.empty());
}

// ====== Label and font handle ======

TEST_F(GuiLayout, LabelTakesItsWidestLineAndOneLineHeightPerLine) {
    Label l(ZovGuiFont(mono), "ab\nabcd");
    l.resize();
    EXPECT_EQ(l.rect.w, 41) << "40, rounded up after adding 0.01";
    EXPECT_EQ(l.rect.h, 40);

    l.style.width = 35;
    l.style.loop();
    l.set_value_s("abc def");
    l.resize();
    EXPECT_EQ(l.rect.w, 35);
    EXPECT_EQ(l.rect.h, 40) << "a label narrower than its text wraps it";

    l.set_value_s(nullptr);
    EXPECT_EQ(l.txt, "");
}

TEST_F(GuiLayout, FontHandleMeasuresOnlyWithoutAGivenWidth) {
    ZovGuiFont f(mono);
    EXPECT_EQ(f.get_width("abc", 10), 10);
    EXPECT_EQ(f.get_width("abc", 0), 31);
    EXPECT_EQ(f.get_height(nullptr, 0), 20);
    EXPECT_EQ(f.get_height("abc def", 35), 40);
    EXPECT_EQ(f.crect("abc", 2, 0, -1).x, 20);
    EXPECT_EQ(f.cnear("abc", 19, 5, 0, -1), 2);
}

TEST(FontHandle, OutsideTheFontModuleTextsMeasureZero) {
    ZovGuiFont f(1);
    EXPECT_EQ(f.get_height("abc", 0), 0);
    EXPECT_EQ(f.get_width("abc", 0), 0);
    EXPECT_EQ(f.cnear("abc", 5, 5, 0, -1), 0);
    Label l(f, "abc");
    l.resize();
    EXPECT_EQ(l.rect.w, 0);
}
