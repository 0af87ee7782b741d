// Wrapping, measuring, the caret rectangle and the nearest character, on
// the "mono" font (advance 10, 'W' 30, line height 20).
#include <climits>
#include <vector>

#include "font_fixture.h"

namespace {

struct Line {
    int start, end, width;
    bool operator==(const Line& o) const { return start == o.start && end == o.end && width == o.width; }
};

std::ostream& operator<<(std::ostream& os, const Line& l) {
    return os << "(" << l.start << ", " << l.end << ", " << l.width << ")";
}

class FontLayout : public FontTest {
protected:
    std::vector<Line> wrap(const char* text, float width) { return wrap_of(mono, text, width); }
    static std::vector<Line> wrap_of(int font, const char* text, float width) {
        FontWrap w;
        _font_wrap_calc(font, text, width, w);
        std::vector<Line> out;
        for (int i = 0; i < w.total; i++) out.push_back({w.lines[i][0], w.lines[i][1], w.lines[i][2]});
        return out;
    }
    void expect_rect(GfxRect got, float x, float y, float w, float h, const char* what) {
        EXPECT_EQ(got.x, x) << what;
        EXPECT_EQ(got.y, y) << what;
        EXPECT_EQ(got.w, w) << what;
        EXPECT_EQ(got.h, h) << what;
    }
};

std::string lines_of(int n) {
    std::string s;
    for (int i = 0; i < n; i++) s += i ? "\nab" : "ab";
    return s;
}

} // namespace

// ====== Wrapping ======

TEST_F(FontLayout, EmptyTextIsOneEmptyLine) {
    EXPECT_EQ(wrap("", 100), (std::vector<Line>{{0, 0, 0}}));
    EXPECT_EQ(font_get_width(mono, ""), 1.0f);
    EXPECT_EQ(font_get_height(mono, "", 100), 20.0f);
    EXPECT_EQ(font_get_height(mono, nullptr, 100), 20.0f);
}

TEST_F(FontLayout, BreaksAtTheLastSpaceWhichNeitherLineKeeps) {
    // "abc def": the second word ends past 50.
    EXPECT_EQ(wrap("abc def", 50), (std::vector<Line>{{0, 3, 30}, {4, 7, 30}}));
    EXPECT_EQ(wrap("ab cd ef gh", 65), (std::vector<Line>{{0, 5, 50}, {6, 11, 50}}));
    EXPECT_EQ(font_get_height(mono, "abc def", 50), 40.0f);
}

TEST_F(FontLayout, LongWordBreaksAtTheGlyphThatDoesNotFit) {
    EXPECT_EQ(wrap("abcdefg", 35), (std::vector<Line>{{0, 3, 30}, {3, 6, 30}, {6, 7, 10}}));
}

TEST_F(FontLayout, SpaceAtIndexZeroIsNeverABreak) {
    EXPECT_EQ(wrap(" abcdef", 35), (std::vector<Line>{{0, 3, 30}, {3, 6, 30}, {6, 7, 10}}));
}

TEST_F(FontLayout, LineFeedsBreakAndATrailingOneAddsAnEmptyLine) {
    EXPECT_EQ(wrap("ab\ncd\n", 0), (std::vector<Line>{{0, 2, 20}, {3, 5, 20}, {6, 6, 0}}));
    EXPECT_EQ(wrap("\n\n", 100), (std::vector<Line>{{0, 0, 0}, {1, 1, 0}, {2, 2, 0}}));
}

TEST_F(FontLayout, AGlyphWiderThanTheWidthYieldsEmptyLinesUpToTheLimit) {
    std::vector<Line> got = wrap("aWb", 25);
    ASSERT_EQ(got.size(), 32u);
    EXPECT_EQ(got[0], (Line{0, 1, 10}));
    for (size_t i = 1; i < got.size(); i++) EXPECT_EQ(got[i], (Line{1, 1, 0})) << "line " << i;
    EXPECT_EQ(wrap("ab", -5).size(), 32u) << "a negative width fits nothing, and still ends";
}

TEST_F(FontLayout, AtMostThirtyTwoLines) {
    std::string text = lines_of(40);
    std::vector<Line> got = wrap(text.c_str(), 100);
    ASSERT_EQ(got.size(), 32u);
    EXPECT_EQ(got[31], (Line{93, 95, 20}));
    EXPECT_EQ(font_get_height(mono, text.c_str(), 100), 32 * 20.0f);
    EXPECT_EQ(font_get_height(mono, text.c_str(), 0), 20.0f) << "width 0 measures one line";
    // Past the laid-out text: the zero-width rectangle after line 32.
    expect_rect(font_crect(mono, text.c_str(), 100, 100, -1), 20, 31 * 20, 0, 20, "caret past line 32");
}

// ====== Measuring ======

TEST_F(FontLayout, WidthIsTheWidestLineRoundedUp) {
    EXPECT_EQ(font_get_width(mono, "ab\ncde\nf"), 31.0f);
    EXPECT_EQ(font_get_height(mono, "ab\ncde", 0), 20.0f);
}

// Line widths an int can't hold saturate (NaN reads 0): a script may ask for
// any size, a file may give any advance.
TEST_F(FontLayout, LineWidthsBeyondTheIntRangeSaturate) {
    EXPECT_EQ(wrap_of(load("mono", INT_MAX), "abc def", 0), (std::vector<Line>{{0, 7, INT_MAX}}));
    struct Case {
        const char* advance;
        float width;
        std::vector<Line> lines;
    };
    const Case cases[] = {
        {"nan", 0, {{0, 5, 0}}},
        {"1e38", 0, {{0, 5, INT_MAX}}},
        {"1e300", 0, {{0, 5, INT_MAX}}}, // infinite as a float
        {"-1e38", 0, {{0, 5, INT_MIN}}},
        // The third 'a' does not fit: the line ends at the space before it,
        // with the width up to that space.
        {"1e38", 2.5e38f, {{0, 3, INT_MAX}, {4, 5, INT_MAX}}},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(write_file(dir / "odd.fnt", std::string("common lineHeight=20\n"
                                                            "char id=32 xadvance=10\n"
                                                            "char id=97 xadvance=") + c.advance + "\n"));
        int odd = load("odd", 0);
        font_reload(odd);
        EXPECT_EQ(wrap_of(odd, "a a a", c.width), c.lines) << c.advance << " at width " << c.width;
    }
}

TEST_F(FontLayout, FontIdsFromOutsideMeasureAsNoFont) {
    for (int id : {-1, 99, INT_MAX}) {
        EXPECT_EQ(font_get_height(id, "abc", 50), 0.0f);
        EXPECT_EQ(font_get_width(id, "abc"), 1.0f);
        EXPECT_EQ(font_cnear(id, "abc", 5, 5, 0, -1), 0);
    }
}

// ====== Caret and nearest character ======

TEST_F(FontLayout, CaretFollowsAlignment) {
    expect_rect(font_crect(mono, "ab", 0, 100, 0), 40, 0, 10, 20, "centred");
    expect_rect(font_crect(mono, "ab", 0, 100, 1), 80, 0, 10, 20, "right");
    expect_rect(font_crect(mono, "ab", 1, 100, -1), 10, 0, 10, 20, "left");
    expect_rect(font_crect(mono, "ab", -5, 100, -1), 0, 0, 10, 20, "negative index: the first cell");
    expect_rect(font_crect(mono, "ab", 2, 100, -1), 20, 0, 0, 20, "the NUL that ends the line has no width");
}

TEST_F(FontLayout, CaretInTheSecondLineStartsAtZeroWithoutWidth) {
    expect_rect(font_crect(mono, "ab\ncd", 4, 0, 0), 10, 20, 10, 20, "width 0: no alignment");
    expect_rect(font_crect(mono, "ab\ncd", 3, 0, 0), 0, 20, 10, 20, "line start");
}

TEST_F(FontLayout, CaretAtAWrapBoundaryStaysOnTheEarlierLine) {
    expect_rect(font_crect(mono, "abc def", 3, 50, -1), 30, 0, 10, 20, "the breaking space");
    expect_rect(font_crect(mono, "abc def", 4, 50, -1), 0, 20, 10, 20, "the next word");
}

TEST_F(FontLayout, NearestCharacterPicksTheRowFirstAndTiesGoEarlier) {
    EXPECT_EQ(font_cnear(mono, "abcd", 5, 10, 0, -1), 0) << "halfway between cells 0 and 1";
    EXPECT_EQ(font_cnear(mono, "abcd", 6, 10, 0, -1), 1);
    EXPECT_EQ(font_cnear(mono, "abcd", 500, 10, 0, -1), 4) << "past the end: the NUL position";
    EXPECT_EQ(font_cnear(mono, "abcd\nef", 38, 31, 0, -1), 7) << "second row, however far right";
    EXPECT_EQ(font_cnear(mono, "abcd\nef", 38, 9, 0, -1), 4) << "first row";
    EXPECT_EQ(font_cnear(mono, "abc def", 12, 25, 50, -1), 5) << "second wrapped line";
    EXPECT_EQ(font_cnear(mono, "", 12, 25, 50, -1), 0);
}

TEST_F(FontLayout, DistanceWeighsRowsAboveColumnsWithoutOverflow) {
    GfxRect cell(10, 0, 10, 20);
    EXPECT_EQ(_font_dist(cell, 13, 10), 3);
    EXPECT_EQ(_font_dist(cell, 7, 13), 3 + (3 << 16));
    // Far points stay positive and keep the row first.
    int far_row = _font_dist(cell, 10, INT_MIN);
    int far_col = _font_dist(cell, INT_MAX, 10);
    EXPECT_GT(far_row, 0);
    EXPECT_GT(far_col, 0);
    EXPECT_GT(far_row, far_col);
    GfxRect huge(1e30f, 1e30f, 10, 20);
    EXPECT_GT(_font_dist(huge, 0, 0), 0);
}
