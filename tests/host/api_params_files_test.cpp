// Script parameters and their side effects, the texture filter, and file
// load and save over real directories.
#include <GL/gl.h>
#include <sys/stat.h>

#include "host_fixture.h"
#include "zov_driver-tex_load.h"

using Params = Host;
using Files = Host;

TEST_F(Params, StoreAndReturnValuesMissingKeysGiveNoneWithoutInsertion) {
    api->params_set("n", var(2.5));
    api->params_set("s", var("text"));
    EXPECT_EQ((double)api->params_get("n"), 2.5);
    EXPECT_EQ(api->params_get("s").__str__(), "text");
    EXPECT_EQ(api->params_get("never").__type__(), VAR_NONE);
    EXPECT_FALSE(api->params.__has__(var("never")));
}

TEST_F(Params, SideEffectsReachTheDriver) {
    capture([&] {
        api->params_set("altdir", var(scripts.path()));
        api->params_set("appid", var("mygame"));
        api->params_set("caption", var("My Game"));
    });
    EXPECT_STREQ(_driver->altdir, scripts.path().c_str());
    EXPECT_STREQ(_driver->gamename, "mygame");
    EXPECT_STREQ(driver_get_caption(), "My Game");
    // A number is applied through its text.
    api->params_set("caption", var(3));
    EXPECT_STREQ(driver_get_caption(), "3");
}

TEST_F(Params, TooLongValuesAreRefusedButStored) {
    std::string long_dir(600, 'd'), long_name(300, 'n');
    capture([&] {
        api->params_set("altdir", var(scripts.path()));
        api->params_set("caption", var("kept"));
        api->params_set("altdir", var(long_dir));
        api->params_set("appid", var(long_name));
        api->params_set("caption", var(long_name));
    });
    EXPECT_STREQ(_driver->altdir, scripts.path().c_str());
    EXPECT_STREQ(_driver->gamename, "zovtest");
    EXPECT_STREQ(driver_get_caption(), "kept");
    EXPECT_EQ(api->params_get("altdir").__str__(), long_dir);
    EXPECT_EQ(api->params_get("caption").__str__(), long_name);
    ASSERT_GE(api->log.size(), 3u);
    EXPECT_NE(api->log[0].find("\"caption\""), std::string::npos) << api->log[0];
    EXPECT_NE(api->log[2].find("\"altdir\""), std::string::npos) << api->log[2];
}

TEST_F(Params, AppIdThatWouldMoveTheDocumentsDirectoryIsRefused) {
    // "" would save into the working directory, "." beside the home
    // directory, ".." and "..." above it.
    for (const char* bad : {"../escape", "a/b", "..", "x..y", "", ".", "..."}) {
        capture([&] { api->params_set("appid", var(bad)); });
        EXPECT_STREQ(_driver->gamename, "zovtest") << bad;
        EXPECT_EQ(api->params_get("appid").__str__(), bad);
        EXPECT_NE(api->log[0].find("not a plain name"), std::string::npos) << bad;
    }
    api->params_set("appid", var(".hidden"));
    EXPECT_STREQ(_driver->gamename, ".hidden");
}

TEST_F(Params, TextureFilterFollowsTheParameter) {
    EXPECT_EQ(_ZOV_GL_TEXTURE_MAG_FILTER(), GL_LINEAR);
    api->params_set("filter", var("nearest"));
    EXPECT_EQ(_ZOV_GL_TEXTURE_MAG_FILTER(), GL_NEAREST);
    api->params_set("filter", var("linear"));
    EXPECT_EQ(_ZOV_GL_TEXTURE_MAG_FILTER(), GL_LINEAR);

    // While the API object is being built the game does not hold it yet,
    // and before the game exists there is nothing to ask.
    api->params_set("filter", var("nearest"));
    game.data.mods.api = nullptr;
    EXPECT_EQ(_ZOV_GL_TEXTURE_MAG_FILTER(), GL_LINEAR);
    game.data.mods.api = api;
    GAME_THIS = nullptr;
    EXPECT_EQ(_ZOV_GL_TEXTURE_MAG_FILTER(), GL_LINEAR);
    GAME_THIS = &game;
}

TEST(NameClean, KeepsLettersAndDigits) {
    EXPECT_EQ(_name_clean("Hello World-2"), "Hello_World_2");
    EXPECT_EQ(_name_clean("abc.def"), "abc");
    EXPECT_EQ(_name_clean("0123456789abcdefXYZ"), "0123456789abcdef");
    EXPECT_EQ(_name_clean(".hidden"), "_");
    EXPECT_EQ(_name_clean(""), "_");
}

TEST_F(Files, DocumentsComeFirstThenTheScriptDirectory) {
    driver_set_altdir(scripts.path().c_str());
    write_text(scripts / "level.txt", "data copy");
    EXPECT_EQ(api->file_load("level.txt"), "data copy");
    capture([&] { api->file_save("level.txt", "saved copy"); });
    EXPECT_EQ(api->file_load("level.txt"), "saved copy");
    EXPECT_EQ(read_text(home / ".zovtest/level.txt"), "saved copy");
    EXPECT_EQ(api->file_load("missing.txt"), "");
    EXPECT_EQ(api->api_error(), 0);
}

TEST_F(Files, ZeroBytesAreKept) {
    std::string bytes("a\0b\0", 4);
    api->file_save("bin", bytes);
    EXPECT_EQ(api->file_load("bin"), bytes);
    EXPECT_EQ(read_text(home / ".zovtest/bin"), bytes);
}

TEST_F(Files, SubdirectoriesStayAllowed) {
    mkdir((home / ".zovtest").c_str(), 0755);
    mkdir((home / ".zovtest/saves").c_str(), 0755);
    api->file_save("saves/slot1", "one");
    EXPECT_EQ(api->api_error(), 0);
    EXPECT_EQ(api->file_load("saves/slot1"), "one");
    EXPECT_EQ(api->file_load("saves/a..b"), "");
    EXPECT_EQ(api->api_error(), 0);
}

TEST_F(Files, NamesThatLeaveTheDirectoryAreRefused) {
    write_text(home / "secret", "secret");
    const std::string bad[] = {"../secret", "/etc/passwd", "a/../../secret", "..", "a\\b", std::string("x\0y", 3), ""};
    for (const std::string& name : bad) {
        capture([&] { EXPECT_EQ(api->file_load(name), ""); });
        EXPECT_EQ(api->api_error_get(), "bad file name") << name;
        EXPECT_NE(api->log[0].find("refused"), std::string::npos) << name;
        api->api_error_clear();
        capture([&] { EXPECT_FALSE(api->file_save(name, "overwritten")) << name; });
        EXPECT_EQ(api->api_error_get(), "bad file name") << name;
        api->api_error_clear();
    }
    EXPECT_EQ(read_text(home / "secret"), "secret");
}

TEST_F(Files, FailedSaveKeepsTheOldDocumentAndIsReportedWithoutAnError) {
    EXPECT_TRUE(api->file_save("keep", "old"));
    std::string docdir = home / ".zovtest";
    mkdir((docdir + "/folder").c_str(), 0755);
    // Failures that hold for root too: a document under a file, and a
    // document that would replace a directory.
    struct Case {
        const char *name, *why;
    } cases[] = {{"keep/inner", "Not a directory"}, {"folder", "Is a directory"}};
    for (const Case& k : cases) {
        std::string reason;
        Captured c = capture([&] { EXPECT_FALSE(api->file_save(k.name, "new", &reason)); });
        EXPECT_EQ(lines_of(c.out + c.err).size(), 1u) << "one failure, one line:\n" << c.out << c.err;
        EXPECT_EQ(reason, std::string(k.name) + ": " + k.why);
        EXPECT_EQ(api->log[0], "ModsAPI::file_save(\"" + std::string(k.name) + "\") failed: " + k.why);
        EXPECT_EQ(api->api_error(), 0) << k.name;
    }
    EXPECT_EQ(read_text(docdir + "/keep"), "old");
}
