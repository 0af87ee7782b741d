#include "zov_driver-snd_load.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <SDL.h>

#include "zov_driver-snd_ogg.h"
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
        data.shrink_to_fit(); // what a decoder grew beyond the sound goes back
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

// An Ogg Vorbis file held in memory, in the work format: decoded and
// resampled in order from the first value to its exact end, the file's
// frames x 44100 / its rate, in whole frames.  Starting again reads no
// header.
class VorbisWork {
public:
    VorbisWork() = default;
    VorbisWork(const VorbisWork&) = delete;
    VorbisWork& operator=(const VorbisWork&) = delete;
    ~VorbisWork() { close(); }

    // "" when the bytes (which must outlive the reading) play; else what
    // failed, with nothing left open.
    std::string open(const unsigned char* bytes, size_t size);
    void close();
    void rewind();
    // Writes up to `count` values (a whole number of frames): the count,
    // fewer only at the end.
    int read(float* out, int count);
    bool at_end() { return !fill(); }

private:
    static constexpr int kBlockFrames = 1024;
    bool fill();
    void put(int frames);

    VorbisDecoder dec;
    SDL_AudioStream* conv = nullptr; // file rate and channels -> work format
    std::vector<float> block;        // one block of the file's frames
    long long frames_in = 0, values_out = 0;
    long long end = -1; // the values of the file, once the decoder has ended
};

std::string VorbisWork::open(const unsigned char* bytes, size_t size) {
    close();
    std::string why;
    if (!dec.open(bytes, size, &why)) return why.empty() ? kOggOpenFailed : why;
    why = rate_refusal(dec.rate());
    if (why.empty()) {
        conv = SDL_NewAudioStream(AUDIO_F32SYS, (Uint8)dec.channels(), (int)dec.rate(),
                                  AUDIO_WORK_FORMAT, AUDIO_CHANNELS, AUDIO_FREQ);
        if (!conv) why = "SDL_NewAudioStream";
    }
    if (!why.empty()) {
        close();
        return why;
    }
    block.resize((size_t)dec.channels() * kBlockFrames);
    rewind();
    return "";
}

void VorbisWork::close() {
    dec.close();
    SDL_FreeAudioStream(conv);
    conv = nullptr;
}

void VorbisWork::rewind() {
    dec.rewind();
    SDL_AudioStreamClear(conv);
    frames_in = values_out = 0;
    end = -1;
}

void VorbisWork::put(int frames) {
    SDL_AudioStreamPut(conv, block.data(), frames * dec.channels() * (int)sizeof(float));
}

// True while values are left: converted ones wait, decoding the next block
// when none do.
bool VorbisWork::fill() {
    for (;;) {
        if (end >= 0 && values_out >= end) return false;
        if (SDL_AudioStreamAvailable(conv) > 0) return true;
        if (end >= 0) return false; // the resampler gave less than the file holds
        const int n = dec.read(block.data(), kBlockFrames);
        if (n > 0) {
            frames_in += n;
            put(n);
            continue;
        }
        end = (long long)((double)frames_in * AUDIO_FREQ / (double)dec.rate()) * AUDIO_CHANNELS;
        // The resampler holds back its last frames until more comes, and a
        // flush alone loses them: silence pushes them out (and is cut at
        // `end`).
        std::fill(block.begin(), block.end(), 0.0f);
        for (int i = 0; i < 64 && values_out + SDL_AudioStreamAvailable(conv) / (long long)sizeof(float) < end; i++)
            put(kBlockFrames);
        SDL_AudioStreamFlush(conv);
    }
}

int VorbisWork::read(float* out, int count) {
    int got = 0;
    while (got < count && fill()) {
        long long want = count - got;
        if (end >= 0) want = std::min(want, end - values_out);
        const int bytes = SDL_AudioStreamGet(conv, out + got, (int)want * (int)sizeof(float));
        if (bytes <= 0) break;
        got += bytes / (int)sizeof(float);
        values_out += bytes / (int)sizeof(float);
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
    const std::string why = work.open(mem, (size_t)size);
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
// one, when it is too long or SDL can't convert it.
AudioSource* _audio_to_work(SDL_AudioFormat format, int channels, int freq, const Uint8* buf, Uint32 len,
                            std::string* why) {
    Uint32 frame = SDL_AUDIO_BITSIZE(format) / 8 * channels;
    len -= len % frame; // a truncated file ends on its last whole frame
    // Checked before anything is allocated for it.
    if ((double)(len / frame) * AUDIO_FREQ / freq * AUDIO_CHANNELS > (double)kHeldValues) {
        *why = too_long();
        return nullptr;
    }
    SDL_AudioCVT cvt;
    if (SDL_BuildAudioCVT(&cvt, format, (Uint8)channels, freq, AUDIO_WORK_FORMAT, AUDIO_CHANNELS, AUDIO_FREQ) < 0)
        return nullptr;
    if ((unsigned long long)len * cvt.len_mult > INT_MAX) return nullptr;
    std::vector<Uint8> tmp((size_t)len * cvt.len_mult);
    std::copy(buf, buf + len, tmp.begin());
    cvt.buf = tmp.data();
    cvt.len = (int)len;
    if (SDL_ConvertAudio(&cvt) < 0) return nullptr;
    const float* values = (const float*)tmp.data();
    const int count = cvt.len_cvt / (int)sizeof(float);
    return new AudioSourceMemory(std::vector<float>(values, values + count - count % AUDIO_CHANNELS));
}

// SDL allocates what a RIFF chunk's header claims before it reads the
// chunk, so a 300-byte file could ask for 4 GiB: each chunk that claims more
// than the file holds is cut to what is there, which is all SDL would read.
// The chunks follow the 12-byte RIFF header, or start at byte 4 of a file
// that begins with "WAVE" (SDL reads those too).
void _audio_wav_fit_chunks(Uint8* wav, int size) {
    const bool bare = size >= 4 && std::memcmp(wav, "WAVE", 4) == 0;
    for (long long pos = bare ? 4 : 12; pos + 8 <= size;) {
        Uint32 len;
        std::memcpy(&len, wav + pos + 4, 4);
        len = SDL_SwapLE32(len);
        const Uint32 room = (Uint32)(size - pos - 8);
        if (len > room) {
            len = room;
            const Uint32 le = SDL_SwapLE32(len);
            std::memcpy(wav + pos + 4, &le, 4);
        }
        pos += 8 + (long long)len + (len & 1); // chunks are padded to even sizes
    }
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

} // namespace

AudioSource* _audio_load_wav(const char* path) {
    SDL_AudioSpec spec;
    Uint8* buf = nullptr;
    Uint32 len = 0;
    AudioSource* src = nullptr;
    std::string why; // stays empty when SDL can't read or convert the file
    int size = 0;
    Uint8* wav = (Uint8*)driver_file_alloc(path, &size);
    if (wav) {
        _audio_wav_fit_chunks(wav, size);
        if (SDL_LoadWAV_RW(SDL_RWFromConstMem(wav, size), 1, &spec, &buf, &len)) {
            why = rate_refusal(spec.freq);
            if (why.empty()) src = _audio_to_work(spec.format, spec.channels, spec.freq, buf, len, &why);
            SDL_FreeWAV(buf);
        }
        free(wav);
    }
    if (src) return src;
    if (why.empty()) zov_iprintf("_mixer: error in _sample_load_wav '%s'\n", path);
    else zov_iprintf("_mixer: error in _sample_load_wav '%s' (%s)\n", path, why.c_str());
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
        why = work.open(mem, (size_t)size);
        if (why == kOggOpenFailed) why = kOggDecodeFailed;
        if (why.empty()) why = _audio_read_whole(work, &values);
    }
    free(mem);
    if (!why.empty()) {
        zov_iprintf("_mixer: error in _sample_load_ogg '%s' (%s)\n", path, why.c_str());
        return nullptr;
    }
    return new AudioSourceMemory(std::move(values));
}

AudioSource* _audio_new_ogg_stream(const char* path) { return new AudioSourceVorbis(path); }
