// The real program under Xvfb: start-up, the hooks, a failing script, hot
// reload, real clicks, frame rate, and the refusals at start.
#include <cmath>

#include "game_run.h"

using namespace e2e;

namespace {

TEST(GameRun, StartsInOrderAndRunsTheHooks) {
    GameRun run;
    // No _event here: the default from api.lua takes every event.
    run.put("main.lua", R"(
        print("main runs")
        function _init() print("init") end
        function _loop(dt)
            loops = (loops or 0) + 1
            if loops <= 2 then print("loop " .. dt) end
            if loops == 3 then zov_ext_call("exit") end
        end
        function _paint()
            paints = (paints or 0) + 1
            if paints == 1 then print("paint") end
        end)");
    run.start();
    ASSERT_EQ(run.wait_exit(), 0) << run.err();

    std::vector<std::string> lines = lines_of(run.out());
    const char* order[] = {"SDL Runtime Version", "_mixer: audio_init: OK", "init_video: 0 0 640 480 320 320 0",
                           "mods_reload: ../data/main.lua", "ModsAPI::require: ../data/main.lua",
                           "ModsAPI: main runs", "ModsAPI: init", "ModsAPI: loop 0", "ModsAPI: paint",
                           "ModsAPI: loop 0.0", "_mixer: audio_deinit: OK"};
    int prev = -1;
    for (const char* needle : order) {
        int at = line_index(lines, needle);
        EXPECT_GT(at, prev) << "\"" << needle << "\" missing or out of order in:\n" << run.out();
        prev = at;
    }
    std::vector<std::string> said = printed(run.out());
    ASSERT_GE(said.size(), 3u);
    EXPECT_EQ(said[2], "loop 0") << "the first update gets exactly 0";
    EXPECT_EQ(count_lines(run.out(), "Lua error"), 0) << run.out();
}

TEST(GameRun, FailingLoopKeepsTheLastGoodFrameOnScreen) {
    GameRun run;
    run.put("white.tga", tga(4, 4, 0xffffff));
    // Frame 29 paints green, those before it blue; frame 30's update fails.
    run.put("main.lua", R"(
        frames = 0
        function _loop(dt)
            frames = frames + 1
            if frames == 30 then error("boom") end
        end
        function _paint()
            zov_view_set(0, 0, 320, 240)
            zov_image_draw("white", 0, 0, 320, 240, 0, 0, 0, frames == 29 and 0x00ff00 or 0x0000ff)
        end)");
    run.start();
    XDisplay x;
    ASSERT_TRUE(x.d);
    Window w = x.find(run.pid());
    ASSERT_NE(w, 0u) << run.err();
    ASSERT_TRUE(run.wait_line("Lua error")) << run.out();
    std::this_thread::sleep_for(std::chrono::milliseconds(500)); // some 30 frames more

    int ww, wh;
    x.size(w, &ww, &wh);
    unsigned centre = x.pixel(w, ww / 2, wh / 2), corner = x.pixel(w, 2, 2);
    EXPECT_TRUE(rgb_near(centre, 0x00ff00)) << "the view shows the last good frame, not " << std::hex << centre;
    EXPECT_EQ(corner, 0x000000u) << "each frame is cleared and drawn again";
    EXPECT_EQ(count_lines(run.out(), "Lua error"), 1) << run.out();
    EXPECT_EQ(count_lines(run.out(), "boom"), 1) << run.out();

    x.close(w);
    EXPECT_EQ(run.wait_exit(), 0);
}

TEST(GameRun, ChangedMainScriptIsReloadedOnceKeepingGlobals) {
    GameRun run;
    auto script = [](const char* version) {
        return std::string("runs = (runs or 0) + 1\nprint(\"run ") + version +
               " \" .. runs)\nfunction _init() print(\"init\") end\n";
    };
    run.put("main.lua", script("v1"));
    run.start();
    ASSERT_TRUE(run.wait_line("ModsAPI: init")) << run.out() << run.err();

    // A change whose time is already 3 s old: due at the next check.
    run.put("main.lua", script("v2"), 3);
    ASSERT_TRUE(run.wait_line("ModsAPI: run v2 2", 5)) << "globals survive the reload:\n" << run.out();
    std::this_thread::sleep_for(std::chrono::milliseconds(2500)); // two more checks
    EXPECT_EQ(count_lines(run.out(), "reload..."), 1) << run.out();
    EXPECT_EQ(count_lines(run.out(), "mods_reload: "), 2) << run.out();
    EXPECT_EQ(count_lines(run.out(), "ModsAPI: init"), 1) << "a reload does not call _init again";

    XDisplay x;
    x.close(x.find(run.pid()));
    EXPECT_EQ(run.wait_exit(), 0);
}

TEST(GameRun, ClickArrivesInWindowPixelsThenInTheView) {
    GameRun run;
    run.put("main.lua", R"(
        function _paint()
            zov_view_set(0, 0, 320, 240)
            if not shown then shown = true print("shown") end
        end
        function _event(e)
            if e.type == "mousedown" or e.type == "down" then
                print(string.format("%s %.2f %.2f %d", e.type, e.x, e.y, e.button))
            end
        end)");
    run.start();
    XDisplay x;
    Window w = x.find(run.pid());
    ASSERT_NE(w, 0u) << run.err();
    ASSERT_TRUE(run.wait_line("ModsAPI: shown"));
    int ww, wh;
    x.size(w, &ww, &wh);
    int cx = ww / 2 + 64, cy = wh / 2 + 32;
    ASSERT_TRUE(xdotool(w, "mousemove --window " + std::to_string(w) + " " + std::to_string(cx) + " " +
                               std::to_string(cy) + " click 1"));
    ASSERT_TRUE(run.wait_line("ModsAPI: down ")) << run.out();

    std::vector<std::string> said = printed(run.out());
    int md = line_index(said, "mousedown "), d = -1;
    for (size_t i = md + 1; md >= 0 && i < said.size(); i++) {
        if (said[i].rfind("down ", 0) == 0) {
            d = (int)i;
            break;
        }
    }
    ASSERT_GE(md, 0) << run.out();
    ASSERT_GT(d, md) << "\"mousedown\" first, then \"down\":\n" << run.out();
    char type[16];
    float x1, y1, x2, y2;
    int b1, b2;
    ASSERT_EQ(std::sscanf(said[md].c_str(), "%15s %f %f %d", type, &x1, &y1, &b1), 4);
    ASSERT_EQ(std::sscanf(said[d].c_str(), "%15s %f %f %d", type, &x2, &y2, &b2), 4);
    EXPECT_EQ(x1, cx);
    EXPECT_EQ(y1, cy);
    EXPECT_EQ(b1, 1);
    // The 320 x 240 view fits the window at the smaller ratio, centred.
    float s = std::fmin(ww / 320.0f, wh / 240.0f);
    EXPECT_NEAR(x2, 160 + (cx - ww / 2.0f) / s, 0.01);
    EXPECT_NEAR(y2, 120 + (cy - wh / 2.0f) / s, 0.01);
    EXPECT_EQ(b2, 1);

    x.close(w);
    EXPECT_EQ(run.wait_exit(), 0);
}

// A busy machine can slow the program down but never speed it up: no
// stretch of frames may run faster than 60 a second, and some stretch must
// reach it (the test watches stretch after stretch until one does).
TEST(GameRun, HoldsSixtyFramesASecond) {
    GameRun run;
    run.put("main.lua", R"(
        frames = 0
        function _loop(dt)
            frames = frames + 1
            if frames % 60 == 0 then print("frame " .. frames) end
        end
        function _paint()
            zov_view_set(0, 0, 320, 240)
            zov_font_draw("console", 24, "frame " .. frames, 10, 10)
        end)");
    run.start();
    // Each mark ("frame 60", "frame 120", ...) was printed after `lo`, the
    // start of the last read that missed it, and before `hi`, the end of the
    // first read that found it.
    struct Mark {
        Clock::time_point lo, hi;
    };
    std::vector<Mark> marks;
    const int kStretch = 2, kMarksAtMost = 20; // marks of 60 frames
    double fastest = 0;
    auto lo = Clock::now();
    while (fastest < 57 && (int)marks.size() < kMarksAtMost) {
        ASSERT_TRUE(within(10, [&] {
            auto read_start = Clock::now();
            bool more = count_lines(run.out(), "ModsAPI: frame ") > (int)marks.size();
            if (!more) lo = read_start;
            return more;
        })) << "mark " << marks.size() + 1 << " never came:\n" << run.err();
        marks.push_back({lo, Clock::now()});
        size_t n = marks.size();
        if (n > kStretch) {
            double shortest = std::chrono::duration<double>(marks[n - 1].lo - marks[n - 1 - kStretch].hi).count();
            if (shortest > 0) fastest = std::max(fastest, 60 * kStretch / shortest); // else read late
        }
    }
    double longest = std::chrono::duration<double>(marks.back().hi - marks.front().lo).count();
    EXPECT_LE(60 * (marks.size() - 1) / longest, 63) << "never faster than 60 frames a second";
    EXPECT_GE(fastest, 57) << "at best " << fastest << " frames a second";
    XDisplay x;
    x.close(x.find(run.pid()));
    EXPECT_EQ(run.wait_exit(), 0);
}

TEST(GameRun, OverlongModPathIsRefused) {
    GameRun run;
    run.start({"-mod", "/" + std::string(600, 'a')});
    EXPECT_EQ(run.wait_exit(), 2);
    EXPECT_NE(run.err().find("-mod path is 601 bytes long"), std::string::npos) << run.err();
    EXPECT_EQ(run.out().find("init_video"), std::string::npos) << "nothing starts";
}

// A start that cannot work as meant writes one line on standard error that
// names what was looked for; the program then starts as usual.
TEST(GameRun, WrongStartsSayWhy) {
    struct Case {
        const char* what;
        const char* cwd;           // under the run's folder
        std::vector<std::string> args;
        const char* line;          // "%s": the run's folder
        const char* runs;          // what the started script prints
    } cases[] = {
        {"no data directory", "lost/deeper", {},
         "tovmar2: no data directory %s/lost/data (../data from the working directory); start tovmar2 from a "
         "folder beside data/, as bash tools/run.sh does: cd build && ./tovmar2",
         nullptr},
        {"missing -mod file", "work", {"-mod", "mine/main.lua"},
         "tovmar2: -mod mine/main.lua: no such file (%s/work/mine/main.lua); the data directory's script of the "
         "same name runs instead, if there is one",
         "data main"},
        {"-mod names a directory", "work", {"-mod", "mine"},
         "tovmar2: -mod mine is a directory; name its main script, e.g. -mod mine/main.lua", nullptr},
        {"-mod names the main script", "work", {"-mod", "mine/game.lua"}, nullptr, "my main"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        GameRun run;
        run.put("main.lua", "print(\"data main\")");
        std::filesystem::create_directories(run.dir / "work/mine");
        write_file(run.dir / "work/mine/game.lua", "print(\"my main\")");
        run.workdir = run.dir / c.cwd;
        std::filesystem::create_directories(run.workdir);
        run.start(c.args);
        ASSERT_TRUE(run.wait_line("mods_reload: ")) << run.out() << run.err();
        XDisplay x;
        x.close(x.find(run.pid()));
        EXPECT_EQ(run.wait_exit(), 0);

        std::vector<std::string> said = lines_of(run.err());
        if (c.line) {
            char want[1024];
            std::snprintf(want, sizeof want, c.line, run.dir.path().c_str());
            EXPECT_EQ(line_index(said, want), 0) << "the first line on standard error:\n" << run.err();
        }
        EXPECT_EQ(count_lines(run.err(), "tovmar2:"), c.line ? 1 : 0) << run.err();
        if (c.runs) {
            EXPECT_EQ(count_lines(run.out(), std::string("ModsAPI: ") + c.runs), 1) << run.out();
        }
    }
}

TEST(GameRun, NoDisplayEndsWithStatusOne) {
    GameRun run;
    run.put("main.lua", "function _init() print(\"init\") end");
    run.start({}, {"DISPLAY=", "WAYLAND_DISPLAY="});
    EXPECT_EQ(run.wait_exit(), 1);
    EXPECT_NE(run.err().find("tovmar2: no display"), std::string::npos) << run.err();
    EXPECT_EQ(count_lines(run.out(), "ModsAPI: init"), 0) << "no script runs";
}

TEST(GameRun, NoSoundDeviceRunsSilentAndSaysWhy) {
    GameRun run;
    run.put("main.lua", "function _init() zov_sample_play(\"boom\") zov_ext_call(\"exit\") end");
    run.start({}, {"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=/nonexistent-dir/out.raw"});
    EXPECT_EQ(run.wait_exit(), 0) << run.err();
    EXPECT_EQ(count_lines(run.out(), "_mixer: error in audio_init"), 1) << run.out();
    EXPECT_EQ(count_lines(run.err(), "tovmar2: no sound: "), 1) << run.err();
    EXPECT_EQ(count_lines(run.err(), "/nonexistent-dir/out.raw; the game runs silent (SDL_AUDIODRIVER picks another "
                                     "audio driver)"), 1) << run.err();
}

} // namespace
