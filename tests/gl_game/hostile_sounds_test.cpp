// The real program on a game that plays Ogg Vorbis files whose setup headers
// make libvorbis allocate gigabytes, or sort a codebook larger than a stack
// (tools/ogg-setup-bombs.py wrote them): each is refused with the loader's
// line before libvorbis unpacks it, and the game runs on with a modest peak,
// in an address space of 3 GB.
#include <sys/resource.h>

#include "game_run.h"

TEST(HostileSounds, AGamePlayingThemEndsNormallyWithAModestPeak) {
    const struct {
        const char* name;
        const char* reason;
    } sounds[] = {
        {"bomb-1part.ogg", "Vorbis headers that would take "},   // 22 codebooks of 67 MB
        {"bomb-4parts.ogg", "Vorbis headers that would take "},  // four such parts
        {"bomb-256books.ogg", "Vorbis headers that would take "}, // 256 codebooks
        {"bomb-4m-entries.ogg", "a Vorbis codebook of 4194304 entries: at most 65536"},
        {"wide-64parts.ogg", "Vorbis headers that would take "}, // 64 parts of 255 channels, 8 MB each
    };
    e2e::GameRun run;
    run.address_space = (rlim_t)3000000 << 10;
    std::string names;
    for (const auto& s : sounds) {
        run.put(s.name, e2e::read_file(ZOV_TEST_DATA "/sounds/" + std::string(s.name)));
        names += "\"" + std::string(s.name) + "\", ";
    }
    run.put("main.lua", "names = {" + names + "}\n" + R"(
        frames = 0
        function _loop()
            frames = frames + 1
            for _, name in ipairs(names) do
                if frames == 1 then zov_sample_play(name) end
                zov_stream_play(name)
            end
            if frames == 10 then zov_ext_call("exit") end
        end)");
    run.start();
    // Far above the second it takes: only a hang reaches it.
    ASSERT_EQ(run.wait_exit(60), 0) << run.err();
    const std::string out = run.out();
    for (const auto& s : sounds) {
        for (const char* step : {"_sample_load_ogg", "_stream_load_ogg"})
            EXPECT_EQ(e2e::count_lines(out, std::string("_mixer: error in ") + step + " '../data/" + s.name + "' (" +
                                                s.reason),
                      1)
                << out;
    }
    // The program is the only child this test has waited for.
    struct rusage usage;
    ASSERT_EQ(getrusage(RUSAGE_CHILDREN, &usage), 0);
    EXPECT_LT(usage.ru_maxrss, 300 * 1024) << "peak resident size in KiB";
}
