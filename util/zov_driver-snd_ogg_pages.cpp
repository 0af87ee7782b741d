#include "zov_driver-snd_ogg_pages.h"

#include <cstring>

namespace {

// The Ogg checksum: CRC-32, polynomial 0x04c11db7, most significant bit
// first, from 0.  It is linear: the CRC of a span of the file follows from
// the running CRC at its two ends, so that every byte is hashed once, also
// where false capture patterns overlap.
constexpr uint32_t kCrcPoly = 0x04c11db7;

struct CrcTables {
    uint32_t bytes[8][256] = {}; // [k][b]: byte b followed by k zero bytes
    uint32_t zeros[17] = {};     // [k]: x^(8 * 2^k), 2^k zero bytes
};

constexpr uint32_t crc_times_x(uint32_t c) { return (c & 0x80000000u) ? (c << 1) ^ kCrcPoly : c << 1; }

// a * b modulo the polynomial.
constexpr uint32_t crc_mul(uint32_t a, uint32_t b) {
    uint32_t r = 0;
    for (int i = 31; i >= 0; i--) {
        r = crc_times_x(r);
        if ((b >> i) & 1) r ^= a;
    }
    return r;
}

constexpr CrcTables make_crc_tables() {
    CrcTables t;
    for (uint32_t i = 0; i < 256; i++) {
        uint32_t c = i << 24;
        for (int k = 0; k < 8; k++) c = crc_times_x(c);
        t.bytes[0][i] = c;
    }
    for (int k = 1; k < 8; k++)
        for (int i = 0; i < 256; i++) t.bytes[k][i] = (t.bytes[k - 1][i] << 8) ^ t.bytes[0][t.bytes[k - 1][i] >> 24];
    t.zeros[0] = 1u << 8;
    for (int k = 1; k < 17; k++) t.zeros[k] = crc_mul(t.zeros[k - 1], t.zeros[k - 1]);
    return t;
}

constexpr CrcTables kCrc = make_crc_tables();

uint32_t crc_step(uint32_t c, unsigned char b) { return (c << 8) ^ kCrc.bytes[0][(c >> 24) ^ b]; }

// Eight bytes at once.
uint32_t crc_step8(uint32_t c, const unsigned char* p) {
    c ^= (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3];
    return kCrc.bytes[7][c >> 24] ^ kCrc.bytes[6][(c >> 16) & 255] ^ kCrc.bytes[5][(c >> 8) & 255] ^
           kCrc.bytes[4][c & 255] ^ kCrc.bytes[3][p[4]] ^ kCrc.bytes[2][p[5]] ^ kCrc.bytes[1][p[6]] ^
           kCrc.bytes[0][p[7]];
}

// The CRC of the bytes that gave `c`, followed by `n` zero bytes.
uint32_t crc_zeros(uint32_t c, size_t n) {
    for (int k = 0; n; k++, n >>= 1)
        if (n & 1) c = crc_mul(c, kCrc.zeros[k]);
    return c;
}

uint32_t le32(const unsigned char* p) { return p[0] | p[1] << 8 | p[2] << 16 | (uint32_t)p[3] << 24; }

} // namespace

bool OggPages::page_at(const unsigned char* mem, size_t size, size_t at, ogg_page* page) {
    if (size - at < 27) return false;
    const size_t header = 27 + (size_t)mem[at + 26];
    if (size - at < header) return false;
    size_t body = 0;
    for (size_t i = 27; i < header; i++) body += mem[at + i];
    if (size - at - header < body) return false;
    page->header = const_cast<unsigned char*>(mem + at);
    page->header_len = (long)header;
    page->body = page->header + header;
    page->body_len = (long)body;
    return true;
}

void OggPages::hash_to(size_t pos) {
    while (hashed < pos) {
        if (hashed % kMarkEvery == 0) marks[hashed / kMarkEvery % kMarks] = crc;
        if (hashed % 8 == 0 && pos - hashed >= 8) {
            crc = crc_step8(crc, mem + hashed);
            hashed += 8;
        } else {
            crc = crc_step(crc, mem[hashed++]);
        }
    }
}

// The running CRC at a byte already hashed, from the mark before it.
uint32_t OggPages::crc_at(size_t pos) const {
    if (pos == hashed) return crc;
    size_t from = pos / kMarkEvery * kMarkEvery;
    uint32_t c = 0;
    if (from < origin) from = origin;
    else c = marks[from / kMarkEvery % kMarks];
    for (; from < pos; from++) c = crc_step(c, mem[from]);
    return c;
}

// The page's checksum is taken with its own 4 bytes (22 to 25) as zeros.
void OggPages::check(Candidate& c) {
    const uint32_t span = crc_at(c.end) ^ crc_zeros(c.crc_start, c.end - c.start);
    uint32_t field = 0;
    for (int i = 22; i < 26; i++) field = crc_step(field, mem[c.start + i]);
    c.state = (span ^ crc_zeros(field, c.end - c.start - 26)) == le32(mem + c.start + 22) ? 1 : -1;
}

bool OggPages::next(ogg_page* page) {
    static const unsigned char kCapture[5] = {'O', 'g', 'g', 'S', 0}; // version 0, the only one
    for (;;) {
        while (!pending.empty() && pending.front().state < 0) {
            pending.pop_front();
            first_id++;
        }
        if (!pending.empty() && pending.front().state > 0) {
            last = pending.front().start;
            look = pending.front().end;
            page_at(mem, size, last, page);
            pending.clear();
            ends = {};
            first_id = 0;
            return true;
        }
        const void* hit = look < size ? memmem(mem + look, size - look, kCapture, sizeof kCapture) : nullptr;
        const size_t start = hit ? (size_t)((const unsigned char*)hit - mem) : size;
        if (!ends.empty() && ends.top().first <= start) { // a candidate's whole span is hashed
            hash_to(ends.top().first);
            check(pending[ends.top().second - first_id]);
            ends.pop();
            continue;
        }
        if (start == size) return false;
        look = start + 1;
        ogg_page og;
        if (!page_at(mem, size, start, &og)) continue;
        if (pending.empty() && start >= hashed) { // nothing before it is needed
            origin = hashed = start;
            crc = 0;
        }
        hash_to(start);
        pending.push_back({start, start + (size_t)(og.header_len + og.body_len), crc_at(start), 0});
        ends.push({pending.back().end, first_id + pending.size() - 1});
    }
}
