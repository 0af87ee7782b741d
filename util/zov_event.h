// zov_event: the one input and notification record of the system.
//
// The driver fills an `Event` from each platform event; the script host,
// the GUI toolkit and the social layer build their own with `Event(type)`.
// It is passed by value to the game and script dispatch and by pointer to
// widgets.  Plain data only: no state, no dependencies, any thread.
#pragma once

#include <type_traits>

// ====== Event types ======
// Who produces what: the driver 0, 1, 4, 6, 7, 11-17, 20-22; the script host
// 2, 5, 8-10; the GUI toolkit 23-27; the social layer 29, 30.
enum {
    EVT_NONE = 0,
    EVT_QUIT = 1,
    EVT_SUSPEND = 2,
    EVT_RESUME = 3,
    EVT_RESIZE = 4,
    EVT_RESET = 5,
    EVT_KEYDOWN = 6,
    EVT_KEYUP = 7,
    EVT_DOWN = 8,
    EVT_MOTION = 9,
    EVT_UP = 10,
    EVT_MOUSEDOWN = 11,
    EVT_MOUSEMOTION = 12,
    EVT_MOUSEUP = 13,
    EVT_WHEEL = 14,
    EVT_TOUCHDOWN = 15,
    EVT_TOUCHMOTION = 16,
    EVT_TOUCHUP = 17,
    EVT_ACCEL = 18,
    EVT_ORIENT = 19,
    EVT_JOYMOTION = 20,
    EVT_JOYDOWN = 21,
    EVT_JOYUP = 22,
    EVT_FOCUS = 23,
    EVT_BLUR = 24,
    EVT_ENTER = 25,
    EVT_EXIT = 26,
    EVT_CLICK = 27,
    EVT_SDLEVENT = 28,
    EVT_LOGIN = 29,
    EVT_LOGOUT = 30,
    EVT_CUSTOM = 31,
    EVT_MAX = 32
};

// ====== Key codes (the `v` field of key events) ======
// KEY_BACK, KEY_MENU and KEY_SEARCH exist for other platforms; the desktop
// driver never produces them.
enum {
    KEY_NONE = 0,
    KEY_UP = 1,
    KEY_RIGHT = 2,
    KEY_DOWN = 3,
    KEY_LEFT = 4,
    KEY_ESCAPE = 5,
    KEY_BACKSPACE = 6,
    KEY_DELETE = 7,
    KEY_RETURN = 8,
    KEY_HOME = 9,
    KEY_END = 10,
    KEY_BACK = 11,
    KEY_MENU = 12,
    KEY_SEARCH = 13,
    KEY_F1 = 14, KEY_F2, KEY_F3, KEY_F4, KEY_F5, KEY_F6,
    KEY_F7, KEY_F8, KEY_F9, KEY_F10, KEY_F11, KEY_F12,
    KEY_TAB = 26,
    KEY_SPACE = 27,
    // Keypad digits.
    KEY_P0 = 28, KEY_P1, KEY_P2, KEY_P3, KEY_P4,
    KEY_P5, KEY_P6, KEY_P7, KEY_P8, KEY_P9,
    KEY_a = 38, KEY_b, KEY_c, KEY_d, KEY_e, KEY_f, KEY_g, KEY_h, KEY_i,
    KEY_j, KEY_k, KEY_l, KEY_m, KEY_n, KEY_o, KEY_p, KEY_q, KEY_r,
    KEY_s, KEY_t, KEY_u, KEY_v, KEY_w, KEY_x, KEY_y, KEY_z,
    KEY_0 = 64, KEY_1, KEY_2, KEY_3, KEY_4,
    KEY_5, KEY_6, KEY_7, KEY_8, KEY_9,
    KEY_PLUS = 74,
    KEY_MINUS = 75,
    KEY_TILDE = 76,
    KEY_MAX = 77
};

// ====== The record ======
// 22 fields of 32 bits, in this order.  The underscored position fields hold
// raw window pixels; `x`, `y`, `dx`, `dy` start as copies of them and the
// graphics view maps them to view coordinates for the pointer events.
struct Event {
    int type;
    float x, y, z, dx, dy, dz; // position and motion in view coordinates
    float w, h;                // new window size (resize)
    float _x, _y, _z, _dx, _dy, _dz; // raw window-pixel values
    int b;      // button, button mask, modifier bits (1 shift, 2 ctrl, 4 alt,
                // 8 GUI), stick, or finger id + 1, by type
    int v;      // translated key code (KEY_*)
    int c;      // one byte of text input
    int t;      // 1 on a key-down that the keyboard repeats while the key is
                // held (the host's chords ignore those); not passed to scripts
    int _v;     // raw platform key code
    int stype;
    int device; // mouse, joystick instance or touch device id

    // A record of the given type with every other field zero.
    explicit Event(int type = EVT_NONE);
};

static_assert(sizeof(Event) == 88, "Event is 22 fields of 32 bits with no padding");
static_assert(std::is_trivially_copyable<Event>::value, "Event is passed by value and cleared bytewise");
