// Base64: the RFC 4648 vectors, round trips over every short length, and
// where decoding stops on text that is not clean Base64.
#include <gtest/gtest.h>

#include <cctype>
#include <clocale>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "support/capture.h"
#include "zov_base64.h"

namespace {

std::string encode(const std::string& bytes) {
    return base64_encode((const unsigned char*)bytes.data(), (unsigned int)bytes.size());
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// Selects a locale category for the life of the object.
class LocaleScope {
public:
    LocaleScope(int category, const char* name) : category_(category) {
        saved_ = std::setlocale(category, nullptr);
        ok_ = std::setlocale(category, name) != nullptr;
    }
    ~LocaleScope() { std::setlocale(category_, saved_.c_str()); }
    bool ok() const { return ok_; }

private:
    int category_;
    std::string saved_;
    bool ok_;
};

} // namespace

// ====== Encoding ======

TEST(Base64, Rfc4648TestVectorsBothWays) {
    const char* vectors[][2] = {{"", ""},
                                {"f", "Zg=="},
                                {"fo", "Zm8="},
                                {"foo", "Zm9v"},
                                {"foob", "Zm9vYg=="},
                                {"fooba", "Zm9vYmE="},
                                {"foobar", "Zm9vYmFy"}};
    for (auto& v : vectors) {
        EXPECT_EQ(encode(v[0]), v[1]) << "encoding \"" << v[0] << "\"";
        EXPECT_EQ(base64_decode(v[1]), v[0]) << "decoding \"" << v[1] << "\"";
    }
}

TEST(Base64, EveryByteValueEncodesAsCoreutilsBase64Does) {
    std::string bytes;
    for (int i = 0; i < 256; i++) bytes += (char)i;
    TempDir dir;
    std::ofstream(dir / "in", std::ios::binary) << bytes;
    std::string cmd = "base64 -w 0 '" + (dir / "in") + "' > '" + (dir / "out") + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    std::string expected = read_file(dir / "out");
    ASSERT_EQ(expected.size(), 344u);
    EXPECT_EQ(encode(bytes), expected);
}

TEST(Base64, RoundTripsRandomBytesOfEveryLengthUpTo300) {
    std::mt19937 rng(7);
    for (int len = 0; len <= 300; len++) {
        std::string bytes(len, '\0');
        for (char& c : bytes) c = (char)(rng() % 4 == 0 ? 0 : rng()); // plenty of NULs
        std::string text = encode(bytes);
        ASSERT_EQ(text.size(), (size_t)(len + 2) / 3 * 4) << "length " << len;
        ASSERT_EQ(text.find_first_not_of(
                      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/="),
                  std::string::npos);
        ASSERT_EQ(base64_decode(text), bytes) << "length " << len;
        // Without its pad characters the text still decodes whole.
        ASSERT_EQ(base64_decode(text.substr(0, text.find('='))), bytes) << "length " << len;
    }
}

// ====== Decoding text that is not clean Base64 ======

TEST(Base64Decode, StopsAtTheFirstLineBreakOrBlank) {
    EXPECT_EQ(base64_decode("Zm9v\nYmFy"), "foo");
    EXPECT_EQ(base64_decode("Zm9vYmFy\r\nZm9v"), "foobar");
    EXPECT_EQ(base64_decode("Zm 9v"), "f"); // "Zm" is a partial group of one byte
    EXPECT_EQ(base64_decode("\nZm9v"), "");
}

TEST(Base64Decode, StopsAtTheFirstPadCharacter) {
    EXPECT_EQ(base64_decode("Zg==Zm9v"), "f");
    EXPECT_EQ(base64_decode("Zm9v=Zm9v"), "foo");
    EXPECT_EQ(base64_decode("="), "");
}

TEST(Base64Decode, PartialFinalGroupGivesItsWholeBytes) {
    EXPECT_EQ(base64_decode("Zm9vYg"), "foob");
    EXPECT_EQ(base64_decode("Zm9vYmE"), "fooba");
    EXPECT_EQ(base64_decode("Zm9vY"), "foo"); // one leftover character: no byte
    EXPECT_EQ(base64_decode("Z"), "");
}

TEST(Base64Decode, StopsAtCharactersOfOtherAlphabets) {
    EXPECT_EQ(base64_decode("Zm9v-_8"), "foo"); // the URL-safe alphabet
    EXPECT_EQ(base64_decode("Zm9v.Zm9v"), "foo");
    EXPECT_EQ(base64_decode(std::string("Zm9v\0Zm9v", 9)), "foo");
}

TEST(Base64Decode, StrangerAtAnyPositionKeepsTheBytesOfTheCharactersBeforeIt) {
    std::mt19937 rng(4648);
    std::string bytes(30, '\0');
    for (char& c : bytes) c = (char)rng();
    const std::string text = encode(bytes); // 40 characters, no pad
    const size_t partial[4] = {0, 0, 1, 2}; // bytes of a final group of k characters
    for (size_t k = 0; k <= text.size(); k++) {
        for (char stranger : {'\n', '=', '-', '\0'}) {
            std::string broken = text.substr(0, k) + stranger + text.substr(k);
            size_t kept = k / 4 * 3 + partial[k % 4];
            ASSERT_EQ(base64_decode(broken), bytes.substr(0, kept)) << "stranger at " << k;
        }
    }
}

TEST(Base64Decode, PadBitsBeyondTheLastByteAreIgnored) {
    EXPECT_EQ(base64_decode("Zh=="), "f");
    EXPECT_EQ(base64_decode("Zm9="), "fo");
}

// Letters above 127 are alphanumeric in a single-byte locale, but are not
// Base64: they end the text like any other stranger.
TEST(Base64Decode, BytesAbove127StopDecodingInEveryLocale) {
    const std::string text = "Zm9vYmFy\xe9Zm9v";
    EXPECT_EQ(base64_decode(text), "foobar");
    {
        LocaleScope utf8(LC_CTYPE, "de_DE.UTF-8");
        ASSERT_TRUE(utf8.ok()) << "de_DE.UTF-8 is generated by tools/install-deps.sh";
        EXPECT_EQ(base64_decode(text), "foobar");
    }
    LocaleScope latin1(LC_CTYPE, "de_DE.ISO-8859-1");
    ASSERT_TRUE(latin1.ok()) << "de_DE.ISO-8859-1 is generated by tools/install-deps.sh";
    ASSERT_TRUE(std::isalnum(0xe9)) << "in Latin-1 the byte is a letter";
    EXPECT_EQ(base64_decode(text), "foobar");
    EXPECT_EQ(base64_decode("\xc0\xc1\xc2"), "");
}
