-- Sprite benchmark, tovmar2 side: one picture drawn N times a frame at fixed
-- pseudo-random positions in a 640 x 480 view.  After one second of warm-up
-- the frames of the next SECONDS seconds are counted; then one line
-- "fps <value> cpu_ns <main-thread CPU ns a sprite>" and the program ends.
--   tovmar2 -n 20000 -size 32 -seconds 5
local n = tonumber(zov_params_get("n")) or 20000
local size = tonumber(zov_params_get("size")) or 32
local seconds = tonumber(zov_params_get("seconds")) or 5
local name = "sprite" .. size

-- The same generator as the peer's script, so both draw the same scene.
local xs, ys = {}, {}
local seed = 12345
local function rnd(m)
    seed = seed * 16807 % 2147483647 -- exact in doubles
    return seed % m
end
for i = 1, n do
    xs[i] = rnd(640 - size)
    ys[i] = rnd(480 - size)
end

local clock, frames, started, cpu0 = 0, 0, nil, 0

require("cpu") -- thread_cpu()

function _loop(dt)
    clock = clock + dt
    if clock < 1 then return end
    if not started then
        started, frames, cpu0 = clock, 0, thread_cpu()
        return
    end
    frames = frames + 1
    if clock - started >= seconds then
        local ns = (thread_cpu() - cpu0) / (frames * n) * 1e9
        print(string.format("fps %.2f cpu_ns %.1f", frames / (clock - started), ns))
        zov_ext_call("exit")
    end
end

function _paint()
    zov_view_set(0, 0, 640, 480)
    local draw = zov_image_draw
    for i = 1, n do
        draw(name, xs[i], ys[i], size, size)
    end
end
