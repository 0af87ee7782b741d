function love.conf(t)
    t.window.width = 640
    t.window.height = 480
    t.window.vsync = 0
    t.window.title = "sprite benchmark"
    t.modules.joystick = false
    t.modules.physics = false
end
