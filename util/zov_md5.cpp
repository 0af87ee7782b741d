#include "zov_md5.h"

#include <cstring>

static_assert(sizeof(md5_word_t) == 4, "MD5 words are 32 bits");

namespace {

// ====== The RFC 1321 transform ======

inline md5_word_t rotl(md5_word_t x, int n) { return x << n | x >> (32 - n); }

// F and G as RFC 1321 defines them, (x & y) | (~x & z) and (x & z) | (y & ~z),
// written with one operation fewer.
inline md5_word_t F(md5_word_t x, md5_word_t y, md5_word_t z) { return z ^ (x & (y ^ z)); }
inline md5_word_t G(md5_word_t x, md5_word_t y, md5_word_t z) { return y ^ (z & (x ^ y)); }
inline md5_word_t H(md5_word_t x, md5_word_t y, md5_word_t z) { return x ^ y ^ z; }
inline md5_word_t I(md5_word_t x, md5_word_t y, md5_word_t z) { return y ^ (x | ~z); }

// One step: a = b + ((a + f(b, c, d) + x + t) <<< s).
template <md5_word_t (*f)(md5_word_t, md5_word_t, md5_word_t)>
inline void step(md5_word_t& a, md5_word_t b, md5_word_t c, md5_word_t d, md5_word_t x,
                 md5_word_t t, int s) {
    a = b + rotl(a + f(b, c, d) + x + t, s);
}

// Words are assembled from bytes on every machine: that is correct whatever
// the byte order and the alignment, and compilers turn it into one load
// where the machine allows.
inline md5_word_t load_le32(const md5_byte_t* p) {
    return (md5_word_t)p[0] | (md5_word_t)p[1] << 8 | (md5_word_t)p[2] << 16 |
           (md5_word_t)p[3] << 24;
}

// Compresses one 64-byte block into abcd.
void md5_process(md5_state_t* pms, const md5_byte_t* data) {
    md5_word_t X[16];
    for (int i = 0; i < 16; i++) X[i] = load_le32(data + 4 * i);
    md5_word_t a = pms->abcd[0], b = pms->abcd[1], c = pms->abcd[2], d = pms->abcd[3];

    step<F>(a, b, c, d, X[0], 0xd76aa478, 7);
    step<F>(d, a, b, c, X[1], 0xe8c7b756, 12);
    step<F>(c, d, a, b, X[2], 0x242070db, 17);
    step<F>(b, c, d, a, X[3], 0xc1bdceee, 22);
    step<F>(a, b, c, d, X[4], 0xf57c0faf, 7);
    step<F>(d, a, b, c, X[5], 0x4787c62a, 12);
    step<F>(c, d, a, b, X[6], 0xa8304613, 17);
    step<F>(b, c, d, a, X[7], 0xfd469501, 22);
    step<F>(a, b, c, d, X[8], 0x698098d8, 7);
    step<F>(d, a, b, c, X[9], 0x8b44f7af, 12);
    step<F>(c, d, a, b, X[10], 0xffff5bb1, 17);
    step<F>(b, c, d, a, X[11], 0x895cd7be, 22);
    step<F>(a, b, c, d, X[12], 0x6b901122, 7);
    step<F>(d, a, b, c, X[13], 0xfd987193, 12);
    step<F>(c, d, a, b, X[14], 0xa679438e, 17);
    step<F>(b, c, d, a, X[15], 0x49b40821, 22);

    step<G>(a, b, c, d, X[1], 0xf61e2562, 5);
    step<G>(d, a, b, c, X[6], 0xc040b340, 9);
    step<G>(c, d, a, b, X[11], 0x265e5a51, 14);
    step<G>(b, c, d, a, X[0], 0xe9b6c7aa, 20);
    step<G>(a, b, c, d, X[5], 0xd62f105d, 5);
    step<G>(d, a, b, c, X[10], 0x02441453, 9);
    step<G>(c, d, a, b, X[15], 0xd8a1e681, 14);
    step<G>(b, c, d, a, X[4], 0xe7d3fbc8, 20);
    step<G>(a, b, c, d, X[9], 0x21e1cde6, 5);
    step<G>(d, a, b, c, X[14], 0xc33707d6, 9);
    step<G>(c, d, a, b, X[3], 0xf4d50d87, 14);
    step<G>(b, c, d, a, X[8], 0x455a14ed, 20);
    step<G>(a, b, c, d, X[13], 0xa9e3e905, 5);
    step<G>(d, a, b, c, X[2], 0xfcefa3f8, 9);
    step<G>(c, d, a, b, X[7], 0x676f02d9, 14);
    step<G>(b, c, d, a, X[12], 0x8d2a4c8a, 20);

    step<H>(a, b, c, d, X[5], 0xfffa3942, 4);
    step<H>(d, a, b, c, X[8], 0x8771f681, 11);
    step<H>(c, d, a, b, X[11], 0x6d9d6122, 16);
    step<H>(b, c, d, a, X[14], 0xfde5380c, 23);
    step<H>(a, b, c, d, X[1], 0xa4beea44, 4);
    step<H>(d, a, b, c, X[4], 0x4bdecfa9, 11);
    step<H>(c, d, a, b, X[7], 0xf6bb4b60, 16);
    step<H>(b, c, d, a, X[10], 0xbebfbc70, 23);
    step<H>(a, b, c, d, X[13], 0x289b7ec6, 4);
    step<H>(d, a, b, c, X[0], 0xeaa127fa, 11);
    step<H>(c, d, a, b, X[3], 0xd4ef3085, 16);
    step<H>(b, c, d, a, X[6], 0x04881d05, 23);
    step<H>(a, b, c, d, X[9], 0xd9d4d039, 4);
    step<H>(d, a, b, c, X[12], 0xe6db99e5, 11);
    step<H>(c, d, a, b, X[15], 0x1fa27cf8, 16);
    step<H>(b, c, d, a, X[2], 0xc4ac5665, 23);

    step<I>(a, b, c, d, X[0], 0xf4292244, 6);
    step<I>(d, a, b, c, X[7], 0x432aff97, 10);
    step<I>(c, d, a, b, X[14], 0xab9423a7, 15);
    step<I>(b, c, d, a, X[5], 0xfc93a039, 21);
    step<I>(a, b, c, d, X[12], 0x655b59c3, 6);
    step<I>(d, a, b, c, X[3], 0x8f0ccc92, 10);
    step<I>(c, d, a, b, X[10], 0xffeff47d, 15);
    step<I>(b, c, d, a, X[1], 0x85845dd1, 21);
    step<I>(a, b, c, d, X[8], 0x6fa87e4f, 6);
    step<I>(d, a, b, c, X[15], 0xfe2ce6e0, 10);
    step<I>(c, d, a, b, X[6], 0xa3014314, 15);
    step<I>(b, c, d, a, X[13], 0x4e0811a1, 21);
    step<I>(a, b, c, d, X[4], 0xf7537e82, 6);
    step<I>(d, a, b, c, X[11], 0xbd3af235, 10);
    step<I>(c, d, a, b, X[2], 0x2ad7d2bb, 15);
    step<I>(b, c, d, a, X[9], 0xeb86d391, 21);

    pms->abcd[0] += a;
    pms->abcd[1] += b;
    pms->abcd[2] += c;
    pms->abcd[3] += d;
}

} // namespace

// ====== Digest ======

void md5_init(md5_state_t* pms) {
    pms->count[0] = pms->count[1] = 0;
    pms->abcd[0] = 0x67452301;
    pms->abcd[1] = 0xefcdab89;
    pms->abcd[2] = 0x98badcfe;
    pms->abcd[3] = 0x10325476;
}

void md5_append(md5_state_t* pms, const md5_byte_t* data, int nbytes) {
    if (nbytes <= 0) return;
    md5_word_t n = (md5_word_t)nbytes; // unsigned: n * 8 may pass 2^31
    md5_word_t fill = (pms->count[0] >> 3) & 63;
    md5_word_t nbits = n << 3;
    pms->count[1] += n >> 29;
    pms->count[0] += nbits;
    if (pms->count[0] < nbits) pms->count[1]++;

    const md5_byte_t* p = data;
    if (fill) {
        md5_word_t copy = n < 64 - fill ? n : 64 - fill;
        std::memcpy(pms->buf + fill, p, copy);
        if (fill + copy < 64) return;
        p += copy;
        n -= copy;
        md5_process(pms, pms->buf);
    }
    for (; n >= 64; p += 64, n -= 64) md5_process(pms, p);
    if (n) std::memcpy(pms->buf, p, n);
}

void md5_finish(md5_state_t* pms, md5_byte_t digest[16]) {
    static const md5_byte_t pad[64] = {0x80};
    md5_byte_t length[8];
    for (int i = 0; i < 8; i++)
        length[i] = (md5_byte_t)(pms->count[i >> 2] >> ((i & 3) * 8));
    // Pad to 56 bytes modulo 64, leaving room for the 8 length bytes.
    md5_append(pms, pad, (int)((55 - (pms->count[0] >> 3)) & 63) + 1);
    md5_append(pms, length, 8);
    for (int i = 0; i < 16; i++)
        digest[i] = (md5_byte_t)(pms->abcd[i >> 2] >> ((i & 3) * 8));
}
