// The theme's sounds, played through the real sound registry and audio
// device (SDL's dummy driver, paused so voices stay queued and countable).
#include "audio/audio_fixture.h"
#include "gui_support.h"

#include <cstdlib>

#include "zov_mixer.h"

using namespace gui_test;

namespace {

class GuiSound : public audio_test::AudioDevice {
protected:
    void SetUp() override {
        setenv("SDL_AUDIODRIVER", "dummy", 0);
        AudioDevice::SetUp();
        driver_set_altdir(audio_test::scratch_dir().c_str());
        audio_test::write_wav(audio_test::scratch("tick.wav"), 2, 44100, std::vector<float>(256, 0.25f));
        mixer_init();
        tick = mixer_sample_load("tick");
        ASSERT_NE(tick, 0);
        w = place(&root, new RecWidget(nullptr, "w", 1), 0, 0, 20, 20);
        root.resize();
    }
    void TearDown() override {
        mixer_deinit();
        AudioDevice::TearDown();
    }

    int tick = 0;
    Container root;
    RecWidget* w = nullptr;
};

} // namespace

TEST_F(GuiSound, EachSoundedEventPlaysItsSampleOnce) {
    w->style.sfx_onclick = w->style.sfx_ondown = w->style.sfx_onup = tick;
    w->style.sfx_onenter = w->style.sfx_onfocus = tick;
    root.resize();
    send(root, EVT_MOTION, 5, 5);
    EXPECT_EQ(_driver_audio_voices(), 1) << "enter";
    send(root, EVT_MOTION, 6, 5);
    EXPECT_EQ(_driver_audio_voices(), 1) << "motion has no sound";
    send(root, EVT_DOWN, 6, 5);
    EXPECT_EQ(_driver_audio_voices(), 3) << "focus, then down";
    send(root, EVT_UP, 6, 5);
    EXPECT_EQ(_driver_audio_voices(), 5) << "up, then click";
    send(root, EVT_EXIT);
    send(root, EVT_BLUR);
    EXPECT_EQ(_driver_audio_voices(), 5) << "exit and blur are silent";
}

TEST_F(GuiSound, TheSoundComesFromTheCurrentValuesNotFromTheNewStatesSet) {
    w->style.data[STYLE_HOVER].sfx_onenter = tick; // only the hover state has one
    w->style.sfx_onenter = 0;                      // the base plays nothing
    root.resize();
    send(root, EVT_MOTION, 5, 5);
    EXPECT_EQ(_driver_audio_voices(), 0) << "entered with the normal state's sound";
    root.resize(); // one step toward the hover values
    send(root, EVT_EXIT);
    send(root, EVT_MOTION, 5, 5);
    EXPECT_EQ(_driver_audio_voices(), 1) << "entered with the hover value the step brought";
}

TEST_F(GuiSound, UnsetZeroAndUnknownIdsPlayNothing) {
    w->style.sfx_ondown = tick + 1000;
    root.resize();
    send(root, EVT_DOWN, 5, 5);
    send(root, EVT_UP, 5, 5);
    EXPECT_EQ(_driver_audio_voices(), 0);
}
