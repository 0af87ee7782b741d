// zov_driver: the platform driver's interface, its settings and its file
// services.
//
// State: the settings record `_driver`, created by `driver_init` and deleted
// by `driver_deinit`; every other driver call is made between the two.  The
// frame counter, the static path buffers and the list of started browsers
// are process-wide and survive init/deinit cycles.
//
// Threads: main thread only, except `driver_file_alloc` (the audio thread
// may load a stream with it) and the log line of zov_printf.
//
// This file holds what does not depend on SDL: settings, frame counter,
// opening URLs, paths and whole-file load and save.  Start-up, timer,
// window and GL context are in zov_driver-sdl2.
#pragma once

#include <string>

// ====== Settings record ======

// Bits of `driver_init`'s flags: the parts of the platform to start.
enum { DRIVER_INIT_VIDEO = 1, DRIVER_INIT_AUDIO = 2, DRIVER_INIT_TIMER = 4 };

struct _DriverData {
    int width = 0, height = 0; // window size, set by the resize handling
    float aspect = 1.0f;       // integer quotient width / height
    float scale = 1.0f;        // integer quotient drawable width / width
    float orient = 0.0f;
    char idiom[256] = {};
    char gamename[256] = {}; // names the documents directory
    char caption[256] = {};  // window title, applied at the next flip
    char icon[512] = {};     // path of a BMP window icon
    int fps = 0;             // rate of the frame counter
    char altdir[512] = {};   // searched before the data directory
};

// The one settings record: null outside driver_init .. driver_deinit.
// Main thread only.
extern _DriverData* _driver;

// ====== Lifecycle ======

// Creates the settings record and starts the timer (DRIVER_INIT_TIMER),
// video with joysticks (DRIVER_INIT_VIDEO) and the audio device
// (DRIVER_INIT_AUDIO), in that order; nothing is checked.  Ignores SIGXFSZ
// for the rest of the process, so a write past the file-size limit fails
// instead of killing it.  A second call without a `driver_deinit` in between
// does nothing.
void driver_init(int flags);
// Stops audio, video and timer (each only if started), quits SDL, deletes the
// settings record.
void driver_deinit();
// Does nothing: the program ends through the game's quit flag.
void driver_app_exit();

// The audio device, started by driver_init and stopped by driver_deinit.
// Filled by the audio device module.
void _driver_audio_init();
void _driver_audio_deinit();

// ====== Settings ======

void driver_set_size(int w, int h);
void driver_get_size(int* w, int* h);
void driver_set_aspect(float aspect);
float driver_get_aspect();
void driver_set_scale(float scale);
float driver_get_scale();
void driver_set_orient(float orient);
float driver_get_orient();

// Text settings are fixed fields.  A text too long for its field is cut
// (idiom, game name, caption) or, for a path (icon, alternative directory),
// refused and cleared; either way one line goes to standard error.  Null
// counts as the empty text.  Getters return the field itself.
void driver_set_idiom(const char* s);
const char* driver_get_idiom();
void driver_set_gamename(const char* s);
void driver_set_caption(const char* s);
const char* driver_get_caption();
void driver_set_icon(const char* s);
const char* driver_get_icon();
void driver_set_altdir(const char* s);

// ====== Time ======

void driver_timer_set(int fps);
// Milliseconds since SDL started; past 2^31 ms the value wraps to negative,
// so differences go through driver_timer_delta.
int driver_timer_get_ticks();
// Sleeps `ms` milliseconds; a negative value sleeps 0.
void driver_timer_delay(int ms);
// later - earlier in milliseconds, right across the wrap of the tick count.
int driver_timer_delta(int later, int earlier);
// Frames of the driver_timer_set rate fallen due since the previous call
// (all of them after a pause, none skipped); 0 while the rate is not above 0.
int driver_timer_tick();

// ====== Web browser ======

// Writes "Driver::weblink: <url>" on standard output and starts `firefox`
// with the URL as its one argument, without a shell and without waiting.
// A URL that begins with '-' is refused; failures go to standard error.
void driver_open_url(const char* url);
// Collects browsers that have exited, so none stays a zombie.  Called at
// each open, each flip and at deinit.
void _driver_reap_children();

// ====== Paths ======
// Paths are returned in static buffers that the next call of the same
// function overwrites.  A path that does not fit its buffer is never cut
// (it could name another, existing file): the result is then the empty
// path, which no file has, and a line goes to standard error.

// The alternative directory's file when it exists there, else the data
// directory's (existing or not).
char* driver_data_fname(const char* name);
// The file in the documents directory, which this creates when missing.
char* driver_doc_fname(const char* name);
// "." without a game name, else "<home>/.<gamename>", created (mode 0755).
char* _driver_get_docdir();
// "../data", relative to the working directory.
char* _driver_get_datadir();
// HOME; when unset, empty or the root, the password database's home
// directory; else ".".
char* driver_get_home_dir();
// Cuts the last component ('/' or '\\') off `path` in place; returns it.
char* _driver_dirname(char* path);

// ====== Files ======
// A file here is a regular file: a directory (or a device) is not one, so it
// does not exist, has size and time 0 and loads as nothing.

int _driver_std_exists(const char* path);
int _driver_std_fsize(const char* path);
int _driver_std_mtime(const char* path);
void* _driver_std_alloc(const char* path, int* len);
int _driver_std_load(const char* path, void* buf, int len);
int _driver_std_save(const char* path, const void* buf, int len);

// 1 when the file opens for reading, else 0.
int driver_file_exists(const char* path);
// Size in bytes (at most INT_MAX); 0 when missing.
int driver_file_fsize(const char* path);
// Modification time in seconds since the epoch; 0 when missing.
int driver_file_mtime(const char* path);
// The whole file in a new malloc'ed buffer that the caller frees, its length
// in *len; null (and *len 0) when it is missing, empty or can't be read.
void* driver_file_alloc(const char* path, int* len);
// Reads at most len bytes into buf; returns the bytes read, 0 when the file
// can't be opened ("file not found: %s").
int driver_file_load(const char* path, void* buf, int len);
// The whole file, zero bytes included; empty when it can't be read.
std::string driver_file_load(const char* path);
// Replaces the file with len bytes of buf, all or nothing: the old file stays
// untouched unless the new one was written completely, also while other
// processes (in any PID namespace) save it, and 0 means the new file and its
// name are on disk.  The new file keeps the old one's mode (and owner and
// group, where the process may set them); a symbolic link stays and its
// target is replaced.  No file but the document and the abandoned temporary
// files of saves of it (".<hash>.<random>.saving", unlocked) is touched.
// When no temporary file can be made beside the document (a folder this user
// may not write, or with no room for another file) but the document is
// writable, it is rewritten in place under an exclusive flock, which other
// rewrites and the loads above (they lock shared) wait for, and a failed
// rewrite puts the old bytes back (only a kill or power loss during it can
// tear the document; a reader taking no lock may see it half-written).  Returns
// 0 when saved, else the errno value that says why not (EINVAL for a null
// buffer or a negative length); it writes no line, the caller reports the
// failure.
int driver_file_save(const char* path, const void* buf, int len);

bool driver_data_exists(const char* name);
int driver_data_fsize(const char* name);
int driver_data_load(const char* name, void* buf, int len);
std::string driver_data_load(const char* name);

bool driver_doc_exists(const char* name);
int driver_doc_fsize(const char* name);
int driver_doc_load(const char* name, void* buf, int len);
std::string driver_doc_load(const char* name);
// As driver_file_save; when the documents directory cannot be made, the
// reason it could not (such as EACCES), without trying to save.
int driver_doc_save(const char* name, const void* buf, int len);

// Cloud documents are stored exactly as documents.
bool driver_cloud_exists(const char* name);
int driver_cloud_fsize(const char* name);
int driver_cloud_load(const char* name, void* buf, int len);
std::string driver_cloud_load(const char* name);
int driver_cloud_save(const char* name, const void* buf, int len);

// ====== Textures ======

// Writes "driver_tex_load %s" on standard error and loads the picture as an
// OpenGL texture: returns its name (0 on failure), the picture's size in
// *rw, *rh and the texture's in *rtw, *rth.
int driver_tex_load(const char* fname, int* rw, int* rh, int* rtw, int* rth);
// The texture loader behind driver_tex_load; filled by the texture module.
int _driver_tex_load(const char* fname, int* rw, int* rh, int* rtw, int* rth);

// ====== Window (zov_driver-sdl2) ======

// Opens or re-creates the window: ww x hh, or from the desktop size when
// either is 0 (80/100 of it windowed, all of it in full screen); the GL
// context is created once and kept.  Then sets the minimum size mw x mh and
// updates viewport and size settings.  dw, dh are only logged.
void driver_video_init(int ww, int hh, int dw, int dh, int mw, int mh, int full);
// Presents the frame, then sets the window title when the caption changed.
void driver_video_flip();
// Minimises the window: 1, or 0 without a window.
int driver_video_minimize();

// ====== Events, screen keyboard and clipboard (zov_driver-sdl2) ======

struct Event;

// Clears *e, then fills it with the next input: first one byte of text typed
// earlier (an EVT_KEYDOWN with only `c` set), else the next SDL event, which
// always gives a record (EVT_NONE when it means nothing to the game), but
// for a key-up that a window rebuild made for a key still held: that key's
// key-up comes when it is let go (zov_driver-keys).
// Returns 1, or 0 when neither is pending.  A window resize also brings the
// driver's size settings and the viewport up to date before returning.
int driver_event_poll(Event* e);
// SDL key code to KEY_ code; KEY_NONE for every key without one.
int _driver_sdl_sym2key(int sym);

// The screen keyboard: only with a window on a platform that has one (never
// on the desktop); otherwise these do nothing and log nothing.
// Starts text input, placing it at the graphics focus rectangle when set.
void driver_keyboard_show();
void driver_keyboard_hide();
// 1 while the screen keyboard takes text, else 0.
int driver_keyboard_state();
// Always 0.
int driver_keyboard_get_height();
// Do nothing on the desktop.
void driver_keyboard_set_height(int height);
void driver_keyboard_init(void* view);

// The system clipboard's text; empty when there is none or it can't be read.
std::string driver_clipboard_get_text();
void driver_clipboard_set_text(const std::string& text);

// ====== Audio device, sources and mixing ======
//
// Sounds are sources held by the audio device and known by integer ids (0 is
// none); voices play them.  SDL's audio thread mixes the voices in 32-bit
// float stereo at 44100 Hz, with a volume ramp per voice and a peak limiter,
// and converts each buffer to the sample format the device granted.
// Main-thread calls take the device lock around every change of the voice
// list and each growth of the source list.  Without a device (no sound card,
// or before driver_init) every call answers 0 and does nothing.

// One playing voice.  `cur` counts work-format values (2 per frame).
struct AudioPlaying {
    int src = 0;       // sound id
    float vol = 0.0f;  // target volume
    float pan = 0.0f;  // kept, not applied
    float _vol = 0.0f; // volume reached at the end of the previous buffer
    int _init = 0;     // 0 until mixed the first time
    int cur = 0;       // play position
    int loop = 0;      // 1: restart at the end; 0: end the voice
};

// Opens the device (the bodies of _driver_audio_init/_driver_audio_deinit).
// A device that can't be opened logs one line and leaves the program silent.
void _driver_audio_open();
void _driver_audio_close();

// A sound decoded whole into memory: Ogg Vorbis when the path contains
// ".ogg", WAV otherwise.  Returns its id, or 0 (after a log line) when it
// can't be read.  Loading the same file twice gives two ids.
int driver_audio_sample_load(const char* path);
// A looping sound: an Ogg Vorbis path is decoded while it plays (the file is
// read and its headers parsed at play time, on the calling thread), any
// other path is loaded as WAV.  `preload` is unused.
int driver_audio_stream_load(const char* path, bool preload);
// Adds a voice of the sound; `pan` is kept but not applied.  Ids that are 0
// or were never handed out do nothing, here and in the three calls below.
void driver_audio_sample_play(int id, float vol, float pan);
// Restarts the stream from its beginning, looping; a stream whose file can't
// be opened adds no voice.  `pos` is unused.
void driver_audio_stream_play(int id, float vol, float pos);
// Ends every voice of the sound and closes a streamed file.
void driver_audio_stream_stop(int id);
// Every voice of the sound moves to `vol` over the next buffer.
void driver_audio_stream_volume(int id, float vol);
// Changed files are not reloaded: the sound stays as loaded.
void driver_audio_sample_reload(int id);
void driver_audio_stream_reload(int id);
void driver_audio_loop();

// The device callback: mixes `len` bytes of the granted format.  SDL calls it
// on the audio thread with the device lock held; a caller of its own takes
// the lock (tests call it on a paused device).
void _driver_audio_callback(void* userdata, unsigned char* stream, int len);
// Adds `n` values of `s` times the voice's volume ramp to `m`.
void _driver_audio_mix(AudioPlaying* voice, int n, const float* s, float* m);
// Scales `n` mixed values down to peak 1.0, ramping from the previous
// buffer's gain; never amplifies.
void _driver_audio_normalize(int n, float* m);
// The open device's SDL id (0 without a device), the number of playing
// voices, a sound's length in work values (0 for a bad id or an unopened
// stream, AUDIO_LENGTH_UNKNOWN for a stream that has not yet played to its
// end), and the bytes held by sources.
unsigned int _driver_audio_device();
int _driver_audio_voices();
int _driver_audio_length(int id);
unsigned long _driver_audio_memused();
