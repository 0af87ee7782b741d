// The sound registry: names to ids, the suffix search, cached failures, the
// exact messages and the change check.
#include "audio_fixture.h"

#include <sys/stat.h>
#include <utime.h>

#include "support/capture.h"
#include "zov_mixer.h"

using namespace audio_test;

namespace {

// The registry over a fresh data directory (the alternative directory).
class Mixer : public AudioDevice {
protected:
    void SetUp() override {
        AudioDevice::SetUp();
        dir = scratch("data" + std::to_string(++count));
        std::filesystem::create_directory(dir);
        driver_set_altdir(dir.c_str());
        mixer_init();
    }
    void TearDown() override {
        mixer_deinit();
        AudioDevice::TearDown();
    }
    std::string file(const std::string& name) { return dir + "/" + name; }
    // A WAV sound of `n` stereo values under the name.
    void wav(const std::string& name, int n = 64) { write_wav(file(name), 2, 44100, std::vector<float>(n, 0.5f)); }
    void ogg(const std::string& name) { std::filesystem::copy_file(freedesktop("bell", "bell.ogg"), file(name)); }
    void set_mtime(const std::string& name, time_t t) {
        struct utimbuf times = {t, t};
        ASSERT_EQ(utime(file(name).c_str(), &times), 0);
    }

    std::string dir;
    static inline int count = 0;
};

// Waits for the wall clock's next second, so that a test knows which calls
// of the change check fall into the same second.
void next_second() {
    time_t now = time(nullptr);
    while (time(nullptr) == now) SDL_Delay(5);
}

} // namespace

// ------ Lookup ------

TEST_F(Mixer, BareNameFindsTheOggAfterTryingTheEarlierSuffixes) {
    ogg("boom.ogg");
    Capture err(stderr);
    int id = mixer_sample_load("boom");
    EXPECT_EQ(err.text(), ":: trying load sample boom\ndoing load sample boom\n");
    EXPECT_NE(id, 0);
    EXPECT_EQ(_driver_audio_length(id) / 2, 6151);

    Capture again(stderr);
    EXPECT_EQ(mixer_sample_load("boom"), id);
    EXPECT_EQ(again.text(), "") << "a known name touches no file and says nothing";
    int full = mixer_sample_load("boom.ogg");
    EXPECT_NE(full, 0);
    EXPECT_NE(full, id) << "another name loads the file again";
}

TEST_F(Mixer, SuffixesAreTriedInOrder) {
    ogg("boom.ogg");
    wav("boom.wav", 10);
    wav("boom", 20); // no suffix: found first
    wav("tick.raw", 30); // a WAV under a later suffix loads as WAV
    EXPECT_EQ(_driver_audio_length(mixer_sample_load("boom")), 20);
    EXPECT_EQ(_driver_audio_length(mixer_sample_load("boom.wav")), 10);
    EXPECT_EQ(_driver_audio_length(mixer_stream_load("tick")), 30);
    std::filesystem::remove(file("boom"));
    EXPECT_EQ(_driver_audio_length(mixer_stream_load("boom")), 10) << ".wav before .ogg";
    EXPECT_STREQ(_mixer->stream_map["boom"].fname, file("boom.wav").c_str());
}

TEST_F(Mixer, MissingNameIsReportedOnceAndCached) {
    Capture err(stderr);
    EXPECT_EQ(mixer_sample_load("nope"), 0);
    EXPECT_EQ(mixer_sample_load("nope"), 0);
    EXPECT_EQ(mixer_stream_load("nope"), 0);
    EXPECT_EQ(mixer_stream_load("nope"), 0);
    EXPECT_EQ(err.text(), ":: trying load sample nope\nunable to find sample nope\n"
                          "trying load stream nope\nunable to find stream nope\n");
    wav("nope.wav");
    EXPECT_EQ(mixer_sample_load("nope"), 0) << "a failure is not retried";
}

TEST_F(Mixer, UndecodableFileIsCachedAsZeroWithItsPath) {
    FILE* f = fopen(file("bad.wav").c_str(), "w");
    fputs("not a sound", f);
    fclose(f);
    Capture out(stdout), err(stderr);
    EXPECT_EQ(mixer_sample_load("bad"), 0);
    EXPECT_EQ(err.text(), ":: trying load sample bad\ndoing load sample bad\n");
    EXPECT_NE(out.text().find("_mixer: error in _sample_load_wav"), std::string::npos);
    EXPECT_STREQ(_mixer->sample_map["bad"].fname, file("bad.wav").c_str());
    EXPECT_EQ(mixer_sample_load("bad"), 0);
}

TEST_F(Mixer, SamplesAndStreamsAreSeparateNameSpaces) {
    wav("both.wav");
    Capture err(stderr);
    int sample = mixer_sample_load("both");
    int stream = mixer_stream_load("both");
    EXPECT_EQ(err.text(), ":: trying load sample both\ndoing load sample both\n"
                          "trying load stream both\ndoing load stream both\n");
    EXPECT_NE(sample, 0);
    EXPECT_NE(stream, 0);
    EXPECT_NE(sample, stream);
}

TEST_F(Mixer, NamesTooLongForTheCandidateBufferAreSkippedWithALine) {
    std::string name(509, 'b'); // the bare name fits the buffer, name + ".wav" does not
    Capture err(stderr);
    EXPECT_EQ(mixer_sample_load(name.c_str()), 0);
    std::string text = err.text();
    std::string line = "sound name too long: " + name + "\n";
    size_t at = text.find(line);
    EXPECT_NE(at, std::string::npos) << text;
    EXPECT_EQ(text.find(line, at + 1), std::string::npos) << "one line per name";
    EXPECT_EQ(text.rfind("unable to find sample " + name + "\n"), text.size() - name.size() - 23);
    std::string huge(1000, 'c');
    EXPECT_EQ(mixer_stream_load(huge.c_str()), 0);
}

TEST_F(Mixer, PlayStopAndVolumeForwardToTheDevice) {
    wav("loop.wav", 4096);
    int id = mixer_stream_load("loop");
    mixer_stream_play(id, 1.0f);
    mixer_stream_play(id, 1.0f);
    EXPECT_EQ(_driver_audio_voices(), 1);
    mixer_sample_play(id, 1.0f, 0.0f);
    EXPECT_EQ(_driver_audio_voices(), 2);
    mixer_stream_volume(id, 0.0f);
    callback();
    for (int16_t v : callback()) ASSERT_EQ(v, 0);
    mixer_stream_stop(id);
    EXPECT_EQ(_driver_audio_voices(), 0);
    mixer_sample_play(0, 1.0f, 0.0f);
    mixer_stream_play(0, 1.0f);
    mixer_sample_play(id + 100, 1.0f, 0.0f);
    EXPECT_EQ(_driver_audio_voices(), 0);
    mixer_loop();
}

TEST_F(Mixer, EveryCallChecksThatTheRegistryExists) {
    wav("x.wav");
    mixer_deinit();
    EXPECT_EQ(mixer_sample_load("x"), 0);
    EXPECT_EQ(mixer_stream_load("x"), 0);
    mixer_sample_play(1, 1.0f, 0.0f);
    mixer_stream_play(1, 1.0f);
    mixer_stream_volume(1, 1.0f);
    mixer_stream_stop(1);
    mixer_reload_auto();
    EXPECT_EQ(_driver_audio_voices(), 0);
    mixer_init();
    EXPECT_NE(mixer_sample_load("x"), 0);
}

// ------ Change check ------

TEST_F(Mixer, ChangedFileIsReportedOnceAfterTwoSecondsAtMostOncePerSecond) {
    time_t now = time(nullptr);
    wav("s.wav");
    wav("m.wav");
    set_mtime("s.wav", now - 100);
    set_mtime("m.wav", now - 100);
    int id = mixer_sample_load("s");
    mixer_stream_load("m");
    mixer_sample_load("absent");

    next_second();
    set_mtime("s.wav", time(nullptr) - 50);
    set_mtime("m.wav", time(nullptr) - 1); // quiet for 1 second: left for later
    Capture first(stderr);
    mixer_reload_auto();
    set_mtime("s.wav", time(nullptr) - 40);
    mixer_reload_auto(); // same second: no check
    EXPECT_EQ(first.text(), "sample reload: " + file("s.wav") + "\n");

    next_second();
    set_mtime("m.wav", time(nullptr) - 2);
    Capture second(stderr);
    mixer_reload_auto();
    EXPECT_EQ(second.text(), "sample reload: " + file("s.wav") + "\nstream reload: " + file("m.wav") + "\n");

    next_second();
    Capture third(stderr);
    mixer_reload_auto();
    EXPECT_EQ(third.text(), "") << "each change is reported once";
    EXPECT_EQ(mixer_sample_load("s"), id) << "the sound stays as loaded";

    std::filesystem::remove(file("s.wav"));
    next_second();
    Capture gone(stderr);
    mixer_reload_auto();
    EXPECT_EQ(gone.text(), "") << "a vanished file reads as time 0, never newer";
}
