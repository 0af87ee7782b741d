// The JSON codec over many values and inputs: decode(encode(v)) gives v
// back, the locale does not change numbers, and mangled text never crashes.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <clocale>
#include <random>
#include <string>

#include "value/test_json_support.h"
#include "zov_json.h"

namespace {

// Values that survive the number text exactly: 32-bit integers and
// multiples of 1/64 (at most six decimals).
var random_value(std::mt19937& rng, int depth) {
    auto pick = [&](int n) { return (int)(rng() % (unsigned)n); };
    auto random_bytes = [&] {
        std::string s;
        for (int n = pick(12); n > 0; n--) s += (char)pick(256);
        return s;
    };
    int kind = depth < 15 ? pick(8) : pick(5);
    switch (kind) {
    case 0: return var();
    case 1: return var(pick(2) == 1);
    case 2: return var((double)(int32_t)rng());
    case 3: return var((double)((int)(rng() % 2000001) - 1000000) / 64.0);
    case 4: return var(random_bytes());
    case 5:
    case 6: {
        var l = var_list();
        for (int n = pick(6); n > 0; n--) list_append(l, random_value(rng, depth + 1));
        return l;
    }
    default: {
        var d = var_dict();
        for (int n = pick(6); n > 0; n--) d[random_bytes()] = random_value(rng, depth + 1);
        return d;
    }
    }
}

// Deep equality: same kinds, same scalars, same elements and entries.
bool same(const var& a, const var& b) {
    if (a.__type__() != b.__type__()) return false;
    switch (a.__type__()) {
    case VAR_LIST: {
        const auto& x = static_cast<_var_list*>(a.value)->value;
        const auto& y = static_cast<_var_list*>(b.value)->value;
        if (x.size() != y.size()) return false;
        for (size_t i = 0; i < x.size(); i++)
            if (!same(x[i], y[i])) return false;
        return true;
    }
    case VAR_DICT: {
        const auto& x = static_cast<_var_dict*>(a.value)->value;
        const auto& y = static_cast<_var_dict*>(b.value)->value;
        if (x.size() != y.size()) return false;
        for (auto i = x.begin(), j = y.begin(); i != x.end(); ++i, ++j)
            if (i->first != j->first || !same(i->second, j->second)) return false;
        return true;
    }
    default: return a == b;
    }
}

int quiet_decode(var& top, const std::string& text) {
    int result = -1;
    capture_stderr([&] { result = json_decode(top, text.data(), (int)text.size()); });
    return result;
}

} // namespace

TEST(JsonRoundTrip, DecodeOfEncodeGivesTheValueBack) {
    std::mt19937 rng(20240601);
    for (int i = 0; i < 500; i++) {
        var v = rng() % 2 ? var_list() : var_dict();
        var inner = random_value(rng, 1);
        if (v.__type__() == VAR_LIST)
            list_append(v, inner);
        else
            v["root"] = inner;
        std::string text = json_encode(v);
        var back;
        ASSERT_EQ(quiet_decode(back, text), 0) << text;
        ASSERT_TRUE(same(v, back)) << text << "\n" << json_encode(back);
        ASSERT_EQ(json_encode(back), text);
    }
}

TEST(JsonRoundTrip, CommaDecimalLocaleChangesNoNumber) {
    std::string saved = std::setlocale(LC_ALL, nullptr);
    ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr)
        << "the de_DE.UTF-8 locale is missing: tools/install-deps.sh generates it";
    ASSERT_STREQ(std::localeconv()->decimal_point, ",");
    var top;
    int result = quiet_decode(top, "{\"a\": [1.5, 2.25e1, 1., -0.125, 7]}");
    std::string text = json_encode(top);
    std::string half = json_encode(var(0.5));
    std::setlocale(LC_ALL, saved.c_str());
    ASSERT_EQ(result, 0);
    EXPECT_EQ((double)top["a"][0], 1.5);
    EXPECT_EQ((double)top["a"][1], 22.5);
    EXPECT_EQ((double)top["a"][2], 1.0);
    EXPECT_EQ((double)top["a"][3], -0.125);
    EXPECT_EQ(text, "{\"a\":[1.5,22.5,1,-0.125,7]}");
    EXPECT_EQ(half, "0.5");
}

// Mangled and random text: every call returns 0 or 1 without a crash (the
// sanitizer build watches memory), and whatever decodes encodes to text
// that decodes to the same tree.
TEST(JsonFuzz, MangledTextNeverCrashes) {
    std::mt19937 rng(7);
    std::vector<std::string> seeds = {
        R"({"frames": {"a.png": {"frame": {"x": 1, "y": 2, "w": 30, "h": 40}, "rotated": false}}})",
        R"([1, -2.5e3, "s\u00e9\ud83d\ude00\n", true, false, null, {"k": []}, /* c */ 0.5])",
        "[\"\\u0000\", \"\xFF\", {\"\": {}}, [[[[[[[[[[[[[[[1]]]]]]]]]]]]]]]]",
    };
    for (int i = 0; i < 20; i++) seeds.push_back(json_encode(var_list(random_value(rng, 1))));
    const std::string alphabet = "{}[]\":,\\/*0123456789eE.-+tfnulr \t\n\x01\xFF";
    auto pick = [&](size_t n) { return n ? (size_t)(rng() % n) : 0; };
    // stderr gets one line per refusal: send them all away at once.
    capture_stderr([&] {
        for (int i = 0; i < 50000; i++) {
            std::string text = seeds[pick(seeds.size())];
            for (int edits = 1 + (int)pick(4); edits > 0; edits--) {
                size_t at = pick(text.size() + 1);
                switch (pick(5)) {
                case 0: if (at < text.size()) text[at] = alphabet[pick(alphabet.size())]; break;
                case 1: text.insert(at, 1, alphabet[pick(alphabet.size())]); break;
                case 2: if (at < text.size()) text.erase(at, 1 + pick(4)); break;
                case 3: text.resize(at); break;
                default: text.insert(at, text.substr(pick(text.size()), pick(16))); break;
                }
            }
            if (i % 10 == 0)
                for (char& c : text) c = (char)pick(256);
            var top;
            int result = json_decode(top, text.data(), (int)text.size());
            ASSERT_TRUE(result == 0 || result == 1);
            int type = top.__type__();
            if (result != 0 || (type != VAR_LIST && type != VAR_DICT)) continue;
            std::string again = json_encode(top);
            if (again.find("inf") != std::string::npos || again.find("nan") != std::string::npos) continue;
            var back;
            ASSERT_EQ(json_decode(back, again.data(), (int)again.size()), 0) << again;
            ASSERT_EQ(json_encode(back), again);
        }
    });
}
