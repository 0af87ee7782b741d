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
