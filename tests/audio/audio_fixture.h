// Shared by the audio tests: a scratch directory of sound files made at test
// time (sox, copies of installed Debian sounds, or WAVs written here), and a
// fixture that opens the device and drives its callback by hand.
#pragma once

#include <gtest/gtest.h>

#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <numeric>
#include <string>
#include <vector>

#include "zov_driver-snd_load.h"
#include "zov_driver.h"

namespace audio_test {

// A directory of this process, removed when it ends.
inline const std::string& scratch_dir() {
    struct Dir {
        std::string path;
        Dir() {
            char tmpl[] = "/tmp/zov-audio-XXXXXX";
            path = mkdtemp(tmpl);
        }
        ~Dir() { std::filesystem::remove_all(path); }
    };
    static Dir dir;
    return dir.path;
}

inline std::string scratch(const std::string& name) { return scratch_dir() + "/" + name; }

// Runs sox with `args`, in which every "%" stands for the scratch directory.
inline void sox(std::string args) {
    for (size_t at; (at = args.find('%')) != std::string::npos;) args.replace(at, 1, scratch_dir());
    std::string cmd = "sox " + args + " 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
}

// An installed freedesktop sound (Ogg Vorbis in .oga) copied as name.ogg.
inline std::string freedesktop(const std::string& sound, const std::string& name) {
    std::string to = scratch(name);
    std::filesystem::copy_file("/usr/share/sounds/freedesktop/stereo/" + sound + ".oga", to,
                               std::filesystem::copy_options::overwrite_existing);
    return to;
}

// Writes a WAV file of `bits`-bit PCM (16) or float (32) frames.
inline void write_wav(const std::string& path, int channels, int rate, const std::vector<float>& values,
                      int bits = 32) {
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    auto u32 = [f](uint32_t v) { std::fwrite(&v, 4, 1, f); };
    auto u16 = [f](uint16_t v) { std::fwrite(&v, 2, 1, f); };
    uint32_t data = (uint32_t)values.size() * bits / 8;
    std::fputs("RIFF", f);
    u32(36 + data);
    std::fputs("WAVEfmt ", f);
    u32(16);
    u16(bits == 32 ? 3 : 1);
    u16((uint16_t)channels);
    u32((uint32_t)rate);
    u32((uint32_t)(rate * channels * bits / 8));
    u16((uint16_t)(channels * bits / 8));
    u16((uint16_t)bits);
    std::fputs("data", f);
    u32(data);
    for (float v : values) {
        if (bits == 32) {
            std::fwrite(&v, 4, 1, f);
        } else {
            int16_t s = (int16_t)std::lround(v * 32768.0f);
            std::fwrite(&s, 2, 1, f);
        }
    }
    std::fclose(f);
}

// What a float of the mix becomes on a signed 16-bit device: SDL's own
// conversion, on the vector path that the callback's aligned buffers take
// (SDL's scalar path scales by 32767 instead of 32768).
inline int16_t s16(float v) {
    alignas(16) float buf[16];
    std::fill(buf, buf + 16, v);
    SDL_AudioCVT cvt;
    SDL_BuildAudioCVT(&cvt, AUDIO_F32SYS, 2, 44100, AUDIO_S16SYS, 2, 44100);
    cvt.buf = (Uint8*)buf;
    cvt.len = sizeof buf;
    SDL_ConvertAudio(&cvt);
    int16_t out;
    std::memcpy(&out, buf, sizeof out);
    return out;
}

inline std::string read_bytes(const std::string& path) {
    std::string bytes;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        char buf[65536];
        for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) bytes.append(buf, n);
        std::fclose(f);
    }
    return bytes;
}

inline void write_bytes(const std::string& path, const std::string& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr) << path;
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

// The pages of an Ogg file, each whole as it stands in the file.
inline std::vector<std::string> ogg_pages(const std::string& file) {
    std::vector<std::string> pages;
    for (size_t at = 0; at + 27 <= file.size() && file.compare(at, 4, "OggS") == 0;) {
        const size_t segments = (unsigned char)file[at + 26];
        size_t size = 27 + segments;
        for (size_t i = 0; i < segments; i++) size += (unsigned char)file[at + 27 + i];
        pages.push_back(file.substr(at, size));
        at += size;
    }
    return pages;
}

// Sets the checksum of a page whose bytes a test changed: the Ogg CRC-32
// (polynomial 0x04c11db7, no reflection) over the page with its checksum
// field zeroed.
inline void ogg_fix_crc(std::string& page) {
    page.replace(22, 4, 4, '\0');
    uint32_t crc = 0;
    for (unsigned char b : page) {
        crc ^= (uint32_t)b << 24;
        for (int k = 0; k < 8; k++) crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04c11db7u : crc << 1;
    }
    for (int k = 0; k < 4; k++) page[22 + k] = (char)(crc >> (8 * k));
}

// The Ogg Vorbis file with the rate of its identification header changed
// (its fields from byte 40 of the first page).
inline std::string ogg_with_rate(const std::string& file, int rate) {
    std::vector<std::string> pages = ogg_pages(file);
    for (int k = 0; k < 4; k++) pages[0][40 + k] = (char)(rate >> (8 * k));
    ogg_fix_crc(pages[0]);
    return std::accumulate(pages.begin(), pages.end(), std::string());
}

// Values as floats: a raw file of them (sox's "-t f32"), or the device's.
inline std::vector<float> read_floats(const std::string& path) {
    const std::string b = read_bytes(path);
    return std::vector<float>((const float*)b.data(), (const float*)b.data() + b.size() / sizeof(float));
}
inline std::vector<float> to_floats(const std::vector<int16_t>& v) {
    std::vector<float> f(v.begin(), v.end());
    for (float& x : f) x /= 32768;
    return f;
}

// A least-squares fit of a tone of `freq` Hz to one channel of interleaved
// stereo values at 44100 Hz, over frames [from, to): the tone's amplitude,
// and the energy it leaves unexplained, in dB below the channel's.
struct ToneFit {
    double amplitude, rest_db;
};
inline ToneFit fit_tone(const std::vector<float>& v, int channel, double freq, size_t from, size_t to) {
    const double w = 2 * M_PI * freq / 44100;
    double ss = 0, cc = 0, sc = 0, ys = 0, yc = 0, yy = 0;
    for (size_t i = from; i < to; i++) {
        const double s = std::sin(w * i), c = std::cos(w * i), y = v[2 * i + channel];
        ss += s * s, cc += c * c, sc += s * c, ys += y * s, yc += y * c, yy += y * y;
    }
    const double det = ss * cc - sc * sc, a = (ys * cc - yc * sc) / det, b = (yc * ss - ys * sc) / det;
    return {std::hypot(a, b), 10 * std::log10((yy - a * ys - b * yc) / yy)};
}

// How many frames, within 16, `a` lags behind `b` in one channel over the
// frames [at, at + n) of `b`.
inline int lag(const std::vector<float>& a, const std::vector<float>& b, int channel, size_t at, size_t n) {
    int best = 0;
    double most = -1;
    for (int d = -16; d <= 16; d++) {
        double sum = 0;
        for (size_t i = at; i < at + n; i++) sum += (double)a[2 * (i + d) + channel] * b[2 * i + channel];
        if (sum > most) most = sum, best = d;
    }
    return best;
}

// Number of sign changes of one channel of interleaved stereo values.
inline int zero_crossings(const std::vector<int16_t>& v, int channel) {
    int n = 0;
    for (size_t i = channel + 2; i < v.size(); i += 2)
        if ((v[i - 2] < 0) != (v[i] < 0)) n++;
    return n;
}

// The audio device opened on SDL's dummy driver and paused, so that the
// test alone calls the callback.
class AudioDevice : public ::testing::Test {
protected:
    void SetUp() override {
        driver_init(DRIVER_INIT_AUDIO);
        ASSERT_NE(_driver_audio_device(), 0u) << "the dummy audio driver did not open";
        SDL_PauseAudioDevice(_driver_audio_device(), 1);
    }
    void TearDown() override { driver_deinit(); }

    // One callback of `values` device values (signed 16-bit stereo).
    std::vector<int16_t> callback(int values = 2048) {
        std::vector<int16_t> out(values, 12345);
        SDL_LockAudioDevice(_driver_audio_device());
        _driver_audio_callback(nullptr, (unsigned char*)out.data(), values * 2);
        SDL_UnlockAudioDevice(_driver_audio_device());
        return out;
    }

    // Callbacks while a playing stream has not yet reached its end (which
    // tells its length), at most `most` values: what they wrote.
    std::vector<int16_t> first_pass(int id, int most = 2 * 44100 * 10) {
        std::vector<int16_t> all;
        while (_driver_audio_length(id) == AUDIO_LENGTH_UNKNOWN && (int)all.size() < most) {
            std::vector<int16_t> b = callback();
            all.insert(all.end(), b.begin(), b.end());
        }
        return all;
    }

    // Callbacks until `values` device values are collected.
    std::vector<int16_t> play_for(int values) {
        std::vector<int16_t> all;
        while ((int)all.size() < values) {
            std::vector<int16_t> b = callback();
            all.insert(all.end(), b.begin(), b.end());
        }
        all.resize(values);
        return all;
    }
};

} // namespace audio_test
