// Input translation with a real window under X: events that depend on the
// window (touch scaling, pointer position, resize), the clipboard, the
// screen-keyboard calls, and real key presses and clicks sent by xdotool.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "support/capture.h"
#include "support/event_records.h"
#include "zov_driver-keys.h"
#include "zov_driver-sdl2.h"

namespace {

const int WIN_W = 800, WIN_H = 600;

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
        poll_drain();
    }
    void TearDown() override { driver_deinit(); }
};

// Reads records for up to two seconds until one of `type` arrives; returns
// every record except the ones that mean nothing to the game and pointer
// motion, whose count depends on the pointer's path.
std::vector<std::string> records_until(int type) {
    std::vector<std::string> got;
    for (Uint32 start = SDL_GetTicks(); SDL_GetTicks() - start < 2000;) {
        Event e;
        if (!driver_event_poll(&e)) {
            SDL_Delay(5);
            continue;
        }
        if (e.type == EVT_NONE || e.type == EVT_MOUSEMOTION) continue;
        got.push_back(event_text(e));
        if (e.type == type) break;
    }
    return got;
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
    std::string cmd = "xdotool search --sync --name '" + caption +
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

// A key held while the window is re-created: SDL forgets it, so its next
// auto-repeat comes as a fresh press.  That press is a repeat; the ones
// after it are SDL's own again.
TEST_F(EventWindow, KeyHeldThroughARebuildIsARepeatOnce) {
    std::string cmd = "xdotool search --sync --name '" + caption + "' windowfocus --sync %1 keydown f";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    records_until(EVT_KEYDOWN);
    _driver_keys_remember(win);
    SDL_KeyboardEvent press{};
    press.type = SDL_KEYDOWN;
    press.keysym.scancode = SDL_SCANCODE_F;
    bool first = _driver_keys_is_repeat(press), second = _driver_keys_is_repeat(press);
    ASSERT_EQ(std::system("xdotool keyup f"), 0);
    EXPECT_TRUE(first);
    EXPECT_FALSE(second);
}
