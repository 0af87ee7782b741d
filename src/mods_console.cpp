#include "mods_console.h"

// The console module fills this.
void modsapi_console_gui_rebuild(ModsAPI* api) { (void)api; }
