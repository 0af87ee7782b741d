#include "zov_gui_input.h"

#include <climits>
#include <cstdint>
#include <cstdio>

#include "zov_driver.h"
#include "zov_gfx.h"
#include "zov_gfx_draw.h"
#include "zov_util.h"

namespace {

const int KEY_MOD_SHIFT = 1;
const int KEY_MOD_COMMAND = 2 | 4 | 8; // ctrl, alt or GUI

} // namespace

// ====== Construction and value ======

TextInput::TextInput(ZovGuiFont f, const char* text, unsigned limit) : fnt(f), txt(text ? text : "") {
    maxlen = txt.size() > limit ? (unsigned)txt.size() : limit;
    useful = 1;
    _mktxt2();
    style.loop();
    resize();
    _adjust(false, false);
}

const char* TextInput::get_value_s() { return txt.c_str(); }

void TextInput::set_value_s(const char* s) { _change(0, (int)txt.size(), s ? s : ""); }

var TextInput::get_value() { return var(txt); }

void TextInput::set_value(var v) { _change(0, (int)txt.size(), v.__str__()); }

// ====== Changes and history ======

std::string TextInput::_filter(const std::string& s) {
    std::string out = s;
    for (char& c : out) {
        if (c == '\n' && !wrap) c = ' ';
        if (c != '\n' && ((signed char)c < 32 || c == 127)) c = '?';
    }
    return out;
}

// Undo and redo replay stored positions; they are kept within the text, so
// a value written into `txt` directly cannot make them cut outside it.
void TextInput::_apply(int p, int n, const std::string& b) {
    const int len = (int)txt.size();
    p = _max(0, _min(p, len));
    n = _max(0, _min(n, len - p));
    txt = txt.substr(0, p) + b + txt.substr(p + n);
    _mktxt2();
}

void TextInput::_change(int p, int n, std::string b) {
    if (p < 0 || n < 0) return;
    const int64_t len = (int64_t)txt.size();
    if ((int64_t)p + n > len) n = (int)(len - p);
    if (n < 0) return;
    const int64_t kept = len - n;
    if (kept + (int64_t)b.size() > (int64_t)maxlen) {
        const int64_t room = (int64_t)maxlen - kept;
        if (room < 0) return;
        b.resize((size_t)room);
    }
    b = _filter(b);

    TextInputChange rec;
    rec.p = pos;
    rec.pos = p;
    rec.a = txt.substr(p, n);
    rec.b = b;
    rec.print("_change", undo_n);
    _apply(p, n, b);
    pos = _pos = p + (int)b.size();

    undo.resize(undo_n);
    undo.push_back(rec);
    undo_n++;
    if (undo_n > TEXTINPUT_UNDO_MAX) {
        undo.erase(undo.begin());
        undo_n = TEXTINPUT_UNDO_MAX;
    }
}

void TextInput::_undo() {
    if (undo_n <= 0) return;
    undo_n--;
    const TextInputChange& r = undo[undo_n];
    r.print("_undo", undo_n);
    _apply(r.pos, (int)r.b.size(), r.a);
    pos = _pos = r.p;
}

void TextInput::_redo() {
    if (undo_n >= (int)undo.size()) return;
    const TextInputChange& r = undo[undo_n];
    r.print("_redo", undo_n);
    _apply(r.pos, (int)r.a.size(), r.b);
    pos = _pos = r.pos + (int)r.b.size();
    undo_n++;
}

void TextInput::_mktxt2() {
    if (!passwd) {
        txt2 = txt;
        return;
    }
    txt2.assign(txt.size(), '*');
    if (reveal && !txt.empty()) txt2.back() = txt.back();
}

std::string TextInput::_selected() const {
    const int len = (int)txt.size();
    const int a = _max(0, _min(_min(_pos, pos), len)), b = _max(0, _min(_max(_pos, pos), len));
    return txt.substr(a, b - a);
}

void TextInput::_replace_selection(const std::string& b) { _change(_min(_pos, pos), _abs(_pos - pos), b); }

// ====== Caret and scrolling ======

int TextInput::_wrap_w() const { return wrap ? trunc_int(rect.w - cursor_w) : 0; }

void TextInput::_adjust(bool reset_cx, bool follow_caret) {
    if (reset_cx) cx = -1;
    const int W = _wrap_w();
    const int tw = fnt.get_width(txt2.c_str(), W), th = fnt.get_height(txt2.c_str(), W);
    if (follow_caret) {
        GfxRect r = fnt.crect(txt2.c_str(), pos, W, -1);
        if (view.x > r.x) view.x = r.x;
        if (r.x + cursor_w > view.x + rect.w) view.x = r.x + cursor_w - rect.w;
        if (view.y > r.y) view.y = r.y;
        if (r.y + r.h > view.y + rect.h) view.y = r.y + r.h - rect.h;
    }
    view.x = (MyRectNumber)_max(0, _min(trunc_int(tw - rect.w + cursor_w), trunc_int(view.x)));
    view.y = (MyRectNumber)_max(0, _min(trunc_int(th - rect.h), trunc_int(view.y)));
}

void TextInput::_click(int x, int y, bool move_anchor) {
    pos = fnt.cnear(txt2.c_str(), x, y, _wrap_w(), -1);
    if (move_anchor) _pos = pos;
}

// ====== Events ======

var TextInput::event(Event* e) {
    const int t = e->type;
    if (t != EVT_KEYDOWN && t != EVT_KEYUP) {
        var r = Widget::event(e);
        if (r.__type__() != VAR_NONE) return r;
    }
    switch (t) {
    case EVT_CLICK: {
        // A click made from Space or Enter (v 7) shows no keyboard.
        if (e->v == EVT_KEYUP) return var();
        std::fprintf(stderr, "input:evt_click\n");
        reveal = 0;
        MyRect box = get_abs_rect(true);
        gfx_focus(GfxRect(box.x, box.y, box.w, box.h));
        driver_keyboard_show();
        return var();
    }
    case EVT_FOCUS:
        std::fprintf(stderr, "evt_focus\n");
        if (!wrap) {
            _pos = 0;
            pos = (int)txt.size();
        }
        _adjust(true, true);
        return var();
    case EVT_BLUR:
        reveal = 0;
        driver_keyboard_hide();
        gfx_blur();
        if (!wrap) view.x = view.y = 0;
        _adjust(false, false);
        return var();
    case EVT_DOWN:
        std::fprintf(stderr, "evt_down\n");
        _click(trunc_int(view.x + e->x), trunc_int(view.y + e->y), true);
        _adjust(true, true);
        return var();
    case EVT_MOTION:
    case EVT_UP:
        // A drag or a release extends the selection from the anchor.
        if (t == EVT_MOTION && !(style.focus && e->b)) return var();
        _click(trunc_int(view.x + e->x), trunc_int(view.y + e->y), false);
        _adjust(true, true);
        return var();
    case EVT_WHEEL:
        view.y += e->dy * fnt.get_height(nullptr, 0);
        _adjust(false, false);
        return var();
    case EVT_KEYDOWN:
        return _key(e);
    }
    return var();
}

var TextInput::_key(Event* e) {
    if (e->v == KEY_RETURN && !wrap) {
        driver_keyboard_hide();
        return onchange;
    }
    reveal = 0;
    const bool shift = (e->b & KEY_MOD_SHIFT) != 0, command = (e->b & KEY_MOD_COMMAND) != 0;
    const bool selection = _pos != pos;
    const int len = (int)txt.size(), W = _wrap_w();
    int typed = e->c;
    switch (e->v) {
    case KEY_TAB:
        return Widget::event(e);
    case KEY_BACKSPACE:
        if (selection) _replace_selection("");
        else if (pos > 0) _change(pos - 1, 1, "");
        _adjust(true, true);
        return var();
    case KEY_DELETE:
        if (selection) _replace_selection("");
        else _change(pos, 1, "");
        _adjust(true, true);
        return var();
    case KEY_LEFT:
    case KEY_RIGHT: {
        const bool left = e->v == KEY_LEFT;
        if (selection && !shift) {
            pos = _pos = left ? _min(_pos, pos) : _max(_pos, pos);
        } else {
            if (left && pos > 0) pos--;
            if (!left && pos < len) pos++;
            if (!shift) _pos = pos;
        }
        _adjust(true, true);
        return var();
    }
    case KEY_UP:
    case KEY_DOWN: {
        if (!wrap) return Widget::event(e);
        GfxRect r = fnt.crect(txt2.c_str(), pos, W, -1);
        if (cx == -1) cx = trunc_int(r.x + r.w / 2);
        const double y = e->v == KEY_UP ? r.y - r.h / 2 : r.y + r.h + r.h / 2;
        _click(cx, trunc_int(y), !shift);
        _adjust(false, true);
        return var();
    }
    case KEY_HOME:
    case KEY_END: {
        GfxRect r = fnt.crect(txt2.c_str(), pos, W, -1);
        const int x = e->v == KEY_HOME ? 0 : fnt.get_width(txt2.c_str(), W);
        _click(x, trunc_int(r.y + r.h / 2), !shift);
        _adjust(true, true);
        return var();
    }
    case KEY_RETURN: // only a wrapping field gets here
        typed = '\n';
        break;
    case KEY_z:
        if (!command) break;
        if (shift) _redo();
        else _undo();
        _adjust(true, true);
        return var();
    case KEY_x:
        if (!command) break;
        if (!passwd) driver_clipboard_set_text(_selected());
        _replace_selection("");
        _adjust(true, true);
        return var();
    case KEY_c:
        if (!command) break;
        if (!passwd) driver_clipboard_set_text(_selected());
        return var();
    case KEY_v:
        if (!command) break;
        _replace_selection(driver_clipboard_get_text());
        _adjust(true, true);
        return var();
    }
    if (typed == '\n' || (typed >= 32 && typed <= 126)) _replace_selection(std::string(1, (char)typed));
    _adjust(true, true);
    return var();
}

// ====== Layout and painting ======

void TextInput::resize() {
    const StyleData& s = style.data[STYLE_CUR];
    const int w0 = wrap ? trunc_int(rect.w) : 0;
    rect.h = s.height != STYLE_UNSET_F ? s.height : (MyRectNumber)fnt.get_height(txt.c_str(), w0);
    if (s.width != STYLE_UNSET_F) {
        rect.w = s.width;
    } else {
        const MyRectNumber natural = (MyRectNumber)fnt.get_width(txt.c_str(), 0);
        rect.w = (MyRectNumber)trunc_int(rect.h > natural ? rect.h : natural);
    }
}

void TextInput::paint() {
    _mktxt2();
    _enable_clip();
    const float vx = view.x, vy = view.y;
    gfx_translate(-vx, -vy);
    const int W = _wrap_w();
    const char* shown = txt2.c_str();
    if (style.focus) {
        GfxRect c = fnt.crect(shown, pos, W, -1);
        if (_pos != pos) {
            GfxRect a = fnt.crect(shown, _min(_pos, pos), W, -1);
            GfxRect b = fnt.crect(shown, _max(_pos, pos), W, -1);
            const int ax = trunc_int(a.x), ay = trunc_int(a.y), ah = trunc_int(a.h);
            const int bx = trunc_int(b.x), by = trunc_int(b.y), bh = trunc_int(b.h);
            if (a.y == b.y) {
                gfx_fill(TEXTINPUT_SELECTION, ax, ay, bx - ax, ah);
            } else {
                gfx_fill(TEXTINPUT_SELECTION, ax, ay, W - ax, ah);
                gfx_fill(TEXTINPUT_SELECTION, 0, ay + ah, W, by - (ay + ah));
                gfx_fill(TEXTINPUT_SELECTION, 0, by, bx, bh);
            }
        }
        fnt.draw(shown, 0, 0, W, -1);
        gfx_fill(TEXTINPUT_CARET, trunc_int(c.x), trunc_int(c.y), cursor_w, trunc_int(c.h));
    } else {
        fnt.draw(shown, 0, 0, W, -1);
    }
    gfx_translate(vx, vy);
    _disable_clip();
}
