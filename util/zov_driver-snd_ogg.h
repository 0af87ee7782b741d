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
// A chained file plays its parts one after the other while they keep the
// first part's channel count and rate, and at most its first 64 (each part
// keeps its decoder state).  Pages that fail their checksum are skipped, and
// decoding goes on after a lost page.
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
    // The layout of the file: its first part's.  0 when nothing is open.
    int channels() const;
    long rate() const;
    // Back to the first frame; no header is read again.
    void rewind();
    // Writes up to `frames` interleaved frames to `out`: the count, 0 at the
    // end.
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
