// The text input as state tables: what the text, the caret and the
// selection are after each key, press or change; the history; the filter
// and the length limit; scrolling; the clipboard.  Font: "mono" (every
// character 10 wide, lines 20 high).
#include <SDL.h>

#include <cstdlib>

#include "font/font_fixture.h"
#include "zov_gui_input.h"

namespace {

const int SHIFT = 1, CTRL = 2;

class GuiInput : public FontTest {
protected:
    // A field sized by hand: `width` wide (0: its own width), one line high.
    TextInput* field(const char* text, unsigned maxlen = 255, float width = 0) {
        fields.emplace_back(new TextInput(ZovGuiFont(mono), text, maxlen));
        TextInput* f = fields.back().get();
        if (width) {
            f->style.width = width;
            f->style.loop();
            f->resize();
        }
        return f;
    }

    static var send(TextInput* f, Event e) {
        Capture err(stderr); // the field's trace lines
        return f->event(&e);
    }
    static var key(TextInput* f, int v, int mods = 0, int c = 0) {
        Event e(EVT_KEYDOWN);
        e.v = v;
        e.b = mods;
        e.c = c;
        return send(f, e);
    }
    static void type(TextInput* f, const std::string& bytes) {
        for (unsigned char c : bytes) key(f, KEY_NONE, 0, c);
    }
    static var pointer(TextInput* f, int type, float x, float y, int b = 0) {
        Event e(type);
        e.x = x;
        e.y = y;
        e.b = b;
        return send(f, e);
    }
    // The text with the selection in brackets, or the caret as '|'.
    static std::string show(const TextInput* f) {
        std::string s = f->txt;
        int a = std::min(f->_pos, f->pos), b = std::max(f->_pos, f->pos);
        if (a == b) return s.insert(a, "|");
        return s.insert(b, "]").insert(a, "[");
    }
    static void place(TextInput* f, int anchor, int caret) {
        f->_pos = anchor;
        f->pos = caret;
    }

    std::vector<std::unique_ptr<TextInput>> fields;
};

} // namespace

// ====== Changes and history ======

TEST_F(GuiInput, TypingOverASelectionIsOneChangeThatUndoRestores) {
    TextInput* f = field("abcdef");
    place(f, 1, 4);
    type(f, "X");
    EXPECT_EQ(show(f), "aX|ef");
    ASSERT_EQ(f->undo.size(), 1u);
    EXPECT_EQ(f->undo[0].a, "bcd");
    EXPECT_EQ(f->undo[0].b, "X");
    EXPECT_EQ(f->undo[0].pos, 1);

    key(f, KEY_z, CTRL);
    EXPECT_EQ(show(f), "abcd|ef") << "the caret goes where it was before the typing";
    key(f, KEY_z, CTRL | SHIFT);
    EXPECT_EQ(show(f), "aX|ef");
    key(f, KEY_z, CTRL | SHIFT);
    EXPECT_EQ(show(f), "aX|ef") << "nothing left to redo";
}

TEST_F(GuiInput, UndoThenTypingDropsTheRedoTail) {
    TextInput* f = field("");
    type(f, "ab");
    key(f, KEY_z, CTRL);
    EXPECT_EQ(show(f), "a|");
    type(f, "c");
    key(f, KEY_z, CTRL | SHIFT);
    EXPECT_EQ(show(f), "ac|");
    EXPECT_EQ(f->undo_n, 2);
}

TEST_F(GuiInput, HistoryKeepsTheNewest255Changes) {
    TextInput* f = field("", 1000);
    for (int i = 0; i < 300; i++) type(f, "a");
    EXPECT_EQ(f->undo.size(), 255u);
    for (int i = 0; i < 256; i++) key(f, KEY_z, CTRL);
    EXPECT_EQ(f->txt, std::string(45, 'a')) << "the first 45 changes are out of reach";
    EXPECT_EQ(f->undo_n, 0);
}

TEST_F(GuiInput, ChangesAreCutToTheLimitAndAnEmptyOneIsStillRecorded) {
    TextInput* f = field("abc", 5);
    f->_change(3, 0, "defg");
    EXPECT_EQ(show(f), "abcde|");
    f->_change(5, 0, "zz");
    EXPECT_EQ(show(f), "abcde|");
    ASSERT_EQ(f->undo.size(), 2u);
    EXPECT_EQ(f->undo[1].b, "");

    f->_change(9, 0, "x");
    f->_change(-1, 1, "x");
    f->_change(0, -1, "x");
    EXPECT_EQ(f->undo.size(), 2u) << "a change outside the text does nothing";
    f->_change(4, 10, "");
    EXPECT_EQ(show(f), "abcd|") << "a length past the end is cut at the end";

    TextInput* longer = field("a\tlong text", 3);
    EXPECT_EQ(longer->txt, "a\tlong text") << "the first text is taken as it is";
    EXPECT_EQ(longer->maxlen, 11u);
}

TEST_F(GuiInput, FilterTurnsControlAndHighBytesIntoQuestionMarks) {
    TextInput* line = field("");
    line->set_value_s("a\tb\xC3" "c\x7f\n");
    EXPECT_EQ(line->txt, "a?b?c? ") << "a line feed becomes a space in a single-line field";
    TextInput* multi = field("");
    multi->wrap = 1;
    multi->set_value(var("a\tb\n"));
    EXPECT_EQ(multi->txt, "a?b\n");
    line->set_value_s(nullptr);
    EXPECT_EQ(line->txt, "");
    EXPECT_EQ(line->undo_n, 2) << "values set from outside are undoable";
}

// ====== Keys ======

TEST_F(GuiInput, BackspaceAndDelete) {
    TextInput* f = field("ab");
    place(f, 0, 0);
    key(f, KEY_BACKSPACE);
    EXPECT_EQ(show(f), "|ab");
    EXPECT_EQ(f->undo.size(), 0u) << "backspace at the start records nothing";
    place(f, 2, 2);
    key(f, KEY_DELETE);
    EXPECT_EQ(show(f), "ab|");
    EXPECT_EQ(f->undo.size(), 1u) << "delete at the end records an empty change";
    key(f, KEY_BACKSPACE);
    EXPECT_EQ(show(f), "a|");
    place(f, 0, 1);
    key(f, KEY_DELETE);
    EXPECT_EQ(show(f), "|");
}

TEST_F(GuiInput, ArrowsCollapseOrExtendTheSelection) {
    struct Case {
        int anchor, caret, key, mods;
        const char* after;
    } cases[] = {
        {2, 4, KEY_LEFT, 0, "ab|cdef"},      // collapses to the start, no further
        {2, 4, KEY_LEFT, SHIFT, "ab[c]def"}, // moves the caret, keeps the anchor
        {4, 2, KEY_RIGHT, 0, "abcd|ef"},
        {3, 3, KEY_LEFT, 0, "ab|cdef"},
        {6, 6, KEY_RIGHT, 0, "abcdef|"},
        {0, 0, KEY_LEFT, SHIFT, "|abcdef"},
        {3, 3, KEY_RIGHT, SHIFT, "abc[d]ef"},
        {3, 3, KEY_END, SHIFT, "abc[def]"},
        {3, 3, KEY_HOME, 0, "|abcdef"},
    };
    for (const Case& c : cases) {
        TextInput* f = field("abcdef");
        place(f, c.anchor, c.caret);
        key(f, c.key, c.mods);
        EXPECT_EQ(show(f), c.after) << "from " << c.anchor << ".." << c.caret << ", key " << c.key;
    }
}

TEST_F(GuiInput, EnterReturnsOnChangeOrTypesALineFeed) {
    TextInput* line = field("ab");
    line->onchange = var("submit");
    EXPECT_EQ(key(line, KEY_RETURN, 0, 13).__str__(), "submit");
    EXPECT_EQ(line->txt, "ab");

    TextInput* multi = field("ab");
    multi->wrap = 1;
    multi->onchange = var("submit");
    EXPECT_EQ(key(multi, KEY_RETURN, 0, 13).__type__(), VAR_NONE);
    EXPECT_EQ(show(multi), "\n|ab");
}

TEST_F(GuiInput, UnprintableBytesAndUnknownKeysAreIgnored) {
    TextInput* f = field("");
    key(f, KEY_F1);
    key(f, KEY_NONE, 0, 7);
    key(f, KEY_NONE, 0, 200);
    key(f, KEY_z, 0, 'z');
    key(f, KEY_c, 0, 'c');
    EXPECT_EQ(show(f), "zc|") << "z and c without a command key are typed";
    EXPECT_EQ(f->undo.size(), 2u);
}

TEST_F(GuiInput, UpAndDownMoveBetweenWrappedLinesKeepingTheirColumn) {
    TextInput* f = field("", 255, 52); // wraps at 50: four characters a line
    f->wrap = 1;
    f->set_value_s("abcd efgh ijkl");
    place(f, 6, 6); // "ef|gh"
    key(f, KEY_UP);
    EXPECT_LT(f->pos, 5) << "on the first line";
    const int cx = f->cx;
    EXPECT_NE(cx, -1);
    key(f, KEY_DOWN);
    key(f, KEY_DOWN, SHIFT);
    EXPECT_GE(f->pos, 10) << "on the third line";
    EXPECT_EQ(f->cx, cx) << "successive moves keep the first column";
    EXPECT_GE(f->_pos, 5) << "shift left the anchor on the second line";
    EXPECT_LT(f->_pos, 10);
    key(f, KEY_LEFT);
    EXPECT_EQ(f->cx, -1) << "any other move forgets the column";

    TextInput* line = field("ab");
    line->onchange = var("x");
    EXPECT_EQ(key(line, KEY_UP).__type__(), VAR_NONE) << "a single-line field leaves Up to navigation";
}

// ====== Pointer, focus and scrolling ======

TEST_F(GuiInput, FocusSelectsEverythingUnlessOnFocusAnswers) {
    TextInput* f = field("hello");
    send(f, Event(EVT_FOCUS));
    EXPECT_EQ(show(f), "[hello]");
    type(f, "x");
    EXPECT_EQ(show(f), "x|");

    TextInput* g = field("hello");
    g->onfocus = var("focused");
    EXPECT_EQ(send(g, Event(EVT_FOCUS)).__str__(), "focused");
    EXPECT_EQ(show(g), "|hello");
}

TEST_F(GuiInput, PressPlacesTheCaretAndDragOrReleaseExtendsTheSelection) {
    TextInput* f = field("abcdef");
    pointer(f, EVT_DOWN, 21, 5);
    EXPECT_EQ(show(f), "ab|cdef");
    pointer(f, EVT_MOTION, 41, 5, 1);
    EXPECT_EQ(show(f), "ab|cdef") << "a drag over an unfocused field moves nothing";
    send(f, Event(EVT_FOCUS));
    pointer(f, EVT_DOWN, 21, 5);
    pointer(f, EVT_MOTION, 41, 5, 1);
    EXPECT_EQ(show(f), "ab[cd]ef");
    pointer(f, EVT_MOTION, 51, 5, 0);
    EXPECT_EQ(show(f), "ab[cd]ef") << "motion without a button";
    pointer(f, EVT_UP, 11, 5);
    EXPECT_EQ(show(f), "a[b]cdef") << "the release extends from the anchor";
}

TEST_F(GuiInput, PointerClickAsksForTheKeyboardAKeyClickDoesNot) {
    TextInput* f = field("ab");
    f->_rect = MyRect(30, 40, 25, 20);
    Event click(EVT_CLICK);
    click.v = EVT_KEYUP;
    send(f, click);
    EXPECT_EQ(_gfx->focus.w, 0) << "a click made from Space or Enter";
    click.v = 0;
    send(f, click);
    EXPECT_EQ(_gfx->focus.x, 30);
    EXPECT_EQ(_gfx->focus.w, 25);
    send(f, Event(EVT_BLUR));
    EXPECT_EQ(_gfx->focus.w, 0);
}

TEST_F(GuiInput, ScrollFollowsTheCaretWithinTheText) {
    TextInput* f = field("abcdefghij", 255, 50); // 100 wide in a 50-wide field
    place(f, 10, 10);
    f->_adjust(true, true);
    EXPECT_EQ(f->view.x, 52) << "the caret and its width at the right edge";
    key(f, KEY_HOME);
    EXPECT_EQ(f->view.x, 0);
    f->view.x = 500;
    f->_adjust(false, false);
    EXPECT_EQ(f->view.x, 53) << "never beyond the text width (101) less the field plus the caret";
    f->view.x = -20;
    f->_adjust(false, false);
    EXPECT_EQ(f->view.x, 0);
    send(f, Event(EVT_BLUR));
    EXPECT_EQ(f->view.x, 0) << "a single-line field scrolls back when it loses the focus";

    Event wheel(EVT_WHEEL);
    wheel.dy = 3;
    send(f, wheel);
    EXPECT_EQ(f->view.y, 0) << "one line scrolls nowhere";
}

TEST_F(GuiInput, EmptyFieldIsASquareOneLineHigh) {
    TextInput* f = field("");
    EXPECT_EQ(f->rect.h, 20);
    EXPECT_EQ(f->rect.w, 20);
}

// ====== Passwords and the clipboard ======

class GuiClipboard : public GuiInput {
protected:
    // The dummy video driver keeps the clipboard in the process.
    void SetUp() override {
        GuiInput::SetUp();
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO), 0) << SDL_GetError();
        driver_clipboard_set_text("before");
    }
    void TearDown() override {
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        unsetenv("SDL_VIDEODRIVER");
        GuiInput::TearDown();
    }
};

TEST_F(GuiClipboard, CopyCutAndPasteTheSelection) {
    TextInput* f = field("abcdef", 8);
    place(f, 1, 3);
    key(f, KEY_c, CTRL);
    EXPECT_EQ(driver_clipboard_get_text(), "bc");
    EXPECT_EQ(show(f), "a[bc]def");
    place(f, 3, 5);
    key(f, KEY_x, CTRL);
    EXPECT_EQ(driver_clipboard_get_text(), "de");
    EXPECT_EQ(show(f), "abc|f");
    place(f, 0, 0);
    key(f, KEY_v, CTRL);
    EXPECT_EQ(show(f), "de|abcf");
    driver_clipboard_set_text("x\ty\nzzzz");
    key(f, KEY_v, CTRL);
    EXPECT_EQ(show(f), "dex?|abcf") << "filtered and cut to the limit of 8";
}

TEST_F(GuiClipboard, PasswordFieldShowsStarsAndNeverCopies) {
    TextInput* f = field("secret");
    f->passwd = 1;
    f->_mktxt2();
    EXPECT_EQ(f->txt2, "******");
    f->reveal = 1;
    f->_mktxt2();
    EXPECT_EQ(f->txt2, "*****t");
    place(f, 0, 3);
    key(f, KEY_c, CTRL);
    EXPECT_EQ(driver_clipboard_get_text(), "before");
    key(f, KEY_x, CTRL);
    EXPECT_EQ(driver_clipboard_get_text(), "before");
    EXPECT_EQ(show(f), "|ret") << "cut still deletes";
    EXPECT_EQ(f->txt2, "***") << "any key hides the revealed byte";
}
