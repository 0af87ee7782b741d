// Random events on random trees: after every event, focus move, loop and
// layout the hover and focus chains must agree with the style flags, and
// (under ASan) nothing may touch freed or foreign memory.
#include "gui_support.h"

#include <random>

#include "support/capture.h"

using namespace gui_test;

namespace {

class RandomTree {
public:
    explicit RandomTree(unsigned seed) : rng(seed) {}

    // Replaces the root's tree by a new random one, as the console does.
    void rebuild(Container& root) {
        root = Container();
        all.clear();
        fill(&root, 0);
        for (Widget* w : all)
            if (pick(5) == 0) w->next = all[pick((int)all.size())];
    }

    Event event() {
        static const int types[] = {EVT_DOWN,  EVT_UP,    EVT_MOTION, EVT_MOTION, EVT_WHEEL, EVT_KEYDOWN, EVT_KEYUP,
                                    EVT_EXIT,  EVT_BLUR,  EVT_ORIENT, EVT_CLICK,  EVT_ENTER, EVT_FOCUS,   EVT_NONE};
        static const int keys[] = {KEY_UP, KEY_RIGHT, KEY_DOWN, KEY_LEFT, KEY_TAB, KEY_SPACE, KEY_RETURN, KEY_a};
        Event e(types[pick(sizeof types / sizeof *types)]);
        e.x = (float)(pick(180) - 20) + (pick(2) ? 0.5f : 0.0f);
        e.y = (float)(pick(180) - 20);
        e.b = pick(3) == 0;
        e.v = keys[pick(sizeof keys / sizeof *keys)];
        return e;
    }

    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); }
    Widget* any() { return all.empty() ? nullptr : all[pick((int)all.size())]; }

private:
    void fill(Container* c, int depth) {
        int n = pick(6);
        for (int i = 0; i < n; i++) {
            Widget* w = depth < 4 && pick(3) == 0 ? new Container : new Widget;
            w->name = "w" + std::to_string(all.size());
            w->useful = pick(2);
            w->ignore = pick(10) == 0;
            w->style.width = (float)pick(40);
            w->style.height = (float)pick(40);
            w->style.data[STYLE_HOVER].width = (float)pick(60); // layout changes with state
            w->style.set_margin(pick(4), STYLE_UNSET, STYLE_UNSET, pick(4));
            w->style.set_border(pick(3), STYLE_UNSET, STYLE_UNSET, STYLE_UNSET);
            w->style.set_padding(pick(4), pick(4), STYLE_UNSET, STYLE_UNSET);
            w->view = MyRect((float)pick(3), (float)pick(3), 0, 0);
            EXPECT_TRUE(c->add(w, pick(90) - 10, pick(90) - 10));
            all.push_back(w);
            if (Container* inner = dynamic_cast<Container*>(w)) fill(inner, depth + 1);
        }
    }

    std::mt19937 rng;
    std::vector<Widget*> all;
};

} // namespace

TEST(GuiRandom, ChainsStayConsistentUnderRandomEventsAndMoves) {
    Capture err(stderr); // navigation writes a line per search
    for (unsigned seed = 1; seed <= 200; seed++) {
        RandomTree gen(seed);
        Container root;
        gen.rebuild(root);
        root.resize();
        for (int step = 0; step < 500; step++) {
            int what = gen.pick(20);
            std::string did;
            if (what < 14) {
                Event e = gen.event();
                root.event(&e);
                did = describe("root", &e);
            } else if (what < 16) {
                root.loop();
                root.resize();
                did = "loop+resize";
            } else if (what < 19) {
                Widget* w = gen.any();
                if (!w) continue;
                int move = gen.pick(3);
                if (move == 0) w->_hover();
                if (move == 1) w->_focus();
                if (move == 2) w->active();
                did = "move " + std::to_string(move) + " on " + w->name;
            } else {
                gen.rebuild(root);
                root.resize();
                did = "rebuild";
            }
            ASSERT_TRUE(chains_consistent(&root)) << "seed " << seed << " step " << step << ": " << did;
        }
    }
}
