// Arrow-key navigation over a 3x3 grid of focusable widgets, with ties.
#include "gui_support.h"

#include "support/capture.h"

using namespace gui_test;

namespace {

// Cells of 20x20 at 30-unit steps: cell (col, row) is named "cR C" and
// added in row-major order, so pre-order is row-major.
class Grid : public ::testing::Test {
protected:
    void SetUp() override {
        for (int row = 0; row < 3; row++)
            for (int col = 0; col < 3; col++)
                cell[row][col] = place(&root, new RecWidget(nullptr, name(col, row), 1), col * 30, row * 30, 20, 20);
        root.resize();
    }
    void TearDown() override { EXPECT_TRUE(chains_consistent(&root)); }

    static std::string name(int col, int row) { return "c" + std::to_string(row) + std::to_string(col); }
    // The focused leaf's name after an arrow key sent to the root.
    std::string press(int key) {
        Captured c = capture([&] { send(root, EVT_KEYDOWN, 0, 0, key); });
        last_err = c.err;
        Widget* f = root.focus;
        return f ? f->name : "none";
    }

    Container root;
    RecWidget* cell[3][3];
    std::string last_err;
};

} // namespace

TEST_F(Grid, EveryCellMovesToItsNeighbourOrStaysAtTheBorder) {
    struct Dir {
        int key, dx, dy;
    } dirs[] = {{KEY_UP, 0, -1}, {KEY_RIGHT, 1, 0}, {KEY_DOWN, 0, 1}, {KEY_LEFT, -1, 0}};
    for (int row = 0; row < 3; row++) {
        for (int col = 0; col < 3; col++) {
            for (const Dir& d : dirs) {
                cell[row][col]->_focus();
                int c = col + d.dx, r = row + d.dy;
                bool inside = c >= 0 && c < 3 && r >= 0 && r < 3;
                EXPECT_EQ(press(d.key), inside ? name(c, r) : name(col, row))
                    << "from " << name(col, row) << " key " << d.key;
            }
        }
    }
}

TEST_F(Grid, NavigationAlsoHoversTheTargetAndReturnsItsMergedValue) {
    cell[1][1]->_focus();
    Event e = ev(EVT_KEYDOWN, 0, 0, KEY_RIGHT);
    std::string value;
    capture([&] { value = str(root.event(&e)); });
    EXPECT_EQ(value, "c12.focus");
    EXPECT_EQ(root.hover, cell[1][2]);
}

TEST_F(Grid, EqualTruncatedDistancesGoToTheEarlierWidgetInPreOrder) {
    cell[1][1]->_focus();
    cell[1][2]->ignore = 1; // c02 and c22 are now equally far to the right
    EXPECT_EQ(press(KEY_RIGHT), "c02");
    cell[1][1]->_focus();
    cell[2][2]->_rect.x = 53; // truly nearer (60.07 against 60.83), the same whole distance
    EXPECT_EQ(press(KEY_RIGHT), "c02");
    cell[1][1]->_focus();
    cell[0][2]->_rect.y = -2; // now truly farther
    EXPECT_EQ(press(KEY_RIGHT), "c22");
}

TEST_F(Grid, ACandidateCentredOnTheSameLineAcrossTheMoveIsNeverChosen) {
    cell[0][1]->_focus();
    for (int col = 0; col < 3; col++) cell[1][col]->ignore = cell[2][col]->ignore = 1;
    cell[0][0]->_rect.y = 0.4f; // centre y still truncates to the same 10
    EXPECT_EQ(press(KEY_DOWN), "c01");
    EXPECT_EQ(last_err, "res.size: 0\n");
}

TEST_F(Grid, CandidatesAreCountedOnStandardError) {
    cell[1][1]->_focus();
    EXPECT_EQ(press(KEY_UP), "c01");
    EXPECT_EQ(last_err, "res.size: 3\n");
}

TEST_F(Grid, OnlyTheDeepestFocusedUsefulWidgetNavigates) {
    cell[1][1]->_focus();
    cell[1][1]->useful = 0;
    EXPECT_EQ(press(KEY_RIGHT), "c11");
    EXPECT_EQ(last_err, "") << "no search is made";
    EXPECT_EQ(str(root._nav(1, 0)), "none") << "a container with a focused child";
}

TEST_F(Grid, DistancesFarBeyondTheOldPackedKeyStillOrder) {
    cell[1][1]->_focus();
    cell[1][2]->_rect.x = 100000;  // distance ~100000, well past 32767
    cell[0][2]->_rect.x = 1.0e9f;  // huge
    cell[2][2]->_rect.x = 70000;
    EXPECT_EQ(press(KEY_RIGHT), "c22");
}

TEST(GuiNavigation, LargeTreesStillPreferTheNearestWidget) {
    // More than 65535 widgets: a packed distance*65536+index key would
    // overflow and let a far early widget beat a near late one.
    Container root;
    Widget* start = place(&root, new Widget, 0, 0, 10, 10);
    start->useful = 1;
    place(&root, new Widget, 21, 0, 10, 10)->useful = 1; // one unit farther, early
    for (int i = 0; i < 70000; i++) place(&root, new Widget, 0, 0, 1, 1); // not useful
    Widget* near = place(&root, new Widget, 20, 0, 10, 10); // late
    near->useful = 1;
    root.resize();
    start->_focus();
    capture([&] { start->_nav(1, 0); });
    EXPECT_EQ(root.focus, near);
}
