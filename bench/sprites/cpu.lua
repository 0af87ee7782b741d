-- Shared by both sides of the sprite benchmark (each loads it with
-- require, which defines the global below).
-- CPU seconds of the calling thread, user and system (counted in ticks of
-- 1/100 s): the main thread's own work, whatever other threads (the
-- rasterizer's) do.
function thread_cpu()
    local f = io.open("/proc/thread-self/stat")
    if not f then return 0 end
    local stat = f:read("*a")
    f:close()
    -- Fields after the command name, which ends at the last ")".
    local rest = stat:sub(stat:find("%)[^)]*$") + 2)
    local fields = {}
    for v in rest:gmatch("%S+") do fields[#fields + 1] = v end
    return (tonumber(fields[12]) + tonumber(fields[13])) / 100
end
