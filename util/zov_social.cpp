#include "zov_social.h"

#include <cstdio>

#include "zov_event.h"
#include "zov_json.h"

// The game's way in for events, defined by the script host, which drops
// them while no game exists.  A program built without the host gets this
// one instead, which drops them always.
__attribute__((weak)) void game_event(Event e) { (void)e; }

// Created by social_init, deleted by social_deinit.  Main thread only.
_SocialData* _social = nullptr;

namespace {

const char* or_empty(const char* s) { return s ? s : ""; }

// The stored text of a "user" entry; empty when it is absent or none.
std::string user_field(const char* key) {
    social_init();
    var& user = _social->data["user"];
    if (!user.__has__(key)) return "";
    var& v = user[key];
    return v.__type__() == VAR_NONE ? "" : v.__str__();
}

} // namespace

// ====== Lifecycle ======

bool social_init() {
    if (_social) return true;
    // Set before the reset: the platform layer's start logs the guest in,
    // which must find the module up.
    _social = new _SocialData();
    social_reset(true);
    driver_social_init();
    return true;
}

void social_deinit() {
    social_init();
    game_event(Event(EVT_LOGOUT));
    delete _social;
    _social = nullptr;
    driver_social_deinit();
}

void social_loop() { driver_social_loop(); }

void social_reset(bool full) {
    social_init();
    var& data = _social->data;
    if (full) data = var();
    if (data.__type__() != VAR_DICT) data = var_dict();
    if (data["user"].__type__() != VAR_DICT) data["user"] = var_dict();
}

// ====== User ======

void social_login(const char* network, const char* uid, const char* name) {
    social_init();
    if (!name) name = "guest";
    // Built whole, never cut: two long ids cut to the same text would be
    // taken for one user.
    std::string uuid = network && uid ? std::string(network) + ":" + uid : std::string();
    std::string current = social_user_uuid();
    if (uuid == current) return;
    if (!current.empty()) {
        std::fprintf(stderr, "social_login: logout: %s\n", current.c_str());
        game_event(Event(EVT_LOGOUT));
    }
    social_reset(true);
    var& user = _social->data["user"];
    user["uuid"] = uuid;
    user["network"] = or_empty(network);
    user["network_id"] = or_empty(uid);
    user["name"] = name;
    std::fprintf(stderr, "social_login name: %s uid: %s uuid: %s\n", social_user_name().c_str(), or_empty(uid),
                 social_user_uuid().c_str());
    game_event(Event(EVT_LOGIN));
}

std::string social_user_uuid() { return user_field("uuid"); }

std::string social_user_name() { return user_field("name"); }

// ====== Leaderboards and achievements ======

void social_leaderboard_submit(const char* name, double value) {
    social_init();
    std::fprintf(stderr, "submit: %s %f\n", or_empty(name), value);
    driver_social_leaderboard_submit(or_empty(name), value);
}

bool social_leaderboard_show(const char* name) { return driver_social_leaderboard_show(name); }

bool social_achievements_show() { return driver_social_achievements_show(); }

void social_achievement_set(const char* name, double value) {
    social_init();
    driver_social_achievment_set(or_empty(name), value);
}

void social_achievements_reset() { driver_social_achievements_reset(); }

void social_callback(var e) {
    social_init();
    std::fprintf(stderr, "social_callback: %s\n", json_encode(e).c_str());
}

std::vector<std::string> social_friends_get() { return {}; }

// ====== Default platform layer: no network behind it ======

void driver_social_init() { social_login(nullptr, nullptr, nullptr); }

void driver_social_deinit() {}

void driver_social_loop() {}

bool driver_social_leaderboard_show(const char* name) {
    (void)name;
    return true;
}

bool driver_social_achievements_show() { return true; }

// Confirms at once; the score goes nowhere.
void driver_social_leaderboard_submit(const char* name, double value) {
    (void)value;
    social_callback(var_dict("type", "leaderboard_confirm", "name", name));
}

void driver_social_achievment_set(const char* name, double value) {
    (void)name;
    (void)value;
}

void driver_social_achievements_reset() {}
