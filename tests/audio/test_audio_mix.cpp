// Mixing: volume ramps, the limiter, voices in the callback, ids.
#include "audio_fixture.h"

#include "support/capture.h"

using namespace audio_test;

namespace {

class AudioMix : public AudioDevice {
protected:
    // A float WAV sound of the given stereo values, loaded as a sample.
    int sample(const std::vector<float>& values, const char* name = "s.wav") {
        write_wav(scratch(name), 2, 44100, values);
        return driver_audio_sample_load(scratch(name).c_str());
    }
    int stream(const std::vector<float>& values, const char* name = "loop.wav") {
        write_wav(scratch(name), 2, 44100, values);
        return driver_audio_stream_load(scratch(name).c_str(), false);
    }
};

std::vector<float> constant(int n, float v) { return std::vector<float>(n, v); }

} // namespace

// ------ The voice mix ------

TEST_F(AudioMix, RampFromOneToZeroIsExactlyOneMinusIOverN) {
    const int n = 2048;
    std::vector<float> s(n, 1.0f), m(n, 0.0f);
    AudioPlaying v;
    v._vol = 1.0f;
    v.vol = 0.0f;
    _driver_audio_mix(&v, n, s.data(), m.data());
    for (int i = 0; i < n; i++) ASSERT_EQ(m[i], 1.0f - (float)i / (float)n) << "value " << i;
    EXPECT_EQ(v._vol, 0.0f) << "the voice has reached its target";
}

TEST_F(AudioMix, SteadyVolumesAddOrScale) {
    std::vector<float> s = {0.5f, -0.25f, 0.125f, 1.0f}, m(4, 0.25f);
    AudioPlaying full;
    full._vol = full.vol = 1.0f;
    _driver_audio_mix(&full, 4, s.data(), m.data());
    EXPECT_EQ(m, (std::vector<float>{0.75f, 0.0f, 0.375f, 1.25f}));
    AudioPlaying half;
    half._vol = half.vol = 0.5f;
    _driver_audio_mix(&half, 4, s.data(), m.data());
    EXPECT_EQ(m, (std::vector<float>{1.0f, -0.125f, 0.4375f, 1.75f}));
}

// ------ The limiter ------

TEST_F(AudioMix, LimiterPassesAMixAtOrBelowFullScaleUnchanged) {
    std::vector<float> m = {1.0f, -1.0f, 0.3f, -0.7f, 0.0f, 0.99999f};
    std::vector<float> before = m;
    _driver_audio_normalize((int)m.size(), m.data());
    EXPECT_EQ(m, before);
}

TEST_F(AudioMix, LimiterScalesALoudBufferThenRampsBackFromThePreviousGain) {
    const int n = 1024;
    std::vector<float> loud(n, 2.0f);
    _driver_audio_normalize(n, loud.data());
    for (int i = 0; i < n; i++) ASSERT_EQ(loud[i], 1.0f) << "gain 0.5 throughout, value " << i;

    std::vector<float> full(n, 1.0f);
    _driver_audio_normalize(n, full.data());
    for (int i = 0; i < n; i++) ASSERT_EQ(full[i], 0.5f + 0.5f * (float)i / (float)n) << "value " << i;

    std::vector<float> quiet(n, 0.25f);
    _driver_audio_normalize(n, quiet.data());
    for (int i = 0; i < n; i++) ASSERT_EQ(quiet[i], 0.25f) << "back at gain 1, never above";
}

TEST_F(AudioMix, LimiterNeverAmplifiesAQuietBufferAfterALoudOne) {
    const int n = 512;
    std::vector<float> loud(n, -4.0f);
    _driver_audio_normalize(n, loud.data());
    EXPECT_EQ(loud[0], -1.0f);
    std::vector<float> quiet(n, 0.5f);
    _driver_audio_normalize(n, quiet.data());
    for (int i = 0; i < n; i++) {
        ASSERT_LE(quiet[i], 0.5f) << "value " << i;
        ASSERT_GE(quiet[i], 0.125f) << "value " << i;
    }
}

// ------ Voices in the callback ------

TEST_F(AudioMix, FirstIdIsOneAndTheSameFileLoadsTwice) {
    int a = sample(constant(8, 0.5f));
    int b = driver_audio_sample_load(scratch("s.wav").c_str());
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, 2);
    EXPECT_EQ(_driver_audio_length(a), 8);
}

TEST_F(AudioMix, ShortSamplePlaysThenSilenceAndEndsWithTheBuffer) {
    std::vector<float> values(100);
    for (int i = 0; i < 100; i++) values[i] = (i % 7 - 3) / 8.0f;
    int id = sample(values);
    driver_audio_sample_play(id, 1.0f, 0.0f);
    EXPECT_EQ(_driver_audio_voices(), 1);
    std::vector<int16_t> out = callback(2048);
    for (int i = 0; i < 100; i++) ASSERT_EQ(out[i], s16(values[i])) << "value " << i;
    for (int i = 100; i < 2048; i++) ASSERT_EQ(out[i], 0) << "value " << i;
    EXPECT_EQ(_driver_audio_voices(), 0);
}

TEST_F(AudioMix, NewVoiceStartsAtItsVolumeWithoutARamp) {
    int id = sample(constant(4096, 0.5f));
    driver_audio_sample_play(id, 0.5f, 0.0f);
    std::vector<int16_t> out = callback();
    for (int16_t v : out) ASSERT_EQ(v, s16(0.25f));
}

TEST_F(AudioMix, PanIsKeptButNotApplied) {
    std::vector<float> values(2048);
    for (int i = 0; i < 2048; i++) values[i] = std::sin(i * 0.05f) * 0.5f;
    int id = sample(values);
    driver_audio_sample_play(id, 1.0f, 0.0f);
    std::vector<int16_t> centre = callback();
    driver_audio_sample_play(id, 1.0f, -1.0f);
    EXPECT_EQ(callback(), centre);
    driver_audio_sample_play(id, 1.0f, 1.0f);
    EXPECT_EQ(callback(), centre);
}

TEST_F(AudioMix, LoopingStreamRestartsInTheNextBuffer) {
    int id = stream(constant(3000, 0.5f));
    driver_audio_stream_play(id, 1.0f, 0.0f);
    std::vector<int16_t> first = callback(2048), second = callback(2048), third = callback(2048);
    for (int16_t v : first) ASSERT_EQ(v, s16(0.5f));
    for (int i = 0; i < 2048; i++) ASSERT_EQ(second[i], i < 952 ? s16(0.5f) : 0) << "value " << i;
    for (int16_t v : third) ASSERT_EQ(v, s16(0.5f)) << "restarted at 0";
    EXPECT_EQ(_driver_audio_voices(), 1);
}

TEST_F(AudioMix, VolumeChangeFadesOverOneBufferThenStaysSilent) {
    int id = stream(constant(8192, 0.5f));
    driver_audio_stream_play(id, 1.0f, 0.0f);
    callback();
    driver_audio_stream_volume(id, 0.0f);
    std::vector<int16_t> fade = callback(2048);
    for (int i = 0; i < 2048; i++)
        ASSERT_EQ(fade[i], s16(0.5f * (1.0f - (float)i / 2048.0f))) << "value " << i;
    for (int16_t v : callback()) ASSERT_EQ(v, 0);
}

TEST_F(AudioMix, TwoFullScaleVoicesEngageTheLimiter) {
    std::vector<float> values;
    for (int i = 0; i < 1024; i++) values.insert(values.end(), {0.8f, 0.4f});
    int id = sample(values);
    driver_audio_sample_play(id, 1.0f, 0.0f);
    driver_audio_sample_play(id, 1.0f, 0.0f);
    std::vector<int16_t> out = callback(2048);
    // 1.6 and 0.8 scaled by 1/1.6; clipping would have given 32767 and 26213.
    const float peak = 0.8f + 0.8f, gain = 1.0f / peak;
    for (int i = 0; i < 2048; i += 2) {
        ASSERT_EQ(out[i], s16(peak * gain)) << "frame " << i / 2;
        ASSERT_EQ(out[i + 1], s16((0.4f + 0.4f) * gain)) << "frame " << i / 2;
    }
    EXPECT_GE(out[0], 32766);
    EXPECT_LT(out[1], 16400) << "limited, not clipped";
}

TEST_F(AudioMix, PlayingAStreamTwiceLeavesOneVoiceFromTheStart) {
    std::vector<float> values(8192);
    for (int i = 0; i < 8192; i++) values[i] = i / 16384.0f;
    int id = stream(values);
    driver_audio_stream_play(id, 1.0f, 0.0f);
    callback();
    driver_audio_stream_play(id, 1.0f, 0.0f);
    EXPECT_EQ(_driver_audio_voices(), 1);
    std::vector<int16_t> out = callback();
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[100], s16(100 / 16384.0f));
    driver_audio_stream_stop(id);
    EXPECT_EQ(_driver_audio_voices(), 0);
}

TEST_F(AudioMix, NonFiniteVolumeIsSilenceNotNoise) {
    int loud = sample(constant(2048, 0.5f));
    driver_audio_sample_play(loud, 1.0f, 0.0f);
    driver_audio_sample_play(loud, NAN, 0.0f);
    driver_audio_sample_play(loud, INFINITY, 0.0f);
    for (int16_t v : callback()) ASSERT_EQ(v, s16(0.5f));
}

TEST_F(AudioMix, IdZeroAndUnknownIdsDoNothingAndLogNothing) {
    int id = stream(constant(4096, 0.5f));
    driver_audio_stream_play(id, 1.0f, 0.0f);
    Capture out(stdout);
    for (int bad : {0, -1, id + 1, 1 << 30}) {
        driver_audio_sample_play(bad, 1.0f, 0.0f);
        driver_audio_stream_play(bad, 1.0f, 0.0f);
        driver_audio_stream_volume(bad, 0.0f);
        driver_audio_stream_stop(bad);
        EXPECT_EQ(_driver_audio_length(bad), 0);
    }
    EXPECT_EQ(out.text(), "");
    EXPECT_EQ(_driver_audio_voices(), 1);
    for (int16_t v : callback()) ASSERT_EQ(v, s16(0.5f));
}

TEST_F(AudioMix, CallbackWritesExactlyTheBytesAskedFor) {
    int id = sample(constant(4096, 0.5f));
    driver_audio_sample_play(id, 1.0f, 0.0f);
    std::vector<int16_t> out(64, 777);
    SDL_LockAudioDevice(_driver_audio_device());
    _driver_audio_callback(nullptr, (unsigned char*)out.data(), 10 * 2);
    SDL_UnlockAudioDevice(_driver_audio_device());
    for (int i = 0; i < 10; i++) EXPECT_NEAR(out[i], s16(0.5f), 1) << "SDL converts the tail on its scalar path";
    for (int i = 10; i < 64; i++) ASSERT_EQ(out[i], 777) << "byte past the buffer written";
}

// ------ Without a device ------

TEST(AudioNoDevice, EveryCallAnswersZeroAndTheProgramRunsOn) {
    const char* saved = getenv("SDL_AUDIODRIVER");
    std::string keep = saved ? saved : "";
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    Capture out(stdout), err(stderr);
    driver_init(DRIVER_INIT_AUDIO);
    std::string log = out.text();
    EXPECT_NE(log.find("_mixer: error in audio_init\n"), std::string::npos) << log;
    EXPECT_EQ(err.text(), "tovmar2: no sound: Audio target 'no-such-driver' not available; the game runs silent "
                          "(SDL_AUDIODRIVER picks another audio driver)\n") << "SDL's reason, one line";
    write_wav(scratch("n.wav"), 2, 44100, constant(64, 0.5f));
    EXPECT_EQ(_driver_audio_device(), 0u);
    EXPECT_EQ(driver_audio_sample_load(scratch("n.wav").c_str()), 0);
    EXPECT_EQ(driver_audio_stream_load(scratch("n.ogg").c_str(), false), 0);
    driver_audio_sample_play(1, 1.0f, 0.0f);
    driver_audio_stream_play(1, 1.0f, 0.0f);
    driver_audio_stream_volume(1, 0.5f);
    driver_audio_stream_stop(1);
    EXPECT_EQ(_driver_audio_voices(), 0);
    EXPECT_EQ(_driver_audio_memused(), 0u);
    driver_deinit();
    if (saved) setenv("SDL_AUDIODRIVER", keep.c_str(), 1);
    else unsetenv("SDL_AUDIODRIVER");
}
