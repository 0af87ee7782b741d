// The Event record: layout and construction.
#include <gtest/gtest.h>

#include <cstring>

#include "zov_event.h"

namespace {

bool all_zero_after_type(const Event& e) {
    static const unsigned char zero[sizeof(Event)] = {};
    return std::memcmp(reinterpret_cast<const char*>(&e) + sizeof(int), zero,
                       sizeof(Event) - sizeof(int)) == 0;
}

} // namespace

TEST(EventRecord, TypedConstructorZeroesEveryOtherField) {
    Event e(EVT_LOGIN);
    EXPECT_EQ(e.type, 29);
    EXPECT_TRUE(all_zero_after_type(e)) << "w, h and _v included";
    EXPECT_EQ(e.w, 0.0f);
    EXPECT_EQ(e.h, 0.0f);
    EXPECT_EQ(e._v, 0);
}

TEST(EventRecord, DefaultIsAnAllZeroNoneEvent) {
    Event e;
    EXPECT_EQ(e.type, EVT_NONE);
    EXPECT_TRUE(all_zero_after_type(e));
}

TEST(EventCodes, RunsOfKeyCodesAreContiguous) {
    EXPECT_EQ(KEY_F12, 25);
    EXPECT_EQ(KEY_F12 - KEY_F1, 11);
    EXPECT_EQ(KEY_P9, 37);
    EXPECT_EQ(KEY_z, 63);
    EXPECT_EQ(KEY_z - KEY_a, 'z' - 'a');
    EXPECT_EQ(KEY_9, 73);
    EXPECT_EQ(KEY_MAX, 77);
    EXPECT_EQ(EVT_LOGOUT, 30);
    EXPECT_EQ(EVT_MAX, 32);
}
