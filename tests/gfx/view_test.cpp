// The logical view: state, getters and the mapping between window pixels and
// view coordinates.  No window: the view rectangle is set directly, which is
// all the mapping reads.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>

#include "zov_driver.h"
#include "zov_gfx.h"

namespace {

class GfxView : public ::testing::Test {
protected:
    void SetUp() override {
        driver_init(0);
        gfx_init();
    }
    void TearDown() override {
        gfx_deinit();
        driver_deinit();
    }

    static void view(int vw, int vh, int sw, int sh, float scale, float orient,
                     int kx = 0, int ky = 0) {
        gfx_set_view(0, 0, vw, vh);
        gfx_set_size(sw, sh);
        gfx_set_scale(scale);
        gfx_set_orient(orient);
        gfx_set_shift(kx, ky);
    }
};

void expect_near(GfxRect got, GfxRect want, const char* what) {
    EXPECT_NEAR(got.x, want.x, 1e-3) << what;
    EXPECT_NEAR(got.y, want.y, 1e-3) << what;
    EXPECT_NEAR(got.w, want.w, 1e-3) << what;
    EXPECT_NEAR(got.h, want.h, 1e-3) << what;
}

void expect_same(GfxRect got, GfxRect want) {
    EXPECT_EQ(got.x, want.x);
    EXPECT_EQ(got.y, want.y);
    EXPECT_EQ(got.w, want.w);
    EXPECT_EQ(got.h, want.h);
}

} // namespace

// ====== State ======

TEST_F(GfxView, InitSetsDefaultsAndReservesEntryZero) {
    ASSERT_NE(_gfx, nullptr);
    int w, h;
    gfx_get_size(&w, &h);
    EXPECT_EQ(w, 256);
    EXPECT_EQ(h, 256);
    EXPECT_EQ(gfx_get_orient(), 0.0f);
    EXPECT_EQ(gfx_get_scale(), 1.0f);
    EXPECT_EQ(_gfx->ortho_near, -1.0f);
    EXPECT_EQ(_gfx->ortho_far, 1.0f);
    EXPECT_EQ(_gfx->clip_n, 0);
    EXPECT_EQ(_gfx->memused, 0u);
    ASSERT_EQ(_gfx->img_data.size(), 1u);
    ASSERT_EQ(_gfx->tex_data.size(), 1u);
    EXPECT_EQ(_gfx->img_data[0].tid, 0);
    EXPECT_EQ(_gfx->tex_data[0].tex, 0);
    EXPECT_EQ(_gfx->tex_data[0].name[0], '\0');
    EXPECT_TRUE(_gfx->img_map.empty());
    EXPECT_TRUE(_gfx->tex_map.empty());
}

TEST_F(GfxView, SecondInitKeepsTheData) {
    _GfxData* first = _gfx;
    gfx_set_size(320, 240);
    gfx_set_scale(3);
    gfx_init();
    EXPECT_EQ(_gfx, first);
    int w, h;
    gfx_get_size(&w, &h);
    EXPECT_EQ(w, 320);
    EXPECT_EQ(h, 240);
    EXPECT_EQ(gfx_get_scale(), 3.0f);
}

TEST_F(GfxView, DeinitClearsThePointerAndToleratesRepeats) {
    gfx_deinit();
    EXPECT_EQ(_gfx, nullptr);
    gfx_deinit();
    EXPECT_EQ(_gfx, nullptr);
}

TEST_F(GfxView, GettersTruncateTowardZero) {
    gfx_set_size(320, 240);
    int w, h;
    gfx_get_size(&w, &h);
    EXPECT_EQ(w, 320);
    EXPECT_EQ(h, 240);

    _gfx->size = GfxRect(0, 0, 12.9f, -3.7f);
    gfx_get_size(&w, &h);
    EXPECT_EQ(w, 12);
    EXPECT_EQ(h, -3);

    _gfx->view = GfxRect(-0.5f, 1.99f, 640.7f, -480.2f);
    int x, y;
    gfx_get_view(&x, &y, &w, &h);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 1);
    EXPECT_EQ(w, 640);
    EXPECT_EQ(h, -480);

    _gfx->shift = GfxRect(-7.9f, 7.9f, 0, 0);
    gfx_get_shift(&x, &y);
    EXPECT_EQ(x, -7);
    EXPECT_EQ(y, 7);
}

TEST_F(GfxView, GettersSaturateWhereAFloatRoundsPastTheIntRange) {
    // INT_MAX stored as a float becomes 2^31; reading it back must not overflow.
    gfx_set_size(INT_MAX, INT_MIN);
    int w, h;
    gfx_get_size(&w, &h);
    EXPECT_EQ(w, INT_MAX);
    EXPECT_EQ(h, INT_MIN);
}

// ====== Mapping ======

TEST_F(GfxView, ScaledCanvasFillsTheWindow) {
    view(640, 480, 320, 240, 2, 0);
    expect_near(gfx_pos_to_hwpos(GfxRect(0, 0, 5, 6)), GfxRect(0, 0, 5, 6), "origin, size kept");
    expect_near(gfx_hwpos_to_pos(GfxRect(320, 240, 5, 6)), GfxRect(160, 120, 5, 6), "centre back");
    expect_near(gfx_rect_to_hwrect(GfxRect(10, 20, 5, 6)), GfxRect(20, 40, 10, 12), "rect doubled");
    expect_near(gfx_hwrect_to_rect(GfxRect(20, 40, 10, 12)), GfxRect(10, 20, 5, 6), "rect halved");
}

TEST_F(GfxView, RightAnglesTurnTheCanvasClockwise) {
    // Canvas 100x100 at scale 1 centred in a 200x200 window: the canvas
    // corner (0, 0) lies 50 units up and left of the centre before turning.
    struct Case { float orient; GfxRect corner; };
    const Case cases[] = {
        {0, GfxRect(50, 50, 0, 0)},
        {90, GfxRect(150, 50, 0, 0)},
        {180, GfxRect(150, 150, 0, 0)},
        {270, GfxRect(50, 150, 0, 0)},
        {-90, GfxRect(50, 150, 0, 0)},
    };
    for (const Case& c : cases) {
        view(200, 200, 100, 100, 1, c.orient);
        SCOPED_TRACE(c.orient);
        expect_near(gfx_pos_to_hwpos(GfxRect(0, 0, 0, 0)), c.corner, "corner");
    }
}

TEST_F(GfxView, NinetyDegreesPutsRightOfCentreBelowTheWindowCentre) {
    view(640, 480, 320, 240, 1, 90);
    GfxRect p = gfx_pos_to_hwpos(GfxRect(160 + 30, 120, 0, 0));
    EXPECT_NEAR(p.x, 320, 1e-3);
    EXPECT_NEAR(p.y, 240 + 30, 1e-3);
}

TEST_F(GfxView, OddAngleRotatesAboutTheCanvasCentre) {
    view(400, 300, 100, 100, 2, 30);
    GfxRect p = gfx_pos_to_hwpos(GfxRect(60, 50, 0, 0)); // 10 right of centre
    EXPECT_NEAR(p.x, 200 + 20 * std::cos(M_PI / 6), 1e-3);
    EXPECT_NEAR(p.y, 150 + 20 * std::sin(M_PI / 6), 1e-3);
}

TEST_F(GfxView, ShiftMovesViewCoordinatesBeforeCentring) {
    view(200, 200, 100, 100, 1, 0, 10, 20);
    expect_near(gfx_pos_to_hwpos(GfxRect(0, 0, 0, 0)), GfxRect(60, 70, 0, 0), "shifted corner");
    // Under a rotation the shift turns with the canvas.
    view(200, 200, 100, 100, 2, 90, 10, 0);
    expect_near(gfx_pos_to_hwpos(GfxRect(50, 50, 0, 0)), GfxRect(100, 120, 0, 0), "shift turned");
}

TEST_F(GfxView, ViewOffsetMovesTheCentre) {
    view(0, 0, 100, 100, 1, 0);
    gfx_set_view(30, 40, 200, 100);
    expect_near(gfx_pos_to_hwpos(GfxRect(50, 50, 0, 0)), GfxRect(130, 90, 0, 0), "centre");
}

TEST_F(GfxView, OddCanvasSizeHalvesExactly) {
    view(256, 256, 255, 255, 1, 0);
    expect_near(gfx_pos_to_hwpos(GfxRect(127.5f, 127.5f, 0, 0)), GfxRect(128, 128, 0, 0), "centre");
}

TEST_F(GfxView, RotatedRectangleComesBackWithSignedExtent) {
    view(200, 200, 100, 100, 1, 90);
    GfxRect r = gfx_rect_to_hwrect(GfxRect(50, 50, 10, 20));
    expect_near(r, GfxRect(100, 100, -20, 10), "turned");
}

TEST_F(GfxView, MappingsRoundTripOverOrientationsScalesAndShifts) {
    const float orients[] = {0, 90, 180, 270, 33.3f};
    const float scales[] = {0.5f, 1, 2, 3.7f};
    const int shifts[][2] = {{0, 0}, {13, -7}};
    const GfxRect points[] = {GfxRect(0, 0, 4, 3), GfxRect(123.25f, -40, -2, 9),
                              GfxRect(639, 479, 0.5f, 0), GfxRect(-300, 900, 1, 1)};
    for (float o : orients)
        for (float s : scales)
            for (auto& k : shifts) {
                view(640, 480, 320, 200, s, o, k[0], k[1]);
                gfx_set_view(10, 20, 640, 480);
                for (const GfxRect& p : points) {
                    SCOPED_TRACE(testing::Message() << "orient " << o << " scale " << s << " shift "
                                                    << k[0] << "," << k[1] << " at " << p.x << "," << p.y);
                    expect_near(gfx_hwpos_to_pos(gfx_pos_to_hwpos(p)), p, "view point");
                    expect_near(gfx_pos_to_hwpos(gfx_hwpos_to_pos(p)), p, "window point");
                    expect_near(gfx_hwrect_to_rect(gfx_rect_to_hwrect(p)), p, "view rect");
                    expect_near(gfx_rect_to_hwrect(gfx_hwrect_to_rect(p)), p, "window rect");
                }
            }
}

TEST_F(GfxView, UnusableScaleMapsNothing) {
    const float bad[] = {0.0f, -0.0f, std::numeric_limits<float>::infinity(),
                         -std::numeric_limits<float>::infinity(), std::numeric_limits<float>::quiet_NaN()};
    const GfxRect r(12, 34, 5, 6);
    for (float s : bad) {
        SCOPED_TRACE(s);
        view(640, 480, 320, 240, s, 33);
        expect_same(gfx_pos_to_hwpos(r), r);
        expect_same(gfx_hwpos_to_pos(r), r);
        expect_same(gfx_rect_to_hwrect(r), r);
        expect_same(gfx_hwrect_to_rect(r), r);

        Event e(EVT_DOWN);
        e.x = 7;
        e.y = 8;
        gfx_event_correct(&e);
        EXPECT_EQ(e.x, 7.0f);
        EXPECT_EQ(e.y, 8.0f);
        EXPECT_EQ(e._x, 7.0f);
    }
}

// ====== Events ======

TEST_F(GfxView, EventCorrectLeavesNonPointerEventsAlone) {
    view(640, 480, 320, 240, 2, 0);
    for (int type : {EVT_MOUSEDOWN, EVT_MOUSEMOTION, EVT_TOUCHDOWN, EVT_KEYDOWN, EVT_RESIZE}) {
        Event e(type);
        e.x = 100;
        e.y = 50;
        e.dx = 3;
        GfxRect before(e.x, e.y, e.dx, e.dy);
        gfx_event_correct(&e);
        expect_same(GfxRect(e.x, e.y, e.dx, e.dy), before);
        EXPECT_EQ(e._x, 0.0f) << "type " << type;
    }
}

TEST_F(GfxView, EventCorrectMapsPositionAsPointAndMotionAsExtent) {
    view(640, 480, 320, 240, 2, 90, 5, 5);
    for (int type : {EVT_DOWN, EVT_MOTION, EVT_UP, EVT_WHEEL}) {
        Event e(type);
        e.x = 320;
        e.y = 240;
        e.dx = 4;
        e.dy = 0;
        e.z = 9;
        e._dz = 2;
        e.b = 3;
        e.device = 7;
        gfx_event_correct(&e);
        SCOPED_TRACE(type);
        expect_same(GfxRect(e._x, e._y, e._dx, e._dy), GfxRect(320, 240, 4, 0));
        // The window centre is the canvas centre less the shift.
        expect_near(GfxRect(e.x, e.y, e.dx, e.dy), GfxRect(155, 115, 0, -2), "mapped");
        EXPECT_EQ(e.z, 9.0f);
        EXPECT_EQ(e._dz, 2.0f);
        EXPECT_EQ(e.b, 3);
        EXPECT_EQ(e.device, 7);
    }
}

// ====== Focus ======

TEST_F(GfxView, FocusIsReportedInWindowPixels) {
    view(640, 480, 320, 240, 2, 0);
    gfx_focus(GfxRect(10, 20, 30, 5));
    expect_near(_gfx_get_focus_fixed(), GfxRect(20, 40, 60, 10), "focused");
    gfx_blur();
    GfxRect r = _gfx_get_focus_fixed();
    EXPECT_EQ(r.w, 0.0f);
    EXPECT_EQ(r.h, 0.0f);
    expect_near(r, gfx_pos_to_hwpos(GfxRect()), "blurred point");
}
