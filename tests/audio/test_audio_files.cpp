// Sound files: WAV of every sample size, Ogg Vorbis samples and streams at
// every rate and channel count, broken and missing files, memory accounting.
#include "audio_fixture.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <numeric>

#include "support/capture.h"
#include "zov_driver-snd_ogg.h"

using namespace audio_test;

namespace {

class AudioFiles : public AudioDevice {
protected:
    // Plays the sound as a sample and collects its whole output.
    std::vector<int16_t> sample_output(int id) {
        driver_audio_sample_play(id, 1.0f, 0.0f);
        return play_for(_driver_audio_length(id));
    }
};

bool channels_equal(const std::vector<int16_t>& v) {
    for (size_t i = 0; i + 1 < v.size(); i += 2)
        if (v[i] != v[i + 1]) return false;
    return true;
}

} // namespace

// ------ WAV ------

TEST_F(AudioFiles, WavOfEverySampleSizeBecomesTheSameSound) {
    const char* sizes[] = {"-b 8", "-b 16", "-b 24", "-b 32 -e signed-integer", "-b 32 -e floating-point"};
    std::vector<std::vector<int16_t>> outs;
    for (int k = 0; k < 5; k++) {
        std::string name = "wav" + std::to_string(k) + ".wav";
        sox(std::string("-D -n -r 44100 -c 2 ") + sizes[k] + " %/" + name + " synth 0.25 sine 440 gain -6");
        int id = driver_audio_sample_load(scratch(name).c_str());
        ASSERT_NE(id, 0) << sizes[k];
        EXPECT_EQ(_driver_audio_length(id), 2 * 11025) << sizes[k];
        outs.push_back(sample_output(id));
    }
    const std::vector<int16_t>& ref = outs[1];
    EXPECT_GT(*std::max_element(ref.begin(), ref.end()), 16000) << "a sine at half scale";
    for (int k = 0; k < 5; k++) {
        int tolerance = k == 0 ? 260 : 2; // 8-bit steps are 256 of 16-bit
        for (size_t i = 0; i < ref.size(); i++)
            ASSERT_NEAR(outs[k][i], ref[i], tolerance) << sizes[k] << " value " << i;
    }
}

TEST_F(AudioFiles, MonoWavAt48kHzIsResampledAndCopiedToBothChannels) {
    int id = driver_audio_sample_load("/usr/share/sounds/alsa/Front_Center.wav");
    ASSERT_NE(id, 0);
    SDL_AudioSpec spec;
    Uint8* buf;
    Uint32 len;
    ASSERT_NE(SDL_LoadWAV("/usr/share/sounds/alsa/Front_Center.wav", &spec, &buf, &len), nullptr);
    SDL_FreeWAV(buf);
    ASSERT_EQ(spec.freq, 48000);
    ASSERT_EQ(spec.channels, 1);
    double frames = len / 2.0 * 44100 / 48000;
    EXPECT_NEAR(_driver_audio_length(id) / 2, frames, 4);
    std::vector<int16_t> out = sample_output(id);
    EXPECT_TRUE(channels_equal(out));
    EXPECT_GT(*std::max_element(out.begin(), out.end()), 1000) << "not silence";
}

// Chunks are padded to even sizes: the byte after an odd chunk belongs to
// no chunk.  A file cut short plays what it holds.
TEST_F(AudioFiles, WavWithAnOddChunkBeforeItsDataOrCutShortLoads) {
    std::vector<float> values(2 * 1000);
    for (size_t i = 0; i < values.size(); i++) values[i] = (float)((int)(i % 200) - 100) / 128.0f;
    write_wav(scratch("plain.wav"), 2, 44100, values, 16);
    std::ifstream in(scratch("plain.wav"), std::ios::binary);
    std::string wav((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    wav.insert(36, std::string("LIST\3\0\0\0abc\0", 12)); // after "fmt ", before "data"
    wav[4] = (char)(wav[4] + 12); // the RIFF size
    std::ofstream(scratch("odd.wav"), std::ios::binary) << wav;
    int plain = driver_audio_sample_load(scratch("plain.wav").c_str());
    int odd = driver_audio_sample_load(scratch("odd.wav").c_str());
    ASSERT_NE(odd, 0);
    EXPECT_EQ(_driver_audio_length(odd), 2 * 1000);
    EXPECT_EQ(sample_output(odd), sample_output(plain));
    write_bytes(scratch("cut.wav"), read_bytes(scratch("plain.wav")).substr(0, 44 + 4 * 750));
    EXPECT_EQ(_driver_audio_length(driver_audio_sample_load(scratch("cut.wav").c_str())), 2 * 750);
}

TEST_F(AudioFiles, BrokenWavIsRefusedWithItsLine) {
    std::string path = scratch("junk.wav");
    FILE* f = fopen(path.c_str(), "w");
    fputs("this is not a sound", f);
    fclose(f);
    Capture out(stdout);
    EXPECT_EQ(driver_audio_sample_load(path.c_str()), 0);
    EXPECT_EQ(driver_audio_stream_load(path.c_str(), false), 0);
    std::string line = "_mixer: error in _sample_load_wav '" + path + "' (";
    std::string log = out.text();
    EXPECT_NE(log.find(line), std::string::npos) << "SDL's reason\n" << log;
    EXPECT_EQ(log.find("_mixer: sample_load"), std::string::npos) << "nothing registered";
    EXPECT_EQ(log.find("_mixer: stream_load"), std::string::npos) << "nothing registered";
}

// ------ Ogg Vorbis samples ------

struct OggCase {
    const char* sound;
    int rate, channels, frames;
};

TEST_F(AudioFiles, OggSamplesOfAnyRateAndChannelsKeepTheirLength) {
    const OggCase cases[] = {
        {"bell", 44100, 2, 6151},
        {"audio-test-signal", 48000, 1, 67579},
        {"service-logout", 22050, 2, 38935},
        {"phone-outgoing-calling", 8000, 1, 9505},
        {"camera-shutter", 96000, 2, 83734},
    };
    for (const OggCase& c : cases) {
        std::string path = freedesktop(c.sound, std::string(c.sound) + ".ogg");
        int id = driver_audio_sample_load(path.c_str());
        ASSERT_NE(id, 0) << c.sound;
        double frames = (double)c.frames * 44100 / c.rate;
        EXPECT_NEAR(_driver_audio_length(id) / 2, frames, 8) << c.sound;
        EXPECT_EQ(_driver_audio_length(id) % 2, 0) << c.sound;
        if (c.channels == 1) {
            EXPECT_TRUE(channels_equal(sample_output(id))) << c.sound << ": mono in both";
        }
    }
}

TEST_F(AudioFiles, OggIsChosenByDotOggAnywhereInThePathCaseSensitive) {
    std::string ogg_wav = freedesktop("bell", "bell.ogg.wav");
    std::string upper = freedesktop("bell", "bell.OGG");
    EXPECT_NE(driver_audio_sample_load(ogg_wav.c_str()), 0);
    Capture out(stdout);
    EXPECT_EQ(driver_audio_sample_load(upper.c_str()), 0);
    std::string log = out.text();
    EXPECT_NE(log.find("_mixer: error in _sample_load_wav '" + upper +
                       "' (an Ogg file: only names holding .ogg are read as Ogg Vorbis)\n"),
              std::string::npos)
        << log;
}

TEST_F(AudioFiles, BrokenAndMissingOggSamplesSayWhichStepFailed) {
    write_bytes(scratch("junk.ogg"), "OggS but not really");
    sox("-n -r 44100 -c 1 %/whole.ogg synth 0.5 sine 440");
    std::string headers; // the pages before the audio: granule position 0
    for (const std::string& page : ogg_pages(read_bytes(scratch("whole.ogg"))))
        if (page.compare(6, 8, std::string(8, '\0')) == 0) headers += page;
    write_bytes(scratch("headers.ogg"), headers);
    const struct {
        const char* name;
        const char* step;
    } cases[] = {
        {"junk.ogg", "stb_vorbis_decode_memory"},
        {"headers.ogg", "stb_vorbis_decode_memory"}, // every header, no sound
        {"missing.ogg", "driver_file_alloc"},
    };
    for (const auto& c : cases) {
        const std::string path = scratch(c.name);
        Capture out(stdout);
        EXPECT_EQ(driver_audio_sample_load(path.c_str()), 0) << c.name;
        const std::string log = out.text();
        EXPECT_NE(log.find("_mixer: error in _sample_load_ogg '" + path + "' (" + c.step + ")\n"), std::string::npos)
            << log;
    }
}

TEST_F(AudioFiles, CorruptOggIsRefusedAsSampleAndAsStreamWithoutHarm) {
    // Once crashed the decoder (a header size taken on trust).
    const std::string bad = ZOV_TEST_DATA "/sounds/crash-166b.ogg";
    Capture out(stdout);
    EXPECT_EQ(driver_audio_sample_load(bad.c_str()), 0);
    int id = driver_audio_stream_load(bad.c_str(), false);
    driver_audio_stream_play(id, 1.0f, 0.0f);
    EXPECT_EQ(_driver_audio_voices(), 0);
    EXPECT_EQ(_driver_audio_memused(), 0u) << "nothing is held for it";
    std::string log = out.text();
    EXPECT_NE(log.find("_mixer: error in _sample_load_ogg '" + bad + "' (stb_vorbis_decode_memory)\n"),
              std::string::npos) << log;
    EXPECT_NE(log.find("_mixer: error in _stream_load_ogg '" + bad + "' (stb_vorbis_open_memory)\n"),
              std::string::npos) << log;
}

// Files that crashed the Ogg decoder in the past (libogg's page handling
// after a seek, a header size taken on trust), and a one-byte comment
// packet that ends libogg's first 16 KiB page buffer (its identification
// header padded before it), which a check of the comment's type must not
// read past: each one loaded as a sample, and played as a stream through
// more buffers than it claims, so that the stream also starts over.
TEST_F(AudioFiles, DamagedOggFilesNeitherCrashNorHang) {
    for (const auto& entry : std::filesystem::directory_iterator(ZOV_TEST_DATA "/sounds")) {
        const std::string path = entry.path().string();
        SCOPED_TRACE(path);
        Capture quiet(stdout);
        driver_audio_sample_play(driver_audio_sample_load(path.c_str()), 1.0f, 0.0f);
        int stream = driver_audio_stream_load(path.c_str(), false);
        driver_audio_stream_play(stream, 1.0f, 0.0f);
        const int values = std::min(_driver_audio_length(stream), 2 * 44100) + 3 * 2048;
        for (int done = 0; done < values; done += 2048) callback();
        driver_audio_stream_stop(stream);
    }
}

// A chained file plays every part, each converted from its own rate and
// channels (a 440 Hz tone in each), up to a part that can't play, where it
// ends with a line that names the file and the part; and at most 64 parts
// (each keeps its decoder state).
TEST_F(AudioFiles, ChainedOggPlaysEachPartInItsOwnLayout) {
    const struct {
        const char* second; // sox options of the second part
        int rate;           // its rate changed to this, or 0
        int frames;         // what plays
        const char* stop;   // why it ends before the second part
    } cases[] = {{"-r 48000 -c 2", 0, 22050, nullptr}, {"-r 48000 -c 1", 0, 22050, nullptr},
                 {"-r 22050 -c 2", 0, 22049, nullptr}, {"-r 44100 -c 6", 0, 22050, nullptr},
                 {"-r 48000 -c 2", 1000, 11025, "a rate of 1000 Hz: sounds play at 4000 to 384000 Hz"},
                 {"-r 48000 -c 9", 0, 11025, "9 channels: Ogg Vorbis sounds play with 1 to 8 channels"}};
    sox("-n -r 48000 -c 2 %/first.ogg synth 0.25 sine 440");
    const std::string chain = scratch("chain.ogg");
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.second) + " at " + std::to_string(c.rate));
        sox(std::string("-n ") + c.second + " %/second.ogg synth 0.25 sine 440");
        const std::string second = read_bytes(scratch("second.ogg"));
        write_bytes(chain, read_bytes(scratch("first.ogg")) + (c.rate ? ogg_with_rate(second, c.rate) : second));
        Capture log(stdout);
        const int sample = driver_audio_sample_load(chain.c_str());
        const int stream = driver_audio_stream_load(chain.c_str(), false);
        driver_audio_stream_play(stream, 1.0f, 0.0f);
        first_pass(stream);
        const std::string said = log.text();
        EXPECT_NEAR(_driver_audio_length(sample) / 2, c.frames, 1) << "decoded whole";
        EXPECT_EQ(_driver_audio_length(stream), _driver_audio_length(sample)) << "streamed";
        driver_audio_stream_stop(stream);
        const std::vector<int16_t> out = sample_output(sample);
        for (size_t from = 0; from + 2 * 10000 <= out.size(); from += 2 * 11025) // 10,000 frames of each part
            for (int side : {0, 1})
                EXPECT_NEAR(zero_crossings({out.begin() + from, out.begin() + from + 2 * 10000}, side), 200, 3) << from;
        const std::string stop = "_mixer: '" + chain + "' ends before its part 2 (" + (c.stop ? c.stop : "") + ")\n";
        EXPECT_EQ(said.find(stop) != std::string::npos, c.stop != nullptr) << said;
    }
    std::string many;
    for (int i = 0; i < 70; i++) many += read_bytes(scratch("first.ogg"));
    write_bytes(scratch("many.ogg"), many);
    EXPECT_EQ(_driver_audio_length(driver_audio_sample_load(scratch("many.ogg").c_str())), 2 * 64 * 11025);
}

// Two logical streams multiplexed, their first pages together as the
// format lays them: the file plays its first Vorbis stream, 440 Hz for ten
// seconds (four pages of audio), and passes over the other's pages (here a 1000 Hz Vorbis one
// that ends first: its last page does not end the first one).
TEST_F(AudioFiles, OggWithAnotherStreamMultiplexedPlaysItsFirstVorbisStream) {
    sox("-n -r 44100 -c 1 %/a.ogg synth 10 sine 440");
    sox("-n -r 44100 -c 1 %/b.ogg synth 0.1 sine 1000");
    std::vector<std::string> a = ogg_pages(read_bytes(scratch("a.ogg"))), b = ogg_pages(read_bytes(scratch("b.ogg")));
    ASSERT_TRUE(a.size() > 2 && b.size() > 2);
    for (std::string& page : b) {
        page.replace(14, 4, a[0].substr(14, 4));
        page[14] ^= 1; // a serial number of its own
        ogg_fix_crc(page);
    }
    std::string both = a[0] + b[0];
    for (size_t i = 1; i < std::max(a.size(), b.size()); i++) both += (i < a.size() ? a[i] : "") + (i < b.size() ? b[i] : "");
    write_bytes(scratch("both.ogg"), both);
    int id = driver_audio_sample_load(scratch("both.ogg").c_str());
    ASSERT_NE(id, 0);
    EXPECT_EQ(_driver_audio_length(id), 2 * 441000);
    EXPECT_NEAR(zero_crossings(sample_output(id), 0), 20 * 440, 6) << "the first stream's tone";
}

// libvorbis's encoder writes codebooks of lookup type 1 only: lookup2.ogg
// is lookup1.ogg with one book of 81 entries of 4 dimensions rewritten as
// type 2, whose 324 values give the same vectors (tools/ogg-lookup2.py;
// oggdec decodes the two alike).  The loader reads the setup header past
// that book as libvorbis does: both files play the same sound.
TEST_F(AudioFiles, CodebookOfLookupType2PlaysAsItsType1Twin) {
    const int one = driver_audio_sample_load(ZOV_TEST_DATA "/sounds/lookup1.ogg");
    const int two = driver_audio_sample_load(ZOV_TEST_DATA "/sounds/lookup2.ogg");
    ASSERT_NE(two, 0);
    EXPECT_EQ(_driver_audio_length(two), 2 * 22050);
    EXPECT_EQ(sample_output(two), sample_output(one));
}

// A capture pattern before the first page, whose header claims a page that
// would end inside the real one: the page finder checks both, passes over
// the false one, and the file plays as it does without it.
TEST_F(AudioFiles, FalsePageOverlappingTheFirstIsPassedOver) {
    sox("-n -r 44100 -c 1 %/clean.ogg synth 0.5 sine 440");
    const std::string clean = read_bytes(scratch("clean.ogg"));
    // "OggS", version 0, zeros up to the segment count: 1 segment of 10 bytes.
    write_bytes(scratch("false.ogg"), "OggS" + std::string(22, '\0') + "\x01\x0a" + clean);
    const int id = driver_audio_sample_load(scratch("false.ogg").c_str());
    ASSERT_NE(id, 0);
    EXPECT_EQ(sample_output(id), sample_output(driver_audio_sample_load(scratch("clean.ogg").c_str())));
}

TEST_F(AudioFiles, OggDecodingGoesOnPastAMissingPage) {
    std::ifstream in(ZOV_TEST_DATA "/../../data/music.ogg", std::ios::binary); // 352,800 frames
    const std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::string> pages = ogg_pages(file);
    ASSERT_GT(pages.size(), 8u);
    pages.erase(pages.begin() + pages.size() / 2);
    std::ofstream(scratch("hole.ogg"), std::ios::binary) << std::accumulate(pages.begin(), pages.end(), std::string());
    int id = driver_audio_sample_load(scratch("hole.ogg").c_str());
    ASSERT_NE(id, 0);
    // One page of the middle holds well under a second.
    EXPECT_GT(_driver_audio_length(id), 2 * 7 * 44100) << "what follows the hole decodes too";
    EXPECT_LT(_driver_audio_length(id), 2 * 352800) << "the lost page is not made up";
}

TEST_F(AudioFiles, GameMusicDecodesWholeAsSampleAndStreamAlike) {
    const std::string music = ZOV_TEST_DATA "/../../data/music.ogg"; // 8 s, stereo, 44100 Hz
    int sample = driver_audio_sample_load(music.c_str());
    int stream = driver_audio_stream_load(music.c_str(), false);
    ASSERT_NE(sample, 0);
    EXPECT_EQ(_driver_audio_length(sample), 2 * 352800);
    std::vector<int16_t> from_sample = sample_output(sample);
    driver_audio_stream_play(stream, 1.0f, 0.0f);
    std::vector<int16_t> from_stream = first_pass(stream);
    EXPECT_EQ(_driver_audio_length(stream), 2 * 352800);
    from_stream.resize(from_sample.size());
    EXPECT_TRUE(from_stream == from_sample);
}

// The decoder gives every frame whatever piece a caller asks for, smaller
// or larger than what one packet decodes to.
TEST(OggDecoder, ReadInPiecesOfAnySizeGivesEveryFrame) {
    sox("-n -r 44100 -c 2 %/pieces.ogg synth 0.5 sine 440");
    const std::string bytes = read_bytes(scratch("pieces.ogg"));
    VorbisDecoder dec;
    ASSERT_TRUE(dec.open((const unsigned char*)bytes.data(), bytes.size()));
    for (int piece : {1, 100, 4096}) {
        dec.rewind();
        std::vector<float> out((size_t)piece * 2);
        long frames = 0;
        for (int n; (n = dec.read(out.data(), piece)) > 0;) frames += n;
        EXPECT_EQ(frames, 22050) << piece << " frames a call";
    }
}

// ------ Pitch ------

TEST_F(AudioFiles, A1kHzToneAt48kHzKeepsItsPitchAsWavAndOgg) {
    sox("-D -n -r 48000 -c 1 -b 16 %/tone.wav synth 1 sine 1000 gain -3");
    sox("-n -r 48000 -c 1 %/tone.ogg synth 1 sine 1000 gain -3");
    for (const char* name : {"tone.wav", "tone.ogg"}) {
        int id = driver_audio_sample_load(scratch(name).c_str());
        ASSERT_NE(id, 0) << name;
        EXPECT_NEAR(_driver_audio_length(id) / 2, 44100, 8) << name << ": one second";
        std::vector<int16_t> out = sample_output(id);
        EXPECT_NEAR(zero_crossings(out, 0), 2000, 10) << name << ": 1000 periods in one second";
    }
    // The same tone streamed: half a second holds 500 periods.
    int id = driver_audio_stream_load(scratch("tone.ogg").c_str(), false);
    driver_audio_stream_play(id, 1.0f, 0.0f);
    std::vector<int16_t> out = first_pass(id);
    EXPECT_NEAR(_driver_audio_length(id) / 2, 44100, 8);
    out.resize(44100);
    EXPECT_NEAR(zero_crossings(out, 0), 1000, 10);
}

// Every rate a file may come in, WAV and Ogg, as a sample and as a stream,
// against sox's own very-high-quality resampling of the same 7 s file: a
// tone on the left (5 kHz; 2 kHz at 8 kHz) as clean as sox makes it (for
// Ogg the codec's noise sets that floor), noise on the right whose lag is
// the same at the start and at the end, the exact length with the last
// frames sounding, sample and stream alike; 44.1 kHz passes as it is.
TEST_F(AudioFiles, EveryRateIsResampledAsCleanAsSoxWithoutDriftOrLoss) {
    for (int rate : {8000, 11025, 22050, 32000, 44100, 48000, 96000}) {
        for (const char* kind : {"wav", "ogg"}) {
            const std::string name = "rate" + std::to_string(rate) + "." + kind;
            SCOPED_TRACE(name);
            const int tone = rate == 8000 ? 2000 : 5000;
            sox("-n -r " + std::to_string(rate) + " -c 2 " + (kind[0] == 'w' ? "-b 16 -D" : "-C 8") + " %/" +
                name + " synth 7 sine " + std::to_string(tone) + " whitenoise remix 1v0.5 2v0.02");
            sox("%/" + name + " -t f32 %/ref.raw rate -v 44100");
            const std::vector<float> ref = read_floats(scratch("ref.raw"));
            const int sample = driver_audio_sample_load(scratch(name).c_str());
            const int stream = driver_audio_stream_load(scratch(name).c_str(), false);
            const int len = _driver_audio_length(sample);
            EXPECT_NEAR(len / 2, 7 * 44100, 1) << "the length";
            const std::vector<int16_t> out = sample_output(sample);
            driver_audio_stream_play(stream, 1.0f, 0.0f);
            EXPECT_TRUE(play_for(len) == out) << "the stream plays the sample's values";
            EXPECT_EQ(_driver_audio_length(stream), len);
            driver_audio_stream_stop(stream);

            const std::vector<float> ours = to_floats(out);
            const auto tail = std::minmax_element(ours.end() - 16, ours.end());
            EXPECT_GT(*tail.second - *tail.first, 0.01) << "the last frames sound";
            const size_t half = 22050, end = (size_t)len / 2 - half;
            const double floor = fit_tone(ref, 0, tone, half, end).rest_db;
            EXPECT_LE(fit_tone(ours, 0, tone, half, end).rest_db, kind[0] == 'w' ? -70 : floor + 3)
                << "energy away from the tone; sox: " << floor;
            EXPECT_NEAR(lag(ours, ref, 1, end - half, half), lag(ours, ref, 1, half, half), 1) << "drift";
            for (size_t i = 0; rate == 44100 && i < ours.size(); i++)
                ASSERT_NEAR(ours[i], ref[i], 1 / 32768.0) << "as the file holds it, value " << i;
        }
    }
}

// ------ Ogg Vorbis streams ------

TEST_F(AudioFiles, MonoStreamPlaysInBothChannelsAndLoopsFromTheStart) {
    std::string path = freedesktop("audio-test-signal", "signal.ogg");
    int id = driver_audio_stream_load(path.c_str(), false);
    ASSERT_NE(id, 0);
    EXPECT_EQ(_driver_audio_length(id), 0) << "not opened before it plays";
    driver_audio_stream_play(id, 1.0f, 0.0f);
    std::vector<int16_t> pass = first_pass(id);
    int len = _driver_audio_length(id);
    EXPECT_NEAR(len / 2, 67579.0 * 44100 / 48000, 8);
    ASSERT_EQ((int)pass.size(), (len + 2047) / 2048 * 2048) << "it ends in the buffer that reaches its end";
    EXPECT_TRUE(channels_equal(pass));
    EXPECT_GT(*std::max_element(pass.begin(), pass.end()), 1000) << "not silence";
    for (int i = len; i < (int)pass.size(); i++) ASSERT_EQ(pass[i], 0) << "after the end, value " << i;
    std::vector<int16_t> again = callback();
    EXPECT_TRUE(std::equal(again.begin(), again.end(), pass.begin())) << "the loop restarts at the start";
}

TEST_F(AudioFiles, StreamThatCannotOpenAddsNoVoiceAndLogsOnce) {
    std::string path = scratch("gone.ogg");
    int id = driver_audio_stream_load(path.c_str(), false);
    ASSERT_NE(id, 0) << "registered; opened when played";
    Capture out(stdout);
    driver_audio_stream_play(id, 1.0f, 0.0f);
    EXPECT_EQ(_driver_audio_voices(), 0);
    for (int i = 0; i < 3; i++) callback();
    std::string log = out.text();
    std::string fail = "_mixer: error in _stream_load_ogg '" + path + "' (driver_file_alloc)\n";
    size_t at = log.find(fail);
    EXPECT_NE(at, std::string::npos) << log;
    EXPECT_EQ(log.find(fail, at + 1), std::string::npos) << "logged once:\n" << log;
    EXPECT_EQ(log.find("AudioSourceVorbis.load"), log.rfind("AudioSourceVorbis.load")) << log;
}

// Resampled while it plays, a stream still plays to the end of its length
// (the resampler's last milliseconds included), in whole frames, and
// nothing after it.
TEST_F(AudioFiles, OggStreamPlaysToItsEndAndNoFurtherAtAnyRate) {
    const struct {
        int rate;
        const char* seconds;
        double frames; // what plays, at 44100 Hz
    } cases[] = {{8000, "0.1234", 0.1234 * 44100},
                 {32000, "0.5", 22050},
                 {44100, "0.5", 22050},
                 {48000, "0.77777", 0.77777 * 44100},
                 {44100, "0.2321995465", 10240}}; // ends where a buffer ends
    for (const auto& c : cases) {
        const std::string name = "end" + std::to_string(c.rate) + "-" + c.seconds + ".ogg";
        SCOPED_TRACE(name);
        // Below full scale: the limiter leaves every buffer as decoded.
        sox("-n -r " + std::to_string(c.rate) + " -c 2 %/" + name + " synth " + c.seconds + " sine 440 gain -3");
        int id = driver_audio_stream_load(scratch(name).c_str(), false);
        driver_audio_stream_play(id, 1.0f, 0.0f);
        std::vector<int16_t> pass = first_pass(id);
        const int len = _driver_audio_length(id);
        EXPECT_EQ(len % 2, 0) << "whole frames";
        EXPECT_NEAR(len / 2, c.frames, 2) << "the frames the file holds";
        ASSERT_EQ((int)pass.size(), (len + 2047) / 2048 * 2048);
        int last = len - 1;
        while (last >= 0 && pass[last] == 0) last--;
        EXPECT_GT(last, len - 64) << "the tail plays";
        for (size_t i = len; i < pass.size(); i++) ASSERT_EQ(pass[i], 0) << "past the end, value " << i;
        std::vector<int16_t> again = callback();
        EXPECT_TRUE(std::equal(again.begin(), again.end(), pass.begin())) << "the loop starts in the next buffer";
        driver_audio_stream_stop(id);
    }
}

// Started again, while it plays or after a stop, a stream begins afresh:
// nothing of the previous pass is left in the decoder or the resampler.
TEST_F(AudioFiles, OggStreamStartedAgainBeginsAfresh) {
    sox("-n -r 48000 -c 1 %/again.ogg synth 1 sine 440");
    const std::string path = scratch("again.ogg");
    for (bool stop : {false, true}) {
        SCOPED_TRACE(stop ? "stopped, then played" : "played again while playing");
        int id = driver_audio_stream_load(path.c_str(), false);
        driver_audio_stream_play(id, 1.0f, 0.0f);
        std::vector<int16_t> first = play_for(3 * 2048);
        if (stop) driver_audio_stream_stop(id);
        driver_audio_stream_play(id, 1.0f, 0.0f);
        EXPECT_EQ(_driver_audio_voices(), 1);
        EXPECT_EQ(_driver_audio_memused(), std::filesystem::file_size(path)) << "the file held once";
        EXPECT_EQ(play_for(3 * 2048), first);
        driver_audio_stream_stop(id);
    }
}

// ------ Memory accounting ------

TEST_F(AudioFiles, MemoryCountsDecodedValuesAndOpenStreamFiles) {
    write_wav(scratch("m.wav"), 2, 44100, std::vector<float>(1000, 0.1f));
    std::string ogg = freedesktop("bell", "m.ogg");
    Capture out(stdout);
    driver_audio_sample_load(scratch("m.wav").c_str());
    EXPECT_EQ(_driver_audio_memused(), 4000u);
    int id = driver_audio_stream_load(ogg.c_str(), false);
    EXPECT_EQ(_driver_audio_memused(), 4000u) << "a stream holds nothing until it plays";
    driver_audio_stream_play(id, 1.0f, 0.0f);
    EXPECT_EQ(_driver_audio_memused(), 4000u + std::filesystem::file_size(ogg));
    driver_audio_stream_stop(id);
    EXPECT_EQ(_driver_audio_memused(), 4000u);
    std::string log = out.text();
    EXPECT_NE(log.find("_mixer->memused: 0.00M\n"), std::string::npos) << log;
    EXPECT_NE(log.find("_mixer: AudioSourceVorbis.unload '" + ogg + "' ...\n"), std::string::npos) << log;
}
