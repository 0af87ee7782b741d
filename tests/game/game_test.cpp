// The command line and the frame arithmetic of the game, without a window.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "game.h"
#include "support/capture.h"

namespace {

struct Argv {
    std::vector<std::string> args;
    std::vector<char*> ptrs;
    explicit Argv(std::vector<std::string> a) : args(std::move(a)) {
        for (std::string& s : args) ptrs.push_back(&s[0]);
    }
    int argc() const { return (int)ptrs.size(); }
    char** argv() { return ptrs.data(); }
};

TEST(GameArgs, LastModWinsAndATrailingModIsIgnored) {
    Argv a({"tovmar2", "-mod", "a.lua", "-x", "-mod", "-mod", "b.lua", "-mod"});
    Game g;
    ASSERT_TRUE(g.args(a.argc(), a.argv()));
    EXPECT_STREQ(g._mod, "b.lua");
    EXPECT_EQ(g._argc, 8);
    EXPECT_EQ(g._argv, a.argv()) << "kept by reference: every restart reads them again";
}

TEST(GameArgs, ModPathMustFitWhole) {
    std::string fits(GAME_PATH_MAX - 1, 'a'), too_long(GAME_PATH_MAX, 'b');
    Argv ok({"tovmar2", "-mod", fits});
    Game g;
    ASSERT_TRUE(g.args(ok.argc(), ok.argv()));
    EXPECT_EQ(std::string(g._mod), fits);

    Argv bad({"tovmar2", "-mod", too_long});
    Game h;
    Captured c = capture([&] { EXPECT_FALSE(h.args(bad.argc(), bad.argv())); });
    EXPECT_EQ(c.err, "tovmar2: the -mod path is 512 bytes long; at most 511 are allowed\n");
    EXPECT_STREQ(h._mod, "") << "never cut short";
}

TEST(GameFrame, UpdateTimeIsWholeMillisecondsCappedAtOne) {
    EXPECT_EQ(_game_dt(0), 0.0f);
    EXPECT_FLOAT_EQ(_game_dt(17), 0.017f);
    EXPECT_EQ(_game_dt(1000), 1.0f);
    EXPECT_EQ(_game_dt(5000), 1.0f);
}

TEST(GameFrame, SleepIsWhatIsLeftOfTheSixtiethTruncated) {
    EXPECT_EQ(_game_frame_delay(0), 16);
    EXPECT_EQ(_game_frame_delay(2), 14);
    EXPECT_EQ(_game_frame_delay(16), 0) << "a remainder below 1 ms sleeps 0";
    EXPECT_EQ(_game_frame_delay(17), 0);
    EXPECT_EQ(_game_frame_delay(900000), 0);
}

} // namespace
