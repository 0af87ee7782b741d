#include "zov_gui.h"

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>

#include "zov_gfx.h"
#include "zov_gfx_draw.h"
#include "zov_mixer.h"
#include "zov_util.h"

// ====== Helpers ======
namespace {

int clamp_int(int64_t v) {
    return v > INT_MAX ? INT_MAX : v < INT_MIN ? INT_MIN : (int)v;
}

// The routing rule: a value that is not none replaces the result so far.
void merge(var& result, const var& v) {
    if (v.__type__() != VAR_NONE) result = v;
}

bool holds(const MyRect& r, float x, float y) {
    return r.x <= x && x < r.x + r.w && r.y <= y && y < r.y + r.h;
}

// A copy of e with its position moved into the frame of a child at (dx, dy).
Event shifted(const Event* e, float dx, float dy) {
    Event c = *e;
    c.x -= dx;
    c.y -= dy;
    return c;
}

} // namespace

// ====== Rectangle ======

int MyRect::get_left() const { return trunc_int(x); }
int MyRect::get_top() const { return trunc_int(y); }
int MyRect::get_right() const { return trunc_int(x + w); }
int MyRect::get_bottom() const { return trunc_int(y + h); }
int MyRect::get_centerx() const { return trunc_int(x + w / 2.0); }
int MyRect::get_centery() const { return trunc_int(y + h / 2.0); }

// ====== Style sheet ======

StyleData::Draw::Draw()
    : image(STYLE_UNSET), color(STYLE_UNSET), alpha(STYLE_UNSET), edge(STYLE_UNSET), tile(STYLE_UNSET) {}

StyleData::StyleData()
    : width(STYLE_UNSET_F), height(STYLE_UNSET_F), clip(STYLE_UNSET), align(STYLE_UNSET),
      valign(STYLE_UNSET), color(STYLE_UNSET), alpha(STYLE_UNSET), border_color(STYLE_UNSET),
      sfx_onclick(STYLE_UNSET), sfx_ondown(STYLE_UNSET), sfx_onup(STYLE_UNSET),
      sfx_onenter(STYLE_UNSET), sfx_onfocus(STYLE_UNSET) {
    for (int i = 0; i < 4; i++) border[i] = padding[i] = margin[i] = STYLE_UNSET;
}

static void set_sides(int* side, int top, int right, int bottom, int left) {
    side[STYLE_TOP] = top;
    side[STYLE_RIGHT] = right == STYLE_UNSET ? top : right;
    side[STYLE_BOTTOM] = bottom == STYLE_UNSET ? top : bottom;
    side[STYLE_LEFT] = left == STYLE_UNSET ? top : left;
}

void StyleData::set_padding(int t, int r, int b, int l) { set_sides(padding, t, r, b, l); }
void StyleData::set_margin(int t, int r, int b, int l) { set_sides(margin, t, r, b, l); }
void StyleData::set_border(int t, int r, int b, int l) { set_sides(border, t, r, b, l); }

void StyleSheet::restate() {
    active = focus && hover ? 1 : 0;
    state = active ? STYLE_ACTIVE : focus ? STYLE_FOCUS : hover ? STYLE_HOVER : STYLE_NONE;
}

// The difference is taken in 64 bits: style values are arbitrary ints.
int StyleSheet::i_prep(int a, int b, int c) {
    int64_t d = (int64_t)b - a;
    int64_t mag = d < 0 ? -d : d;
    if ((int64_t)c > mag) return b;
    return clamp_int(a + (d > 0 ? 1 : d < 0 ? -1 : 0) * (int64_t)c);
}

int StyleSheet::n_prep(int, int b, int) { return b; }

int StyleSheet::c_prep(int a, int b, int c) {
    return i_prep(a & 0xFF0000, b & 0xFF0000, c << 16) | i_prep(a & 0xFF00, b & 0xFF00, c << 8) |
           i_prep(a & 0xFF, b & 0xFF, c);
}

void StyleSheet::loop() {
    // Where targets come from, in precedence order (the ALT set only with
    // `alt`); a bad `state` written from outside falls back to the base.
    const StyleData* sets[3] = {alt ? &data[STYLE_ALT] : nullptr,
                                state >= 0 && state < STYLE_MAX ? &data[state] : nullptr, this};
    StyleData& cur = data[STYLE_CUR];

    // One int field: `field` projects a set onto it.
    auto step = [&](auto field, int (*fn)(int, int, int), int c) {
        int target = STYLE_UNSET;
        for (const StyleData* s : sets) {
            if (s && field(const_cast<StyleData&>(*s)) != STYLE_UNSET) {
                target = field(const_cast<StyleData&>(*s));
                break;
            }
        }
        int& v = field(cur);
        if (target == STYLE_UNSET) return;
        v = v == STYLE_UNSET ? target : fn(v, target, c);
    };
    // A size: stepped on the truncated values, so a fraction is dropped by
    // every step but the first.
    auto step_size = [&](auto field) {
        MyRectNumber target = STYLE_UNSET_F;
        for (const StyleData* s : sets) {
            if (s && field(const_cast<StyleData&>(*s)) != STYLE_UNSET_F) {
                target = field(const_cast<StyleData&>(*s));
                break;
            }
        }
        MyRectNumber& v = field(cur);
        if (target == STYLE_UNSET_F) return;
        v = v == STYLE_UNSET_F ? target : (MyRectNumber)i_prep(trunc_int(v), trunc_int(target), 1000);
    };
    auto step_draw = [&](StyleData::Draw StyleData::*d) {
        step([d](StyleData& s) -> int& { return (s.*d).image; }, n_prep, 0);
        step([d](StyleData& s) -> int& { return (s.*d).color; }, c_prep, 36);
        step([d](StyleData& s) -> int& { return (s.*d).alpha; }, i_prep, 36);
        step([d](StyleData& s) -> int& { return (s.*d).edge; }, i_prep, 1);
        step([d](StyleData& s) -> int& { return (s.*d).tile; }, i_prep, 1);
    };

    step_size([](StyleData& s) -> MyRectNumber& { return s.width; });
    step_size([](StyleData& s) -> MyRectNumber& { return s.height; });
    step([](StyleData& s) -> int& { return s.clip; }, n_prep, 0);
    step([](StyleData& s) -> int& { return s.align; }, n_prep, 0);
    step([](StyleData& s) -> int& { return s.valign; }, n_prep, 0);
    step([](StyleData& s) -> int& { return s.color; }, c_prep, 36);
    step([](StyleData& s) -> int& { return s.alpha; }, i_prep, 36);
    for (int i = 0; i < 4; i++) step([i](StyleData& s) -> int& { return s.border[i]; }, i_prep, 1);
    step([](StyleData& s) -> int& { return s.border_color; }, c_prep, 36);
    for (int i = 0; i < 4; i++) step([i](StyleData& s) -> int& { return s.padding[i]; }, i_prep, 1);
    for (int i = 0; i < 4; i++) step([i](StyleData& s) -> int& { return s.margin[i]; }, i_prep, 1);
    step_draw(&StyleData::background);
    step_draw(&StyleData::overlay);
    step([](StyleData& s) -> int& { return s.sfx_onclick; }, n_prep, 0);
    step([](StyleData& s) -> int& { return s.sfx_ondown; }, n_prep, 0);
    step([](StyleData& s) -> int& { return s.sfx_onup; }, n_prep, 0);
    step([](StyleData& s) -> int& { return s.sfx_onenter; }, n_prep, 0);
    step([](StyleData& s) -> int& { return s.sfx_onfocus; }, n_prep, 0);
}

// ====== Widget ======

Widget& Widget::operator=(const Widget& o) {
    if (this == &o) return *this;
    // `parent` stays: the target is still where its owner put it, and taking
    // the source's owner would make two containers claim one child.
    _type = o._type;
    next = o.next;
    rect = o.rect;
    _rect = o._rect;
    view = o.view;
    onclick = o.onclick;
    ondown = o.ondown;
    onup = o.onup;
    onmove = o.onmove;
    onchange = o.onchange;
    onenter = o.onenter;
    onexit = o.onexit;
    onfocus = o.onfocus;
    name = o.name;
    // The interaction flags stay too: they say where the target is in its
    // own tree's hover and focus chains.
    int hover = style.hover, focus = style.focus;
    style = o.style;
    style.hover = hover;
    style.focus = focus;
    style.restate();
    ignore = o.ignore;
    useful = o.useful;
    b_col = o.b_col;
    b_row = o.b_row;
    b_colspan = o.b_colspan;
    b_rowspan = o.b_rowspan;
    b_x = o.b_x;
    b_y = o.b_y;
    return *this;
}

Widget::~Widget() = default;

Widget* Widget::find(const char* n) { return n && name == n ? this : nullptr; }
const char* Widget::get_value_s() { return nullptr; }
void Widget::set_value_s(const char*) {}
int Widget::get_value_i() { return 0; }
void Widget::set_value_i(int) {}
var Widget::get_value() { return var(); }
void Widget::set_value(var) {}
Widget* Widget::find_hover() { return nullptr; }
std::vector<Widget*> Widget::_list_descendants() { return {}; }
bool Widget::_is_focus() { return style.focus != 0; }
void Widget::loop() {}
void Widget::paint() {}
void Widget::resize(int, int) { resize(); }

void Widget::resize() {
    const StyleData& s = style.data[STYLE_CUR];
    rect.w = s.width == STYLE_UNSET_F ? 0 : s.width;
    rect.h = s.height == STYLE_UNSET_F ? 0 : s.height;
}

var Widget::_event(Event* e) { return Theme::event(this, e); }
void Widget::_paint() { Theme::paint(this); }
void Widget::_resize() { Theme::resize(this); }
void Widget::_resize(int w, int h) { Theme::resize(this, w, h); }

Widget* Widget::_find_top() {
    Widget* w = this;
    while (w->parent) w = w->parent;
    return w;
}

// Hover and focus move the same way; they differ in the flag, the link and
// the two notifications:
//
//               flag          link              clears the old chain  sets the new
//   _focus      style.focus   Container::focus  EVT_BLUR              EVT_FOCUS
//   _hover      style.hover   Container::hover  EVT_EXIT              EVT_ENTER
//
// The old chain is cleared from the root down (through the root's plain
// event), then this widget and each ancestor up to the root are notified
// through _event, so each plays its sound, and linked from their parents.
var Widget::_move_chain(int StyleSheet::*flag, Widget* Container::*link, int clear_type, int set_type) {
    if (style.*flag) return var();
    var r;
    // A local, not a member: the notifications re-enter event routing.
    Event scratch(clear_type);
    merge(r, _find_top()->event(&scratch));
    for (Widget* w = this; w; w = w->parent) {
        scratch.type = set_type;
        merge(r, w->_event(&scratch));
        Container* p = w->parent;
        if (!p) break;
        // A link the clear above did not reach (a pointer event routed to a
        // focused container can hover inside it while another sibling is
        // hovered) is cleared before it is replaced, so no flag stays set
        // on a widget that its parent no longer links.
        Widget* old = p->*link;
        if (old && old != w) {
            scratch.type = clear_type;
            merge(r, old->_event(&scratch));
        }
        p->*link = w;
    }
    return r;
}

var Widget::_focus() { return _move_chain(&StyleSheet::focus, &Container::focus, EVT_BLUR, EVT_FOCUS); }
var Widget::_hover() { return _move_chain(&StyleSheet::hover, &Container::hover, EVT_EXIT, EVT_ENTER); }

var Widget::active() {
    var r = _hover();
    merge(r, _focus());
    return r;
}

var Widget::event(Event* e) {
    if (e->type == EVT_KEYDOWN && e->v == KEY_TAB && next) next->_focus();
    switch (e->type) {
    case EVT_KEYDOWN:
        switch (e->v) {
        case KEY_UP: return _nav(0, -1);
        case KEY_RIGHT: return _nav(1, 0);
        case KEY_DOWN: return _nav(0, 1);
        case KEY_LEFT: return _nav(-1, 0);
        }
        return var();
    case EVT_CLICK: return onclick;
    case EVT_MOTION: return onmove;
    case EVT_DOWN: return ondown;
    case EVT_UP: return onup;
    case EVT_FOCUS:
        style.focus = 1;
        style.restate();
        return onfocus;
    case EVT_ENTER:
        style.hover = 1;
        style.restate();
        return onenter;
    case EVT_EXIT:
        style.hover = 0;
        style.restate();
        return onexit;
    case EVT_BLUR:
        style.focus = 0;
        style.restate();
        return var();
    }
    return var();
}

var Widget::_nav(int dx, int dy) {
    if (!_is_focus() || !useful) return var();
    std::vector<Widget*> all = _find_top()->_list_descendants();
    MyRect me = get_abs_rect(true);
    // The nearest candidate; the scan runs in pre-order and only a strictly
    // smaller distance replaces it, so ties go to the earlier widget.
    // (Distance and order are compared as a pair: a packed key would
    // overflow for far widgets or large trees.)
    Widget* best = nullptr;
    int64_t best_dist = 0;
    unsigned long candidates = 0;
    for (Widget* w : all) {
        if (w == this || w->style.focus || w->ignore || !w->useful) continue;
        MyRect r = w->get_abs_rect(true);
        int64_t ax = me.get_centerx(), ay = me.get_centery();
        int64_t bx = r.get_centerx(), by = r.get_centery();
        if ((dy < 0 && !(by < ay)) || (dx > 0 && !(bx > ax)) || (dy > 0 && !(by > ay)) ||
            (dx < 0 && !(bx < ax)))
            continue;
        if (dx > 0) ax = me.get_right(), bx = r.get_left();
        if (dx < 0) ax = me.get_left(), bx = r.get_right();
        if (dy > 0) ay = me.get_bottom(), by = r.get_top();
        if (dy < 0) ay = me.get_top(), by = r.get_bottom();
        double ddx = std::fabs((double)(bx - ax)), ddy = std::fabs((double)(by - ay));
        if (dx != 0) ddy *= 2.0;
        else ddx *= 2.0;
        // Truncated like an int distance; the clamp only keeps it defined.
        double d = std::sqrt(ddx * ddx + ddy * ddy);
        int64_t dist = d >= 9.0e18 ? INT64_MAX : (int64_t)d;
        candidates++;
        if (!best || dist < best_dist) {
            best = w;
            best_dist = dist;
        }
    }
    std::fprintf(stderr, "res.size: %lu\n", candidates);
    if (!best) return var();
    var r = best->_hover();
    merge(r, best->_focus());
    return r;
}

// Truncated after every step, as the screen position is built up in whole
// units from each level's offsets and its parent's scroll.
MyRect Widget::get_abs_rect(bool inc_style) {
    int X = 0, Y = 0;
    for (Widget* n = this; n; n = n->parent) {
        X = trunc_int(X + n->rect.x);
        X = trunc_int(X + n->_rect.x);
        Y = trunc_int(Y + n->rect.y);
        Y = trunc_int(Y + n->_rect.y);
        if (n->parent) {
            X = trunc_int(X - n->parent->view.x);
            Y = trunc_int(Y - n->parent->view.y);
        }
    }
    if (!inc_style) return MyRect(X, Y, rect.w, rect.h);
    return MyRect(X - rect.x, Y - rect.y, _rect.w, _rect.h);
}

void Widget::_enable_clip() { gfx_clip(0, 0, rect.w, rect.h); }
void Widget::_disable_clip() { gfx_unclip(); }

// ====== Container ======

Container& Container::operator=(const Container& o) {
    Widget::operator=(o);
    _container_destroy();
    hover = nullptr;
    focus = nullptr;
    first = 0;
    return *this;
}

Container::~Container() { _container_destroy(); }

void Container::_container_destroy() {
    // Taken out first, so nothing can reach a half-deleted list.
    std::vector<Widget*> old;
    old.swap(widgets);
    hover = nullptr;
    focus = nullptr;
    for (Widget* w : old) delete w;
}

bool Container::add(Widget* w, int x, int y) {
    if (!w) return false;
    bool loop = w->parent != nullptr;
    for (Widget* a = this; a && !loop; a = a->parent) loop = a == w;
    if (loop) {
        // Owned twice, or made its own descendant: refused, the caller keeps it.
        std::fprintf(stderr, "Container::add: widget \"%s\" already has a parent or would contain itself\n",
                     w->name.c_str());
        return false;
    }
    w->_rect.x = x;
    w->_rect.y = y;
    widgets.push_back(w);
    w->parent = this;
    w->style.loop();
    w->resize();
    return true;
}

Widget* Container::find(const char* n) {
    if (!n) return nullptr;
    for (Widget* w : widgets) {
        if (Widget* f = w->find(n)) return f;
    }
    return Widget::find(n);
}

Widget* Container::find_hover() {
    if (!hover) return nullptr;
    Widget* deeper = hover->find_hover();
    return deeper ? deeper : hover;
}

std::vector<Widget*> Container::_list_descendants() {
    std::vector<Widget*> out;
    for (Widget* w : widgets) {
        out.push_back(w);
        std::vector<Widget*> sub = w->_list_descendants();
        out.insert(out.end(), sub.begin(), sub.end());
    }
    return out;
}

bool Container::_is_focus() { return focus ? false : Widget::_is_focus(); }

// The topmost child (last added first) not ignored whose outer box holds the
// point; with need_useful only a focusable one.
Widget* Container::_hit(float x, float y, bool need_useful) {
    for (size_t i = widgets.size(); i-- > 0;) {
        Widget* w = widgets[i];
        if (!w->ignore && (!need_useful || w->useful) && holds(w->_rect, x, y)) return w;
    }
    return nullptr;
}

// One event from the parent (or the host), in this content frame:
//
//   event               hover                  focus              goes to
//   CLICK/ENTER/FOCUS   -                      -                  nobody (made per level)
//   ORIENT              -                      -                  every child not ignored
//   MOTION, b == 0      child under the point  -                  hovered child, else focused
//   MOTION, b != 0      kept (capture)         -                  hovered child, else focused
//   DOWN                child under the point  useful child there hovered child (v 23 when
//                                                                 it took the focus), else focused
//   UP                  child under the point  -                  focused child, then CLICK to it
//                                                                 when hover == focus
//   WHEEL               -                      -                  hovered child, else focused
//   EXIT                null (chain cleared)   -                  -
//   BLUR                -                      null (chain clr.)  -
//   KEYUP Space/Return  -                      -                  focused child, then CLICK v 7
//   anything else       -                      -                  focused child
var Container::event(Event* e) {
    var r;
    merge(r, Widget::event(e));
    const int t = e->type;
    if (t == EVT_CLICK || t == EVT_ENTER || t == EVT_FOCUS) return r;

    if (t == EVT_ORIENT) {
        r = var();
        for (size_t i = widgets.size(); i-- > 0;) {
            if (!widgets[i]->ignore) merge(r, widgets[i]->_event(e));
        }
        return r;
    }

    Widget* new_hover = hover;
    if ((t == EVT_MOTION && e->b == 0) || t == EVT_DOWN || t == EVT_UP) new_hover = _hit(e->x, e->y, false);
    if (t == EVT_EXIT) new_hover = nullptr;
    if (new_hover != hover) {
        // Locals: the notifications re-enter routing below this container.
        Event scratch(EVT_EXIT);
        if (hover) merge(r, hover->_event(&scratch));
        scratch.type = EVT_ENTER;
        if (new_hover) merge(r, new_hover->_event(&scratch));
        hover = new_hover;
    }
    if (t == EVT_EXIT) return r;

    int marker = 0;
    if (t == EVT_DOWN) {
        Widget* w = _hit(e->x, e->y, true);
        if (w && w != focus) {
            marker = EVT_FOCUS;
            merge(r, w->_focus());
        }
    }

    if (t == EVT_BLUR) {
        if (focus) {
            Event scratch(EVT_BLUR);
            merge(r, focus->_event(&scratch));
        }
        focus = nullptr;
        return r;
    }

    if (hover && (t == EVT_DOWN || t == EVT_MOTION || t == EVT_WHEEL)) {
        Event c = shifted(e, hover->_rect.x, hover->_rect.y);
        if (t == EVT_DOWN) c.v = marker;
        merge(r, hover->_event(&c));
        return r;
    }

    // Focus routing.  Handling the event may move the focus (Tab, arrows), so
    // each step asks again which child holds it.
    if (!focus) return r;
    Event c = shifted(e, focus->_rect.x, focus->_rect.y);
    merge(r, focus->_event(&c));
    if (focus && hover == focus && t == EVT_UP) {
        Event click = shifted(e, focus->_rect.x, focus->_rect.y);
        click.type = EVT_CLICK;
        merge(r, focus->_event(&click));
    }
    if (focus && t == EVT_KEYUP && (e->v == KEY_SPACE || e->v == KEY_RETURN)) {
        Event click = *e;
        click.type = EVT_CLICK;
        click.v = EVT_KEYUP;
        click.x = focus->_rect.w / 2;
        click.y = focus->_rect.h / 2;
        merge(r, focus->_event(&click));
    }
    return r;
}

void Container::_find_focus() {
    if (first) return;
    first++;
    for (Widget* w : _find_top()->_list_descendants()) {
        if (!w->ignore && w->useful) {
            w->_hover();
            w->_focus();
            break;
        }
    }
    first--;
}

void Container::loop() {
    if (!parent && !focus) _find_focus();
    for (size_t i = 0; i < widgets.size(); i++) widgets[i]->loop();
}

// The content size is the farthest right and bottom edge of the children's
// outer boxes, never below 0, truncated to whole units.  The maxima are kept
// in float: an edge may be negative or beyond any int.
void Container::resize() {
    float W = 0, H = 0;
    for (size_t i = 0; i < widgets.size(); i++) {
        Widget* w = widgets[i];
        w->style.loop();
        w->_resize();
        float right = w->_rect.x + w->_rect.w, bottom = w->_rect.y + w->_rect.h;
        if (right > W) W = right;
        if (bottom > H) H = bottom;
    }
    rect.w = std::trunc(W);
    rect.h = std::trunc(H);
}

void Container::paint() {
    for (size_t i = 0; i < widgets.size(); i++) {
        Widget* w = widgets[i];
        GfxRect box(w->_rect.x, w->_rect.y, w->_rect.w, w->_rect.h);
        if (!_gfx_clip(&box, nullptr)) continue;
        float dx = w->_rect.x, dy = w->_rect.y;
        gfx_translate(dx, dy);
        w->_paint();
        gfx_translate(-dx, -dy);
    }
}

// ====== Theme ======
namespace {

// A current style value with the unset sentinel read as 0.
int64_t or0(int v) { return v == STYLE_UNSET ? 0 : v; }

// Margin + border + padding of one side of the current set, in 64 bits so
// that no style value can overflow the sum.
int64_t extent(const StyleData& s, int side) {
    return or0(s.margin[side]) + or0(s.border[side]) + or0(s.padding[side]);
}

// The outer box follows the content size that resize() chose.
void place_content(Widget* w, int64_t top, int64_t right, int64_t bottom, int64_t left) {
    w->rect.x = (MyRectNumber)left;
    w->rect.y = (MyRectNumber)top;
    w->_rect.w = (MyRectNumber)((double)left + w->rect.w + (double)right);
    w->_rect.h = (MyRectNumber)((double)top + w->rect.h + (double)bottom);
}

} // namespace

void Theme::resize(Widget* w) {
    const StyleData& s = w->style.data[STYLE_CUR];
    w->resize();
    place_content(w, extent(s, STYLE_TOP), extent(s, STYLE_RIGHT), extent(s, STYLE_BOTTOM), extent(s, STYLE_LEFT));
}

void Theme::resize(Widget* w, int width, int height) {
    const StyleData& s = w->style.data[STYLE_CUR];
    int64_t t = extent(s, STYLE_TOP), r = extent(s, STYLE_RIGHT), b = extent(s, STYLE_BOTTOM),
            l = extent(s, STYLE_LEFT);
    w->resize(clamp_int(width - (l + r)), clamp_int(height - (t + b)));
    place_content(w, t, r, b, l);
}

var Theme::event(Widget* w, Event* e) {
    Event c = shifted(e, w->rect.x, w->rect.y);
    // Chosen from the current values before the widget handles the event, so
    // an enter or a focus sounds as the widget looked before it changed.
    const StyleData& s = w->style.data[STYLE_CUR];
    int sfx = STYLE_UNSET;
    switch (e->type) {
    case EVT_CLICK: sfx = s.sfx_onclick; break;
    case EVT_DOWN: sfx = s.sfx_ondown; break;
    case EVT_UP: sfx = s.sfx_onup; break;
    case EVT_ENTER: sfx = s.sfx_onenter; break;
    case EVT_FOCUS: sfx = s.sfx_onfocus; break;
    }
    if (sfx != STYLE_UNSET) mixer_sample_play(sfx, 1.0f, 0.0f);
    return w->event(&c);
}

namespace {

// A rectangle in whole units for the integer drawing calls; each coordinate
// truncated on its own.
struct IRect {
    int x, y, w, h;
    IRect(double x, double y, double w, double h)
        : x(trunc_int(x)), y(trunc_int(y)), w(trunc_int(w)), h(trunc_int(h)) {}
    bool empty() const { return w <= 0 || h <= 0; }
};

void fill(int color, const IRect& r) {
    if (!r.empty()) gfx_fill((unsigned)color, r.x, r.y, r.w, r.h);
}

// A background or overlay over the padding box (x, y, w, h).  Nothing of
// zero or negative size is drawn: a stretched image would otherwise come
// out at its natural size, outside the widget.
void paint_draw(const StyleData::Draw& d, double x, double y, double w, double h) {
    IRect r(x, y, w, h);
    if (d.image == STYLE_UNSET) {
        if (d.color != STYLE_UNSET) fill(d.color, r);
        return;
    }
    // A negative edge or a tile below 1 cannot be drawn; they count as unset.
    bool edge = d.edge != STYLE_UNSET && d.edge >= 0;
    bool tile = !edge && d.tile != STYLE_UNSET && d.tile >= 1;
    if (edge || tile ? r.empty() : (w <= 0 || h <= 0)) return;
    unsigned color = d.color == STYLE_UNSET ? 0xFFFFFF : (unsigned)d.color;
    unsigned alpha = d.alpha == STYLE_UNSET ? 255 : (unsigned)d.alpha;
    guiColor4ub(color >> 16, color >> 8, color, alpha);
    if (edge) gfx_img_box(d.image, r.x, r.y, r.w, r.h, d.edge);
    else if (!tile) gfx_img_blit(d.image, (float)x, (float)y, (float)w, (float)h);
    else gfx_img_tile(d.image, r.x, r.y, r.w, r.h, d.tile);
    guiColor4ub(255, 255, 255, 255);
}

} // namespace

// In the outer-box frame.  The top and bottom border strips span the
// corners; the side strips lie between them.  Margins are never painted.
void Theme::paint(Widget* w) {
    const StyleData& s = w->style.data[STYLE_CUR];
    const double mt = or0(s.margin[STYLE_TOP]), mr = or0(s.margin[STYLE_RIGHT]),
                 mb = or0(s.margin[STYLE_BOTTOM]), ml = or0(s.margin[STYLE_LEFT]);
    const double bt = or0(s.border[STYLE_TOP]), br = or0(s.border[STYLE_RIGHT]),
                 bb = or0(s.border[STYLE_BOTTOM]), bl = or0(s.border[STYLE_LEFT]);
    const double W = w->_rect.w, H = w->_rect.h;
    if (s.border_color != STYLE_UNSET) {
        fill(s.border_color, IRect(ml, mt, W - (ml + mr), bt));
        fill(s.border_color, IRect(ml, H - (mb + bb), W - (ml + mr), bb));
        fill(s.border_color, IRect(W - (mr + br), mt + bt, br, H - (mt + bt + bb + mb)));
        fill(s.border_color, IRect(ml, mt + bt, bl, H - (mt + bt + bb + mb)));
    }
    const double x0 = ml + bl, y0 = mt + bt, pw = W - (ml + bl + br + mr), ph = H - (mt + bt + bb + mb);
    paint_draw(s.background, x0, y0, pw, ph);
    paint_draw(s.overlay, x0, y0, pw, ph);
    const float dx = w->rect.x, dy = w->rect.y;
    gfx_translate(dx, dy);
    w->paint();
    gfx_translate(-dx, -dy);
}

void guiColor4ub(unsigned char r, unsigned char g, unsigned char b, unsigned char a) {
    gfx_set_color(r * a / 255, g * a / 255, b * a / 255, a);
}
