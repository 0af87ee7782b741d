#include "zov_driver-sdl2.h"

#include <cstdio>
#include <cstring>

#include <SDL.h>
#include <SDL_opengl.h>

#include "zov_printf.h"

// ====== State ======

// The window and its GL context: main thread only.  The context is made with
// the first window and outlives re-created windows.
static SDL_Window* _driver_sdl2_window = nullptr;
static SDL_GLContext _driver_sdl2_context = nullptr;

// ====== Lifecycle ======

void driver_init(int flags) {
    if (_driver) return; // already running: starting SDL parts twice would unbalance their counts
    _driver = new _DriverData();
    if (flags & DRIVER_INIT_TIMER) SDL_Init(SDL_INIT_TIMER);
    if (flags & DRIVER_INIT_VIDEO) _driver_video_init();
    if (flags & DRIVER_INIT_AUDIO) _driver_audio_init();
}

void driver_deinit() {
    _driver_audio_deinit();
    _driver_video_deinit();
    _driver_timer_deinit();
    _driver_reap_children();
    delete _driver;
    _driver = nullptr;
}

// The audio device module fills these two.
void _driver_audio_init() {}
void _driver_audio_deinit() {}

void _driver_video_init() {
    driver_set_idiom("desktop");
    SDL_Init(SDL_INIT_VIDEO);
    SDL_version v;
    SDL_GetVersion(&v);
    zov_iprintf("SDL Runtime Version: %u.%u.%u\n", unsigned(v.major), unsigned(v.minor), unsigned(v.patch));
    SDL_VERSION(&v);
    zov_iprintf("SDL Compile Version: %u.%u.%u\n", unsigned(v.major), unsigned(v.minor), unsigned(v.patch));
    SDL_InitSubSystem(SDL_INIT_JOYSTICK);
    zov_iprintf("== joystick init.............\n");
    // The handles need not be kept: SDL closes them when it shuts down.
    for (int i = 0; i < SDL_NumJoysticks(); i++) {
        zov_iprintf("opening joystick : %d\n", i);
        SDL_JoystickOpen(i);
    }
}

void _driver_video_deinit() {
    if (_driver_sdl2_context) {
        SDL_GL_DeleteContext(_driver_sdl2_context);
        _driver_sdl2_context = nullptr;
    }
    driver_sdl2_window_destroy();
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

void _driver_timer_deinit() {
    SDL_QuitSubSystem(SDL_INIT_TIMER);
    SDL_Quit();
}

// ====== Timer ======

int driver_timer_get_ticks() { return static_cast<int>(SDL_GetTicks()); }

void driver_timer_delay(int ms) { SDL_Delay(ms > 0 ? ms : 0); }

// ====== Window and GL context ======

SDL_Window* driver_sdl2_window() { return _driver_sdl2_window; }

void driver_sdl2_window_destroy() {
    if (!_driver_sdl2_window) return;
    SDL_DestroyWindow(_driver_sdl2_window);
    _driver_sdl2_window = nullptr;
}

// Size and full-screen bit (0 or 1) of the window.
static void _driver_window_state(SDL_Window* win, int* w, int* h, int* full) {
    SDL_GetWindowSize(win, w, h);
    *full = (SDL_GetWindowFlags(win) & SDL_WINDOW_FULLSCREEN) ? 1 : 0;
}

static void _driver_set_icon(SDL_Window* win) {
    const char* icon = driver_get_icon();
    if (!icon[0]) return;
    SDL_Surface* surface = SDL_LoadBMP_RW(SDL_RWFromFile(icon, "rb"), 1);
    if (!surface) return; // an icon is optional: a missing one is no error
    SDL_SetColorKey(surface, SDL_TRUE, SDL_MapRGB(surface->format, 255, 0, 255));
    SDL_SetWindowIcon(win, surface);
    SDL_FreeSurface(surface);
}

// The context attributes logged when the context is made, in this order.
static const struct {
    SDL_GLattr attr;
    const char* name;
} _driver_gl_attributes[] = {
    {SDL_GL_RED_SIZE, "GL_RED_SIZE"},     {SDL_GL_GREEN_SIZE, "GL_GREEN_SIZE"},
    {SDL_GL_BLUE_SIZE, "GL_BLUE_SIZE"},   {SDL_GL_ALPHA_SIZE, "GL_ALPHA_SIZE"},
    {SDL_GL_DEPTH_SIZE, "GL_DEPTH_SIZE"}, {SDL_GL_BUFFER_SIZE, "GL_BUFFER_SIZE"},
    {SDL_GL_DOUBLEBUFFER, "GL_DOUBLEBUFFER"}, {SDL_GL_STENCIL_SIZE, "GL_STENCIL_SIZE"},
};

// Makes the one context current on the (new) window, then asks for vsync,
// which belongs to the window the context is current on.
static void _driver_make_current(SDL_Window* win) {
    if (SDL_GL_MakeCurrent(win, _driver_sdl2_context) != 0) {
        std::fprintf(stderr, "SDL_GL_MakeCurrent failed: %s\n", SDL_GetError());
        return;
    }
    SDL_GL_SetSwapInterval(1); // a request: not every display can sync
}

SDL_Window* _try_init_video(int ww, int hh, int full) {
    zov_iprintf("_try_init_video(%d,%d,%d)\n", ww, hh, full);
    static int dw = 0, dh = 0; // the desktop, read once per process
    static bool desktop_read = false;
    if (!desktop_read) {
        desktop_read = true;
        SDL_DisplayMode mode;
        if (SDL_GetDesktopDisplayMode(0, &mode) == 0) {
            dw = mode.w;
            dh = mode.h;
        }
    }
    int bw = dw * 80 / 100, bh = dh * 80 / 100;
    int tw = ww, th = hh;
    if (ww == 0 || hh == 0) {
        tw = full ? dw : bw;
        th = full ? dh : bh;
    }
    int sw = 0, sh = 0, sfull = 0;
    if (_driver_sdl2_window) _driver_window_state(_driver_sdl2_window, &sw, &sh, &sfull);
    zov_iprintf("_try_init_video: desktop: %d x %d, backup: %d x %d, target: %d x %d, screen: %d x %d\n", dw, dh,
                bw, bh, tw, th, sw, sh);
    if (_driver_sdl2_window && sw == tw && sh == th && sfull == full) {
        zov_iprintf("_try_init_video: no changes needed.\n");
        return _driver_sdl2_window;
    }
    driver_sdl2_window_destroy();

    zov_iprintf("_try_init_video: initial init\n");
    SDL_InitSubSystem(SDL_INIT_VIDEO);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_ACCELERATED_VISUAL, 1);
    SDL_SetHint(SDL_HINT_RENDER_VSYNC, "1");

    Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_SHOWN;
    SDL_Window* win = SDL_CreateWindow(driver_get_caption(), SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, tw, th,
                                       flags | (full ? SDL_WINDOW_FULLSCREEN : 0));
    if (!win) {
        zov_iprintf("failed to init at %d x %d .. trying %d x %d\n", tw, th, bw, bh);
        win = SDL_CreateWindow(driver_get_caption(), SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, bw, bh, flags);
    }
    if (!win) return nullptr;
    _driver_sdl2_window = win;
    _driver_set_icon(win);
    static bool gl_logged = false; // the attribute lines come once per process
    if (!_driver_sdl2_context) {
        _driver_sdl2_context = SDL_GL_CreateContext(win);
        if (!_driver_sdl2_context) {
            std::fprintf(stderr, "SDL_GL_CreateContext failed: %s\n", SDL_GetError());
        } else if (!gl_logged) {
            gl_logged = true;
            for (const auto& a : _driver_gl_attributes) {
                int value = 0;
                SDL_GL_GetAttribute(a.attr, &value);
                zov_iprintf("%s:%d\n", a.name, value);
            }
        }
    }
    if (_driver_sdl2_context) _driver_make_current(win);

    int nw, nh, nfull;
    _driver_window_state(win, &nw, &nh, &nfull);
    zov_iprintf("now: %d x %d - %d\n", nw, nh, nfull);
    return win;
}

void driver_video_init(int ww, int hh, int dw, int dh, int mw, int mh, int full) {
    zov_iprintf("init_video: %d %d %d %d %d %d %d\n", ww, hh, dw, dh, mw, mh, full);
    SDL_Window* win = _try_init_video(ww, hh, full);
    if (!win) return;
    SDL_SetWindowMinimumSize(win, mw, mh);
    _driver_video_resize();
}

void _driver_video_resize() {
    SDL_Window* win = _driver_sdl2_window;
    if (!win) return;
    int w, h, pw, ph;
    SDL_GetWindowSize(win, &w, &h);
    SDL_GL_GetDrawableSize(win, &pw, &ph);
    zov_iprintf("window: %d x %d. drawable: %d x %d\n", w, h, pw, ph);
    if (_driver_sdl2_context) glViewport(0, 0, pw, ph);
    driver_set_size(w, h);
    // Integer quotients, as the view code expects.  A zero size (a window
    // being set up or torn down) keeps the previous values.
    if (h != 0) driver_set_aspect(static_cast<float>(w / h));
    if (w != 0) driver_set_scale(static_cast<float>(pw / w));
    driver_set_orient(0);
}

void driver_video_flip() {
    _driver_reap_children(); // once a frame, so an exited browser never lingers
    SDL_Window* win = _driver_sdl2_window;
    if (!win) return;
    SDL_GL_SwapWindow(win);
    static char shown[256]; // the caption last given to the title
    const char* caption = driver_get_caption();
    if (std::strcmp(caption, shown) != 0) {
        std::snprintf(shown, sizeof shown, "%s", caption);
        SDL_SetWindowTitle(win, shown);
    }
}

int driver_video_minimize() {
    if (!_driver_sdl2_window) return 0;
    SDL_MinimizeWindow(_driver_sdl2_window);
    return 1;
}
