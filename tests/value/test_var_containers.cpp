// Behaviour of lists, dicts, iterators and the list and string helpers.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <set>

#include "support/capture.h"
#include "zov_var.h"

static std::string err_line(int line, const std::string& msg) {
    return "util/zov_var.cpp:" + std::to_string(line) + ": " + msg + "\n";
}

static var abc() {
    var a("a"), b("b"), c("c");
    return var(VAR_LIST, 3, &a, &b, &c);
}

static std::string joined(var list) { return str_join(",", list).__str__(); }

TEST(VarList, IndexRule) {
    var l = abc();
    EXPECT_EQ(l[-1].__str__(), "c");
    EXPECT_EQ(l[var(1.9)].__str__(), "b");
    EXPECT_EQ(l[var(-0.5)].__str__(), "a");
    EXPECT_EQ(l["2"].__str__(), "c");
    EXPECT_EQ(l[var(true)].__str__(), "b");
    EXPECT_EQ(l[var()].__str__(), "a");
    EXPECT_EQ(l[-3].__str__(), "a");
    Capture err(stderr);
    EXPECT_EQ(l[3].value, nullptr);
    EXPECT_EQ(l[-4].value, nullptr);
    EXPECT_EQ(l[var(std::numeric_limits<double>::quiet_NaN())].value, nullptr);
    std::string e = err_line(203, "IndexError: list index out of range");
    EXPECT_EQ(err.text(), e + e + e);
}

TEST(VarList, WritingThroughAFailedReadChangesNoList) {
    var l = abc();
    Capture err(stderr);
    l[5] = var("x");
    EXPECT_EQ(joined(l), "a,b,c");
    EXPECT_EQ(l[7].value, nullptr);
    err.text();
}

TEST(VarList, SetThroughReferenceAndSlot) {
    var l = abc();
    l[0] = var(1);
    l.__set__(var(-1), var("z"));
    EXPECT_EQ(joined(l), "1,b,z");
    Capture err(stderr);
    l.__set__(var(3), var("q"));
    EXPECT_EQ(err.text(), err_line(209, "IndexError: list assignment index out of range"));
    EXPECT_EQ(joined(l), "1,b,z");
}

TEST(VarList, InsertClampsBeforeTheLast) {
    struct {
        int at;
        const char* want;
    } cases[] = {{3, "a,b,x,c"}, {10, "a,b,x,c"}, {-1, "a,b,x,c"},
                 {0, "x,a,b,c"}, {-10, "x,a,b,c"}, {1, "a,x,b,c"}};
    for (auto& c : cases) {
        var l = abc();
        list_insert(l, c.at, var("x"));
        EXPECT_EQ(joined(l), c.want) << "insert at " << c.at;
    }
    var empty = var_list();
    list_insert(empty, 5, var("x"));
    EXPECT_EQ(joined(empty), "x");
}

TEST(VarList, PopAndDelete) {
    var l = abc();
    static_cast<_var_list*>(l.value)->_pop(var(-1));
    EXPECT_EQ(joined(l), "a,b");
    l.__del__(var(0));
    EXPECT_EQ(joined(l), "b");
    Capture err(stderr);
    var m = abc();
    static_cast<_var_list*>(m.value)->_pop(var(3));
    EXPECT_EQ(err.text(), err_line(270, "IndexError: list assignment index out of range"));
    EXPECT_EQ(joined(m), "a,b,c");
}

TEST(VarList, ExtendAddAndCopy) {
    var l = abc();
    list_extend(l, l);
    EXPECT_EQ(joined(l), "a,b,c,a,b,c");
    var x = abc(), y = var_list(var(1));
    var sum = x.__add__(y);
    EXPECT_EQ(joined(sum), "a,b,c,1");
    EXPECT_EQ(joined(x), "a,b,c");
    EXPECT_EQ(joined(y), "1");
    EXPECT_EQ(sum[0].value, x[0].value) << "elements are shared";
    Capture err(stderr);
    EXPECT_EQ(x.__add__(var(1)).value, nullptr);
    list_extend(x, var("s"));
    EXPECT_EQ(err.text(), err_line(246, "TypeError: can only concatenate list to list") +
                              err_line(288, "TypeError: lists may only be extended by lists"));
    var c = x.__copy__();
    EXPECT_FALSE(c == x);
    EXPECT_FALSE(abc() == abc());
    EXPECT_EQ(c[1].value, x[1].value);
    EXPECT_EQ(joined(x.__slice__(-2, 10)), "b,c");
    EXPECT_EQ(x.__slice__(2, 1).__len__(), 0);
}

TEST(VarList, FindHasAndInstanceText) {
    var l = abc();
    EXPECT_EQ(list_find(l, var("b")), 1);
    EXPECT_EQ(list_find(l, var("q")), -1);
    EXPECT_TRUE(l.__has__(var("c")));
    EXPECT_FALSE(l.__has__(var(1)));
    char want[64];
    std::snprintf(want, sizeof want, "<list instance at %p>", (void*)l.value);
    EXPECT_EQ(l.__str__(), want);
    EXPECT_EQ(l.__num__(), 0);
}

TEST(VarList, ElementsAreCountedAndReleased) {
    var item("shared");
    {
        var l = var_list(item);
        list_append(l, item);
        EXPECT_EQ(item.value->refs, 3);
    }
    EXPECT_EQ(item.value->refs, 1);
}

// Appending grows the storage, which must not lose the item being
// appended when it is one of the list's own elements.
TEST(VarList, AppendingItsOwnElementWhileGrowing) {
    var l = var_list(var("a"));
    for (int i = 0; i < 5; i++) list_append(l, l[0]);
    EXPECT_EQ(joined(l), "a,a,a,a,a,a");
    EXPECT_EQ(l[0].value->refs, 6);
}

TEST(VarDict, ReadingAMissingKeyInsertsNone) {
    var d = var_dict();
    Capture err(stderr);
    EXPECT_EQ(d["x"].value, nullptr);
    EXPECT_EQ(err.text(), "");
    EXPECT_EQ(d.__len__(), 1);
    EXPECT_TRUE(d.__has__(var("x")));
    EXPECT_FALSE(d.__has__(var("y")));
    EXPECT_EQ(d.__len__(), 1) << "__has__ inserts nothing";
}

TEST(VarDict, KeysAreStringForms) {
    var d = var_dict();
    d[1] = var("one");
    d["1"] = var("uno");
    EXPECT_EQ(d.__len__(), 1);
    EXPECT_EQ(d[1].__str__(), "uno");
    d[var(true)] = var(1);
    EXPECT_TRUE(d.__has__(var("True")));
    d[var()] = var(2);
    EXPECT_TRUE(d.__has__(var("")));
    d[var(2.5)] = var(3);
    EXPECT_TRUE(d.__has__(var("2.5")));
    var k1(1), v1("first"), k2("1"), v2("second");
    var two = var(VAR_DICT, 4, &k1, &v1, &k2, &v2);
    EXPECT_EQ(two.__len__(), 1);
    EXPECT_EQ(two["1"].__str__(), "second");
}

TEST(VarDict, DeleteAndErrors) {
    var d = var_dict(var("a"), var(1), var("b"), var(2));
    d.__del__(var("a"));
    EXPECT_FALSE(d.__has__(var("a")));
    Capture err(stderr);
    d.__del__(var("zz"));
    list_sort(d);
    EXPECT_EQ(err.text(), err_line(363, "dict::__del__:KeyError") + err_line(674, "UnsupportedError"));
    EXPECT_EQ(d.__len__(), 1);
}

TEST(VarDict, CopySharesValuesAndOrdersByAddress) {
    var d = var_dict(var("k"), var_list());
    var c = d.__copy__();
    EXPECT_FALSE(c == d);
    EXPECT_EQ(c["k"].value, d["k"].value);
    EXPECT_TRUE(d < var(true)) << "a bool's code is above a dict's";
    EXPECT_EQ(d < c, (void*)d.value < (void*)c.value);
}

TEST(VarIter, StringBytesAreSigned) {
    var s("\xE9");
    var it(s.__iter__());
    var out;
    ASSERT_TRUE(it.__next__(out));
    EXPECT_EQ((int)out, -23);
    EXPECT_FALSE(it.__next__(out));
    EXPECT_EQ((int)out, -23) << "the end leaves the argument as it was";
    EXPECT_FALSE(it.__next__(out));

    var ab("ab");
    var p(ab.__iter__());
    var k, v;
    ASSERT_TRUE(p.__pair__(k, v));
    EXPECT_EQ((int)k, 0);
    EXPECT_EQ((int)v, 97);
    ASSERT_TRUE(p.__pair__(k, v));
    EXPECT_EQ((int)k, 1);
    EXPECT_EQ((int)v, 98);
    EXPECT_FALSE(p.__pair__(k, v));
}

TEST(VarIter, DictKeysInByteOrder) {
    var d = var_dict();
    for (const char* k : {"a", "9", "B", "10"}) d[k] = var(k);
    std::string keys, vals;
    var it(d.__iter__());
    var k, v;
    while (it.__pair__(k, v)) {
        keys += k.__str__() + " ";
        vals += v.__str__() + " ";
    }
    EXPECT_EQ(keys, "10 9 B a ");
    EXPECT_EQ(vals, keys);
    var it2(d.__iter__());
    std::string next;
    while (it2.__next__(k)) next += k.__str__() + " ";
    EXPECT_EQ(next, keys);
}

TEST(VarIter, DictIteratorSurvivesInsertionAhead) {
    var d = var_dict(var("a"), var(1), var("c"), var(3));
    var it(d.__iter__());
    var k;
    std::string seen;
    while (it.__next__(k)) {
        seen += k.__str__();
        if (seen == "a") {
            d["d"] = var(4); // after the position: visited
            d["0"] = var(0); // before it: not visited
        }
    }
    EXPECT_EQ(seen, "acd");
}

TEST(VarIter, ListPairsAndScalarsIterateEmpty) {
    var l = abc();
    var it(l.__iter__());
    var k, v;
    int n = 0;
    while (it.__pair__(k, v)) {
        EXPECT_EQ((int)k, n);
        EXPECT_EQ(v.value, l[n].value);
        n++;
    }
    EXPECT_EQ(n, 3);
    var num(5);
    var none_it(num.__iter__());
    EXPECT_FALSE(none_it.__next__(k));
    var nil;
    var nil_it(nil.__iter__());
    EXPECT_FALSE(nil_it.__pair__(k, v));
}

// Each item reaches the caller's handle by the assignment rule: an equal
// number leaves the handle its own object, anything else rebinds it.
TEST(VarIter, DeliveryKeepsAnEqualNumbersOwnObject) {
    var three(3), other_three(3.0), nan(std::nan("")), zero(0.0), minus_zero(-0.0), text("3");
    var l(VAR_LIST, 7, &three, &other_three, &nan, &nan, &zero, &minus_zero, &text);
    var it(l.__iter__());
    var out;
    const var_object* want[] = {three.value, three.value, nan.value, nan.value,
                                zero.value, zero.value, text.value};
    for (const var_object* w : want) {
        ASSERT_TRUE(it.__next__(out));
        EXPECT_EQ(out.value, w);
    }
    EXPECT_EQ(three.value->refs, 2);
    EXPECT_EQ(other_three.value->refs, 2) << "a kept delivery takes no count";
    EXPECT_EQ(nan.value->refs, 3);
    EXPECT_EQ(text.value->refs, 3);

    // Pairs: the index is a new number each time, kept when equal.
    var key(1.0), value;
    const var_object* key_object = key.value;
    var p(l.__iter__());
    ASSERT_TRUE(p.__pair__(key, value));
    EXPECT_NE(key.value, key_object) << "0 is not 1";
    ASSERT_TRUE(p.__pair__(key, value));
    EXPECT_EQ((int)key, 1);
    EXPECT_EQ(value.value, three.value) << "3.0 equals 3";

    var s("\x01\x01");
    var out_byte(1);
    const var_object* byte_object = out_byte.value;
    var sit(s.__iter__());
    while (sit.__next__(out_byte)) EXPECT_EQ(out_byte.value, byte_object);
}

TEST(VarHelpers, Join) {
    var one(1), a("a"), none, t(true);
    var l(VAR_LIST, 4, &one, &a, &none, &t);
    EXPECT_EQ(str_join(",", l).__str__(), "1,a,,True");
    var empty = var_list();
    EXPECT_EQ(str_join(",", empty).__str__(), "");
    EXPECT_EQ(str_join(",", empty).__type__(), VAR_STRING);
    var n(3);
    Capture err(stderr);
    EXPECT_EQ(str_join(",", n).value, nullptr);
    EXPECT_EQ(err.text(), err_line(694, "TypeError"));
}

TEST(VarHelpers, SplitReplaceFind) {
    EXPECT_EQ(joined(str_split("a,b,,c", ",")), "a,b,,c");
    EXPECT_EQ(str_split("a,b,,c", ",").__len__(), 4);
    EXPECT_EQ(str_split("a,b,,c", ",")[2].__str__(), "");
    var one = str_split("", ",");
    EXPECT_EQ(one.__len__(), 1);
    EXPECT_EQ(one[0].__str__(), "");
    EXPECT_EQ(str_split("abc", "").__len__(), 1) << "empty separator must not loop";
    EXPECT_EQ(str_split("a::b::", "::").__len__(), 3);
    EXPECT_EQ(str_replace("aaa", "a", "aa"), "aaaaaa");
    EXPECT_EQ(str_replace("abc", "", "x"), "abc") << "empty search must not loop";
    EXPECT_EQ(str_replace("a-b-c", "-", ""), "abc");
    EXPECT_EQ(str_find("hello", "l"), 2);
    EXPECT_EQ(str_find("hello", "z"), -1);
    EXPECT_EQ(str_find("hello", ""), 0);
}

TEST(VarHelpers, StripAndLower) {
    EXPECT_EQ(str_strip("\t x y\r\n"), "x y");
    EXPECT_EQ(str_strip("   "), "");
    EXPECT_EQ(str_strip(""), "");
    EXPECT_EQ(str_lower("AbC\xC9\xFF"), "abc\xC9\xFF");
}

TEST(VarHelpers, ListFunctionsRefuseNonLists) {
    var d = var_dict();
    var s("s");
    Capture err(stderr);
    list_append(d, var(1));
    list_insert(d, 0, var(1));
    list_extend(s, var_list());
    EXPECT_EQ(list_find(d, var(1)), -1);
    list_sort(d);
    list_reverse(d);
    EXPECT_EQ(err.text(), err_line(650, "UnsupportedError") + err_line(656, "UnsupportedError") +
                              err_line(662, "UnsupportedError") + err_line(668, "UnsupportedError") +
                              err_line(674, "UnsupportedError") + err_line(680, "UnsupportedError"));
    EXPECT_EQ(d.__len__(), 0);
}

TEST(VarSort, ConsistentMixtures) {
    var l = var_list();
    for (int v : {3, 1, 2}) list_append(l, var(v));
    list_sort(l);
    EXPECT_EQ(joined(l), "1,2,3");
    var s = var_list();
    for (const char* v : {"b", "B", "a"}) list_append(s, var(v));
    list_sort(s);
    EXPECT_EQ(joined(s), "B,a,b");
    var withbools = var_list();
    for (var v : {var(true), var(5), var(false), var(-1)}) list_append(withbools, v);
    list_sort(withbools);
    EXPECT_EQ(withbools[0].__str__(), "-1");
    EXPECT_EQ(withbools[1].__str__(), "5");
    EXPECT_EQ(withbools[2].__type__(), VAR_BOOL);
    list_reverse(l);
    EXPECT_EQ(joined(l), "3,2,1");
}

// Mixed kinds are not ranked consistently by operator<; the sort must still
// end, stay inside the list and keep every element exactly once.
TEST(VarSort, MixedKindsFuzzStaysInsideTheList) {
    std::mt19937 rng(7);
    var pool[] = {var(), var(1), var(-2.5), var(std::numeric_limits<double>::quiet_NaN()),
                  var("0"), var("abc"), var(true), var(false), var_list(), var_dict()};
    for (int round = 0; round < 500; round++) {
        var l = var_list();
        int n = 1 + (int)(rng() % 40);
        for (int i = 0; i < n; i++) list_append(l, pool[rng() % 10]);
        std::multiset<var_object*> before, after;
        for (int i = 0; i < n; i++) before.insert(l[i].value);
        list_sort(l);
        ASSERT_EQ(l.__len__(), n);
        for (int i = 0; i < n; i++) after.insert(l[i].value);
        ASSERT_EQ(before, after);
        for (int i = 1; i < n; i++) {
            // Numbers (no NaN) among themselves stay ascending.
            var a = l[i - 1], b = l[i];
            if (a.__type__() == VAR_NUMBER && b.__type__() == VAR_NUMBER &&
                !std::isnan(a.__num__()) && !std::isnan(b.__num__())) {
                ASSERT_LE(a.__num__(), b.__num__());
            }
        }
    }
    for (auto& p : pool)
        if (p.value) {
            EXPECT_EQ(p.value->refs, 1) << "counts unchanged after sorting";
        }
}
