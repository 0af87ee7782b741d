// The JSON codec: decoding into var trees (results, standard-error lines,
// partial trees) and encoding var trees as compact text.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <string>

#include "value/test_json_support.h"
#include "zov_json.h"

namespace {

struct Decoded {
    int result = -1;
    std::string err; // what went to standard error
};

// Decodes `len` bytes of text, all of them by default.
Decoded decode(var& top, const std::string& text, int len = INT_MIN) {
    Decoded d;
    if (len == INT_MIN) len = (int)text.size();
    d.err = capture_stderr([&] { d.result = json_decode(top, text.data(), len); });
    return d;
}

std::string byte_error(int i) { return "JSON_parser_char: syntax error, byte " + std::to_string(i) + "\n"; }
const std::string END_ERROR = "JSON_parser_end: syntax error\n";

void expect_refused_at(const std::string& text, int byte, const std::string& tree_after) {
    var top("keep");
    Decoded d = decode(top, text);
    EXPECT_EQ(d.result, 1) << text;
    EXPECT_EQ(d.err, byte_error(byte)) << text;
    EXPECT_EQ(json_encode(top), tree_after) << text;
}

std::string nested(int n) { return std::string(n, '[') + std::string(n, ']'); }

} // namespace

// ====== Decoding ======

TEST(JsonDecode, MapsEveryKindOfValue) {
    var top;
    Decoded d = decode(top, R"( {"n": [1, -2.5, 1e2], "s": "t\u00e9", "b": [true, false], "z": null, "o": {}} )");
    ASSERT_EQ(d.result, 0);
    EXPECT_EQ(d.err, "");
    ASSERT_EQ(top.__type__(), VAR_DICT);
    EXPECT_EQ(top["n"].__type__(), VAR_LIST);
    EXPECT_EQ((double)top["n"][1], -2.5);
    EXPECT_EQ((double)top["n"][2], 100.0);
    EXPECT_EQ(top["s"], "t\xC3\xA9");
    EXPECT_EQ(top["b"][0].__type__(), VAR_BOOL);
    EXPECT_TRUE((bool)top["b"][0]);
    EXPECT_FALSE((bool)top["b"][1]);
    EXPECT_TRUE(top.__has__("z"));
    EXPECT_EQ(top["z"].__type__(), VAR_NONE);
    EXPECT_EQ(top["o"].__type__(), VAR_DICT);
    EXPECT_EQ(json_encode(top), R"({"b":[true,false],"n":[1,-2.5,100],"o":{},"s":"t)"
                                "\xC3\xA9"
                                R"(","z":null})");
}

TEST(JsonDecode, ReplacesThePreviousValueOfTop) {
    var old = var_list(var(1));
    var top = old;
    ASSERT_EQ(decode(top, "{\"a\":2}").result, 0);
    EXPECT_EQ(json_encode(top), "{\"a\":2}");
    EXPECT_EQ(json_encode(old), "[1]"); // another handle on the old list keeps it
}

TEST(JsonDecode, ScalarDocumentIsRefusedAtItsFirstByteAndTopIsUnchanged) {
    expect_refused_at("1", 0, "\"keep\"");
    expect_refused_at("\"s\"", 0, "\"keep\"");
    expect_refused_at("true", 0, "\"keep\"");
    expect_refused_at("  null", 2, "\"keep\"");
}

TEST(JsonDecode, TextAfterTheRootIsRefusedAndTheRootKept) {
    expect_refused_at("[1] 2", 4, "[1]");
    expect_refused_at("[1],", 3, "[1]");
    expect_refused_at("{} {}", 3, "{}");
}

TEST(JsonDecode, RefusalMidwayKeepsWhatWasRead) {
    expect_refused_at(R"({"a":1,"b":[true,{"c":"d"},x]})", 27, R"({"a":1,"b":[true,{"c":"d"}]})");
    expect_refused_at("[\"ok\", \"a\tb\"]", 9, "[\"ok\"]");
}

TEST(JsonDecode, TextEndingInsideTheRootKeepsThePartialTree) {
    var top;
    Decoded d = decode(top, R"([1, {"a": 2, "b": [3)");
    EXPECT_EQ(d.result, 1);
    EXPECT_EQ(d.err, END_ERROR);
    EXPECT_EQ(json_encode(top), R"([1,{"a":2,"b":[]}])"); // 3 waits for its end
}

TEST(JsonDecode, NothingToReadIsSuccessWithoutAMessage) {
    const std::string texts[] = {"", "  \n\t", "/* only a comment */", std::string("\0[1]", 4)};
    for (const std::string& text : texts) {
        var top("keep");
        Decoded d = decode(top, text);
        EXPECT_EQ(d.result, 0) << text;
        EXPECT_EQ(d.err, "") << text;
        EXPECT_EQ(top, "keep") << text;
    }
    for (int len : {0, -5}) {
        var top("keep");
        Decoded d = decode(top, "[1]", len);
        EXPECT_EQ(d.result, 0);
        EXPECT_EQ(d.err, "");
        EXPECT_EQ(top, "keep");
    }
    var top("keep");
    EXPECT_EQ(json_decode(top, nullptr, 10), 0);
    EXPECT_EQ(top, "keep");
}

TEST(JsonDecode, ReadsAtMostLenBytesAndStopsAtANul) {
    var top;
    EXPECT_EQ(decode(top, "[1][2]", 3).result, 0);
    EXPECT_EQ(json_encode(top), "[1]");
    Decoded d = decode(top, std::string("[2]\0 garbage", 12));
    EXPECT_EQ(d.result, 0);
    EXPECT_EQ(d.err, "");
    EXPECT_EQ(json_encode(top), "[2]");
    d = decode(top, std::string("[3\0]", 4));
    EXPECT_EQ(d.result, 1);
    EXPECT_EQ(d.err, END_ERROR);
}

TEST(JsonDecode, HighBytesPassThroughStringsOnly) {
    var top;
    ASSERT_EQ(decode(top, "[\"\xFF\xFE\x80\"]").result, 0);
    EXPECT_EQ(top[0], "\xFF\xFE\x80");
    expect_refused_at("[1,\xC3\xA9]", 3, "[1]");
}

TEST(JsonDecode, EscapedNulIsKeptInStringsAndKeys) {
    var top;
    ASSERT_EQ(decode(top, R"({"k\u0000": "a\u0000b"})").result, 0);
    ASSERT_EQ(top.__len__(), 1);
    EXPECT_TRUE(top.__has__(var(std::string("k\0", 2))));
    EXPECT_EQ(top[std::string("k\0", 2)], std::string("a\0b", 3));
    EXPECT_EQ(top[std::string("k\0", 2)].__len__(), 3);
}

TEST(JsonDecode, LaterDuplicateKeyWins) {
    var top;
    ASSERT_EQ(decode(top, R"({"a": [1], "b": 2, "a": {"c": 3}})").result, 0);
    EXPECT_EQ(json_encode(top), R"({"a":{"c":3},"b":2})");
}

TEST(JsonDecode, IntegersSaturateAtThe32BitRangeWhileFloatsKeepTheirValue) {
    var top;
    ASSERT_EQ(decode(top, "[2147483648, -2147483649, 4294967296, -4294967296, 2147483648.0, 4294967296.5]").result, 0);
    EXPECT_EQ((double)top[0], 2147483647.0);
    EXPECT_EQ((double)top[1], -2147483648.0);
    EXPECT_EQ((double)top[2], 2147483647.0); // not wrapped to 0
    EXPECT_EQ((double)top[3], -2147483648.0);
    EXPECT_EQ((double)top[4], 2147483648.0);
    EXPECT_EQ((double)top[5], 4294967296.5);
}

TEST(JsonDecode, ZeroWithAnExponentIsANumber) {
    var top;
    ASSERT_EQ(decode(top, "[0e1, 0E+1, -0e-2, 0.5e1]").result, 0);
    EXPECT_EQ(json_encode(top), "[0,0,0,5]");
}

TEST(JsonDecode, CommentsAreAcceptedButNotAfterATruncatedKeyword) {
    var top;
    ASSERT_EQ(decode(top, "/*x*/{/*a*/\"k\"/*b*/:/*c*/[1/*d*/,true/**/]/*e*/}/*f*/").result, 0);
    EXPECT_EQ(json_encode(top), "{\"k\":[1,true]}");
    expect_refused_at("[tru/**/]", 4, "[]");
    expect_refused_at("[1,fals/**/]", 7, "[1]");
}

TEST(JsonDecode, SixteenNestedContainersAtMost) {
    var top;
    ASSERT_EQ(decode(top, nested(16)).result, 0);
    EXPECT_EQ(json_encode(top), nested(16));
    // The 17th container is already in the tree, empty, when it is refused.
    expect_refused_at(nested(17), 16, nested(17));
    expect_refused_at("{\"a\":" + nested(16) + "}", 20, "{\"a\":" + nested(16) + "}");
}

TEST(JsonDecode, ExtraClosingBracketIsRefusedWithoutHarm) {
    expect_refused_at("[]]", 2, "[]");
    expect_refused_at("{}}", 2, "{}");
    expect_refused_at("[1]]", 3, "[1]");
    expect_refused_at("{\"a\":[1]}}", 9, "{\"a\":[1]}");
    expect_refused_at("[[]]]]", 4, "[[]]");
}

// ====== Encoding ======

TEST(JsonEncode, ScalarsAndEmptyContainers) {
    EXPECT_EQ(json_encode(var()), "null");
    EXPECT_EQ(json_encode(var(true)), "true");
    EXPECT_EQ(json_encode(var(false)), "false");
    EXPECT_EQ(json_encode(var(3)), "3");
    EXPECT_EQ(json_encode(var(-2.5)), "-2.5");
    EXPECT_EQ(json_encode(var(0.1)), "0.1");
    EXPECT_EQ(json_encode(var(1e10)), "10000000000.0");
    EXPECT_EQ(json_encode(var_list()), "[]");
    EXPECT_EQ(json_encode(var_dict()), "{}");
    var l = var_list(var());
    list_append(l, var_dict(var("k"), var()));
    EXPECT_EQ(json_encode(l), "[null,{\"k\":null}]");
}

TEST(JsonEncode, DictKeysInAscendingByteOrder) {
    var d = var_dict();
    for (const char* k : {"b", "\xC3\xA9", "a", "B", "9", "10"}) d[k] = var(1);
    d[var(7)] = var(2);
    d["7"] = var(3); // the number 7 and the text "7" are one key
    EXPECT_EQ(json_encode(d), "{\"10\":1,\"7\":3,\"9\":1,\"B\":1,\"a\":1,\"b\":1,\"\xC3\xA9\":1}");
}

TEST(JsonEncode, StringEscapes) {
    EXPECT_EQ(json_encode(var("\x01" "a")), "\"\\u0001a\"");
    EXPECT_EQ(json_encode(var("\"\\/\b\f\n\r\t\x1f\x7f\xff")), "\"\\\"\\\\/\\b\\f\\n\\r\\t\\u001f\x7f\xff\"");
    var d = var_dict(var("q\"k"), var(1));
    EXPECT_EQ(json_encode(d), "{\"q\\\"k\":1}");
}

TEST(JsonEncode, NulByteIsWrittenAsAnEscapeAndReadBack) {
    std::string s("a\0b", 3);
    EXPECT_EQ(json_encode(var(s)), "\"a\\u0000b\"");
    var top;
    ASSERT_EQ(decode(top, json_encode(var_list(var(s)))).result, 0);
    EXPECT_EQ(top[0], s);
}

TEST(JsonEncode, ContainerInsideItselfIsWrittenAsNullWithOneLine) {
    const std::string line = "json_encode: a container holds itself, written as null\n";
    var l = var_list(var(1));
    list_append(l, l);
    var d = var_dict(var("self"), var());
    d["self"] = d;
    d["list"] = l;
    std::string text;
    EXPECT_EQ(capture_stderr([&] { text = json_encode(l); }), line);
    EXPECT_EQ(text, "[1,null]");
    EXPECT_EQ(capture_stderr([&] { text = json_encode(d); }), line) << "one line for two cycles";
    EXPECT_EQ(text, "{\"list\":[1,null],\"self\":null}");
    var l_twice = var_list(l);
    list_append(l_twice, l);
    EXPECT_EQ(capture_stderr([&] { text = json_encode(l_twice); }), line) << "one line for one cycle met twice";
    EXPECT_EQ(text, "[[1,null],[1,null]]");
    // Shared but not cyclic: written out each time, silently.
    var shared = var_list(var(2));
    var twice = var_list(shared);
    list_append(twice, shared);
    EXPECT_EQ(capture_stderr([&] { text = json_encode(twice); }), "");
    EXPECT_EQ(text, "[[2],[2]]");
    l.__del__(var(1)); // break the cycles so the values can be freed
    d.__del__(var("self"));
}

TEST(JsonEncode, NonFiniteNumbersAreWrittenAsNullAndReadBack) {
    var l = var_list(var(INFINITY));
    list_append(l, var(-INFINITY));
    list_append(l, var(NAN));
    list_append(l, var(-NAN));
    list_append(l, var(1.5));
    std::string text = json_encode(l);
    EXPECT_EQ(text, "[null,null,null,null,1.5]");
    var top;
    EXPECT_EQ(decode(top, text).result, 0);
}

TEST(JsonEncode, IteratorObjectIsNull) {
    var l = var_list(var(1));
    var it(l.__iter__());
    EXPECT_EQ(json_encode(it), "null");
}
