// The fourteen script globals on a real Lua state with a real API object:
// argument counts, defaults, conversions, and the pending error.
#include <climits>
#include <cmath>

#include "host_fixture.h"
#include "zov_font.h"

class Bindings : public Host {
protected:
    void SetUp() override {
        Host::SetUp();
        capture([&] { start_lua(); });
    }
};

TEST_F(Bindings, WrongArgumentCountsRaiseTheBareMessage) {
    struct Range {
        const char* name;
        int lo, hi;
    };
    const Range ranges[] = {{"require", 1, 1},         {"zov_params_set", 2, 2}, {"zov_params_get", 1, 1},
                            {"zov_file_load", 1, 1},   {"zov_file_save", 2, 2},  {"zov_view_set", 4, 5},
                            {"zov_image_init", 12, 12}, {"zov_image_draw", 5, 12}, {"zov_sample_play", 1, 3},
                            {"zov_stream_play", 1, 3}, {"zov_stream_stop", 1, 1}, {"zov_font_draw", 5, 12},
                            {"zov_font_size", 3, 4},   {"zov_ext_call", 1, 2}};
    auto args = [](int n) {
        std::string a;
        for (int i = 0; i < n; i++) a += i ? ",'1'" : "'1'";
        return a;
    };
    for (const Range& r : ranges) {
        EXPECT_EQ(error_of(std::string(r.name) + "(" + args(r.lo - 1) + ")"), "incorrect number of arguments")
            << r.name << " with " << r.lo - 1;
        EXPECT_EQ(error_of(std::string(r.name) + "(" + args(r.hi + 1) + ")"), "incorrect number of arguments")
            << r.name << " with " << r.hi + 1;
    }
    EXPECT_TRUE(api->batch.queue.empty());
}

TEST_F(Bindings, NonStringArgumentsRaiseNullStringBeforeAnythingIsCalled) {
    EXPECT_EQ(error_of("zov_params_set({}, 1)"), "null string");
    EXPECT_EQ(error_of("zov_params_set('k', {})"), "null string");
    EXPECT_EQ(error_of("zov_image_draw(nil, 0, 0, 1, 1)"), "null string");
    EXPECT_EQ(error_of("zov_font_draw('f', 1, print, 0, 0)"), "null string");
    EXPECT_TRUE(api->batch.queue.empty());
    EXPECT_FALSE(api->params.__has__(var("k")));
    // Numbers are strings to the string arguments.
    EXPECT_EQ(error_of("zov_params_set(5, 'five')"), "ok");
    EXPECT_EQ(api->params_get("5").__str__(), "five");
}

TEST_F(Bindings, ParameterConversionsBothWays) {
    run("zov_params_set('n', 1.5) zov_params_set('b', true) zov_params_set('s', 'x\\0y') zov_params_set('z', nil)");
    EXPECT_EQ((double)api->params_get("n"), 1.5);
    EXPECT_EQ(api->params_get("b").__type__(), VAR_BOOL);
    EXPECT_TRUE(api->params_get("b").__bool__());
    EXPECT_EQ(api->params_get("s").__str__(), std::string("x\0y", 3));
    EXPECT_TRUE(api->params.__has__(var("z")));
    EXPECT_EQ(api->params_get("z").__type__(), VAR_NONE);

    var list = var_list();
    list_append(list, var(1));
    list_append(list, var("a"));
    api->params_set("l", list);
    run("n = zov_params_get('n') b = zov_params_get('b') s = zov_params_get('s') l = zov_params_get('l')"
        " missing = zov_params_get('never') tb = type(b) tn = type(n) ts = type(s)");
    EXPECT_EQ(global("n"), "1.5");
    EXPECT_EQ(global("tb"), "boolean");
    EXPECT_EQ(global("b"), "true");
    EXPECT_EQ(global("tn"), "number");
    EXPECT_EQ(global("s"), std::string("x\0y", 3));
    EXPECT_EQ(global("l"), list.__str__());
    EXPECT_EQ(global("missing"), "<nil>");
}

TEST_F(Bindings, ImageDrawDefaultsAndConversions) {
    run("zov_image_draw('a', 1, 2, 3, 4)"
        " zov_image_draw('b', 1, 2, 3, 4, 5, 6, 7, 0x102030)"
        " zov_image_draw('c', 1, 2, 3, 4, 5, 6, 7, 0x10, 0.5, 3, 9)"
        " zov_image_draw('d', 'x', '2', 3, 4)");
    ASSERT_EQ(api->batch.queue.size(), 4u);
    const GCommand& a = api->batch.queue[0];
    EXPECT_EQ(a.type, GCMD_IMAGE);
    EXPECT_EQ(a.name, "a");
    EXPECT_EQ(a.x, 1);
    EXPECT_EQ(a.h, 4);
    EXPECT_EQ(a.cx, 0);
    EXPECT_EQ(a.cy, 0);
    EXPECT_EQ(a.angle, 0);
    EXPECT_EQ(a.color, 0xffffff);
    EXPECT_EQ(a.alpha, 1.0f);
    EXPECT_EQ(a.mode, 0);
    EXPECT_EQ(a.depth, 0);
    const GCommand& b = api->batch.queue[1];
    EXPECT_EQ(b.cx, 5);
    EXPECT_EQ(b.angle, 7);
    EXPECT_EQ(b.color, 0x102030);
    EXPECT_EQ(b.alpha, 1.0f);
    const GCommand& c = api->batch.queue[2];
    EXPECT_EQ(c.alpha, 0.5f);
    EXPECT_EQ(c.mode, 3);
    EXPECT_EQ(c.depth, 9);
    // A number argument that is no number is 0; a numeric string counts.
    const GCommand& d = api->batch.queue[3];
    EXPECT_EQ(d.x, 0);
    EXPECT_EQ(d.y, 2);
}

TEST_F(Bindings, ViewAndTextCommands) {
    run("zov_view_set(1, 2, 320, 240) zov_view_set(0, 0, 10, 10, 7)"
        " zov_font_draw('f', 12, 'hi', 3, 4) zov_font_draw('f', 12, 'hi', 3, 4, 100, -2.7, 0xff, 0.25, 2, 'x', 'y')");
    ASSERT_EQ(api->batch.queue.size(), 4u);
    const GCommand& v = api->batch.queue[0];
    EXPECT_EQ(v.type, GCMD_VIEW);
    EXPECT_EQ(v.w, 320);
    EXPECT_EQ(v.depth, 1.0f);
    EXPECT_EQ(api->batch.queue[1].depth, 7);
    const GCommand& t = api->batch.queue[2];
    EXPECT_EQ(t.type, GCMD_TEXT);
    EXPECT_EQ(t.points, 12);
    EXPECT_EQ(t.text, "hi");
    EXPECT_EQ(t.w, 0);
    EXPECT_EQ(t.align, 0);
    EXPECT_EQ(t.color, 0xffffff);
    EXPECT_EQ(t.alpha, 1.0f);
    const GCommand& u = api->batch.queue[3];
    EXPECT_EQ(u.w, 100);
    EXPECT_EQ(u.align, -2);
    EXPECT_EQ(u.color, 0xff);
    EXPECT_EQ(u.alpha, 0.25f);
    EXPECT_EQ(u.mode, 2);
}

TEST_F(Bindings, IntegerArgumentsTruncateAndSaturateAtTheIntRange) {
    run("zov_font_draw('f', 1e10, 't', 0, 0, 0, 0/0, 2^40, 1, -1e300)"
        " zov_font_draw('f', -2.9, 't', 0, 0, 0, 1e300, -2^31 + 0.5)"
        " zov_image_draw('i', 0, 0, 1, 1, 0, 0, 0, -2^31 - 5, 1, 1e300)");
    ASSERT_EQ(api->batch.queue.size(), 3u);
    const GCommand& t = api->batch.queue[0];
    EXPECT_EQ(t.points, INT_MAX);
    EXPECT_EQ(t.align, 0) << "NaN";
    EXPECT_EQ(t.color, INT_MAX);
    EXPECT_EQ(t.mode, INT_MIN);
    const GCommand& u = api->batch.queue[1];
    EXPECT_EQ(u.points, -2) << "toward zero";
    EXPECT_EQ(u.align, INT_MAX);
    EXPECT_EQ(u.color, INT_MIN + 1) << "truncated just above the lowest int";
    const GCommand& i = api->batch.queue[2];
    EXPECT_EQ(i.color, INT_MIN);
    EXPECT_EQ(i.mode, INT_MAX);
}

TEST_F(Bindings, PendingErrorIsRaisedByTheNextCallWhoeverSetIt) {
    api->api_error_set("left over");
    EXPECT_EQ(error_of("zov_params_get('x')"), "left over");
    EXPECT_EQ(api->api_error(), 0);
    EXPECT_EQ(error_of("zov_params_get('x')"), "ok");

    // A missing file raises at the require call itself...
    capture([&] { EXPECT_EQ(error_of("require('missing_module')"), "file missing"); });
    // ...while an error inside a required file is only reported.
    write_text(scripts / "broken.lua", "error('inside')");
    capture([&] { EXPECT_EQ(error_of("require('broken') after = true"), "ok"); });
    EXPECT_EQ(global("after"), "true");
}

TEST_F(Bindings, RequireReturnsNothing) {
    write_text(scripts / "mod.lua", "return 42");
    capture([&] { run("n = select('#', require('mod'))"); });
    EXPECT_EQ(global("n"), "0");
}

TEST_F(Bindings, FilesKeepZeroBytesAndRefuseNamesWithThem) {
    run("zov_file_save('z.bin', 'a\\0b\\0') s = zov_file_load('z.bin') n = #s");
    EXPECT_EQ(global("n"), "4");
    EXPECT_EQ(global("s"), std::string("a\0b\0", 4));
    EXPECT_EQ(read_text(home / ".zovtest/z.bin"), std::string("a\0b\0", 4));
    capture([&] {
        EXPECT_EQ(error_of("zov_file_load('z.bin\\0.txt')"), "bad file name");
        EXPECT_EQ(error_of("zov_file_save('../x', 'y')"), "bad file name");
    });
}

TEST_F(Bindings, FailedSaveReturnsFalseAndTheReasonAndTheHooksGoOn) {
    run("saved = zov_file_save('s.json', 'x') n = select('#', zov_file_save('s.json', 'y'))");
    EXPECT_EQ(global("saved"), "true");
    EXPECT_EQ(global("n"), "1");
    // The documents directory cannot be made: a file has its name.
    unlink((home / ".zovtest/s.json").c_str());
    rmdir((home / ".zovtest").c_str());
    write_text(home / ".zovtest", "");
    run("function _loop() saved, why = zov_file_save('s.json', 'x') loops = (loops or 0) + 1 end");
    capture([&] {
        lua->loop(0.1f);
        lua->loop(0.1f);
    });
    EXPECT_TRUE(lua->is_ok());
    EXPECT_EQ(global("loops"), "2");
    EXPECT_EQ(global("saved"), "false");
    EXPECT_EQ(global("why"), "s.json: Not a directory");
    EXPECT_EQ(api->log[0], "ModsAPI::file_save(\"s.json\") failed: Not a directory");
}

TEST_F(Bindings, FontSizeIsTwoNonNegativeIntegersClampedTo16Bits) {
    font_init();
    capture([&] {
        run("w1, h1 = zov_font_size('nofont', 10, 'abc', 100)"
            " w2, h2 = zov_font_size('nofont', 10, 'abc', 1e9)"
            " w3, h3 = zov_font_size('nofont', 10, 'abc')");
    });
    EXPECT_EQ(global("w1"), "100");
    EXPECT_EQ(global("w2"), "65535");
    // Font 0 has no glyphs and no height: an unwrapped width is measured,
    // 0.01 added and rounded up.
    EXPECT_EQ(global("w3"), "1");
    EXPECT_EQ(global("h3"), "0");
    font_deinit();
}

TEST_F(Bindings, ExtCallExitAndStreams) {
    run("r = zov_ext_call('exit')");
    EXPECT_EQ(global("r"), "");
    EXPECT_EQ(game._quit, 1);
    game._quit = 0;
    run("r = zov_ext_call('something', 'else')");
    EXPECT_EQ(game._quit, 0);

    run("zov_stream_play('music') zov_stream_play('music', 0.5)");
    EXPECT_EQ(api->streams["music"], 1);
    run("zov_stream_stop('music')");
    EXPECT_EQ(api->streams["music"], 0);
    EXPECT_EQ(error_of("zov_sample_play('boom', 1, -1)"), "ok");

    // The link reaches the driver (no browser is found on an empty PATH).
    TempDir empty;
    std::string path = getenv("PATH");
    setenv("PATH", empty.path().c_str(), 1);
    Captured c = capture([&] { run("zov_ext_call('open_url', 'http://example.invalid/')"); });
    setenv("PATH", path.c_str(), 1);
    EXPECT_NE(c.out.find("Driver::weblink: http://example.invalid/\n"), std::string::npos) << c.out;
}
