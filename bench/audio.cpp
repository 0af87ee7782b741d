// CPU time of mixing one device buffer (1024 frames, 16-bit stereo at
// 44100 Hz) with V voices of a decoded sound plus S streamed Ogg Vorbis
// files, against SDL_mixer mixing the same sounds on the same dummy device.
//
// Ours: the callback called by hand on the paused device, timed with the
// thread's CPU clock.  SDL_mixer: its callback runs on its own audio thread,
// so that thread's CPU time is read in a post-mix hook at the end of every
// buffer; the difference between two hooks also holds SDL's device loop
// (the "idle" row: SDL_mixer with nothing playing).  SDL_mixer plays one
// music stream at a time, so it is compared for S = 1 only.
//
// And the CPU time per second of sound of decoding a 48 kHz stereo Ogg
// Vorbis stream and converting it to 44100 Hz a 1024-frame block at a time,
// as a stream plays: through the loaders' resampler, and through SDL's
// SDL_AudioStream, which the loaders used before (it restarted its phase at
// every block, see the audio tests), as the peer.
#include <benchmark/benchmark.h>

#include <SDL.h>
#include <SDL_mixer.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "zov_driver-snd_ogg.h"
#include "zov_driver-snd_rate.h"
#include "zov_driver.h"

namespace {

constexpr int BUFFER_BYTES = 1024 * 2 * 2;
constexpr int OUR_CALLBACKS = 400;   // 9 s of sound: the 20 s voices never end
constexpr int MIXER_CALLBACKS = 30;  // real time on the dummy device: 0.7 s

// The test sounds, made once with sox: a 20 s tone and a 20 s Ogg stream,
// and 30 s of music-like sound (tones and noise) at 48 kHz.
struct Sounds {
    std::string dir, wav, ogg, ogg48;
    Sounds() {
        setenv("SDL_AUDIODRIVER", "dummy", 0); // no sound card needed
        char tmpl[] = "/tmp/zov-bench-audio-XXXXXX";
        dir = mkdtemp(tmpl);
        wav = dir + "/tone.wav";
        ogg = dir + "/music.ogg";
        ogg48 = dir + "/music48.ogg";
        std::string cmd = "sox -D -n -r 44100 -c 2 -b 16 " + wav + " synth 20 sine 440 gain -6 && sox -n -r 44100 -c 2 " +
                          ogg + " synth 20 sine 330 sine 550 gain -6 && sox -n -r 48000 -c 2 " + ogg48 +
                          " synth 30 sine 330 sine 550 synth pinknoise mix gain -6";
        if (std::system(cmd.c_str()) != 0) std::fprintf(stderr, "bench_audio: sox failed\n");
    }
    ~Sounds() { std::filesystem::remove_all(dir); }
};

const Sounds& sounds() {
    static Sounds s;
    return s;
}

double thread_cpu_us() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e6 + t.tv_nsec / 1e3;
}

// Microseconds of CPU per callback of ours, with v voices and s streams.
double ours_us(int voices, int streams) {
    sounds();
    driver_init(DRIVER_INIT_AUDIO);
    SDL_PauseAudioDevice(_driver_audio_device(), 1);
    int sample = driver_audio_sample_load(sounds().wav.c_str());
    for (int i = 0; i < voices; i++) driver_audio_sample_play(sample, 0.2f, 0.0f);
    for (int i = 0; i < streams; i++)
        driver_audio_stream_play(driver_audio_stream_load(sounds().ogg.c_str(), false), 0.2f, 0.0f);
    std::vector<unsigned char> out(BUFFER_BYTES);
    double start = thread_cpu_us();
    for (int i = 0; i < OUR_CALLBACKS; i++) {
        SDL_LockAudioDevice(_driver_audio_device());
        _driver_audio_callback(nullptr, out.data(), BUFFER_BYTES);
        SDL_UnlockAudioDevice(_driver_audio_device());
    }
    double us = (thread_cpu_us() - start) / OUR_CALLBACKS;
    if (_driver_audio_voices() != voices + streams) std::fprintf(stderr, "bench_audio: voices ended early\n");
    driver_deinit();
    return us;
}

// The audio thread's CPU clock at each of SDL_mixer's post-mix hooks.
std::atomic<int> _hooks{0};
double _hook_cpu[2 * MIXER_CALLBACKS + 8];

void post_mix(void*, Uint8*, int) {
    int n = _hooks.load(std::memory_order_relaxed);
    if (n < (int)(sizeof _hook_cpu / sizeof _hook_cpu[0])) _hook_cpu[n] = thread_cpu_us();
    _hooks.store(n + 1, std::memory_order_release);
}

// Microseconds of CPU per buffer of SDL_mixer's audio thread.
double sdl_mixer_us(int voices, int streams) {
    sounds();
    SDL_InitSubSystem(SDL_INIT_AUDIO);
    Mix_Init(MIX_INIT_OGG);
    if (Mix_OpenAudio(44100, AUDIO_S16SYS, 2, 1024) < 0) {
        std::fprintf(stderr, "bench_audio: %s\n", Mix_GetError());
        return 0;
    }
    Mix_AllocateChannels(voices > 0 ? voices : 1);
    Mix_Chunk* chunk = Mix_LoadWAV(sounds().wav.c_str());
    Mix_Music* music = streams ? Mix_LoadMUS(sounds().ogg.c_str()) : nullptr;
    Mix_Volume(-1, MIX_MAX_VOLUME / 5);
    Mix_VolumeMusic(MIX_MAX_VOLUME / 5);
    for (int i = 0; i < voices; i++) Mix_PlayChannel(-1, chunk, -1);
    if (music) Mix_PlayMusic(music, -1);
    _hooks = 0;
    Mix_SetPostMix(post_mix, nullptr);
    const int skip = 4; // let the first buffers settle
    while (_hooks.load(std::memory_order_acquire) <= skip + MIXER_CALLBACKS) SDL_Delay(5);
    Mix_SetPostMix(nullptr, nullptr);
    double us = (_hook_cpu[skip + MIXER_CALLBACKS] - _hook_cpu[skip]) / MIXER_CALLBACKS;
    Mix_HaltChannel(-1);
    Mix_HaltMusic();
    if (music) Mix_FreeMusic(music);
    Mix_FreeChunk(chunk);
    Mix_CloseAudio();
    Mix_Quit();
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return us;
}

void BM_Mix(benchmark::State& state) {
    const int voices = (int)state.range(0), streams = (int)state.range(1);
    double ours = 0;
    for (auto _ : state) {
        ours = ours_us(voices, streams);
        state.SetIterationTime(ours / 1e6);
    }
    state.counters["ours_us"] = ours;
    state.counters["ours_us_per_voice"] = ours / (voices + streams);
    if (streams <= 1) {
        double theirs = sdl_mixer_us(voices, streams);
        state.counters["sdl_mixer_us"] = theirs;
        state.counters["ratio"] = theirs > 0 ? ours / theirs : 0;
    }
}

// Microseconds of CPU per second of sound to decode the 48 kHz stream and
// convert it: `how` 0 decodes only, 1 through the resampler, 2 through
// SDL_AudioStream.
double stream_us_per_second(int how) {
    std::string bytes;
    if (FILE* f = std::fopen(sounds().ogg48.c_str(), "rb")) {
        for (int c; (c = std::fgetc(f)) != EOF;) bytes += (char)c;
        std::fclose(f);
    }
    VorbisDecoder dec;
    if (!dec.open((const unsigned char*)bytes.data(), bytes.size())) return 0;
    Resampler rate;
    rate.start(dec.rate());
    SDL_AudioStream* sdl = SDL_NewAudioStream(AUDIO_F32SYS, 2, (int)dec.rate(), AUDIO_F32SYS, 2, 44100);
    std::vector<float> block(2 * 1024), out(2 * 4096);
    long frames = 0;
    const double start = thread_cpu_us();
    for (int n; (n = dec.read(block.data(), 1024)) > 0; frames += n) {
        if (how == 1) {
            out.clear();
            rate.put(block.data(), (size_t)n, &out);
        } else if (how == 2) {
            SDL_AudioStreamPut(sdl, block.data(), n * 2 * (int)sizeof(float));
            while (SDL_AudioStreamGet(sdl, out.data(), (int)(out.size() * sizeof(float))) > 0) {}
        }
    }
    const double us = thread_cpu_us() - start;
    SDL_FreeAudioStream(sdl);
    return frames ? us / ((double)frames / dec.rate()) : 0;
}

void BM_Stream48kHz(benchmark::State& state) {
    double decode = 0, ours = 0, sdl = 0;
    for (auto _ : state) {
        decode = stream_us_per_second(0);
        ours = stream_us_per_second(1);
        sdl = stream_us_per_second(2);
        state.SetIterationTime(ours / 1e6);
    }
    state.counters["decode_us_per_s"] = decode;
    state.counters["ours_us_per_s"] = ours;
    state.counters["sdl_stream_us_per_s"] = sdl;
    state.counters["ratio"] = sdl > 0 ? ours / sdl : 0;
}

void BM_SdlMixerIdle(benchmark::State& state) {
    double us = 0;
    for (auto _ : state) {
        us = sdl_mixer_us(0, 0);
        state.SetIterationTime(us / 1e6);
    }
    state.counters["sdl_mixer_us"] = us;
}

} // namespace

BENCHMARK(BM_Mix)
    ->ArgsProduct({{1, 16, 64, 256}, {1, 2, 3, 4}})
    ->ArgNames({"voices", "streams"})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Stream48kHz)->Iterations(1)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SdlMixerIdle)->Iterations(1)->UseManualTime()->Unit(benchmark::kMicrosecond);
