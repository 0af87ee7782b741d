// zov_gui: the core of the retained-mode widget toolkit.
//
// What it holds: the rectangle `MyRect`; the style sheet of every widget
// (`StyleData`, `StyleSheet`: base values, one set per interaction state, an
// alternative set, and the current set that steps toward its target once
// per layout pass); `Widget` and `Container` (a widget that owns children);
// and `Theme`, the box model and painter every widget goes through.
//
// Widgets never call handlers.  Handling an event returns the matching
// handler value (a `var`, often none) and routing merges the values met on
// the way: the last non-none value wins.  The caller decides what it means.
//
// Frames: a widget's `_rect` is its outer box (margin + border + padding
// around the content) in its parent's content coordinates; `rect.x`,
// `rect.y` are the left and top extents and `rect.w`, `rect.h` the content
// size.  A parent reaches a child only through the underscore operations
// (`_event`, `_paint`, `_resize`), which apply the child's box model; the
// plain operations work inside the content box.  A root is driven through
// the plain ones, so its own box is never applied.
//
// Ownership: a container owns its children from `add` on and deletes them
// with itself.  State lives in the widgets themselves; `Theme` has none.
// Main thread only.  Painting needs the graphics module (`gfx_init`) and a
// GL context; sounds go through the sound registry, which plays nothing
// outside `mixer_init` .. `mixer_deinit`.
#pragma once

#include <string>
#include <vector>

#include "zov_event.h"
#include "zov_var.h"

// ====== Rectangle ======

typedef float MyRectNumber;

// A float rectangle, y growing downwards.  The getters add in floating point
// and then truncate toward zero (clamped to the int range).
struct MyRect {
    MyRectNumber x, y, w, h;
    MyRect(MyRectNumber x = 0, MyRectNumber y = 0, MyRectNumber w = 0, MyRectNumber h = 0)
        : x(x), y(y), w(w), h(h) {}
    int get_left() const;
    int get_top() const;
    int get_right() const;
    int get_bottom() const;
    int get_centerx() const;
    int get_centery() const;
};

// ====== Style sheet ======

// The absence of a style value, in int fields and (as -16777215.0, exact in
// a float) in the two size fields.  Readers substitute 0 or a stated default.
const int STYLE_UNSET = -16777215;
const MyRectNumber STYLE_UNSET_F = -16777215.0f;

// Sides of the four-sided fields.
enum { STYLE_TOP = 0, STYLE_RIGHT = 1, STYLE_BOTTOM = 2, STYLE_LEFT = 3 };

// The six sets of a style sheet.  Only STYLE_CUR is ever displayed; the
// state sets and the base are targets it steps toward.
enum { STYLE_NONE = 0, STYLE_CUR = 1, STYLE_HOVER = 2, STYLE_FOCUS = 3, STYLE_ACTIVE = 4, STYLE_ALT = 5, STYLE_MAX = 6 };

// One set of style values; every field starts STYLE_UNSET.
struct StyleData {
    // A fill: an image (stretched, nine-slice with `edge`, or tiled with
    // `tile`) tinted by `color` and `alpha`, or a plain `color` fill.
    struct Draw {
        int image, color, alpha, edge, tile;
        Draw();
    };

    MyRectNumber width, height; // content size; unset counts 0
    int clip;                   // non-zero: the widget clips its content
    int align, valign;          // -1 start, 0 centre, 1 end
    int color, alpha;           // text colour 0xRRGGBB and alpha
    int border[4];              // per side (STYLE_TOP ...)
    int border_color;           // unset: no border drawn (its space is kept)
    int padding[4];
    int margin[4];
    Draw background, overlay;   // both over the padding box, before content
    int sfx_onclick, sfx_ondown, sfx_onup, sfx_onenter, sfx_onfocus; // sample ids

    StyleData();
    // Top gets the first value; each other side its own value, or the first
    // when its own is STYLE_UNSET.
    void set_padding(int top, int right, int bottom, int left);
    void set_margin(int top, int right, int bottom, int left);
    void set_border(int top, int right, int bottom, int left);
};

// The base values (inherited) plus the six sets and the interaction flags.
struct StyleSheet : StyleData {
    StyleData data[STYLE_MAX];
    int hover = 0;  // 1 while in the hover chain
    int focus = 0;  // 1 while in the focus chain
    int active = 0; // derived: hover and focus
    int alt = 0;    // non-zero: the STYLE_ALT set takes precedence
    int state = STYLE_NONE; // derived: the set of the current state

    // Derives `active` and `state` from `hover` and `focus`.
    void restate();
    // One step of every current value toward its target: the ALT value (when
    // `alt`), else the state set's, else the base.  An unset target leaves
    // the value alone; an unset current value takes the target at once.
    void loop();

    // Step functions (current a, target b, step c).  i_prep moves by at most
    // c and lands exactly on b; n_prep switches; c_prep steps the three
    // channels of 0xRRGGBB separately by at most c each.
    static int i_prep(int a, int b, int c);
    static int n_prep(int a, int b, int c);
    static int c_prep(int a, int b, int c);
};

// ====== Widgets ======

class Container;

// A widget: two boxes, handler values, a name, a style sheet.  Not copy-
// constructible (a copy would share nothing sensible with its tree);
// assignment copies every field but the target's own `parent`.
class Widget {
public:
    int _type = 0;
    Container* parent = nullptr; // owner; null for a root
    Widget* next = nullptr;      // where Tab moves the focus (not owned)
    MyRect rect;                 // content box
    MyRect _rect;                // outer box, in the parent's content frame
    MyRect view;                 // scroll offset of the content (x, y)
    var onclick, ondown, onup, onmove, onchange, onenter, onexit, onfocus;
    std::string name;
    StyleSheet style;
    int ignore = 0; // skipped by hit tests, broadcasts, focus search, navigation
    int useful = 0; // can take the focus
    int b_col = 0, b_row = 0;         // table cell
    int b_colspan = 1, b_rowspan = 1; // table cell span
    int b_x = 0, b_y = 0;             // declared cell position; unread

    Widget() = default;
    Widget(const Widget&) = delete;
    Widget& operator=(const Widget& other);
    virtual ~Widget();

    // The widget itself when `name` equals its name; null for a null name.
    virtual Widget* find(const char* name);
    virtual const char* get_value_s();
    virtual void set_value_s(const char* s);
    virtual int get_value_i();
    virtual void set_value_i(int v);
    virtual var get_value();
    virtual void set_value(var v);
    // Moves the focus (hover) chain to end here: clears the old chain from
    // the root, then notifies this widget and every ancestor.  None when the
    // widget already holds it.
    virtual var _focus();
    virtual var _hover();
    // The deepest hovered widget below this one, or null.
    virtual Widget* find_hover();
    // _hover() then _focus(), merged.
    virtual var active();
    // Every descendant in pre-order.
    virtual std::vector<Widget*> _list_descendants();
    // True when this is the deepest widget of the focus chain.
    virtual bool _is_focus();
    // Base handling: Tab to `next`, arrow navigation, flag changes, and the
    // handler value that matches the event (content coordinates).
    virtual var event(Event* e);
    virtual void loop();
    virtual void paint();
    // Content size from the current style's width and height.
    virtual void resize();
    virtual void resize(int w, int h);
    // Through the theme: box model, sounds, coordinate change.
    virtual var _event(Event* e);
    virtual void _paint();
    virtual void _resize();
    virtual void _resize(int w, int h);

    Widget* _find_top();
    // Arrow-key navigation from the deepest focused widget: the nearest
    // useful widget strictly on that side (distance between facing edges,
    // the cross-axis part doubled); ties go to the earlier in pre-order.
    var _nav(int dx, int dy);
    // The box on the screen: the content (false) or the outer box (true).
    MyRect get_abs_rect(bool inc_style);
    // Clip to / release the content box, around content painting.
    void _enable_clip();
    void _disable_clip();

private:
    var _move_chain(int StyleSheet::*flag, Widget* Container::*link, int clear_type, int set_type);
};

// A widget that owns children, routes events to them and lays them out.
class Container : public Widget {
public:
    std::vector<Widget*> widgets; // owned; paint order, hit-tested last first
    Widget* hover = nullptr;      // hovered child (a link of the hover chain)
    Widget* focus = nullptr;      // focused child (a link of the focus chain)
    int first = 0;                // re-entry guard of _find_focus

    Container() = default;
    // The widget fields as Widget::operator=; then the target's children are
    // deleted and it is left with none (the source's are not copied).
    Container& operator=(const Container& other);
    ~Container() override;

    // The first match in child order (depth first), then this one's own name.
    Widget* find(const char* name) override;
    Widget* find_hover() override;
    std::vector<Widget*> _list_descendants() override;
    bool _is_focus() override;
    var event(Event* e) override;
    void loop() override;
    void paint() override;
    void resize() override;
    using Widget::resize;

    // Takes ownership of w at (x, y) of this content box, steps its style
    // once and sizes its content.  Ignores null; refuses (with one line on
    // standard error) a widget that already has a parent, this container
    // itself or one of its ancestors.  True when w was added.
    bool add(Widget* w, int x, int y);
    // Deletes every child, in child order, and empties the list.
    void _container_destroy();
    // Gives the focus and the hover to the first focusable widget of the
    // whole tree, in pre-order; does nothing when re-entered.
    void _find_focus();

private:
    Widget* _hit(float x, float y, bool need_useful);
};

// ====== Theme ======

// The box model, the GUI sounds and the styled painting.  No state.
struct Theme {
    // Extents (margin + border + padding per side) around the content size
    // that the widget's resize() chooses.
    static void resize(Widget* w);
    // The same with the content asked to fit an outer size.
    static void resize(Widget* w, int width, int height);
    // To content coordinates, plays the type's sound (chosen before the
    // widget handles the event), then the widget's event().
    static var event(Widget* w, Event* e);
    // Borders, background and overlay over the padding box, then the content.
    static void paint(Widget* w);
};

// Sets the draw colour (gfx_set_color) premultiplied: each channel times
// a / 255, truncating.
void guiColor4ub(unsigned char r, unsigned char g, unsigned char b, unsigned char a);
