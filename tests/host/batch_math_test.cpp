// The batch's arithmetic without a window: tint bytes and the fit scale.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "mods_batch.h"

namespace {
std::vector<int> bytes(int color, float alpha) {
    unsigned char c[4];
    _blend_bytes(color, alpha, c);
    return {c[0], c[1], c[2], c[3]};
}
} // namespace

TEST(BlendBytes, ColourIsPremultipliedByAlpha) {
    EXPECT_EQ(bytes(0xff8000, 0.5f), (std::vector<int>{127, 64, 0, 127}));
    EXPECT_EQ(bytes(0xff8000, 1.0f), (std::vector<int>{255, 128, 0, 255}));
    EXPECT_EQ(bytes(0x123456, 0.0f), (std::vector<int>{0, 0, 0, 0}));
    // Bits above the 24 colour bits are ignored.
    EXPECT_EQ(bytes(-1, 1.0f), (std::vector<int>{255, 255, 255, 255}));
}

TEST(BlendBytes, AlphaOutsideZeroToOneIsClampedNotWrapped) {
    EXPECT_EQ(bytes(0xffffff, 1.5f), (std::vector<int>{255, 255, 255, 255}));
    EXPECT_EQ(bytes(0xffffff, -0.5f), (std::vector<int>{0, 0, 0, 0}));
    EXPECT_EQ(bytes(0xffffff, std::numeric_limits<float>::quiet_NaN()), (std::vector<int>{0, 0, 0, 0}));
    EXPECT_EQ(bytes(0xffffff, INFINITY), (std::vector<int>{255, 255, 255, 255}));
}

TEST(FitScale, TheSmallerRatioSoTheWholeViewFits) {
    EXPECT_EQ(_mods_view_fit_scale(320, 240, 640, 480), 2.0f);
    EXPECT_EQ(_mods_view_fit_scale(320, 240, 640, 360), 1.5f);
    EXPECT_EQ(_mods_view_fit_scale(1280, 240, 640, 480), 0.5f);
}

TEST(FitScale, UnusableSizesGiveZero) {
    const float bad[] = {0, -10, std::numeric_limits<float>::quiet_NaN(), INFINITY};
    for (float v : bad) {
        EXPECT_EQ(_mods_view_fit_scale(v, 240, 640, 480), 0.0f) << v;
        EXPECT_EQ(_mods_view_fit_scale(320, v, 640, 480), 0.0f) << v;
    }
}
