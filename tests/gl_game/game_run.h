// End-to-end test helpers: run the real tovmar2 executable on a data folder
// of the test's own, read what it logs, look at its window and drive it with
// real X input.
//
// Each run gets a fresh temporary folder holding "data" (the runtime's own
// data files plus the test's scripts), "work" (the working directory, so the
// data directory "../data" is the test's), and "home" (HOME, where
// documents go).  SDL's dummy audio driver stands in for a sound card.
// Every wait is bounded; a program still running when the test ends is
// killed.
#pragma once

#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/capture.h"

namespace e2e {

using Clock = std::chrono::steady_clock;

inline std::string read_file(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

inline void write_file(const std::string& path, const std::string& text) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f << text;
}

// Sets a file's modification time `age` seconds into the past.
inline void set_age(const std::string& path, int age) {
    struct utimbuf t;
    t.actime = t.modtime = time(nullptr) - age;
    utime(path.c_str(), &t);
}

// How many lines of `text` contain `needle`.
inline int count_lines(const std::string& text, const std::string& needle) {
    int n = 0;
    for (const std::string& line : lines_of(text)) n += line.find(needle) != std::string::npos;
    return n;
}

// The index of the first line holding `needle`, or -1.
inline int line_index(const std::vector<std::string>& lines, const std::string& needle) {
    for (size_t i = 0; i < lines.size(); i++) {
        if (lines[i].find(needle) != std::string::npos) return (int)i;
    }
    return -1;
}

// Whether two 0xRRGGBB colours differ by at most `tol` in every channel
// (blending may round a channel by one).
inline bool rgb_near(unsigned a, unsigned b, int tol = 2) {
    for (int shift = 0; shift < 24; shift += 8) {
        int d = (int)((a >> shift) & 255) - (int)((b >> shift) & 255);
        if (d > tol || d < -tol) return false;
    }
    return true;
}

// The texts that scripts printed, in order ("ModsAPI: " lines of the log).
inline std::vector<std::string> printed(const std::string& out) {
    std::vector<std::string> texts;
    const std::string tag = "ModsAPI: ";
    for (const std::string& line : lines_of(out)) {
        size_t at = line.find(":log_entry:");
        size_t t = line.find(tag);
        if (at != std::string::npos && t != std::string::npos) texts.push_back(line.substr(t + tag.size()));
    }
    return texts;
}

// An uncompressed 32-bit TGA of one colour (0xRRGGBB, opaque).
inline std::string tga(int w, int h, unsigned rgb) {
    std::string t(18, '\0');
    t[2] = 2; // true colour, uncompressed
    t[12] = (char)(w & 255);
    t[13] = (char)(w >> 8);
    t[14] = (char)(h & 255);
    t[15] = (char)(h >> 8);
    t[16] = 32;
    t[17] = 0x28; // top-left origin, 8 alpha bits
    for (int i = 0; i < w * h; i++) {
        t += (char)(rgb & 255);
        t += (char)((rgb >> 8) & 255);
        t += (char)((rgb >> 16) & 255);
        t += (char)255;
    }
    return t;
}

// Whether `done()` turns true within `seconds`, asked every few milliseconds.
template <class Done>
bool within(int seconds, Done done) {
    auto end = Clock::now() + std::chrono::seconds(seconds);
    while (Clock::now() < end) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

// How far a process has got: the CPU time of all its threads and the page
// faults it has taken, which grow while it works however slowly a busy
// machine runs it.
struct Progress {
    bool alive = false; // false once it has ended
    long long cpu = 0, faults = 0;
    explicit Progress(pid_t pid) {
        std::string stat = read_file("/proc/" + std::to_string(pid) + "/stat");
        size_t name_end = stat.rfind(')'); // the name may hold blanks
        if (name_end == std::string::npos) return;
        std::istringstream in(stat.substr(name_end + 1));
        std::string state;
        long long skip, minflt, majflt, utime, stime; // fields 3 to 15 of proc(5)
        in >> state >> skip >> skip >> skip >> skip >> skip >> skip >> minflt >> skip >> majflt >> skip >> utime >> stime;
        alive = in && state != "Z" && state != "X";
        cpu = utime + stime;
        faults = minflt + majflt;
    }
};

// Whether `done()` turns true while process `pid` runs, asked every few
// milliseconds.  Bounded by the process's progress, not by the clock, so a
// busy machine, which only slows it down, cannot fail the wait: it gives up
// when the process has ended, has done nothing for 10 s (it hangs), or has
// spent `cpu_seconds` of CPU time on the wait (it runs but never gets there).
template <class Done>
bool while_running(pid_t pid, Done done, double cpu_seconds = 20) {
    const Progress start(pid);
    Progress last = start;
    auto still_since = Clock::now();
    const long long budget = (long long)(cpu_seconds * sysconf(_SC_CLK_TCK));
    while (!done()) {
        Progress now(pid);
        if (!now.alive) return done(); // it may have got there on its way out
        if (now.cpu - start.cpu > budget) return false;
        if (now.cpu != last.cpu || now.faults != last.faults) {
            last = now;
            still_since = Clock::now();
        } else if (Clock::now() - still_since > std::chrono::seconds(10)) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

class GameRun {
public:
    TempDir dir;
    // The working directory; empty means "work" of the temporary folder.
    std::string workdir;
    // What is started: the built program, or a packaged game's launcher.
    std::string exe = ZOV_GAME_EXE;
    // The program's address-space limit in bytes (RLIMIT_AS); 0 keeps the
    // test's own.
    rlim_t address_space = 0;
    // The program's peak resident size in KiB, once wait_exit saw it end.
    long peak_kib = 0;

    GameRun() {
        for (const char* sub : {"data", "work", "home"}) std::filesystem::create_directory(dir / sub);
        // What every game needs: the hooks' defaults and the console's files.
        for (const char* name : {"api.lua", "console.fnt", "console.png", "black.png"}) {
            std::filesystem::copy_file(std::string(ZOV_GAME_DATA) + "/" + name, data(name));
        }
    }
    ~GameRun() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }

    // Every file of the bundled game.
    void copy_bundled() {
        std::filesystem::copy(ZOV_GAME_DATA, dir / "data", std::filesystem::copy_options::recursive | std::filesystem::copy_options::overwrite_existing);
    }

    std::string data(const std::string& name) const { return dir / ("data/" + name); }
    std::string home() const { return dir / "home"; }

    // Writes a data file whose time lies `age` seconds in the past.
    void put(const std::string& name, const std::string& text, int age = 60) {
        write_file(data(name), text);
        set_age(data(name), age);
    }

    // Starts the program with these arguments; extra environment entries
    // are "NAME=value" (an empty value unsets NAME).
    void start(const std::vector<std::string>& args = {}, const std::vector<std::string>& env = {}) {
        pid_ = fork();
        if (pid_ != 0) return;
        std::string cwd = workdir.empty() ? std::string(dir / "work") : workdir;
        if (chdir(cwd.c_str()) != 0) _exit(126);
        setenv("HOME", home().c_str(), 1);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        if (address_space) {
            struct rlimit limit = {address_space, address_space};
            if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(125);
        }
        for (const std::string& e : env) {
            size_t eq = e.find('=');
            if (eq + 1 == e.size()) {
                unsetenv(e.substr(0, eq).c_str());
            } else {
                setenv(e.substr(0, eq).c_str(), e.substr(eq + 1).c_str(), 1);
            }
        }
        int out = open((dir / "out.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = open((dir / "err.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(out, 1);
        dup2(err, 2);
        std::vector<char*> argv;
        argv.push_back(&exe[0]);
        std::vector<std::string> copy = args;
        for (std::string& a : copy) argv.push_back(&a[0]);
        argv.push_back(nullptr);
        execv(exe.c_str(), argv.data());
        _exit(127);
    }

    pid_t pid() const { return pid_; }
    std::string out() const { return read_file(dir / "out.txt"); }
    std::string err() const { return read_file(dir / "err.txt"); }

    // Waits until standard output holds `count` lines containing `needle`.
    bool wait_line(const std::string& needle, int seconds = 10, int count = 1) const {
        return within(seconds, [&] { return count_lines(out(), needle) >= count; });
    }

    // The exit status, or -1 (after killing it) when the program is still
    // running after `seconds`, or -2 when it died of a signal.
    int wait_exit(int seconds = 10) {
        auto end = Clock::now() + std::chrono::seconds(seconds);
        int status = 0;
        struct rusage usage = {};
        while (Clock::now() < end) {
            if (wait4(pid_, &status, WNOHANG, &usage) == pid_) {
                pid_ = 0;
                peak_kib = usage.ru_maxrss;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -2;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        pid_ = 0;
        return -1;
    }

private:
    pid_t pid_ = 0;
};

// ====== The X display: the program's window, its pixels, real input ======

class XDisplay {
public:
    Display* d = XOpenDisplay(nullptr);
    // Windows of other programs (and the program's own helper windows) can
    // vanish between listing them and reading their properties; Xlib's
    // default handler would end the test binary on that BadWindow.  A
    // failed request simply reads as "not this window".
    XDisplay() { XSetErrorHandler(ignore_error); }
    ~XDisplay() {
        if (d) XCloseDisplay(d);
    }

    // The viewable top-level window of process `pid`, or 0 when it has none
    // by the bounds of while_running.
    Window find(pid_t pid) {
        Atom pid_atom = XInternAtom(d, "_NET_WM_PID", False);
        Window found = 0;
        while_running(pid, [&] {
            Window root_ret, parent, *kids = nullptr;
            unsigned n = 0;
            XQueryTree(d, DefaultRootWindow(d), &root_ret, &parent, &kids, &n);
            for (unsigned i = 0; i < n && !found; i++) {
                if (window_pid(kids[i], pid_atom) == pid && viewable(kids[i])) found = kids[i];
            }
            if (kids) XFree(kids);
            return found != 0;
        });
        return found;
    }

    void size(Window w, int* width, int* height) {
        XWindowAttributes a;
        XGetWindowAttributes(d, w, &a);
        *width = a.width;
        *height = a.height;
    }

    // The window's pixels as read from the screen at one moment.
    class Shot {
    public:
        explicit Shot(XImage* img) : img_(img) {}
        Shot(const Shot&) = delete;
        Shot& operator=(const Shot&) = delete;
        ~Shot() {
            if (img_) XDestroyImage(img_);
        }
        // One pixel as 0xRRGGBB; 0xdeadbeef outside the window or when the
        // window could not be read.
        unsigned rgb(int x, int y) const {
            if (!img_ || x < 0 || y < 0 || x >= img_->width || y >= img_->height) return 0xdeadbeef;
            unsigned long p = XGetPixel(img_, x, y);
            return (unsigned)(((p & img_->red_mask) >> shift(img_->red_mask)) << 16 |
                              ((p & img_->green_mask) >> shift(img_->green_mask)) << 8 |
                              ((p & img_->blue_mask) >> shift(img_->blue_mask)));
        }

    private:
        XImage* img_;
    };

    std::unique_ptr<Shot> shot(Window w) {
        int width, height;
        size(w, &width, &height);
        return std::make_unique<Shot>(XGetImage(d, w, 0, 0, width, height, AllPlanes, ZPixmap));
    }

    // The colour of one window pixel as 0xRRGGBB, read from the screen.
    unsigned pixel(Window w, int x, int y) {
        Shot one(XGetImage(d, w, x, y, 1, 1, AllPlanes, ZPixmap));
        return one.rgb(0, 0);
    }

    // Moves the pointer into the window, as a moving mouse does.
    void point(Window w, int x, int y) {
        XWarpPointer(d, None, w, 0, 0, 0, 0, x, y);
        XFlush(d);
    }

    // Asks the window to close, as a window manager's close button does.
    void close(Window w) {
        XEvent ev = {};
        ev.xclient.type = ClientMessage;
        ev.xclient.window = w;
        ev.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
        ev.xclient.format = 32;
        ev.xclient.data.l[0] = (long)XInternAtom(d, "WM_DELETE_WINDOW", False);
        ev.xclient.data.l[1] = CurrentTime;
        XSendEvent(d, w, False, NoEventMask, &ev);
        XFlush(d);
    }

private:
    static int ignore_error(Display*, XErrorEvent*) { return 0; }
    static int shift(unsigned long mask) {
        int s = 0;
        while (mask && !(mask & 1)) {
            mask >>= 1;
            s++;
        }
        return s;
    }
    pid_t window_pid(Window w, Atom pid_atom) {
        Atom type;
        int format;
        unsigned long n, after;
        unsigned char* prop = nullptr;
        pid_t pid = 0;
        if (XGetWindowProperty(d, w, pid_atom, 0, 1, False, XA_CARDINAL, &type, &format, &n, &after, &prop) ==
                Success &&
            prop && n == 1) {
            pid = (pid_t) * (unsigned long*)prop;
        }
        if (prop) XFree(prop);
        return pid;
    }
    bool viewable(Window w) {
        XWindowAttributes a;
        return XGetWindowAttributes(d, w, &a) && a.map_state == IsViewable;
    }
};

// Runs xdotool on the window: focuses it first (there is no window manager
// to do that), then the given commands.  True when xdotool succeeded.
inline bool xdotool(Window w, const std::string& commands) {
    std::string id = std::to_string((unsigned long)w);
    std::string cmd = "timeout 10 xdotool windowfocus --sync " + id + " " + commands + " >/dev/null 2>&1";
    return std::system(cmd.c_str()) == 0;
}

} // namespace e2e
