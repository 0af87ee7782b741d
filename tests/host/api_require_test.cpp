// require: name cleaning, the lookup order over real directories, once per
// reload, the alternative directory, and the missing-file report.
#include <sys/stat.h>

#include <utility>
#include <vector>

#include "host_fixture.h"

namespace {

// An engine that only records the texts it is asked to run.
class Recorder : public ModsBase {
public:
    std::vector<std::pair<std::string, std::string>> runs; // chunk name, text
    void script(const char* s, const char* name) override { runs.emplace_back(name, s); }
};

// Runs in another working directory until it goes.
class InDir {
public:
    explicit InDir(const std::string& dir) {
        char buf[4096];
        old_ = getcwd(buf, sizeof buf) ? buf : ".";
        EXPECT_EQ(chdir(dir.c_str()), 0);
    }
    ~InDir() { (void)!chdir(old_.c_str()); }

private:
    std::string old_;
};

class Require : public Host {
protected:
    Recorder rec;
    void SetUp() override {
        Host::SetUp();
        game.data.mods.mod = &rec;
    }
    void TearDown() override {
        game.data.mods.mod = nullptr;
        Host::TearDown();
    }
};

} // namespace

TEST(RequireNames, BaseNameCleaning) {
    EXPECT_EQ(get_basename("a/b/c.lua"), "c.lua");
    EXPECT_EQ(get_basename("a..b"), "a_b");
    EXPECT_EQ(get_basename("../../etc/x"), "x");
    EXPECT_EQ(get_basename("dir\\x"), "x");
    EXPECT_EQ(get_basename("plain"), "plain");
    EXPECT_EQ(get_dirname("/a/b/main.lua"), "/a/b");
    EXPECT_EQ(get_dirname("a\\b\\main.lua"), "a/b");
    EXPECT_EQ(get_dirname("main.lua"), "");
    EXPECT_EQ(get_dirname("/main.lua"), "/");
}

TEST_F(Require, AddsLuaRunsOnceUnderItsBaseNameAndRecordsThePath) {
    write_text(scripts / "util.lua", "-- util");
    mkdir((scripts / "sub").c_str(), 0755);
    write_text(scripts / "sub/util.lua", "-- other util");

    capture([&] {
        api->require("util");
        api->require("sub/util");
        api->require("util.lua");
    });
    ASSERT_EQ(rec.runs.size(), 1u);
    EXPECT_EQ(rec.runs[0].first, "util.lua");
    EXPECT_EQ(rec.runs[0].second, "-- util");
    ASSERT_EQ(api->scripts.size(), 1u);
    EXPECT_EQ(api->scripts[0]._fname, "util");
    EXPECT_EQ(api->scripts[0].name, "util.lua");
    EXPECT_EQ(api->scripts[0].fname, scripts / "util.lua");
    EXPECT_EQ(api->scripts[0].mtime, driver_file_mtime((scripts / "util.lua").c_str()));
    EXPECT_EQ(api->api_error(), 0);
}

TEST_F(Require, DotsAndBackslashesInNames) {
    write_text(scripts / "a_b.lua", "ab");
    write_text(scripts / "x.lua", "x");
    capture([&] {
        api->require("a..b");
        api->require("some\\dir\\x");
    });
    ASSERT_EQ(rec.runs.size(), 2u);
    EXPECT_EQ(rec.runs[0].first, "a_b.lua");
    EXPECT_EQ(rec.runs[1].first, "x.lua");
}

TEST_F(Require, SetsTheAlternativeDirectoryToTheScriptsOrTheParameter) {
    write_text(scripts / "a.lua", "a");
    capture([&] { api->require("a"); });
    EXPECT_STREQ(_driver->altdir, scripts.path().c_str());

    TempDir other;
    write_text(other / "b.lua", "b from altdir");
    write_text(scripts / "b.lua", "b from scripts");
    capture([&] {
        api->params_set("altdir", var(other.path()));
        api->require("b");
    });
    ASSERT_EQ(rec.runs.size(), 2u);
    EXPECT_EQ(rec.runs[1].second, "b from altdir");
    EXPECT_STREQ(_driver->altdir, other.path().c_str());
}

TEST_F(Require, FallsBackToTheDataDirectory) {
    TempDir root;
    mkdir((root / "data").c_str(), 0755);
    mkdir((root / "work").c_str(), 0755);
    write_text(root / "data/lib.lua", "from data");
    InDir in(root / "work");
    capture([&] { api->require("lib"); });
    ASSERT_EQ(rec.runs.size(), 1u);
    EXPECT_EQ(rec.runs[0].second, "from data");
    EXPECT_EQ(api->scripts[0].fname, "../data/lib.lua");
}

TEST_F(Require, MissingFileLogsAndLeavesThePendingErrorAndNoRecord) {
    Captured c = capture([&] { api->require("nope"); });
    EXPECT_TRUE(rec.runs.empty());
    EXPECT_TRUE(api->scripts.empty());
    ASSERT_FALSE(api->log.empty());
    EXPECT_EQ(api->log[0], "ModsAPI::require(\"nope\") file missing");
    EXPECT_NE(c.out.find("ModsAPI: ModsAPI::require(\"nope\") file missing"), std::string::npos);
    EXPECT_EQ(api->api_error_get(), "file missing");

    // Not remembered: once it exists it is found.
    api->api_error_clear();
    write_text(scripts / "nope.lua", "now here");
    capture([&] { api->require("nope"); });
    EXPECT_EQ(rec.runs.size(), 1u);
    EXPECT_EQ(api->api_error(), 0);
}

TEST_F(Require, MainScriptWithoutDirectoryIsFoundInTheWorkingDirectory) {
    write_text(scripts / "main.lua", "main");
    set_main("main.lua");
    InDir in(scripts.path());
    capture([&] { api->require("main.lua"); });
    ASSERT_EQ(rec.runs.size(), 1u);
    EXPECT_EQ(api->scripts[0].fname, "main.lua");
    EXPECT_EQ(api->api_error(), 0);
}

TEST_F(Require, AFileThatRequiresItselfRunsOnce) {
    game.data.mods.mod = nullptr;
    start_lua();
    write_text(scripts / "self.lua", "count = (count or 0) + 1 require('self')");
    capture([&] { run("require('self')"); });
    EXPECT_EQ(global("count"), "1");
}
