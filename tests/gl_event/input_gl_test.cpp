// Input translation with a real window under X: events that depend on the
// window (touch scaling, pointer position, resize), the clipboard, the
// screen-keyboard calls, and real key presses and clicks sent by xdotool.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "support/capture.h"
#include "support/event_records.h"
#include "zov_driver-sdl2.h"

namespace {

const int WIN_W = 800, WIN_H = 600;

// The X server resets when its last client leaves and refuses connections
// meanwhile; on a busy machine the next test's SDL then falls back to its
// offscreen driver.  A connection held through the whole run keeps the
// server up between tests.
class KeepDisplay : public ::testing::Environment {
    Display* d = nullptr;
    void SetUp() override { d = XOpenDisplay(nullptr); }
    void TearDown() override {
        if (d) XCloseDisplay(d);
    }
};
const ::testing::Environment* const keep_display = ::testing::AddGlobalTestEnvironment(new KeepDisplay);

class EventWindow : public ::testing::Test {
protected:
    SDL_Window* win = nullptr;
    std::string caption = "zov event test " + std::to_string(getpid());

    void SetUp() override {
        driver_init(DRIVER_INIT_TIMER | DRIVER_INIT_VIDEO);
        driver_set_caption(caption.c_str());
        driver_video_init(WIN_W, WIN_H, WIN_W, WIN_H, 320, 320, 0);
        win = driver_sdl2_window();
        ASSERT_NE(win, nullptr) << SDL_GetError();
        ASSERT_STREQ(SDL_GetCurrentVideoDriver(), "x11") << "no X server to send real input to";
        poll_drain();
    }
    void TearDown() override { driver_deinit(); }
};

// Reads records for up to ten seconds until one of `type` (and of key code
// `sym`, when given) arrives; returns every record except the ones that mean
// nothing to the game and pointer motion, whose count depends on the
// pointer's path.
std::vector<std::string> records_until(int type, int sym = 0) {
    std::vector<std::string> got;
    for (Uint32 start = SDL_GetTicks(); SDL_GetTicks() - start < 10000;) {
        Event e;
        if (!driver_event_poll(&e)) {
            SDL_Delay(5);
            continue;
        }
        if (e.type == EVT_NONE || e.type == EVT_MOUSEMOTION) continue;
        got.push_back(event_text(e));
        if (e.type == type && (!sym || e._v == sym)) break;
    }
    return got;
}

// The key codes of the key-ups among everything pending now.
std::vector<int> pending_key_ups() {
    std::vector<int> ups;
    Event e;
    for (int quiet = 0; quiet < 3;) {
        quiet = driver_event_poll(&e) ? 0 : quiet + 1;
        if (!quiet && e.type == EVT_KEYUP) ups.push_back(e._v);
    }
    return ups;
}

Event button(int type, float x, float y, int b) {
    Event e = event_at(type, x, y);
    e.b = b;
    return e;
}

} // namespace

TEST_F(EventWindow, FingersAreScaledByTheWindowSize) {
    Event want = event_at(EVT_TOUCHMOTION, 400, 150, 100, -300);
    want.b = 1;
    want.device = 9;
    EXPECT_EQ(event_text(push_and_poll(sdl_finger(SDL_FINGERMOTION, 0.5f, 0.25f, 0.125f, -0.5f, 0, 9))),
              event_text(want));
}

TEST_F(EventWindow, WheelTakesThePointerPositionAndNegatesItsSteps) {
    SDL_WarpMouseInWindow(win, 123, 45);
    int mx = -1, my = -1;
    for (Uint32 start = SDL_GetTicks(); SDL_GetTicks() - start < 2000 && (mx != 123 || my != 45);) {
        poll_drain(); // lets SDL take in the pointer's move
        SDL_GetMouseState(&mx, &my);
    }
    ASSERT_EQ(mx, 123);
    ASSERT_EQ(my, 45);
    EXPECT_EQ(event_text(push_and_poll(sdl_wheel(-2, 1))), event_text(event_at(EVT_WHEEL, 123, 45, 2, -1)))
        << "one notch away from the user scrolls up";
}

TEST_F(EventWindow, ResizeRecordBringsTheDriverSizeUpToDate) {
    SDL_SetWindowSize(win, 1024, 768);
    poll_drain();
    SDL_Event ev = sdl_event(SDL_WINDOWEVENT);
    ev.window.event = SDL_WINDOWEVENT_RESIZED;
    ev.window.data1 = 1024;
    ev.window.data2 = 768;
    Event want(EVT_RESIZE);
    want.w = 1024;
    want.h = 768;
    EXPECT_EQ(event_text(push_and_poll(ev)), event_text(want));
    int w = 0, h = 0;
    driver_get_size(&w, &h);
    EXPECT_EQ(w, 1024);
    EXPECT_EQ(h, 768);
}

TEST_F(EventWindow, ClipboardKeepsTextExactly) {
    const std::string text = "tovmar2 h\xC3\xA9llo\nsecond line\t!";
    driver_clipboard_set_text(text);
    EXPECT_EQ(driver_clipboard_get_text(), text);
    driver_clipboard_set_text("");
    EXPECT_EQ(driver_clipboard_get_text(), "");
}

TEST_F(EventWindow, DesktopHasNoScreenKeyboard) {
    ASSERT_FALSE(SDL_HasScreenKeyboardSupport()) << "this test is for platforms without one";
    SDL_StartTextInput();
    Capture out(stdout);
    driver_keyboard_show();
    driver_keyboard_hide();
    EXPECT_EQ(out.text(), "") << "nothing done, nothing logged";
    EXPECT_TRUE(SDL_IsTextInputActive()) << "hide left text input alone";
    EXPECT_EQ(driver_keyboard_state(), 0);
    EXPECT_EQ(driver_keyboard_get_height(), 0);
}

// Real key presses and a click from the X server: Ctrl+Q with the event's
// own modifiers, Shift+A with its text byte, then a right click.
TEST_F(EventWindow, RealKeysTextAndClickArriveInOrder) {
    std::string cmd = "timeout 10 xdotool search --sync --name '" + caption +
                      "' windowfocus --sync %1 key --delay 30 ctrl+q shift+a mousemove --sync --window %1 100 50 "
                      "click 3";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    std::vector<std::string> want = {
        event_text(key_record(EVT_KEYDOWN, SDLK_LCTRL, KEY_NONE, 2)),
        event_text(key_record(EVT_KEYDOWN, 'q', KEY_q, 2)),
        event_text(key_record(EVT_KEYUP, SDLK_LCTRL, KEY_NONE, 0)), // xdotool lets go in the order it pressed
        event_text(key_record(EVT_KEYUP, 'q', KEY_q, 0)),
        event_text(key_record(EVT_KEYDOWN, SDLK_LSHIFT, KEY_NONE, 1)),
        event_text(key_record(EVT_KEYDOWN, 'a', KEY_a, 1)),
        event_text(text_record('A')),
        event_text(key_record(EVT_KEYUP, SDLK_LSHIFT, KEY_NONE, 0)),
        event_text(key_record(EVT_KEYUP, 'a', KEY_a, 0)),
        event_text(button(EVT_MOUSEDOWN, 100, 50, SDL_BUTTON_RIGHT)),
        event_text(button(EVT_MOUSEUP, 100, 50, SDL_BUTTON_RIGHT)),
    };
    EXPECT_EQ(records_until(EVT_MOUSEUP), want);
}

// Keys held while the window is re-created stay down: SDL lets go of every
// key as the window goes, but the driver holds those key-ups back and gives
// each key's release when it is let go, once.  Space has another name for X
// than for SDL; it is carried all the same.
TEST_F(EventWindow, KeysHeldThroughARebuildAreReleasedWhenLetGo) {
    std::string cmd = "timeout 10 xdotool search --sync --name '" + caption +
                      "' windowfocus --sync %1 keydown Right keydown space";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    records_until(EVT_KEYDOWN, SDLK_SPACE);
    driver_video_init(WIN_W + 100, WIN_H, WIN_W, WIN_H, 320, 320, 0);
    int w = 0, h = 0;
    driver_get_size(&w, &h);
    ASSERT_EQ(w, WIN_W + 100) << "the window was re-created";
    EXPECT_EQ(pending_key_ups(), std::vector<int>{}) << "both keys still read as held";

    ASSERT_EQ(std::system("timeout 10 xdotool keyup Right"), 0);
    EXPECT_EQ(records_until(EVT_KEYUP).back(), event_text(key_record(EVT_KEYUP, SDLK_RIGHT, KEY_RIGHT, 0)));
    ASSERT_EQ(std::system("timeout 10 xdotool keyup space"), 0);
    EXPECT_EQ(records_until(EVT_KEYUP).back(), event_text(key_record(EVT_KEYUP, SDLK_SPACE, KEY_SPACE, 0)));
    EXPECT_EQ(pending_key_ups(), std::vector<int>{}) << "one release each";
}
