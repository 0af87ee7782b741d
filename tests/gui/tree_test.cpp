// The widget tree itself: ownership, refusals that keep it a tree, lookup by
// name, assignment, the automatic focus search, layout of containers and the
// truncating rectangle getters.
#include "gui_support.h"

#include "support/capture.h"

using namespace gui_test;

namespace {

// Counts its own destruction, so ownership can be checked exactly.
struct Counted : Widget {
    explicit Counted(int* deleted) : deleted(deleted) {}
    ~Counted() override { ++*deleted; }
    int* deleted;
};

} // namespace

// ------ Ownership ------

TEST(GuiTree, ContainerDeletesItsChildrenRecursively) {
    int deleted = 0;
    {
        Container root;
        Container* inner = new Container;
        root.add(inner, 0, 0);
        root.add(new Counted(&deleted), 0, 0);
        inner->add(new Counted(&deleted), 0, 0);
        inner->add(new Counted(&deleted), 0, 0);
    }
    EXPECT_EQ(deleted, 3);
}

TEST(GuiTree, AddRefusesWhatWouldBreakTheTree) {
    Container root, other;
    Container* inner = new Container;
    Widget* leaf = new Widget;
    EXPECT_FALSE(root.add(nullptr, 0, 0));
    ASSERT_TRUE(root.add(inner, 0, 0));
    ASSERT_TRUE(inner->add(leaf, 0, 0));
    Captured c = capture([&] {
        EXPECT_FALSE(other.add(leaf, 5, 5)) << "already owned";
        EXPECT_FALSE(inner->add(inner, 0, 0)) << "itself";
        EXPECT_FALSE(inner->add(&root, 0, 0)) << "an ancestor";
    });
    EXPECT_EQ(lines_of(c.err).size(), 3u);
    EXPECT_EQ(leaf->parent, inner);
    EXPECT_EQ(leaf->_rect.x, 0);
    EXPECT_TRUE(other.widgets.empty());
    EXPECT_EQ(inner->widgets.size(), 1u);
    EXPECT_EQ(root.widgets.size(), 1u);
}

TEST(GuiTree, AddPlacesStepsTheStyleOnceAndSizesOnlyTheContent) {
    Container root;
    Widget* w = new Widget;
    w->style.width = 100;
    w->style.data[STYLE_NONE].width = 40; // the normal state's value wins over the base
    w->style.set_padding(5, STYLE_UNSET, STYLE_UNSET, STYLE_UNSET);
    root.add(w, 7, 9);
    EXPECT_EQ(w->parent, &root);
    EXPECT_EQ(w->_rect.x, 7);
    EXPECT_EQ(w->_rect.y, 9);
    EXPECT_EQ(w->style.data[STYLE_CUR].width, 40);
    EXPECT_EQ(w->rect.w, 40);
    EXPECT_EQ(w->_rect.w, 0) << "the outer size waits for the container's resize";
    root.resize();
    EXPECT_EQ(w->_rect.w, 50);
    EXPECT_EQ(w->rect.x, 5);
}

// ------ Lookup ------

TEST(GuiTree, FindSearchesChildrenDepthFirstBeforeItsOwnName) {
    Container root;
    root.name = "x";
    Container* inner = new Container;
    Widget* deep = new Widget;
    Widget* later = new Widget;
    deep->name = "x";
    later->name = "x";
    inner->add(deep, 0, 0);
    root.add(inner, 0, 0);
    root.add(later, 0, 0);
    EXPECT_EQ(root.find("x"), deep);
    EXPECT_EQ(root.find("none"), nullptr);
    EXPECT_EQ(root.find(nullptr), nullptr);
    EXPECT_EQ(deep->find(nullptr), nullptr);
    EXPECT_EQ(inner->find(""), inner) << "an unnamed widget has the empty name";
}

// ------ Assignment ------

TEST(GuiTree, WidgetAssignmentCopiesTheFieldsButKeepsItsOwnPlace) {
    Container a, b;
    Widget* src = new Widget;
    Widget* dst = new Widget;
    a.add(src, 1, 2);
    b.add(dst, 3, 4);
    src->name = "src";
    src->onclick = var("clicked");
    src->useful = 1;
    src->b_colspan = 3;
    src->style.color = 0x123456;
    src->_focus(); // flags of src's tree
    *dst = *src;
    EXPECT_EQ(dst->parent, &b);
    EXPECT_EQ(dst->name, "src");
    EXPECT_EQ(dst->onclick.value, src->onclick.value) << "handler values are shared";
    EXPECT_EQ(dst->useful, 1);
    EXPECT_EQ(dst->b_colspan, 3);
    EXPECT_EQ(dst->_rect.x, 1);
    EXPECT_EQ(dst->style.color, 0x123456);
    EXPECT_EQ(dst->style.focus, 0) << "dst is not in b's focus chain";
    EXPECT_TRUE(chains_consistent(&b));
}

TEST(GuiTree, ContainerAssignmentDeletesTheTargetsChildrenAndCopiesNone) {
    int deleted = 0;
    Container target, source;
    target.add(new Counted(&deleted), 0, 0);
    target.add(new Counted(&deleted), 0, 0);
    source.add(new Widget, 0, 0);
    source.onclick = var("src");
    target.loop(); // focus search leaves hover and focus links empty here
    target.first = 1;
    target = source;
    EXPECT_EQ(deleted, 2);
    EXPECT_TRUE(target.widgets.empty());
    EXPECT_EQ(target.first, 0);
    EXPECT_EQ(str(target.onclick), "src");
    EXPECT_EQ(source.widgets.size(), 1u);
    target = Container(); // how the console rebuilds its root
    EXPECT_EQ(target.onclick.__type__(), VAR_NONE);
}

TEST(GuiTree, AssigningAFocusedTreeClearsItsLinks) {
    Container root;
    Widget* w = new Widget;
    w->useful = 1;
    root.add(w, 0, 0);
    root.loop();
    ASSERT_EQ(root.focus, w);
    root = Container();
    EXPECT_EQ(root.focus, nullptr);
    EXPECT_EQ(root.hover, nullptr);
    EXPECT_TRUE(chains_consistent(&root));
}

// ------ Focus search ------

TEST(GuiTree, LoopOfARootFocusesAndHoversItsFirstFocusableWidgetInPreOrder) {
    Log log;
    RecContainer root(&log, "root");
    RecContainer* inner = new RecContainer(&log, "inner");
    RecWidget* skipped = new RecWidget(&log, "skipped", 1);
    skipped->ignore = 1;
    RecWidget* deep = new RecWidget(&log, "deep", 1);
    RecWidget* later = new RecWidget(&log, "later", 1);
    root.add(inner, 0, 0);
    inner->add(skipped, 0, 0);
    inner->add(deep, 0, 0);
    root.add(later, 0, 0);
    root.loop();
    EXPECT_EQ(root.focus, inner);
    EXPECT_EQ(inner->focus, deep);
    EXPECT_EQ(inner->hover, deep);
    EXPECT_EQ(root.first, 0);
    EXPECT_TRUE(chains_consistent(&root));
    log.clear();
    root.loop();
    EXPECT_TRUE(log.empty()) << "nothing moves while something holds the focus";
}

TEST(GuiTree, ARootWithoutFocusableWidgetsSearchesOnEveryLoopAndStaysUnfocused) {
    Container root;
    Container* inner = new Container;
    root.add(inner, 0, 0);
    inner->add(new Widget, 0, 0);
    root.loop();
    root.loop();
    EXPECT_EQ(root.focus, nullptr);
    EXPECT_EQ(root.first, 0);
    inner->widgets[0]->useful = 1;
    root.loop();
    EXPECT_EQ(root.focus, inner);
}

TEST(GuiTree, FocusSearchDoesNothingWhileAlreadyRunning) {
    Container root;
    Widget* w = new Widget;
    w->useful = 1;
    root.add(w, 0, 0);
    root.first = 1;
    root.loop();
    EXPECT_EQ(root.focus, nullptr);
    EXPECT_EQ(root.first, 1);
}

TEST(GuiTree, OnlyARootSearchesForFocus) {
    Container root;
    Container* inner = new Container;
    Widget* w = new Widget;
    w->useful = 1;
    root.add(inner, 0, 0);
    inner->add(w, 0, 0);
    inner->loop();
    EXPECT_EQ(w->style.focus, 0);
}

// ------ Layout of a container ------

TEST(GuiTree, ContainerSizeIsTheFarthestChildEdgeTruncatedAndNeverNegative) {
    Container root;
    Widget* a = place(&root, new Widget, 3, 4, 10.75f, 5.5f);
    place(&root, new Widget, -50, -50, 10, 10);
    a->_rect.x = 3.5f;
    root.resize();
    EXPECT_EQ(a->_rect.w, 10) << "the second style step drops the fraction";
    EXPECT_EQ(root.rect.w, 13);
    EXPECT_EQ(root.rect.h, 9);

    Container negative;
    place(&negative, new Widget, -50, -50, 10, 10);
    negative.resize();
    EXPECT_EQ(negative.rect.w, 0);
    EXPECT_EQ(negative.rect.h, 0);
}

TEST(GuiTree, ContainerLayoutHandlesSizesBeyondTheIntRange) {
    Container root;
    Widget* w = place(&root, new Widget, 2000000000, 0, 3.0e9f, 1);
    w->style.set_margin(2000000000, STYLE_UNSET, STYLE_UNSET, STYLE_UNSET);
    root.resize();
    EXPECT_GT(root.rect.w, 4.0e9f);
    EXPECT_EQ(w->rect.x, 2.0e9f);
    EXPECT_GT(w->_rect.w, 6.1e9f);
}

TEST(GuiTree, ResizeOfARootStepsEveryStyleBelowItButNotItsOwn) {
    Container root;
    root.style.alpha = 0;
    Container* inner = new Container;
    Widget* w = new Widget;
    root.add(inner, 0, 0);
    inner->add(w, 0, 0);
    w->style.data[STYLE_CUR].alpha = 0;
    w->style.data[STYLE_NONE].alpha = 100;
    root.resize();
    EXPECT_EQ(w->style.data[STYLE_CUR].alpha, 36);
    root.resize();
    EXPECT_EQ(w->style.data[STYLE_CUR].alpha, 72);
    EXPECT_EQ(root.style.data[STYLE_CUR].alpha, STYLE_UNSET);
}

// ------ Rectangles ------

TEST(GuiTree, RectGettersAddInFloatThenTruncateTowardZero) {
    MyRect r(-1.5f, 2.5f, 3.0f, -6.0f);
    EXPECT_EQ(r.get_left(), -1);
    EXPECT_EQ(r.get_top(), 2);
    EXPECT_EQ(r.get_right(), 1);
    EXPECT_EQ(r.get_bottom(), -3);
    EXPECT_EQ(r.get_centerx(), 0);  // -1.5 + 1.5
    EXPECT_EQ(r.get_centery(), 0);  // 2.5 - 3.0 = -0.5
    MyRect huge(3.0e9f, -3.0e9f, 0, 0);
    EXPECT_EQ(huge.get_left(), 2147483647);
    EXPECT_EQ(huge.get_top(), -2147483647 - 1);
}

TEST(GuiTree, ContentAndOuterScreenBoxesOfARoot) {
    Container root;
    Widget* w = place(&root, new Widget, 10, 20, 30, 40);
    w->style.set_border(2, STYLE_UNSET, STYLE_UNSET, STYLE_UNSET);
    root.resize();
    MyRect in = w->get_abs_rect(false), out = w->get_abs_rect(true);
    EXPECT_EQ(in.x, 12);
    EXPECT_EQ(in.y, 22);
    EXPECT_EQ(in.w, 30);
    EXPECT_EQ(out.x, 10);
    EXPECT_EQ(out.y, 20);
    EXPECT_EQ(out.w, 34);
    EXPECT_EQ(out.h, 44);
}
