// Driver paths and whole-file services, on real files in temporary
// directories.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include <pwd.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <utime.h>

#include "support/capture.h"
#include "zov_driver.h"

namespace fs = std::filesystem;

namespace {

void write_file(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> names_in(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class DriverFiles : public ::testing::Test {
protected:
    TempDir dir;
    std::string old_home = std::getenv("HOME") ? std::getenv("HOME") : "";
    mode_t old_mask = umask(022);

    // No test may make folders in the user's real home.
    void SetUp() override {
        setenv("HOME", dir.path().c_str(), 1);
        driver_init(0);
    }
    void TearDown() override {
        driver_deinit();
        setenv("HOME", old_home.c_str(), 1);
        umask(old_mask);
    }
};

// ====== Data files ======

TEST_F(DriverFiles, DataNameIsFoundInAltdirFirstElseInDataDirectory) {
    write_file(dir / "a.lua", "a");
    fs::create_directory(dir / "sub.lua"); // a directory is not a file
    driver_set_altdir(dir.path().c_str());
    EXPECT_EQ(std::string(driver_data_fname("a.lua")), dir / "a.lua");
    EXPECT_STREQ(driver_data_fname("b.lua"), "../data/b.lua");
    EXPECT_STREQ(driver_data_fname("sub.lua"), "../data/sub.lua");
    EXPECT_EQ(driver_data_load("a.lua"), "a");
    EXPECT_TRUE(driver_data_exists("a.lua"));
    EXPECT_FALSE(driver_data_exists("b.lua"));
}

TEST_F(DriverFiles, DataNameResultIsOneBufferOverwrittenByTheNextCall) {
    char* first = driver_data_fname("one");
    char* second = driver_data_fname("two");
    EXPECT_EQ(first, second);
    EXPECT_STREQ(first, "../data/two");
}

TEST_F(DriverFiles, PathThatDoesNotFitIsNeverCut) {
    // A file whose name is the cut path: a cut result would find it.
    std::string name(600, 'n');
    Captured c = capture([&] { EXPECT_STREQ(driver_data_fname(name.c_str()), ""); });
    EXPECT_EQ(c.err, "path too long (608 bytes, at most 511): ../data/" + name + "\n");

    // Alternative path too long: that candidate cannot exist, the data
    // directory's is taken.
    std::string altdir = "/" + std::string(499, 'd');
    driver_set_altdir(altdir.c_str());
    c = capture([] { EXPECT_STREQ(driver_data_fname("twelve-bytes"), "../data/twelve-bytes"); });
    EXPECT_EQ(lines_of(c.err).size(), 1u);
    EXPECT_EQ(c.err.rfind("path too long (513 bytes, at most 511): /ddd", 0), 0u);

    c = capture([&] {
        EXPECT_STREQ(driver_doc_fname(name.c_str()), "");
        EXPECT_FALSE(driver_doc_exists(name.c_str()));
    });
    EXPECT_EQ(lines_of(c.err).size(), 2u);
}

// ====== Documents ======

TEST_F(DriverFiles, DocumentsLiveInTheWorkingDirectoryWithoutGameName) {
    EXPECT_STREQ(driver_doc_fname("save.json"), "./save.json");
    EXPECT_STREQ(_driver_get_docdir(), ".");
}

TEST_F(DriverFiles, DocumentsDirectoryIsMadeUnderHome) {
    driver_set_gamename("g");
    EXPECT_EQ(std::string(driver_doc_fname("save.json")), dir / ".g/save.json");
    struct stat st;
    ASSERT_EQ(stat((dir / ".g").c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0755u);

    driver_doc_save("save.json", "{}", 2);
    EXPECT_TRUE(driver_doc_exists("save.json"));
    EXPECT_EQ(driver_doc_fsize("save.json"), 2);
    EXPECT_EQ(driver_doc_load("save.json"), "{}");
    EXPECT_EQ(driver_cloud_load("save.json"), "{}");
}

// Only the name is checked: the documents directory would be made in the
// user's real home.
TEST_F(DriverFiles, UnusableHomeFallsBackToPasswordDatabase) {
    struct passwd* pw = getpwuid(getuid());
    ASSERT_NE(pw, nullptr);
    for (const char* home : {"unset", "", "/", "//"}) {
        if (std::strcmp(home, "unset") == 0) {
            unsetenv("HOME");
        } else {
            setenv("HOME", home, 1);
        }
        EXPECT_STREQ(driver_get_home_dir(), pw->pw_dir) << home;
    }
}

TEST_F(DriverFiles, OverlongHomeGivesNoDocumentsDirectory) {
    std::string home = "/" + std::string(600, 'h');
    setenv("HOME", home.c_str(), 1);
    driver_set_gamename("zovtest-long-home");
    capture([] {
        EXPECT_STREQ(driver_get_home_dir(), "");
        EXPECT_STREQ(driver_doc_fname("save.json"), "");
        EXPECT_EQ(driver_doc_save("save.json", "x", 1), ENAMETOOLONG);
    });
    // Not "/.zovtest-long-home" at the root, nor "/save.json".
    EXPECT_FALSE(fs::exists("/.zovtest-long-home"));
    EXPECT_FALSE(fs::exists("/save.json"));
}

// ====== Reading ======

TEST_F(DriverFiles, LoadIntoBufferReadsAtMostTheGivenLength) {
    write_file(dir / "ten", "0123456789");
    write_file(dir / "two", "ab");
    char buf[16] = {};
    EXPECT_EQ(driver_file_load((dir / "ten").c_str(), buf, 4), 4);
    EXPECT_EQ(std::string(buf, 4), "0123");
    EXPECT_EQ(driver_file_load((dir / "two").c_str(), buf, 4), 2);
    EXPECT_EQ(driver_file_load((dir / "ten").c_str(), buf, -1), 0);
    EXPECT_EQ(driver_file_load((dir / "ten").c_str(), nullptr, 4), 0);
}

TEST_F(DriverFiles, WholeFileKeepsZeroBytes) {
    std::string text("a\0b\0\0c", 6);
    write_file(dir / "z", text);
    EXPECT_EQ(driver_file_load((dir / "z").c_str()), text);
    int len = 0;
    void* buf = driver_file_alloc((dir / "z").c_str(), &len);
    ASSERT_NE(buf, nullptr);
    EXPECT_EQ(len, 6);
    EXPECT_EQ(std::memcmp(buf, text.data(), 6), 0);
    free(buf);
}

TEST_F(DriverFiles, MissingEmptyAndDirectoryAreNothingToLoad) {
    write_file(dir / "empty", "");
    fs::create_directory(dir / "folder");
    std::string missing = dir / "missing", empty = dir / "empty", folder = dir / "folder";

    Captured c = capture([&] {
        for (const std::string& path : {missing, empty, folder}) {
            int len = -1;
            EXPECT_EQ(driver_file_alloc(path.c_str(), &len), nullptr) << path;
            EXPECT_EQ(len, 0) << path;
            EXPECT_EQ(driver_file_load(path.c_str()), "") << path;
            EXPECT_EQ(driver_file_fsize(path.c_str()), 0) << path;
        }
    });
    EXPECT_EQ(c.err, ""); // size 0: nothing is opened, nothing reported

    EXPECT_EQ(driver_file_exists(missing.c_str()), 0);
    EXPECT_EQ(driver_file_exists(empty.c_str()), 1);
    EXPECT_EQ(driver_file_exists(folder.c_str()), 0);
    EXPECT_EQ(driver_file_mtime(missing.c_str()), 0);
    EXPECT_EQ(driver_file_mtime(folder.c_str()), 0);

    char buf[4];
    c = capture([&] {
        EXPECT_EQ(driver_file_load(missing.c_str(), buf, 4), 0);
        EXPECT_EQ(driver_file_load(folder.c_str(), buf, 4), 0);
    });
    EXPECT_EQ(c.err, "file not found: " + missing + "\nfile not found: " + folder + "\n");
}

TEST_F(DriverFiles, ModificationTimeIsWholeSeconds) {
    write_file(dir / "t", "x");
    struct utimbuf times = {1000000000, 1234567890};
    ASSERT_EQ(utime((dir / "t").c_str(), &times), 0);
    EXPECT_EQ(driver_file_mtime((dir / "t").c_str()), 1234567890);
}

// ====== Saving ======

// The other names in a directory: temporary files a save left behind.
std::vector<std::string> others_in(const std::string& dir, const std::string& keep) {
    std::vector<std::string> names = names_in(dir);
    names.erase(std::remove(names.begin(), names.end(), keep), names.end());
    return names;
}

// Runs `body` in a forked child; its exit code, or -1 when a signal ended it.
int in_child(const std::function<int()>& body) {
    pid_t pid = fork();
    if (pid == 0) _exit(body());
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid) return -2;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(DriverFiles, SaveKeepsModeOwnerAndGroupOfTheReplacedFile) {
    std::string path = dir / "doc", fresh = dir / "fresh";
    write_file(path, "old contents, longer than the new");
    ASSERT_EQ(chmod(path.c_str(), 0600), 0);
    ASSERT_EQ(chown(path.c_str(), 65534, 65534), 0); // the test runs as root, which may give files away
    EXPECT_EQ(driver_file_save(path.c_str(), "new", 3), 0);
    EXPECT_EQ(driver_file_save(fresh.c_str(), "", 0), 0);
    EXPECT_EQ(read_file(path), "new");
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u) << "a private document stays private";
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_EQ(st.st_gid, 65534u);
    ASSERT_EQ(stat(fresh.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u) << "a new document gets the usual mode";
    EXPECT_EQ(st.st_size, 0);
    EXPECT_EQ(names_in(dir.path()), (std::vector<std::string>{"doc", "fresh"}));
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

TEST_F(DriverFiles, UnprivilegedUserRewritesAWritableDocumentInAReadOnlyDirectory) {
    // The directory is root's; the user may write one document but not the
    // other, and may create nothing beside them.
    ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
    std::string mine = dir / "mine", theirs = dir / "theirs";
    write_file(mine, "old contents, longer than the new");
    write_file(theirs, "root's");
    ASSERT_EQ(chown(mine.c_str(), 65534, 65534), 0);
    int code = in_child([&] {
        if (setgid(65534) != 0 || setuid(65534) != 0) return 10;
        if (driver_file_save(mine.c_str(), "new", 3) != 0) return 11;
        return driver_file_save(theirs.c_str(), "new", 3) == EACCES ? 0 : 12;
    });
    EXPECT_EQ(code, 0) << "10: could not drop root; 11: writable document not saved; 12: wrong reason";
    EXPECT_EQ(read_file(mine), "new");
    EXPECT_EQ(read_file(theirs), "root's");
    EXPECT_EQ(names_in(dir.path()), (std::vector<std::string>{"mine", "theirs"}));
}

TEST_F(DriverFiles, RefusedOrFailedSaveKeepsTheOldFile) {
    std::string path = dir / "doc";
    write_file(path, "precious");
    fs::create_directory(dir / "folder");
    std::string in_missing_dir = dir / "nowhere/doc", folder = dir / "folder";
    struct Case {
        std::string path;
        const void* buf;
        int len, err;
    } cases[] = {{path, nullptr, 3, EINVAL},
                 {path, "abc", -1, EINVAL},
                 {in_missing_dir, "abc", 3, ENOENT},
                 {folder, "abc", 3, EISDIR},
                 {"", "abc", 3, ENAMETOOLONG}};
    for (const Case& k : cases) {
        Captured c = capture([&] { EXPECT_EQ(driver_file_save(k.path.c_str(), k.buf, k.len), k.err) << k.path; });
        EXPECT_EQ(c.err, "") << "the caller reports the failure";
    }
    EXPECT_EQ(read_file(path), "precious");
    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_EQ(names_in(dir.path()), (std::vector<std::string>{"doc", "folder"}));
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
        EXPECT_LE(others_in(dir.path(), "doc").size(), 1u) << "after kill " << kill_no;
    }
    EXPECT_EQ(driver_file_save(path.c_str(), "done", 4), 0);
    EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{"doc"}) << "the next save takes the leftover away";
}

// ====== Path helpers ======

TEST(DriverPaths, DirnameCutsAtTheLastSlashOfEitherKind) {
    char a[] = "a/b/c", b[] = "a\\b", c[] = "abc", d[] = "/x";
    EXPECT_STREQ(_driver_dirname(a), "a/b");
    EXPECT_STREQ(_driver_dirname(b), "a");
    EXPECT_STREQ(_driver_dirname(c), "abc");
    EXPECT_STREQ(_driver_dirname(d), "");
}

} // namespace
