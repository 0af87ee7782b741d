// The device run by SDL itself: its disk driver writes exactly what the
// callback produced, and the dummy driver's thread mixes while the main
// thread changes voices (run under ThreadSanitizer by the test command).
#include "audio_fixture.h"

#include <cstring>
#include <fstream>
#include <iterator>

using namespace audio_test;

namespace {

// Sets environment variables for one scope and restores them afterwards.
class Env {
public:
    void set(const char* name, const std::string& value) {
        const char* old = getenv(name);
        saved_.push_back({name, old ? old : "", old != nullptr});
        setenv(name, value.c_str(), 1);
    }
    ~Env() {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
            if (it->had) setenv(it->name, it->value.c_str(), 1);
            else unsetenv(it->name);
        }
    }

private:
    struct Saved {
        const char* name;
        std::string value;
        bool had;
    };
    std::vector<Saved> saved_;
};

// Waits (bounded) until no voice plays.
bool wait_silent() {
    for (int i = 0; i < 5000 && _driver_audio_voices() > 0; i++) SDL_Delay(1);
    return _driver_audio_voices() == 0;
}

} // namespace

TEST(AudioDisk, DiskDriverWritesTheSoundSampleBySample) {
    std::string raw = scratch("out.raw");
    Env env;
    env.set("SDL_AUDIODRIVER", "disk");
    env.set("SDL_DISKAUDIOFILE", raw);
    env.set("SDL_DISKAUDIODELAY", "0");

    // 16-bit stereo at the device's rate: only the sample format is converted.
    std::vector<int16_t> pcm;
    uint32_t x = 12345;
    for (int i = 0; i < 2 * 5000; i++) {
        x = x * 1103515245u + 12345u;
        pcm.push_back((int16_t)((int)(x >> 16) % 30000 - 15000));
    }
    pcm[0] = 1000; // the sound's start is its first non-zero value
    std::vector<float> values;
    for (int16_t v : pcm) values.push_back(v / 32768.0f);
    write_wav(scratch("noise.wav"), 2, 44100, values, 16);

    driver_init(DRIVER_INIT_AUDIO);
    ASSERT_NE(_driver_audio_device(), 0u) << "SDL's disk driver did not open";
    int id = driver_audio_sample_load(scratch("noise.wav").c_str());
    ASSERT_NE(id, 0);
    driver_audio_sample_play(id, 1.0f, 0.0f);
    ASSERT_TRUE(wait_silent());
    driver_deinit();

    std::ifstream in(raw, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<int16_t> out(bytes.size() / 2);
    std::memcpy(out.data(), bytes.data(), out.size() * 2);
    size_t start = 0;
    while (start < out.size() && out[start] == 0) start++;
    ASSERT_LT(start + pcm.size(), out.size()) << "the whole sound and some silence were written";
    EXPECT_EQ(start % 2048, 0u) << "a voice starts with a buffer";
    for (size_t i = 0; i < pcm.size(); i++)
        ASSERT_EQ(out[start + i], s16(pcm[i] / 32768.0f)) << "value " << i;
    for (size_t i = start + pcm.size(); i < out.size(); i++) ASSERT_EQ(out[i], 0) << "value " << i;
}

TEST(AudioThreads, MainThreadChangesVoicesWhileTheDeviceMixes) {
    driver_init(DRIVER_INIT_AUDIO);
    ASSERT_NE(_driver_audio_device(), 0u);
    write_wav(scratch("t.wav"), 2, 44100, std::vector<float>(4410, 0.25f));
    std::string ogg = freedesktop("bell", "t.ogg");
    int sample = driver_audio_sample_load(scratch("t.wav").c_str());
    int stream = driver_audio_stream_load(ogg.c_str(), false);
    unsigned long base = _driver_audio_memused();
    for (int i = 0; i < 120; i++) {
        driver_audio_sample_play(sample, 0.5f, 0.0f);
        if (i % 3 == 0) driver_audio_stream_play(stream, 1.0f, 0.0f);
        driver_audio_stream_volume(stream, (i % 5) / 4.0f);
        if (i % 7 == 0) driver_audio_stream_stop(stream);
        if (i % 20 == 0) { // grows the source list
            ASSERT_NE(driver_audio_sample_load(scratch("t.wav").c_str()), 0);
        }
        SDL_Delay(2);
    }
    driver_audio_stream_stop(stream);
    EXPECT_EQ(_driver_audio_memused(), base + 6 * 4410 * 4) << "streams closed, six more samples";
    EXPECT_TRUE(wait_silent()) << "every sample voice ends";
    driver_deinit();
}
