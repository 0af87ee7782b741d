#include "mods_console.h"

#include "zov_event.h"

// The console module fills this.
void modsapi_console_gui_rebuild(ModsAPI* api) { (void)api; }

// The console module fills these two.
int mods_event_console(Game& game, Event e) {
    (void)game;
    (void)e;
    return 0;
}

void modsapi_log_paint(ModsAPI* api) { (void)api; }
