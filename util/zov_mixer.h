// zov_mixer: the sound registry.  Maps a sound name to a sample id or a stream
// id of the audio device (zov_driver), finding the file in the data
// directories, and notices changed sound files.
//
// State: the singleton `_mixer`, created by `mixer_init` and deleted by
// `mixer_deinit`; every call outside that span answers 0 and does nothing.
// Main thread only; the audio device locks where it must.
//
// A name is looked up once per name space (samples and streams are separate)
// and its result is kept, failures included: a name that was not found or
// did not load answers 0 from then on, silently.
#pragma once

#include <ctime>
#include <map>
#include <string>

// One registered name: the audio device's id (0 for none), the resolved
// file (empty when none was found) and its modification time.
struct MixerSound {
    int n = 0;
    char fname[512] = {};
    time_t mtime = 0;
    explicit MixerSound(int id = 0) : n(id) {}
};
using MixerSample = MixerSound;
using MixerStream = MixerSound;

struct _MixerData {
    std::map<std::string, MixerSample> sample_map;
    std::map<std::string, MixerStream> stream_map;
};

// The registry: null outside mixer_init .. mixer_deinit.  Main thread only.
extern _MixerData* _mixer;

// ====== Lifecycle ======

// Creates an empty registry (after driver_init, so the device exists).
void mixer_init();
// Deletes the registry; the device keeps its sounds until driver_deinit.
void mixer_deinit();
void mixer_loop();

// ====== Lookup ======

// The data path of the first existing candidate among the name and the name
// with ".wav", ".ogg", ".mp3", ".aac", ".caf" or ".raw"; null when none
// exists.  The path is the driver's static buffer, overwritten by the next
// resolution.  Candidates longer than 511 bytes are skipped with one line on
// standard error.
char* _mixer_find(const char* name);
// The id of the sample or stream of that name, loaded on first use; 0 when
// it was not found or did not load (remembered: never retried).
int mixer_sample_load(const char* name);
int mixer_stream_load(const char* name);

// ====== Playing ======

// Ids come from the two loads above; 0 and unknown ids do nothing.
void mixer_sample_play(int id, float vol, float pan);
// Restarts the stream from its beginning, looping.
void mixer_stream_play(int id, float vol);
void mixer_stream_stop(int id);
void mixer_stream_volume(int id, float vol);

// ====== Changes ======

// At most once per wall-clock second: reports on standard error each loaded
// sound file whose modification time grew and lies at least 2 seconds in the
// past (once per change).  The sound keeps playing as loaded.
void mixer_reload_auto();
