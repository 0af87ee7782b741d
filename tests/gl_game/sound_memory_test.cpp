// The real program on the largest WAV that may be held decoded: 8-bit mono
// at 384 kHz for 299 s (115 MB, inside every limit), played once.
// Converted a block at a time, it peaks under the sound it holds (106 MB)
// plus its file plus 100 MB, where converting it whole took 2.2 GB.
#include "game_run.h"

TEST(SoundMemory, TheLargestWavThatMayBeHeldPeaksUnderItsHeldSizePlusItsFile) {
    e2e::GameRun run;
    const std::string wav = run.data("big.wav");
    ASSERT_EQ(std::system(("sox -n -r 384000 -c 1 -b 8 '" + wav + "' synth 299 sine 440 gain -6").c_str()), 0);
    run.put("main.lua", R"(function _init() zov_sample_play("big.wav") zov_ext_call("exit") end)");
    run.start();
    // Far above the seconds it takes: only a hang reaches it.
    ASSERT_EQ(run.wait_exit(120), 0) << run.err();
    EXPECT_EQ(e2e::count_lines(run.out(), "_mixer: sample_load 1 (../data/big.wav)"), 1) << run.out();
    const double held = 299.0 * 44100 * 2 * sizeof(float);
    EXPECT_LT(run.peak_kib * 1024.0, held + std::filesystem::file_size(wav) + 100e6) << "peak resident KiB";
}
