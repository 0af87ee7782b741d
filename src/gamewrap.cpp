#include "gamewrap.h"

#include "game.h"
#include "zov_driver.h"

// Created by game_init, deleted by game_deinit.  Main thread only.
Game* _game = nullptr;

int game_init(int argc, char** argv) {
    if (_game) return 0;
    _game = new Game();
    if (!_game->args(argc, argv)) return 2;
    return _game->init() ? 0 : 1;
}

void game_loop() {
    if (_game) _game->loop();
}

void game_paint() {
    if (_game) _game->paint();
}

void game_event(Event e) {
    if (_game) _game->event(e);
}

bool game_is_quit() { return !_game || _game->_quit; }

void game_deinit() {
    if (!_game) return;
    // A game that never got to start has nothing to stop.
    if (GAME_THIS == _game) _game->deinit();
    delete _game;
    if (GAME_THIS == _game) GAME_THIS = nullptr;
    _game = nullptr;
}

// ====== Tick ======

void _main_event_poll() {
    // The record is reused between polls: the driver clears it itself.
    Event e(EVT_NONE);
    while (driver_event_poll(&e)) game_event(e);
}

void _main_tick(void* arg) {
    (void)arg;
    _main_event_poll();
    game_loop();
    game_paint();
}
