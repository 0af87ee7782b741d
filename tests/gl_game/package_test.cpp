// Shipping a game: tools/package.sh makes a folder and an archive that a
// player unpacks and starts from anywhere, and refuses cleanly, leaving
// nothing behind, when it cannot.
#include <sys/wait.h>

#include <algorithm>

#include <stb_image.h>

#include "game_run.h"

using namespace e2e;
namespace fs = std::filesystem;

namespace {

// Runs the packaging script as a game author does; its exit status.  It
// ships `exe` (the program under test by default; empty lets the script
// build one).  Standard output and standard error go to the files `log` and
// `err`.
int package(const std::string& script, const std::string& game, const std::string& out,
            const TempDir& dir, const std::string& exe = ZOV_GAME_EXE) {
    std::string cmd = "ZOV_EXE='" + exe + "' bash '" + script + "' '" + game + "' '" + out +
                      "' >'" + (dir / "log") + "' 2>'" + (dir / "err") + "'";
    int status = std::system(cmd.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The regular files under `root`, hidden ones too, as sorted relative paths.
std::vector<std::string> files_under(const std::string& root) {
    std::vector<std::string> found;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        if (e.is_regular_file()) found.push_back(fs::relative(e.path(), root).string());
    }
    std::sort(found.begin(), found.end());
    return found;
}

// The first line of `text` that starts, after blanks, with `start`; trimmed.
std::string line_starting(const std::string& text, const std::string& start) {
    for (const std::string& line : lines_of(text)) {
        size_t at = line.find_first_not_of(' ');
        if (at != std::string::npos && line.compare(at, start.size(), start) == 0)
            return line.substr(at);
    }
    return "";
}

// A game with a helper module named like the runtime's "api.lua", a picture
// named like a bundled one, and the files an author's folder also holds.
TEST(Package, UnpackedGameRunsFromAnotherFolderWithItsOwnFiles) {
    GameRun run;
    std::string game = run.dir / "game";
    fs::create_directories(game + "/sounds");
    fs::create_directories(game + "/.git");
    write_file(game + "/sky.png", tga(4, 4, 0x3366cc)); // decoded by content
    write_file(game + "/hit.wav", "the game's own, not the bundled one");
    write_file(game + "/api.lua", "function helper() return 'helped' end");
    for (const char* mine : {".levels", ".git/config", ".env", "main.lua~", "#main.lua#", "sounds/.chime.wav.swp",
                             "notes.swo"})
        write_file(game + "/" + mine, "the author's, not the player's");
    fs::copy_file(std::string(ZOV_GAME_DATA) + "/pickup.wav", game + "/sounds/chime.wav");
    // Saves at start, shows its picture, and quits when Escape is pressed.
    write_file(game + "/main.lua", R"(
        require("api")
        zov_params_set("appid", "shipped")
        function _init()
            print(helper())
            zov_sample_play("sounds/chime.wav")
            print(zov_file_save("note.txt", "kept") and "saved" or "not saved")
        end
        function _paint()
            zov_view_set(0, 0, 320, 240)
            zov_image_draw("sky", 0, 0, 320, 240, 0, 0)
            if not shown then shown = true print("shown") end
        end
        function _event(e)
            if e.type == "keydown" and e.name == "Escape" then zov_ext_call("exit") end
        end)");

    ASSERT_EQ(package(ZOV_PACKAGE_SH, game, run.dir / "made/mygame", run.dir), 0) << read_file(run.dir / "err");
    EXPECT_EQ(count_lines(read_file(run.dir / "log"), "package.sh: left out 7 hidden files and editor leftovers of " +
                                                          game + ": #main.lua#, .env, .git/, .levels, main.lua~, ..."),
              1)
        << read_file(run.dir / "log");
    std::string readme = read_file(run.dir / "made/mygame/README.txt");
    EXPECT_NE(readme.find("./mygame/play"), std::string::npos) << readme;
    EXPECT_NE(readme.find(" libsdl2-2.0-0 "), std::string::npos) << "packages come from the executable:\n" << readme;
    // What the player meets beyond the game: the runtime's keys, and the
    // licence that must travel with the console font.
    for (const char* says : {"F1 opens and closes the developer console", "F2 clears",
                             "F5 restarts", "data/LICENSE-console-font.txt"}) {
        EXPECT_NE(readme.find(says), std::string::npos) << says << " in\n" << readme;
    }
#ifndef __SANITIZE_ADDRESS__ // a sanitized program also needs the sanitizers' libraries
    EXPECT_EQ(line_starting(read_file(ZOV_DOCS), "sudo apt-get install "),
              line_starting(readme, "sudo apt-get install "))
        << "the guide's package list and the one derived from the program";
#endif

    // Only the archive goes to the player.
    std::string player = run.dir / "player";
    fs::create_directories(player);
    fs::create_directories(run.dir / "elsewhere");
    ASSERT_EQ(std::system(("tar -xzf '" + (run.dir / "made/mygame.tar.gz") + "' -C '" + player + "'").c_str()), 0);
    fs::remove_all(run.dir / "made");
    fs::remove_all(game);
    // The data directory's files but its main.lua and README.md; the game's
    // files but the author's own.
    std::vector<std::string> shipped = {
        "README.txt", "bin/tovmar2", "data/LICENSE-console-font.txt", "data/api.lua", "data/black.png",
        "data/coin.png", "data/console.fnt", "data/console.png", "data/font.fnt", "data/font.png", "data/heart.png",
        "data/hit.wav", "data/music.ogg", "data/over.wav", "data/pickup.wav", "data/rock.png", "data/ship.png",
        "data/sky.png", "data/start.wav", "game/api.lua", "game/hit.wav", "game/main.lua", "game/sky.png",
        "game/sounds/chime.wav", "play"};
    EXPECT_EQ(files_under(player + "/mygame"), shipped);
    EXPECT_EQ(read_file(player + "/mygame/data/api.lua"), read_file(std::string(ZOV_GAME_DATA) + "/api.lua"));
    EXPECT_LT(fs::file_size(player + "/mygame/bin/tovmar2"), fs::file_size(ZOV_GAME_EXE)) << "shipped stripped";

    // Started through a link, as a desktop shortcut does.
    run.exe = run.dir / "elsewhere/mygame";
    fs::create_symlink(player + "/mygame/play", run.exe);
    run.workdir = run.dir / "elsewhere";
    run.start();
    XDisplay x;
    ASSERT_TRUE(x.d);
    Window w = x.find(run.pid());
    ASSERT_NE(w, 0u) << run.out() << run.err();
    ASSERT_TRUE(run.wait_line("ModsAPI: shown")) << run.out();
    int ww, wh;
    x.size(w, &ww, &wh);
    unsigned centre = 0;
    EXPECT_TRUE(within(5, [&] { return rgb_near(centre = x.pixel(w, ww / 2, wh / 2), 0x3366cc); }))
        << "the game's own sky, not the bundled one: " << std::hex << centre;
    ASSERT_TRUE(xdotool(w, "key Escape"));
    EXPECT_EQ(run.wait_exit(), 0) << run.err();
    EXPECT_EQ(printed(run.out()), (std::vector<std::string>{"helped", "saved", "shown"})) << run.out();
    EXPECT_EQ(count_lines(run.out(), "_mixer: sample_load 1 (../game/sounds/chime.wav)"), 1) << run.out();
    EXPECT_EQ(read_file(run.home() + "/.shipped/note.txt"), "kept");

    // A relative -mod or -altdir is taken from where the launcher was
    // started: the package's, and the source tree's tools/run.sh.
    write_file(run.dir / "elsewhere/other.lua", "print('other runs') zov_ext_call('exit')");
    fs::create_directories(run.dir / "elsewhere/alt");
    write_file(run.dir / "elsewhere/alt/main.lua", "print('alt runs') zov_ext_call('exit')");
    const struct {
        bool run_sh;
        const char *option, *value, *says;
    } relative[] = {{false, "-mod", "other.lua", "ModsAPI: other runs"},
                    {false, "-altdir", "alt", "ModsAPI: alt runs"},
                    {true, "-mod", "alt/main.lua", "ModsAPI: alt runs"}};
    for (const auto& r : relative) {
        SCOPED_TRACE(r.run_sh ? "tools/run.sh" : "play");
        if (r.run_sh) {
            run.exe = "/bin/bash";
            run.start({ZOV_RUN_SH, r.option, r.value});
        } else {
            run.start({r.option, r.value});
        }
        EXPECT_TRUE(run.wait_line("mods_reload: ", 600)) << run.out() << run.err(); // run.sh builds first
        EXPECT_EQ(run.wait_exit(), 0) << run.err();
        EXPECT_EQ(count_lines(run.out(), r.says), 1) << r.option << "\n" << run.out() << run.err();
    }
}

// The guide's first game, as the guide gives it, uses the bundled pictures,
// font and sound by name.  Packaged with a program built elsewhere (ZOV_EXE)
// and started from another folder, it draws them as from the source tree.
TEST(Package, GuidesFirstGameDrawsTheBundledPicturesOncePackaged) {
    GameRun run;
    std::string guide = read_file(ZOV_DOCS), coins = run.dir / "coins", exe = run.dir / "tovmar2";
    size_t from = guide.find("```lua\n", guide.find("## A first game")) + 7;
    std::string game = guide.substr(from, guide.find("```", from) - from);
    fs::create_directories(coins);
    write_file(coins + "/main.lua", game);
    // The other program differs from the built one by a section holding the
    // game's script.
    std::string copy = "objcopy --add-section .zovmark='" + coins + "/main.lua' '" ZOV_GAME_EXE "' '" + exe + "'";
    ASSERT_EQ(std::system(copy.c_str()), 0);
    ASSERT_EQ(package(ZOV_PACKAGE_SH, coins, run.dir / "coins-game", run.dir, exe), 0) << read_file(run.dir / "err");
    std::string shipped = read_file(run.dir / "coins-game/bin/tovmar2");
    EXPECT_NE(shipped.find(game), std::string::npos) << "not the program ZOV_EXE names";
    EXPECT_LT(shipped.size(), fs::file_size(exe)) << "shipped unstripped";

    run.exe = run.dir / "coins-game/play";
    run.start();
    XDisplay x;
    ASSERT_TRUE(x.d);
    Window w = x.find(run.pid());
    ASSERT_NE(w, 0u) << run.out() << run.err();
    // The sky's own pixels in the 320 x 240 view, scaled to fit and centred,
    // at view pixel centres off the score and the ship.
    int sw = 0, sh = 0, channels, same = 0;
    std::unique_ptr<unsigned char, void (*)(void*)> sky(stbi_load(ZOV_GAME_DATA "/sky.png", &sw, &sh, &channels, 3),
                                                         stbi_image_free);
    ASSERT_TRUE(sky && sw == 320 && sh == 240);
    int ww, wh;
    x.size(w, &ww, &wh);
    float scale = std::min(ww / 320.0f, wh / 240.0f), left = ww / 2.0f - 160 * scale, top = wh / 2.0f - 120 * scale;
    bool drawn = within(10, [&] {
        auto shot = x.shot(w);
        same = 0;
        for (int vy = 28; vy < 208; vy += 8) {
            for (int vx = 4; vx < 316; vx += 8) {
                const unsigned char* p = sky.get() + (vy * 320 + vx) * 3;
                same += rgb_near(shot->rgb((int)(left + (vx + 0.5f) * scale), (int)(top + (vy + 0.5f) * scale)),
                                 (unsigned)p[0] << 16 | p[1] << 8 | p[2], 8);
            }
        }
        return same >= 800; // of 897: the coin covers a few
    });
    EXPECT_TRUE(drawn) << same << " of 897 samples show the sky\n" << run.out();
    ASSERT_TRUE(xdotool(w, "key ctrl+q"));
    EXPECT_EQ(run.wait_exit(), 0) << run.err();
    EXPECT_EQ(count_lines(run.out() + run.err(), "unable to find"), 0) << run.out() << run.err();
}

// Each refusal: one line on standard error naming the fault and the way out,
// exit status 1, and neither the folder nor the archive made.
TEST(Package, RefusesWithOneLineAndMakesNothing) {
    struct Case {
        const char* what;
        const char* says;
        bool alone; // the only line, or after what went wrong
    } cases[] = {
        {"no main.lua", "has no main.lua; give the folder that holds your game's main.lua", true},
        {"out not empty", "exists and is not empty; remove it or choose another OUT_DIR", true},
        // Hidden files are the author's too: a .git would be shipped, and
        // deleted after a failure.
        {"out holds only hidden files",
         "exists and is not empty; remove it or choose another OUT_DIR", true},
        {"archive exists", "mygame.tar.gz exists; remove it or choose another OUT_DIR", true},
        // "OUT/" names the archive OUT.tar.gz, not OUT/.tar.gz.
        {"archive exists, OUT_DIR ends in /",
         "mygame.tar.gz exists; remove it or choose another OUT_DIR", true},
        {"out inside game", "lies inside", true},
        {"ZOV_EXE names no program", "is not an executable file; name the tovmar2 you built", true},
        {"build fails", "the build failed (output above); fix it, or install what is missing", false},
        // Found only while copying, after the folder was begun.
        {"dangling link", "packaging stopped (see above) and made nothing", false},
        // The empty folder was the author's: it stays, empty.
        {"dangling link, OUT_DIR there empty", "packaging stopped (see above) and made nothing", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        std::string game = dir / "game", out = dir / "mygame", script = ZOV_PACKAGE_SH,
                    exe = ZOV_GAME_EXE;
        fs::create_directories(game);
        std::string what = c.what;
        if (what != "no main.lua") write_file(game + "/main.lua", "print('hello')");
        std::string kept; // the author's file in OUT_DIR, left as it was
        if (what == "out not empty") kept = "mine.txt";
        if (what == "out holds only hidden files") kept = ".git";
        if (!kept.empty()) {
            fs::create_directories(out);
            write_file(out + "/" + kept, "the author's");
        }
        bool archive = what.rfind("archive exists", 0) == 0;
        if (archive) write_file(out + ".tar.gz", "older");
        std::string slash = what == "archive exists, OUT_DIR ends in /" ? "/" : "";
        if (what == "out inside game") out = game + "/mygame";
        const bool empty_out = what == "dangling link, OUT_DIR there empty";
        if (empty_out) fs::create_directories(out);
        if (what.rfind("dangling link", 0) == 0) fs::create_symlink(dir / "gone", game + "/picture.png");
        if (what == "ZOV_EXE names no program") exe = game + "/main.lua";
        if (what == "build fails") {
            // A source tree of its own whose build cannot succeed.
            fs::create_directories(dir / "tree/tools");
            fs::copy_file(script, dir / "tree/tools/package.sh");
            write_file(dir / "tree/CMakeLists.txt", "message(FATAL_ERROR \"broken\")\n");
            script = dir / "tree/tools/package.sh";
            exe = "";
        }

        EXPECT_EQ(package(script, game, out + slash, dir, exe), 1);
        std::vector<std::string> said = lines_of(read_file(dir / "err"));
        ASSERT_FALSE(said.empty());
        EXPECT_NE(said.back().find(c.says), std::string::npos) << said.back();
        EXPECT_EQ(said.back().rfind("package.sh: ", 0), 0u) << said.back();
        if (c.alone) {
            EXPECT_EQ(said.size(), 1u) << read_file(dir / "err");
        }
        EXPECT_EQ(read_file(dir / "log"), "");

        if (!kept.empty()) {
            EXPECT_EQ(read_file(out + "/" + kept), "the author's");
            EXPECT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()), 1);
        } else if (empty_out) {
            EXPECT_TRUE(fs::is_directory(out) && fs::is_empty(out));
        } else {
            EXPECT_FALSE(fs::exists(out));
        }
        if (archive) {
            EXPECT_EQ(read_file(out + ".tar.gz"), "older");
        } else {
            EXPECT_FALSE(fs::exists(out + ".tar.gz"));
        }
    }
}

// OUT_DIRs that are the author's to choose: new, even when its name begins
// with the game folder's, or there already but empty.  Each gets its folder
// and, beside it, its archive.
TEST(Package, TakesAnyNewOrEmptyOutDirOutsideTheGame) {
    struct Case {
        const char* out;
        bool exists;
    } cases[] = {
        {"mygame-dist", false},
        {"dist", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.out);
        TempDir dir;
        std::string game = dir / "mygame";
        fs::create_directories(game);
        write_file(game + "/main.lua", "print('hello')");
        if (c.exists) fs::create_directories(dir / c.out);

        EXPECT_EQ(package(ZOV_PACKAGE_SH, game, dir / c.out, dir), 0) << read_file(dir / "err");
        EXPECT_TRUE(fs::is_regular_file(dir / (std::string(c.out) + "/play")));
        EXPECT_TRUE(fs::is_regular_file(dir / (std::string(c.out) + ".tar.gz")));
    }
}

} // namespace
