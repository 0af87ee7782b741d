// Driver paths and whole-file services, on real files in temporary
// directories.
#include <cstring>

#include <pwd.h>
#include <sys/stat.h>
#include <utime.h>

#include "files_fixture.h"

namespace {

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

// ====== Path helpers ======

TEST(DriverPaths, DirnameCutsAtTheLastSlashOfEitherKind) {
    char a[] = "a/b/c", b[] = "a\\b", c[] = "abc", d[] = "/x";
    EXPECT_STREQ(_driver_dirname(a), "a/b");
    EXPECT_STREQ(_driver_dirname(b), "a");
    EXPECT_STREQ(_driver_dirname(c), "abc");
    EXPECT_STREQ(_driver_dirname(d), "");
}

} // namespace
