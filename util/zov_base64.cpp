#include "zov_base64.h"

#include <array>

namespace {

// A constant, not a std::string: it is ready before any static initialiser
// of another file could call us.  A character's position is its value.
constexpr char base64_chars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// The 6-bit value of each byte, -1 outside the alphabet.
constexpr std::array<signed char, 256> make_values() {
    std::array<signed char, 256> v{};
    for (int c = 0; c < 256; c++) v[c] = -1;
    for (int n = 0; n < 64; n++) v[(unsigned char)base64_chars[n]] = (signed char)n;
    return v;
}
constexpr std::array<signed char, 256> base64_values = make_values();

// The alphabet's bytes only, in every locale (isalnum would also take
// letters above 127 in a single-byte locale, which have no value here).
bool is_base64(unsigned char c) { return base64_values[c] >= 0; }

} // namespace

std::string base64_encode(const unsigned char* bytes_to_encode, unsigned int in_len) {
    std::string out(((size_t)in_len + 2) / 3 * 4, '=');
    char* o = &out[0];
    const unsigned char* p = bytes_to_encode;
    unsigned int n = in_len;
    for (; n >= 3; n -= 3, p += 3, o += 4) {
        unsigned long group = (unsigned long)p[0] << 16 | (unsigned long)p[1] << 8 | p[2];
        o[0] = base64_chars[group >> 18];
        o[1] = base64_chars[(group >> 12) & 63];
        o[2] = base64_chars[(group >> 6) & 63];
        o[3] = base64_chars[group & 63];
    }
    // A final 1 or 2 bytes, completed with zeros: 2 or 3 characters, and the
    // pad characters already in place.
    if (n > 0) {
        unsigned long group = (unsigned long)p[0] << 16 | (n == 2 ? (unsigned long)p[1] << 8 : 0);
        o[0] = base64_chars[group >> 18];
        o[1] = base64_chars[(group >> 12) & 63];
        if (n == 2) o[2] = base64_chars[(group >> 6) & 63];
    }
    return out;
}

std::string base64_decode(const std::string& encoded_string) {
    std::string out(encoded_string.size() / 4 * 3 + 2, '\0');
    char* o = &out[0];
    const unsigned char* p = (const unsigned char*)encoded_string.data();
    size_t n = encoded_string.size(), i = 0;
    // Whole groups, as long as all four characters are in the alphabet ("="
    // is not).  A stranger inside a group ends the loop with fewer than four
    // characters of that group left to take below.
    for (; i + 4 <= n; i += 4, o += 3) {
        int a = base64_values[p[i]], b = base64_values[p[i + 1]];
        int c = base64_values[p[i + 2]], d = base64_values[p[i + 3]];
        if ((a | b | c | d) < 0) break;
        unsigned long group = (unsigned long)a << 18 | (unsigned long)b << 12 |
                              (unsigned long)c << 6 | (unsigned long)d;
        o[0] = (char)(group >> 16);
        o[1] = (char)(group >> 8);
        o[2] = (char)group;
    }
    unsigned long group = 0;
    int collected = 0;
    for (; i < n && is_base64(p[i]); i++, collected++)
        group = group << 6 | (unsigned long)base64_values[p[i]];
    // 2 leftover characters hold 12 bits (one byte and 4 zero bits), 3 hold
    // 18 (two bytes and 2 zero bits); 1 holds less than a byte.
    if (collected == 2) {
        *o++ = (char)(group >> 4);
    } else if (collected == 3) {
        o[0] = (char)(group >> 10);
        o[1] = (char)(group >> 2);
        o += 2;
    }
    out.resize(o - out.data());
    return out;
}
