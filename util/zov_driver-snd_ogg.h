// zov_driver-snd_ogg: decodes an Ogg Vorbis file held in memory into float
// frames at the file's own rate and channel count, for the sound loaders
// (zov_driver-snd_load).
//
// Every header is read once, when the file opens, and each part keeps its
// decoder state from then on: starting again from the first frame (a
// looping stream, on the audio thread) reads no header and allocates
// nothing.  A comment header is checked for its type and never unpacked:
// its text is not needed, and a file may carry megabytes of it.
//
// Frames come out as stereo: the channels of 1 to 8 are mixed down by their
// Vorbis order (below, `read`).  A chained file plays its parts one after
// the other, each at its own rate and channel count, at most its first 64
// (each part keeps its decoder state).  Pages that fail their checksum are
// skipped, and decoding goes on after a lost page.
//
// No state of its own; a decoder is used by one thread at a time.  Built on
// libogg and libvorbis.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include <ogg/ogg.h>

// The pages of an Ogg file in memory, in order from a given byte, each
// checked by libogg; what is not a page is skipped.
class OggPages {
public:
    OggPages();
    ~OggPages();
    OggPages(const OggPages&) = delete;
    OggPages& operator=(const OggPages&) = delete;

    // Reads `bytes` from byte `at` on; the bytes must outlive the reading.
    void start(const unsigned char* bytes, size_t size, size_t at);
    // The next page, valid until the next call; false at the end.
    bool next(ogg_page* page);
    // The byte just past the last page returned.
    size_t end() const { return pos; }

private:
    ogg_sync_state sync;
    const unsigned char* mem = nullptr;
    size_t mem_size = 0, fed = 0, pos = 0;
};

struct VorbisPart;

class VorbisDecoder {
public:
    VorbisDecoder();
    ~VorbisDecoder();
    VorbisDecoder(const VorbisDecoder&) = delete;
    VorbisDecoder& operator=(const VorbisDecoder&) = delete;

    // Reads every header of the bytes, which must outlive the decoder (or
    // the next open or close).  False, with nothing left open, when they
    // hold no Vorbis stream.
    bool open(const unsigned char* bytes, size_t size);
    void close();
    // The layout in the file of the part being read: the part whose frames
    // the last `read` gave (the first part after an open or a rewind).  0
    // when nothing is open.
    int channels() const;
    long rate() const;
    // That part's number, from 0.
    size_t current_part() const { return part; }
    // Back to the first frame; no header is read again.
    void rewind();
    // Writes up to `frames` interleaved stereo frames to `out`, all of one
    // part: the count, 0 at the end.  Mono plays at full level on both
    // sides; of 3 to 8 channels, the front left and right go to their side,
    // and the centre and the side and rear channels to theirs at -3 dB
    // (0.7071), a centre to both; the LFE is left out.  A part of more than
    // 8 channels, which Vorbis gives no order, reads as silence.
    int read(float* out, int frames);

private:
    bool feed();
    void start_part(size_t index);

    std::vector<std::unique_ptr<VorbisPart>> parts;
    const unsigned char* mem = nullptr;
    size_t mem_size = 0;
    OggPages pages;
    ogg_stream_state stream; // the packets of the part being decoded
    size_t part = 0;         // the part being decoded; parts.size() at the end
    bool part_fed = false;   // every page of that part went into `stream`
};
