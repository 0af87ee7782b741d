#include "zov_driver-snd_rate.h"

#include <soxr.h>

#include "zov_driver-snd_load.h"

namespace {

constexpr size_t kPieceFrames = 4096; // output handed on at a time

} // namespace

Resampler::Resampler() : buf(kPieceFrames * AUDIO_CHANNELS) {}

Resampler::~Resampler() { soxr_delete(conv); }

bool Resampler::start(long rate) {
    if (rate == in_rate) return !conv || soxr_clear(conv) == nullptr; // the same filter, emptied
    soxr_delete(conv);
    conv = nullptr;
    in_rate = rate;
    if (rate == AUDIO_FREQ) return true;
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    soxr_error_t error = nullptr;
    conv = soxr_create((double)rate, AUDIO_FREQ, AUDIO_CHANNELS, &error, nullptr, &quality, nullptr);
    if (error) {
        soxr_delete(conv);
        conv = nullptr;
        in_rate = 0;
    }
    return conv != nullptr;
}

void Resampler::put(const float* in, size_t frames, std::vector<float>* out) {
    if (!conv) {
        if (in_rate == AUDIO_FREQ) out->insert(out->end(), in, in + frames * AUDIO_CHANNELS);
        return;
    }
    drain(in, frames, out);
}

void Resampler::finish(std::vector<float>* out) {
    if (conv) drain(nullptr, 0, out); // no input: soxr gives out its tail
}

// Feeds the frames (none: the end of the signal) and appends every piece
// of output that comes until soxr has no more.
void Resampler::drain(const float* in, size_t frames, std::vector<float>* out) {
    for (;;) {
        size_t used = 0, made = 0;
        if (soxr_process(conv, in, frames, in ? &used : nullptr, buf.data(), kPieceFrames, &made)) return;
        out->insert(out->end(), buf.begin(), buf.begin() + (std::ptrdiff_t)(made * AUDIO_CHANNELS));
        if (!in) {
            if (made == 0) return;
            continue;
        }
        in += used * AUDIO_CHANNELS;
        frames -= used;
        if ((frames == 0 && made < kPieceFrames) || (used == 0 && made == 0)) return;
    }
}
