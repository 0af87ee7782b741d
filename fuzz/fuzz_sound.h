// The sound loaders on any file, through the audio device's own calls: the
// file is loaded as a sample and as a stream, both are played, and a few
// buffers are mixed by hand on the paused device (SDL's dummy driver: no
// sound card needed).  Nothing unloads a sound but closing the device, and
// closing waits for the device thread, so the device is reopened only when
// the sounds loaded so far hold much memory.
#pragma once

#include <SDL.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "zov_driver.h"

inline void fuzz_sound(const uint8_t* data, size_t size, const char* name) {
    static bool ready = [] {
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        driver_init(0);
        return true;
    }();
    (void)ready;
    const std::string path = fuzz_file(name, data, size);
    if (_driver_audio_memused() > (64ul << 20)) _driver_audio_close();
    _driver_audio_open();
    const unsigned dev = _driver_audio_device();
    if (!dev) fuzz_fail("the dummy audio driver did not open");
    SDL_PauseAudioDevice(dev, 1);
    int sample = driver_audio_sample_load(path.c_str());
    int stream = driver_audio_stream_load(path.c_str(), false);
    driver_audio_sample_play(sample, 1.0f, 0.0f);
    driver_audio_stream_play(stream, 1.0f, 0.0f);
    std::vector<unsigned char> out(4096);
    for (int i = 0; i < 8 && _driver_audio_voices() > 0; i++) {
        SDL_LockAudioDevice(dev);
        _driver_audio_callback(nullptr, out.data(), (int)out.size());
        SDL_UnlockAudioDevice(dev);
    }
    // Ends the voices of both, and closes the streamed file.
    driver_audio_stream_stop(sample);
    driver_audio_stream_stop(stream);
}
