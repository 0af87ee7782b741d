// The driver with a real display (Xvfb): start-up lines, window size,
// minimum size, full-screen switch with one GL context, viewport, caption.
#include <gtest/gtest.h>

#include <algorithm>

#include <SDL.h>
#include <SDL_opengl.h>

#include "support/capture.h"
#include "zov_driver-sdl2.h"

namespace {

bool has_message(const std::vector<std::string>& messages, const std::string& prefix) {
    return std::any_of(messages.begin(), messages.end(),
                       [&](const std::string& m) { return m.rfind(prefix, 0) == 0; });
}

std::vector<int> viewport() {
    GLint v[4] = {-1, -1, -1, -1};
    glGetIntegerv(GL_VIEWPORT, v);
    return {v[0], v[1], v[2], v[3]};
}

class Window : public ::testing::Test {
protected:
    int dw = 0, dh = 0; // the desktop

    void SetUp() override {
        capture([] { driver_init(255); });
        SDL_DisplayMode mode;
        ASSERT_EQ(SDL_GetDesktopDisplayMode(0, &mode), 0) << SDL_GetError();
        dw = mode.w;
        dh = mode.h;
    }
    void TearDown() override { driver_deinit(); }
};

TEST(DriverStart, StartsTimerVideoAndJoysticksWithTheirLines) {
    Captured c = capture([] { driver_init(255); });
    SDL_version v;
    SDL_GetVersion(&v);
    std::string version = std::to_string(v.major) + "." + std::to_string(v.minor) + "." + std::to_string(v.patch);
    std::vector<std::string> lines = lines_of(c.out);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0].rfind("[zov_driver-sdl2.cpp:_driver_video_init:", 0), 0u) << lines[0];
    EXPECT_EQ(log_messages(c.out),
              (std::vector<std::string>{"SDL Runtime Version: " + version, "SDL Compile Version: " + version,
                                        "== joystick init.............",
                                        "_mixer: freq=44100, channels=2, samples=1024", "_mixer: audio_init: OK"}));
    EXPECT_EQ(SDL_WasInit(SDL_INIT_TIMER | SDL_INIT_VIDEO | SDL_INIT_JOYSTICK),
              (Uint32)(SDL_INIT_TIMER | SDL_INIT_VIDEO | SDL_INIT_JOYSTICK));
    EXPECT_STREQ(driver_get_idiom(), "desktop");
    EXPECT_EQ(driver_sdl2_window(), nullptr); // the window comes later
    EXPECT_EQ(driver_video_minimize(), 0);
    driver_deinit();
    EXPECT_EQ(SDL_WasInit(0), 0u);
}

TEST_F(Window, WindowTakesEightyHundredthsOfTheDesktop) {
    Captured c = capture([] { driver_video_init(0, 0, 640, 480, 320, 320, 0); });
    int bw = dw * 80 / 100, bh = dh * 80 / 100;
    std::string desk = std::to_string(dw) + " x " + std::to_string(dh);
    std::string back = std::to_string(bw) + " x " + std::to_string(bh);
    std::vector<std::string> lines = lines_of(c.out), expected = {
        "init_video: 0 0 640 480 320 320 0",
        "_try_init_video(0,0,0)",
        "_try_init_video: desktop: " + desk + ", backup: " + back + ", target: " + back + ", screen: 0 x 0",
        "_try_init_video: initial init"};
    std::vector<std::string> messages = log_messages(c.out);
    ASSERT_EQ(messages.size(), 14u) << c.out;
    EXPECT_EQ(std::vector<std::string>(messages.begin(), messages.begin() + 4), expected);
    const char* gl[] = {"GL_RED_SIZE:",    "GL_GREEN_SIZE:",  "GL_BLUE_SIZE:",    "GL_ALPHA_SIZE:",
                        "GL_DEPTH_SIZE:", "GL_BUFFER_SIZE:", "GL_DOUBLEBUFFER:", "GL_STENCIL_SIZE:"};
    for (int i = 0; i < 8; i++) EXPECT_EQ(messages[4 + i].rfind(gl[i], 0), 0u) << messages[4 + i];
    EXPECT_EQ(messages[12], "now: " + back + " - 0");
    EXPECT_EQ(messages[13], "window: " + back + ". drawable: " + back);
    EXPECT_EQ(lines[1].rfind("[zov_driver-sdl2.cpp:_try_init_video:", 0), 0u) << lines[1];
    EXPECT_EQ(lines[4].rfind("[zov_driver-sdl2.cpp:_try_init_video:", 0), 0u) << lines[4];
    EXPECT_EQ(c.err, "");

    SDL_Window* win = driver_sdl2_window();
    ASSERT_NE(win, nullptr);
    int w, h;
    SDL_GetWindowSize(win, &w, &h);
    EXPECT_EQ(w, bw);
    EXPECT_EQ(h, bh);
    driver_get_size(&w, &h);
    EXPECT_EQ(w, bw);
    EXPECT_EQ(h, bh);
    EXPECT_EQ(driver_get_aspect(), (float)(bw / bh));
    EXPECT_EQ(driver_get_scale(), 1.0f);
    EXPECT_EQ(viewport(), (std::vector<int>{0, 0, bw, bh}));
    EXPECT_EQ(SDL_GetWindowFlags(win) & SDL_WINDOW_RESIZABLE, 0u);
}

TEST_F(Window, MinimumSizeHoldsTheWindowAt320) {
    capture([] { driver_video_init(0, 0, 640, 480, 320, 320, 0); });
    SDL_Window* win = driver_sdl2_window();
    int w, h;
    SDL_GetWindowMinimumSize(win, &w, &h);
    EXPECT_EQ(w, 320);
    EXPECT_EQ(h, 320);
    SDL_SetWindowSize(win, 100, 50);
    SDL_GetWindowSize(win, &w, &h);
    EXPECT_EQ(w, 320);
    EXPECT_EQ(h, 320);
}

TEST_F(Window, SameRequestKeepsTheWindow) {
    capture([] { driver_video_init(640, 480, 640, 480, 320, 320, 0); });
    Uint32 id = SDL_GetWindowID(driver_sdl2_window());
    Captured c = capture([] { driver_video_init(640, 480, 640, 480, 320, 320, 0); });
    std::vector<std::string> messages = log_messages(c.out);
    EXPECT_TRUE(has_message(messages, "_try_init_video: no changes needed."));
    EXPECT_FALSE(has_message(messages, "_try_init_video: initial init"));
    EXPECT_TRUE(has_message(messages, "window: 640 x 480. drawable: 640 x 480"));
    EXPECT_EQ(SDL_GetWindowID(driver_sdl2_window()), id);
}

TEST_F(Window, FullScreenSwitchKeepsTheOneGlContext) {
    Captured first = capture([] { driver_video_init(0, 0, 640, 480, 320, 320, 0); });
    EXPECT_TRUE(has_message(log_messages(first.out), "GL_RED_SIZE:"));
    Uint32 id = SDL_GetWindowID(driver_sdl2_window());
    SDL_GLContext context = SDL_GL_GetCurrentContext();
    ASSERT_NE(context, nullptr);
    GLuint tex = 0;
    glGenTextures(1, &tex);
    glBindTexture(GL_TEXTURE_2D, tex);
    const unsigned char pixel[4] = {1, 2, 3, 4};
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixel);

    Captured full = capture([] { driver_video_init(0, 0, 640, 480, 320, 320, 1); });
    SDL_Window* win = driver_sdl2_window();
    ASSERT_NE(win, nullptr);
    EXPECT_NE(SDL_GetWindowID(win), id); // a new window...
    EXPECT_NE(SDL_GetWindowFlags(win) & SDL_WINDOW_FULLSCREEN, 0u);
    int w, h;
    SDL_GetWindowSize(win, &w, &h);
    EXPECT_EQ(w, dw);
    EXPECT_EQ(h, dh);
    EXPECT_TRUE(has_message(log_messages(full.out), "now: " + std::to_string(dw) + " x " + std::to_string(dh) + " - 1"));
    // ...with the same context, so GL objects survive; no second context.
    EXPECT_FALSE(has_message(log_messages(full.out), "GL_RED_SIZE:"));
    EXPECT_EQ(SDL_GL_GetCurrentContext(), context);
    EXPECT_EQ(SDL_GL_GetCurrentWindow(), win);
    EXPECT_TRUE(glIsTexture(tex));
    EXPECT_EQ(viewport(), (std::vector<int>{0, 0, dw, dh}));
    EXPECT_EQ(full.err, "");

    capture([] { driver_video_init(0, 0, 640, 480, 320, 320, 0); });
    SDL_GetWindowSize(driver_sdl2_window(), &w, &h);
    EXPECT_EQ(w, dw * 80 / 100);
    EXPECT_EQ(SDL_GetWindowFlags(driver_sdl2_window()) & SDL_WINDOW_FULLSCREEN, 0u);
    EXPECT_TRUE(glIsTexture(tex));

    // The attribute lines come once per process, also after a restart.
    driver_deinit();
    capture([] { driver_init(255); });
    Captured again = capture([] { driver_video_init(0, 0, 640, 480, 320, 320, 0); });
    EXPECT_FALSE(has_message(log_messages(again.out), "GL_RED_SIZE:"));
    EXPECT_NE(SDL_GL_GetCurrentContext(), nullptr);
}

TEST_F(Window, ResizeSetsViewportSizeAspectAndScale) {
    capture([] { driver_video_init(640, 480, 640, 480, 320, 320, 0); });
    SDL_Window* win = driver_sdl2_window();
    EXPECT_EQ(viewport(), (std::vector<int>{0, 0, 640, 480}));
    EXPECT_EQ(driver_get_aspect(), 1.0f); // integer quotient, not 1.333

    SDL_SetWindowSize(win, 480, 640);
    Captured c = capture([] { _driver_video_resize(); });
    EXPECT_EQ(log_messages(c.out), std::vector<std::string>{"window: 480 x 640. drawable: 480 x 640"});
    EXPECT_EQ(viewport(), (std::vector<int>{0, 0, 480, 640}));
    int w, h;
    driver_get_size(&w, &h);
    EXPECT_EQ(w, 480);
    EXPECT_EQ(h, 640);
    EXPECT_EQ(driver_get_aspect(), 0.0f);
    EXPECT_EQ(driver_get_scale(), 1.0f);
    EXPECT_EQ(driver_get_orient(), 0.0f);
}

TEST_F(Window, FlipShowsANewCaptionOnce) {
    driver_set_caption("First");
    capture([] { driver_video_init(640, 480, 640, 480, 320, 320, 0); });
    SDL_Window* win = driver_sdl2_window();
    EXPECT_STREQ(SDL_GetWindowTitle(win), "First"); // the window is made with the caption

    driver_set_caption("Second");
    EXPECT_STREQ(SDL_GetWindowTitle(win), "First");
    driver_video_flip();
    EXPECT_STREQ(SDL_GetWindowTitle(win), "Second");

    // An unchanged caption is not given to the window again.
    SDL_SetWindowTitle(win, "elsewhere");
    driver_video_flip();
    EXPECT_STREQ(SDL_GetWindowTitle(win), "elsewhere");
    EXPECT_EQ(driver_video_minimize(), 1);
}

TEST_F(Window, DeinitDestroysWindowAndContext) {
    capture([] { driver_video_init(640, 480, 640, 480, 320, 320, 0); });
    driver_deinit();
    EXPECT_EQ(driver_sdl2_window(), nullptr);
    EXPECT_EQ(SDL_WasInit(0), 0u);
    capture([] { driver_init(255); }); // for TearDown
}

} // namespace
