// The game that comes with the runtime: it starts, plays a round, keeps its
// best score as a document and finds it again at the next start.
#include "game_run.h"

using namespace e2e;

namespace {

TEST(BundledGame, KeepsItsBestScoreAcrossStarts) {
    GameRun run;
    run.copy_bundled();
    run.start({"-demo", "4"}); // flies itself for 4 s, then ends
    ASSERT_EQ(run.wait_exit(20), 0) << run.err();
    std::string out = run.out();
    EXPECT_EQ(count_lines(out, "ModsAPI: best score: 0"), 1) << out;
    EXPECT_EQ(count_lines(out, "Lua error"), 0) << out;
    std::vector<std::string> said = printed(out);
    int at = line_index(said, "new best score: ");
    ASSERT_GE(at, 0) << out;
    std::string best = said[at].substr(std::string("new best score: ").size());
    EXPECT_GT(std::stoi(best), 0);
    EXPECT_EQ(read_file(run.home() + "/.starcatch/best.txt"), best);

    run.start({"-demo", "1"});
    ASSERT_EQ(run.wait_exit(20), 0) << run.err();
    EXPECT_EQ(count_lines(run.out(), "ModsAPI: best score: " + best), 1) << run.out();
}

TEST(BundledGame, SaysSoWhenTheBestScoreCannotBeKeptAndPlaysOn) {
    GameRun run;
    run.copy_bundled();
    write_file(run.home() + "/.starcatch", ""); // a file where its documents directory should be
    run.start({"-demo", "4"});
    ASSERT_EQ(run.wait_exit(20), 0) << run.err();
    std::string out = run.out();
    EXPECT_EQ(count_lines(out, "Lua error"), 0) << out;
    std::vector<std::string> said = printed(out);
    EXPECT_GE(line_index(said, "the best score could not be kept: best.txt: Not a directory"), 0) << out;
    EXPECT_GE(line_index(said, "new best score: "), 0) << out;
}

} // namespace
