// zov_driver-snd_load: the sound loaders: one sound file becomes one source
// that the audio device mixes.
//
// Every source gives its values in the work format, 32-bit float stereo at
// 44100 Hz, so mixing is one copy and one multiply-add per value.  A WAV
// file (SDL's reader, any sample format, rate and channel count) and an Ogg
// Vorbis sample are decoded whole and converted when they load; an Ogg
// Vorbis stream keeps only its file bytes and its decoder, and is decoded
// (zov_driver-snd_ogg) and resampled one buffer at a time while it plays.
// Every rate goes through the one resampler (zov_driver-snd_rate), whose
// state runs from block to block.
//
// Limits, so that no file can exhaust memory: a sound's rate lies between
// AUDIO_RATE_MIN and AUDIO_RATE_MAX, a sound decoded whole lasts at most
// AUDIO_HELD_SECONDS (a longer one plays as an Ogg Vorbis stream), and an
// Ogg Vorbis file's headers may make its decoder take at most 128 MB
// (zov_driver-snd_ogg).
//
// No state of its own: the bytes a source holds are counted by the device
// (`_audio_memused_add`, zov_driver-sdl2).  Sources are made and opened on
// the main thread; the audio thread reads them under the device lock, and
// nothing it calls there reads a file or a header.  Reached through the
// driver's `driver_audio_sample_load` and `driver_audio_stream_load`
// (zov_driver.h).
#pragma once

#include <climits>

#include <SDL_audio.h>

// ====== Work format ======

constexpr int AUDIO_FREQ = 44100;
constexpr int AUDIO_CHANNELS = 2;
constexpr SDL_AudioFormat AUDIO_WORK_FORMAT = AUDIO_F32SYS;

// ====== Limits ======

// The rates of sound files that play: what sound devices offer, with room
// on both sides.  A rate far outside multiplies a file's size when it is
// converted (1 Hz by 44,100).
constexpr int AUDIO_RATE_MIN = 4000;
constexpr int AUDIO_RATE_MAX = 384000;
// The longest sound decoded whole: 5 minutes, about 106 MB in the work
// format.
constexpr int AUDIO_HELD_SECONDS = 300;
// A stream's length until it has played to its end: the end of a stream is
// where its audio ends, never what its header claims.
constexpr int AUDIO_LENGTH_UNKNOWN = INT_MAX;

// ====== Sources ======

// A sound: values in the work format, read by position.  Positions and
// lengths count values (2 per frame).
class AudioSource {
public:
    // The length in values; 0 for a stream that is not open, and
    // AUDIO_LENGTH_UNKNOWN for one that has not yet played to its end (its
    // length is known from the buffer that reaches the end on).
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
