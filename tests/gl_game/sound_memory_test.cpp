// The real program on the largest WAV that may be held decoded.
#include <cmath>

#include "game_run.h"

// 8-bit mono at 384 kHz for 299 s (115 MB: inside every limit), played
// once: converted a block at a time, it peaks under the sound it holds
// (106 MB) plus its file plus 100 MB, where converting it whole took 2.2 GB.
TEST(SoundMemory, TheLargestWavThatMayBeHeldPeaksUnderItsHeldSizePlusItsFile) {
    e2e::GameRun run;
    const uint32_t rate = 384000, frames = rate * 299;
    {
        std::ofstream f(run.data("big.wav"), std::ios::binary);
        auto le = [&f](uint32_t v, int bytes) { f.write((const char*)&v, bytes); };
        f << "RIFF";
        le(36 + frames, 4);
        f << "WAVEfmt ";
        for (uint32_t v : {16u, 1u, 1u, rate, rate, 1u, 8u}) le(v, v == 16 || v == rate ? 4 : 2);
        f << "data";
        le(frames, 4);
        std::string second(rate, 0); // 440 Hz at half scale
        for (uint32_t i = 0; i < rate; i++) second[i] = (char)(128 + std::lround(64 * std::sin(2 * M_PI * 440 * i / rate)));
        for (int s = 0; s < 299; s++) f << second;
    }
    run.put("main.lua", R"(function _init() zov_sample_play("big.wav") zov_ext_call("exit") end)");
    run.start();
    // Far above the seconds it takes: only a hang reaches it.
    ASSERT_EQ(run.wait_exit(120), 0) << run.err();
    EXPECT_EQ(e2e::count_lines(run.out(), "_mixer: sample_load 1 (../data/big.wav)"), 1) << run.out();
    const double held = 299.0 * 44100 * 2 * sizeof(float), file = 44.0 + frames;
    EXPECT_LT(run.peak_kib * 1024.0, held + file + 100e6) << "peak resident bytes; KiB: " << run.peak_kib;
}
