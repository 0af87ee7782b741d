#include "zov_driver-snd_load.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <SDL.h>
#include <vorbis/vorbisfile.h>

#include "zov_driver.h"
#include "zov_printf.h"
#include "zov_util.h"

namespace {

// ====== Sources ======

// A sound decoded whole, in the work format.
class AudioSourceMemory : public AudioSource {
public:
    AudioSourceMemory(int count, const float* values)
        : len(count), data(values, values + count), _memused(count * (int)sizeof(float)) {
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
    int len;
    std::vector<float> data;
    int _memused;
};

// Ogg Vorbis held in memory, decoded block by block at the file's own rate
// and channel count by libvorbisfile, which is never asked to seek (see
// `measure` and `start`).  The bytes must outlive the decoder.
class VorbisDecoder {
public:
    VorbisDecoder() = default;
    VorbisDecoder(const VorbisDecoder&) = delete;
    VorbisDecoder& operator=(const VorbisDecoder&) = delete;
    ~VorbisDecoder() { close(); }

    // False, with nothing left open, when the bytes do not decode.
    bool open(const unsigned char* bytes, size_t size);
    void close();
    // The layout of the last file opened and the frames its header claims
    // for the parts of that layout; they stay readable after close.
    int channels() const { return chans; }
    int rate() const { return freq; }
    long long frames() const { return total; }
    // Back to the first frame, by opening the bytes again; false when they
    // no longer open.
    bool rewind() { return mem && start(); }
    // Writes up to `frames` interleaved frames to out: the count, 0 at the end.
    int read(float* out, int frames);

private:
    bool measure();
    bool start();
    static size_t mem_read(void* ptr, size_t size, size_t count, void* self);
    static int mem_seek(void* self, ogg_int64_t offset, int whence);
    static long mem_tell(void* self);

    OggVorbis_File vf{};
    bool is_open = false;
    const unsigned char* mem = nullptr;
    size_t mem_size = 0, mem_pos = 0;
    int chans = 0, freq = 0;
    long long total = 0;
};

size_t VorbisDecoder::mem_read(void* ptr, size_t size, size_t count, void* self) {
    VorbisDecoder* d = static_cast<VorbisDecoder*>(self);
    if (size == 0) return 0;
    size_t n = std::min(count, (d->mem_size - d->mem_pos) / size);
    std::memcpy(ptr, d->mem + d->mem_pos, n * size);
    d->mem_pos += n * size;
    return n;
}

int VorbisDecoder::mem_seek(void* self, ogg_int64_t offset, int whence) {
    VorbisDecoder* d = static_cast<VorbisDecoder*>(self);
    const ogg_int64_t size = (ogg_int64_t)d->mem_size;
    const ogg_int64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? (ogg_int64_t)d->mem_pos : size;
    if (offset < -base || offset > size - base) return -1;
    d->mem_pos = (size_t)(base + offset);
    return 0;
}

long VorbisDecoder::mem_tell(void* self) { return (long)static_cast<VorbisDecoder*>(self)->mem_pos; }

bool VorbisDecoder::open(const unsigned char* bytes, size_t size) {
    close();
    mem = bytes;
    mem_size = size;
    if (!measure() || !start()) {
        close();
        return false;
    }
    return true;
}

// A seekable open finds where each part of a chained file ends, which gives
// the length; it is closed again without decoding a frame, since it leaves
// the decoder in the last part, and a seek back (ov_pcm_seek) breaks
// libogg's stream state on some damaged files: the next read then crashes
// inside libogg 1.3.5 (a negative-size memmove in ogg_stream_pagein).
bool VorbisDecoder::measure() {
    OggVorbis_File probe;
    mem_pos = 0;
    const ov_callbacks io = {mem_read, mem_seek, nullptr, mem_tell};
    if (ov_open_callbacks(this, &probe, nullptr, 0, io) != 0) return false; // it has cleaned up
    const vorbis_info* first = ov_info(&probe, 0);
    const bool ok = first && first->channels > 0 && first->rate > 0 && first->rate <= INT_MAX;
    if (ok) {
        chans = first->channels;
        freq = (int)first->rate;
        // The parts that play: those of the first part's layout, up to the
        // first that differs.
        total = 0;
        for (int link = 0; link < ov_streams(&probe); link++) {
            const vorbis_info* info = ov_info(&probe, link);
            const ogg_int64_t frames = ov_pcm_total(&probe, link);
            if (!info || info->channels != chans || info->rate != freq || frames < 0) break;
            // Each claim capped to what can play, so the sum cannot overflow.
            total += std::min<ogg_int64_t>(frames, INT_MAX);
        }
    }
    ov_clear(&probe);
    return ok;
}

// Decoding reads the bytes from the first on, as a stream that cannot seek:
// libvorbisfile then never seeks, and starting again is opening again.
bool VorbisDecoder::start() {
    if (is_open) ov_clear(&vf);
    is_open = false;
    mem_pos = 0;
    const ov_callbacks io = {mem_read, nullptr, nullptr, nullptr};
    if (ov_open_callbacks(this, &vf, nullptr, 0, io) != 0) return false;
    is_open = true;
    return true;
}

void VorbisDecoder::close() {
    if (is_open) ov_clear(&vf);
    is_open = false;
    mem = nullptr;
}

int VorbisDecoder::read(float* out, int frames) {
    while (is_open) {
        float** pcm = nullptr;
        int link = 0;
        long got = ov_read_float(&vf, &pcm, frames, &link);
        if (got == OV_HOLE) continue; // a gap in the data: decoding goes on after it
        // A chained file whose next part has another layout ends here: the
        // caller was told the first part's.
        const vorbis_info* info = got > 0 ? ov_info(&vf, link) : nullptr;
        if (!info || info->channels != chans || info->rate != freq) return 0;
        for (long f = 0; f < got; f++)
            for (int c = 0; c < chans; c++) out[f * chans + c] = pcm[c][f];
        return (int)got;
    }
    return 0;
}

// An Ogg Vorbis file decoded while it plays.  The main thread opens it
// (`load`) before its voice is added and closes it (`unload`) after its
// voices are gone; in between only the audio thread decodes, sequentially.
// A resampling stream turns the file's rate and channels into the work
// format, so a 48 kHz or mono file plays at its own pitch and length.
class AudioSourceVorbis : public AudioSource {
public:
    explicit AudioSourceVorbis(const char* path) : fname(path) {}
    ~AudioSourceVorbis() override { unload(); }
    int get_length() override { return file_mem ? len : 0; }
    void get_samples(int start, int length, float* out) override;
    bool load() override;
    void unload() override;

private:
    bool fail(const char* what) {
        zov_iprintf("_mixer: error in _stream_load_ogg '%s' (%s)\n", fname.c_str(), what);
        return false;
    }
    std::string fname;
    VorbisDecoder dec;
    unsigned char* file_mem = nullptr; // the file, while the decoder is open
    int len = 0;      // work values: 2 x the frames at 44100 Hz
    int _memused = 0; // the file size
    SDL_AudioStream* conv = nullptr; // file rate and channels -> work format
    bool drained = false; // the decoder ended and the converter was flushed
    std::vector<float> decoded; // one block of the file's frames
};

bool AudioSourceVorbis::load() {
    if (file_mem) return true;
    zov_iprintf("_mixer: AudioSourceVorbis.load '%s' ...\n", fname.c_str());
    int size = 0;
    unsigned char* mem = (unsigned char*)driver_file_alloc(fname.c_str(), &size);
    if (!mem) return fail("driver_file_alloc");
    // The log names the failing step as it always has.
    const char* failed = nullptr;
    if (!dec.open(mem, (size_t)size)) {
        failed = "stb_vorbis_open_memory";
    } else {
        conv = SDL_NewAudioStream(AUDIO_F32SYS, (Uint8)dec.channels(), dec.rate(), AUDIO_WORK_FORMAT,
                                  AUDIO_CHANNELS, AUDIO_FREQ);
        if (!conv) failed = "SDL_NewAudioStream";
    }
    if (failed) {
        dec.close();
        free(mem);
        return fail(failed);
    }
    file_mem = mem;
    decoded.resize((size_t)dec.channels() * 1024);
    // Whole frames: a half frame at the end would leave one channel unplayed.
    double frames = (double)dec.frames() * AUDIO_FREQ / dec.rate();
    len = std::min(trunc_int(frames), INT_MAX / AUDIO_CHANNELS) * AUDIO_CHANNELS;
    drained = false;
    _memused = size;
    _audio_memused_add(_memused);
    return true;
}

void AudioSourceVorbis::get_samples(int start, int length, float* out) {
    if (!file_mem || start >= len) return; // never opens files on the audio thread
    if (start == 0) {
        SDL_AudioStreamClear(conv);
        drained = !dec.rewind(); // bytes that no longer open play silence
    }
    length = std::min(length, len - start);
    int got = 0;
    while (got < length) {
        int bytes = SDL_AudioStreamGet(conv, out + got, (length - got) * (int)sizeof(float));
        if (bytes > 0) {
            got += bytes / (int)sizeof(float);
            continue;
        }
        if (drained) break;
        int n = dec.read(decoded.data(), 1024);
        if (n > 0) {
            SDL_AudioStreamPut(conv, decoded.data(), n * dec.channels() * (int)sizeof(float));
        } else {
            // The resampler holds back the last milliseconds until more
            // comes, and a flush alone loses them: silence pushes them out
            // (what passes the length is cut above).
            std::fill(decoded.begin(), decoded.end(), 0.0f);
            SDL_AudioStreamPut(conv, decoded.data(), (int)(decoded.size() * sizeof(float)));
            SDL_AudioStreamFlush(conv);
            drained = true;
        }
    }
}

void AudioSourceVorbis::unload() {
    if (!file_mem) return;
    zov_iprintf("_mixer: AudioSourceVorbis.unload '%s' ...\n", fname.c_str());
    dec.close();
    free(file_mem);
    file_mem = nullptr;
    SDL_FreeAudioStream(conv);
    conv = nullptr;
    _audio_memused_add(-_memused);
    _memused = 0;
}

// ====== Decoding whole files ======

// Converts `len` bytes of sound in (format, channels, freq) into a memory
// source in the work format; null when SDL can't convert it.
AudioSource* _audio_to_work(SDL_AudioFormat format, int channels, int freq, const Uint8* buf, Uint32 len) {
    SDL_AudioCVT cvt;
    if (SDL_BuildAudioCVT(&cvt, format, (Uint8)channels, freq, AUDIO_WORK_FORMAT, AUDIO_CHANNELS, AUDIO_FREQ) < 0)
        return nullptr;
    Uint32 frame = SDL_AUDIO_BITSIZE(format) / 8 * channels;
    len -= len % frame; // a truncated file ends on its last whole frame
    if ((unsigned long long)len * cvt.len_mult > INT_MAX) return nullptr;
    std::vector<Uint8> tmp((size_t)len * cvt.len_mult);
    std::copy(buf, buf + len, tmp.begin());
    cvt.buf = tmp.data();
    cvt.len = (int)len;
    if (SDL_ConvertAudio(&cvt) < 0) return nullptr;
    int values = cvt.len_cvt / (int)sizeof(float);
    return new AudioSourceMemory(values - values % AUDIO_CHANNELS, (const float*)tmp.data());
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

} // namespace

AudioSource* _audio_load_wav(const char* path) {
    SDL_AudioSpec spec;
    Uint8* buf = nullptr;
    Uint32 len = 0;
    AudioSource* src = nullptr;
    int size = 0;
    Uint8* wav = (Uint8*)driver_file_alloc(path, &size);
    if (wav) {
        _audio_wav_fit_chunks(wav, size);
        if (SDL_LoadWAV_RW(SDL_RWFromConstMem(wav, size), 1, &spec, &buf, &len)) {
            src = _audio_to_work(spec.format, spec.channels, spec.freq, buf, len);
            SDL_FreeWAV(buf);
        }
        free(wav);
    }
    if (!src) zov_iprintf("_mixer: error in _sample_load_wav '%s'\n", path);
    return src;
}

// Decodes a whole Ogg Vorbis file, then converts it like a WAV.  The buffer
// grows with what really decodes: the length a header claims is not trusted.
AudioSource* _audio_load_ogg(const char* path) {
    int size = 0;
    unsigned char* mem = (unsigned char*)driver_file_alloc(path, &size);
    if (!mem) {
        zov_iprintf("_mixer: error in _sample_load_ogg '%s' (driver_file_alloc)\n", path);
        return nullptr;
    }
    VorbisDecoder dec;
    std::vector<float> pcm;
    if (dec.open(mem, (size_t)size)) {
        const size_t most = (size_t)INT_MAX / sizeof(float); // what the converter takes
        std::vector<float> block((size_t)dec.channels() * 1024);
        for (int n; pcm.size() + block.size() <= most && (n = dec.read(block.data(), 1024)) > 0;)
            pcm.insert(pcm.end(), block.begin(), block.begin() + (size_t)n * dec.channels());
    }
    dec.close();
    free(mem);
    // The log names each step as it always has.
    if (pcm.empty()) {
        zov_iprintf("_mixer: error in _sample_load_ogg '%s' (stb_vorbis_decode_memory)\n", path);
        return nullptr;
    }
    AudioSource* src = _audio_to_work(AUDIO_F32SYS, dec.channels(), dec.rate(), (const Uint8*)pcm.data(),
                                      (Uint32)(pcm.size() * sizeof(float)));
    if (!src) zov_iprintf("_mixer: error in _sample_load_ogg '%s' (SDL_BuildAudioCVT)\n", path);
    return src;
}

AudioSource* _audio_new_ogg_stream(const char* path) { return new AudioSourceVorbis(path); }
