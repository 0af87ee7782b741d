// Input translation without a window: SDL events pushed into the queue and
// the records the driver makes of them.
#include <gtest/gtest.h>

#include <climits>
#include <map>
#include <string>

#include "support/capture.h"
#include "support/event_records.h"

namespace {

class EventPoll : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_EQ(SDL_Init(SDL_INIT_EVENTS | SDL_INIT_JOYSTICK), 0) << SDL_GetError(); }
    static void TearDownTestSuite() { SDL_Quit(); }
    void SetUp() override { poll_drain(); }
};

Event with(Event e, int b, int device) {
    e.b = b;
    e.device = device;
    return e;
}

SDL_Event mouse_motion(Uint32 which) {
    SDL_Event ev = sdl_event(SDL_MOUSEMOTION);
    ev.motion.which = which;
    ev.motion.state = SDL_BUTTON_LMASK | SDL_BUTTON_RMASK;
    ev.motion.x = 120;
    ev.motion.y = 45;
    ev.motion.xrel = -3;
    ev.motion.yrel = 7;
    return ev;
}

SDL_Event mouse_button(Uint32 type, Uint32 which) {
    SDL_Event ev = sdl_event(type);
    ev.button.which = which;
    ev.button.button = SDL_BUTTON_RIGHT;
    ev.button.state = type == SDL_MOUSEBUTTONDOWN ? SDL_PRESSED : SDL_RELEASED;
    ev.button.x = 9;
    ev.button.y = 640;
    return ev;
}

SDL_Event joy_button(Uint32 type, SDL_JoystickID which, Uint8 button) {
    SDL_Event ev = sdl_event(type);
    ev.jbutton.which = which;
    ev.jbutton.button = button;
    return ev;
}

SDL_Event joy_axis(SDL_JoystickID which, Uint8 axis, Sint16 value) {
    SDL_Event ev = sdl_event(SDL_JOYAXISMOTION);
    ev.jaxis.which = which;
    ev.jaxis.axis = axis;
    ev.jaxis.value = value;
    return ev;
}

SDL_Event window_event(Uint8 what, int data1, int data2) {
    SDL_Event ev = sdl_event(SDL_WINDOWEVENT);
    ev.window.event = what;
    ev.window.data1 = data1;
    ev.window.data2 = data2;
    return ev;
}

SDL_Event text_event(const char* text) {
    SDL_Event ev = sdl_event(SDL_TEXTINPUT);
    std::snprintf(ev.text.text, sizeof ev.text.text, "%s", text);
    return ev;
}

SDL_Event held(SDL_Event ev) {
    ev.key.repeat = 1;
    return ev;
}

Event repeated(Event e) {
    e.t = 1;
    return e;
}

struct Case {
    const char* name;
    SDL_Event in;
    Event want;
};

} // namespace

TEST_F(EventPoll, EachSdlEventGivesItsWholeRecord) {
    const Case cases[] = {
        {"quit", sdl_event(SDL_QUIT), Event(EVT_QUIT)},
        {"ctrl+shift+a", sdl_key(SDL_KEYDOWN, SDLK_a, KMOD_LCTRL | KMOD_RSHIFT), key_record(EVT_KEYDOWN, 0x61, KEY_a, 3)},
        {"right alt alone", sdl_key(SDL_KEYUP, SDLK_z, KMOD_RALT), key_record(EVT_KEYUP, 'z', KEY_z, 4)},
        {"num lock alone", sdl_key(SDL_KEYDOWN, SDLK_5, KMOD_NUM), key_record(EVT_KEYDOWN, '5', KEY_5, 0)},
        {"locks beside gui", sdl_key(SDL_KEYDOWN, SDLK_F3, KMOD_NUM | KMOD_CAPS | KMOD_MODE | KMOD_RGUI),
         key_record(EVT_KEYDOWN, SDLK_F3, KEY_F3, 8)},
        {"all four modifiers", sdl_key(SDL_KEYUP, SDLK_BACKQUOTE, KMOD_RSHIFT | KMOD_RCTRL | KMOD_LALT | KMOD_LGUI),
         key_record(EVT_KEYUP, '`', KEY_TILDE, 15)},
        {"keypad enter", sdl_key(SDL_KEYDOWN, SDLK_KP_ENTER, 0), key_record(EVT_KEYDOWN, SDLK_KP_ENTER, KEY_RETURN, 0)},
        {"a held key's repeat is marked", held(sdl_key(SDL_KEYDOWN, SDLK_f, KMOD_LCTRL)),
         repeated(key_record(EVT_KEYDOWN, 'f', KEY_f, 2))},
        {"unmapped F13 keeps its code", sdl_key(SDL_KEYDOWN, SDLK_F13, 0), key_record(EVT_KEYDOWN, SDLK_F13, KEY_NONE, 0)},
        {"mouse motion", mouse_motion(2), with(event_at(EVT_MOUSEMOTION, 120, 45, -3, 7), SDL_BUTTON_LMASK | SDL_BUTTON_RMASK, 2)},
        {"mouse down", mouse_button(SDL_MOUSEBUTTONDOWN, 0), with(event_at(EVT_MOUSEDOWN, 9, 640), SDL_BUTTON_RIGHT, 0)},
        {"mouse up", mouse_button(SDL_MOUSEBUTTONUP, 1), with(event_at(EVT_MOUSEUP, 9, 640), SDL_BUTTON_RIGHT, 1)},
        {"motion made from touch", mouse_motion(SDL_TOUCH_MOUSEID), Event(EVT_NONE)},
        {"press made from touch", mouse_button(SDL_MOUSEBUTTONDOWN, SDL_TOUCH_MOUSEID), Event(EVT_NONE)},
        {"release made from touch", mouse_button(SDL_MOUSEBUTTONUP, SDL_TOUCH_MOUSEID), Event(EVT_NONE)},
        {"joystick button down", joy_button(SDL_JOYBUTTONDOWN, 7, 11), with(Event(EVT_JOYDOWN), 11, 7)},
        {"joystick button up", joy_button(SDL_JOYBUTTONUP, 0, 0), Event(EVT_JOYUP)},
        {"finger without a window stays in 0..1", sdl_finger(SDL_FINGERDOWN, 0.5f, 0.25f, 0.125f, -1, 41, 3),
         with(event_at(EVT_TOUCHDOWN, 0.5f, 0.25f, 0.125f, -1), 42, 3)},
        {"finger ids keep their low 32 bits", sdl_finger(SDL_FINGERUP, 1, 0, 0, 0, 0x1FFFFFFFFLL, 0x700000005LL),
         with(event_at(EVT_TOUCHUP, 1, 0), 0, 5)},
        {"finger id -2", sdl_finger(SDL_FINGERMOTION, 0, 0, 0, 0, -2, -1), with(Event(EVT_TOUCHMOTION), -1, -1)},
        {"largest finger id", sdl_finger(SDL_FINGERMOTION, 0, 0, 0, 0, LLONG_MAX, 0), Event(EVT_TOUCHMOTION)},
        {"window moved", window_event(SDL_WINDOWEVENT_MOVED, 300, 200), Event(EVT_NONE)},
        {"window size changed", window_event(SDL_WINDOWEVENT_SIZE_CHANGED, 300, 200), Event(EVT_NONE)},
        {"an event the game does not know", sdl_event(SDL_USEREVENT), Event(EVT_NONE)},
    };
    for (const Case& c : cases) EXPECT_EQ(event_text(push_and_poll(c.in)), event_text(c.want)) << c.name;
    Event e;
    EXPECT_EQ(driver_event_poll(&e), 0) << "one record per event";
}

TEST_F(EventPoll, ModifiersComeFromTheEventNotTheKeyboardState) {
    SDL_SetModState(KMOD_NONE);
    EXPECT_EQ(push_and_poll(sdl_key(SDL_KEYDOWN, SDLK_q, KMOD_LCTRL)).b, 2) << "modifier released before handling";
    SDL_SetModState(KMOD_LSHIFT);
    EXPECT_EQ(push_and_poll(sdl_key(SDL_KEYUP, SDLK_q, KMOD_NONE)).b, 0) << "modifier held since";
    SDL_SetModState(KMOD_NONE);
}

TEST_F(EventPoll, EmptyQueueClearsTheRecordAndAnswersZero) {
    Event e = event_at(EVT_WHEEL, 1, 2, 3, 4);
    e.c = 'x';
    EXPECT_EQ(driver_event_poll(&e), 0);
    EXPECT_EQ(event_text(e), event_text(Event()));
}

TEST_F(EventPoll, TextArrivesOneByteAtATimeBeforeTheNextEvent) {
    SDL_Event text = text_event("h\xC3\xA9");
    ASSERT_EQ(SDL_PushEvent(&text), 1);
    SDL_Event key = sdl_key(SDL_KEYDOWN, SDLK_RETURN, 0);
    ASSERT_EQ(SDL_PushEvent(&key), 1);
    Capture out(stdout);
    EXPECT_EQ(event_text(poll_one()), event_text(Event(EVT_NONE))) << "the text event itself";
    EXPECT_EQ(event_text(poll_one()), event_text(text_record('h')));
    EXPECT_EQ(event_text(poll_one()), event_text(text_record(-61))) << "0xC3 as a signed byte";
    EXPECT_EQ(event_text(poll_one()), event_text(text_record(-87))) << "0xA9 as a signed byte";
    EXPECT_EQ(event_text(poll_one()), event_text(key_record(EVT_KEYDOWN, SDLK_RETURN, KEY_RETURN, 0)))
        << "the key pressed after the text comes after all its bytes";
    std::string log = out.text();
    size_t first = log.find("text: 'h\xC3\xA9'\n");
    size_t second = log.find("text: '\xC3\xA9'\n");
    size_t third = log.find("text: '\xA9'\n");
    EXPECT_NE(first, std::string::npos) << log;
    EXPECT_TRUE(first < second && second < third && third != std::string::npos) << "each poll logs what remains:\n"
                                                                                  << log;
}

TEST_F(EventPoll, UnterminatedTextIsReadNoFurtherThanItsField) {
    // A pushed event need not hold a terminating zero; every byte after the
    // field is 'y' too, so reading past the field would show.
    SDL_Event ev;
    std::memset(&ev, 'y', sizeof ev);
    ev.text.type = SDL_TEXTINPUT;
    ev.text.windowID = 0;
    ASSERT_EQ(SDL_PushEvent(&ev), 1);
    EXPECT_EQ(poll_one().type, EVT_NONE);
    int bytes = 0;
    for (Event e = poll_one(); e.type == EVT_KEYDOWN && e.c == 'y'; e = poll_one()) bytes++;
    EXPECT_EQ(bytes, int(sizeof ev.text.text));
}

TEST_F(EventPoll, JoystickReportsTheWholeStickAndIgnoresIdsOutsideTheTable) {
    auto stick = [](int device, int b, float x, float y) { return with(event_at(EVT_JOYMOTION, x, y), b, device); };
    const Case cases[] = {
        {"axis 0 first", joy_axis(3, 0, -32768), stick(3, 0, -1.0f, 0)},
        {"axis 1 keeps axis 0", joy_axis(3, 1, 16384), stick(3, 0, -1.0f, 0.5f)},
        {"second stick before its x moved", joy_axis(3, 3, 32767), stick(3, 1, 0, 32767 / 32768.0f)},
        {"another joystick has its own axes", joy_axis(4, 0, 8192), stick(4, 0, 0.25f, 0)},
        {"axis 8 is not tracked", joy_axis(3, 8, 5), Event(EVT_NONE)},
        {"axis 255 is not tracked", joy_axis(3, 255, 5), Event(EVT_NONE)},
        {"last id in the table", joy_axis(255, 7, -16384), stick(255, 3, 0, -0.5f)},
        {"id past the table", joy_axis(256, 0, 1000), Event(EVT_NONE)},
        {"negative id", joy_axis(-1, 1, 1000), Event(EVT_NONE)},
        {"huge id", joy_axis(INT_MAX, 0, 1000), Event(EVT_NONE)},
        {"stick unchanged by the ignored events", joy_axis(3, 0, -32768), stick(3, 0, -1.0f, 0.5f)},
        {"first id untouched", joy_axis(0, 1, 0), stick(0, 0, 0, 0)},
    };
    for (const Case& c : cases) EXPECT_EQ(event_text(push_and_poll(c.in)), event_text(c.want)) << c.name;
}

// Every SDL key the table knows gives its own code; every other one (the
// neighbours of each run included) gives none.
TEST(EventKeys, TableMapsEveryKeyToItsOwnCode) {
    std::map<int, int> want = {
        {SDLK_UP, KEY_UP},         {SDLK_RIGHT, KEY_RIGHT},   {SDLK_DOWN, KEY_DOWN},
        {SDLK_LEFT, KEY_LEFT},     {SDLK_ESCAPE, KEY_ESCAPE}, {SDLK_BACKSPACE, KEY_BACKSPACE},
        {SDLK_DELETE, KEY_DELETE}, {SDLK_RETURN, KEY_RETURN}, {SDLK_KP_ENTER, KEY_RETURN},
        {SDLK_HOME, KEY_HOME},     {SDLK_END, KEY_END},       {SDLK_TAB, KEY_TAB},
        {SDLK_SPACE, KEY_SPACE},   {SDLK_KP_0, KEY_P0},       {SDLK_PLUS, KEY_PLUS},
        {SDLK_MINUS, KEY_MINUS},   {SDLK_BACKQUOTE, KEY_TILDE},
    };
    for (int i = 0; i < 26; i++) want['a' + i] = KEY_a + i;
    for (int i = 0; i < 10; i++) want['0' + i] = KEY_0 + i;
    for (int i = 0; i < 12; i++) want[SDLK_F1 + i] = KEY_F1 + i;
    for (int i = 0; i < 9; i++) want[SDLK_KP_1 + i] = KEY_P1 + i;
    ASSERT_EQ(want.size(), 74u);
    for (int base : {0, 0x40000000})
        for (int sym = base; sym < base + 0x200; sym++) {
            auto it = want.find(sym);
            EXPECT_EQ(_driver_sdl_sym2key(sym), it == want.end() ? KEY_NONE : it->second) << "SDL key " << sym;
        }
    EXPECT_EQ(_driver_sdl_sym2key(-1), KEY_NONE);
}
