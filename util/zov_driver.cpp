#include "zov_driver.h"
#include "zov_printf.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char** environ;

// ====== Settings record ======

// Created by driver_init, deleted by driver_deinit; main thread only.
_DriverData* _driver = nullptr;

// Copies a setting into its fixed field.  Display texts are cut to fit.  A
// path is refused instead, since a cut path could name another, existing
// file.  A cut game name cannot: it is 255 bytes, and with its leading dot
// the documents directory's name is longer than a file name may be, so
// documents then fail to save with a message instead of landing elsewhere.
static void _driver_set_text(char* field, size_t size, const char* what, const char* v, bool is_path) {
    if (!v) v = "";
    size_t len = std::strlen(v);
    if (len < size) {
        std::memcpy(field, v, len + 1);
    } else if (is_path) {
        std::fprintf(stderr, "driver_set_%s: path of %zu bytes is longer than %zu, ignored\n", what, len,
                     size - 1);
        field[0] = '\0';
    } else {
        std::fprintf(stderr, "driver_set_%s: text of %zu bytes cut to %zu\n", what, len, size - 1);
        std::memcpy(field, v, size - 1);
        field[size - 1] = '\0';
    }
}

void driver_set_size(int w, int h) {
    _driver->width = w;
    _driver->height = h;
}
void driver_get_size(int* w, int* h) {
    *w = _driver->width;
    *h = _driver->height;
}
void driver_set_aspect(float aspect) { _driver->aspect = aspect; }
float driver_get_aspect() { return _driver->aspect; }
void driver_set_scale(float scale) { _driver->scale = scale; }
float driver_get_scale() { return _driver->scale; }
void driver_set_orient(float orient) { _driver->orient = orient; }
float driver_get_orient() { return _driver->orient; }

void driver_set_idiom(const char* s) { _driver_set_text(_driver->idiom, sizeof _driver->idiom, "idiom", s, false); }
const char* driver_get_idiom() { return _driver->idiom; }
void driver_set_gamename(const char* s) {
    _driver_set_text(_driver->gamename, sizeof _driver->gamename, "gamename", s, false);
}
void driver_set_caption(const char* s) {
    _driver_set_text(_driver->caption, sizeof _driver->caption, "caption", s, false);
}
const char* driver_get_caption() { return _driver->caption; }
void driver_set_icon(const char* s) { _driver_set_text(_driver->icon, sizeof _driver->icon, "icon", s, true); }
const char* driver_get_icon() { return _driver->icon; }
void driver_set_altdir(const char* s) {
    _driver_set_text(_driver->altdir, sizeof _driver->altdir, "altdir", s, true);
}

void driver_app_exit() {}

// ====== Frame counter ======

int driver_timer_delta(int later, int earlier) {
    // Unsigned subtraction is modulo 2^32, so a count that wrapped between
    // the two readings still gives the true difference.
    return static_cast<int>(static_cast<unsigned>(later) - static_cast<unsigned>(earlier));
}

void driver_timer_set(int fps) { _driver->fps = fps; }

// Process-wide: the first call of the process starts the count for good.
// Time is summed from tick differences rather than taken as an absolute
// reading, so the wrap of the tick count does not stop the counter.
static int _tick_started = 0;
static int _tick_frame = 0;     // frames counted so far
static int _tick_last = 0;      // tick reading of the previous call
static double _tick_since = 0;  // seconds from the first reading to _tick_last

int driver_timer_tick() {
    int fps = _driver->fps;
    if (fps <= 0) return 0; // a negative rate would make every frame due at once, forever
    if (!_tick_started) {
        _tick_started = 1;
        _tick_frame = 0;
        _tick_last = driver_timer_get_ticks();
        _tick_since = 0;
    }
    int now = driver_timer_get_ticks();
    _tick_since += driver_timer_delta(now, _tick_last) / 1000.0;
    _tick_last = now;
    int due = 0;
    while (_tick_since > static_cast<double>(_tick_frame) / fps) {
        _tick_frame++;
        due++;
    }
    return due;
}

// ====== Web browser ======

// Browsers started and not yet collected.
static std::vector<pid_t> _driver_children;

void _driver_reap_children() {
    for (size_t i = 0; i < _driver_children.size();) {
        if (waitpid(_driver_children[i], nullptr, WNOHANG) != 0) {
            _driver_children.erase(_driver_children.begin() + i); // collected, or not ours any more
        } else {
            i++;
        }
    }
}

// The browser gets the URL as its one argument, with no shell between: no
// quote or other character of the URL can start anything else.  A URL that
// begins with '-' would be taken as an option.
static void _driver_open_url_platform(const char* url) {
    _driver_reap_children();
    if (url[0] == '-') {
        std::fprintf(stderr, "Driver::weblink: refused, a URL may not begin with '-'\n");
        return;
    }
    char* argv[] = {const_cast<char*>("firefox"), const_cast<char*>(url), nullptr};
    pid_t pid;
    int err = posix_spawnp(&pid, "firefox", nullptr, nullptr, argv, environ);
    if (err != 0) {
        std::fprintf(stderr, "Driver::weblink: cannot start firefox: %s\n", std::strerror(err));
        return;
    }
    _driver_children.push_back(pid);
}

void driver_open_url(const char* url) {
    if (!url) url = "";
    std::printf("Driver::weblink: %s\n", url);
    std::fflush(stdout); // the browser shares standard output
    _driver_open_url_platform(url);
}

// ====== Paths ======

// Formats a path into a fixed buffer, or the empty path when it would not
// fit (see the header).  Returns the buffer.
static char* _driver_path_format(char* buf, size_t size, const char* fmt, ...)
    __attribute__((format(printf, 3, 4)));
static char* _driver_path_format(char* buf, size_t size, const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    std::string whole = zov_vformat(fmt, args);
    va_end(args);
    if (whole.size() >= size) {
        std::fprintf(stderr, "path too long (%zu bytes, at most %zu): %s\n", whole.size(), size - 1,
                     whole.c_str());
        buf[0] = '\0';
    } else {
        std::memcpy(buf, whole.c_str(), whole.size() + 1);
    }
    return buf;
}

// dir/name; an unusable (empty) directory gives the empty path, not "/name".
static char* _driver_path_join(char* buf, size_t size, const char* dir, const char* name) {
    if (!dir[0]) {
        buf[0] = '\0';
        return buf;
    }
    return _driver_path_format(buf, size, "%s/%s", dir, name);
}

char* _driver_get_datadir() {
    static char buf[1024];
    std::memset(buf, 0, sizeof buf);
    return std::strcpy(buf, "../data");
}

// A home directory fit for documents: set, and not the filesystem root.
static bool _driver_home_usable(const char* home) { return home && home[std::strspn(home, "/")] != '\0'; }

char* driver_get_home_dir() {
    static char buf[512];
    const char* home = std::getenv("HOME");
    if (!_driver_home_usable(home)) {
        struct passwd* pw = getpwuid(getuid());
        home = pw ? pw->pw_dir : nullptr;
    }
    if (!_driver_home_usable(home)) home = ".";
    return _driver_path_format(buf, sizeof buf, "%s", home);
}

// The documents directory, made when missing.  *err gets the reason when
// it could not be made (an existing one is fine); document calls then fail
// as on missing files, and only a save asks why.
static char* _driver_docdir(int* err) {
    static char buf[512];
    if (!_driver->gamename[0]) return std::strcpy(buf, ".");
    const char* home = driver_get_home_dir();
    if (!home[0]) { // the home directory did not fit: there is no documents directory
        buf[0] = '\0';
        return buf;
    }
    _driver_path_format(buf, sizeof buf, "%s/.%s", home, _driver->gamename);
    if (buf[0] && mkdir(buf, 0755) != 0 && errno != EEXIST) *err = errno;
    return buf;
}

char* _driver_get_docdir() {
    int ignored = 0;
    return _driver_docdir(&ignored);
}

static char* _driver_doc_path(const char* name, int* err) {
    static char buf[512];
    return _driver_path_join(buf, sizeof buf, _driver_docdir(err), name);
}

char* driver_doc_fname(const char* name) {
    int ignored = 0;
    return _driver_doc_path(name, &ignored);
}

char* driver_data_fname(const char* name) {
    static char buf[512];
    if (_driver->altdir[0]) {
        _driver_path_join(buf, sizeof buf, _driver->altdir, name);
        if (buf[0] && driver_file_exists(buf)) return buf;
    }
    return _driver_path_join(buf, sizeof buf, _driver_get_datadir(), name);
}

char* _driver_dirname(char* path) {
    char* cut = nullptr;
    for (char* p = path; *p; p++) {
        if (*p == '/' || *p == '\\') cut = p;
    }
    if (cut) *cut = '\0';
    return path;
}

// ====== Files ======

// Size of a regular file, or -1 for anything else (missing, a directory, a
// device: reading those would fail or block).
static long long _driver_std_size(const char* path, struct stat* st) {
    if (stat(path, st) != 0 || !S_ISREG(st->st_mode)) return -1;
    return st->st_size;
}

int _driver_std_exists(const char* path) {
    struct stat st;
    if (_driver_std_size(path, &st) < 0) return 0;
    FILE* f = std::fopen(path, "rb");
    if (!f) return 0;
    std::fclose(f);
    return 1;
}

int _driver_std_fsize(const char* path) {
    struct stat st;
    long long size = _driver_std_size(path, &st);
    return size < 0 ? 0 : size > INT_MAX ? INT_MAX : static_cast<int>(size);
}

int _driver_std_mtime(const char* path) {
    struct stat st;
    return _driver_std_size(path, &st) < 0 ? 0 : static_cast<int>(st.st_mtime);
}

// Takes the flock `op` on fd, waiting for it.  Where the filesystem takes
// no locks the call fails at once, and the caller goes on unlocked: no other
// caller can hold one there either.
static void _driver_lock(int fd, int op) {
    while (flock(fd, op) != 0 && errno == EINTR) {
    }
}

// Opens a regular file for reading, or writes "file not found".  It is
// locked shared until closed: a document being rewritten in place (which
// holds it locked exclusive) is read once whole, before or after.
static FILE* _driver_std_open(const char* path) {
    struct stat st;
    FILE* f = _driver_std_size(path, &st) < 0 ? nullptr : std::fopen(path, "rb");
    if (!f) std::fprintf(stderr, "file not found: %s\n", path);
    if (f) _driver_lock(fileno(f), LOCK_SH);
    return f;
}

void* _driver_std_alloc(const char* path, int* len) {
    *len = 0;
    struct stat st;
    if (_driver_std_size(path, &st) <= 0) return nullptr; // missing or empty: no message
    FILE* f = _driver_std_open(path);
    if (!f) return nullptr;
    // The size once locked: a rewrite in place may have changed it.
    long long size = fstat(fileno(f), &st) == 0 ? st.st_size : 0;
    void* buf = nullptr;
    if (size > INT_MAX) { // the length would not fit the int that carries it
        std::fprintf(stderr, "file too large: %s\n", path);
    } else if (size > 0 && (buf = std::malloc(size))) {
        *len = static_cast<int>(std::fread(buf, 1, size, f));
    }
    std::fclose(f);
    return buf;
}

int _driver_std_load(const char* path, void* buf, int len) {
    if (!buf || len <= 0) return 0;
    FILE* f = _driver_std_open(path);
    if (!f) return 0;
    int n = static_cast<int>(std::fread(buf, 1, len, f));
    std::fclose(f);
    return n;
}

// ====== Saving ======
// A save writes a temporary file beside the document, renames it over the
// document only once every byte is on disk, then syncs the folder so that
// the new name survives a power loss too.  A reader sees the old document or
// the new one, never a torn one.
//
// Temporary files are named ".<hash>.<random>.saving": the 64-bit FNV-1a
// hash of the document's file name and 64 random bits, each as 16 lower-case
// hex digits.  The name fits beside a document of any name length, and owes
// nothing to the process id, which processes in other PID namespaces
// (containers sharing one home) reuse.  It is created exclusively and
// locked (flock, which every namespace on the machine sees) until the
// rename.  A process killed half-way leaves its file unlocked; the next
// save of that document removes the regular files of exactly its name form
// whose lock it can take, and nothing else.

// The file a save replaces: `path` with its symbolic links followed, so the
// link stays a link and its target gets the new contents.  Empty, with *err
// set, when the links loop or a target does not fit.
static std::string _driver_save_target(const char* path, int* err) {
    std::string p = path;
    for (int hops = 0; hops < 40; hops++) {
        char to[PATH_MAX];
        ssize_t n = readlink(p.c_str(), to, sizeof to);
        if (n <= 0) return p; // not a link, or missing: this is the file
        if (n == (ssize_t)sizeof to) {
            *err = ENAMETOOLONG;
            return "";
        }
        size_t slash = p.rfind('/');
        p = to[0] == '/' || slash == std::string::npos ? std::string(to, n) : p.substr(0, slash + 1) + std::string(to, n);
    }
    *err = ELOOP;
    return "";
}

static std::string _driver_hex64(uint64_t v) {
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", (unsigned long long)v);
    return hex;
}

// ".<hash>.": how the temporary files of document `name` begin.
static std::string _driver_save_head(const std::string& name) {
    uint64_t h = 0xcbf29ce484222325u;
    for (unsigned char c : name) h = (h ^ c) * 0x100000001b3u;
    return "." + _driver_hex64(h) + ".";
}

// 64 bits that differ between processes and calls.  Where the random source
// is refused (some sandboxes) the clock stands in: the name is created
// exclusively and a taken one is passed over, so a repeat costs a retry.
static uint64_t _driver_save_random() {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    uint64_t r = (uint64_t)now.tv_sec * 1000000000u + (uint64_t)now.tv_nsec;
    (void)!getrandom(&r, sizeof r, GRND_NONBLOCK);
    return r;
}

// Whether `entry` is a temporary file name that begins with `head`.
static bool _driver_save_is_tmp(const char* entry, const std::string& head) {
    if (std::strncmp(entry, head.c_str(), head.size()) != 0) return false;
    const char* random = entry + head.size();
    for (int i = 0; i < 16; i++) {
        if (!std::isdigit((unsigned char)random[i]) && (random[i] < 'a' || random[i] > 'f')) return false;
    }
    return std::strcmp(random + 16, ".saving") == 0;
}

// Whether `name` in the folder `at` is still the file open as `fd`: a lock
// proves something only about the file that bears the name.
static bool _driver_names_file(int at, const char* name, int fd) {
    struct stat open_file, named;
    return fstat(fd, &open_file) == 0 && fstatat(at, name, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
           open_file.st_dev == named.st_dev && open_file.st_ino == named.st_ino;
}

// Removes the abandoned temporary files beginning with `head` in `dir`
// (ending in '/').  Opened without blocking, in case a pipe took the name;
// locked shared, which a read-only descriptor may take on every filesystem
// and a save under way refuses.  A file this user cannot open stays, and so
// does one on a filesystem that takes no locks (the lock fails otherwise):
// there a leftover cannot be told from the file of a save under way, which
// would fail if its file went, while a leftover only takes room.
static void _driver_save_sweep(const std::string& dir, const std::string& head) {
    DIR* d = opendir(dir.c_str());
    if (!d) return;
    while (struct dirent* e = readdir(d)) {
        struct stat st;
        if (!_driver_save_is_tmp(e->d_name, head) || fstatat(dirfd(d), e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(st.st_mode)) {
            continue;
        }
        int fd = openat(dirfd(d), e->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        if (flock(fd, LOCK_SH | LOCK_NB) == 0 && _driver_names_file(dirfd(d), e->d_name, fd)) {
            unlinkat(dirfd(d), e->d_name, 0);
        }
        close(fd);
    }
    closedir(d);
}

// Creates and locks a new temporary file beginning with `head` in `dir`,
// its name into *tmp.  The descriptor, or -1 with *err set.
static int _driver_save_create(const std::string& dir, const std::string& head, mode_t mode, std::string* tmp,
                               int* err) {
    for (int tries = 0; tries < 8; tries++) {
        *tmp = dir + head + _driver_hex64(_driver_save_random()) + ".saving";
        int fd = open(tmp->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd < 0 && errno == EEXIST) continue;
        if (fd < 0) {
            *err = errno;
            return -1;
        }
        // Another save's sweep may have come between the making and the
        // lock: it then holds the lock, or has removed the name, and the file
        // is its to remove.  A filesystem without locks fails every lock,
        // the sweep's too, so the file is used as it is.
        bool locked = flock(fd, LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK;
        if (locked && _driver_names_file(AT_FDCWD, tmp->c_str(), fd)) return fd;
        close(fd);
    }
    *err = EEXIST;
    return -1;
}

// Makes a rename in `dir` durable.  A folder this user may not read cannot
// be synced, nor one on a filesystem that syncs no folders (EINVAL); the
// save then stands as it is.
static int _driver_sync_dir(const std::string& dir) {
    int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return 0;
    int err = fsync(fd) != 0 && errno != EINVAL ? errno : 0;
    close(fd);
    return err;
}

// Makes the file hold exactly len bytes of buf, gives it the owner, group
// and mode of `like` (when not null) and flushes it to disk.  0, or the
// errno of the first step that failed.
static int _driver_put(int fd, const void* buf, size_t len, const struct stat* like) {
    const char* p = static_cast<const char*>(buf);
    for (size_t done = 0; done < len;) {
        ssize_t n = pwrite(fd, p + done, len - done, (off_t)done);
        if (n > 0) {
            done += (size_t)n;
        } else if (n == 0) {
            return EIO;
        } else if (errno != EINTR) {
            return errno;
        }
    }
    if (ftruncate(fd, (off_t)len) != 0) return errno;
    if (like) {
        // After the writes, which clear set-id bits, as a change of owner or
        // group does: so those come before the mode.  Only root may give a
        // file away; others may still keep its group.
        if (fchown(fd, like->st_uid, like->st_gid) != 0) (void)!fchown(fd, (uid_t)-1, like->st_gid);
        if (fchmod(fd, like->st_mode & 07777) != 0) return errno;
    }
    return fsync(fd) != 0 ? errno : 0;
}

// The whole file into *out.  0, or the errno of the read that failed.
static int _driver_get(int fd, std::string* out) {
    struct stat st;
    if (fstat(fd, &st) != 0) return errno;
    out->resize((size_t)st.st_size);
    for (size_t done = 0; done < out->size();) {
        ssize_t n = pread(fd, &(*out)[done], out->size() - done, (off_t)done);
        if (n > 0) {
            done += (size_t)n;
        } else if (n == 0) {
            out->resize(done); // shrunk meanwhile
        } else if (errno != EINTR) {
            return errno;
        }
    }
    return 0;
}

// Rewrites the document where it stands, for a directory that takes no new
// file.  It holds the document locked exclusive from before the old bytes
// are read until it is closed, so another rewrite waits for this one (none
// interleaves with it) and the driver's reads, which lock shared, see it
// whole; a reader that takes no lock may still see it half-written.  The new
// length is reserved before any byte changes, so a full disk or a file-size
// limit fails while the document is untouched (a reservation that failed
// half-way may have grown it: it is cut back).  Should a write fail all the
// same, the old bytes and length are written back.  What stays non-atomic:
// a kill or power loss during the rewrite tears the document, and so does a
// failure of the writes that put the old bytes back.  As for any writer that
// is not root, the writes clear a set-id bit.
static int _driver_save_in_place(const std::string& target, const void* buf, size_t len) {
    int fd = open(target.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) return errno;
    _driver_lock(fd, LOCK_EX);
    std::string old;
    int err = _driver_get(fd, &old);
    if (!err && len > 0) {
        err = posix_fallocate(fd, 0, (off_t)len);
        struct stat st;
        if (err && fstat(fd, &st) == 0 && st.st_size != (off_t)old.size()) (void)!ftruncate(fd, (off_t)old.size());
    }
    if (!err) {
        err = _driver_put(fd, buf, len, nullptr);
        if (err) (void)_driver_put(fd, old.data(), old.size(), nullptr);
    }
    if (close(fd) != 0 && !err) err = errno;
    return err;
}

// Saves len bytes of buf as path.  0 when saved, else the errno that says why
// not; a failed save leaves no temporary file.
static int _driver_std_replace(const char* path, const void* buf, int len) {
    int err = 0;
    std::string target = _driver_save_target(path, &err);
    if (err) return err;
    struct stat old;
    bool exists = stat(target.c_str(), &old) == 0;
    size_t base = target.rfind('/') + 1; // npos + 1 == 0: no directory part
    std::string dir = base ? target.substr(0, base) : "./", head = _driver_save_head(target.substr(base)), tmp;
    _driver_save_sweep(dir, head);
    // Private until it has the old file's mode; a new document gets the
    // usual mode through the umask.
    int fd = _driver_save_create(dir, head, exists ? 0600 : 0666, &tmp, &err);
    if (fd < 0) {
        // No temporary file can be made (the directory is not writable by
        // this user, or has no room for another file), but the document
        // itself may still be.  Not on EEXIST: a rewrite could tear the
        // document under other saves.
        if (err == EEXIST || !exists || !S_ISREG(old.st_mode)) return err;
        return _driver_save_in_place(target, buf, (size_t)len);
    }
    err = _driver_put(fd, buf, (size_t)len, exists ? &old : nullptr);
    if (!err && std::rename(tmp.c_str(), target.c_str()) != 0) err = errno;
    if (err) unlink(tmp.c_str());
    // Closed (and unlocked) only now, so that no sweep takes the file before
    // the rename.  The bytes are synced already: nothing is left to fail.
    close(fd);
    return err ? err : _driver_sync_dir(dir);
}

int _driver_std_save(const char* path, const void* buf, int len) {
    if (!path[0]) return ENAMETOOLONG; // the path helpers' answer for a path that did not fit
    if (!buf || len < 0) return EINVAL;
    return _driver_std_replace(path, buf, len);
}

int driver_file_exists(const char* path) { return _driver_std_exists(path); }
int driver_file_fsize(const char* path) { return _driver_std_fsize(path); }
int driver_file_mtime(const char* path) { return _driver_std_mtime(path); }
void* driver_file_alloc(const char* path, int* len) { return _driver_std_alloc(path, len); }
int driver_file_load(const char* path, void* buf, int len) { return _driver_std_load(path, buf, len); }
int driver_file_save(const char* path, const void* buf, int len) { return _driver_std_save(path, buf, len); }

std::string driver_file_load(const char* path) {
    int len = 0;
    char* buf = static_cast<char*>(driver_file_alloc(path, &len));
    if (!buf) return std::string();
    std::string text(buf, len);
    std::free(buf);
    return text;
}

bool driver_data_exists(const char* name) { return driver_file_exists(driver_data_fname(name)) != 0; }
int driver_data_fsize(const char* name) { return driver_file_fsize(driver_data_fname(name)); }
int driver_data_load(const char* name, void* buf, int len) { return driver_file_load(driver_data_fname(name), buf, len); }
std::string driver_data_load(const char* name) { return driver_file_load(driver_data_fname(name)); }

bool driver_doc_exists(const char* name) { return driver_file_exists(driver_doc_fname(name)) != 0; }
int driver_doc_fsize(const char* name) { return driver_file_fsize(driver_doc_fname(name)); }
int driver_doc_load(const char* name, void* buf, int len) { return driver_file_load(driver_doc_fname(name), buf, len); }
std::string driver_doc_load(const char* name) { return driver_file_load(driver_doc_fname(name)); }
int driver_doc_save(const char* name, const void* buf, int len) {
    int err = 0; // the documents directory's own reason beats the save's "no such file"
    char* path = _driver_doc_path(name, &err);
    return err ? err : driver_file_save(path, buf, len);
}

bool driver_cloud_exists(const char* name) { return driver_doc_exists(name); }
int driver_cloud_fsize(const char* name) { return driver_doc_fsize(name); }
int driver_cloud_load(const char* name, void* buf, int len) { return driver_doc_load(name, buf, len); }
std::string driver_cloud_load(const char* name) { return driver_doc_load(name); }
int driver_cloud_save(const char* name, const void* buf, int len) { return driver_doc_save(name, buf, len); }

// ====== Textures ======

int driver_tex_load(const char* fname, int* rw, int* rh, int* rtw, int* rth) {
    std::fprintf(stderr, "driver_tex_load %s\n", fname);
    return _driver_tex_load(fname, rw, rh, rtw, rth);
}
