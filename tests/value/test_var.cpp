// Behaviour of the dynamic value: handles, scalars, errors, number text.
#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <functional>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "alloc_count.h"
#include "support/capture.h"
#include "zov_var.h"

static const double NaN = std::numeric_limits<double>::quiet_NaN();
static const double Inf = std::numeric_limits<double>::infinity();

// The exact error line of the value model.
static std::string err_line(int line, const std::string& msg) {
    return "util/zov_var.cpp:" + std::to_string(line) + ": " + msg + "\n";
}

TEST(VarHandle, IsOnePointerAndNoneNeedsNoObject) {
    static_assert(sizeof(var) == sizeof(void*), "a handle is one pointer");
    long before = alloc_count();
    var n;
    EXPECT_EQ(n.value, nullptr);
    EXPECT_EQ(n.__type__(), VAR_NONE);
    EXPECT_EQ(n.__str__(), "");
    EXPECT_EQ(n.__num__(), 0);
    EXPECT_FALSE(n.__bool__());
    EXPECT_TRUE(n == var());
    var m = n;
    m = n;
    EXPECT_FALSE(n < m);
    EXPECT_EQ(alloc_count(), before) << "none must not allocate";
}

TEST(VarHandle, NoneLengthReportsTypeError) {
    var n;
    Capture err(stderr);
    EXPECT_EQ(n.__len__(), 0);
    EXPECT_EQ(err.text(), err_line(615, "TypeError: 'none' object does not support '__len__'"));
    EXPECT_EQ(var_get_errstr(), "TypeError: 'none' object does not support '__len__'");
}

TEST(VarHandle, NullCStringGivesNoneAndOneLine) {
    Capture err(stderr);
    var v((const char*)nullptr);
    EXPECT_EQ(v.value, nullptr);
    std::string text = err.text();
    EXPECT_NE(text.find("util/zov_var.cpp:"), std::string::npos);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1);
}

TEST(VarHandle, ReferenceCountsFollowHandles) {
    var a(3);
    EXPECT_EQ(a.value->refs, 1);
    {
        var b = a;
        EXPECT_EQ(b.value, a.value);
        EXPECT_EQ(a.value->refs, 2);
    }
    EXPECT_EQ(a.value->refs, 1);
    var_object* o = a.__iter__();
    EXPECT_EQ(o->refs, 0) << "__iter__ hands out an unowned object";
    var it(o);
    EXPECT_EQ(o->refs, 1);
    var c = a.__copy__();
    EXPECT_NE(c.value, a.value);
    EXPECT_EQ(c.value->refs, 1);
    EXPECT_TRUE(c == a);
}

TEST(VarHandle, AdoptingTheHeldObjectKeepsIt) {
    var a(1.5);
    var_object* o = a.value;
    a.__init__(o);
    EXPECT_EQ(a.value, o);
    EXPECT_EQ(o->refs, 1);
}

TEST(VarAssign, EqualScalarDoesNotRebind) {
    var a(3);
    var_object* mine = a.value;
    var other(3);
    a = other;
    EXPECT_EQ(a.value, mine);
    var shared = a;
    a = var(4);
    EXPECT_NE(a.value, mine);
    EXPECT_EQ((int)shared, 3) << "the old object keeps its value for other handles";
    EXPECT_EQ((int)a, 4);
}

TEST(VarAssign, NanAssignedToItselfKeepsObjectAndCount) {
    var a(NaN);
    var_object* o = a.value;
    a = a;
    EXPECT_EQ(a.value, o);
    EXPECT_EQ(o->refs, 1);
}

TEST(VarAssign, OtherKindAlwaysRebinds) {
    var a(1);
    a = var(true);
    EXPECT_EQ(a.__type__(), VAR_BOOL);
    a = var("1");
    EXPECT_EQ(a.__type__(), VAR_STRING);
    a = var();
    EXPECT_EQ(a.value, nullptr);
}

TEST(VarEquality, KindsNeverMix) {
    EXPECT_FALSE(var(1) == var("1"));
    EXPECT_FALSE(var("1") == var(1));
    EXPECT_TRUE(var(1) == var(1.0));
    EXPECT_FALSE(var(1) == var(true));
    EXPECT_FALSE(var(true) == var(1));
    EXPECT_FALSE(var(NaN) == var(NaN));
    EXPECT_TRUE(var(0.0) == var(-0.0));
    EXPECT_TRUE(var(true) == var(true));
    EXPECT_TRUE(var(std::string("a\0b", 3)) == var(std::string("a\0b", 3)));
    EXPECT_FALSE(var(std::string("a\0b", 3)) == var("a"));
    EXPECT_TRUE(var("abc") == "abc");
    EXPECT_TRUE(var("abc") == std::string("abc"));
    EXPECT_FALSE(var(5) == "5");
    var list = var_list();
    EXPECT_TRUE(list == list);
    EXPECT_FALSE(list == var_list());
    EXPECT_TRUE(var() == var(new _var_none()));
}

TEST(VarConvert, IntTruncatesAndSaturatesToMin) {
    EXPECT_EQ((int)var(2.9), 2);
    EXPECT_EQ((int)var(-2.9), -2);
    EXPECT_EQ((int)var(NaN), -2147483647 - 1);
    EXPECT_EQ((int)var(1e10), -2147483647 - 1);
    EXPECT_EQ((int)var(-1e10), -2147483647 - 1);
    EXPECT_EQ((int)var(2147483647.5), 2147483647);
    EXPECT_EQ((int)var(-2147483648.9), -2147483647 - 1);
    EXPECT_EQ((int)var("12abc"), 12);
    EXPECT_EQ((double)var(true), 1.0);
    EXPECT_FLOAT_EQ((float)var(0.25), 0.25f);
    EXPECT_EQ((std::string)var(2.5), "2.5");
}

TEST(VarNumberText, SpecifiedExamples) {
    EXPECT_EQ(_var_number_to_str(3), "3");
    EXPECT_EQ(_var_number_to_str(-7), "-7");
    EXPECT_EQ(_var_number_to_str(2.50), "2.5");
    EXPECT_EQ(_var_number_to_str(0.1), "0.1");
    EXPECT_EQ(_var_number_to_str(1.0 / 3), "0.333333");
    EXPECT_EQ(_var_number_to_str(1e-7), "0.0");
    EXPECT_EQ(_var_number_to_str(-1e-7), "-0.0");
    EXPECT_EQ(_var_number_to_str(3e9), "3000000000.0");
    EXPECT_EQ(_var_number_to_str(-2147483648.0), "-2147483648");
    EXPECT_EQ(_var_number_to_str(2147483647.0), "2147483647");
    EXPECT_EQ(_var_number_to_str(-0.0), "0");
    EXPECT_EQ(_var_number_to_str(Inf), "inf");
    EXPECT_EQ(_var_number_to_str(-Inf), "-inf");
    EXPECT_EQ(_var_number_to_str(NaN), "nan");
    EXPECT_EQ(_var_number_to_str(-NaN), "-nan");
}

// The reference: "%f" then the trimming rule, in the C locale.
static std::string reference_text(double v) {
    int t = (v > -2147483649.0 && v < 2147483648.0) ? (int)v : (-2147483647 - 1);
    char buf[512];
    if (!std::isnan(v) && v == t) {
        std::snprintf(buf, sizeof buf, "%d", t);
        return buf;
    }
    std::snprintf(buf, sizeof buf, "%f", v);
    int n = (int)std::strlen(buf);
    while (n - 1 > 1 && buf[n - 1] == '0' && buf[n - 2] != '.') n--;
    return std::string(buf, n);
}

TEST(VarNumberText, MatchesPrintfOnRandomDoubles) {
    std::mt19937_64 rng(12345);
    std::uniform_real_distribution<double> exponent(-12, 310);
    std::uniform_int_distribution<int> small(-100000, 100000);
    for (int i = 0; i < 20000; i++) {
        double v;
        switch (i % 7) {
        case 0: v = std::pow(10.0, exponent(rng)) * (rng() & 1 ? 1 : -1); break;
        case 1: v = small(rng) / 8.0; break;
        case 2: {
            uint64_t bits = rng();
            std::memcpy(&v, &bits, sizeof v);
            break;
        }
        case 4: v = small(rng) * 1e-6; break;
        case 5: v = small(rng) * 1e-6 + 5e-7; break; // halfway in decimal, not in binary
        default: v = (double)(rng() >> 31) + small(rng) * 1e-6; break; // up to 2^33
        }
        ASSERT_EQ(_var_number_to_str(v), reference_text(v)) << "value " << v;
    }
    // Where a few decimals stop being exact in micros, and a negative that
    // prints as zero.
    for (double v : {4503599627.370496, 4503599627.3704965, 4503599627.5, 2251799813.6852485, -5e-324, -4e-7})
        EXPECT_EQ(_var_number_to_str(v), reference_text(v)) << "value " << v;
    // The largest doubles need over 300 characters.
    EXPECT_EQ(_var_number_to_str(1e300), reference_text(1e300));
    EXPECT_EQ(_var_number_to_str(-std::numeric_limits<double>::max()),
              reference_text(-std::numeric_limits<double>::max()));
}

// Scripts can switch the process locale; numbers must read and print the same.
class CommaLocale {
public:
    CommaLocale() {
        if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8"))
            comma = std::localeconv()->decimal_point[0] == ',';
    }
    ~CommaLocale() { std::setlocale(LC_NUMERIC, "C"); }
    bool comma = false;
};

TEST(VarNumberText, SameInEveryLocale) {
    CommaLocale loc;
    ASSERT_TRUE(loc.comma) << "the install script generates de_DE.UTF-8";
    EXPECT_EQ(_var_number_to_str(2.5), "2.5");
    EXPECT_EQ(_var_number_to_str(1.0 / 3), "0.333333");
    EXPECT_EQ(_var_number_to_str(-0.125), "-0.125");
    EXPECT_EQ(var("2.5").__num__(), 2.5);
    EXPECT_EQ(_var_str_to_number("  -1.5e2xyz"), -150.0);
}

TEST(VarScalars, TruthOfEachKind) {
    EXPECT_TRUE(var(NaN).__bool__());
    EXPECT_FALSE(var(0).__bool__());
    EXPECT_FALSE(var("").__bool__());
    EXPECT_TRUE(var("0").__bool__());
    EXPECT_FALSE(var_list().__bool__());
    EXPECT_FALSE(var_dict().__bool__());
    EXPECT_TRUE(var_list(var()).__bool__());
    EXPECT_EQ(var(true).__str__(), "True");
    EXPECT_EQ(var(false).__str__(), "False");
}

TEST(VarScalars, ArithmeticTakesTheOthersNumberForm) {
    EXPECT_EQ(var("abc").__add__(var(1)).__str__(), "abc1");
    EXPECT_EQ(var("a").__add__(var(true)).__str__(), "aTrue");
    EXPECT_EQ(var("a").__add__(var()).__str__(), "a");
    EXPECT_EQ(var(1).__add__(var("2")).__num__(), 3);
    EXPECT_EQ(var(2).__add__(var()).__num__(), 2);
    EXPECT_EQ(var(7).__sub__(var(2)).__num__(), 5);
    EXPECT_EQ(var(6).__div__(var(4)).__num__(), 1.5);
    EXPECT_EQ(var(6).__mul__(var("0.5")).__num__(), 3);
    EXPECT_TRUE(std::isinf(var(1).__div__(var(0)).__num__()));
    EXPECT_TRUE(std::isnan(var(0).__div__(var(0)).__num__()));
}

TEST(VarScalars, UnsupportedOperationsReportTheirLine) {
    struct Case {
        std::function<void()> op;
        int line;
        const char* msg;
    } cases[] = {
        {[] { EXPECT_EQ(var("abc").__sub__(var(1)).value, nullptr); }, 631,
         "TypeError: 'string' object does not support '__sub__'"},
        {[] { EXPECT_EQ(var(true).__add__(var(1)).value, nullptr); }, 629,
         "TypeError: 'bool' object does not support '__add__'"},
        {[] { EXPECT_EQ(var(3).__len__(), 0); }, 615,
         "TypeError: 'number' object does not support '__len__'"},
        {[] { EXPECT_FALSE(var(3).__has__(var(3))); }, 613,
         "TypeError: 'number' object does not support '__has__'"},
        {[] { var("s").__set__(var(0), var(1)); }, 612,
         "TypeError: 'string' object does not support '__set__'"},
        {[] { var("s").__del__(var(0)); }, 614,
         "TypeError: 'string' object does not support '__del__'"},
        {[] { EXPECT_EQ(var(1).__slice__(0, 1).value, nullptr); }, 616,
         "TypeError: 'number' object does not support '__slice__'"},
        {[] { EXPECT_EQ(var_list().__mul__(var(2)).value, nullptr); }, 630,
         "TypeError: 'list' object does not support '__mul__'"},
        {[] { EXPECT_EQ(var_dict().__slice__(0, 1).value, nullptr); }, 616,
         "TypeError: 'dict' object does not support '__slice__'"},
        {[] { EXPECT_EQ(var_dict().__div__(var(1)).value, nullptr); }, 632,
         "TypeError: 'dict' object does not support '__div__'"},
        {[] {
             var s("abc");
             var it(s.__iter__());
             it.__len__();
         },
         615, "TypeError: 'invalid' object does not support '__len__'"},
    };
    for (auto& c : cases) {
        Capture err(stderr);
        c.op();
        EXPECT_EQ(err.text(), err_line(c.line, c.msg));
        EXPECT_EQ(var_get_errstr(), c.msg);
    }
}

TEST(VarScalars, FailedLookupGivesScratchNone) {
    Capture err(stderr);
    var s("text");
    var& r = s[0];
    EXPECT_EQ(r.value, nullptr);
    r = var(42); // lands in the scratch handle only
    EXPECT_EQ(s.__str__(), "text");
    var& again = var(7)["k"];
    EXPECT_EQ(again.value, nullptr) << "the next failed lookup resets the scratch";
    EXPECT_EQ(err.text(), err_line(611, "TypeError: 'string' object does not support '__get__'") +
                              err_line(611, "TypeError: 'number' object does not support '__get__'"));
}

TEST(VarOrdering, ReceiverDecides) {
    EXPECT_TRUE(var(5) < var("0"));
    EXPECT_TRUE(var("0") < var(5));
    EXPECT_FALSE(var(1) < var());
    EXPECT_TRUE(var(-1) < var());
    EXPECT_FALSE(var(true) < var(false));
    EXPECT_FALSE(var(false) < var(true));
    EXPECT_FALSE(var() < var(1));
    EXPECT_TRUE(var(1) < var(2));
    EXPECT_FALSE(var(NaN) < var(2));
    EXPECT_TRUE(var("B") < var("a"));
    EXPECT_TRUE(var("ab") < var("abc"));
    EXPECT_TRUE(var("z") < var("\xE9")) << "bytes compare unsigned";
    EXPECT_TRUE(var("z") < var_list());
    EXPECT_TRUE(var_list() < var_dict());
    var d = var_dict(), l = var_list();
    EXPECT_EQ(d < l, (void*)d.value < (void*)l.value) << "a dict against a list: by address";
    EXPECT_FALSE(var_list() < var());
    // Two containers of a kind: by address, so exactly one way round.
    for (var a : {var_list(), var_dict()}) {
        var b = a.__copy__();
        EXPECT_EQ(a < b, (void*)a.value < (void*)b.value);
        EXPECT_EQ(b < a, (void*)b.value < (void*)a.value);
        EXPECT_FALSE(a < a);
    }
}

TEST(VarString, SliceBounds) {
    var s("hello");
    EXPECT_EQ(s.__slice__(1, -1).__str__(), "ell");
    EXPECT_EQ(s.__slice__(-3, 100).__str__(), "llo");
    EXPECT_EQ(s.__slice__(2, 2).__str__(), "");
    EXPECT_EQ(s.__slice__(-100, 2).__str__(), "he");
    // Start beyond the end or the length: empty, never a throw.
    EXPECT_EQ(s.__slice__(4, 1).__str__(), "");
    EXPECT_EQ(s.__slice__(9, 20).__str__(), "");
    EXPECT_EQ(s.__slice__(9, 20).__type__(), VAR_STRING);
}

TEST(VarString, HasLengthAndNumber) {
    var s(std::string("ab\0cd", 5));
    EXPECT_EQ(s.__len__(), 5);
    EXPECT_TRUE(s.__has__(var("cd")));
    EXPECT_TRUE(s.__has__(var("")));
    EXPECT_FALSE(s.__has__(var("x")));
    EXPECT_TRUE(var("a1b").__has__(var(1)));
    EXPECT_EQ(var("abc").__num__(), 0);
    EXPECT_EQ(var(" 42.5x").__num__(), 42.5);
}

TEST(VarFloatHelpers, NanAndSigns) {
    float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(mymax(1, 2), 2);
    EXPECT_EQ(mymin(1, 2), 1);
    EXPECT_EQ(mymax(nan, 2), 2);
    EXPECT_TRUE(std::isnan(mymax(2, nan)));
    EXPECT_EQ(mymin(nan, 2), 2);
    EXPECT_EQ(mysign(-3), -1);
    EXPECT_EQ(mysign(0), 0);
    EXPECT_EQ(mysign(nan), 0);
    EXPECT_EQ(mysign(0.1f), 1);
    EXPECT_TRUE(std::signbit(myabs(-0.0f)));
    EXPECT_EQ(myabs(-2), 2);
    EXPECT_EQ(var_max(NaN, 3), 3);
    EXPECT_EQ(var_min(1, 3), 1);
}

// Values built after others were freed in any order still lie side by side
// in ascending addresses (but for a jump between chunks now and then), so
// that walking them stays cache friendly.
TEST(VarPool, ValuesBuiltAfterScatteredFreesLieInOrder) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "sanitizer builds use the plain heap";
#endif
    std::vector<var> values;
    for (int i = 0; i < 20000; i++) values.push_back(var(i));
    std::shuffle(values.begin(), values.end(), std::mt19937(7));
    values.clear();
    for (int i = 0; i < 20000; i++) values.push_back(var(i));
    int jumps = 0;
    for (size_t i = 1; i < values.size(); i++) {
        std::ptrdiff_t step = (char*)values[i].value - (char*)values[i - 1].value;
        jumps += step <= 0 || step > 128;
    }
    EXPECT_LT(jumps, 100);
}
