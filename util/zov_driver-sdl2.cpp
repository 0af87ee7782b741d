#include "zov_driver-sdl2.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <malloc.h>
#include <string>
#include <vector>

#include <SDL.h>
#include <SDL_opengl.h>

#include "zov_driver-keys.h"
#include "zov_driver-snd_load.h"
#include "zov_event.h"
#include "zov_gfx.h"
#include "zov_printf.h"
#include "zov_util.h"

// ====== State ======

// The window and its GL context: main thread only.  The context is made with
// the first window and outlives re-created windows.
static SDL_Window* _driver_sdl2_window = nullptr;
static SDL_GLContext _driver_sdl2_context = nullptr;

// ====== Lifecycle ======

void driver_init(int flags) {
    if (_driver) return; // already running: starting SDL parts twice would unbalance their counts
    _driver = new _DriverData();
    // Past the file-size limit a write then fails with EFBIG, which a save
    // reports while keeping the old document, instead of the signal ending
    // the program and leaving a half-written temporary file.
    std::signal(SIGXFSZ, SIG_IGN);
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
void _driver_audio_init() { _driver_audio_open(); }
void _driver_audio_deinit() { _driver_audio_close(); }

void _driver_video_init() {
    driver_set_idiom("desktop");
    SDL_Init(SDL_INIT_VIDEO);
    _driver_keys_start();
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
    _driver_keys_stop();
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
    if (_driver_sdl2_window) _driver_keys_remember();
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
    // Mesa's software rasterizer bins every frame's triangles into blocks of
    // 64 KiB that it mallocs while drawing and frees once the frame is
    // rasterized: 8 MiB a frame for 50,000 sprites.  glibc would hand the
    // heap top back to the kernel and the next frame page-fault it in again,
    // a third of the main thread's time.  A larger trim threshold keeps it.
    mallopt(M_TRIM_THRESHOLD, 64 << 20);
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

// ====== Events and input ======
// SDL events become `Event` records; typed text is handed out one byte per
// record; screen keyboard and clipboard.  Main thread only.

// Text typed but not yet handed out.  Drained before the next SDL event is
// read, so the bytes keep their place among the other input.
static std::string _driver_text_pending;

// Last value of every axis, by joystick instance id and axis: an event
// reports its whole stick, so the axis that did not move needs its last
// value.  Ids and axes beyond the table are not tracked.
enum { DRIVER_JOY_MAX = 256, DRIVER_JOY_AXES = 8 };
static int _driver_joy_axis[DRIVER_JOY_MAX][DRIVER_JOY_AXES];

int _driver_sdl_sym2key(int sym) {
    if (sym >= 'a' && sym <= 'z') return KEY_a + (sym - 'a');
    if (sym >= '0' && sym <= '9') return KEY_0 + (sym - '0');
    if (sym >= SDLK_F1 && sym <= SDLK_F12) return KEY_F1 + (sym - SDLK_F1);
    if (sym >= SDLK_KP_1 && sym <= SDLK_KP_9) return KEY_P1 + (sym - SDLK_KP_1);
    switch (sym) {
    case SDLK_UP: return KEY_UP;
    case SDLK_RIGHT: return KEY_RIGHT;
    case SDLK_DOWN: return KEY_DOWN;
    case SDLK_LEFT: return KEY_LEFT;
    case SDLK_ESCAPE: return KEY_ESCAPE;
    case SDLK_BACKSPACE: return KEY_BACKSPACE;
    case SDLK_DELETE: return KEY_DELETE;
    case SDLK_RETURN:
    case SDLK_KP_ENTER: return KEY_RETURN;
    case SDLK_HOME: return KEY_HOME;
    case SDLK_END: return KEY_END;
    case SDLK_TAB: return KEY_TAB;
    case SDLK_SPACE: return KEY_SPACE;
    case SDLK_KP_0: return KEY_P0;
    case SDLK_PLUS: return KEY_PLUS;
    case SDLK_MINUS: return KEY_MINUS;
    case SDLK_BACKQUOTE: return KEY_TILDE;
    default: return KEY_NONE;
    }
}

// Modifier bits of a key event, left and right alike; lock keys are ignored.
// Taken from the event itself: by the time a fast chord is handled, SDL's
// current modifier state may already have let go of the modifier.
static int _driver_key_mods(Uint16 mod) {
    int b = 0;
    if (mod & KMOD_SHIFT) b |= 1;
    if (mod & KMOD_CTRL) b |= 2;
    if (mod & KMOD_ALT) b |= 4;
    if (mod & KMOD_GUI) b |= 8;
    return b;
}

static void _driver_event_key(const SDL_KeyboardEvent& key, Event* e) {
    e->type = key.type == SDL_KEYDOWN ? EVT_KEYDOWN : EVT_KEYUP;
    e->_v = key.keysym.sym;
    e->v = _driver_sdl_sym2key(key.keysym.sym);
    e->b = _driver_key_mods(key.keysym.mod);
    e->t = key.repeat != 0;
}

// Stores the axis and reports its stick; an id outside the table gives
// EVT_NONE.
static void _driver_event_joyaxis(const SDL_JoyAxisEvent& axis, Event* e) {
    if (axis.which < 0 || axis.which >= DRIVER_JOY_MAX || axis.axis >= DRIVER_JOY_AXES) return;
    int* stick_axes = _driver_joy_axis[axis.which];
    stick_axes[axis.axis] = axis.value;
    int stick = axis.axis / 2;
    e->type = EVT_JOYMOTION;
    e->device = axis.which;
    e->b = stick;
    e->_x = static_cast<float>(stick_axes[2 * stick] / 32768.0);
    e->_y = static_cast<float>(stick_axes[2 * stick + 1] / 32768.0);
}

// Fingers come in 0..1 of the window; without a window they stay so.
static void _driver_event_finger(const SDL_TouchFingerEvent& finger, Event* e) {
    int w = 1, h = 1;
    if (SDL_Window* win = driver_sdl2_window()) SDL_GetWindowSize(win, &w, &h);
    e->type = finger.type == SDL_FINGERDOWN ? EVT_TOUCHDOWN : finger.type == SDL_FINGERUP ? EVT_TOUCHUP : EVT_TOUCHMOTION;
    e->_x = finger.x * w;
    e->_y = finger.y * h;
    e->_dx = finger.dx * w;
    e->_dy = finger.dy * h;
    // The ids are 64-bit: their low 32 bits are kept (unsigned arithmetic, so
    // no id overflows).
    e->b = static_cast<int>(static_cast<Uint32>(static_cast<Uint64>(finger.fingerId) + 1));
    e->device = static_cast<int>(static_cast<Uint32>(finger.touchId));
}

// Fills *e from one SDL event; leaves it EVT_NONE when the event means
// nothing to the game.
static void _driver_event_translate(const SDL_Event& ev, Event* e) {
    switch (ev.type) {
    case SDL_QUIT:
        e->type = EVT_QUIT;
        break;
    case SDL_WINDOWEVENT:
        if (ev.window.event != SDL_WINDOWEVENT_RESIZED) break;
        e->type = EVT_RESIZE;
        e->w = static_cast<float>(ev.window.data1);
        e->h = static_cast<float>(ev.window.data2);
        _driver_video_resize();
        break;
    case SDL_KEYDOWN:
    case SDL_KEYUP:
        _driver_event_key(ev.key, e);
        break;
    case SDL_TEXTINPUT:
        // Pushed events need not be terminated: never read past the field.
        _driver_text_pending.assign(ev.text.text, strnlen(ev.text.text, sizeof ev.text.text));
        break;
    // Mouse events that SDL makes from touch are dropped: touch is seen once,
    // as touch events.
    case SDL_MOUSEMOTION:
        if (ev.motion.which == SDL_TOUCH_MOUSEID) break;
        e->type = EVT_MOUSEMOTION;
        e->_x = static_cast<float>(ev.motion.x);
        e->_y = static_cast<float>(ev.motion.y);
        e->_dx = static_cast<float>(ev.motion.xrel);
        e->_dy = static_cast<float>(ev.motion.yrel);
        e->b = static_cast<int>(ev.motion.state);
        e->device = static_cast<int>(ev.motion.which);
        break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
        if (ev.button.which == SDL_TOUCH_MOUSEID) break;
        e->type = ev.type == SDL_MOUSEBUTTONDOWN ? EVT_MOUSEDOWN : EVT_MOUSEUP;
        e->_x = static_cast<float>(ev.button.x);
        e->_y = static_cast<float>(ev.button.y);
        e->b = ev.button.button;
        e->device = static_cast<int>(ev.button.which);
        break;
    case SDL_MOUSEWHEEL: {
        // The wheel event carries no position: the pointer's is used.
        int mx = 0, my = 0;
        SDL_GetMouseState(&mx, &my);
        e->type = EVT_WHEEL;
        e->_x = static_cast<float>(mx);
        e->_y = static_cast<float>(my);
        e->_dx = static_cast<float>(-ev.wheel.x);
        e->_dy = static_cast<float>(-ev.wheel.y);
        break;
    }
    case SDL_JOYAXISMOTION:
        _driver_event_joyaxis(ev.jaxis, e);
        break;
    case SDL_JOYBUTTONDOWN:
    case SDL_JOYBUTTONUP:
        e->type = ev.type == SDL_JOYBUTTONDOWN ? EVT_JOYDOWN : EVT_JOYUP;
        e->device = ev.jbutton.which;
        e->b = ev.jbutton.button;
        break;
    case SDL_FINGERDOWN:
    case SDL_FINGERUP:
    case SDL_FINGERMOTION:
        _driver_event_finger(ev.tfinger, e);
        break;
    default:
        break;
    }
}

int driver_event_poll(Event* e) {
    *e = Event();
    if (!_driver_text_pending.empty()) {
        e->type = EVT_KEYDOWN;
        // Through signed char on purpose: bytes 0x80..0xFF are -128..-1
        // whatever the signedness of plain char.
        e->c = static_cast<signed char>(_driver_text_pending[0]);
        zov_iprintf("text: '%s'\n", _driver_text_pending.c_str());
        _driver_text_pending.erase(0, 1);
        return 1;
    }
    // A key carried through a window rebuild and let go since comes first;
    // SDL's own key-up for a carried key still held is skipped.
    SDL_Event ev;
    if (!_driver_keys_let_go(&ev.key)) {
        do {
            if (!SDL_PollEvent(&ev)) return 0;
        } while ((ev.type == SDL_KEYDOWN || ev.type == SDL_KEYUP) && !_driver_keys_pass(ev.key));
    }
    _driver_event_translate(ev, e);
    e->x = e->_x;
    e->y = e->_y;
    e->dx = e->_dx;
    e->dy = e->_dy;
    return 1;
}

// The screen keyboard exists only with a window and platform support.
static bool _driver_keyboard_usable() { return driver_sdl2_window() && SDL_HasScreenKeyboardSupport(); }

void driver_keyboard_show() {
    if (!_driver_keyboard_usable()) return;
    zov_iprintf("- keyboard_show ...\n");
    GfxRect r = _gfx_get_focus_fixed();
    if (r.w != 0) {
        SDL_Rect rect = {trunc_int(r.x), trunc_int(r.y), trunc_int(r.w), trunc_int(r.h)};
        SDL_SetTextInputRect(&rect);
    }
    SDL_StartTextInput();
    zov_iprintf("- keyboard_show: OK\n");
}

void driver_keyboard_hide() {
    if (!_driver_keyboard_usable()) return;
    zov_iprintf("- keyboard_hide ...\n");
    SDL_StopTextInput();
    zov_iprintf("- keyboard_hide: OK\n");
}

int driver_keyboard_state() { return _driver_keyboard_usable() ? SDL_IsTextInputActive() : 0; }

int driver_keyboard_get_height() { return 0; }
void driver_keyboard_set_height(int) {}
void driver_keyboard_init(void*) {}

std::string driver_clipboard_get_text() {
    char* text = SDL_GetClipboardText();
    if (!text) return std::string(); // SDL failed: no text to give
    std::string copy(text);
    SDL_free(text);
    return copy;
}

void driver_clipboard_set_text(const std::string& text) { SDL_SetClipboardText(text.c_str()); }

// ====== Audio device and mixing ======
//
// Mixing runs in the work format of the sound loaders (float stereo at
// 44100 Hz), so a voice costs one copy and one multiply-add per value.  The
// device may change only the sample format: SDL keeps the rate and the
// channel count, so the callback's buffer arithmetic always holds.

// The device record.  Created by _driver_audio_open and deleted by
// _driver_audio_close, both on the main thread.  The callback reads it under
// the device lock; `peak` and the work buffers belong to the callback.
struct _SDL_audioData {
    SDL_AudioSpec work{};  // the mixing format
    SDL_AudioSpec _want{}; // asked of the device
    SDL_AudioSpec have{};  // granted by the device
    SDL_AudioDeviceID dev = 0;
    std::vector<AudioSource*> sources{nullptr}; // index = id; slot 0 unused
    std::vector<AudioPlaying> playing;
    float peak = 1.0f;
    std::atomic<unsigned long> memused{0}; // bytes held by sources; readable from any thread
    SDL_AudioCVT out_cvt{};       // work format -> granted format, built once
    std::vector<float> mix, scratch;
    std::vector<Uint8> out;
};

static _SDL_audioData* _sdl_audio_data = nullptr;

void _audio_memused_add(long delta) {
    unsigned long now = (_sdl_audio_data->memused += (unsigned long)delta);
    zov_iprintf("_mixer->memused: %.2fM\n", now / 1048576.0);
}

namespace {

bool _audio_is_ogg(const char* path) { return strstr(path, ".ogg") != nullptr; }

bool _audio_id_ok(const _SDL_audioData* a, int id) {
    return a && id > 0 && (size_t)id < a->sources.size();
}

// A volume that poisons no mix: NaN and infinities count as silence.
float _audio_volume(float vol) { return std::isfinite(vol) ? vol : 0.0f; }

int _audio_register(_SDL_audioData* a, AudioSource* src) {
    SDL_LockAudioDevice(a->dev); // growth may move the array the callback reads
    int id = (int)a->sources.size();
    a->sources.push_back(src);
    SDL_UnlockAudioDevice(a->dev);
    return id;
}

void _audio_add_voice(_SDL_audioData* a, const AudioPlaying& v) {
    SDL_LockAudioDevice(a->dev);
    a->playing.push_back(v);
    SDL_UnlockAudioDevice(a->dev);
}

void _audio_remove_voices(_SDL_audioData* a, int id) {
    SDL_LockAudioDevice(a->dev);
    for (int i = (int)a->playing.size() - 1; i >= 0; i--)
        if (a->playing[i].src == id) a->playing.erase(a->playing.begin() + i);
    SDL_UnlockAudioDevice(a->dev);
}

// The gain at value i of a linear ramp that goes from `from` to `to` over n
// values; computed per value so that long ramps do not drift.
inline float _audio_ramp(float from, float to, int i, int n) {
    return from + (to - from) * (float)i / (float)n;
}

} // namespace

// ------ Lifecycle ------

void _driver_audio_open() {
    if (_sdl_audio_data) return;
    _SDL_audioData* a = new _SDL_audioData();
    a->work.freq = AUDIO_FREQ;
    a->work.format = AUDIO_WORK_FORMAT;
    a->work.channels = AUDIO_CHANNELS;
    a->_want.freq = AUDIO_FREQ;
    a->_want.format = AUDIO_S16LSB;
    a->_want.channels = AUDIO_CHANNELS;
    a->_want.samples = 1024;
    a->_want.callback = _driver_audio_callback;
    // The converter is built here, on the main thread: SDL sets its
    // converters up lazily and not thread-safely, so the first one must not
    // be built by the callback.
    const bool started = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
    const bool ok = started &&
                    (a->dev = SDL_OpenAudioDevice(nullptr, 0, &a->_want, &a->have,
                                                  SDL_AUDIO_ALLOW_FORMAT_CHANGE)) != 0 &&
                    SDL_BuildAudioCVT(&a->out_cvt, a->work.format, a->work.channels, a->work.freq,
                                      a->have.format, a->have.channels, a->have.freq) >= 0;
    if (!ok) {
        const std::string why = SDL_GetError(); // before the clean-up can change it
        zov_iprintf("_mixer: error in audio_init\n");
        std::fflush(stdout); // the reason follows that line, also when both go to one file
        std::fprintf(stderr,
                     "tovmar2: no sound: %s; the game runs silent (SDL_AUDIODRIVER picks another audio driver)\n",
                     why.c_str());
        if (a->dev) SDL_CloseAudioDevice(a->dev);
        delete a;
        if (started) SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return;
    }
    SDL_LockAudioDevice(a->dev); // publishes the record to the audio thread
    _sdl_audio_data = a;
    SDL_UnlockAudioDevice(a->dev);
    zov_iprintf("_mixer: freq=%d, channels=%d, samples=%d\n", a->have.freq, a->have.channels, a->have.samples);
    zov_iprintf("_mixer: audio_init: OK\n");
    SDL_PauseAudioDevice(a->dev, 0);
}

void _driver_audio_close() {
    _SDL_audioData* a = _sdl_audio_data;
    if (!a) return;
    zov_iprintf("_mixer: audio_deinit ...\n");
    SDL_CloseAudioDevice(a->dev); // the callback has stopped when this returns
    a->playing.clear();
    while (a->sources.size() > 1) {
        delete a->sources.back();
        a->sources.pop_back();
    }
    delete a;
    _sdl_audio_data = nullptr;
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    zov_iprintf("_mixer: audio_deinit: OK\n");
}

// ------ Sounds and voices ------

int driver_audio_sample_load(const char* path) {
    _SDL_audioData* a = _sdl_audio_data;
    if (!a || !path) return 0;
    AudioSource* src = _audio_is_ogg(path) ? _audio_load_ogg(path) : _audio_load_wav(path);
    if (!src) return 0;
    int id = _audio_register(a, src);
    zov_iprintf("_mixer: sample_load %d (%s)\n", id, path);
    return id;
}

int driver_audio_stream_load(const char* path, bool /*preload*/) {
    _SDL_audioData* a = _sdl_audio_data;
    if (!a || !path) return 0;
    AudioSource* src = _audio_is_ogg(path) ? _audio_new_ogg_stream(path) : _audio_load_wav(path);
    if (!src) return 0;
    int id = _audio_register(a, src);
    zov_iprintf("_mixer: stream_load %d (%s)\n", id, path);
    return id;
}

void driver_audio_sample_play(int id, float vol, float pan) {
    _SDL_audioData* a = _sdl_audio_data;
    if (!_audio_id_ok(a, id)) return;
    AudioPlaying v;
    v.src = id;
    v.vol = _audio_volume(vol);
    v.pan = pan;
    _audio_add_voice(a, v);
}

void driver_audio_stream_play(int id, float vol, float /*pos*/) {
    _SDL_audioData* a = _sdl_audio_data;
    if (!_audio_id_ok(a, id)) return;
    zov_iprintf("_mixer: stream_play %d\n", id);
    _audio_remove_voices(a, id);
    // Opened here, with no voice of it playing; a file that can't be opened
    // has logged why and adds no voice.
    if (!a->sources[id]->load()) return;
    AudioPlaying v;
    v.src = id;
    v.vol = _audio_volume(vol);
    v.loop = 1;
    _audio_add_voice(a, v);
}

void driver_audio_stream_stop(int id) {
    _SDL_audioData* a = _sdl_audio_data;
    if (!_audio_id_ok(a, id)) return;
    zov_iprintf("_mixer: stream_stop\n");
    _audio_remove_voices(a, id);
    a->sources[id]->unload();
}

void driver_audio_stream_volume(int id, float vol) {
    _SDL_audioData* a = _sdl_audio_data;
    if (!_audio_id_ok(a, id)) return;
    SDL_LockAudioDevice(a->dev);
    for (AudioPlaying& v : a->playing)
        if (v.src == id) v.vol = _audio_volume(vol);
    SDL_UnlockAudioDevice(a->dev);
}

void driver_audio_sample_reload(int) {}
void driver_audio_stream_reload(int) {}
void driver_audio_loop() {}

// ------ Mixing (audio thread) ------

void _driver_audio_mix(AudioPlaying* voice, int n, const float* s, float* m) {
    const float from = voice->_vol, to = voice->vol;
    if (from == 1.0f && to == 1.0f) {
        for (int i = 0; i < n; i++) m[i] += s[i];
    } else if (from == to) {
        for (int i = 0; i < n; i++) m[i] += s[i] * from;
    } else {
        for (int i = 0; i < n; i++) m[i] += s[i] * _audio_ramp(from, to, i, n);
    }
    voice->_vol = to;
}

void _driver_audio_normalize(int n, float* m) {
    _SDL_audioData* a = _sdl_audio_data;
    if (!a) return;
    float cur = 1.0f;
    for (int i = 0; i < n; i++) cur = std::max(cur, std::fabs(m[i]));
    const float start = std::max(cur, a->peak);
    if (start == cur) {
        if (cur != 1.0f) {
            const float g = 1.0f / cur;
            for (int i = 0; i < n; i++) m[i] *= g;
        }
    } else {
        const float from = 1.0f / start, to = 1.0f / cur;
        for (int i = 0; i < n; i++) m[i] *= _audio_ramp(from, to, i, n);
    }
    a->peak = cur;
}

void _driver_audio_callback(void*, Uint8* stream, int len) {
    _SDL_audioData* a = _sdl_audio_data;
    SDL_memset(stream, a ? a->have.silence : 0, len);
    if (!a || len <= 0) return;
    // The device keeps 2 channels at 44100 Hz, so a buffer of n device values
    // holds n work values; whole frames only.
    const int n = len / (SDL_AUDIO_BITSIZE(a->have.format) / 8) / AUDIO_CHANNELS * AUDIO_CHANNELS;
    a->mix.assign(n, 0.0f);
    a->scratch.resize(n);
    for (int i = (int)a->playing.size() - 1; i >= 0; i--) {
        AudioPlaying& v = a->playing[i];
        AudioSource* src = a->sources[v.src];
        if (!v._init) {
            v._init = 1;
            v._vol = v.vol; // a new voice starts at its volume
        }
        std::fill(a->scratch.begin(), a->scratch.end(), 0.0f);
        src->get_samples(v.cur, n, a->scratch.data());
        _driver_audio_mix(&v, n, a->scratch.data(), a->mix.data());
        // Asked after get_samples: a stream learns its length when it ends.
        const long long next = (long long)v.cur + n;
        if (next < src->get_length()) v.cur = (int)next;
        else if (v.loop) v.cur = 0;
        else a->playing.erase(a->playing.begin() + i); // only visited voices move
    }
    _driver_audio_normalize(n, a->mix.data());
    const int bytes = n * (int)sizeof(float);
    if (!a->out_cvt.needed) {
        SDL_memcpy(stream, a->mix.data(), std::min(bytes, len));
        return;
    }
    a->out.resize((size_t)bytes * a->out_cvt.len_mult);
    SDL_memcpy(a->out.data(), a->mix.data(), bytes);
    a->out_cvt.buf = a->out.data();
    a->out_cvt.len = bytes;
    if (SDL_ConvertAudio(&a->out_cvt) == 0) SDL_memcpy(stream, a->out.data(), std::min(a->out_cvt.len_cvt, len));
}

// ------ Queries ------

unsigned int _driver_audio_device() { return _sdl_audio_data ? _sdl_audio_data->dev : 0; }

int _driver_audio_voices() {
    _SDL_audioData* a = _sdl_audio_data;
    if (!a) return 0;
    SDL_LockAudioDevice(a->dev);
    int n = (int)a->playing.size();
    SDL_UnlockAudioDevice(a->dev);
    return n;
}

int _driver_audio_length(int id) {
    _SDL_audioData* a = _sdl_audio_data;
    if (!_audio_id_ok(a, id)) return 0;
    SDL_LockAudioDevice(a->dev); // a playing stream learns its length on the audio thread
    int len = a->sources[id]->get_length();
    SDL_UnlockAudioDevice(a->dev);
    return len;
}

unsigned long _driver_audio_memused() { return _sdl_audio_data ? _sdl_audio_data->memused.load() : 0; }
