// The JSON tokenizer on its own: what it reports, where it refuses and with
// which error code.
#include <gtest/gtest.h>

#include <charconv>
#include <clocale>
#include <functional>
#include <string>
#include <vector>

#include "JSON_parser.h"

namespace {

struct Recorder {
    bool manual_floats = false;
    int refuse_at = -1; // index of the callback that returns 0
    std::vector<std::string> events;
};

int record(void* ctx, int type, const JSON_value* v) {
    Recorder* r = static_cast<Recorder*>(ctx);
    std::string e;
    switch (type) {
    case JSON_T_ARRAY_BEGIN: e = "["; break;
    case JSON_T_ARRAY_END: e = "]"; break;
    case JSON_T_OBJECT_BEGIN: e = "{"; break;
    case JSON_T_OBJECT_END: e = "}"; break;
    case JSON_T_INTEGER: e = "i:" + std::to_string(v->vu.integer_value); break;
    case JSON_T_FLOAT:
        if (r->manual_floats) {
            e = "f:" + std::string(v->vu.str.value, v->vu.str.length);
        } else {
            char buf[64];
            auto end = std::to_chars(buf, buf + sizeof buf, v->vu.float_value).ptr;
            e = "f:" + std::string(buf, end);
        }
        break;
    case JSON_T_NULL: e = "null"; break;
    case JSON_T_TRUE: e = "true"; break;
    case JSON_T_FALSE: e = "false"; break;
    case JSON_T_STRING: e = "s:" + std::string(v->vu.str.value, v->vu.str.length); break;
    case JSON_T_KEY: e = "k:" + std::string(v->vu.str.value, v->vu.str.length); break;
    default: e = "?"; break;
    }
    r->events.push_back(e);
    return (int)r->events.size() - 1 != r->refuse_at;
}

struct Parse {
    int refused_at = -1; // index of the refused byte, -1 when all were taken
    int error = JSON_E_NONE;
    int done = -1; // JSON_parser_done, when every byte was taken
    std::vector<std::string> events;
    std::string log() const {
        std::string s;
        for (const std::string& e : events) s += (s.empty() ? "" : " ") + e;
        return s;
    }
};

Parse parse(const std::string& text, const std::function<void(JSON_config&)>& setup = nullptr,
            int refuse_at = -1) {
    Recorder r;
    r.refuse_at = refuse_at;
    JSON_config config;
    init_JSON_config(&config);
    config.allow_comments = 1;
    config.callback = record;
    config.callback_ctx = &r;
    if (setup) setup(config);
    r.manual_floats = config.handle_floats_manually;
    JSON_parser jc = new_JSON_parser(&config);
    Parse p;
    for (size_t i = 0; i < text.size(); i++) {
        if (!JSON_parser_char(jc, (unsigned char)text[i])) {
            p.refused_at = (int)i;
            break;
        }
    }
    if (p.refused_at < 0) p.done = JSON_parser_done(jc);
    p.error = JSON_parser_get_last_error(jc);
    p.events = r.events;
    delete_JSON_parser(jc);
    return p;
}

void expect_refused(const std::string& text, int at, int error, const std::function<void(JSON_config&)>& setup = nullptr) {
    Parse p = parse(text, setup);
    EXPECT_EQ(p.refused_at, at) << text;
    EXPECT_EQ(p.error, error) << text;
}

std::string nested(int n) { return std::string(n, '[') + std::string(n, ']'); }

} // namespace

// ====== Structure ======

TEST(JsonParser, EmptyTextBlanksAndCommentsAreACompleteDocument) {
    for (const char* text : {"", " \t\r\n", "/* a */ /**/ "}) {
        Parse p = parse(text);
        EXPECT_EQ(p.done, 1) << text;
        EXPECT_TRUE(p.events.empty()) << text;
        EXPECT_EQ(p.error, JSON_E_NONE) << text;
    }
}

TEST(JsonParser, ReportsContainersKeysAndValuesInOrder) {
    Parse p = parse(R"( {"a": [1, -2.5, "x", true, false, null, {}, []], "b" : {"c":0}} )");
    EXPECT_EQ(p.done, 1);
    EXPECT_EQ(p.log(), "{ k:a [ i:1 f:-2.5 s:x true false null { } [ ] ] k:b { k:c i:0 } }");
}

TEST(JsonParser, ScalarRootIsRefusedAtItsFirstByte) {
    for (const char* text : {"1", "\"s\"", "true", "  null"}) {
        Parse p = parse(text);
        EXPECT_EQ(p.refused_at, text[0] == ' ' ? 2 : 0) << text;
        EXPECT_EQ(p.error, JSON_E_INVALID_CHAR) << text;
        EXPECT_TRUE(p.events.empty()) << text;
    }
}

TEST(JsonParser, MisplacedPunctuationGetsTheCodeOfItsState) {
    expect_refused("[1,]", 3, JSON_E_INVALID_CHAR);
    expect_refused(R"({"a":1,})", 7, JSON_E_EXPECTED_KEY);
    expect_refused(R"({"a" 1})", 5, JSON_E_EXPECTED_COLON);
    expect_refused("{1:2}", 1, JSON_E_EXPECTED_KEY);
    expect_refused("[:]", 1, JSON_E_UNBALANCED_COLLECTION);
    expect_refused("]", 0, JSON_E_UNBALANCED_COLLECTION);
    expect_refused("x", 0, JSON_E_INVALID_CHAR);
}

TEST(JsonParser, ArrayClosedByBraceReportsItsScalarThenRefuses) {
    Parse p = parse("[1}");
    EXPECT_EQ(p.refused_at, 2);
    EXPECT_EQ(p.error, JSON_E_UNBALANCED_COLLECTION);
    EXPECT_EQ(p.log(), "[ i:1 }");
}

TEST(JsonParser, ExtraClosingBracketIsRefusedAsUnbalanced) {
    expect_refused("[]]", 2, JSON_E_UNBALANCED_COLLECTION);
    expect_refused("{}}", 2, JSON_E_UNBALANCED_COLLECTION);
    expect_refused("[1]]", 3, JSON_E_UNBALANCED_COLLECTION);
    expect_refused("[[]]]", 4, JSON_E_UNBALANCED_COLLECTION);
}

TEST(JsonParser, TextAfterTheRootIsRefusedWithACode) {
    expect_refused("[] [", 3, JSON_E_INVALID_CHAR);
    expect_refused("[],", 2, JSON_E_INVALID_CHAR);
    EXPECT_EQ(parse("[] /**/ ").done, 1);
}

TEST(JsonParser, TextEndingInsideATokenOrContainerIsNotDone) {
    for (const char* text : {"[", "[1", "[1 ", "[\"ab", "[tru", "[1.", "[1e", "{\"a\"", "{\"a\":", "[] /* x", "/"}) {
        Parse p = parse(text);
        EXPECT_EQ(p.refused_at, -1) << text;
        EXPECT_EQ(p.done, 0) << text;
        EXPECT_EQ(p.error, JSON_E_UNBALANCED_COLLECTION) << text;
    }
}

// ====== Numbers ======

TEST(JsonParser, NumberForms) {
    EXPECT_EQ(parse("[0, -0, 7, -12, 1.5, 1., 1.e2, 1e2, 2E-1, 1.5e+1]").log(),
              "[ i:0 i:0 i:7 i:-12 f:1.5 f:1 f:100 f:100 f:0.2 f:15 ]");
    expect_refused("[01]", 2, JSON_E_INVALID_NUMBER);
    expect_refused("[-]", 2, JSON_E_INVALID_NUMBER);
    expect_refused("[1e]", 3, JSON_E_INVALID_NUMBER);
    expect_refused("[1.5.]", 4, JSON_E_INVALID_NUMBER);
    expect_refused("[0,+1]", 3, JSON_E_INVALID_CHAR);
    expect_refused("[.5]", 1, JSON_E_UNBALANCED_COLLECTION); // just after "["
}

TEST(JsonParser, ZeroWithAnExponentIsAFloat) {
    EXPECT_EQ(parse("[0e1, 0E+1, -0e-1, 0.e3]").log(), "[ f:0 f:0 f:-0 f:0 ]");
}

TEST(JsonParser, IntegersSaturateAtThe32BitRangeAndNeverWrap) {
    EXPECT_EQ(parse("[2147483647, 2147483648, -2147483648, -2147483649]").log(),
              "[ i:2147483647 i:2147483647 i:-2147483648 i:-2147483648 ]");
    EXPECT_EQ(parse("[4294967296, -4294967296, 99999999999999999999999]").log(),
              "[ i:2147483647 i:-2147483648 i:2147483647 ]");
    EXPECT_EQ(parse("[2147483648.0]").log(), "[ f:2147483648 ]");
}

TEST(JsonParser, NumberWaitsForTheCharacterThatEndsIt) {
    Parse p = parse("[1 \n ");
    EXPECT_EQ(p.log(), "[");
    p = parse("[1 \n ]");
    EXPECT_EQ(p.log(), "[ i:1 ]");
    expect_refused("[1 2]", 3, JSON_E_INVALID_CHAR);
}

TEST(JsonParser, ManualFloatsArePassedAsTheirTextWithoutTrailingBlanks) {
    Parse p = parse("[1.50 , 2e3\t]", [](JSON_config& c) { c.handle_floats_manually = 1; });
    EXPECT_EQ(p.log(), "[ f:1.50 f:2e3 ]");
}

// ====== Strings ======

TEST(JsonParser, EscapesBecomeTheirBytes) {
    Parse p = parse(R"(["\"\\\/\b\f\n\r\t"])");
    ASSERT_EQ(p.events.size(), 3u);
    EXPECT_EQ(p.events[1], std::string("s:\"\\/\b\f\n\r\t"));
    expect_refused(R"(["\x"])", 3, JSON_E_INVALID_ESCAPE_SEQUENCE);
}

TEST(JsonParser, UnicodeEscapesBecomeUtf8) {
    Parse p = parse(R"(["\u00e9", "\u07FF", "\u20ac", "\ud83d\ude00", "\u0041"])");
    EXPECT_EQ(p.log(), "[ s:\xC3\xA9 s:\xDF\xBF s:\xE2\x82\xAC s:\xF0\x9F\x98\x80 s:A ]");
}

TEST(JsonParser, BrokenSurrogatesAreRefused) {
    expect_refused(R"(["\udc00"])", 7, JSON_E_INVALID_UNICODE_SEQUENCE);
    expect_refused(R"(["\ud800x"])", 8, JSON_E_INVALID_UNICODE_SEQUENCE);
    expect_refused(R"(["\ud800"])", 8, JSON_E_INVALID_UNICODE_SEQUENCE);
    expect_refused(R"(["\ud800\n"])", 9, JSON_E_INVALID_UNICODE_SEQUENCE);
    expect_refused(R"(["\ud800\u0041"])", 13, JSON_E_INVALID_UNICODE_SEQUENCE);
    expect_refused(R"(["\u12g4"])", 6, JSON_E_INVALID_UNICODE_SEQUENCE);
}

TEST(JsonParser, EscapedNulIsCountedInTheLength) {
    Parse p = parse(R"({"k\u0000y": "a\u0000b"})");
    ASSERT_EQ(p.events.size(), 4u);
    EXPECT_EQ(p.events[1], std::string("k:k\0y", 5));
    EXPECT_EQ(p.events[2], std::string("s:a\0b", 5));
}

TEST(JsonParser, RawBytesInStrings) {
    EXPECT_EQ(parse("[\"\xE9\xFF \x7F\"]").log(), "[ s:\xE9\xFF \x7F ]");
    for (char c : {'\t', '\n', '\r', '\x01'}) expect_refused(std::string("[\"a") + c + "\"]", 3, JSON_E_INVALID_CHAR);
    expect_refused("[0,\xE9]", 3, JSON_E_INVALID_CHAR);
}

TEST(JsonParser, LongTokensGrowTheBuffer) {
    std::string big(100000, 'x');
    Parse p = parse("[\"" + big + "\", 1." + std::string(5000, '0') + "1, " + std::string(4000, '9') + "]");
    ASSERT_EQ(p.events.size(), 5u);
    EXPECT_EQ(p.events[1], "s:" + big);
    EXPECT_EQ(p.events[2], "f:1");
    EXPECT_EQ(p.events[3], "i:2147483647");
}

// ====== Keywords and comments ======

TEST(JsonParser, KeywordsMustBeSpelledOut) {
    expect_refused("[tru]", 4, JSON_E_INVALID_KEYWORD);
    expect_refused("[nul l]", 4, JSON_E_INVALID_KEYWORD);
    expect_refused("[falsy]", 5, JSON_E_INVALID_KEYWORD);
    expect_refused("[0,True]", 3, JSON_E_INVALID_CHAR);
}

TEST(JsonParser, CommentsWhereTheyAreAllowed) {
    EXPECT_EQ(parse("/*a*/[/*b*/1/*c*/,/*d*/true/**/,{/*e*/\"k\"/*f*/:/*g*/2/*h*/}/*i*/]/*j*/").log(),
              "[ i:1 true { k:k i:2 } ]");
    EXPECT_EQ(parse("[/* ** / * */]").log(), "[ ]");
    expect_refused("[/x]", 2, JSON_E_INVALID_CHAR);
    expect_refused("[// x\n]", 2, JSON_E_INVALID_CHAR);
    expect_refused("[1e5/**/]", 4, JSON_E_INVALID_NUMBER);
    expect_refused("[1./**/]", 3, JSON_E_INVALID_CHAR);
    // A comment ends the number: the 2 is a second value without a comma.
    expect_refused("[1/**/2]", 6, JSON_E_INVALID_CHAR);
}

TEST(JsonParser, TruncatedKeywordBeforeACommentIsRefused) {
    expect_refused("[tru/**/]", 4, JSON_E_INVALID_KEYWORD);
    expect_refused("[fals/**/]", 5, JSON_E_INVALID_KEYWORD);
    expect_refused("[nul/**/]", 4, JSON_E_INVALID_KEYWORD);
    EXPECT_EQ(parse("[true/**/]").log(), "[ true ]");
}

TEST(JsonParser, RefusedCommentSetsAnErrorCode) {
    expect_refused("[1/**/]", 2, JSON_E_INVALID_CHAR, [](JSON_config& c) { c.allow_comments = 0; });
}

// ====== Depth, callbacks, allocation ======

TEST(JsonParser, NestingLimitCountsContainers) {
    auto depth = [](int d) { return [d](JSON_config& c) { c.depth = d; }; };
    EXPECT_EQ(parse(nested(3), depth(3)).done, 1);
    Parse p = parse(nested(4), depth(3));
    EXPECT_EQ(p.refused_at, 3);
    EXPECT_EQ(p.error, JSON_E_NESTING_DEPTH_REACHED);
    EXPECT_EQ(p.log(), "[ [ [ ["); // the begin of the refused one is reported
    EXPECT_EQ(parse(nested(1), depth(0)).done, 1);
    expect_refused(nested(2), 1, JSON_E_NESTING_DEPTH_REACHED, depth(0));
    EXPECT_EQ(parse(nested(200), depth(200)).done, 1); // a stack block on the heap
    expect_refused(nested(201), 200, JSON_E_NESTING_DEPTH_REACHED, depth(200));
    EXPECT_EQ(parse(nested(5000), depth(-1)).done, 1); // unlimited: the stack grows
}

TEST(JsonParser, RefusingCallbackStopsWithACode) {
    Parse p = parse("[1, 2, 3]", nullptr, 2);
    EXPECT_EQ(p.refused_at, 5);
    EXPECT_EQ(p.error, JSON_E_ABORTED);
    EXPECT_EQ(p.log(), "[ i:1 i:2");
}

TEST(JsonParser, WithoutACallbackItOnlyValidates) {
    JSON_parser jc = new_JSON_parser(nullptr);
    for (char c : std::string("[1, {\"a\": \"b\"}]")) ASSERT_EQ(JSON_parser_char(jc, (unsigned char)c), 1);
    EXPECT_EQ(JSON_parser_done(jc), 1);
    delete_JSON_parser(jc);
}

namespace {
int blocks_live = 0, blocks_made = 0;
void* counting_malloc(size_t n) {
    blocks_live++;
    blocks_made++;
    return std::malloc(n);
}
void counting_free(void* p) {
    blocks_live--;
    std::free(p);
}
} // namespace

TEST(JsonParser, EveryBlockComesFromAndReturnsToTheConfiguredAllocator) {
    Parse p = parse(std::string(300, '[') + "\"" + std::string(8000, 'y') + "\"" + std::string(300, ']'),
                    [](JSON_config& c) {
                        c.depth = -1;
                        c.malloc = counting_malloc;
                        c.free = counting_free;
                    });
    EXPECT_EQ(p.done, 1);
    EXPECT_GT(blocks_made, 2); // the record, a grown stack and a grown buffer
    EXPECT_EQ(blocks_live, 0);
}

TEST(JsonParser, OutOfRangeCharactersAreRefused) {
    JSON_parser jc = new_JSON_parser(nullptr);
    EXPECT_EQ(JSON_parser_char(jc, -1), 0);
    EXPECT_EQ(JSON_parser_get_last_error(jc), JSON_E_INVALID_CHAR);
    EXPECT_EQ(JSON_parser_reset(jc), 1);
    ASSERT_EQ(JSON_parser_char(jc, '['), 1);
    EXPECT_EQ(JSON_parser_char(jc, 256 + '"'), 0);
    delete_JSON_parser(jc);
}

TEST(JsonParser, ResetReadsASecondDocumentAfterAFailure) {
    JSON_parser jc = new_JSON_parser(nullptr);
    for (char c : std::string("[\"\\")) ASSERT_EQ(JSON_parser_char(jc, c), 1);
    EXPECT_EQ(JSON_parser_char(jc, 'x'), 0);
    ASSERT_EQ(JSON_parser_reset(jc), 1);
    EXPECT_EQ(JSON_parser_get_last_error(jc), JSON_E_NONE);
    for (char c : std::string("[\"n\"]")) ASSERT_EQ(JSON_parser_char(jc, c), 1);
    EXPECT_EQ(JSON_parser_done(jc), 1);
    delete_JSON_parser(jc);
}

TEST(JsonParser, NullHandlesAreHarmless) {
    init_JSON_config(nullptr);
    delete_JSON_parser(nullptr);
    EXPECT_EQ(JSON_parser_char(nullptr, '['), 0);
    EXPECT_EQ(JSON_parser_done(nullptr), 0);
    EXPECT_EQ(JSON_parser_reset(nullptr), 0);
}

TEST(JsonParser, LegalWhiteSpaceString) {
    EXPECT_EQ(JSON_parser_is_legal_white_space_string(""), 1);
    EXPECT_EQ(JSON_parser_is_legal_white_space_string(" \t\r\n"), 1);
    EXPECT_EQ(JSON_parser_is_legal_white_space_string(" x"), 0);
    EXPECT_EQ(JSON_parser_is_legal_white_space_string("\v"), 0);
    EXPECT_EQ(JSON_parser_is_legal_white_space_string("\xA0"), 0);
    EXPECT_EQ(JSON_parser_is_legal_white_space_string(nullptr), 0);
}
