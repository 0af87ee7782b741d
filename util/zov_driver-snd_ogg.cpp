#include "zov_driver-snd_ogg.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include <vorbis/codec.h>

#include "zov_driver-snd_ogg_pages.h"
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
        audio = part.get();
        parts->push_back(std::move(part));
    }
    vorbis_comment_clear(&vc);
    ogg_stream_clear(&os);
    if (!why.empty()) parts->clear();
    return why;
}

// ====== Channels ======

// The gains of each channel into left and right, in the Vorbis order of 3
// to 8 channels: 3 L C R; 4 FL FR RL RR; 5 FL C FR RL RR; 6 FL C FR RL RR
// LFE; 7 FL C FR SL SR RC LFE; 8 FL C FR SL SR RL RR LFE.  A front channel
// goes whole to its side; the centre, the sides and the rears go at -3 dB
// to theirs, a centre to both; the LFE is left out, as stereo players do.
// Nothing is scaled down: a mix past full scale is the limiter's.
struct Gain {
    float l, r;
};
constexpr float kHalf = 0.70710678f; // -3 dB
constexpr Gain kL = {1, 0}, kR = {0, 1}, kC = {kHalf, kHalf}, kSL = {kHalf, 0}, kSR = {0, kHalf}, kLFE = {0, 0};
const Gain kMix[6][8] = {
    {kL, kC, kR},
    {kL, kR, kSL, kSR},
    {kL, kC, kR, kSL, kSR},
    {kL, kC, kR, kSL, kSR, kLFE},
    {kL, kC, kR, kSL, kSR, kC, kLFE},
    {kL, kC, kR, kSL, kSR, kSL, kSR, kLFE},
};

// Writes `n` stereo frames from the planar `pcm` of `chans` channels.
void mix_to_stereo(float** pcm, int chans, int n, float* out) {
    if (chans == 1 || chans == 2) { // as decoded, bit for bit
        const float* r = pcm[chans - 1];
        for (int f = 0; f < n; f++) {
            out[2 * f] = pcm[0][f];
            out[2 * f + 1] = r[f];
        }
        return;
    }
    const Gain* gains = chans <= 8 ? kMix[chans - 3] : nullptr;
    for (int f = 0; f < n; f++) {
        float l = 0, r = 0;
        for (int c = 0; gains && c < chans; c++) {
            l += gains[c].l * pcm[c][f];
            r += gains[c].r * pcm[c][f];
        }
        out[2 * f] = l;
        out[2 * f + 1] = r;
    }
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

int VorbisDecoder::channels() const { return parts.empty() ? 0 : parts[std::min(part, parts.size() - 1)]->vi.channels; }
long VorbisDecoder::rate() const { return parts.empty() ? 0 : parts[std::min(part, parts.size() - 1)]->vi.rate; }

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
    OggPages::page_at(mem, mem_size, at, &og); // found whole at open
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
            mix_to_stereo(pcm, p.vi.channels, n, out);
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
