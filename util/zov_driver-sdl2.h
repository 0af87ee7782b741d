// zov_driver-sdl2: the driver's calls into SDL2: start-up and shut-down of
// the SDL subsystems, the timer, the one window with its OpenGL context, SDL
// input turned into `Event` records, the screen keyboard and the clipboard,
// and the audio device, which mixes the playing voices on SDL's audio
// thread.  The sound files it plays are decoded by zov_driver-snd_load.
//
// State, private to this file: the window and the GL context handles, the
// pending text input, the joysticks' last axis values, and the audio device
// record.  The context is created with the first window and kept until the
// video part stops, so every GL object survives a re-created (full-screen)
// window.  Main thread only, but for the audio callback, which reads the
// device record under the device lock.  The public calls are declared in
// zov_driver.h.
#pragma once

#include "zov_driver.h"

struct SDL_Window;

// Video part of driver_init: idiom "desktop", SDL video, version lines,
// joysticks (each one attached now is opened).  Makes no window.
void _driver_video_init();
// Deletes the GL context and the window, stops SDL video.
void _driver_video_deinit();
// Stops the timer and then SDL as a whole.
void _driver_timer_deinit();

// Creates or re-creates the window (the GL context is kept); returns the
// window, or null when none could be made.
SDL_Window* _try_init_video(int ww, int hh, int full);
// Brings viewport, size, aspect, scale and orientation in line with the
// window; nothing without a window.
void _driver_video_resize();

// The window, or null.
SDL_Window* driver_sdl2_window();
// Destroys the window (the GL context stays).
void driver_sdl2_window_destroy();
