// zov_driver-snd_load: the sound loaders: one sound file becomes one source
// that the audio device mixes.
//
// Every source gives its values in the work format, 32-bit float stereo at
// 44100 Hz, so mixing is one copy and one multiply-add per value.  A WAV
// file (SDL's reader, any sample format, rate and channel count) and an Ogg
// Vorbis sample (libvorbis) are decoded whole and converted when they load;
// an Ogg Vorbis stream keeps only its file bytes and is decoded and
// resampled one buffer at a time while it plays.
//
// No state of its own: the bytes a source holds are counted by the device
// (`_audio_memused_add`, zov_driver-sdl2).  Sources are made and opened on
// the main thread; the audio thread reads them under the device lock.
// Reached through the driver's `driver_audio_sample_load` and
// `driver_audio_stream_load` (zov_driver.h).
#pragma once

#include <SDL_audio.h>

// ====== Work format ======

constexpr int AUDIO_FREQ = 44100;
constexpr int AUDIO_CHANNELS = 2;
constexpr SDL_AudioFormat AUDIO_WORK_FORMAT = AUDIO_F32SYS;

// ====== Sources ======

// A sound: values in the work format, read by position.  Positions and
// lengths count values (2 per frame).
class AudioSource {
public:
    // The length in values; 0 for a stream that is not open.
    virtual int get_length() { return 0; }
    // Writes up to `length` values from position `start`; what lies past the
    // end is left unwritten.  The base source is silence.
    virtual void get_samples(int /*start*/, int length, float* out) {
        for (int i = 0; i < length; i++) out[i] = 0.0f;
    }
    // Makes the source ready to play (a stream opens its file); false, after
    // a log line, when it can't.
    virtual bool load() { return true; }
    // Gives back what `load` took.
    virtual void unload() {}
    virtual ~AudioSource() = default;
};

// ====== Loaders ======
// Each returns a new source (the caller deletes it), or null after its log
// line.

// A WAV file decoded whole.
AudioSource* _audio_load_wav(const char* path);
// An Ogg Vorbis file decoded whole.
AudioSource* _audio_load_ogg(const char* path);
// An Ogg Vorbis stream for the path; nothing is read until `load`.
AudioSource* _audio_new_ogg_stream(const char* path);

// Counts `delta` bytes held by sources; the device keeps the total.
void _audio_memused_add(long delta);
