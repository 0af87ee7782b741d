// zov_gui_input: the toolkit's editable text field.
//
// `TextInput` holds a byte string with a caret and a selection, filters what
// is typed or pasted, limits the length, keeps an undo and redo history of
// its changes, talks to the clipboard, scrolls its content to keep the caret
// in view, can mask its text for passwords and shows and hides the screen
// keyboard.  Single-line unless `wrap` is set: then line feeds are kept, the
// text wraps at the field's width and Up and Down move between lines.  Enter
// in a single-line field returns `onchange` to whoever routes the event.
//
// State lives in the field; its container owns it.  Main thread only.  Text
// goes through the field's font with alignment -1 at the content origin;
// clicks need the graphics module (`gfx_init`), painting a GL context.
#pragma once

#include <string>
#include <vector>

#include "zov_gui.h"
#include "zov_gui_layout.h"

// One recorded change: the caret before it, where it happened, the bytes it
// removed and the bytes it inserted.
struct TextInputChange {
    int p = 0;
    int pos = 0;
    std::string a;
    std::string b;

    // A tracing hook, called with "_change", "_undo" or "_redo" and the
    // history position; it does nothing.
    void print(const char* label, int n) const {
        (void)label;
        (void)n;
    }
};

constexpr unsigned TEXTINPUT_SELECTION = 0x55AAFF; // fill behind the selected bytes
constexpr unsigned TEXTINPUT_CARET = 0xFFFFFF;     // caret fill
constexpr int TEXTINPUT_UNDO_MAX = 255;            // records the history keeps

// Editing, as key-down events (shift = b & 1, command = b & 14):
//
//   key                 selection            no selection
//   Backspace           deleted              byte before the caret deleted
//   Delete              deleted              byte after the caret deleted
//   Left / Right        collapsed to its     caret moves one byte; with
//                       start / end          shift the anchor stays
//   Home / End          caret to the start / end of the caret's line
//   Up / Down           wrapping: one line up / down, keeping the x of the
//                       first move; single-line: arrow navigation
//   command+z           undo; with shift: redo
//   command+x / c       cut / copy (a password field copies nothing)
//   command+v           paste over the selection
//   Enter               single-line: returns onchange; wrapping: a line feed
//   a byte 32..126      typed over the selection
//
// A press puts the caret at the nearest character; dragging or releasing
// extends the selection from the anchor.  Focusing a single-line field
// selects everything.
class TextInput : public Widget {
public:
    ZovGuiFont fnt;
    std::string txt;                   // the value
    std::string txt2;                  // what is shown: txt, or its mask
    std::vector<TextInputChange> undo; // the history
    int undo_n = 0;                    // records applied; the rest can be redone
    int _pos = 0;                      // the anchor: the selection's other end
    int pos = 0;                       // the caret
    int cursor_w = 2;                  // caret width in pixels
    int cx = -1;                       // x kept across Up/Down moves; -1: none
    unsigned maxlen;                   // longest value in bytes
    int passwd = 0;                    // show '*' for every byte
    int reveal = 0;                    // with passwd: show the last byte
    int wrap = 0;                      // multi-line mode

    // The text is taken as it is (neither filtered nor cut); the limit is at
    // least its length.  A null text is the empty text.
    TextInput(ZovGuiFont fnt, const char* text, unsigned maxlen);

    const char* get_value_s() override;
    // Replaces the whole value as one recorded change.
    void set_value_s(const char* s) override;
    var get_value() override;
    void set_value(var v) override;
    var event(Event* e) override;
    void paint() override;
    // The style size, else the text's own (at least one line high and as
    // wide as high).
    void resize() override;
    using Widget::resize;

    // Wrapping: line feeds stay, else they become spaces; other control
    // bytes, 127 and bytes from 128 on become '?'.
    std::string _filter(const std::string& s);
    // txt = txt[0, p) + b + txt[p + n, end); then the shown text.
    void _apply(int p, int n, const std::string& b);
    // Replaces n bytes at p by the filtered b, cut to the length limit, as
    // one recorded change; the caret goes after the inserted bytes.  Does
    // nothing for a negative p or n or a p beyond the end.
    void _change(int p, int n, std::string b);
    void _undo();
    void _redo();
    // Scrolls to keep the caret in view (follow_caret) and clamps the
    // scroll to the text; reset_cx forgets the Up/Down x.
    void _adjust(bool reset_cx, bool follow_caret);
    // The caret to the character nearest (x, y) in text coordinates; the
    // anchor follows when move_anchor.
    void _click(int x, int y, bool move_anchor);
    void _mktxt2();
    static int _min(int a, int b) { return a < b ? a : b; }
    static int _max(int a, int b) { return a > b ? a : b; }
    static int _abs(int a) { return a < 0 ? -a : a; }

private:
    // The wrap width: the content width less the caret when wrapping, else 0.
    int _wrap_w() const;
    // Replaces the selection (possibly empty) by b.
    void _replace_selection(const std::string& b);
    // The selected bytes of txt.
    std::string _selected() const;
    // A key-down: editing, caret moves, history and clipboard.
    var _key(Event* e);
};
