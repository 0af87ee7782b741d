// Entry point of tovmar2: starts the game, runs one tick per frame until
// the game quits, then shuts it down.
#include <cstdio>

#include "gamewrap.h"

int main(int argc, char** argv) {
    // The log is read live through pipes (tee, a test harness): each line
    // goes out whole and at once, and none is lost when the process is
    // killed.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    int status = game_init(argc, argv);
    while (!status && !game_is_quit()) _main_tick(nullptr);
    game_deinit();
    return status;
}
