-- Sprite benchmark, peer side: the same scene and the same counting as the
-- tovmar2 script.   love <dir> <n> <size> <seconds> [nojit]
local n, size, seconds, name
local xs, ys = {}, {}
local img
local clock, frames, started = 0, 0, nil

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
        started, frames = clock, 0
        return
    end
    frames = frames + 1
    if clock - started >= seconds then
        print(string.format("fps %.2f", frames / (clock - started)))
        love.event.quit()
    end
end

function love.draw()
    local draw = love.graphics.draw
    for i = 1, n do
        draw(img, xs[i], ys[i])
    end
end
