#include "zov_driver-snd_load.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>

#include <SDL.h>

#include "zov_driver-snd_ogg.h"
#include "zov_driver-snd_rate.h"
#include "zov_driver.h"
#include "zov_printf.h"
#include "zov_util.h"

namespace {

// ====== Limits ======

constexpr long long kHeldValues = (long long)AUDIO_HELD_SECONDS * AUDIO_FREQ * AUDIO_CHANNELS;

// Why a sound at `rate` Hz does not play, or "" when it does.
std::string rate_refusal(long rate) {
    if (rate >= AUDIO_RATE_MIN && rate <= AUDIO_RATE_MAX) return "";
    char why[128];
    std::snprintf(why, sizeof why, "a rate of %ld Hz: sounds play at %d to %d Hz", rate, AUDIO_RATE_MIN,
                  AUDIO_RATE_MAX);
    return why;
}

// Why a part of an Ogg Vorbis file does not play, or "" when it does: its
// rate, or more channels than the Vorbis order places.
std::string layout_refusal(long rate, int channels) {
    if (channels > 8) return std::to_string(channels) + " channels: Ogg Vorbis sounds play with 1 to 8 channels";
    return rate_refusal(rate);
}

// The steps that the log names when an Ogg Vorbis file does not decode, as
// it always has: the file does not open (a stream), or gives no sound (a
// sample).
const char* const kOggOpenFailed = "stb_vorbis_open_memory";
const char* const kOggDecodeFailed = "stb_vorbis_decode_memory";

std::string too_long() {
    return "longer than " + std::to_string(AUDIO_HELD_SECONDS) + " s: a longer sound plays as an Ogg Vorbis stream";
}

// ====== Sources ======

// A sound decoded whole, in the work format.
class AudioSourceMemory : public AudioSource {
public:
    explicit AudioSourceMemory(std::vector<float> values)
        : data(std::move(values)), len((int)data.size()), _memused(len * (int)sizeof(float)) {
        _audio_memused_add(_memused);
    }
    ~AudioSourceMemory() override { _audio_memused_add(-_memused); }
    int get_length() override { return len; }
    void get_samples(int start, int length, float* out) override {
        if (start >= len) return;
        int n = std::min(length, len - start);
        std::copy(data.begin() + start, data.begin() + start + n, out);
    }

private:
    std::vector<float> data;
    int len;
    int _memused;
};

// An Ogg Vorbis file held in memory, in the work format: decoded, mixed
// down to stereo and resampled in order from the first value to its end.
// Each part of a chained file is converted from its own rate; where the
// rate changes, the resampler gives out the previous part's last frames
// before it starts on the next, so every part keeps its length,
// round(frames x 44100 / its rate).  Starting again reads no header.
class VorbisWork {
public:
    VorbisWork() : block((size_t)AUDIO_CHANNELS * kBlockFrames) {}
    VorbisWork(const VorbisWork&) = delete;
    VorbisWork& operator=(const VorbisWork&) = delete;

    // "" when the bytes (which must outlive the reading) play; else what
    // failed, with nothing left open.  `name` is the file's, for the log.
    std::string open(const unsigned char* bytes, size_t size, const std::string& name);
    void close() { dec.close(); }
    void rewind();
    // Writes up to `count` values (a whole number of frames): the count,
    // fewer only at the end.
    int read(float* out, int count);
    bool at_end() { return !fill(); }

private:
    static constexpr int kBlockFrames = 1024;
    bool fill();
    bool next_block();

    VorbisDecoder dec;
    Resampler rate;
    std::vector<float> block; // one block of the decoder's stereo frames
    std::vector<float> ready; // converted values; those from `taken` on wait
    size_t taken = 0;
    bool ended = false;
    std::string name;
    bool stop_told = false; // a part that can't play is logged once
};

std::string VorbisWork::open(const unsigned char* bytes, size_t size, const std::string& file) {
    close();
    std::string why;
    if (!dec.open(bytes, size, &why)) return why.empty() ? kOggOpenFailed : why;
    name = file;
    stop_told = false;
    why = layout_refusal(dec.rate(), dec.channels());
    if (why.empty() && !rate.start(dec.rate())) why = "out of memory";
    if (!why.empty()) {
        close();
        return why;
    }
    rewind();
    return "";
}

void VorbisWork::rewind() {
    dec.rewind();
    rate.start(dec.rate()); // the first part's rate, fresh
    ready.clear();
    taken = 0;
    ended = false;
}

// Decodes and converts the next block into `ready`; false at the end, when
// the resampler's last values have gone into it.
bool VorbisWork::next_block() {
    const int n = dec.read(block.data(), kBlockFrames);
    std::string why = n > 0 ? layout_refusal(dec.rate(), dec.channels()) : "";
    if (!why.empty() && !stop_told) {
        stop_told = true;
        zov_iprintf("_mixer: '%s' ends before its part %zu (%s)\n", name.c_str(), dec.current_part() + 1,
                    why.c_str());
    }
    if (n <= 0 || !why.empty()) {
        rate.finish(&ready);
        return false;
    }
    if (dec.rate() != rate.rate()) { // a chained part at another rate
        rate.finish(&ready);
        if (!rate.start(dec.rate())) return false;
    }
    rate.put(block.data(), (size_t)n, &ready);
    return true;
}

// True while values are left: converted ones wait, decoding the next block
// when none do.
bool VorbisWork::fill() {
    while (taken == ready.size()) {
        if (ended) return false;
        ready.clear();
        taken = 0;
        ended = !next_block();
    }
    return true;
}

int VorbisWork::read(float* out, int count) {
    int got = 0;
    while (got < count && fill()) {
        const int n = (int)std::min<size_t>((size_t)(count - got), ready.size() - taken);
        std::copy(ready.begin() + (std::ptrdiff_t)taken, ready.begin() + (std::ptrdiff_t)(taken + n), out + got);
        taken += (size_t)n;
        got += n;
    }
    return got;
}

// An Ogg Vorbis file decoded while it plays.  The main thread opens it
// (`load`: the file is read and every header parsed) before its voice is
// added and closes it (`unload`) after its voices are gone; in between only
// the audio thread decodes, sequentially, and starts again at each loop
// without reading a header.  The file's rate and channels are converted, so
// a 48 kHz or mono file plays at its own pitch and length.
class AudioSourceVorbis : public AudioSource {
public:
    explicit AudioSourceVorbis(const char* path) : fname(path) {}
    ~AudioSourceVorbis() override { unload(); }
    int get_length() override { return file_mem ? len : 0; }
    void get_samples(int start, int length, float* out) override;
    bool load() override;
    void unload() override;

private:
    bool fail(const std::string& why) {
        zov_iprintf("_mixer: error in _stream_load_ogg '%s' (%s)\n", fname.c_str(), why.c_str());
        return false;
    }
    std::string fname;
    VorbisWork work;
    unsigned char* file_mem = nullptr; // the file, while it is open
    int len = 0;      // work values; AUDIO_LENGTH_UNKNOWN until a pass ends
    int _memused = 0; // the file size
};

bool AudioSourceVorbis::load() {
    if (file_mem) return true;
    zov_iprintf("_mixer: AudioSourceVorbis.load '%s' ...\n", fname.c_str());
    int size = 0;
    unsigned char* mem = (unsigned char*)driver_file_alloc(fname.c_str(), &size);
    if (!mem) return fail("driver_file_alloc");
    const std::string why = work.open(mem, (size_t)size, fname);
    if (!why.empty()) {
        free(mem);
        return fail(why);
    }
    file_mem = mem;
    len = AUDIO_LENGTH_UNKNOWN;
    _memused = size;
    _audio_memused_add(_memused);
    return true;
}

void AudioSourceVorbis::get_samples(int start, int length, float* out) {
    if (!file_mem || start >= len) return;
    if (start == 0) work.rewind();
    length = std::min(length, len - start);
    const int got = work.read(out, length);
    if (got < length || work.at_end()) len = start + got; // where the audio ends
}

void AudioSourceVorbis::unload() {
    if (!file_mem) return;
    zov_iprintf("_mixer: AudioSourceVorbis.unload '%s' ...\n", fname.c_str());
    work.close();
    free(file_mem);
    file_mem = nullptr;
    _audio_memused_add(-_memused);
    _memused = 0;
}

// ====== Decoding whole files ======

// Converts `len` bytes of sound in (format, channels, freq) into a memory
// source in the work format; null, with the reason in *why when there is
// one, when it is too long or SDL can't convert it.  SDL's converter turns
// the sample format and the channels (in the WAV order) into float stereo
// at the file's own rate, then the resampler takes the rate, a block at a
// time.  What is converted of `buf` is given back to the system as the
// conversion goes (the caller only frees it), so that a long sound is held
// about once, not twice, while it converts.
AudioSource* _audio_to_work(SDL_AudioFormat format, int channels, int freq, Uint8* buf, Uint32 len,
                            std::string* why) {
    constexpr Uint32 kBlockFrames = 4096;
    const Uint32 frame = SDL_AUDIO_BITSIZE(format) / 8 * channels;
    const Uint32 frames = len / frame; // a truncated file ends on its last whole frame
    // Checked before anything is allocated for it.
    const double values = std::round((double)frames * AUDIO_FREQ / freq) * AUDIO_CHANNELS;
    if (values > (double)kHeldValues) {
        *why = too_long();
        return nullptr;
    }
    SDL_AudioCVT cvt;
    Resampler rate;
    if (SDL_BuildAudioCVT(&cvt, format, (Uint8)channels, freq, AUDIO_WORK_FORMAT, AUDIO_CHANNELS, freq) < 0 ||
        !rate.start(freq))
        return nullptr;
    std::vector<Uint8> block((size_t)kBlockFrames * frame * cvt.len_mult);
    std::vector<float> out;
    out.reserve((size_t)values + 64); // the resampler's rounding: never grown
    const uintptr_t page = (uintptr_t)sysconf(_SC_PAGESIZE);
    uintptr_t released = ((uintptr_t)buf + page - 1) / page * page; // whole pages of `buf` only
    for (Uint32 at = 0, n; at < frames; at += n) {
        n = std::min(kBlockFrames, frames - at);
        std::copy(buf + (size_t)at * frame, buf + (size_t)(at + n) * frame, block.begin());
        cvt.buf = block.data();
        cvt.len = (int)(n * frame);
        if (cvt.needed && SDL_ConvertAudio(&cvt) < 0) return nullptr;
        rate.put((const float*)block.data(), n, &out);
        const uintptr_t upto = ((uintptr_t)buf + (size_t)(at + n) * frame) / page * page;
        if (upto > released) {
            madvise((void*)released, upto - released, MADV_DONTNEED); // their contents are lost
            released = upto;
        }
    }
    rate.finish(&out);
    return new AudioSourceMemory(std::move(out));
}

// SDL allocates what a RIFF chunk's header claims before it reads the
// chunk, so a 300-byte file could ask for 4 GiB.  Walks the chunks, which
// follow the 12-byte RIFF header, or start at byte 4 of a file that begins
// with "WAVE" (SDL reads those too); true when one claims more than the
// file holds.  Given the file's `bytes`, each such chunk is cut to what is
// there, which is all SDL would read.
bool _audio_wav_fit_chunks(SDL_RWops* rw, Uint8* bytes) {
    const Sint64 size = SDL_RWsize(rw);
    char head[4] = {};
    const bool bare = SDL_RWread(rw, head, 4, 1) == 1 && std::memcmp(head, "WAVE", 4) == 0;
    bool overrun = false;
    for (Sint64 pos = bare ? 4 : 12; pos + 8 <= size;) {
        Uint32 len;
        if (SDL_RWseek(rw, pos + 4, RW_SEEK_SET) < 0 || SDL_RWread(rw, &len, 4, 1) != 1) break;
        len = SDL_SwapLE32(len);
        if ((Sint64)len > size - pos - 8) {
            overrun = true;
            len = (Uint32)(size - pos - 8);
            const Uint32 le = SDL_SwapLE32(len);
            if (bytes) std::memcpy(bytes + pos + 4, &le, 4);
        }
        pos += 8 + (Sint64)len + (len & 1); // chunks are padded to even sizes
    }
    SDL_RWseek(rw, 0, RW_SEEK_SET);
    return overrun;
}

// A WAV file for SDL's reader: the file itself, so that SDL's copy of the
// sound is the only one; or, when a chunk must be cut, the file's bytes,
// cut, in *bytes (freed by the caller).  Null when it can't be read.
SDL_RWops* _audio_wav_open(const char* path, Uint8** bytes) {
    // A regular file (opening a FIFO would wait for a writer) of a size that
    // any file loaded whole may have.
    const int size_seen = driver_file_fsize(path);
    SDL_RWops* rw = size_seen > 0 && size_seen < INT_MAX ? SDL_RWFromFile(path, "rb") : nullptr;
    if (!rw) return nullptr;
    if (!_audio_wav_fit_chunks(rw, nullptr)) return rw;
    SDL_RWclose(rw);
    int size = 0;
    *bytes = (Uint8*)driver_file_alloc(path, &size);
    if (!*bytes) return nullptr;
    rw = SDL_RWFromConstMem(*bytes, size);
    if (rw) _audio_wav_fit_chunks(rw, *bytes);
    return rw;
}

// Reads the whole of `work` into *values; "" when it holds a sound that may
// be held decoded.
std::string _audio_read_whole(VorbisWork& work, std::vector<float>* values) {
    const int block = 1 << 16;
    for (int got = block; got == block;) {
        if ((long long)values->size() > kHeldValues) return too_long();
        const size_t at = values->size();
        values->resize(at + block);
        got = work.read(values->data() + at, block);
        values->resize(at + got);
    }
    if ((long long)values->size() > kHeldValues) return too_long();
    return values->empty() ? kOggDecodeFailed : "";
}

// SDL's reason for its last failure, or `otherwise` when it gave none.
std::string sdl_reason(const char* otherwise) {
    const char* e = SDL_GetError();
    return e && *e ? e : otherwise;
}

// Why SDL did not read the WAV file `rw` was opened on (null: it could not
// be).  A name without ".ogg" is read as WAV, so an Ogg file named x.oga or
// x.OGG ends here: its first bytes tell.
std::string wav_failure(SDL_RWops* rw) {
    if (!rw) return "file missing, empty or not a regular file";
    char head[4] = {};
    if (SDL_RWseek(rw, 0, RW_SEEK_SET) == 0 && SDL_RWread(rw, head, 4, 1) == 1 && std::memcmp(head, "OggS", 4) == 0)
        return "an Ogg file: only names holding .ogg are read as Ogg Vorbis";
    return sdl_reason("not a WAV file");
}

} // namespace

AudioSource* _audio_load_wav(const char* path) {
    SDL_AudioSpec spec;
    Uint8* buf = nullptr;
    Uint32 len = 0;
    AudioSource* src = nullptr;
    std::string why;
    Uint8* bytes = nullptr;
    SDL_RWops* rw = _audio_wav_open(path, &bytes);
    SDL_ClearError(); // only this file's failure may be told
    const bool read = rw && SDL_LoadWAV_RW(rw, 0, &spec, &buf, &len);
    if (!read) why = wav_failure(rw);
    if (rw) SDL_RWclose(rw);
    free(bytes); // SDL has its own copy of the sound
    if (read) {
        why = rate_refusal(spec.freq);
        if (why.empty()) src = _audio_to_work(spec.format, spec.channels, spec.freq, buf, len, &why);
        if (!src && why.empty()) why = sdl_reason("SDL cannot convert it");
        SDL_FreeWAV(buf);
    }
    if (src) return src;
    zov_iprintf("_mixer: error in _sample_load_wav '%s' (%s)\n", path, why.c_str());
    return nullptr;
}

// Decodes a whole Ogg Vorbis file through the stream's own decoder and
// converter.  The values grow with what really decodes: the length a
// header claims is not trusted.
AudioSource* _audio_load_ogg(const char* path) {
    int size = 0;
    unsigned char* mem = (unsigned char*)driver_file_alloc(path, &size);
    if (!mem) {
        zov_iprintf("_mixer: error in _sample_load_ogg '%s' (driver_file_alloc)\n", path);
        return nullptr;
    }
    std::vector<float> values;
    std::string why;
    {
        VorbisWork work;
        why = work.open(mem, (size_t)size, path);
        if (why == kOggOpenFailed) why = kOggDecodeFailed;
        if (why.empty()) why = _audio_read_whole(work, &values);
    }
    free(mem);
    if (!why.empty()) {
        zov_iprintf("_mixer: error in _sample_load_ogg '%s' (%s)\n", path, why.c_str());
        return nullptr;
    }
    values.shrink_to_fit(); // what the decoding grew beyond the sound goes back
    return new AudioSourceMemory(std::move(values));
}

AudioSource* _audio_new_ogg_stream(const char* path) { return new AudioSourceVorbis(path); }
