-- api.lua: runs in every fresh script engine, before the game's main script.
-- docs/scripting.md describes the hooks, the events and every script global.
--
-- The host calls four hooks: _init() once after a (re)start, _loop(dt) and
-- _paint() every frame, _event(e) for every input event.  They are defined
-- here as doing nothing, so a main script defines only the ones it needs; a
-- hook that is missing would stop the script as an error.
--
-- dt is the time since the previous _loop in seconds (0 the first time, at
-- most 1).  e is a table with "type" ("keydown", "keyup", "mousedown",
-- "down", "motion", "up", "wheel", "resize", "suspend", ...), "x", "y",
-- "w", "h", "dx", "dy", "text", "button", "device", and for keys "key" and
-- "name".  "down", "motion", "up" and "wheel" are in view coordinates (see
-- zov_view_set); the mouse and touch events under their own names come
-- first, in window pixels.

function _init() end

function _loop(dt) end

function _paint() end

function _event(e) end
