// The scripting guide cannot rot: every Lua example of docs/scripting.md
// runs in the real program, headless, for a few frames.
//
// Examples are fenced blocks whose info string starts with "lua":
//   lua             a main script: five frames and no script error
//   lua fails       a main script that must stop with a script error
//   lua NAME.lua    a file put beside every main script (for require)
#include "game_run.h"

using namespace e2e;

namespace {

struct Example {
    int line;         // of the opening fence
    std::string kind; // what follows "lua" on the fence
    std::string code;
};

std::vector<Example> lua_examples(const std::string& markdown) {
    std::vector<Example> found;
    std::vector<std::string> lines = lines_of(markdown);
    for (size_t i = 0; i < lines.size(); i++) {
        if (lines[i].rfind("```lua", 0) != 0) continue;
        Example ex{(int)i + 1, lines[i].substr(6), ""};
        ex.kind.erase(0, ex.kind.find_first_not_of(' '));
        for (i++; i < lines.size() && lines[i].rfind("```", 0) != 0; i++) ex.code += lines[i] + "\n";
        found.push_back(ex);
    }
    return found;
}

// Appended to each main script: on the second frame a few input events of
// the shapes the runtime delivers go to _event, and after the fifth frame
// the program ends.
const char* FIVE_FRAMES = R"(
do
    local frames, game_loop = 0, _loop
    local function input(fields)
        local e = {x = 100, y = 100, w = 0, h = 0, dx = 0, dy = 0, text = "", button = 0, device = 0}
        for k, v in pairs(fields) do e[k] = v end
        _event(e)
    end
    function _loop(dt)
        game_loop(dt)
        frames = frames + 1
        if frames == 2 then
            input{type = "keydown", key = 32, name = "Space"}
            input{type = "keydown", key = 0, name = "", text = " "}
            input{type = "keyup", key = 32, name = "Space"}
            input{type = "keydown", key = 13, name = "Return"}
            input{type = "mousedown", button = 1}
            input{type = "down", button = 1}
            input{type = "up", button = 1}
            input{type = "wheel", dy = -1}
        end
        if frames == 5 then zov_ext_call("exit") end
    end
end
)";

TEST(ScriptingGuide, EveryLuaExampleRuns) {
    std::vector<Example> examples = lua_examples(read_file(ZOV_DOCS));
    int mains = 0, failing = 0;
    for (const Example& ex : examples) {
        mains += ex.kind.empty();
        failing += ex.kind == "fails";
    }
    ASSERT_GE(mains, 10) << "the guide is example-led";
    ASSERT_GE(failing, 1);

    for (const Example& ex : examples) {
        if (!ex.kind.empty() && ex.kind != "fails") continue;
        SCOPED_TRACE("the example at docs/scripting.md:" + std::to_string(ex.line));
        GameRun run;
        run.copy_bundled();
        std::filesystem::create_directory(run.dir / "game");
        for (const Example& file : examples) {
            if (file.kind.find(".lua") != std::string::npos) write_file(run.dir / ("game/" + file.kind), file.code);
        }
        write_file(run.dir / "game/main.lua", ex.code + FIVE_FRAMES);
        run.start({"-mod", run.dir / "game/main.lua"}, {"SDL_VIDEODRIVER=offscreen"});
        if (ex.kind == "fails") {
            EXPECT_TRUE(run.wait_line("Lua error")) << run.out();
            continue;
        }
        EXPECT_EQ(run.wait_exit(10), 0) << run.err();
        EXPECT_EQ(count_lines(run.out(), "ModsAPI::require: "), 1 + (int)(ex.code.find("require(") != std::string::npos))
            << run.out();
        EXPECT_EQ(count_lines(run.out(), "Lua error"), 0) << run.out();
    }
}

} // namespace
