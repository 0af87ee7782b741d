// Shared by the GUI tests: widgets that record what reaches their event()
// and answer with handler values of their own, tree building, and the
// invariant checker of the hover and focus chains.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "zov_gui.h"

namespace gui_test {

using Log = std::vector<std::string>;

inline const char* type_name(int type) {
    switch (type) {
    case EVT_NONE: return "NONE";
    case EVT_KEYDOWN: return "KEYDOWN";
    case EVT_KEYUP: return "KEYUP";
    case EVT_DOWN: return "DOWN";
    case EVT_MOTION: return "MOTION";
    case EVT_UP: return "UP";
    case EVT_WHEEL: return "WHEEL";
    case EVT_ORIENT: return "ORIENT";
    case EVT_FOCUS: return "FOCUS";
    case EVT_BLUR: return "BLUR";
    case EVT_ENTER: return "ENTER";
    case EVT_EXIT: return "EXIT";
    case EVT_CLICK: return "CLICK";
    }
    return "?";
}

// "name TYPE x,y vN": what one widget saw, in its own content coordinates.
inline std::string describe(const std::string& name, const Event* e) {
    char buf[128];
    std::snprintf(buf, sizeof buf, "%s %s %g,%g v%d", name.c_str(), type_name(e->type), e->x, e->y, e->v);
    return buf;
}

// A widget (or container) that logs every event reaching its event() and
// carries handler values "<name>.<handler>", so a merged result names the
// widget and the handler that produced it.
template <class Base>
class Rec : public Base {
public:
    Rec(Log* log, const std::string& n, int useful = 0) : log(log) {
        this->name = n;
        this->useful = useful;
        this->onclick = var(n + ".click");
        this->ondown = var(n + ".down");
        this->onup = var(n + ".up");
        this->onmove = var(n + ".move");
        this->onenter = var(n + ".enter");
        this->onexit = var(n + ".exit");
        this->onfocus = var(n + ".focus");
    }
    var event(Event* e) override {
        if (log) log->push_back(describe(this->name, e));
        return Base::event(e);
    }
    Log* log;
};

using RecWidget = Rec<Widget>;
using RecContainer = Rec<Container>;

// Gives w a content size through its base style and adds it to c at (x, y).
template <class W>
W* place(Container* c, W* w, int x, int y, float width, float height) {
    w->style.width = width;
    w->style.height = height;
    EXPECT_TRUE(c->add(w, x, y));
    return w;
}

inline std::string str(const var& v) { return v.__type__() == VAR_NONE ? "none" : v.__str__(); }

inline Event ev(int type, float x = 0, float y = 0, int v = 0, int b = 0) {
    Event e(type);
    e.x = x;
    e.y = y;
    e.v = v;
    e.b = b;
    return e;
}

// Sends one event to a root and returns the merged value as text.
inline std::string send(Container& root, int type, float x = 0, float y = 0, int v = 0, int b = 0) {
    Event e = ev(type, x, y, v, b);
    return str(root.event(&e));
}

// The invariants of the two chains, after any sequence of events sent to
// the root and of hover and focus moves:
// - in every container, a child's hover (focus) flag is set exactly when the
//   container's hover (focus) link names it, and a link names a child;
// - the focus chain is whole: the widgets below the root whose focus flag is
//   set are exactly those reached from the root through the focus links;
// - every style's derived fields agree with its flags.
// (The hover chain need not be whole: a release routed to a focused
// container that is not hovered hovers inside it.)
inline ::testing::AssertionResult chains_consistent(Container* root) {
    auto derived_ok = [](Widget* w) {
        StyleSheet s = w->style;
        s.restate();
        return s.active == w->style.active && s.state == w->style.state;
    };
    auto links_name_children = [](Widget* w) {
        Container* c = dynamic_cast<Container*>(w);
        if (!c) return true;
        for (Widget* link : {c->hover, c->focus}) {
            bool child = link == nullptr;
            for (Widget* k : c->widgets) child = child || k == link;
            if (!child) return false;
        }
        return true;
    };
    if (!derived_ok(root)) return ::testing::AssertionFailure() << "root: derived style state is stale";
    size_t flagged = 0;
    for (Widget* w : root->_list_descendants()) {
        if (!derived_ok(w)) return ::testing::AssertionFailure() << w->name << ": derived style state is stale";
        if (w->style.focus) flagged++;
        Container* p = w->parent;
        if ((w->style.hover != 0) != (p->hover == w))
            return ::testing::AssertionFailure() << w->name << ": hover flag " << w->style.hover
                                                 << " but the parent's link " << (p->hover == w ? "names it" : "does not");
        if ((w->style.focus != 0) != (p->focus == w))
            return ::testing::AssertionFailure() << w->name << ": focus flag " << w->style.focus
                                                 << " but the parent's link " << (p->focus == w ? "names it" : "does not");
        if (!links_name_children(w)) return ::testing::AssertionFailure() << w->name << ": a link names no child";
    }
    if (!links_name_children(root)) return ::testing::AssertionFailure() << "root: a link names no child";
    size_t chain = 0;
    for (Container* c = root; c && c->focus; c = dynamic_cast<Container*>(c->focus)) chain++;
    if (chain != flagged)
        return ::testing::AssertionFailure() << flagged << " widgets flagged focused, " << chain << " on the chain";
    return ::testing::AssertionSuccess();
}

} // namespace gui_test
