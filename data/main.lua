-- Star Catcher, the game that comes with the runtime.
--
-- Fly the ship along the bottom of the night sky, catch the falling coins and
-- dodge the rocks; three hits end the round.  The best score is kept in a
-- document and read again at the next start.
--
--   Left/Right or A/D   move            the mouse steers too
--   Space or Enter      start a round   so does a click
--   Ctrl+F              full screen     Ctrl+Q quits
--
-- "-demo N" on the command line lets the ship fly itself through a round of
-- N seconds; the program then keeps the best score and ends.
--
-- The game's state lives in globals, so editing this file while the game
-- runs reloads it in place: the round goes on with the new code.

zov_params_set("appid", "starcatch") -- documents go to ~/.starcatch
zov_params_set("caption", "Star Catcher")
zov_params_set("filter", "nearest") -- crisp pixels when the view is scaled up

W, H = 320, 240 -- the view: it is scaled to fit whatever the window is
SHIP_Y = H - 18
BEST_FILE = "best.txt"
DEMO = tonumber(zov_params_get("demo"))

game = game or {mode = "title", score = 0, lives = 3, best = 0, x = W / 2, things = {}, time = 0, flash = 0}
input = input or {left = false, right = false, mouse_x = nil, pointer_seen = false}

-- ====== Best score ======

function load_best()
    return tonumber(zov_file_load(BEST_FILE)) or 0
end

function save_best(score)
    -- A failed write is answered, not raised: the game goes on without it.
    local saved, why = zov_file_save(BEST_FILE, tostring(score))
    if not saved then print("the best score could not be kept: " .. why) end
end

-- ====== Rounds ======

function start_round()
    game.mode = "play"
    game.score, game.lives, game.time = 0, 3, 0
    game.things, game.spawn, game.flash = {}, 0.5, 0
    zov_sample_play("start.wav", 0.8)
end

function end_round()
    game.mode = "over"
    game.flash = 0 -- _loop stops with the round: a hit tint would stay on for good
    zov_sample_play("over.wav", 0.8)
    if game.score > game.best then
        game.best = game.score
        save_best(game.best)
        print("new best score: " .. game.best)
    end
    if DEMO then zov_ext_call("exit") end
end

function spawn_thing()
    local rock = math.random() < 0.3 + math.min(game.time / 120, 0.3)
    table.insert(game.things, {
        kind = rock and "rock" or "coin",
        size = rock and 16 or 12,
        x = 10 + math.random() * (W - 20),
        y = -10,
        vy = 55 + math.random() * 50 + game.time * 1.5,
    })
end

-- Where the ship flies by itself: under the lowest coin, away from rocks.
function autopilot_target()
    local target, best_y = W / 2, -100
    for _, t in ipairs(game.things) do
        if t.kind == "coin" and t.y > best_y and t.y < SHIP_Y then target, best_y = t.x, t.y end
    end
    for _, t in ipairs(game.things) do
        if t.kind == "rock" and t.y > SHIP_Y - 70 and t.y < SHIP_Y and math.abs(t.x - game.x) < 18 then
            target = game.x + (t.x < game.x and 40 or -40)
        end
    end
    return target
end

function move_ship(dt)
    local speed, dir = 170, 0
    if input.left then dir = dir - 1 end
    if input.right then dir = dir + 1 end
    local target = DEMO and autopilot_target() or input.mouse_x
    if dir == 0 and target then
        local d = target - game.x
        dir = math.max(-1, math.min(1, d / 8))
    end
    game.x = math.max(8, math.min(W - 8, game.x + dir * speed * dt))
end

function update_things(dt)
    local keep = {}
    for _, t in ipairs(game.things) do
        t.y = t.y + t.vy * dt
        local hit = math.abs(t.x - game.x) < (t.size / 2 + 6) and math.abs(t.y - SHIP_Y) < (t.size / 2 + 5)
        if hit and t.kind == "coin" then
            game.score = game.score + 1
            zov_sample_play("pickup.wav", 0.6, (t.x - W / 2) / W)
        elseif hit then
            game.lives = game.lives - 1
            game.flash = 0.4
            zov_sample_play("hit.wav", 0.9, (t.x - W / 2) / W)
        elseif t.y < H + 10 then
            table.insert(keep, t)
        end
    end
    game.things = keep
end

-- ====== Hooks ======

function _init()
    math.randomseed(DEMO and 1 or os.time())
    game.best = load_best()
    print("best score: " .. game.best)
    zov_stream_play("music.ogg", 0.35)
    if DEMO then start_round() end
end

function _loop(dt)
    if game.mode ~= "play" then return end
    game.time = game.time + dt
    game.flash = math.max(0, game.flash - dt)
    game.spawn = game.spawn - dt
    if game.spawn <= 0 then
        spawn_thing()
        game.spawn = 0.25 + math.random() * 0.35
    end
    move_ship(dt)
    update_things(dt)
    if game.lives <= 0 or (DEMO and game.time >= DEMO) then end_round() end
end

local MOVE_KEYS = {Left = "left", A = "left", Right = "right", D = "right"}

function _event(e)
    if e.type == "keydown" or e.type == "keyup" then
        local dir = MOVE_KEYS[e.name]
        if dir then
            input[dir] = e.type == "keydown"
            input.mouse_x = nil -- the keys take over from the mouse
        end
        if e.type == "keydown" and (e.name == "Space" or e.name == "Return") and game.mode ~= "play" then
            start_round()
        end
    elseif e.type == "motion" then
        -- A window opening under the pointer reports where it rests: before
        -- the first _paint has set the view (so in window pixels), and again
        -- after Ctrl+F.  Only motion after such a report, in the view, steers.
        if input.pointer_seen then input.mouse_x = e.x end
        input.pointer_seen = painted
    elseif e.type == "reset" then
        input.pointer_seen = false
    elseif e.type == "down" and game.mode ~= "play" then
        start_round()
    end
end

function text(s, y, size, colour)
    zov_font_draw("font", size, s, 0, y, W, 0, colour or 0xffffff)
end

function _paint()
    zov_view_set(0, 0, W, H)
    painted = true
    zov_image_draw("sky", 0, 0, W, H)
    for _, t in ipairs(game.things) do
        zov_image_draw(t.kind, t.x, t.y, t.size, t.size, t.size / 2, t.size / 2)
    end
    local tint = game.flash > 0 and 0xff6060 or 0xffffff
    zov_image_draw("ship", game.x, SHIP_Y, 16, 12, 8, 6, 0, tint)
    zov_font_draw("font", 12, "Score " .. game.score, 4, 3)
    zov_font_draw("font", 12, "Best " .. game.best, 0, 3, W, 0, 0xffe066)
    for i = 1, game.lives do
        zov_image_draw("heart", W - 4 - i * 10, 6, 7, 6)
    end
    if game.mode == "title" then
        text("Star Catcher", 70, 32, 0xffe066)
        text("Catch the coins, dodge the rocks", 120, 12)
        text("Space or click to play", 150, 12, 0x9fb4ff)
    elseif game.mode == "over" then
        text("Game over", 70, 32, 0xff8080)
        text("Score " .. game.score .. "   Best " .. game.best, 120, 12)
        text("Space or click to play again", 150, 12, 0x9fb4ff)
    end
end
