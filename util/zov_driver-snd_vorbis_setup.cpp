#include "zov_driver-snd_vorbis_setup.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

// Fields packed from the least significant bit of each byte on.
class Bits {
public:
    Bits(const unsigned char* bytes, size_t size) : data(bytes), size(size) {}
    // The next `n` bits (at most 32); 0 past the end, which `over` tells.
    uint32_t read(int n) {
        if (!skip((uint64_t)n) || n == 0) return 0;
        const uint64_t from = at - (uint64_t)n;
        uint64_t v = 0;
        for (size_t i = 0, byte = (size_t)(from >> 3); i < 5 && byte + i < size; i++)
            v |= (uint64_t)data[byte + i] << (8 * i);
        return (uint32_t)((v >> (from & 7)) & ((1ull << n) - 1));
    }
    bool skip(uint64_t n) {
        over = over || n > (uint64_t)size * 8 - at;
        at = over ? (uint64_t)size * 8 : at + n;
        return !over;
    }
    bool over = false;

private:
    const unsigned char* data;
    size_t size;
    uint64_t at = 0;
};

int ilog(uint64_t v) {
    int n = 0;
    for (; v; v >>= 1) n++;
    return n;
}

// What glibc's malloc takes for a block of `n` bytes.
size_t heap(uint64_t n) { return (size_t)std::max<uint64_t>(32, (n + 8 + 15) & ~uint64_t(15)); }

// libvorbis's records of fixed size: a codebook's two (the header's and
// the decoder's); a floor's, a residue's or a mapping's, unpacked and
// looked up (at most 3.3 KB); and a part's own, for its modes and the
// decoder's state.
constexpr size_t kBookRecords = 192;
constexpr size_t kStageRecords = 8 << 10;
constexpr size_t kPartRecords = 32 << 10;

struct Book {
    uint64_t entries = 0, dim = 0, used = 0, values = 0; // values: the multiplicands
    unsigned lookup = 0;
};

// The largest v with v^dim <= entries: the multiplicands of a lookup
// type 1 codebook.
uint64_t lookup1_values(uint64_t entries, uint64_t dim) {
    if (entries < 1 || dim < 1) return 0;
    auto fits = [&](uint64_t v) {
        uint64_t acc = 1;
        for (uint64_t i = 0; i < dim && v > 1; i++) {
            if (acc > entries / v) return false;
            acc *= v;
        }
        return true;
    };
    uint64_t v = std::max<uint64_t>(1, (uint64_t)std::floor(std::pow((double)entries, 1.0 / (double)dim)));
    while (fits(v + 1)) v++;
    while (v > 1 && !fits(v)) v--;
    return v;
}

bool read_book(Bits& b, Book* k) {
    if (b.read(24) != 0x564342) return false;
    k->dim = b.read(16);
    k->entries = b.read(24);
    if (b.read(1)) { // ordered: runs of words one bit longer each
        unsigned length = b.read(5) + 1;
        for (uint64_t i = 0; i < k->entries; length++) {
            const uint64_t run = b.read(ilog(k->entries - i));
            if (b.over || length > 32 || run > k->entries - i) return false;
            i += run;
        }
        k->used = k->entries;
    } else {
        const bool sparse = b.read(1);
        for (uint64_t i = 0; i < k->entries && !b.over; i++) {
            if (sparse && !b.read(1)) continue; // an unused entry
            b.read(5);
            k->used++;
        }
    }
    k->lookup = b.read(4);
    if (k->lookup == 1 || k->lookup == 2) {
        b.skip(64); // minimum and delta
        const int bits = (int)b.read(4) + 1;
        b.read(1);
        k->values = k->lookup == 1 ? lookup1_values(k->entries, k->dim) : k->entries * k->dim;
        b.skip(k->values * (uint64_t)bits);
    } else if (k->lookup != 0) {
        return false;
    }
    return !b.over;
}

// The header's tables (word lengths, multiplicands), the decoder's (codes,
// entry numbers, lengths, the first lookup table, and the unpacked
// vectors: used entries x dimensions floats), and the codes that sorting
// them takes for a moment.
size_t book_bytes(const Book& k) {
    const size_t own = heap(k.entries) + (k.lookup ? heap(k.values * 8) : 0);
    const size_t decoding = 3 * heap(k.used * 4) + heap(k.used) + heap(1024) +
                            (k.lookup && k.used ? heap(k.used * k.dim * 4) : 0);
    return kBookRecords + own + decoding;
}

bool read_floor(Bits& b) {
    const unsigned type = b.read(16);
    if (type == 0) {
        b.skip(8 + 16 + 16 + 6 + 8); // order, rate, bark map size, amplitude bits and offset
        b.skip(8 * (uint64_t)(b.read(4) + 1)); // its codebooks
        return !b.over;
    }
    if (type != 1) return false;
    const unsigned partitions = b.read(5);
    unsigned classes[32], dims[16];
    unsigned most = 0;
    for (unsigned i = 0; i < partitions; i++) {
        classes[i] = b.read(4);
        most = std::max(most, classes[i] + 1);
    }
    for (unsigned c = 0; c < most; c++) {
        dims[c] = b.read(3) + 1;
        const unsigned subclasses = b.read(2);
        if (subclasses) b.skip(8); // master book
        b.skip(8u << subclasses);  // its books
    }
    b.skip(2); // multiplier
    const unsigned range_bits = b.read(4);
    for (unsigned i = 0; i < partitions; i++) b.skip((uint64_t)dims[classes[i]] * range_bits);
    return !b.over;
}

// A residue's lookup: per classification its books, and the map from a
// class word to its classifications, classifications^dimensions entries
// of the classbook's dimensions each (libvorbis refuses more of them than
// the classbook has entries).
bool read_residue(Bits& b, const std::vector<Book>& books, size_t* lookup) {
    if (b.read(16) > 2) return false;
    b.skip(24 + 24 + 24); // begin, end, partition size
    const unsigned classifications = b.read(6) + 1;
    const unsigned classbook = b.read(8);
    size_t cascade_books = heap(classifications * 8);
    uint64_t stages = 0;
    for (unsigned j = 0; j < classifications; j++) {
        unsigned cascade = b.read(3);
        if (b.read(1)) cascade |= b.read(5) << 3;
        for (unsigned bits = cascade; bits; bits >>= 1) stages += bits & 1;
        if (cascade) cascade_books += heap(8 * (uint64_t)ilog(cascade));
    }
    b.skip(8 * stages);
    if (b.over || classbook >= books.size() || books[classbook].dim < 1) return false;
    const Book& group = books[classbook];
    uint64_t words = 1;
    for (uint64_t d = 0; d < group.dim && classifications > 1; d++) {
        words *= classifications;
        if (words > group.entries) return false;
    }
    *lookup = cascade_books + heap(words * 8) + words * heap(group.dim * 4);
    return true;
}

bool read_mapping(Bits& b, int channels) {
    if (b.read(16) != 0) return false;
    const unsigned submaps = b.read(1) ? b.read(4) + 1 : 1;
    if (b.read(1)) b.skip((uint64_t)(b.read(8) + 1) * 2 * ilog((uint64_t)channels - 1)); // coupling steps
    if (b.read(2) != 0) return false;
    if (submaps > 1) b.skip(4 * (uint64_t)channels);
    b.skip(24 * (uint64_t)submaps);
    return !b.over;
}

} // namespace

bool vorbis_setup_cost(const unsigned char* packet, size_t bytes, int channels, long block0, long block1,
                       VorbisSetupCost* cost) {
    if (bytes < 7 || packet[0] != 5 || std::memcmp(packet + 1, "vorbis", 6) != 0) return false;
    Bits b(packet + 7, bytes - 7);
    std::vector<Book> books(b.read(8) + 1);
    VorbisSetupCost c;
    for (Book& k : books) {
        if (!read_book(b, &k)) return false;
        c.books += book_bytes(k);
        c.most_entries = std::max(c.most_entries, (long)k.used);
    }
    const unsigned times = b.read(6) + 1;
    for (unsigned i = 0; i < times; i++)
        if (b.read(16) != 0) return false;
    const unsigned floors = b.read(6) + 1;
    for (unsigned i = 0; i < floors; i++)
        if (!read_floor(b)) return false;
    const unsigned residues = b.read(6) + 1;
    for (unsigned i = 0; i < residues; i++) {
        size_t lookup = 0;
        if (!read_residue(b, books, &lookup)) return false;
        c.buffers += lookup;
    }
    const unsigned mappings = b.read(6) + 1;
    for (unsigned i = 0; i < mappings; i++)
        if (!read_mapping(b, channels)) return false;
    // Per channel the decoder's buffer of a long block and a block's
    // worth in each of the two blocks being decoded; per block size the
    // transform's tables.
    c.buffers += (size_t)channels * 3 * heap((uint64_t)block1 * 4) + 8 * (size_t)(block0 + block1) +
                 (floors + residues + mappings) * kStageRecords + kPartRecords;
    *cost = c;
    return !b.over;
}
