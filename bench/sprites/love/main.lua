-- Sprite benchmark, peer side: the same scene and the same counting as the
-- tovmar2 script.   love <dir> <n> <size> <seconds> [nojit]
local n, size, seconds, name
local xs, ys = {}, {}
local img
local clock, frames, started, cpu0 = 0, 0, nil, 0

require("cpu") -- thread_cpu()

function love.load(args)
    n = tonumber(args[1]) or 20000
    size = tonumber(args[2]) or 32
    seconds = tonumber(args[3]) or 5
    if args[4] == "nojit" then jit.off() end
    img = love.graphics.newImage("sprite" .. size .. ".tga")
    local seed = 12345
    local function rnd(m)
        seed = seed * 16807 % 2147483647 -- exact in doubles
        return seed % m
    end
    for i = 1, n do
        xs[i] = rnd(640 - size)
        ys[i] = rnd(480 - size)
    end
end

function love.update(dt)
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
        love.event.quit()
    end
end

function love.draw()
    local draw = love.graphics.draw
    for i = 1, n do
        draw(img, xs[i], ys[i])
    end
end
