// The social layer over its default platform layer: guest start, login and
// logout with their messages and events, a new start after deinit, and the
// leaderboard and achievement calls.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "support/capture.h"
#include "zov_event.h"
#include "zov_json.h"
#include "zov_social.h"

// This binary has no game: the events that the social layer hands to the
// game arrive here instead, where the tests read them.
namespace {
std::vector<Event> sent;
}
void game_event(Event e) { sent.push_back(e); }

namespace {

std::vector<int> types() {
    std::vector<int> t;
    for (const Event& e : sent) t.push_back(e.type);
    return t;
}

class Social : public ::testing::Test {
protected:
    TempDir home;
    void SetUp() override {
        setenv("HOME", home.path().c_str(), 1);
        if (_social) social_deinit();
        sent.clear();
    }
    void TearDown() override {
        if (_social) social_deinit();
    }
    // Runs body and gives the lines it wrote on standard error.
    std::vector<std::string> err_of(const std::function<void()>& body) { return lines_of(capture(body).err); }
    var user() { return _social->data["user"]; }
};

} // namespace

TEST_F(Social, GuestAtStartHasNoNameNoUuidAndSendsNothing) {
    EXPECT_EQ(err_of([] { EXPECT_TRUE(social_init()); }), std::vector<std::string>{});
    EXPECT_EQ(social_user_name(), "") << "not \"guest\"";
    EXPECT_EQ(social_user_uuid(), "");
    EXPECT_TRUE(types().empty());
    EXPECT_TRUE(social_init()) << "later calls only return true";
}

TEST_F(Social, LoginFromTheGuestStoresTheUserAndSendsOneLogin) {
    std::vector<std::string> err = err_of([] { social_login("net", "42", "Ann"); });
    EXPECT_EQ(err, std::vector<std::string>{"social_login name: Ann uid: 42 uuid: net:42"});
    ASSERT_EQ(types(), std::vector<int>{EVT_LOGIN});
    EXPECT_EQ(sent[0].b, 0);
    EXPECT_EQ(sent[0].x, 0.0f) << "a plain Event(type)";
    EXPECT_EQ(user()["uuid"], "net:42");
    EXPECT_EQ(user()["network"], "net");
    EXPECT_EQ(user()["network_id"], "42");
    EXPECT_EQ(social_user_name(), "Ann");

    EXPECT_EQ(err_of([] { social_login("net", "42", "Someone else"); }), std::vector<std::string>{});
    EXPECT_EQ(social_user_name(), "Ann") << "the same uuid changes nothing, not even the name";
    EXPECT_EQ(types().size(), 1u);
}

TEST_F(Social, AnotherUserLogsTheFirstOutThenIn) {
    social_login("net", "42", "Ann");
    sent.clear();
    std::vector<std::string> err = err_of([] { social_login("net", "7", nullptr); });
    EXPECT_EQ(err, (std::vector<std::string>{"social_login: logout: net:42",
                                             "social_login name: guest uid: 7 uuid: net:7"}));
    EXPECT_EQ(types(), (std::vector<int>{EVT_LOGOUT, EVT_LOGIN}));
    EXPECT_EQ(social_user_name(), "guest");
    EXPECT_EQ(social_user_uuid(), "net:7");
}

TEST_F(Social, LoginWithoutNetworkOrUidIsTheGuest) {
    social_init();
    social_login(nullptr, nullptr, "Bob");
    social_login("net", nullptr, "Ann");
    EXPECT_TRUE(types().empty()) << "the guest is already current";
    EXPECT_EQ(social_user_name(), "");

    social_login("net", "42", "Ann");
    sent.clear();
    std::vector<std::string> err = err_of([] { social_login("net", nullptr, nullptr); });
    EXPECT_EQ(err, (std::vector<std::string>{"social_login: logout: net:42", "social_login name: guest uid:  uuid: "}));
    EXPECT_EQ(types(), (std::vector<int>{EVT_LOGOUT, EVT_LOGIN}));
    EXPECT_EQ(user()["network"], "net");
    EXPECT_EQ(user()["network_id"], "");
    EXPECT_EQ(social_user_name(), "guest");
}

TEST_F(Social, LongIdsAreKeptWholeSoTwoUsersNeverShareAUuid) {
    std::string network(200, 'n'), uid_a(100, 'u'), uid_b = uid_a + "b";
    social_login(network.c_str(), uid_a.c_str(), "A");
    social_login(network.c_str(), uid_b.c_str(), "B");
    EXPECT_EQ(social_user_uuid(), network + ":" + uid_b);
    EXPECT_EQ(social_user_name(), "B");
    EXPECT_EQ(types(), (std::vector<int>{EVT_LOGIN, EVT_LOGOUT, EVT_LOGIN}));
}

TEST_F(Social, ResetKeepsTheUserUnlessFullAndRepairsTheShape) {
    social_login("net", "42", "Ann");
    _social->data["user"] = "broken";
    social_reset(false);
    EXPECT_EQ(user().__type__(), VAR_DICT);
    _social->data["user"]["uuid"] = "net:42";
    social_reset(false);
    EXPECT_EQ(social_user_uuid(), "net:42");
    social_reset(true);
    EXPECT_EQ(social_user_uuid(), "");
    EXPECT_EQ(json_encode(_social->data), "{\"user\":{}}");
}

TEST_F(Social, DeinitLogsOutEvenTheGuestAndTheNextCallIsANewGuestStart) {
    social_deinit();
    EXPECT_EQ(_social, nullptr);
    EXPECT_EQ(types(), std::vector<int>{EVT_LOGOUT}) << "a module never started is started, then logged out";

    social_login("net", "42", "Ann");
    social_deinit();
    EXPECT_EQ(types(), (std::vector<int>{EVT_LOGOUT, EVT_LOGIN, EVT_LOGOUT}));
    EXPECT_EQ(social_user_uuid(), "") << "nothing of the last user survives";
    EXPECT_EQ(social_user_name(), "");
    EXPECT_TRUE(std::filesystem::is_empty(home.path())) << "nothing is kept in the documents directory";
}

TEST_F(Social, LeaderboardSubmitIsConfirmedAtOnceWithoutTheScore) {
    social_init();
    std::vector<std::string> err = err_of([] { social_leaderboard_submit("high", 12.5); });
    EXPECT_EQ(err, (std::vector<std::string>{
                       "submit: high 12.500000",
                       "social_callback: {\"name\":\"high\",\"type\":\"leaderboard_confirm\"}"}));
    err = err_of([] { social_leaderboard_submit(nullptr, 1); });
    EXPECT_EQ(err.back(), "social_callback: {\"name\":\"\",\"type\":\"leaderboard_confirm\"}")
        << "a missing board name is the empty one";
}

TEST_F(Social, DefaultLayerAnswersShowsAndIgnoresAchievements) {
    std::vector<std::string> err = err_of([] {
        EXPECT_TRUE(social_leaderboard_show("high"));
        EXPECT_TRUE(social_achievements_show());
        social_achievement_set("first", 100);
        social_achievement_set(nullptr, 1);
        social_achievements_reset();
        social_loop();
        var list = var_list();
        list_append(list, 1);
        list_append(list, "two");
        social_callback(list);
    });
    EXPECT_EQ(err, std::vector<std::string>{"social_callback: [1,\"two\"]"});
    EXPECT_TRUE(social_friends_get().empty());
}
