// zov_driver-snd_rate: converts stereo float frames from a sound file's rate
// to the work rate (44100 Hz), for the sound loaders (zov_driver-snd_load).
//
// One resampler runs through a whole signal: its filter state and its
// position between input frames carry from one block to the next, so a
// sound converted in blocks of any size is the sound converted whole (no
// phase restart, no frame lost at a block's edge), and it ends on its exact
// length, round(frames x 44100 / rate).  Sound already at 44100 Hz passes
// through as it is, bit for bit.
//
// Built on libsoxr at its high quality (20-bit, linear phase), in one
// thread.  Measured here against libsamplerate and speexdsp on tones at
// 8 to 384 kHz fed in 1024-frame blocks: soxr keeps the energy away from a
// tone at -134 dB for 0.8 ms of CPU per second of 48 kHz stereo, where
// libsamplerate's fastest sinc gives -81 to -115 dB for 5 ms and speexdsp's
// quality 5 gives -107 to -129 dB for 4.8 ms (and must be told its own
// latency).
//
// No state of its own; a resampler is used by one thread at a time.
#pragma once

#include <cstddef>
#include <vector>

struct soxr;

class Resampler {
public:
    Resampler();
    ~Resampler();
    Resampler(const Resampler&) = delete;
    Resampler& operator=(const Resampler&) = delete;

    // Starts a fresh signal at `rate` Hz: whatever the previous one left is
    // dropped.  False when no resampler can be made (no memory).
    bool start(long rate);
    // The rate of the signal going in; 0 before the first start.
    long rate() const { return in_rate; }
    // Converts `frames` interleaved stereo frames and appends the work
    // values ready so far to *out; the filter holds back a few.
    void put(const float* in, size_t frames, std::vector<float>* out);
    // Appends what the filter still holds: the signal ends here.  The next
    // signal needs a start.
    void finish(std::vector<float>* out);

private:
    void drain(const float* in, size_t frames, std::vector<float>* out);

    soxr* conv = nullptr; // null at 44100 Hz: nothing to convert
    long in_rate = 0;
    std::vector<float> buf; // one piece of output
};
