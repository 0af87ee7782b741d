// The picture registry without a window: name lookup with its variants,
// caching, refused names, ids from outside and the atlas reader.  Without a
// GL context no texture can be uploaded, so every found picture takes the
// "does not decode" path: an id, GL name 0 and size 0.
#include <gtest/gtest.h>

#include "support/capture.h"
#include "support/tex_files.h"
#include "zov_driver.h"
#include "zov_gfx.h"

namespace {

// A registry over a temporary data directory; scale 1, idiom "desktop".
class GfxRegistry : public ::testing::Test {
protected:
    TempDir dir;

    void SetUp() override {
        driver_init(0);
        driver_set_idiom("desktop");
        driver_set_altdir(dir.path().c_str());
        gfx_init();
    }
    void TearDown() override {
        gfx_deinit();
        driver_deinit();
    }
    void touch(const std::string& name) { ASSERT_TRUE(write_file(dir / name, "x")); }
    std::string find(const char* name) {
        Capture out(stdout);
        const char* f = _gfx_find(name);
        return f ? f : "(none)";
    }
};

} // namespace

// ====== Lookup ======

TEST_F(GfxRegistry, LookupProbesTheTwentyCandidatesInOrder) {
    const std::vector<std::string> order = {
        "hero@1x~desktop.png", "hero@1x~desktop.png.tga", "hero@1x~desktop.png.png", "hero@1x~desktop.png.jpg",
        "hero@1x~desktop.png.zov", "hero@1x.png", "hero@1x.png.tga", "hero@1x.png.png", "hero@1x.png.jpg",
        "hero@1x.png.zov", "hero~desktop.png", "hero~desktop.png.tga", "hero~desktop.png.png",
        "hero~desktop.png.jpg", "hero~desktop.png.zov", "hero.png", "hero.png.tga", "hero.png.png", "hero.png.jpg",
        "hero.png.zov"};
    for (const std::string& f : order) touch(f);
    for (const std::string& f : order) {
        EXPECT_EQ(find("ui/hero.png"), f);
        unlink((dir / f).c_str());
    }
    EXPECT_EQ(find("ui/hero.png"), "(none)");
}

TEST_F(GfxRegistry, ANameWithoutExtensionTriesOnlyThePictureExtensions) {
    touch("hero");
    touch("hero.jpg");
    touch("hero~desktop.zov");
    EXPECT_EQ(find("hero"), "hero~desktop.zov") << "the idiom variant comes first";
    unlink((dir / "hero~desktop.zov").c_str());
    EXPECT_EQ(find("hero"), "hero.jpg") << "the bare name is not a candidate";
}

TEST_F(GfxRegistry, SuffixesGoBeforeTheFirstDotOfTheBaseName) {
    touch("a@1x.b.png");
    Capture out(stdout);
    const char* f = _gfx_find("d.ir/a.b.png");
    std::string text = out.text();
    EXPECT_STREQ(f, "a@1x.b.png");
    EXPECT_EQ(text, "_gfx_find(d.ir/a.b.png):a:.b.png\n");
}

TEST_F(GfxRegistry, ScaleSuffixIsTheTruncatedScale) {
    driver_set_scale(2.5f);
    touch("hero@2x.png");
    touch("hero.png");
    EXPECT_EQ(find("hero.png"), "hero@2x.png");
}

TEST_F(GfxRegistry, OnlyATgaMeansTheNameWithPngFindsNothing) {
    touch("hero.tga");
    EXPECT_EQ(find("hero"), "hero.tga");
    EXPECT_EQ(find("hero.png"), "(none)") << "hero.png.tga is tried, not hero.tga";
}

TEST_F(GfxRegistry, ACandidateTooLongForTheBufferIsSkippedNotCut) {
    std::string c(508, 'a'); // + ".tga" = 512 bytes: one too many
    Capture err(stderr);
    EXPECT_EQ(_gfx_find_ext(c.c_str()), nullptr);
    EXPECT_NE(err.text().find("too long"), std::string::npos);
}

// ====== Caching and names ======

TEST_F(GfxRegistry, AMissingNameIsReportedOnceAndCachedAsZero) {
    Capture err(stderr);
    EXPECT_EQ(gfx_img_load("ghost"), 0);
    std::string first = err.text();
    EXPECT_NE(first.find("trying load tex ghost\n"), std::string::npos);
    EXPECT_NE(first.find("unable to find tex ghost\n"), std::string::npos);
    EXPECT_NE(first.find("unable to find img ghost\n"), std::string::npos);
    touch("ghost.png"); // appears later: the failure stays cached
    Capture again(stderr);
    Capture out(stdout);
    EXPECT_EQ(gfx_img_load("ghost"), 0);
    EXPECT_EQ(gfx_tex_load("ghost"), 0);
    EXPECT_EQ(again.text(), "");
    EXPECT_EQ(out.text(), "") << "no lookup";
}

TEST_F(GfxRegistry, UndecodableFileGetsAnIdWithNothingToDraw) {
    touch("junk.png");
    int tid = gfx_tex_load("junk.png");
    ASSERT_GT(tid, 0);
    EXPECT_EQ(gfx_tex_load("junk.png"), tid);
    int img = gfx_img_load("junk.png");
    ASSERT_GT(img, 0);
    EXPECT_EQ(_gfx_get_img(img)->tid, tid);
    EXPECT_EQ(gfx_img_get_tex(img), 0);
    EXPECT_EQ(gfx_img_get_width(img), 0);
    EXPECT_EQ(gfx_img_get_ratio(img), 1.0f);
    EXPECT_EQ(_gfx->memused, 0u);
    EXPECT_EQ(_gfx_get_tex(tid)->loaded, 1);
}

TEST_F(GfxRegistry, TwoNamesOfOneFileAreTwoTextures) {
    touch("hero.png");
    int a = gfx_tex_load("ui/hero.png");
    int b = gfx_tex_load("hero.png");
    EXPECT_GT(a, 0);
    EXPECT_GT(b, 0);
    EXPECT_NE(a, b);
    EXPECT_STREQ(_gfx_get_tex(a)->tex_fname, _gfx_get_tex(b)->tex_fname);
    EXPECT_EQ(std::string(_gfx_get_tex(a)->tex_fname), dir / "hero.png");
}

TEST_F(GfxRegistry, TextureNamesLongerThanTheirFieldAreRefusedNotCut) {
    std::string fits(63, 'n');
    std::string longer(64, 'n');
    touch(fits + ".png");
    touch(longer + ".png");
    EXPECT_GT(gfx_tex_load(fits.c_str()), 0);
    EXPECT_STREQ(_gfx_get_tex(gfx_tex_load(fits.c_str()))->name, fits.c_str());
    Capture err(stderr);
    EXPECT_EQ(gfx_tex_load(longer.c_str()), 0);
    EXPECT_NE(err.text().find("refused"), std::string::npos);
    EXPECT_EQ(_gfx->tex_data.size(), 2u) << "nothing registered under a cut name";
    Capture again(stderr);
    EXPECT_EQ(gfx_tex_load(longer.c_str()), 0);
    EXPECT_EQ(again.text(), "") << "the refusal is cached";
}

TEST_F(GfxRegistry, IdsOutOfRangeAreTakenAsNone) {
    for (int id : {-1, -100000, 1, 99, 1 << 30}) {
        EXPECT_EQ(gfx_img_get_tex(id), 0) << id;
        EXPECT_EQ(gfx_tex_get_id(id), 0) << id;
        EXPECT_EQ(gfx_img_get_width(id), 0) << id;
        EXPECT_EQ(gfx_img_get_height(id), 0) << id;
        EXPECT_EQ(gfx_img_get_ratio(id), 1.0f) << id;
        EXPECT_EQ(_gfx_get_img(id), &_gfx->img_data[0]) << id;
        EXPECT_EQ(_gfx_get_tex(id), &_gfx->tex_data[0]) << id;
        gfx_tex_reload(id);
        _gfx_tex_check(id);
        _gfx_tex_gl_free(id);
        gfx_atlas_reload(id, "nothing.json");
    }
    int img = gfx_img_add("orphan", 77, GfxRect(1, 2, 3, 4), GfxRect(0, 0, 3, 4));
    EXPECT_EQ(_gfx_get_img(img)->tid, 0);
    EXPECT_EQ(_gfx->tex_data.size(), 1u);
    EXPECT_EQ(_gfx->tex_data[0].loaded, 0) << "entry 0 is never touched";
}

// ====== Images ======

TEST_F(GfxRegistry, AddingUnderAKnownNameUpdatesInPlace) {
    int a = gfx_img_add("frame", 0, GfxRect(1, 2, 3, 4), GfxRect(0, 0, 200, 100));
    EXPECT_EQ(gfx_img_get_ratio(a), 2.0f);
    int b = gfx_img_add("frame", 0, GfxRect(5, 6, 7, 8), GfxRect(1, 1, 30.9f, -10));
    EXPECT_EQ(a, b);
    EXPECT_EQ(_gfx_get_img(a)->rect.x, 5);
    EXPECT_EQ(gfx_img_get_width(a), 30);
    EXPECT_EQ(gfx_img_get_height(a), -10);
    EXPECT_EQ(gfx_img_get_ratio(a), 30.0f);
}

TEST_F(GfxRegistry, CapIs32MiBWhereTexturesAreHalvedElse80) {
    EXPECT_EQ(ZOV_GFX_MEMMAX(), 0x5000000u);
    driver_set_idiom("phone");
    EXPECT_EQ(ZOV_GFX_MEMMAX(), 0x2000000u);
}

// ====== Atlases ======

TEST_F(GfxRegistry, AtlasFramesBecomeImagesOfItsTexture) {
    driver_set_altdir(ZOV_TEST_DATA "/atlas");
    gfx_atlas_load("sprites");
    int tid = gfx_tex_load("sprites");
    ASSERT_GT(tid, 0);
    EXPECT_EQ(std::string(_gfx_get_tex(tid)->atlas_fname), ZOV_TEST_DATA "/atlas/sprites.json");
    int html = gfx_img_load("text-html");
    ASSERT_GT(html, 0);
    const GfxImage* i = _gfx_get_img(html);
    EXPECT_EQ(i->tid, tid);
    EXPECT_EQ(i->rect.x, 1);
    EXPECT_EQ(i->rect.y, 1);
    EXPECT_EQ(i->rect.w, 35);
    EXPECT_EQ(i->rect.h, 45);
    EXPECT_EQ(i->shape.x, 7) << "trimmed: the frame's place in its source";
    EXPECT_EQ(i->shape.y, 2);
    EXPECT_EQ(gfx_img_get_width(html), 48) << "the untrimmed size";
    EXPECT_EQ(gfx_img_get_height(html), 48);
    EXPECT_GT(gfx_img_load("walk.01"), 0) << "cut before the last dot only";
    EXPECT_EQ(gfx_img_get_width(gfx_img_load("walk.01")), 32);
    EXPECT_EQ(_gfx->img_map.count("walk"), 0u);
}

TEST_F(GfxRegistry, AtlasReloadKeepsIdsAndIgnoresABrokenFile) {
    std::string long_key(256, 'k'); // one past the 255 a frame key may have
    std::string json = R"({"frames": {
        ")" + long_key + R"(": {"frame": {"x": 0, "y": 0, "w": 1, "h": 1}},
        "run_01.png": {"frame": {"x": 0, "y": 0, "w": 10, "h": 12},
                       "spriteSourceSize": {"x": 1, "y": 2, "w": 10, "h": 12},
                       "sourceSize": {"w": 12, "h": 16}},
        "run_02.png": {"frame": {"x": 10, "y": 0, "w": 8, "h": 8}, "sourceSize": {"w": 9, "h": 9}},
        "bad.png": 5,
        "nodot": {"frame": {"x": 1, "y": 1, "w": 1, "h": 1}, "sourceSize": {"w": 1, "h": 1}}}})";
    touch("run.png");
    ASSERT_TRUE(write_file(dir / "run.json", json));
    Capture err(stderr);
    gfx_atlas_load("run");
    std::string text = err.text();
    EXPECT_NE(text.find("frame bad.png"), std::string::npos);
    EXPECT_NE(text.find("frame key of 256 bytes"), std::string::npos) << "refused, not cut";
    EXPECT_EQ(_gfx->img_map.count(long_key.substr(0, 255)), 0u);
    int tid = gfx_tex_load("run");
    int r1 = gfx_img_load("run_01"), r2 = gfx_img_load("run_02");
    ASSERT_GT(r1, 0);
    ASSERT_GT(r2, 0);
    EXPECT_GT(gfx_img_load("nodot"), 0);
    EXPECT_EQ(_gfx_get_img(r2)->shape.x, 0) << "a missing member reads as 0";
    EXPECT_EQ(_gfx->img_map.count("bad"), 0u);

    ASSERT_TRUE(write_file(dir / "run.json", R"({"frames": {"run_01.png": {"frame": {"x": 5, "y": 5, "w": 10, "h": 12}})"));
    Capture broken(stderr);
    gfx_atlas_reload(tid, (dir / "run.json").c_str());
    EXPECT_NE(broken.text().find("frames kept"), std::string::npos);
    EXPECT_EQ(_gfx_get_img(r1)->rect.x, 0) << "a half-written file changes nothing";

    ASSERT_TRUE(write_file(dir / "run.json", R"({"frames": {"run_01.png": {"frame": {"x": 5, "y": 5, "w": 10, "h": 12}}}})"));
    gfx_atlas_reload(tid, (dir / "run.json").c_str());
    EXPECT_EQ(gfx_img_load("run_01"), r1);
    EXPECT_EQ(_gfx_get_img(r1)->rect.x, 5);
    EXPECT_EQ(_gfx_get_img(r2)->rect.x, 10) << "a frame that is gone keeps its rectangles";
}

TEST_F(GfxRegistry, AFrameNamedLikeAMissedPictureGetsItsOwnId) {
    Capture err(stderr), out(stdout);
    EXPECT_EQ(gfx_img_load("jump"), 0); // asked for before its atlas: cached as none
    touch("hop.png");
    ASSERT_TRUE(write_file(dir / "hop.json",
                           R"({"frames": {"jump.png": {"frame": {"x": 3, "y": 4, "w": 5, "h": 6},
                                                      "sourceSize": {"w": 7, "h": 8}}}})"));
    gfx_atlas_load("hop");
    const GfxImage& none = _gfx->img_data[0];
    EXPECT_EQ(none.tid, 0) << "the reserved entry stays all zero";
    EXPECT_EQ(none.rect.w, 0);
    EXPECT_EQ(none.shape.w, 0);
    int jump = gfx_img_load("jump");
    ASSERT_GT(jump, 0);
    EXPECT_EQ(_gfx_get_img(jump)->rect.x, 3);
    EXPECT_EQ(gfx_img_get_width(jump), 7);
}

TEST_F(GfxRegistry, AtlasOfAMissingPictureRegistersNothing) {
    ASSERT_TRUE(write_file(dir / "lone.json", R"({"frames": {"x.png": {}}})"));
    gfx_atlas_load("lone");
    EXPECT_EQ(_gfx->img_map.count("x"), 0u);
    gfx_atlas_load("lone"); // the name is cached now: nothing happens
    EXPECT_EQ(_gfx->img_data.size(), 1u);
}
