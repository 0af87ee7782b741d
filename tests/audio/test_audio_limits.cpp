// Sound files that once cost the game its memory or its frames, and the
// channels of a stereo Ogg file: each heard through the real callback.
#include "audio_fixture.h"

#include <atomic>
#include <iterator>
#include <map>
#include <sstream>

#include <vorbis/codec.h>

#include "support/capture.h"

using namespace audio_test;

// Count the Vorbis headers read, the parts prepared and the frames decoded
// (the link options of test.cmake route every call of the loaders here).
static std::atomic<int> header_reads{0};
static std::atomic<long long> frames_decoded{0};

extern "C" int __real_vorbis_synthesis_headerin(vorbis_info* vi, vorbis_comment* vc, ogg_packet* op);
extern "C" int __wrap_vorbis_synthesis_headerin(vorbis_info* vi, vorbis_comment* vc, ogg_packet* op) {
    header_reads++;
    return __real_vorbis_synthesis_headerin(vi, vc, op);
}

static std::atomic<int> parts_prepared{0};
extern "C" int __real_vorbis_synthesis_init(vorbis_dsp_state* v, vorbis_info* vi);
extern "C" int __wrap_vorbis_synthesis_init(vorbis_dsp_state* v, vorbis_info* vi) {
    parts_prepared++;
    return __real_vorbis_synthesis_init(v, vi);
}

extern "C" int __real_vorbis_synthesis_read(vorbis_dsp_state* v, int samples);
extern "C" int __wrap_vorbis_synthesis_read(vorbis_dsp_state* v, int samples) {
    frames_decoded += samples;
    return __real_vorbis_synthesis_read(v, samples);
}

namespace {

class AudioLimits : public AudioDevice {
protected:
    // Loads `path` as a sample and as a stream, plays both, and gives what
    // the log said.
    std::string load_both(const std::string& path, int* sample, int* stream) {
        Capture out(stdout);
        *sample = driver_audio_sample_load(path.c_str());
        *stream = driver_audio_stream_load(path.c_str(), false);
        driver_audio_stream_play(*stream, 1.0f, 0.0f);
        return out.text();
    }
};

// One second of a stereo tone, 440 Hz on the left and 1000 Hz on the right.
std::string stereo_tone(int rate) {
    const std::string name = "lr" + std::to_string(rate) + ".ogg";
    sox("-n -r " + std::to_string(rate) + " -c 2 %/" + name + " synth 1 sine 440 sine 1000 gain -3");
    return scratch(name);
}

} // namespace

// Each channel keeps its own tone, at the file's rate and resampled, as a
// sample and as a stream: 880 and 2000 sign changes in one second.
TEST_F(AudioLimits, StereoOggKeepsTheToneOfEachChannel) {
    for (int rate : {44100, 48000}) {
        const std::string path = stereo_tone(rate);
        for (bool stream : {false, true}) {
            SCOPED_TRACE(path + (stream ? " as a stream" : " as a sample"));
            int id = stream ? driver_audio_stream_load(path.c_str(), false) : driver_audio_sample_load(path.c_str());
            ASSERT_NE(id, 0);
            if (stream) driver_audio_stream_play(id, 1.0f, 0.0f);
            else driver_audio_sample_play(id, 1.0f, 0.0f);
            std::vector<int16_t> out = play_for(2 * 44100);
            EXPECT_NEAR(zero_crossings(out, 0), 880, 6) << "left";
            EXPECT_NEAR(zero_crossings(out, 1), 2000, 6) << "right";
            driver_audio_stream_stop(id);
        }
    }
}

// A file of 1 to 8 channels, a tone of its own in each, as the Vorbis order
// places them: each tone reaches left and right at its stated gain within
// 1 dB (a front channel whole to its side; centre, sides and rears -3 dB
// to theirs, a centre to both; mono whole to both), the LFE not at all.
TEST_F(AudioLimits, EachVorbisChannelReachesLeftAndRightAtItsGain) {
    const char* const orders[] = {"M", "L R", "L C R", "FL FR RL RR", "FL C FR RL RR", "FL C FR RL RR LFE",
                                  "FL C FR SL SR RC LFE", "FL C FR SL SR RL RR LFE"};
    const double h = std::sqrt(0.5), level = std::pow(10, -12 / 20.0);
    const std::map<std::string, std::pair<double, double>> gains = {
        {"M", {1, 1}}, {"L", {1, 0}},  {"FL", {1, 0}}, {"R", {0, 1}},  {"FR", {0, 1}},  {"C", {h, h}},
        {"RC", {h, h}}, {"SL", {h, 0}}, {"RL", {h, 0}}, {"SR", {0, h}}, {"RR", {0, h}}, {"LFE", {0, 0}}};
    for (const char* order : orders) {
        SCOPED_TRACE(order);
        std::istringstream words(order);
        const std::vector<std::string> names{std::istream_iterator<std::string>(words), {}};
        auto tone = [&](int c) { return names[c] == "LFE" ? 80 : 300 + 200 * c; }; // whole periods in 0.8 s
        std::string synth;
        for (size_t c = 0; c < names.size(); c++) synth += " sine " + std::to_string(tone(c));
        sox("-n -r 44100 -c " + std::to_string(names.size()) + " %/ch.ogg synth 1" + synth + " gain -12");
        driver_audio_sample_play(driver_audio_sample_load(scratch("ch.ogg").c_str()), 1.0f, 0.0f);
        const std::vector<float> out = to_floats(play_for(2 * 44100));
        for (size_t c = 0; c < names.size(); c++) {
            const auto [left, right] = gains.at(names[c]);
            for (const auto& [side, gain] : {std::pair(0, left), std::pair(1, right)}) // within 1 dB, or -40 dB
                EXPECT_NEAR(fit_tone(out, side, tone(c), 4410, 39690).amplitude / level, gain, gain ? 0.1 * gain : 0.01)
                    << names[c] << " on side " << side;
        }
    }
}

// Rates that no device plays are refused before anything is converted (a
// 1 Hz file grows 44,100 times), as a sample and as a stream, WAV and Ogg.
TEST_F(AudioLimits, RatesOutsideTheRangeAreRefusedWithTheRange) {
    const struct {
        int rate;
        bool plays;
    } cases[] = {{1, false}, {3999, false}, {4000, true}, {384000, true}, {384001, false}};
    sox("-n -r 44100 -c 2 %/rate.ogg synth 0.1 sine 440");
    const std::string ogg = read_bytes(scratch("rate.ogg"));
    for (const auto& c : cases) {
        const std::string wav = scratch("r" + std::to_string(c.rate) + ".wav");
        write_wav(wav, 1, c.rate, std::vector<float>(1000, 0.25f), 16);
        const std::string patched = scratch("r" + std::to_string(c.rate) + ".ogg");
        write_bytes(patched, ogg_with_rate(ogg, c.rate));

        for (const std::string& path : {wav, patched}) {
            SCOPED_TRACE(path);
            int sample = 0, stream = 0;
            const std::string log = load_both(path, &sample, &stream);
            EXPECT_EQ(sample != 0, c.plays);
            EXPECT_EQ(_driver_audio_voices(), c.plays ? 1 : 0) << "the stream";
            const std::string why = "' (a rate of " + std::to_string(c.rate) + " Hz: sounds play at 4000 to 384000 Hz)\n";
            const bool is_ogg = path == patched;
            for (const char* step : {"_sample_load_", is_ogg ? "_stream_load_" : "_sample_load_"}) {
                const std::string line = std::string("_mixer: error in ") + step + (is_ogg ? "ogg '" : "wav '") + path + why;
                EXPECT_EQ(log.find(line) != std::string::npos, !c.plays) << log;
            }
            driver_audio_stream_stop(stream);
        }
    }
}

// A sound decoded whole may last 5 minutes: a longer one is refused (a WAV
// before it is converted, an Ogg file once it has decoded that far), with a
// line that says to stream it; as an Ogg Vorbis stream it plays.
TEST_F(AudioLimits, SoundsTooLongToHoldAreRefusedAndPlayAsOggStreams) {
    const std::string line = "' (longer than 300 s: a longer sound plays as an Ogg Vorbis stream)\n";
    const std::string wav = scratch("long.wav");
    write_wav(wav, 1, 4000, std::vector<float>(4000 * 301, 0.25f), 16);
    sox("-n -r 8000 -c 1 %/long.ogg synth 600 sine 440");
    const std::string ogg = scratch("long.ogg");

    int sample = 0, stream = 0;
    std::string log = load_both(wav, &sample, &stream);
    EXPECT_EQ(sample, 0);
    EXPECT_EQ(stream, 0) << "a WAV stream is held decoded too";
    EXPECT_NE(log.find("_mixer: error in _sample_load_wav '" + wav + line), std::string::npos) << log;
    EXPECT_EQ(_driver_audio_memused(), 0u);

    const long long before = frames_decoded;
    log = load_both(ogg, &sample, &stream);
    EXPECT_EQ(sample, 0);
    EXPECT_LT(frames_decoded - before, 302 * 8000) << "10 minutes decoded where 5 tell";
    EXPECT_NE(log.find("_mixer: error in _sample_load_ogg '" + ogg + line), std::string::npos) << log;
    EXPECT_EQ(_driver_audio_voices(), 1) << "the stream plays";
    EXPECT_EQ(_driver_audio_memused(), std::filesystem::file_size(ogg)) << "only the stream's file is held";

    write_wav(wav, 1, 4000, std::vector<float>(4000 * 299, 0.25f), 16);
    EXPECT_EQ(_driver_audio_length(driver_audio_sample_load(wav.c_str())), 2 * 44100 * 299) << "299 s are held";
}

// The granule position of the last page claims hours: the stream still ends
// where its audio does, and loops there, and the sample holds what decodes.
TEST_F(AudioLimits, DamagedLastGranuleLoopsWhereTheAudioEnds) {
    sox("-n -r 44100 -c 2 %/tone.ogg synth 0.5 sine 440");
    std::vector<std::string> pages = ogg_pages(read_bytes(scratch("tone.ogg")));
    ASSERT_GT(pages.size(), 2u);
    std::string& last = pages.back();
    for (int k = 0; k < 8; k++) last[6 + k] = (char)(k == 5 ? 1 : 0); // 2^40 frames
    ogg_fix_crc(last);
    std::string bytes;
    for (const std::string& p : pages) bytes += p;
    const std::string path = scratch("damaged.ogg");
    write_bytes(path, bytes);

    int sample = driver_audio_sample_load(path.c_str());
    EXPECT_NEAR(_driver_audio_length(sample) / 2, 22050, 2048);
    int id = driver_audio_stream_load(path.c_str(), false);
    driver_audio_stream_play(id, 1.0f, 0.0f);
    std::vector<int16_t> pass = first_pass(id);
    const int len = _driver_audio_length(id);
    EXPECT_NEAR(len / 2, 22050, 2048) << "the length of the audio";
    ASSERT_EQ((int)pass.size(), (len + 2047) / 2048 * 2048);
    std::vector<int16_t> again = callback();
    EXPECT_GT(*std::max_element(again.begin(), again.end()), 10000) << "the tone starts again at once";
    EXPECT_TRUE(std::equal(again.begin(), again.end(), pass.begin()));
}

// A short loop with megabytes of comment header, and a chain of three
// parts (the first without its end flag): the headers are read once, when the stream first plays, and a part
// is prepared for decoding (which allocates what its setup header asks)
// when playback first reaches it; every loop and every restart after that
// reads no header and prepares nothing (on the audio thread, under the
// device lock, reading headers stalled every frame), and each pass plays
// the same sound.
TEST_F(AudioLimits, LoopingStreamReadsItsHeadersOnceAndPreparesEachPartOnce) {
    write_bytes(scratch("comment.txt"), "TITLE=" + std::string(4 << 20, 'a') + "\n");
    sox("-n -r 44100 -c 2 --comment-file %/comment.txt %/big.ogg synth 0.1 sine 440");
    ASSERT_GT(std::filesystem::file_size(scratch("big.ogg")), 4u << 20);
    sox("-n -r 44100 -c 2 %/part.ogg synth 0.1 sine 440");
    const std::string part = read_bytes(scratch("part.ogg"));
    std::vector<std::string> first = ogg_pages(part);
    first.back()[5] &= ~4; // no end-of-stream flag: the next part's first page ends it
    ogg_fix_crc(first.back());
    std::string chain;
    for (const std::string& p : first) chain += p;
    write_bytes(scratch("chain.ogg"), chain + part + part);
    const struct {
        const char* name;
        int parts;
    } cases[] = {{"big.ogg", 1}, {"chain.ogg", 3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const int reads = header_reads, prepared = parts_prepared;
        int id = driver_audio_stream_load(scratch(c.name).c_str(), false);
        EXPECT_EQ(header_reads, reads) << "nothing is read before it plays";
        driver_audio_stream_play(id, 1.0f, 0.0f);
        EXPECT_EQ(header_reads - reads, 3 * c.parts) << "identification, comment, setup";
        EXPECT_EQ(parts_prepared - prepared, 1) << "the first part";
        std::vector<int16_t> pass = first_pass(id);
        ASSERT_LT(_driver_audio_length(id), AUDIO_LENGTH_UNKNOWN);
        EXPECT_EQ(parts_prepared - prepared, c.parts);
        for (int loop = 0; loop < 4; loop++) {
            if (loop == 2) driver_audio_stream_play(id, 1.0f, 0.0f); // started again while it plays
            EXPECT_EQ(play_for((int)pass.size()), pass) << "pass " << loop;
        }
        EXPECT_EQ(header_reads - reads, 3 * c.parts);
        EXPECT_EQ(parts_prepared - prepared, c.parts);
        EXPECT_GT(*std::max_element(pass.begin(), pass.end()), 10000) << "it plays";
        driver_audio_stream_stop(id);
    }
}

// A setup header refused by the file's budget never reaches libvorbis,
// which would unpack it first (255 codebooks of 4M entries cost it a
// gigabyte): of the refused part, libvorbis read only the identification
// and comment headers.  (tools/ogg-setup-bombs.py wrote the files.)
TEST_F(AudioLimits, RefusedSetupHeadersNeverReachLibvorbis) {
    for (const char* name : {"bomb-1part.ogg", "bomb-4parts.ogg", "bomb-256books.ogg", "bomb-4m-entries.ogg"}) {
        const int reads = header_reads;
        Capture quiet(stdout);
        EXPECT_EQ(driver_audio_sample_load((ZOV_TEST_DATA "/sounds/" + std::string(name)).c_str()), 0) << name;
        EXPECT_EQ(header_reads - reads, 2) << name;
    }
}

// Seconds of processor time this thread has used: unlike the clock on the
// wall, it does not grow while a busy machine runs other work.
static double thread_seconds() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return (double)t.tv_sec + (double)t.tv_nsec * 1e-9;
}

// Megabytes of "OggS" after the audio look like pages to a reader that
// searches for them (libogg checksummed each over the length its header
// claims: 8.5 s for 10 MB, and again at every loop of a stream whose last
// page lacks its end flag, under the device lock).  They cost what as many
// zero bytes cost, and play nothing, as a sample and as a looping stream.
TEST_F(AudioLimits, JunkAfterTheAudioCostsWhatPlainBytesCost) {
    sox("-n -r 44100 -c 2 %/junk.ogg synth 0.5 sine 440 gain -3");
    const struct {
        int megabytes;
        bool stream;
    } cases[] = {{10, false}, {2, true}};
    for (const auto& c : cases) {
        std::vector<std::string> pages = ogg_pages(read_bytes(scratch("junk.ogg")));
        if (c.stream) {
            pages.back()[5] &= ~4; // no end-of-stream flag
            ogg_fix_crc(pages.back());
        }
        std::string audio;
        for (const std::string& p : pages) audio += p;
        double seconds[2];
        std::vector<int16_t> heard[2];
        for (int filler : {0, 1}) {
            SCOPED_TRACE(std::to_string(c.megabytes) + " MB of " + (filler ? "\"OggS\"" : "zeros") +
                         (c.stream ? " after a stream" : " after a sample"));
            std::string junk((size_t)c.megabytes << 20, '\0');
            for (size_t i = 0; filler && i < junk.size(); i++) junk[i] = "OggS"[i % 4];
            const std::string path = scratch("junk" + std::to_string(filler) + ".ogg");
            write_bytes(path, audio + junk);
            const double start = thread_seconds();
            const int id = c.stream ? driver_audio_stream_load(path.c_str(), false)
                                    : driver_audio_sample_load(path.c_str());
            if (c.stream) driver_audio_stream_play(id, 1.0f, 0.0f);
            else driver_audio_sample_play(id, 1.0f, 0.0f);
            heard[filler] = play_for(2 * 44100 * (c.stream ? 5 : 1)); // 5 loops of the stream
            seconds[filler] = thread_seconds() - start;
            EXPECT_NEAR(_driver_audio_length(id), 44100, 2048 * c.stream) << "the audio's length";
            driver_audio_stream_stop(id);
        }
        EXPECT_EQ(heard[1], heard[0]);
        EXPECT_LT(seconds[1], 4 * seconds[0] + 0.05) << seconds[1] << " s against " << seconds[0] << " s";
    }
}

// A stream learns its length on the audio thread, where it first reaches
// its end, while the main thread may ask for it: ThreadSanitizer, which
// runs these tests too, tells if the answer is read without the lock.
TEST_F(AudioLimits, LengthAskedWhileTheAudioThreadLearnsIt) {
    sox("-n -r 44100 -c 2 %/short.ogg synth 0.2 sine 440");
    const int id = driver_audio_stream_load(scratch("short.ogg").c_str(), false);
    driver_audio_stream_play(id, 1.0f, 0.0f);
    SDL_PauseAudioDevice(_driver_audio_device(), 0); // the real audio thread mixes
    int len = AUDIO_LENGTH_UNKNOWN;
    for (int wait = 0; wait < 20000 && len == AUDIO_LENGTH_UNKNOWN; wait++) { // 20 s at most
        SDL_Delay(1);
        len = _driver_audio_length(id);
    }
    EXPECT_EQ(len, 2 * 8820);
}
