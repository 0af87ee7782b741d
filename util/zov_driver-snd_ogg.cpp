#include "zov_driver-snd_ogg.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <queue>
#include <utility>

#include <vorbis/codec.h>

#include "zov_driver-snd_vorbis_setup.h"

namespace {

// ====== Limits ======

// The most memory that one file's Vorbis headers may make libvorbis take:
// every part's codebooks and buffers (a part stays prepared once playback
// has reached it, so that no loop prepares it again).  By the estimate,
// which counts high, real parts take 0.15 MB (stereo) to 0.94 MB (6
// channels at the highest quality; 0.7 MB measured): 64 chained parts of
// the largest take half of this.  A header that asks for more was made to
// exhaust memory.
constexpr size_t kSetupBytesMost = 128 << 20;
// The most used entries of one codebook: libvorbis sorts them on the stack
// of the thread that prepares the part, 12 bytes each (768 KB here, of a
// thread's 8 MB).  The largest in real files have 3,125.
constexpr long kBookEntriesMost = 1 << 16;

// Each part keeps its unpacked headers (vorbis_info: about 25 KB for a
// usual stereo file, and its decoding tables, about 100 KB, once it has
// played), so that the thread that decodes never reads one: a chained file
// plays its first 64 parts, which bounds their number.
constexpr size_t kMostParts = 64;

// ====== Pages ======

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

// The page whose header begins at `at`, when the bytes hold the whole of it
// as its header tells: 27 bytes, a lacing value per segment, the body the
// lacing values add up to.
bool page_at(const unsigned char* mem, size_t size, size_t at, ogg_page* page) {
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

// The pages of an Ogg file in memory, in order, each whole and checked by
// its CRC; what is not a page is passed over.  Where a capture pattern
// begins no page, the next page may begin anywhere inside the span that
// the false header claims (up to 64 KB): every candidate is checked, and
// one running CRC, marked every 64 bytes, serves them all, so the pass
// costs about the same whatever the bytes hold.
class OggPages {
public:
    OggPages(const unsigned char* bytes, size_t size) : mem(bytes), size(size) {}
    // The next page, valid while the bytes are; false at the end.
    bool next(ogg_page* page);
    // Where the page last returned begins.
    size_t at() const { return last; }

private:
    static constexpr size_t kMarkEvery = 64, kMarks = 2048; // marks reach back past the longest page
    struct Candidate {
        size_t start, end;
        uint32_t crc_start; // the running CRC at `start`
        int state;          // 0 unchecked, 1 a page, -1 not one
    };
    void hash_to(size_t pos);
    uint32_t crc_at(size_t pos) const;
    void check(Candidate& c);

    const unsigned char* mem;
    size_t size;
    size_t look = 0, last = 0; // where the next capture pattern is looked for
    size_t origin = 0, hashed = 0; // the running CRC covers the bytes between
    uint32_t crc = 0;
    uint32_t marks[kMarks] = {}; // the running CRC at each multiple of kMarkEvery
    std::deque<Candidate> pending; // by start; the first is the next page if it checks
    size_t first_id = 0;           // the id of pending.front()
    std::priority_queue<std::pair<size_t, size_t>, std::vector<std::pair<size_t, size_t>>, std::greater<>>
        ends; // (end, id) of the unchecked candidates
};

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

// ====== Setup budget ======

// What the parts read so far make libvorbis take, all of them prepared.
class SetupBudget {
public:
    // "" when a part of this cost still fits; else why the file is refused.
    std::string add(const VorbisSetupCost& c) {
        if (c.most_entries > kBookEntriesMost)
            return "a Vorbis codebook of " + std::to_string(c.most_entries) + " entries: at most " +
                   std::to_string(kBookEntriesMost);
        total += c.books + c.buffers;
        if (total <= kSetupBytesMost) return "";
        return "Vorbis headers that would take " + std::to_string(total >> 20) + " MB: at most " +
               std::to_string(kSetupBytesMost >> 20) + " MB";
    }

private:
    size_t total = 0;
};

} // namespace

// ====== Parts ======

// One logical Vorbis stream of the file: its unpacked headers, the list of
// its audio pages, and its decoder state while it is prepared.  `vd` points
// at `vi`, so a part never moves.
struct VorbisPart {
    int serial = 0;
    std::vector<uint32_t> pages; // where each of its audio pages begins
    vorbis_info vi;
    vorbis_dsp_state vd;
    vorbis_block vb;
    bool prepared = false; // vd and vb are set up

    VorbisPart() { vorbis_info_init(&vi); }
    ~VorbisPart() {
        if (prepared) {
            vorbis_block_clear(&vb);
            vorbis_dsp_clear(&vd);
        }
        vorbis_info_clear(&vi);
    }
    // Ready to decode from the first audio page; false when libvorbis
    // can't set the part up.  Only the first call allocates.
    bool prepare() {
        if (prepared) return vorbis_synthesis_restart(&vd) == 0;
        if (vorbis_synthesis_init(&vd, &vi) != 0) return false;
        vorbis_block_init(&vd, &vb);
        return prepared = true;
    }
};

namespace {

// What the comment header is replaced with: the type, no vendor, no
// comments, the framing bit.
const unsigned char kEmptyComment[] = {3, 'v', 'o', 'r', 'b', 'i', 's', 0, 0, 0, 0, 0, 0, 0, 0, 1};

// Hands one header packet (number `index`: 0 identification, 1 comment,
// 2 setup) to libvorbis; false when it is not that header.  The setup
// header is first weighed against the file's budget: *why says when it
// does not fit.
bool header_in(VorbisPart* p, vorbis_comment* vc, ogg_packet* op, int index, SetupBudget* budget,
               std::string* why) {
    if (index == 1) {
        if (op->bytes < 7 || op->packet[0] != 3 || std::memcmp(op->packet + 1, "vorbis", 6) != 0) return false;
        ogg_packet empty = *op;
        empty.packet = const_cast<unsigned char*>(kEmptyComment);
        empty.bytes = sizeof kEmptyComment;
        return vorbis_synthesis_headerin(&p->vi, vc, &empty) == 0;
    }
    if (index == 2) {
        VorbisSetupCost cost;
        if (!vorbis_setup_cost(op->packet, (size_t)op->bytes, p->vi.channels, vorbis_info_blocksize(&p->vi, 0),
                               vorbis_info_blocksize(&p->vi, 1), &cost))
            return false;
        *why = budget->add(cost);
        if (!why->empty()) return false;
    }
    return vorbis_synthesis_headerin(&p->vi, vc, op) == 0;
}

// Reads the file's pages once, from the first on: a part begins on a page
// that opens a logical stream whose first packet is a Vorbis identification
// header; its audio pages are the pages of its stream after its headers, up
// to its last page or to the page that opens the next logical stream.
// Pages of other logical streams (another codec multiplexed in, or a part
// still reading its headers) are passed over.  "" when the parts fit the
// setup budget, else why not (and no part).
std::string read_parts(const unsigned char* bytes, size_t size, std::vector<std::unique_ptr<VorbisPart>>* parts) {
    OggPages pages(bytes, size);
    ogg_stream_state os;
    ogg_stream_init(&os, 0);
    vorbis_comment vc;
    vorbis_comment_init(&vc);
    SetupBudget budget;
    std::string why;
    std::unique_ptr<VorbisPart> part; // reading its headers
    VorbisPart* audio = nullptr;      // taking its audio pages
    int headers = 0;
    ogg_page og;
    ogg_packet op;
    while (why.empty() && pages.next(&og)) {
        if (ogg_page_bos(&og)) {
            audio = nullptr;
            if (!part && parts->size() == kMostParts) break;
        }
        if (audio) {
            if (ogg_page_serialno(&og) != audio->serial) continue;
            audio->pages.push_back((uint32_t)pages.at());
            if (ogg_page_eos(&og)) audio = nullptr;
            continue;
        }
        if (!part && ogg_page_bos(&og)) {
            ogg_stream_reset_serialno(&os, ogg_page_serialno(&og));
            part = std::make_unique<VorbisPart>();
            part->serial = ogg_page_serialno(&og);
            headers = 0;
            vorbis_comment_clear(&vc);
            vorbis_comment_init(&vc);
        }
        if (!part || ogg_page_serialno(&og) != part->serial) continue;
        ogg_stream_pagein(&os, &og);
        bool ok = true;
        while (ok && headers < 3 && ogg_stream_packetout(&os, &op) == 1)
            ok = header_in(part.get(), &vc, &op, headers++, &budget, &why);
        if (!ok) {
            part.reset(); // not Vorbis, or broken: the next logical stream may be
            continue;
        }
        if (headers < 3) continue;
        const vorbis_info& first = parts->empty() ? part->vi : (*parts)[0]->vi;
        if (part->vi.channels != first.channels || part->vi.rate != first.rate) break; // the file ends here
        audio = part.get();
        parts->push_back(std::move(part));
    }
    vorbis_comment_clear(&vc);
    ogg_stream_clear(&os);
    if (!why.empty()) parts->clear();
    return why;
}

} // namespace

// ====== Decoder ======

VorbisDecoder::VorbisDecoder() { ogg_stream_init(&stream, 0); }

VorbisDecoder::~VorbisDecoder() { ogg_stream_clear(&stream); }

bool VorbisDecoder::open(const unsigned char* bytes, size_t size, std::string* why) {
    close();
    const std::string refused = read_parts(bytes, size, &parts);
    if (why) *why = refused;
    mem = bytes;
    mem_size = size;
    if (!parts.empty() && parts[0]->prepare()) {
        rewind();
        return true;
    }
    close();
    return false;
}

void VorbisDecoder::close() {
    parts.clear();
    mem = nullptr;
    mem_size = 0;
    part = 0;
}

int VorbisDecoder::channels() const { return parts.empty() ? 0 : parts[0]->vi.channels; }
long VorbisDecoder::rate() const { return parts.empty() ? 0 : parts[0]->vi.rate; }

void VorbisDecoder::rewind() { start_part(0); }

// Goes on with part `index`, or with the first after it that libvorbis
// sets up.
void VorbisDecoder::start_part(size_t index) {
    for (part = index; part < parts.size(); part++) {
        if (!parts[part]->prepare()) continue;
        ogg_stream_reset_serialno(&stream, parts[part]->serial);
        next_page = 0;
        return;
    }
}

// Hands the part's next audio page to `stream`; false when it has no more.
bool VorbisDecoder::feed() {
    const VorbisPart& p = *parts[part];
    if (next_page == p.pages.size()) return false;
    ogg_page og;
    const size_t at = p.pages[next_page++];
    page_at(mem, mem_size, at, &og); // found whole at open
    ogg_stream_pagein(&stream, &og);
    return true;
}

int VorbisDecoder::read(float* out, int frames) {
    while (part < parts.size() && frames > 0) {
        VorbisPart& p = *parts[part];
        float** pcm = nullptr;
        const int ready = vorbis_synthesis_pcmout(&p.vd, &pcm);
        if (ready > 0) {
            const int n = std::min(ready, frames);
            const int chans = p.vi.channels;
            for (int f = 0; f < n; f++)
                for (int c = 0; c < chans; c++) out[f * chans + c] = pcm[c][f];
            vorbis_synthesis_read(&p.vd, n);
            return n;
        }
        ogg_packet op;
        const int got = ogg_stream_packetout(&stream, &op);
        if (got > 0) {
            if (vorbis_synthesis(&p.vb, &op) == 0) vorbis_synthesis_blockin(&p.vd, &p.vb);
        } else if (got == 0 && !feed()) {
            start_part(part + 1);
        }
        // got < 0: a gap in the data; decoding goes on after it
    }
    return 0;
}
