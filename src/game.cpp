#include "game.h"

#include "zov_driver.h"

Game* GAME_THIS = nullptr;

Game* game_this() { return GAME_THIS; }

int game_get_sw() {
    int w = 0, h = 0;
    driver_get_size(&w, &h);
    return w;
}

int game_get_sh() {
    int w = 0, h = 0;
    driver_get_size(&w, &h);
    return h;
}

char* game_log_info() {
    static char s[256];
    s[0] = '\0';
    return s;
}
