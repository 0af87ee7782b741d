// The markup scanner: what each tag record holds, the text that is kept or
// dropped, entities, the scanning steps' indices, and a fuzz loop of random
// and mutated markup (run under AddressSanitizer too).
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "zov_html.h"
#include "zov_json.h"

namespace {

// The records as compact JSON, keys in byte order.
std::string scan(const std::string& markup) { return json_encode(html_parse(markup)); }

} // namespace

// ====== Tag records ======

TEST(HtmlParse, ClosingAndSelfClosingTagsAreMarkedClosed) {
    EXPECT_EQ(scan("</p>"), R"([{"closed":1,"tag":"p"}])");
    EXPECT_EQ(scan("<p>text</p>"), R"([{"content":"text","tag":"p"},{"closed":1,"tag":"p"}])");
    // A closed tag gets no content, even when text follows it.
    EXPECT_EQ(scan("<br/>after<p>"), R"([{"closed":1,"tag":"br"},{"tag":"p"}])");
    EXPECT_EQ(scan("<a href=/x>"), R"([{"closed":1,"href":"x","tag":"a"}])");
    EXPECT_EQ(scan("<a href=\"/x/\">"), R"([{"href":"/x/","tag":"a"}])")
        << "a quoted / does not close";
}

TEST(HtmlParse, AttributesNeedAWordAnEqualsSignAndAValue) {
    EXPECT_EQ(scan("<input value=\"a<b>c\" disabled>"), R"([{"tag":"input","value":"a<b>c"}])");
    EXPECT_EQ(scan("<a title='x y' alt='it\"s'>"), R"([{"alt":"it\"s","tag":"a","title":"x y"}])");
    EXPECT_EQ(scan("<a b c=d>"), R"([{"c":"d","tag":"a"}])");
    EXPECT_EQ(scan("<a x=1 x=2>"), R"([{"tag":"a","x":"2"}])") << "the later value wins";
    EXPECT_EQ(scan("<p \"x\" y='z'>"), R"([{"tag":"p","y":"z"}])")
        << "a quoted value without = is dropped";
}

TEST(HtmlParse, BareValueIsOneWord) {
    EXPECT_EQ(scan("<td width=100px>"), R"([{"tag":"td","width":"100px"}])");
    EXPECT_EQ(scan("<a href=page.html>"), R"([{"href":"page","tag":"a"}])");
    EXPECT_EQ(scan("<a id=-_9Z>"), R"([{"id":"-_9Z","tag":"a"}])");
}

TEST(HtmlParse, NamesAreCaseSensitiveAsciiWords) {
    EXPECT_EQ(scan("<P Class=X>"), R"([{"Class":"X","tag":"P"}])");
    EXPECT_EQ(scan("<caf\xc3\xa9 x=1>"), R"([{"tag":"caf","x":"1"}])");
}

TEST(HtmlParse, CommentGivesTheTwoHyphensAsItsTag) {
    EXPECT_EQ(scan("<!-- a note -->"), R"([{"tag":"--"}])");
}

TEST(HtmlParse, TagsWithoutANameGiveEmptyRecords) {
    EXPECT_EQ(scan("<>"), R"([{}])");
    EXPECT_EQ(scan("<"), R"([{}])");
    EXPECT_EQ(scan("<?>"), R"([{}])");
}

TEST(HtmlParse, UnterminatedTagOrValueRunsToTheEnd) {
    EXPECT_EQ(scan("<p>hi<img src=\"a.png\""),
              R"([{"content":"hi","tag":"p"},{"src":"a.png","tag":"img"}])");
    EXPECT_EQ(scan("<a b=\"xyz>text<p>"), R"([{"b":"xyz>text<p>","tag":"a"}])");
}

// ====== Text between tags ======

TEST(HtmlParse, TextBeforeTheFirstAndAfterTheLastTagIsDropped) {
    EXPECT_EQ(scan("plain text & more"), "[]");
    EXPECT_EQ(scan(""), "[]");
    EXPECT_EQ(scan("intro<p>x</p>tail"), R"([{"content":"x","tag":"p"},{"closed":1,"tag":"p"}])");
    EXPECT_EQ(scan("<a><b>tail"), R"([{"content":"","tag":"a"},{"tag":"b"}])");
}

TEST(HtmlParse, ContentAttributeKeepsTheFollowingTextOut) {
    EXPECT_EQ(scan("<meta content=\"x\">text<p>"), R"([{"content":"x","tag":"meta"},{"tag":"p"}])");
}

TEST(HtmlParse, ContentKeepsEveryByte) {
    EXPECT_EQ(scan(std::string("<p> a\0\n\xff <b>", 11)),
              std::string("[{\"content\":\" a\\u0000\\n\xff \",\"tag\":\"p\"},{\"tag\":\"b\"}]"));
}

// ====== Entities ======

TEST(HtmlParse, FiveNamedEntitiesAreDecodedInTextAndValues) {
    EXPECT_EQ(scan("<p>&amp;&lt;&gt;&quot;&nbsp;x<b>"),
              R"([{"content":"&<>\" x","tag":"p"},{"tag":"b"}])");
    EXPECT_EQ(scan("<a t=\"&lt;&quot;\">"), R"([{"t":"<\"","tag":"a"}])");
}

TEST(HtmlParse, OtherEntitiesBecomeAQuestionMark) {
    EXPECT_EQ(scan("<p>&#65;<b>"), R"([{"content":"?#65;","tag":"p"},{"tag":"b"}])");
    EXPECT_EQ(scan("<p>&AMP;<b>"), R"([{"content":"?","tag":"p"},{"tag":"b"}])");
    EXPECT_EQ(scan("<p>&ampx &;<b>"), R"([{"content":"? ?","tag":"p"},{"tag":"b"}])");
    EXPECT_EQ(scan("<a title=\"x&"), R"([{"tag":"a","title":"x?"}])") << "& at the very end";
}

TEST(HtmlParse, EntityEndsAtAnyNonAlphanumericByte) {
    EXPECT_EQ(scan("<p>&amp x<b>"), R"([{"content":"& x","tag":"p"},{"tag":"b"}])");
    EXPECT_EQ(scan("<p>a&lt<b>"), R"([{"content":"a<","tag":"p"},{"tag":"b"}])");
}

// ====== Scanning steps ======

TEST(HtmlSteps, ReturnTheIndexAfterWhatTheyRead) {
    std::string s = "<a b='v'>rest";
    var tag = var_dict();
    EXPECT_EQ(_html_tag(s, 0, (int)s.size(), tag), 9);
    EXPECT_EQ(json_encode(tag), R"({"b":"v","tag":"a"})");

    std::string word = "x";
    s = "ab-c_9!";
    EXPECT_EQ(_html_param(s, 0, (int)s.size(), word), 6);
    EXPECT_EQ(word, "xab-c_9") << "the word is appended";
    EXPECT_EQ(_html_param(s, 6, (int)s.size(), word), 6) << "no word at a non-word byte";

    std::string value = "=";
    s = "\"a&gt;b\" c";
    EXPECT_EQ(_html_value(s, 0, (int)s.size(), value), 8);
    EXPECT_EQ(value, "=a>b");

    std::string code = "old";
    s = "&lt;x";
    EXPECT_EQ(_html_code(s, 0, (int)s.size(), code), 4);
    EXPECT_EQ(code, "<") << "the replacement is set, not appended";
    s = "&lt x";
    EXPECT_EQ(_html_code(s, 0, (int)s.size(), code), 3);
    s = "a&";
    EXPECT_EQ(_html_code(s, 1, 2, code), 2);
    EXPECT_EQ(code, "?");
}

TEST(HtmlSteps, StopAtTheGivenLength) {
    std::string s = "abcdef";
    std::string word;
    EXPECT_EQ(_html_param(s, 0, 3, word), 3);
    EXPECT_EQ(word, "abc");
    s = "<a b=c>";
    var tag = var_dict();
    EXPECT_EQ(_html_tag(s, 0, 4, tag), 4);
    EXPECT_EQ(json_encode(tag), R"({"tag":"a"})");
}

// A length past the text or a negative start would read outside the string:
// the steps keep to the text instead.
TEST(HtmlSteps, NeverReadOutsideTheText) {
    std::string s = "<a b='value that is longer than a short string'";
    var tag = var_dict();
    EXPECT_EQ(_html_tag(s, -5, (int)s.size() + 100, tag), (int)s.size());
    EXPECT_EQ(tag["b"], "value that is longer than a short string");

    std::string value;
    s = "\"unterminated quoted value, long enough for the heap";
    EXPECT_EQ(_html_value(s, 0, 1000, value), (int)s.size());
    EXPECT_EQ(value, s.substr(1));

    std::string code;
    s = "&ampersand-long-enough-for-the-heap";
    EXPECT_EQ(_html_code(s, 0, 1 << 30, code), 10);
    EXPECT_EQ(code, "?");
    EXPECT_EQ(_html_code(s, 40, 50, code), 40) << "nothing to read past the end";

    std::string word;
    EXPECT_EQ(_html_param(s, 1, -3, word), 1);
    EXPECT_EQ(word, "");
    value.clear();
    EXPECT_EQ(_html_value(s, (int)s.size(), (int)s.size() + 5, value), (int)s.size());
    EXPECT_EQ(value, "");
}

// ====== Fuzz ======

namespace {

const char* const PIECES[] = {"<", ">", "/", "=", "\"", "'", "&", ";", "amp", "lt", "quot",
                              "nbsp", "#", "p", "a", "href", "content", "closed", "tag", " ",
                              "\n", "!--", "-->", "\xc3\xa9", "" /* a NUL byte */, "x=1",
                              "<a b='c'>", "</p>"};

std::string random_markup(std::mt19937& rng) {
    std::string s;
    int n = (int)(rng() % 60);
    for (int i = 0; i < n; i++) {
        if (rng() % 8 == 0) {
            s += (char)rng(); // any byte at all
        } else {
            const char* p = PIECES[rng() % (sizeof PIECES / sizeof *PIECES)];
            s += *p ? p : std::string(1, '\0');
        }
    }
    return s;
}

std::string mutate(std::mt19937& rng, std::string s) {
    for (int k = (int)(rng() % 6); k >= 0; k--) {
        size_t at = s.empty() ? 0 : rng() % s.size();
        switch (rng() % 4) {
        case 0: if (!s.empty()) s.erase(at, 1 + rng() % 8); break;
        case 1: s.insert(at, 1, "<>/=\"'&;"[rng() % 8]); break;
        case 2: if (!s.empty()) s[at] = (char)rng(); break;
        default: s.resize(at); break; // cut short
        }
    }
    return s;
}

size_t count_of(const std::string& s, char c) {
    size_t n = 0;
    for (char x : s) n += x == c;
    return n;
}

} // namespace

TEST(HtmlFuzz, RandomAndMutatedMarkupScansSafely) {
    const std::string seed_doc =
        "<html><!-- top --><body class=\"main\" id=b1><p align='left'>Fish &amp; chips &lt;3</p>"
        "<img src=\"a.png\" alt='x &quot;y&quot;'/><br/>"
        "<a href=page.html target=_blank>go &#8594;</a>"
        "<meta content=\"c\"><td width=100px>&nbsp;</td></body></html>";
    std::mt19937 rng(1105);
    for (int round = 0; round < 20000; round++) {
        std::string s = round % 2 ? random_markup(rng) : mutate(rng, seed_doc);
        var tags = html_parse(s);
        ASSERT_EQ(tags.__type__(), VAR_LIST);
        // One record per "<" outside tags: never more records than "<".
        ASSERT_LE((size_t)tags.__len__(), count_of(s, '<')) << s;
        for (int i = 0; i < tags.__len__(); i++) ASSERT_EQ(tags[i].__type__(), VAR_DICT);

        // The steps from any start, with lengths short of, at and past the text.
        int size = (int)s.size();
        int i = (int)(rng() % (size + 3)) - 1;
        int l = (int)(rng() % (size + 10)) - 2;
        int end = std::max(0, std::min(l, size));
        std::string out;
        var tag = var_dict();
        int r = _html_tag(s, i, l, tag);
        ASSERT_TRUE(r >= std::max(i, 0) && r <= std::max(end, std::max(i, 0))) << s;
        r = _html_value(s, i, l, out);
        ASSERT_TRUE(r >= std::max(i, 0) && r <= std::max(end, std::max(i, 0))) << s;
        r = _html_code(s, i, l, out);
        ASSERT_TRUE(r >= std::max(i, 0) && r <= std::max(end, std::max(i, 0))) << s;
        r = _html_param(s, i, l, out);
        ASSERT_TRUE(r >= std::max(i, 0) && r <= std::max(end, std::max(i, 0))) << s;
    }
}
