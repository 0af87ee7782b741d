// Shipping a game: tools/package.sh makes a folder and an archive that a
// player unpacks and starts from anywhere, and refuses cleanly, leaving
// nothing behind, when it cannot.
#include <sys/wait.h>

#include "game_run.h"

using namespace e2e;
namespace fs = std::filesystem;

namespace {

// Runs the packaging script as a game author does; its exit status.
// Standard output and standard error go to the files `log` and `err`.
int package(const std::string& script, const std::string& game, const std::string& out, const TempDir& dir) {
    std::string cmd = "bash '" + script + "' '" + game + "' '" + out + "' >'" + (dir / "log") + "' 2>'" + (dir / "err") + "'";
    int status = std::system(cmd.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(Package, UnpackedGameRunsFromAnotherFolderWithItsOwnFiles) {
    GameRun run;
    std::string game = run.dir / "game";
    fs::create_directories(game + "/sounds");
    write_file(game + "/own.tga", tga(4, 4, 0x3366cc));
    fs::copy_file(std::string(ZOV_GAME_DATA) + "/pickup.wav", game + "/sounds/chime.wav");
    // Saves at start, shows its picture, and quits when Escape is pressed.
    write_file(game + "/main.lua", R"(
        zov_params_set("appid", "shipped")
        function _init()
            zov_sample_play("sounds/chime.wav")
            print(zov_file_save("note.txt", "kept") and "saved" or "not saved")
        end
        function _paint()
            zov_view_set(0, 0, 320, 240)
            zov_image_draw("own", 0, 0, 320, 240, 0, 0)
            if not shown then shown = true print("shown") end
        end
        function _event(e)
            if e.type == "keydown" and e.name == "Escape" then zov_ext_call("exit") end
        end)");

    ASSERT_EQ(package(ZOV_PACKAGE_SH, game, run.dir / "made/mygame", run.dir), 0) << read_file(run.dir / "err");
    std::string readme = read_file(run.dir / "made/mygame/README.txt");
    EXPECT_NE(readme.find("./mygame/play"), std::string::npos) << readme;
    EXPECT_NE(readme.find(" libsdl2-2.0-0 "), std::string::npos) << "packages come from the executable:\n" << readme;

    // Only the archive goes to the player.
    std::string player = run.dir / "player";
    fs::create_directories(player);
    fs::create_directories(run.dir / "elsewhere");
    ASSERT_EQ(std::system(("tar -xzf '" + (run.dir / "made/mygame.tar.gz") + "' -C '" + player + "'").c_str()), 0);
    fs::remove_all(run.dir / "made");
    fs::remove_all(game);

    run.exe = player + "/mygame/play";
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
        << "the game's own picture, not " << std::hex << centre;
    ASSERT_TRUE(xdotool(w, "key Escape"));
    EXPECT_EQ(run.wait_exit(), 0) << run.err();
    EXPECT_EQ(count_lines(run.out(), "_mixer: sample_load 1 (../data/sounds/chime.wav)"), 1) << run.out();
    EXPECT_EQ(count_lines(run.out(), "ModsAPI: saved"), 1) << run.out();
    EXPECT_EQ(read_file(run.home() + "/.shipped/note.txt"), "kept");

    // A relative -mod is taken from where the launcher was started.
    write_file(run.dir / "elsewhere/other.lua", "print('other runs') zov_ext_call('exit')");
    run.start({"-mod", "other.lua"});
    EXPECT_EQ(run.wait_exit(), 0) << run.err();
    EXPECT_EQ(count_lines(run.out(), "ModsAPI: other runs"), 1) << run.out() << run.err();
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
        {"archive exists", "mygame.tar.gz exists; remove it or choose another OUT_DIR", true},
        {"out inside game", "lies inside", true},
        {"build fails", "the build failed (output above); fix it, or install what is missing", false},
        // Found only while copying, after the folder was begun.
        {"dangling link", "packaging stopped (see above) and made nothing", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        std::string game = dir / "game", out = dir / "mygame", script = ZOV_PACKAGE_SH;
        fs::create_directories(game);
        std::string what = c.what;
        if (what != "no main.lua") write_file(game + "/main.lua", "print('hello')");
        if (what == "out not empty") {
            fs::create_directories(out);
            write_file(out + "/mine.txt", "the author's");
        }
        if (what == "archive exists") write_file(out + ".tar.gz", "older");
        if (what == "out inside game") out = game + "/mygame";
        if (what == "dangling link") fs::create_symlink(dir / "gone", game + "/picture.png");
        if (what == "build fails") {
            // A source tree of its own whose build cannot succeed.
            fs::create_directories(dir / "tree/tools");
            fs::copy_file(script, dir / "tree/tools/package.sh");
            write_file(dir / "tree/CMakeLists.txt", "message(FATAL_ERROR \"broken\")\n");
            script = dir / "tree/tools/package.sh";
        }

        EXPECT_EQ(package(script, game, out, dir), 1);
        std::vector<std::string> said = lines_of(read_file(dir / "err"));
        ASSERT_FALSE(said.empty());
        EXPECT_NE(said.back().find(c.says), std::string::npos) << said.back();
        EXPECT_EQ(said.back().rfind("package.sh: ", 0), 0u) << said.back();
        if (c.alone) {
            EXPECT_EQ(said.size(), 1u) << read_file(dir / "err");
        }
        EXPECT_EQ(read_file(dir / "log"), "");

        if (what == "out not empty") {
            EXPECT_EQ(read_file(out + "/mine.txt"), "the author's");
            EXPECT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()), 1);
        } else {
            EXPECT_FALSE(fs::exists(out));
        }
        if (what == "archive exists") {
            EXPECT_EQ(read_file(out + ".tar.gz"), "older");
        } else {
            EXPECT_FALSE(fs::exists(out + ".tar.gz"));
        }
    }
}

} // namespace
