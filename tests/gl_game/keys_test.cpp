// Keys and buttons as a game sees them, through the real program under Xvfb
// with real X input: the chords, keys held while Ctrl+F re-creates the
// window, releases that come while a script error stops the hooks, and
// closing the window.  Each press reaches the script with one release.
//
// Waits are bounded by progress: the test sends a later key and waits for
// it, since the program reads input in order.
#include "game_run.h"

using namespace e2e;

namespace {

// Prints every event but pointer motion and the ones without a name.  While
// the file "hold" is in the working directory, _loop waits, so input sent
// meanwhile is read in one frame.
const char* EVENT_PRINTER = R"(
    local function held() local f = io.open("hold") if f then f:close() end return f ~= nil end
    function _loop() if held() then print("holding") repeat until not held() end end
    function _paint() if not shown then shown = true print("shown") end end
    function _event(e)
        if e.type ~= "mousemotion" and e.type ~= "motion" and e.type ~= "?" then
            print("event " .. e.type .. " " .. (e.name or ""))
        end
    end)";

// The program running EVENT_PRINTER, its window found and painted.
class EventsPrinted : public ::testing::Test {
protected:
    GameRun run;
    XDisplay x;
    Window w = 0;

    void SetUp() override {
        run.put("main.lua", EVENT_PRINTER);
        run.start();
        w = x.find(run.pid());
        ASSERT_NE(w, 0u) << run.err();
        ASSERT_TRUE(run.wait_line("ModsAPI: shown"));
    }
    // How many times the script printed `text`.
    int times(const std::string& text) { return count_lines(run.out(), "ModsAPI: " + text); }
};

TEST_F(EventsPrinted, CtrlQSuspendsAndQuitsWithoutTheQKey) {
    // The whole chord, Q's release included, is read in the last frame.
    write_file(run.dir / "work/hold", "");
    ASSERT_TRUE(run.wait_line("ModsAPI: holding"));
    ASSERT_TRUE(xdotool(w, "key ctrl+q"));
    std::filesystem::remove(run.dir / "work/hold");
    EXPECT_EQ(run.wait_exit(), 0);
    EXPECT_EQ(times("event suspend"), 1) << run.out();
    EXPECT_EQ(times("event keydown Q") + times("event keyup Q"), 0) << "nor Q's release:\n" << run.out();
}

// Held past the X server's auto-repeat delay (660 ms), F repeats through the
// new window; held shorter, only its release is seen there.  Either way the
// chord switches once and the next press switches back.
TEST_F(EventsPrinted, HeldCtrlFSwitchesOnceAndTheNextPressSwitchesBack) {
    for (std::string seconds : {"0.2", "1.5"}) {
        SCOPED_TRACE(seconds);
        int resets = times("event reset"), downs = times("event keydown F"), ups = times("event keyup F");
        ASSERT_TRUE(xdotool(x.find(run.pid()), "keydown ctrl+f sleep " + seconds + " keyup ctrl+f"));
        ASSERT_TRUE(run.wait_line("ModsAPI: event keyup F", 10, ups + 1)) << run.out();
        if (seconds == "1.5") {
            EXPECT_GT(times("event keydown F") - downs, 3) << "the repeats reach the script";
        }
        ASSERT_TRUE(xdotool(x.find(run.pid()), "key ctrl+f"));
        ASSERT_TRUE(run.wait_line("ModsAPI: event keyup F", 10, ups + 2)) << run.out();
        EXPECT_EQ(times("event reset"), resets + 2) << run.out();
        EXPECT_EQ(times("event keyup F"), ups + 2) << "one release per press";
    }
    std::vector<std::string> switches; // the full-screen flag of each window set-up
    for (const std::string& line : lines_of(run.out())) {
        if (line.find("init_video: 0 0 640 480 320 320 ") != std::string::npos) {
            switches.push_back(line.substr(line.size() - 1));
        }
    }
    EXPECT_EQ(switches, (std::vector<std::string>{"0", "1", "0", "1", "0"}));
}

// Right and Ctrl are carried through one rebuild and through the next.
// Space, which has another name for X than for SDL, is pressed in the frame
// of the first Ctrl+F, before SDL lets go of it.  SDL lets go of keys at a
// rebuild only while it has the keyboard focus, which it takes a moment
// after the new window is focused, pressing the held Ctrl again; A is
// pressed in that moment, just before SDL's own press of Ctrl.
TEST_F(EventsPrinted, KeysHeldThroughCtrlFStayHeldUntilLetGo) {
    write_file(run.dir / "work/hold", "");
    ASSERT_TRUE(run.wait_line("ModsAPI: holding"));
    ASSERT_TRUE(xdotool(w, "keydown Right keydown ctrl key f keydown space"));
    std::filesystem::remove(run.dir / "work/hold");
    for (int rebuilds = 1; rebuilds <= 2; rebuilds++) {
        SCOPED_TRACE(std::to_string(rebuilds) + " rebuilds");
        if (rebuilds > 1) ASSERT_TRUE(xdotool(x.find(run.pid()), "key f"));
        ASSERT_TRUE(run.wait_line("ModsAPI: event reset", 10, rebuilds));
        int ctrl = times("event keydown Left Ctrl");
        ASSERT_TRUE(xdotool(x.find(run.pid()), ""));
        write_file(run.dir / "work/hold", "");
        ASSERT_TRUE(run.wait_line("ModsAPI: holding", 10, rebuilds + 1));
        ASSERT_TRUE(xdotool(x.find(run.pid()), "sleep 0.3 keydown a"));
        std::filesystem::remove(run.dir / "work/hold");
        ASSERT_TRUE(run.wait_line("ModsAPI: event keydown Left Ctrl", 10, ctrl + 1)) << run.out();
        ASSERT_TRUE(xdotool(x.find(run.pid()), "keyup a"));
        ASSERT_TRUE(run.wait_line("ModsAPI: event keyup A", 10, rebuilds));
        EXPECT_EQ(times("event keyup Right") + times("event keyup Space") + times("event keyup Left Ctrl"), 0)
            << run.out();
    }
    ASSERT_TRUE(xdotool(x.find(run.pid()), "keyup Right keyup space keyup ctrl key b"));
    ASSERT_TRUE(run.wait_line("ModsAPI: event keyup B"));
    EXPECT_EQ(times("event keyup Right"), 1) << run.out();
    EXPECT_EQ(times("event keyup Space"), 1) << run.out();
}

TEST_F(EventsPrinted, ClosingTheWindowEndsTheProgram) {
    x.close(w);
    EXPECT_EQ(run.wait_exit(), 0);
    EXPECT_EQ(times("event quit"), 0) << "the scripts never see the quit";
}

// A game that tracks keys from _event; _loop says whether Right is held
// whenever that changes, and once after E is released.  Releasing E breaks
// it: _loop fails until `broken` is cleared.
const char* KEY_TRACKER = R"(
    held = held or {}
    function _event(e)
        if e.type:find("motion") or e.type == "?" then return end
        print("event " .. e.type .. " " .. (e.name or e.button))
        if e.type == "keydown" then held[e.name] = true elseif e.type == "keyup" then held[e.name] = nil end
        if e.type == "keyup" and e.name == "E" then broken, said = true, nil end
    end
    function _loop()
        if broken then error("broken") end
        local right = held.Right and "held" or "up"
        if right ~= said then said = right print("loop: Right " .. right) end
    end
    function _paint() if not shown then shown = true print("shown") end end
)";

// Right and the left button held when the script fails, let go while it is
// stopped; Space pressed and let go meanwhile.  Once mended, by a reload or
// a console line, the script gets the two releases before anything else,
// in order, and nothing of Space.
TEST(GameRun, ReleasesMissedWhileAScriptIsStoppedComeFirstOnceMended) {
    struct Mend {
        bool reload;
        std::vector<std::string> first; // what the script says first after it failed
    };
    const std::vector<std::string> ups = {"event keyup Right", "event mouseup 1", "event up 1"};
    for (const Mend& mend : {Mend{true, {"loop: Right up"}}, Mend{false, {"event keydown Return"}}}) {
        SCOPED_TRACE(mend.reload ? "reload" : "console line");
        GameRun run;
        XDisplay x;
        run.put("main.lua", KEY_TRACKER);
        run.start();
        Window w = x.find(run.pid());
        ASSERT_NE(w, 0u) << run.err();
        ASSERT_TRUE(run.wait_line("ModsAPI: shown"));
        std::string id = std::to_string(w);
        ASSERT_TRUE(xdotool(w, "mousemove --window " + id + " 100 100 keydown Right mousedown 1 key e"));
        ASSERT_TRUE(run.wait_line("Lua error")) << run.out();
        ASSERT_TRUE(xdotool(w, "keyup Right mouseup 1 key space"));
        ASSERT_TRUE(run.wait_line("text: ' '")) << "Space was read, and so everything before it";
        int right_up = count_lines(run.out(), "ModsAPI: loop: Right up");
        if (mend.reload) {
            run.put("main.lua", std::string(KEY_TRACKER) + "broken = false\n", 10);
        } else {
            ASSERT_TRUE(xdotool(w, "key F1 type 'broken = false'"));
            ASSERT_TRUE(xdotool(w, "key Return"));
        }
        ASSERT_TRUE(run.wait_line("ModsAPI: loop: Right up", 10, right_up + 1)) << run.out();

        std::vector<std::string> said = printed(run.out());
        auto failed = std::find(said.begin(), said.end(), "event keyup E");
        ASSERT_NE(failed, said.end());
        std::vector<std::string> after;
        for (auto it = failed + 1; it != said.end(); ++it)
            if (it->rfind("event ", 0) == 0 || it->rfind("loop: ", 0) == 0) after.push_back(*it);
        std::vector<std::string> want = ups;
        want.insert(want.end(), mend.first.begin(), mend.first.end());
        ASSERT_GE(after.size(), want.size()) << run.out();
        EXPECT_EQ(std::vector<std::string>(after.begin(), after.begin() + want.size()), want);
        auto space = [](const std::string& s) { return s.find("Space") != std::string::npos; };
        EXPECT_EQ(std::count_if(after.begin(), after.end(), space), 0) << "Space came and went while stopped";
    }
}

} // namespace
