// zov_social: who the current user is (the guest, or a user of an online
// network named by the network and the user's id there), login and logout
// announced to the game as EVT_LOGIN / EVT_LOGOUT events, and leaderboard
// and achievement calls handed to a platform layer.
//
// The platform layer is the `driver_social_` functions.  The one built here
// is the default layer: no network behind it, the guest at start, every
// show call answering true and a leaderboard submit confirmed at once.
//
// State: the singleton `_social`, created by the first call that needs it
// (through social_init) and deleted by social_deinit; a later call brings it
// up again as a new guest start.  Nothing is kept on disk.  Main thread only.
// Messages go to standard error.
#pragma once

#include <string>
#include <vector>

#include "zov_var.h"

// ====== State ======

// `data` is a dict whose "user" entry is a dict: "uuid" ("network:uid", or
// empty for the guest), "network", "network_id" and "name", all strings.
struct _SocialData {
    var data;
};

// Null until the first social call; owned here, deleted by social_deinit.
extern _SocialData* _social;

// ====== Lifecycle ======

// Creates the data and starts the platform layer on the first call; always
// true.
bool social_init();
// Sends EVT_LOGOUT (whoever is logged in, the guest too), deletes the data
// and stops the platform layer.
void social_deinit();
// Gives the platform layer its turn.
void social_loop();
// full: forget everything.  Either way the data is repaired to its shape
// (a dict with a "user" dict); a stored user survives a reset that is not
// full.
void social_reset(bool full);

// ====== User ======

// Makes network:uid the current user (the guest when network or uid is
// null; name "guest" when null).  Nothing happens when that user is already
// current.  Otherwise a user who was logged in is logged out first
// (EVT_LOGOUT), the new user replaces the whole record, and EVT_LOGIN follows.
void social_login(const char* network, const char* uid, const char* name);
// The current user's uuid / display name; empty when none is stored (so
// both are empty for the guest at start).
std::string social_user_uuid();
std::string social_user_name();

// ====== Leaderboards and achievements ======

void social_leaderboard_submit(const char* name, double value);
bool social_leaderboard_show(const char* name);
bool social_achievements_show();
void social_achievement_set(const char* name, double value);
void social_achievements_reset();
// How the platform layer reports a result: one line with e as JSON.
void social_callback(var e);
// Always empty: no platform layer lists friends.
std::vector<std::string> social_friends_get();

// ====== Platform layer ======

void driver_social_init();
void driver_social_deinit();
void driver_social_loop();
bool driver_social_leaderboard_show(const char* name);
bool driver_social_achievements_show();
void driver_social_leaderboard_submit(const char* name, double value);
// The platform's own name, spelled as it is.
void driver_social_achievment_set(const char* name, double value);
void driver_social_achievements_reset();
