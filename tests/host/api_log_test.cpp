// The console log, the host's log line and the pending-error slot.
#include <regex>

#include "gprint.h"
#include "host_fixture.h"

using ApiLog = Host;

TEST_F(ApiLog, LinesGoInNewestFirstAndEachIsEchoed) {
    Captured c = capture([&] { api->log_entry("a\nb"); });
    ASSERT_EQ(api->log.size(), 2u);
    EXPECT_EQ(api->log[0], "b");
    EXPECT_EQ(api->log[1], "a");
    std::vector<std::string> out = lines_of(c.out);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_NE(out[0].find("] ModsAPI: a"), std::string::npos) << out[0];
    EXPECT_NE(out[1].find("] ModsAPI: b"), std::string::npos) << out[1];
}

TEST_F(ApiLog, CarriageReturnsBreakLinesAndBlankPiecesAreDropped) {
    capture([&] { api->log_entry("a\r\nb"); });
    ASSERT_EQ(api->log.size(), 2u);
    EXPECT_EQ(api->log[0], "b");
    EXPECT_EQ(api->log[1], "a");

    Captured c = capture([&] {
        api->log_entry("   ");
        api->log_entry("");
        api->log_entry("\n\n \t\n");
    });
    EXPECT_EQ(api->log.size(), 2u);
    EXPECT_EQ(c.out, "");
}

TEST_F(ApiLog, TabsBecomeFourSpaces) {
    capture([&] { api->log_entry("x\ty"); });
    EXPECT_EQ(api->log[0], "x    y");
}

TEST_F(ApiLog, KeepsTheNewest255Lines) {
    capture([&] {
        for (int i = 0; i < 300; i++) api->log_printf("line %d", i);
    });
    ASSERT_EQ(api->log.size(), 255u);
    EXPECT_EQ(api->log.front(), "line 299");
    EXPECT_EQ(api->log.back(), "line 45");
}

TEST_F(ApiLog, PrintfFormatsLongTextsWhole) {
    std::string big(5000, 'x');
    capture([&] { api->log_printf("%s|%d", big.c_str(), 7); });
    EXPECT_EQ(api->log[0], big + "|7");
}

TEST_F(ApiLog, ALineLongerThanTheLogKeepsIsCutThereAndEchoedWhole) {
    std::string big(4 * MODSAPI_LOG_LINE_MAX, 'x');
    Captured c = capture([&] { api->log_entry(big); });
    std::string more = std::to_string(3 * MODSAPI_LOG_LINE_MAX);
    EXPECT_EQ(api->log[0], big.substr(3 * MODSAPI_LOG_LINE_MAX) + " [" + more + " more bytes on standard output]");
    EXPECT_LT(api->log[0].capacity(), big.size()) << "the rest is not kept";
    EXPECT_NE(c.out.find("ModsAPI: " + big + "\n"), std::string::npos);
}

TEST(GPrint, LineFormatWithEmptyInfoTagAndAddedNewline) {
    Captured c = capture([] {
        _gprint("/some/dir/file.cpp", 42, "func", 0, "hello %d", 5);
        _gprint("file.cpp", 1, "f", 0, "done\n");
        _gprint("a/b.cpp", 2, "g", 0, "%s", "");
    });
    std::vector<std::string> out = lines_of(c.out);
    ASSERT_EQ(out.size(), 3u) << c.out;
    std::regex stamp(R"(\[\]\[\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\]\[)");
    EXPECT_TRUE(std::regex_search(out[0], stamp)) << out[0];
    EXPECT_EQ(out[0].substr(out[0].find("][file") + 1), "[file.cpp:func:42] hello 5");
    EXPECT_EQ(out[1].substr(out[1].rfind('[')), "[file.cpp:f:1] done");
    EXPECT_EQ(out[2].substr(out[2].rfind('[')), "[b.cpp:g:2] ");
    EXPECT_EQ(c.out.back(), '\n');
}

TEST_F(ApiLog, PendingErrorHoldsTheLastTextUntilCleared) {
    EXPECT_EQ(api->api_error(), 0);
    api->api_error_set("one");
    api->api_error_set("two");
    EXPECT_NE(api->api_error(), 0);
    EXPECT_EQ(api->api_error_get(), "two");
    api->api_error_clear();
    EXPECT_EQ(api->api_error(), 0);
    EXPECT_EQ(api->api_error_get(), "");
}
