// mods_console: the developer console over the API object's log.
//
// The API object's constructor builds the console's widgets through
// `modsapi_console_gui_rebuild`; the console module fills it.
#pragma once

class ModsAPI;

// Replaces the console's widget tree for the current window size.
void modsapi_console_gui_rebuild(ModsAPI* api);
