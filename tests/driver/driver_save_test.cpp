// Saving documents, on real files: all or nothing, the old file's mode kept,
// no other file touched, several processes at once (also in separate PID
// namespaces), names of any length, and a user who may write the document
// but not its directory.
#include <cerrno>
#include <csignal>
#include <cstring>
#include <functional>
#include <optional>

#include <fcntl.h>
#include <grp.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include "files_fixture.h"

// The driver's pwrite, fsync, fchmod, posix_fallocate, getrandom and flock
// land here first (a definition in the test binary wins over the C
// library's), then reach the kernel: pwrite is counted, fsync fails on
// demand and notes what a document held when its folder was synced, fchmod
// notes the mode the file had until then, posix_fallocate runs out of disk
// on demand, getrandom gives fixed bits on demand, flock fails on demand as
// on a filesystem that takes no locks, and a save's lock and first write let
// another process's sweep act in between.
namespace spy {
int writes = 0;
int fsync_error = 0;     // the errno fsync of a file fails with; 0: it works
int dir_fsync_error = 0; // the same for a folder
ino_t watched_dir = 0;   // the folder whose sync is watched, and its document
std::string watched_doc, doc_at_dir_sync;
mode_t mode_before_fchmod = 0;
bool disk_full = false; // the reservation grows the file half-way, then fails
uint64_t random = 0;    // not 0: the random bits of every temporary name
int flock_error = 0;    // the errno every flock fails with; 0: they work
// Run once: before the next lock a save takes on its new temporary file, and
// before the next write.
std::function<void(int fd)> before_lock, before_write;
} // namespace spy

// Runs the hook once, when it is set.
void run_once(std::function<void(int)>& hook, int fd) {
    if (!hook) return;
    std::function<void(int)> run = std::move(hook);
    hook = nullptr;
    run(fd);
}

extern "C" ssize_t pwrite(int fd, const void* buf, size_t len, off_t at) {
    spy::writes++;
    run_once(spy::before_write, fd);
    return syscall(SYS_pwrite64, fd, buf, len, at);
}

extern "C" int fsync(int fd) {
    struct stat st;
    bool folder = fstat(fd, &st) == 0 && S_ISDIR(st.st_mode);
    if (folder && st.st_ino == spy::watched_dir) spy::doc_at_dir_sync = read_file(spy::watched_doc);
    if (int err = folder ? spy::dir_fsync_error : spy::fsync_error) {
        errno = err;
        return -1;
    }
    return (int)syscall(SYS_fsync, fd);
}

extern "C" int fchmod(int fd, mode_t mode) noexcept {
    struct stat st;
    spy::mode_before_fchmod = fstat(fd, &st) == 0 ? st.st_mode & 07777 : 0;
    return (int)syscall(SYS_fchmod, fd, mode);
}

extern "C" int posix_fallocate(int fd, off_t at, off_t len) noexcept {
    if (!spy::disk_full) return posix_fallocate64(fd, at, len);
    (void)!ftruncate(fd, at + len / 2);
    return ENOSPC;
}

extern "C" ssize_t getrandom(void* buf, size_t len, unsigned flags) {
    if (!spy::random || len != sizeof spy::random) return syscall(SYS_getrandom, buf, len, flags);
    std::memcpy(buf, &spy::random, len);
    return (ssize_t)len;
}

extern "C" int flock(int fd, int op) noexcept {
    if (op == (LOCK_EX | LOCK_NB)) run_once(spy::before_lock, fd);
    if (spy::flock_error) {
        errno = spy::flock_error;
        return -1;
    }
    return (int)syscall(SYS_flock, fd, op);
}

namespace {

const uid_t kNobody = 65534;
const gid_t kShared = 4242; // a further group of the user as_user makes

// Runs `body` in a forked child; its exit code, or -1 when a signal ended it.
int in_child(const std::function<int()>& body) {
    pid_t pid = fork();
    if (pid == 0) _exit(body());
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid) return -2;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Makes this process an unprivileged user: root becomes nobody, also in
// group kShared; anyone else already is such a user.  False when root could
// not.
bool become_user() {
    return geteuid() != 0 || (setgroups(1, &kShared) == 0 && setgid(kNobody) == 0 && setuid(kNobody) == 0);
}

// Runs `body` in a forked child as that user.  10 when root could not.
int as_user(const std::function<int()>& body) {
    return in_child([&] { return become_user() ? body() : 10; });
}

// The owner as_user runs as.
uid_t user_id() { return geteuid() == 0 ? kNobody : geteuid(); }
gid_t user_group() { return geteuid() == 0 ? kNobody : getegid(); }

int open_fds() { return (int)std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()); }

// A directory in which the unprivileged user can make no file, while the
// object lives.
struct ReadOnlyDir {
    std::string path;
    explicit ReadOnlyDir(const std::string& p) : path(p) { chmod(path.c_str(), 0555); }
    ~ReadOnlyDir() { chmod(path.c_str(), 0755); }
};

// The temporary names of the documents "a" and "b": FNV-1a 64 of the name
// (the published test vectors), then 16 hex digits of random bits.
const std::string kHeadA = ".af63dc4c8601ec8c.", kHeadB = ".af63df4c8601f1a5.";
std::string tmp_name(const std::string& head, const std::string& random) { return head + random + ".saving"; }

// The name of an open file, while it has one.
std::string name_of(int fd) { return fs::read_symlink("/proc/self/fd/" + std::to_string(fd)); }

TEST_F(DriverFiles, SaveKeepsModeOwnerAndGroupOfTheReplacedFile) {
    // As root the document belongs to another user, who keeps it.
    std::string path = dir / "doc", fresh = dir / "fresh";
    int fds = open_fds();
    for (mode_t mode : {0600, 0644, 0755, 02755}) {
        write_file(path, "old contents, longer than the new");
        ASSERT_EQ(chown(path.c_str(), user_id(), user_group()), 0);
        ASSERT_EQ(chmod(path.c_str(), mode), 0);
        spy::mode_before_fchmod = 0;
        EXPECT_EQ(driver_file_save(path.c_str(), "new", 3), 0);
        EXPECT_EQ(read_file(path), "new");
        struct stat st;
        ASSERT_EQ(stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, mode) << std::oct << mode;
        EXPECT_EQ(st.st_uid, user_id()) << std::oct << mode;
        EXPECT_EQ(st.st_gid, user_group()) << std::oct << mode;
        EXPECT_EQ(spy::mode_before_fchmod, 0600u) << "the new file was open to others before it had the old mode";
    }
    EXPECT_EQ(driver_file_save(fresh.c_str(), "", 0), 0);
    struct stat st;
    ASSERT_EQ(stat(fresh.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u) << "a new document gets the usual mode";
    EXPECT_EQ(st.st_size, 0);
    EXPECT_EQ(open_fds(), fds) << "a save left its file open";
    EXPECT_EQ(names_in(dir.path()), (std::vector<std::string>{"doc", "fresh"}));
}

TEST_F(DriverFiles, UserWhoMayNotGiveTheDocumentAwayStillKeepsItsGroup) {
    if (geteuid() != 0) GTEST_SKIP() << "needs a document of another user";
    std::string path = dir / "doc";
    write_file(path, "old");
    ASSERT_EQ(chown(path.c_str(), 0, kShared), 0);
    ASSERT_EQ(chmod(path.c_str(), 0664), 0);
    ASSERT_EQ(chown(dir.path().c_str(), kNobody, kNobody), 0);
    EXPECT_EQ(as_user([&] { return driver_file_save(path.c_str(), "new", 3); }), 0);
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, kNobody);
    EXPECT_EQ(st.st_gid, kShared);
    EXPECT_EQ(st.st_mode & 07777, 0664u);
}

TEST_F(DriverFiles, SaveThroughSymlinksReplacesTheTargetAndKeepsTheLinks) {
    fs::create_directory(dir / "real");
    fs::create_directory(dir / "links");
    std::string target = dir / "real/doc";
    write_file(target, "old");
    fs::create_symlink("../real/doc", dir / "links/relative");
    fs::create_symlink(target, dir / "links/absolute");
    fs::create_symlink("relative", dir / "links/chained");
    for (const char* link : {"relative", "absolute", "chained"}) {
        std::string path = dir / "links/" + link;
        EXPECT_EQ(driver_file_save(path.c_str(), link, (int)std::strlen(link)), 0) << link;
        EXPECT_EQ(read_file(target), link);
        EXPECT_TRUE(fs::is_symlink(path)) << link;
    }
    EXPECT_EQ(names_in(dir / "real"), std::vector<std::string>{"doc"});
    EXPECT_EQ(names_in(dir / "links"), (std::vector<std::string>{"absolute", "chained", "relative"}));

    fs::create_symlink("loop", dir / "links/loop");
    EXPECT_EQ(driver_file_save((dir / "links/loop").c_str(), "x", 1), ELOOP);
    EXPECT_TRUE(fs::is_symlink(dir / "links/loop"));
}

TEST_F(DriverFiles, RefusedOrFailedSaveKeepsTheOldFile) {
    std::string path = dir / "a";
    write_file(path, "precious");
    fs::create_directory(dir / "folder");
    std::string in_missing_dir = dir / "nowhere/doc", folder = dir / "folder";
    struct Case {
        std::string path;
        const void* buf;
        int len, err, fsync_error;
    } cases[] = {{path, nullptr, 3, EINVAL, 0},      {path, "abc", -1, EINVAL, 0},
                 {in_missing_dir, "abc", 3, ENOENT, 0}, {folder, "abc", 3, EISDIR, 0},
                 {"", "abc", 3, ENAMETOOLONG, 0},    {path, "abc", 3, EIO, EIO}};
    int fds = open_fds();
    for (const Case& k : cases) {
        spy::fsync_error = k.fsync_error; // the new file never reached the disk
        Captured c = capture([&] { EXPECT_EQ(driver_file_save(k.path.c_str(), k.buf, k.len), k.err) << k.path; });
        spy::fsync_error = 0;
        EXPECT_EQ(c.err, "") << "the caller reports the failure";
    }
    // Every temporary name it draws is taken, by no leftover: no rewrite in
    // place.
    const std::string taken = tmp_name(kHeadA, "0123456789abcdef");
    fs::create_directory(dir / taken);
    spy::random = 0x0123456789abcdef;
    EXPECT_EQ(driver_file_save(path.c_str(), "abc", 3), EEXIST);
    spy::random = 0;
    EXPECT_EQ(open_fds(), fds) << "a failed save left its file open";
    EXPECT_EQ(read_file(path), "precious");
    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_EQ(names_in(dir.path()), (std::vector<std::string>{taken, "a", "folder"}));
}

TEST_F(DriverFiles, SaveOverTheFileSizeLimitFailsCleanly) {
    std::string path = dir / "doc";
    std::string old(100, 'o');
    write_file(path, old);
    std::string big(64 * 1024, 'n');
    int code = in_child([&] {
        // The default action of the signal would end the process; the
        // driver's start-up is what turns it off.
        signal(SIGXFSZ, SIG_DFL);
        driver_deinit();
        driver_init(0);
        struct rlimit limit = {4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        return driver_file_save(path.c_str(), big.data(), (int)big.size()) == EFBIG ? 0 : 1;
    });
    EXPECT_EQ(code, 0) << "-1: killed by the signal; 1: wrong reason";
    EXPECT_EQ(read_file(path), old);
    EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{"doc"});
}

// ====== A directory that takes no new file ======

TEST_F(DriverFiles, UnprivilegedUserRewritesAWritableDocumentInAReadOnlyDirectory) {
    // The user may write one document but not the other, and may create
    // nothing beside them.
    std::string mine = dir / "mine", theirs = dir / "theirs";
    write_file(mine, "old contents, longer than the new");
    write_file(theirs, "not the user's");
    ASSERT_EQ(chown(mine.c_str(), user_id(), user_group()), 0);
    ASSERT_EQ(chmod(theirs.c_str(), 0444), 0);
    ReadOnlyDir locked(dir.path());
    int code = as_user([&] {
        int fds = open_fds();
        if (driver_file_save(mine.c_str(), "", 0) != 0 || driver_file_save(mine.c_str(), "new", 3) != 0) return 11;
        if (driver_file_save(theirs.c_str(), "new", 3) != EACCES) return 12;
        if (driver_file_save((dir / "new").c_str(), "new", 3) != EACCES) return 12;
        return open_fds() == fds ? 0 : 13;
    });
    EXPECT_EQ(code, 0) << "10: could not become the user; 11: writable document not saved (empty or not); "
                          "12: wrong reason; 13: a save left its file open";
    EXPECT_EQ(read_file(mine), "new");
    EXPECT_EQ(read_file(theirs), "not the user's");
    EXPECT_EQ(names_in(dir.path()), (std::vector<std::string>{"mine", "theirs"}));
}

TEST_F(DriverFiles, FailedRewriteInPlaceLeavesTheOldDocumentByteForByte) {
    std::string path = dir / "doc";
    const std::string old(50000, 'o');
    // Over the limit, the space is reserved before the first write: the
    // document is never written (and a reader never sees it torn).
    struct Case {
        const char* what;
        size_t len;
        rlim_t fsize;
        int fsync_error, err;
        bool written, disk_full;
    } cases[] = {{"longer than the file-size limit", 102400, 65536, 0, EFBIG, false, false},
                 {"longer, disk full half-way", 102400, RLIM_INFINITY, 0, ENOSPC, false, true},
                 {"longer, not flushed", 102400, RLIM_INFINITY, EIO, EIO, true, false},
                 {"shorter, not flushed", 10, RLIM_INFINITY, EIO, EIO, true, false}};
    write_file(path, old);
    ASSERT_EQ(chown(path.c_str(), user_id(), user_group()), 0);
    ReadOnlyDir locked(dir.path());
    for (const Case& k : cases) {
        const std::string text(k.len, 'n');
        int code = as_user([&] {
            struct rlimit limit = {k.fsize, k.fsize};
            if (k.fsize != RLIM_INFINITY) setrlimit(RLIMIT_FSIZE, &limit);
            spy::fsync_error = k.fsync_error;
            spy::disk_full = k.disk_full;
            spy::writes = 0;
            int fds = open_fds();
            if (driver_file_save(path.c_str(), text.data(), (int)text.size()) != k.err) return 11;
            if (open_fds() != fds) return 12;
            return (spy::writes > 0) == k.written ? 0 : 13;
        });
        EXPECT_EQ(code, 0) << k.what << ": 10: could not become the user; 11: wrong reason; 12: file left open; "
                           << "13: written or not, against expectation";
        std::string now = read_file(path);
        EXPECT_TRUE(now == old) << k.what << ": " << now.size() << " bytes, " << std::count(now.begin(), now.end(), 'n')
                                << " of them new";
    }
    EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{"doc"});
}

TEST_F(DriverFiles, DocumentsDirectoryThatCannotBeMadeGivesTheReason) {
    driver_set_gamename("g");
    ReadOnlyDir locked(dir.path()); // HOME
    EXPECT_EQ(as_user([] { return driver_doc_save("s.json", "x", 1) == EACCES ? 0 : 1; }), 0)
        << "10: could not become the user; 1: not \"Permission denied\"";
    EXPECT_FALSE(fs::exists(dir / ".g"));
}

// ====== Other files and other processes ======

TEST_F(DriverFiles, SaveRemovesNoFileButItsDocumentAndItsOwnAbandonedTemporaryFiles) {
    // Of the names in the temporary form of `a`, only an unlocked regular
    // file goes: not one a save under way holds locked (here this process,
    // another user's to the saver when the test is root), nor a link, a pipe
    // or a folder.  Near misses of the form, another document's leftovers
    // and the forms of older versions are the user's.  The saver works in the
    // folder, on a bare name.
    const std::string r = "0123456789abcdef";
    const std::vector<std::string> users = {
        ".a.saving", "a.saving", ".a.999999.saving", ".a.1.saving", tmp_name(kHeadA, r.substr(1)),
        tmp_name(kHeadA, r + "0"), tmp_name(kHeadA, "0123456789abcdeF"), tmp_name(kHeadA, "0123456789abcde "),
        tmp_name(kHeadA, r) + "~", tmp_name(kHeadA, r) + ".bak", "x" + tmp_name(kHeadA, r).substr(1),
        kHeadA.substr(0, 17) + "-" + r + ".saving", tmp_name(kHeadB, r)};
    const std::string held = tmp_name(kHeadA, "1111111111111111"), link = tmp_name(kHeadA, "2222222222222222"),
                      pipe = tmp_name(kHeadA, "3333333333333333"), folder = tmp_name(kHeadA, "4444444444444444");
    for (const std::string& name : users) write_file(dir / name, "the user's");
    write_file(dir / held, "being saved");
    int lock = open((dir / held).c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(flock(lock, LOCK_EX), 0);
    fs::create_symlink("a.saving", dir / link);
    ASSERT_EQ(mkfifo((dir / pipe).c_str(), 0644), 0);
    fs::create_directory(dir / folder);
    write_file(dir / tmp_name(kHeadA, r), "left over");
    write_file(dir / "a", "old");
    ASSERT_EQ(chown(dir.path().c_str(), user_id(), user_group()), 0);
    EXPECT_EQ(as_user([&] {
                  int fds = open_fds();
                  if (chdir(dir.path().c_str()) != 0 || driver_file_save("a", "new", 3) != 0) return 1;
                  return open_fds() == fds ? 0 : 2;
              }),
              0)
        << "10: could not become the user; 1: not saved; 2: a file left open";
    close(lock);
    EXPECT_EQ(read_file(dir / "a"), "new");
    EXPECT_EQ(read_file(dir / held), "being saved");
    for (const std::string& name : users) EXPECT_EQ(read_file(dir / name), "the user's") << name;
    std::vector<std::string> expected = users;
    expected.insert(expected.end(), {"a", held, link, pipe, folder});
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(names_in(dir.path()), expected);
}

TEST_F(DriverFiles, SaveThatAnotherSavesSweepOvertakesStartsOverOnANewName) {
    // The sweep of a save in another process takes the new temporary file
    // between its making and its lock: it removes the file at once, or locks
    // it and removes it a moment later, while this save writes.
    std::string path = dir / "a";
    write_file(path, "old");
    std::string name;
    int sweep = -1, fds = open_fds();
    struct Case {
        const char* what;
        std::function<void(int)> before_lock, before_write;
    } cases[] = {
        {"removed before the lock", [&](int fd) { unlink(name_of(fd).c_str()); }, nullptr},
        {"locked by the sweep, then removed",
         [&](int fd) {
             name = name_of(fd);
             sweep = open(name.c_str(), O_RDONLY | O_CLOEXEC);
             flock(sweep, LOCK_SH);
         },
         [&](int) {
             unlink(name.c_str());
             close(sweep);
         }},
    };
    for (const Case& k : cases) {
        spy::before_lock = k.before_lock;
        spy::before_write = k.before_write;
        EXPECT_EQ(driver_file_save(path.c_str(), k.what, (int)std::strlen(k.what)), 0) << k.what;
        EXPECT_TRUE(!spy::before_lock && !spy::before_write) << k.what << ": no lock taken, or nothing written";
        EXPECT_EQ(read_file(path), k.what);
        EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{"a"}) << k.what;
        EXPECT_EQ(open_fds(), fds) << k.what << ": a file left open";
    }
}

TEST_F(DriverFiles, FilesystemThatTakesNoLocksStillSavesAndLoads) {
    // Every lock fails as there (ENOLCK): a save goes on unlocked, in a new
    // file or in place, and a leftover stays, since it cannot be told from
    // the file of a save under way.
    std::string path = dir / "a", leftover = tmp_name(kHeadA, "0123456789abcdef");
    write_file(dir / leftover, "left over");
    write_file(path, "old");
    ASSERT_EQ(chown(path.c_str(), user_id(), user_group()), 0);
    spy::flock_error = ENOLCK;
    EXPECT_EQ(driver_file_save(path.c_str(), "new", 3), 0);
    EXPECT_EQ(driver_file_load(path.c_str()), "new");
    ReadOnlyDir locked(dir.path());
    EXPECT_EQ(as_user([&] { return driver_file_save(path.c_str(), "in place", 8); }), 0);
    EXPECT_EQ(driver_file_load(path.c_str()), "in place");
    spy::flock_error = 0;
    EXPECT_EQ(names_in(dir.path()), (std::vector<std::string>{leftover, "a"}));
}

TEST_F(DriverFiles, FolderIsSyncedOnceItHoldsTheNewDocument) {
    // Without that sync a power loss after the save can bring the old
    // document back, or none.  A folder that cannot be synced fails the
    // save, unless its filesystem syncs no folders at all.
    struct stat folder;
    ASSERT_EQ(stat(dir.path().c_str(), &folder), 0);
    struct Case {
        bool bare_name;
        int dir_fsync_error, err;
    } cases[] = {{false, 0, 0}, {true, 0, 0}, {false, EIO, EIO}, {false, EINVAL, 0}};
    for (const Case& k : cases) {
        std::string text = "saved with " + std::to_string(k.dir_fsync_error);
        int code = in_child([&] {
            if (k.bare_name && chdir(dir.path().c_str()) != 0) return 10;
            spy::watched_dir = folder.st_ino;
            spy::watched_doc = dir / "a";
            spy::dir_fsync_error = k.dir_fsync_error;
            const char* path = k.bare_name ? "a" : spy::watched_doc.c_str();
            if (driver_file_save(path, text.data(), (int)text.size()) != k.err) return 11;
            return spy::doc_at_dir_sync == text ? 0 : 12;
        });
        EXPECT_EQ(code, 0) << k.bare_name << " " << k.dir_fsync_error
                           << ": 10: no such folder; 11: wrong answer; 12: folder not synced after the rename";
    }
}

TEST_F(DriverFiles, FolderTheUserMayWriteButNotReadTakesTheSave) {
    // Such a folder cannot be opened to be synced: the save stands as it is.
    const std::string drop = dir / "drop", doc = drop + "/a";
    ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
    ASSERT_EQ(mkdir(drop.c_str(), 0700), 0);
    ASSERT_EQ(chmod(drop.c_str(), 0333), 0);
    int code = as_user([&] { return driver_file_save(doc.c_str(), "kept", 4); });
    chmod(drop.c_str(), 0755);
    EXPECT_EQ(code, 0) << "the errno of a save that was made";
    EXPECT_EQ(read_file(doc), "kept");
}

// Starts a saver: a child running `body`, or with `own_pid_space` the first
// process of a new PID namespace (so pid 1 there, as in a container).
// kNoPidSpace: no namespace could be made.
const int kNoPidSpace = 200;
pid_t start_saver(bool own_pid_space, const std::function<int()>& body) {
    pid_t pid = fork();
    if (pid != 0) return pid;
    if (!own_pid_space) _exit(body());
    if (unshare(CLONE_NEWPID) != 0) _exit(kNoPidSpace);
    _exit(in_child([&] { return getpid() == 1 ? body() : 101; }));
}

TEST_F(DriverFiles, TwoProcessesSavingOneDocumentNeverFailAndNeverShowATornOne) {
    // The same folder seen from two containers: both savers are pid 1 there.
    // In a folder that takes no new file both rewrite the document in place:
    // reads through the driver then see it whole, and so does the end.
    std::string path = dir / "doc";
    const std::string versions[] = {std::string(40000, 'a'), std::string(70000, 'b'), std::string(100000, 'c')};
    const int saves = 300;
    const struct {
        const char* how;
        bool own_pid_spaces, in_place;
    } cases[] = {{"one PID namespace", false, false},
                 {"a read-only folder, read through the driver", false, true},
                 {"separate PID namespaces", true, false}};
    for (const auto& [how, own_pid_spaces, in_place] : cases) {
        ASSERT_EQ(driver_file_save(path.c_str(), versions[0].data(), (int)versions[0].size()), 0);
        ASSERT_EQ(chmod(path.c_str(), 0640), 0);
        ASSERT_EQ(chown(path.c_str(), user_id(), user_group()), 0);
        std::optional<ReadOnlyDir> locked;
        if (in_place) locked.emplace(dir.path());
        for (int s = 0; s < 2; s++) {
            start_saver(own_pid_spaces, [&] {
                if (in_place && !become_user()) return 100;
                int failed = 0;
                for (int i = 0; i < saves; i++) {
                    const std::string& v = versions[(i + s) % 3];
                    failed += driver_file_save(path.c_str(), v.data(), (int)v.size()) != 0;
                }
                return std::min(failed, 100);
            });
        }
        int reads = 0, torn = 0, other_mode = 0, failed = 0, status = 0;
        for (int running = 2; running > 0;) {
            std::string now = in_place ? driver_file_load(path.c_str()) : read_file(path);
            struct stat st;
            reads++;
            torn += now != versions[0] && now != versions[1] && now != versions[2];
            other_mode += stat(path.c_str(), &st) != 0 || (st.st_mode & 07777) != 0640;
            pid_t ended = waitpid(-1, &status, WNOHANG); // -1: no saver was started
            if (ended == 0) continue;
            running--;
            int code = ended > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : 100;
            if (code == kNoPidSpace) GTEST_SKIP() << "making a PID namespace needs root";
            failed += code;
        }
        std::printf("%s: %d saves, %d answered false; %d reads, %d torn or empty, %d with another mode\n", how,
                    2 * saves, failed, reads, torn, other_mode);
        EXPECT_EQ(failed, 0) << how << ": saves that answered false, of " << 2 * saves << " (100: could not become the user; 101: not pid 1)";
        EXPECT_EQ(torn, 0) << how << ": torn or empty reads, of " << reads;
        std::string last = read_file(path);
        EXPECT_TRUE(last == versions[0] || last == versions[1] || last == versions[2]) << how << ": torn at the end";
        EXPECT_EQ(other_mode, 0) << how << ": reads that saw another mode, of " << reads;
        EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{"doc"}) << how;
    }
}

TEST_F(DriverFiles, DocumentsOfEveryNameLengthAreReplacedWhole) {
    // A name up to the longest a file may have: new documents are made, and
    // existing ones replaced by a new file (a new inode), never rewritten.
    for (size_t len : {1, 200, 242, 255}) {
        std::string name(len, 'n'), path = dir / name;
        for (const char* text : {"first", "second"}) {
            struct stat before = {}, after = {};
            bool existed = stat(path.c_str(), &before) == 0;
            EXPECT_EQ(driver_file_save(path.c_str(), text, (int)std::strlen(text)), 0) << len;
            EXPECT_EQ(read_file(path), text) << len;
            ASSERT_EQ(stat(path.c_str(), &after), 0) << len;
            if (existed) {
                EXPECT_NE(after.st_ino, before.st_ino) << len << ": rewritten in place";
            }
        }
        EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{name});
        fs::remove(path);
    }
}

TEST_F(DriverFiles, SavesKilledMidwayLeaveAWholeDocumentAndAtMostOneTemporaryFile) {
    std::string path = dir / "doc";
    const std::string versions[] = {std::string(1 << 20, 'a'), std::string(1 << 20, 'b')};
    driver_file_save(path.c_str(), versions[0].data(), (int)versions[0].size());
    for (int kill_no = 0; kill_no < 12; kill_no++) {
        int ready[2];
        ASSERT_EQ(pipe(ready), 0);
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            // Saves the two versions in turn until it is killed; a byte on
            // the pipe after each save.
            close(ready[0]);
            for (int i = 0;; i ^= 1) {
                driver_file_save(path.c_str(), versions[i].data(), (int)versions[i].size());
                if (write(ready[1], "s", 1) != 1) _exit(1);
            }
        }
        close(ready[1]);
        // Killed in the save after the first few, wherever it stands.
        int saves = 0;
        char got;
        while (saves < 1 + kill_no % 4 && read(ready[0], &got, 1) == 1) saves++;
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        close(ready[0]);
        ASSERT_EQ(saves, 1 + kill_no % 4) << "the saving child ended on its own";
        std::string now = read_file(path);
        EXPECT_TRUE(now == versions[0] || now == versions[1]) << "torn document after kill " << kill_no;
        EXPECT_LE(names_in(dir.path()).size(), 2u) << "more than one leftover after kill " << kill_no;
    }
    EXPECT_EQ(driver_file_save(path.c_str(), "done", 4), 0);
    EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{"doc"}) << "the next save takes the leftover away";
}

} // namespace
