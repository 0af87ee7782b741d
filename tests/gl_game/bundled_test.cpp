// The game that comes with the runtime: played as the README starts it, and
// its best score kept as a document and found again at the next start.
#include <cmath>

#include "game_run.h"

using namespace e2e;

namespace {

using Shot = XDisplay::Shot;

// The game's 320 x 240 view in the window: scaled to fit, centred.  Samples
// are taken at the centres of view pixels.
struct View {
    float scale, left, top;
    View(int ww, int wh)
        : scale(std::fmin(ww / 320.0f, wh / 240.0f)), left(ww / 2.0f - 160 * scale), top(wh / 2.0f - 120 * scale) {}
    int x(float vx) const { return (int)(left + vx * scale); }
    int y(float vy) const { return (int)(top + vy * scale); }
    unsigned at(const Shot& s, int vx, int vy) const { return s.rgb(x(vx + 0.5f), y(vy + 0.5f)); }

    // How many view pixels of the rectangle show `colour`.
    int ink(const Shot& s, int x0, int y0, int x1, int y1, unsigned colour) const {
        int n = 0;
        for (int vy = y0; vy < y1; vy++) {
            for (int vx = x0; vx < x1; vx++) n += rgb_near(at(s, vx, vy), colour, 3);
        }
        return n;
    }
};

// Where the game draws (main.lua): the big title line, the lives, and the
// ship's widest row with its body colour, plain and under the red hit tint.
const int TITLE[4] = {40, 70, 280, 102};
const int HEARTS[4] = {280, 6, 316, 12};
const int SHIP_ROW = 221;
const unsigned YELLOW = 0xffe066, GAME_OVER_RED = 0xff8080, HEART_RED = 0xe8344e;
const unsigned SHIP_BODY = 0x5d7bb5, SHIP_BODY_HIT = 0x5d2e44;

int title_ink(const View& v, const Shot& s, unsigned colour) {
    return v.ink(s, TITLE[0], TITLE[1], TITLE[2], TITLE[3], colour);
}
int heart_ink(const View& v, const Shot& s) { return v.ink(s, HEARTS[0], HEARTS[1], HEARTS[2], HEARTS[3], HEART_RED); }

// The ship's centre in view units, from its body row; -1 when not seen.
float ship_x(const View& v, const Shot& s) {
    float sum = 0;
    int n = 0;
    for (int vx = 0; vx < 320; vx++) {
        unsigned c = v.at(s, vx, SHIP_ROW);
        if (rgb_near(c, SHIP_BODY, 3) || rgb_near(c, SHIP_BODY_HIT, 3)) {
            sum += vx + 0.5f;
            n++;
        }
    }
    return n ? sum / n : -1;
}

// A rock: grey, at least four view pixels in a row (a star is one pixel).
bool rocky(unsigned c) {
    int r = (int)(c >> 16 & 255), g = (int)(c >> 8 & 255), b = (int)(c & 255);
    return std::abs(r - g) <= 16 && std::abs(g - b) <= 16 && std::abs(r - b) <= 16 && std::max({r, g, b}) >= 0x28;
}

// The x of the lowest rock above the ship, or -1.
float lowest_rock(const View& v, const Shot& s) {
    for (int vy = 212; vy >= 20; vy -= 2) {
        int run = 0;
        for (int vx = 0; vx < 320; vx++) {
            run = rocky(v.at(s, vx, vy)) ? run + 1 : 0;
            if (run == 4) return vx;
        }
    }
    return -1;
}

// Waits are bounded by the program's progress (while_running), not by the
// clock.
TEST(BundledGame, PlaysAsTheReadmeStartsIt) {
    GameRun run;
    // tools/run.sh starts the program in the build directory, beside data/.
    std::filesystem::path exe_dir = std::filesystem::path(ZOV_GAME_EXE).parent_path();
    ASSERT_TRUE(std::filesystem::equivalent(exe_dir / "../data", ZOV_GAME_DATA)) << exe_dir;
    run.workdir = exe_dir;
    XDisplay x;
    ASSERT_TRUE(x.d);
    // The pointer rests where the window opens, right of its middle.
    x.point(DefaultRootWindow(x.d), DisplayWidth(x.d, 0) * 7 / 10, DisplayHeight(x.d, 0) / 2);
    run.start();
    Window w = x.find(run.pid());
    ASSERT_NE(w, 0u) << run.err();
    int ww, wh;
    x.size(w, &ww, &wh);
    View v(ww, wh);
    auto shows = [&](auto what) { return while_running(run.pid(), [&] { return what(*x.shot(w)); }); };

    ASSERT_TRUE(shows([&](const Shot& s) { return title_ink(v, s, YELLOW) > 100; }))
        << "the title is on screen, not the bare sky\n" << run.out();

    ASSERT_TRUE(xdotool(w, "click 1"));
    ASSERT_TRUE(shows([&](const Shot& s) { return title_ink(v, s, YELLOW) == 0; })) << "a click starts a round";
    // A rock on screen: the round has run long enough to take the ship to
    // the edge, had the resting pointer moved it.
    ASSERT_TRUE(shows([&](const Shot& s) { return lowest_rock(v, s) >= 0; }));
    EXPECT_NEAR(ship_x(v, *x.shot(w)), 160, 2) << "the pointer at rest leaves the ship in the middle";
    // At 170 view units a second the ship crosses the view in under 2 s.
    auto ship_at = [&](float at) { return shows([&](const Shot& s) { return std::fabs(ship_x(v, s) - at) <= 2; }); };
    ASSERT_TRUE(xdotool(w, "keydown Left sleep 1.5 keyup Left"));
    EXPECT_TRUE(ship_at(8)) << "Left moves the ship to the left edge, not to " << ship_x(v, *x.shot(w));
    ASSERT_TRUE(xdotool(w, "keydown Right sleep 2.5 keyup Right"));
    EXPECT_TRUE(ship_at(312)) << "Right moves it to the right edge, not to " << ship_x(v, *x.shot(w));

    // Lose the round: steer the ship with the mouse under the lowest rock.
    bool over = while_running(run.pid(), [&] {
        auto s = x.shot(w);
        if (title_ink(v, *s, GAME_OVER_RED) > 100) return true;
        float rock = lowest_rock(v, *s);
        if (rock >= 0) x.point(w, v.x(rock), v.y(200));
        return false;
    }, 60);
    ASSERT_TRUE(over) << "three rocks end the round\n" << run.out();
    auto s = x.shot(w);
    EXPECT_EQ(heart_ink(v, *s), 0) << "no lives left";
    EXPECT_GT(v.ink(*s, 0, SHIP_ROW, 320, SHIP_ROW + 1, SHIP_BODY), 3) << "the ship is shown";
    EXPECT_EQ(v.ink(*s, 0, SHIP_ROW, 320, SHIP_ROW + 1, SHIP_BODY_HIT), 0) << "without the hit tint";

    // The pointer moves off the ship and rests; a key takes over from it.
    // Full screen: the new window opens under the resting pointer too.
    float end_x = ship_x(v, *s);
    x.point(w, v.x(end_x < 160 ? 300 : 20), v.y(200));
    ASSERT_TRUE(xdotool(w, "key Left key ctrl+f"));
    Window windowed = w;
    ASSERT_TRUE(while_running(run.pid(), [&] { return (w = x.find(run.pid())) != windowed; }));
    x.size(w, &ww, &wh);
    v = View(ww, wh);
    ASSERT_TRUE(xdotool(w, "key space"));
    EXPECT_TRUE(shows([&](const Shot& now) { return title_ink(v, now, GAME_OVER_RED) == 0 && heart_ink(v, now) > 10; }))
        << "Space starts another round with three lives";
    ASSERT_TRUE(shows([&](const Shot& s) { return lowest_rock(v, s) >= 0; }));
    EXPECT_NEAR(ship_x(v, *x.shot(w)), end_x, 2) << "the pointer at rest leaves the ship where it was";

    ASSERT_TRUE(xdotool(w, "key ctrl+q"));
    ASSERT_TRUE(while_running(run.pid(), [&] { return !Progress(run.pid()).alive; }));
    EXPECT_EQ(run.wait_exit(), 0);
    std::string log = run.out() + run.err();
    EXPECT_EQ(count_lines(log, "Lua error"), 0) << log;
    EXPECT_EQ(count_lines(log, "tovmar2:"), 0) << log;
}

TEST(BundledGame, KeepsItsBestScoreAcrossStarts) {
    GameRun run;
    run.copy_bundled();
    run.start({"-demo", "4"}); // flies itself for 4 s, then ends
    ASSERT_EQ(run.wait_exit(20), 0) << run.err();
    std::string out = run.out();
    EXPECT_EQ(count_lines(out, "ModsAPI: best score: 0"), 1) << out;
    EXPECT_EQ(count_lines(out, "Lua error"), 0) << out;
    std::vector<std::string> said = printed(out);
    int at = line_index(said, "new best score: ");
    ASSERT_GE(at, 0) << out;
    std::string best = said[at].substr(std::string("new best score: ").size());
    EXPECT_GT(std::stoi(best), 0);
    EXPECT_EQ(read_file(run.home() + "/.starcatch/best.txt"), best);

    run.start({"-demo", "1"});
    ASSERT_EQ(run.wait_exit(20), 0) << run.err();
    EXPECT_EQ(count_lines(run.out(), "ModsAPI: best score: " + best), 1) << run.out();
}

TEST(BundledGame, SaysSoWhenTheBestScoreCannotBeKeptAndPlaysOn) {
    GameRun run;
    run.copy_bundled();
    write_file(run.home() + "/.starcatch", ""); // a file where its documents directory should be
    run.start({"-demo", "4"});
    ASSERT_EQ(run.wait_exit(20), 0) << run.err();
    std::string out = run.out();
    EXPECT_EQ(count_lines(out, "Lua error"), 0) << out;
    std::vector<std::string> said = printed(out);
    EXPECT_GE(line_index(said, "the best score could not be kept: best.txt: Not a directory"), 0) << out;
    EXPECT_GE(line_index(said, "new best score: "), 0) << out;
}

} // namespace
