// The clip stack and the rectangle trimming of the drawing calls.
#include <gtest/gtest.h>

#include "zov_driver.h"
#include "zov_gfx.h"

namespace {

class GfxClip : public ::testing::Test {
protected:
    void SetUp() override {
        driver_init(0);
        gfx_init();
    }
    void TearDown() override {
        gfx_deinit();
        driver_deinit();
    }
};

void expect_rect(GfxRect got, GfxRect want, const char* what) {
    EXPECT_FLOAT_EQ(got.x, want.x) << what;
    EXPECT_FLOAT_EQ(got.y, want.y) << what;
    EXPECT_FLOAT_EQ(got.w, want.w) << what;
    EXPECT_FLOAT_EQ(got.h, want.h) << what;
}

// Clips (0, 0, 50, 50) against the current stack; returns what is left.
bool draws(GfxRect* d) {
    *d = GfxRect(0, 0, 50, 50);
    return _gfx_clip(d, nullptr);
}

} // namespace

// ====== Trimming ======

TEST(GfxClipTest, TrimsTextureInProportionOnEachEdge) {
    GfxRect d(0, 0, 100, 100), t(0, 0, 1, 1);
    EXPECT_TRUE(_gfx_clip_test(GfxRect(50, 0, 100, 100), &d, &t));
    expect_rect(d, GfxRect(50, 0, 50, 100), "left trimmed");
    expect_rect(t, GfxRect(0.5f, 0, 0.5f, 1), "texture left");

    d = GfxRect(0, 0, 100, 100);
    t = GfxRect(0, 0, 1, 1);
    EXPECT_TRUE(_gfx_clip_test(GfxRect(0, 0, 25, 50), &d, &t));
    expect_rect(d, GfxRect(0, 0, 25, 50), "right and bottom trimmed");
    expect_rect(t, GfxRect(0, 0, 0.25f, 0.5f), "texture right and bottom");

    d = GfxRect(0, 0, 100, 100);
    t = GfxRect(10, 20, 40, 80);
    EXPECT_TRUE(_gfx_clip_test(GfxRect(10, 20, 50, 60), &d, &t));
    expect_rect(d, GfxRect(10, 20, 50, 60), "all four edges");
    expect_rect(t, GfxRect(14, 36, 20, 48), "texture all four edges");
}

TEST(GfxClipTest, DestinationInsideIsUntouched) {
    GfxRect d(10, 10, 5, 5), t(0.25f, 0.5f, 0.5f, 0.25f);
    EXPECT_TRUE(_gfx_clip_test(GfxRect(0, 0, 100, 100), &d, &t));
    expect_rect(d, GfxRect(10, 10, 5, 5), "dst");
    expect_rect(t, GfxRect(0.25f, 0.5f, 0.5f, 0.25f), "tex");
}

TEST(GfxClipTest, NothingLeftYieldsFalse) {
    const GfxRect b(0, 0, 100, 100);
    const GfxRect nothing[] = {
        GfxRect(10, 10, 0, 10),    // zero width
        GfxRect(10, 10, 10, -1),   // negative height
        GfxRect(200, 10, 10, 10),  // right of the bounds
        GfxRect(-50, 10, 10, 10),  // left of the bounds
        GfxRect(10, 100, 10, 10),  // touching the bottom edge only
        GfxRect(10, -30, 10, 10),  // above the bounds
    };
    for (GfxRect d : nothing) {
        GfxRect t(0, 0, 1, 1);
        EXPECT_FALSE(_gfx_clip_test(b, &d, &t)) << d.x << "," << d.y << " " << d.w << "x" << d.h;
    }
    GfxRect d(10, 10, 10, 10);
    EXPECT_FALSE(_gfx_clip_test(GfxRect(0, 0, 0, 100), &d, nullptr)) << "empty bounds";
}

// ====== Stack ======

TEST_F(GfxClip, EmptyStackPassesEverythingUnchanged) {
    GfxRect d(-5, -5, 1e6f, 3), t(0, 0, 1, 1);
    EXPECT_TRUE(_gfx_clip(&d, &t));
    expect_rect(d, GfxRect(-5, -5, 1e6f, 3), "dst");
    expect_rect(t, GfxRect(0, 0, 1, 1), "tex");
    EXPECT_TRUE(_gfx_clip(&d, nullptr));
}

TEST_F(GfxClip, NestedLevelIsIntersectedWithItsParent) {
    gfx_clip(0, 0, 100, 100);
    gfx_clip(50, 50, 100, 100);
    expect_rect(_gfx->clip[1], GfxRect(50, 50, 50, 50), "stored level");
    GfxRect d(0, 0, 200, 200);
    EXPECT_TRUE(_gfx_clip(&d, nullptr));
    expect_rect(d, GfxRect(50, 50, 50, 50), "clipped");
}

TEST_F(GfxClip, DisjointLevelDrawsNothingUntilPopped) {
    gfx_clip(0, 0, 100, 100);
    gfx_clip(200, 200, 10, 10);
    GfxRect d;
    EXPECT_FALSE(draws(&d));
    d = GfxRect(200, 200, 10, 10);
    EXPECT_FALSE(_gfx_clip(&d, nullptr)) << "not even inside its own rectangle";
    gfx_unclip();
    EXPECT_TRUE(draws(&d));
    expect_rect(d, GfxRect(0, 0, 50, 50), "first level");
}

TEST_F(GfxClip, LevelsPastEightAreCountedNotStored) {
    for (int i = 0; i < 8; i++) gfx_clip(i, 0, 100, 100);
    GfxRect d;
    ASSERT_TRUE(draws(&d));
    expect_rect(d, GfxRect(7, 0, 43, 50), "eighth level");

    gfx_clip(0, 0, 1000, 1000);
    EXPECT_EQ(_gfx->clip_n, 9);
    EXPECT_FALSE(draws(&d));
    gfx_clip(0, 0, 1000, 1000);
    EXPECT_FALSE(draws(&d));
    gfx_unclip();
    EXPECT_FALSE(draws(&d));
    gfx_unclip();
    ASSERT_TRUE(draws(&d));
    expect_rect(d, GfxRect(7, 0, 43, 50), "eighth level again");
}

TEST_F(GfxClip, PoppingAnEmptyStackLeavesItEmpty) {
    gfx_unclip();
    EXPECT_EQ(_gfx->clip_n, 0);
    gfx_clip(0, 0, 10, 10);
    gfx_unclip();
    gfx_unclip();
    EXPECT_EQ(_gfx->clip_n, 0);
    GfxRect d;
    EXPECT_TRUE(draws(&d));
    expect_rect(d, GfxRect(0, 0, 50, 50), "unclipped");
}

TEST_F(GfxClip, LevelsAreStoredUntranslated) {
    gfx_translate(10, 20);
    gfx_clip(0, 0, 50, 50);
    expect_rect(_gfx->clip[0], GfxRect(10, 20, 50, 50), "stored");
    GfxRect d;
    EXPECT_TRUE(draws(&d));
    expect_rect(d, GfxRect(0, 0, 50, 50), "whole while translated");

    gfx_translate(-10, -20);
    EXPECT_TRUE(draws(&d));
    expect_rect(d, GfxRect(10, 20, 40, 30), "same level after undoing the translation");
}

TEST_F(GfxClip, TranslatedChildIntersectsInUntranslatedCoordinates) {
    gfx_clip(0, 0, 100, 100);
    gfx_translate(80, 0);
    gfx_clip(0, 0, 50, 50);
    expect_rect(_gfx->clip[1], GfxRect(80, 0, 20, 50), "stored child");
    gfx_translate(-80, 0);
}
