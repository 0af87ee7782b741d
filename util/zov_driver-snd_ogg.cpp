#include "zov_driver-snd_ogg.h"

#include <algorithm>
#include <cstring>

#include <vorbis/codec.h>

// ====== Pages ======

OggPages::OggPages() { ogg_sync_init(&sync); }
OggPages::~OggPages() { ogg_sync_clear(&sync); }

void OggPages::start(const unsigned char* bytes, size_t size, size_t at) {
    ogg_sync_reset(&sync);
    mem = bytes;
    mem_size = size;
    fed = pos = std::min(at, size);
}

bool OggPages::next(ogg_page* page) {
    for (;;) {
        const long n = ogg_sync_pageseek(&sync, page);
        if (n > 0) {
            pos += (size_t)n;
            return true;
        }
        if (n < 0) {
            pos += (size_t)-n; // not a page: skipped
            continue;
        }
        if (fed == mem_size) return false;
        const size_t chunk = std::min<size_t>(mem_size - fed, 4096);
        char* buf = ogg_sync_buffer(&sync, (long)chunk);
        if (!buf) return false;
        std::memcpy(buf, mem + fed, chunk);
        ogg_sync_wrote(&sync, (long)chunk);
        fed += chunk;
    }
}

// ====== Parts ======

// One logical Vorbis stream of the file, ready to decode from its first
// audio page.  `vd` points at `vi`, so a part never moves.
struct VorbisPart {
    int serial = 0;
    size_t audio_at = 0; // the page after the one that ends the headers
    vorbis_info vi;
    vorbis_dsp_state vd;
    vorbis_block vb;
    bool decoding = false; // vd and vb are set up

    VorbisPart() { vorbis_info_init(&vi); }
    ~VorbisPart() {
        if (decoding) {
            vorbis_block_clear(&vb);
            vorbis_dsp_clear(&vd);
        }
        vorbis_info_clear(&vi);
    }
};

namespace {

// Each part keeps its setup and decoder state, about 240 KB for a usual
// stereo file, so that the audio thread never reads a header: a chained
// file plays its first 64 parts, which bounds that memory.
constexpr size_t kMostParts = 64;

// What the comment header is replaced with: the type, no vendor, no
// comments, the framing bit.
const unsigned char kEmptyComment[] = {3, 'v', 'o', 'r', 'b', 'i', 's', 0, 0, 0, 0, 0, 0, 0, 0, 1};

// Hands one header packet (number `index`: 0 identification, 1 comment,
// 2 setup) to libvorbis; false when it is not that header.
bool header_in(VorbisPart* p, vorbis_comment* vc, ogg_packet* op, int index) {
    if (index == 1) {
        if (op->bytes < 7 || op->packet[0] != 3 || std::memcmp(op->packet + 1, "vorbis", 6) != 0) return false;
        ogg_packet empty = *op;
        empty.packet = const_cast<unsigned char*>(kEmptyComment);
        empty.bytes = sizeof kEmptyComment;
        return vorbis_synthesis_headerin(&p->vi, vc, &empty) == 0;
    }
    return vorbis_synthesis_headerin(&p->vi, vc, op) == 0;
}

// Reads the headers of every part, from the first page on: a part begins on
// a page that opens a logical stream whose first packet is a Vorbis
// identification header; the pages of other logical streams (another codec
// multiplexed in, or a part still reading its headers) are passed over.
std::vector<std::unique_ptr<VorbisPart>> read_parts(const unsigned char* bytes, size_t size) {
    std::vector<std::unique_ptr<VorbisPart>> parts;
    OggPages pages;
    pages.start(bytes, size, 0);
    ogg_stream_state os;
    ogg_stream_init(&os, 0);
    vorbis_comment vc;
    vorbis_comment_init(&vc);
    std::unique_ptr<VorbisPart> part; // reading its headers
    int headers = 0;
    ogg_page og;
    ogg_packet op;
    while (parts.size() < kMostParts && pages.next(&og)) {
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
        while (ok && headers < 3 && ogg_stream_packetout(&os, &op) == 1) ok = header_in(part.get(), &vc, &op, headers++);
        if (!ok) {
            part.reset(); // not Vorbis, or broken: the next logical stream may be
            continue;
        }
        if (headers < 3) continue;
        if (vorbis_synthesis_init(&part->vd, &part->vi) != 0) break;
        vorbis_block_init(&part->vd, &part->vb);
        part->decoding = true;
        part->audio_at = pages.end();
        parts.push_back(std::move(part));
    }
    vorbis_comment_clear(&vc);
    ogg_stream_clear(&os);
    return parts;
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

bool VorbisDecoder::open(const unsigned char* bytes, size_t size) {
    close();
    parts = read_parts(bytes, size);
    if (parts.empty()) return false;
    mem = bytes;
    mem_size = size;
    rewind();
    return true;
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

void VorbisDecoder::start_part(size_t index) {
    part = index;
    if (part >= parts.size()) return;
    VorbisPart& p = *parts[part];
    vorbis_synthesis_restart(&p.vd);
    ogg_stream_reset_serialno(&stream, p.serial);
    pages.start(mem, mem_size, p.audio_at);
    part_fed = false;
}

// Hands the part's next page to `stream`; false when the part has no more:
// its last page went in, or the next part (or another codec's logical
// stream) begins.
bool VorbisDecoder::feed() {
    const VorbisPart& p = *parts[part];
    ogg_page og;
    while (!part_fed && pages.next(&og)) {
        if (ogg_page_bos(&og)) break;
        if (ogg_page_serialno(&og) != p.serial) continue;
        ogg_stream_pagein(&stream, &og);
        part_fed = ogg_page_eos(&og) != 0;
        return true;
    }
    part_fed = true;
    return false;
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
