// Driver core without a display: start-up and settings, the frame counter,
// the log line and opening URLs.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <fstream>
#include <sstream>

#include <SDL.h>
#include <sys/wait.h>

#include "support/capture.h"
#include "zov_driver.h"
#include "zov_printf.h"

namespace {

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class DriverCore : public ::testing::Test {
protected:
    void SetUp() override { driver_init(0); }
    void TearDown() override { driver_deinit(); }
};

// ====== Start-up and settings ======

TEST_F(DriverCore, InitWithoutFlagsGivesDefaultsAndStartsNothing) {
    int w = -1, h = -1;
    driver_get_size(&w, &h);
    EXPECT_EQ(w, 0);
    EXPECT_EQ(h, 0);
    EXPECT_EQ(driver_get_aspect(), 1.0f);
    EXPECT_EQ(driver_get_scale(), 1.0f);
    EXPECT_EQ(driver_get_orient(), 0.0f);
    EXPECT_STREQ(driver_get_idiom(), "");
    EXPECT_STREQ(driver_get_caption(), "");
    EXPECT_STREQ(driver_get_icon(), "");
    EXPECT_STREQ(_driver->gamename, "");
    EXPECT_STREQ(_driver->altdir, "");
    EXPECT_EQ(SDL_WasInit(0), 0u);
}

TEST(DriverLifecycle, TimerFlagStartsOnlyTheTimerAndDeinitQuitsSdl) {
    driver_init(DRIVER_INIT_TIMER);
    EXPECT_NE(SDL_WasInit(SDL_INIT_TIMER), 0u);
    EXPECT_EQ(SDL_WasInit(SDL_INIT_VIDEO | SDL_INIT_AUDIO), 0u);
    driver_deinit();
    EXPECT_EQ(_driver, nullptr);
    EXPECT_EQ(SDL_WasInit(0), 0u);
}

TEST_F(DriverCore, SecondInitWithoutDeinitChangesNothing) {
    _DriverData* first = _driver;
    driver_set_caption("kept");
    driver_init(DRIVER_INIT_TIMER);
    EXPECT_EQ(_driver, first);
    EXPECT_STREQ(driver_get_caption(), "kept");
    EXPECT_EQ(SDL_WasInit(SDL_INIT_TIMER), 0u);
}

TEST_F(DriverCore, NullAltdirClearsIt) {
    driver_set_altdir("x");
    EXPECT_STREQ(_driver->altdir, "x");
    driver_set_altdir(nullptr);
    EXPECT_STREQ(_driver->altdir, "");
}

TEST_F(DriverCore, TextsThatFillTheirFieldAreKeptWhole) {
    std::string text(255, 't'), path(511, 'p');
    Captured c = capture([&] {
        driver_set_caption(text.c_str());
        driver_set_gamename(text.c_str());
        driver_set_altdir(path.c_str());
        driver_set_icon(path.c_str());
    });
    EXPECT_EQ(driver_get_caption(), text);
    EXPECT_EQ(_driver->gamename, text);
    EXPECT_EQ(_driver->altdir, path);
    EXPECT_EQ(driver_get_icon(), path);
    EXPECT_EQ(c.err, "");
}

TEST_F(DriverCore, OverlongTextIsCutAndOverlongPathRefused) {
    driver_set_altdir("/before");
    std::string text(300, 'c'), path(600, 'p');
    Captured c = capture([&] {
        driver_set_caption(text.c_str());
        driver_set_altdir(path.c_str());
        driver_set_icon(path.c_str());
    });
    EXPECT_EQ(driver_get_caption(), std::string(255, 'c'));
    // A cut path could name another directory: it is dropped instead.
    EXPECT_STREQ(_driver->altdir, "");
    EXPECT_STREQ(driver_get_icon(), "");
    EXPECT_EQ(c.err,
              "driver_set_caption: text of 300 bytes cut to 255\n"
              "driver_set_altdir: path of 600 bytes is longer than 511, ignored\n"
              "driver_set_icon: path of 600 bytes is longer than 511, ignored\n");
}

// ====== Time ======

TEST(DriverTimer, DeltaIsRightAcrossTheWrapOfTheTickCount) {
    EXPECT_EQ(driver_timer_delta(100, 40), 60);
    EXPECT_EQ(driver_timer_delta(40, 100), -60);
    // 2^31 ms after start the int tick count turns negative...
    EXPECT_EQ(driver_timer_delta(INT_MIN + 5, INT_MAX - 4), 10);
    // ...and at 2^32 ms SDL's own count starts again from 0.
    EXPECT_EQ(driver_timer_delta(4, -6), 10);
}

TEST(DriverTimer, NegativeDelaySleepsNothing) {
    driver_init(DRIVER_INIT_TIMER);
    int before = driver_timer_get_ticks();
    driver_timer_delay(-5); // as an unsigned count this would be 49 days
    EXPECT_LT(driver_timer_delta(driver_timer_get_ticks(), before), 1000);
    driver_deinit();
}

TEST(DriverTimer, FrameCounterStartsWithFirstCallAtAPositiveRate) {
    driver_init(DRIVER_INIT_TIMER);
    driver_timer_set(0);
    EXPECT_EQ(driver_timer_tick(), 0);
    driver_timer_set(-60); // every frame would be due at once, forever
    EXPECT_EQ(driver_timer_tick(), 0);
    driver_timer_delay(100);

    // The calls above did not start the count: it starts here, with the
    // first frame due as soon as the clock moves.
    driver_timer_set(60);
    int start = driver_timer_get_ticks();
    int first = driver_timer_tick();
    // A busy machine may hold the test up between the calls: frames due by
    // then count, later ones never.
    EXPECT_LE(first, driver_timer_delta(driver_timer_get_ticks(), start) * 60 / 1000 + 1);
    driver_timer_delay(100);
    int later = driver_timer_tick();
    int end = driver_timer_get_ticks();
    // Frames 0 to 5 lie within the first 100 ms; none is skipped, and no
    // frame is counted before it is due.
    EXPECT_GE(first + later, 6);
    EXPECT_LE(first + later, driver_timer_delta(end, start) * 60 / 1000 + 1);
    driver_deinit();
}

// ====== Log line ======

TEST(LogLine, WritesBaseNameFunctionLineAndOneNewline) {
    Captured c = capture([] {
        _zov_iprintf("/a/b/file.cpp", 12, "f", 0, "x=%d", 3);
        _zov_iprintf("/a/b/file.cpp", 12, "f", 0, "x=%d\n", 3);
        _zov_iprintf("file.cpp", 7, "g", 0, "plain");
        _zov_iprintf("/a/b/file.cpp", 12, "f", 0, "%s", "");
    });
    EXPECT_EQ(c.out,
              "[file.cpp:f:12] x=3\n"
              "[file.cpp:f:12] x=3\n"
              "[file.cpp:g:7] plain\n"
              "[file.cpp:f:12] \n");
    EXPECT_EQ(c.err, "");
}

TEST(LogLine, MacroNamesTheCallerAndLogsAnyLength) {
    std::string big(100000, 'z');
    int line = __LINE__ + 1;
    Captured c = capture([&] { zov_iprintf("%s", big.c_str()); });
    std::string prefix = "[driver_core_test.cpp:operator():" + std::to_string(line) + "] ";
    EXPECT_EQ(c.out, prefix + big + "\n");
}

// ====== Web browser ======

// A fake browser, first on PATH, that records its arguments in its own
// directory and then exits.
class OpenUrl : public DriverCore {
protected:
    TempDir dir;
    std::string old_path = std::getenv("PATH");

    void SetUp() override {
        DriverCore::SetUp();
        std::ofstream(dir / "firefox") << "#!/bin/sh\n"
                                          "printf '%s' \"$#\" > '" + dir.path() + "/count.tmp'\n"
                                          "printf '%s' \"$1\" > '" + dir.path() + "/arg.tmp'\n"
                                          "mv '" + dir.path() + "/arg.tmp' '" + dir.path() + "/arg'\n"
                                          "mv '" + dir.path() + "/count.tmp' '" + dir.path() + "/count'\n";
        chmod((dir / "firefox").c_str(), 0755);
        setenv("PATH", (dir.path() + ":" + old_path).c_str(), 1);
    }
    void TearDown() override {
        setenv("PATH", old_path.c_str(), 1);
        DriverCore::TearDown();
    }
    // Waits (10 s at most) for the browser to have recorded its arguments.
    bool recorded() {
        for (int i = 0; i < 1000 && access((dir / "count").c_str(), F_OK) != 0; i++) usleep(10000);
        return access((dir / "count").c_str(), F_OK) == 0;
    }
    // Waits for a child of ours to have exited, leaving it to be collected.
    bool child_exited() {
        for (int i = 0; i < 1000; i++) {
            siginfo_t info;
            info.si_pid = 0;
            if (waitid(P_ALL, 0, &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid != 0) return true;
            usleep(10000);
        }
        return false;
    }
};

TEST_F(OpenUrl, UrlReachesTheBrowserAsOneArgumentAndRunsNothing) {
    std::string url = "http://example.invalid/?a=\"q\"&b='s' $(touch " + dir.path() + "/ran1) `touch " +
                      dir.path() + "/ran2`; touch " + dir.path() + "/ran3 & " + std::string(5000, 'x');
    Captured c = capture([&] { driver_open_url(url.c_str()); });
    EXPECT_EQ(c.out, "Driver::weblink: " + url + "\n");
    EXPECT_EQ(c.err, "");
    ASSERT_TRUE(recorded());
    EXPECT_EQ(read_file(dir / "count"), "1");
    EXPECT_EQ(read_file(dir / "arg"), url);
    EXPECT_NE(access((dir / "ran1").c_str(), F_OK), 0);
    EXPECT_NE(access((dir / "ran2").c_str(), F_OK), 0);
    EXPECT_NE(access((dir / "ran3").c_str(), F_OK), 0);
}

TEST_F(OpenUrl, ExitedBrowserIsCollectedSoNoZombieStays) {
    capture([] { driver_open_url("http://example.invalid/"); });
    ASSERT_TRUE(recorded());
    ASSERT_TRUE(child_exited());
    driver_deinit();
    // Nothing is left to wait for: the driver collected its child.
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
    driver_init(0);
}

TEST_F(OpenUrl, UrlStartingWithDashIsRefused) {
    Captured c = capture([] { driver_open_url("--new-instance"); });
    EXPECT_EQ(c.out, "Driver::weblink: --new-instance\n");
    EXPECT_EQ(c.err, "Driver::weblink: refused, a URL may not begin with '-'\n");
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1); // no browser was started
}

TEST_F(OpenUrl, MissingBrowserIsReportedOnStandardError) {
    TempDir empty;
    setenv("PATH", empty.path().c_str(), 1);
    Captured c = capture([] { driver_open_url("http://example.invalid/"); });
    EXPECT_EQ(c.out, "Driver::weblink: http://example.invalid/\n");
    EXPECT_EQ(c.err, "Driver::weblink: cannot start firefox: No such file or directory\n");
}

} // namespace
