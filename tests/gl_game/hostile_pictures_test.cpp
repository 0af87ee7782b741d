// The real program on a game that draws pictures stb_image would crash on,
// hang on or take gigabytes for: each is refused with the loader's line and
// the game runs on.
#include <sys/resource.h>

#include "game_run.h"
#include "support/tex_files.h"

TEST(HostilePictures, AGameDrawingThemEndsNormallyWithAModestPeak) {
    e2e::GameRun run;
    std::string names;
    for (const HostilePicture& p : hostile_pictures()) {
        run.put(p.name, p.bytes);
        names += "\"" + p.name + "\", ";
    }
    run.put("main.lua", "names = {" + names + "}\n" + R"(
        frames = 0
        function _loop()
            frames = frames + 1
            if frames == 3 then zov_ext_call("exit") end
        end
        function _paint()
            for _, name in ipairs(names) do zov_image_draw(name, 0, 0, 0, 0) end
        end)");
    run.start();
    // Far above the second it takes: only a hang reaches it.
    ASSERT_EQ(run.wait_exit(60), 0) << run.err();
    std::string err = run.err();
    for (const HostilePicture& p : hostile_pictures())
        EXPECT_EQ(e2e::count_lines(err, "stbi_load failed ../data/" + p.name + " - " + p.reason), 1)
            << err;
    // The program is the only child this test has waited for.
    struct rusage usage;
    ASSERT_EQ(getrusage(RUSAGE_CHILDREN, &usage), 0);
    // The program alone peaks near 100 MB (200 MB under ASan); a 1x1 PNG
    // that inflates to 1.6 GB once took 1.7 GB.
    EXPECT_LT(usage.ru_maxrss, 300 * 1024) << "peak resident size in KiB";
}
