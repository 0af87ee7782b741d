// Style sheets: the step functions, the target of each step (ALT, state,
// base), per-side and per-channel stepping, and the theme's box model.
#include "gui_support.h"

using namespace gui_test;

// ------ Step functions ------

TEST(GuiStyleStep, IntStepMovesByAtMostTheStepAndLandsExactly) {
    struct Case {
        int a, b, c, want;
    } cases[] = {
        {0, 100, 36, 36},   {36, 100, 36, 72},  {72, 100, 36, 100}, {100, 0, 36, 64},
        {5, 5, 1, 5},       {5, 6, 1, 6},       {6, 5, 1, 5},       {0, 36, 36, 36},
        {-10, 10, 1, -9},   {0, 2000, 1000, 1000},
        // 64-bit difference: no overflow between the extremes of int
        {-2147483647 - 1, 2147483647, 1000, -2147483647 - 1 + 1000},
        {2147483647, -2147483647 - 1, 36, 2147483647 - 36},
    };
    for (const Case& k : cases)
        EXPECT_EQ(StyleSheet::i_prep(k.a, k.b, k.c), k.want) << k.a << " -> " << k.b << " by " << k.c;
    EXPECT_EQ(StyleSheet::n_prep(1, 7, 1), 7);
}

TEST(GuiStyleStep, ColourChannelsStepEachOnTheirOwn) {
    const int want[] = {0x242424, 0x484840, 0x6C6C40, 0x908040, 0xB48040, 0xD88040, 0xFC8040, 0xFF8040};
    int c = 0x000000;
    for (int step = 0; step < 8; step++) {
        c = StyleSheet::c_prep(c, 0xFF8040, 36);
        EXPECT_EQ(c, want[step]) << "step " << step + 1;
    }
    EXPECT_EQ(StyleSheet::c_prep(0xFF8040, 0x000000, 36), 0xDB5C1C);
    EXPECT_EQ(StyleSheet::c_prep(0x7F123456, 0x123456, 36), 0x123456) << "bits above 24 are dropped";
}

// ------ Targets ------

namespace {

StyleData& cur(StyleSheet& s) { return s.data[STYLE_CUR]; }

} // namespace

TEST(GuiStyleTarget, ABaseValueIsCopiedOnceThenFollowedByItsStep) {
    StyleSheet s;
    s.alpha = 200;
    s.loop();
    EXPECT_EQ(cur(s).alpha, 200);
    s.alpha = 0;
    s.loop();
    EXPECT_EQ(cur(s).alpha, 164);
    EXPECT_EQ(cur(s).color, STYLE_UNSET) << "a field no set gives stays unset";
}

TEST(GuiStyleTarget, StateValueWhileInTheStateThenBackTowardTheBase) {
    StyleSheet s;
    s.border[STYLE_TOP] = 0;
    s.data[STYLE_HOVER].border[STYLE_TOP] = 3;
    s.loop();
    s.hover = 1;
    s.restate();
    const int up[] = {1, 2, 3, 3};
    for (int want : up) {
        s.loop();
        EXPECT_EQ(cur(s).border[STYLE_TOP], want);
    }
    s.hover = 0;
    s.restate();
    s.loop();
    EXPECT_EQ(cur(s).border[STYLE_TOP], 2);
}

TEST(GuiStyleTarget, AltValuesWinWhateverTheStateOthersFollowTheState) {
    StyleSheet s;
    s.data[STYLE_ALT].clip = 1;
    s.data[STYLE_FOCUS].clip = 2;
    s.data[STYLE_FOCUS].align = 1;
    s.align = -1;
    s.focus = 1;
    s.restate();
    s.loop();
    EXPECT_EQ(cur(s).clip, 2) << "ALT counts only with alt set";
    s.alt = 1;
    s.loop();
    EXPECT_EQ(cur(s).clip, 1);
    EXPECT_EQ(cur(s).align, 1);
    s.focus = 0;
    s.restate();
    s.loop();
    EXPECT_EQ(cur(s).clip, 1);
    EXPECT_EQ(cur(s).align, -1);
}

TEST(GuiStyleTarget, EverySideStepsOnItsOwn) {
    StyleSheet s;
    s.set_padding(0, STYLE_UNSET, STYLE_UNSET, STYLE_UNSET);
    s.loop();
    s.set_padding(5, 0, 2, STYLE_UNSET); // left follows the first value
    s.loop();
    s.loop();
    EXPECT_EQ(cur(s).padding[STYLE_TOP], 2);
    EXPECT_EQ(cur(s).padding[STYLE_RIGHT], 0);
    EXPECT_EQ(cur(s).padding[STYLE_BOTTOM], 2);
    EXPECT_EQ(cur(s).padding[STYLE_LEFT], 2);
}

TEST(GuiStyleTarget, SetSidesReplacesUnsetSidesByTheFirst) {
    StyleData d;
    d.set_margin(4, STYLE_UNSET, 2, STYLE_UNSET);
    EXPECT_EQ(d.margin[STYLE_TOP], 4);
    EXPECT_EQ(d.margin[STYLE_RIGHT], 4);
    EXPECT_EQ(d.margin[STYLE_BOTTOM], 2);
    EXPECT_EQ(d.margin[STYLE_LEFT], 4);
    d.set_border(1, 2, 3, 4);
    EXPECT_EQ(d.border[STYLE_LEFT], 4);
}

TEST(GuiStyleTarget, EachFieldUsesItsOwnStepAndRule) {
    // From all 0 toward large targets: how far one step gets, per field.
    StyleSheet s;
    StyleData& c = cur(s);
    c.width = c.height = 0;
    c.clip = c.align = c.valign = c.color = c.alpha = c.border_color = 0;
    for (int i = 0; i < 4; i++) c.border[i] = c.padding[i] = c.margin[i] = 0;
    for (StyleData::Draw* d : {&c.background, &c.overlay}) d->image = d->color = d->alpha = d->edge = d->tile = 0;
    c.sfx_onclick = c.sfx_ondown = c.sfx_onup = c.sfx_onenter = c.sfx_onfocus = 0;

    s.width = 5000;
    s.height = 300.5f;
    s.clip = s.align = s.valign = 9;
    s.color = s.border_color = 0xFFFFFF;
    s.alpha = 255;
    s.set_border(50, STYLE_UNSET, STYLE_UNSET, STYLE_UNSET);
    s.set_padding(50, STYLE_UNSET, STYLE_UNSET, STYLE_UNSET);
    s.set_margin(50, STYLE_UNSET, STYLE_UNSET, STYLE_UNSET);
    for (StyleData::Draw* d : {&s.background, &s.overlay}) {
        d->image = 7;
        d->color = 0xFFFFFF;
        d->alpha = 255;
        d->edge = d->tile = 50;
    }
    s.sfx_onclick = s.sfx_ondown = s.sfx_onup = s.sfx_onenter = s.sfx_onfocus = 3;
    s.loop();

    EXPECT_EQ(c.width, 1000);
    EXPECT_EQ(c.height, 300) << "stepped on truncated values";
    EXPECT_EQ(c.clip, 9);
    EXPECT_EQ(c.align, 9);
    EXPECT_EQ(c.valign, 9);
    EXPECT_EQ(c.color, 0x242424);
    EXPECT_EQ(c.border_color, 0x242424);
    EXPECT_EQ(c.alpha, 36);
    for (int i = 0; i < 4; i++) {
        EXPECT_EQ(c.border[i], 1);
        EXPECT_EQ(c.padding[i], 1);
        EXPECT_EQ(c.margin[i], 1);
    }
    for (StyleData::Draw* d : {&c.background, &c.overlay}) {
        EXPECT_EQ(d->image, 7);
        EXPECT_EQ(d->color, 0x242424);
        EXPECT_EQ(d->alpha, 36);
        EXPECT_EQ(d->edge, 1);
        EXPECT_EQ(d->tile, 1);
    }
    EXPECT_EQ(c.sfx_onclick, 3);
    EXPECT_EQ(c.sfx_onfocus, 3);
}

TEST(GuiStyleTarget, AFractionalSizeIsKeptWhenTakenAtOnceAndDroppedByTheNextStep) {
    StyleSheet s;
    s.width = 10.5f;
    s.loop();
    EXPECT_EQ(cur(s).width, 10.5f);
    s.loop();
    EXPECT_EQ(cur(s).width, 10.0f);
}

// ------ Box model ------

namespace {

// A widget whose content size is what the theme hands down.
struct Fitting : Widget {
    using Widget::resize;
    void resize(int w, int h) override {
        rect.w = (MyRectNumber)w;
        rect.h = (MyRectNumber)h;
    }
};

} // namespace

TEST(GuiTheme, ExtentsAreMarginBorderAndPaddingPerSideAroundTheContent) {
    Widget w;
    w.style.width = 10;
    w.style.height = 20;
    w.style.set_margin(1, 2, 3, 4);
    w.style.set_border(10, 20, 30, 40);
    w.style.set_padding(100, STYLE_UNSET, STYLE_UNSET, STYLE_UNSET);
    w.style.border[STYLE_LEFT] = STYLE_UNSET; // counts 0
    w._rect.x = 77;
    w.style.loop();
    w._resize();
    EXPECT_EQ(w.rect.x, 4 + 0 + 100);
    EXPECT_EQ(w.rect.y, 1 + 10 + 100);
    EXPECT_EQ(w.rect.w, 10);
    EXPECT_EQ(w._rect.w, 104 + 10 + 2 + 20 + 100);
    EXPECT_EQ(w._rect.h, 111 + 20 + 3 + 30 + 100);
    EXPECT_EQ(w._rect.x, 77) << "the owner places the outer box";
}

TEST(GuiTheme, GivenOuterSizeLeavesTheRestToTheContent) {
    Fitting w;
    w.style.set_padding(5, STYLE_UNSET, STYLE_UNSET, 7);
    w.style.loop();
    w._resize(100, 50);
    EXPECT_EQ(w.rect.w, 100 - 12);
    EXPECT_EQ(w.rect.h, 40);
    EXPECT_EQ(w._rect.w, 100);
    EXPECT_EQ(w.rect.x, 7);

    Widget plain; // the base ignores the size and keeps its style size
    plain.style.width = 3;
    plain.style.loop();
    plain._resize(100, 50);
    EXPECT_EQ(plain._rect.w, 3);
}

TEST(GuiTheme, HugeExtentsDoNotOverflow) {
    Fitting w;
    w.style.set_margin(2147483647, STYLE_UNSET, STYLE_UNSET, STYLE_UNSET);
    w.style.set_padding(-2147483647, STYLE_UNSET, STYLE_UNSET, STYLE_UNSET);
    w.style.set_border(2147483647, STYLE_UNSET, STYLE_UNSET, STYLE_UNSET);
    w.style.loop();
    w._resize(0, 0);
    EXPECT_EQ(w.rect.w, -2147483647.0f - 1) << "0 - 2 * 2147483647 clamped to the int range";
    EXPECT_EQ(w.rect.x, 2147483647.0f);
}
