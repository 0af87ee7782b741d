// Event routing through real containers: hover, capture, focus on press,
// clicks, keyboard clicks, notifications, and the merged handler values.
// Each test checks both what every widget saw and what the root returned.
#include "gui_support.h"

using namespace gui_test;

namespace {

// root (no style) holding two focusable widgets side by side and one
// unfocusable one below them:
//   a (0,0 20x10)   b (30,0 20x10)
//   c (0,20 50x10), not useful
class Flat : public ::testing::Test {
protected:
    void SetUp() override {
        a = place(&root, new RecWidget(&log, "a", 1), 0, 0, 20, 10);
        b = place(&root, new RecWidget(&log, "b", 1), 30, 0, 20, 10);
        c = place(&root, new RecWidget(&log, "c", 0), 0, 20, 50, 10);
        root.resize();
        log.clear();
    }
    void TearDown() override { EXPECT_TRUE(chains_consistent(&root)); }

    Log log;
    RecContainer root{&log, "root"};
    RecWidget *a, *b, *c;
};

} // namespace

TEST_F(Flat, OuterBoxHoldsItsLeftAndTopEdgesButNotItsRightAndBottom) {
    send(root, EVT_MOTION, 0, 0);
    EXPECT_EQ(root.hover, a);
    send(root, EVT_MOTION, 19.9f, 9.9f);
    EXPECT_EQ(root.hover, a);
    send(root, EVT_MOTION, 20, 5);
    EXPECT_EQ(root.hover, nullptr);
    send(root, EVT_MOTION, 5, 10);
    EXPECT_EQ(root.hover, nullptr);
    send(root, EVT_MOTION, 30, 0);
    EXPECT_EQ(root.hover, b);
}

TEST_F(Flat, MotionHoversAndIsTranslatedIntoTheChild) {
    EXPECT_EQ(send(root, EVT_MOTION, 35, 4), "b.move");
    EXPECT_EQ(log, (Log{"root MOTION 35,4 v0", "b ENTER 0,0 v0", "b MOTION 5,4 v0"}));
    log.clear();
    // Leaving b for a: the old one exits before the new one enters; the last
    // non-none value is a's own motion.
    EXPECT_EQ(send(root, EVT_MOTION, 1, 2), "a.move");
    EXPECT_EQ(log, (Log{"root MOTION 1,2 v0", "b EXIT 0,0 v0", "a ENTER 0,0 v0", "a MOTION 1,2 v0"}));
    EXPECT_EQ(b->style.hover, 0);
    EXPECT_EQ(a->style.hover, 1);
    EXPECT_EQ(a->style.state, STYLE_HOVER);
}

TEST_F(Flat, MotionOverNothingGoesToTheFocusedChildWithTheRootsValueFirst) {
    root.onmove = var("root.move");
    EXPECT_EQ(send(root, EVT_MOTION, 100, 100), "root.move"); // nothing hovered, nothing focused
    a->_focus();
    log.clear();
    EXPECT_EQ(send(root, EVT_MOTION, 100, 100), "a.move");
    EXPECT_EQ(log, (Log{"root MOTION 100,100 v0", "a MOTION 100,100 v0"}));
}

TEST_F(Flat, PressOnAFocusableChildFocusesItThenPassesThePressWithMarker23) {
    EXPECT_EQ(send(root, EVT_DOWN, 32, 3), "b.down");
    EXPECT_EQ(log, (Log{"root DOWN 32,3 v0", "b ENTER 0,0 v0", "root BLUR 0,0 v0", "b FOCUS 0,0 v0",
                        "root FOCUS 0,0 v0", "b DOWN 2,3 v23"}));
    EXPECT_EQ(root.focus, b);
    EXPECT_EQ(b->style.state, STYLE_ACTIVE);
    log.clear();
    EXPECT_EQ(send(root, EVT_DOWN, 33, 3), "b.down");
    EXPECT_EQ(log, (Log{"root DOWN 33,3 v0", "b DOWN 3,3 v0"}));
}

TEST_F(Flat, PressMovesTheFocusAwayFromTheOldChainFirst) {
    send(root, EVT_DOWN, 32, 3);
    log.clear();
    send(root, EVT_DOWN, 2, 3);
    EXPECT_EQ(log, (Log{"root DOWN 2,3 v0", "b EXIT 0,0 v0", "a ENTER 0,0 v0", "root BLUR 0,0 v0",
                        "b BLUR 0,0 v0", "a FOCUS 0,0 v0", "root FOCUS 0,0 v0", "a DOWN 2,3 v23"}));
    EXPECT_EQ(b->style.focus, 0);
    EXPECT_EQ(b->style.state, STYLE_NONE);
}

TEST_F(Flat, PressOnAnUnfocusableChildLeavesTheFocusWhereItWas) {
    a->_focus();
    log.clear();
    EXPECT_EQ(send(root, EVT_DOWN, 10, 25), "c.down");
    EXPECT_EQ(log, (Log{"root DOWN 10,25 v0", "c ENTER 0,0 v0", "c DOWN 10,5 v0"}));
    EXPECT_EQ(root.focus, a);
}

TEST_F(Flat, PressAndReleaseOverTheSameChildClickAtTheReleasePosition) {
    send(root, EVT_DOWN, 5, 5);
    log.clear();
    EXPECT_EQ(send(root, EVT_UP, 6, 7), "a.click");
    EXPECT_EQ(log, (Log{"root UP 6,7 v0", "a UP 6,7 v0", "a CLICK 6,7 v0"}));
}

TEST_F(Flat, ReleaseOverAnotherChildOnlyReleasesTheFocusedOne) {
    send(root, EVT_DOWN, 5, 5);
    log.clear();
    EXPECT_EQ(send(root, EVT_UP, 35, 5), "a.up");
    EXPECT_EQ(log, (Log{"root UP 35,5 v0", "a EXIT 0,0 v0", "b ENTER 0,0 v0", "a UP 35,5 v0"}));
}

TEST_F(Flat, ButtonHeldMotionStaysCapturedUntilTheRelease) {
    send(root, EVT_DOWN, 5, 5);
    log.clear();
    EXPECT_EQ(send(root, EVT_MOTION, 35, 5, 0, 1), "a.move");
    EXPECT_EQ(log, (Log{"root MOTION 35,5 v0", "a MOTION 35,5 v0"}));
    EXPECT_EQ(root.hover, a);
    send(root, EVT_UP, 35, 5);
    EXPECT_EQ(root.hover, b);
}

TEST_F(Flat, PressOutsideEveryChildUnhoversButKeepsTheFocusAndNoClickFollows) {
    send(root, EVT_DOWN, 5, 5);
    log.clear();
    EXPECT_EQ(send(root, EVT_DOWN, 100, 50), "a.down");
    EXPECT_EQ(log, (Log{"root DOWN 100,50 v0", "a EXIT 0,0 v0", "a DOWN 100,50 v0"}));
    EXPECT_EQ(root.hover, nullptr);
    EXPECT_EQ(root.focus, a);
    log.clear();
    EXPECT_EQ(send(root, EVT_UP, 100, 50), "a.up");
    EXPECT_EQ(log, (Log{"root UP 100,50 v0", "a UP 100,50 v0"}));
}

TEST_F(Flat, SpaceOrReturnReleasedClicksTheFocusedChildAtItsCentreWithV7) {
    send(root, EVT_DOWN, 35, 5);
    for (int key : {KEY_SPACE, KEY_RETURN}) {
        log.clear();
        EXPECT_EQ(send(root, EVT_KEYUP, 0, 0, key), "b.click");
        EXPECT_EQ(log, (Log{"root KEYUP 0,0 v" + std::to_string(key), "b KEYUP -30,0 v" + std::to_string(key),
                            "b CLICK 10,5 v7"}));
    }
    log.clear();
    EXPECT_EQ(send(root, EVT_KEYUP, 0, 0, KEY_a), "none");
    EXPECT_EQ(log, (Log{"root KEYUP 0,0 v38", "b KEYUP -30,0 v38"}));
}

TEST_F(Flat, WheelGoesToTheHoveredChildElseTheFocusedOne) {
    send(root, EVT_MOTION, 5, 5);
    log.clear();
    send(root, EVT_WHEEL, 5, 5);
    EXPECT_EQ(log, (Log{"root WHEEL 5,5 v0", "a WHEEL 5,5 v0"}));
    b->_focus();
    send(root, EVT_MOTION, 200, 5);
    log.clear();
    send(root, EVT_WHEEL, 200, 5);
    EXPECT_EQ(log, (Log{"root WHEEL 200,5 v0", "b WHEEL 170,5 v0"}));
}

TEST_F(Flat, LaterOfTwoOverlappingChildrenGetsTheHoverThePressAndTheFocus) {
    RecWidget* d = place(&root, new RecWidget(&log, "d", 1), 10, 0, 20, 10);
    root.resize();
    log.clear();
    EXPECT_EQ(send(root, EVT_DOWN, 15, 5), "d.down");
    EXPECT_EQ(root.hover, d);
    EXPECT_EQ(root.focus, d);
}

TEST_F(Flat, IgnoredChildrenAreNeitherHoveredNorFocusedNorBroadcastTo) {
    a->ignore = 1;
    send(root, EVT_DOWN, 5, 5);
    EXPECT_EQ(root.hover, nullptr);
    EXPECT_EQ(root.focus, nullptr);
    log.clear();
    EXPECT_EQ(send(root, EVT_ORIENT, 7, 8), "none");
    EXPECT_EQ(log, (Log{"root ORIENT 7,8 v0", "c ORIENT 7,8 v0", "b ORIENT 7,8 v0"}));
}

TEST_F(Flat, OrientIsBroadcastLastToFirstUntranslatedAndDropsTheRootsOwnValue) {
    send(root, EVT_ORIENT, 7, 8);
    EXPECT_EQ(log, (Log{"root ORIENT 7,8 v0", "c ORIENT 7,8 v0", "b ORIENT 7,8 v0", "a ORIENT 7,8 v0"}));
}

TEST_F(Flat, ClickEnterAndFocusSentToARootStayThere) {
    root.onclick = var("root.click");
    send(root, EVT_DOWN, 5, 5);
    log.clear();
    EXPECT_EQ(send(root, EVT_CLICK, 5, 5), "root.click");
    EXPECT_EQ(send(root, EVT_ENTER), "root.enter");
    EXPECT_EQ(send(root, EVT_FOCUS), "root.focus");
    EXPECT_EQ(log, (Log{"root CLICK 5,5 v0", "root ENTER 0,0 v0", "root FOCUS 0,0 v0"}));
}

TEST_F(Flat, ExitAtTheRootClearsTheHoverChainAndMergesTheExitValues) {
    send(root, EVT_MOTION, 5, 5);
    log.clear();
    EXPECT_EQ(send(root, EVT_EXIT), "a.exit");
    EXPECT_EQ(log, (Log{"root EXIT 0,0 v0", "a EXIT 0,0 v0"}));
    EXPECT_EQ(root.hover, nullptr);
    EXPECT_EQ(a->style.hover, 0);
}

TEST_F(Flat, BlurAtTheRootClearsTheFocusChainAndYieldsNone) {
    send(root, EVT_DOWN, 5, 5);
    log.clear();
    EXPECT_EQ(send(root, EVT_BLUR), "none");
    EXPECT_EQ(log, (Log{"root BLUR 0,0 v0", "a BLUR 0,0 v0"}));
    EXPECT_EQ(root.focus, nullptr);
    EXPECT_EQ(a->style.focus, 0);
}

TEST_F(Flat, TabFocusesNextAndDropsThatValue) {
    a->next = b;
    a->_focus();
    log.clear();
    EXPECT_EQ(send(root, EVT_KEYDOWN, 0, 0, KEY_TAB), "none");
    EXPECT_EQ(log, (Log{"root KEYDOWN 0,0 v26", "a KEYDOWN 0,0 v26", "root BLUR 0,0 v0", "a BLUR 0,0 v0",
                        "b FOCUS 0,0 v0", "root FOCUS 0,0 v0"}));
    EXPECT_EQ(root.focus, b);
    // Without a next, Tab changes nothing.
    log.clear();
    send(root, EVT_KEYDOWN, 0, 0, KEY_TAB);
    EXPECT_EQ(root.focus, b);
}

TEST_F(Flat, FocusAndHoverMovesAreNoneWhenTheFlagIsAlreadySet) {
    EXPECT_EQ(str(a->active()), "root.focus");
    log.clear();
    EXPECT_EQ(str(a->_focus()), "none");
    EXPECT_EQ(str(a->_hover()), "none");
    EXPECT_TRUE(log.empty());
}

TEST_F(Flat, TheBoxModelMovesEventsIntoTheContentBox) {
    b->style.set_margin(1, STYLE_UNSET, STYLE_UNSET, STYLE_UNSET);
    b->style.set_border(2, STYLE_UNSET, STYLE_UNSET, STYLE_UNSET);
    b->style.set_padding(3, STYLE_UNSET, STYLE_UNSET, 4);
    root.resize();
    EXPECT_EQ(b->_rect.w, 20 + 1 + 2 + 3 + 1 + 2 + 4);
    log.clear();
    send(root, EVT_MOTION, 30, 0);
    EXPECT_EQ(log.back(), "b MOTION -7,-6 v0");
}

// ------ Nested containers ------

namespace {

// root > t (10,10) > box (5,5) > input (2,2 20x10, focusable)
class Nested : public ::testing::Test {
protected:
    void SetUp() override {
        t = place(&root, new RecContainer(&log, "t"), 10, 10, 0, 0);
        box = place(t, new RecContainer(&log, "box"), 5, 5, 0, 0);
        input = place(box, new RecWidget(&log, "input", 1), 2, 2, 20, 10);
        root.resize();
        log.clear();
    }
    void TearDown() override { EXPECT_TRUE(chains_consistent(&root)); }

    Log log;
    RecContainer root{&log, "root"};
    RecContainer *t, *box;
    RecWidget* input;
};

} // namespace

TEST_F(Nested, PressReachesTheInputInItsOwnCoordinatesAfterFocusingTheWholeChain) {
    EXPECT_EQ(send(root, EVT_DOWN, 20, 20), "input.down");
    EXPECT_EQ(log, (Log{"root DOWN 20,20 v0", "t ENTER 0,0 v0", "t DOWN 10,10 v0", "box ENTER 0,0 v0",
                        "box DOWN 5,5 v0", "input ENTER 0,0 v0", "root BLUR 0,0 v0", "input FOCUS 0,0 v0",
                        "box FOCUS 0,0 v0", "t FOCUS 0,0 v0", "root FOCUS 0,0 v0", "input DOWN 3,3 v23"}));
    EXPECT_EQ(root.focus, t);
    EXPECT_EQ(t->focus, box);
    EXPECT_EQ(box->focus, input);
    EXPECT_TRUE(input->_is_focus());
    EXPECT_FALSE(box->_is_focus());
    EXPECT_EQ(root.find_hover(), input);
}

TEST_F(Nested, ReleaseClicksAtEveryLevelAndTheTablesClickWins) {
    send(root, EVT_DOWN, 20, 20);
    log.clear();
    EXPECT_EQ(send(root, EVT_UP, 21, 22), "t.click");
    EXPECT_EQ(log, (Log{"root UP 21,22 v0", "t UP 11,12 v0", "box UP 6,7 v0", "input UP 4,5 v0",
                        "input CLICK 4,5 v0", "box CLICK 6,7 v0", "t CLICK 11,12 v0"}));
    // Without the outer clicks the input's click is the last non-none value.
    t->onclick = var();
    box->onclick = var();
    EXPECT_EQ(send(root, EVT_UP, 21, 22), "input.click");
    input->onclick = var();
    EXPECT_EQ(send(root, EVT_UP, 21, 22), "input.up");
}

TEST_F(Nested, ExitAtTheRootRunsDownTheWholeHoverChain) {
    send(root, EVT_MOTION, 20, 20);
    log.clear();
    EXPECT_EQ(send(root, EVT_EXIT), "input.exit");
    EXPECT_EQ(log, (Log{"root EXIT 0,0 v0", "t EXIT 0,0 v0", "box EXIT 0,0 v0", "input EXIT 0,0 v0"}));
    EXPECT_EQ(root.find_hover(), nullptr);
}

// A release routed to a focused container that another sibling covers
// hovers inside it; a later hover move must still clear that widget.
TEST_F(Nested, HoverInsideAFocusedButCoveredContainerIsClearedByTheNextMove) {
    RecWidget* cover = place(&root, new RecWidget(&log, "cover", 0), 0, 0, 100, 100);
    RecWidget* other = place(box, new RecWidget(&log, "other", 1), 40, 2, 10, 10);
    root.resize();
    input->_focus();
    send(root, EVT_UP, 20, 20); // root hovers cover; box, reached by focus, hovers input
    EXPECT_EQ(root.hover, cover);
    EXPECT_EQ(box->hover, input);
    log.clear();
    other->_hover();
    EXPECT_EQ(input->style.hover, 0);
    EXPECT_EQ(box->hover, other);
    EXPECT_EQ(log, (Log{"root EXIT 0,0 v0", "cover EXIT 0,0 v0", "other ENTER 0,0 v0", "input EXIT 0,0 v0",
                        "box ENTER 0,0 v0", "t ENTER 0,0 v0", "root ENTER 0,0 v0"}));
}

TEST_F(Nested, ScrollOffsetsOfAncestorsMoveTheScreenBox) {
    box->style.set_padding(3, STYLE_UNSET, STYLE_UNSET, STYLE_UNSET);
    root.resize();
    t->view = MyRect(1.5f, 0.5f, 0, 0);
    MyRect content = input->get_abs_rect(false);
    // x: 10 + 5 + 3 (box padding) + 2, minus the scroll 1.5 truncated at its step
    EXPECT_EQ(content.x, 18);
    EXPECT_EQ(content.y, 19);
    EXPECT_EQ(content.w, 20);
    MyRect outer = box->get_abs_rect(true);
    EXPECT_EQ(outer.x, 13);
    EXPECT_EQ(outer.w, box->_rect.w);
}

// The scratch notifications are locals: a focus move made while routing
// another focus move's notifications must not clobber the outer event.
TEST_F(Nested, FocusMovesReenteringRoutingKeepTheirOwnEvents) {
    RecWidget* second = place(box, new RecWidget(&log, "second", 1), 30, 2, 10, 10);
    root.resize();
    input->next = second;
    send(root, EVT_DOWN, 20, 20);
    log.clear();
    send(root, EVT_KEYDOWN, 0, 0, KEY_TAB);
    EXPECT_EQ(box->focus, second);
    EXPECT_EQ(log.back(), "root FOCUS 0,0 v0");
}
