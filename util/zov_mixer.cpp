#include "zov_mixer.h"

#include <cstdio>

#include "zov_driver.h"

// ====== State ======

_MixerData* _mixer = nullptr;

namespace {

// What differs between the two name spaces: the words of their messages
// and the device calls behind them.
struct MixerKind {
    const char* lead; // before "trying load"
    const char* word;
    int (*load)(const char* path);
    void (*reload)(int id);
};

int _mixer_load_sample(const char* path) { return driver_audio_sample_load(path); }
int _mixer_load_stream(const char* path) { return driver_audio_stream_load(path, false); }

const MixerKind SAMPLE = {":: ", "sample", _mixer_load_sample, driver_audio_sample_reload};
const MixerKind STREAM = {"", "stream", _mixer_load_stream, driver_audio_stream_reload};

int _mixer_load(std::map<std::string, MixerSound>& map, const MixerKind& kind, const char* name) {
    auto it = map.find(name);
    if (it != map.end()) return it->second.n;
    fprintf(stderr, "%strying load %s %s\n", kind.lead, kind.word, name);
    const char* found = _mixer_find(name);
    if (!found) {
        fprintf(stderr, "unable to find %s %s\n", kind.word, name);
        map.emplace(name, MixerSound(0));
        return 0;
    }
    fprintf(stderr, "doing load %s %s\n", kind.word, name);
    MixerSound& e = map[name];
    snprintf(e.fname, sizeof e.fname, "%s", found); // copied before the driver reuses its buffer
    e.n = kind.load(e.fname);
    e.mtime = driver_file_mtime(e.fname);
    return e.n;
}

void _mixer_check(std::map<std::string, MixerSound>& map, const MixerKind& kind) {
    for (auto& [name, e] : map) {
        if (!e.fname[0]) continue;
        time_t m = driver_file_mtime(e.fname);
        // A file changed less than 2 seconds ago may still be being written.
        if (e.mtime < m && time(nullptr) - 2 >= m) {
            fprintf(stderr, "%s reload: %s\n", kind.word, e.fname);
            kind.reload(e.n);
            e.mtime = m;
        }
    }
}

} // namespace

// ====== Lifecycle ======

void mixer_init() {
    if (!_mixer) _mixer = new _MixerData();
}

void mixer_deinit() {
    delete _mixer;
    _mixer = nullptr;
}

void mixer_loop() { driver_audio_loop(); }

// ====== Lookup ======

char* _mixer_find(const char* name) {
    static const char* const suffixes[] = {"", ".wav", ".ogg", ".mp3", ".aac", ".caf", ".raw"};
    bool reported = false;
    for (const char* suffix : suffixes) {
        char candidate[512];
        int n = snprintf(candidate, sizeof candidate, "%s%s", name, suffix);
        if (n < 0 || n >= (int)sizeof candidate) {
            if (!reported) fprintf(stderr, "sound name too long: %s\n", name);
            reported = true;
            continue;
        }
        if (driver_data_exists(candidate)) return driver_data_fname(candidate);
    }
    return nullptr;
}

int mixer_sample_load(const char* name) {
    if (!_mixer || !name) return 0;
    return _mixer_load(_mixer->sample_map, SAMPLE, name);
}

int mixer_stream_load(const char* name) {
    if (!_mixer || !name) return 0;
    return _mixer_load(_mixer->stream_map, STREAM, name);
}

// ====== Playing ======

void mixer_sample_play(int id, float vol, float pan) {
    if (_mixer) driver_audio_sample_play(id, vol, pan);
}

void mixer_stream_play(int id, float vol) {
    if (_mixer) driver_audio_stream_play(id, vol, 0.0f);
}

void mixer_stream_stop(int id) {
    if (_mixer) driver_audio_stream_stop(id);
}

void mixer_stream_volume(int id, float vol) {
    if (_mixer) driver_audio_stream_volume(id, vol);
}

// ====== Changes ======

void mixer_reload_auto() {
    static time_t last_check = 0;
    if (!_mixer) return;
    time_t now = time(nullptr);
    if (now == last_check) return;
    last_check = now;
    _mixer_check(_mixer->sample_map, SAMPLE);
    _mixer_check(_mixer->stream_map, STREAM);
}
