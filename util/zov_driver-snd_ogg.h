// zov_driver-snd_ogg: decodes an Ogg Vorbis file held in memory into float
// frames at the file's own rate and channel count, for the sound loaders
// (zov_driver-snd_load).
//
// The file is read once, when it opens: its pages are found in one pass
// over its bytes (each checked by its CRC; what lies between them, a lost
// page or megabytes of junk after the audio, is passed over once, in time
// linear in its size), every part's headers are read, and each part keeps
// the list of its audio pages.  Decoding then walks those lists only:
// starting again from the first frame (a looping stream, on the audio
// thread) reads no header and never looks at a byte past the last page of
// the audio.  A comment header is checked for its type and never unpacked:
// its text is not needed, and a file may carry megabytes of it.
//
// libvorbis unpacks each part's codebooks and buffers by numbers that its
// setup header states (a 600-byte file can ask for 1.4 GB): they are
// estimated before libvorbis reads that header (zov_driver-snd_vorbis_setup),
// and a file whose parts would take more than 128 MB in all is refused.  A
// part is prepared for decoding when playback first reaches it, and stays
// prepared until the file closes, so no loop prepares it again: the first
// at open, on the main thread; a later one on the thread that decodes,
// which allocates there, once, what that bound allows.
//
// Frames come out as stereo: the channels of 1 to 8 are mixed down by their
// Vorbis order (below, `read`).  A chained file plays its parts one after
// the other, each at its own rate and channel count, at most its first 64.
// Pages that fail their checksum are skipped, and decoding goes on after a
// lost page.
//
// No state of its own; a decoder is used by one thread at a time.  Built on
// libogg and libvorbis.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include <ogg/ogg.h>

struct VorbisPart;

class VorbisDecoder {
public:
    VorbisDecoder();
    ~VorbisDecoder();
    VorbisDecoder(const VorbisDecoder&) = delete;
    VorbisDecoder& operator=(const VorbisDecoder&) = delete;

    // Reads every header of the bytes, which must outlive the decoder (or
    // the next open or close).  False, with nothing left open, when they
    // hold no Vorbis stream that plays; *why (when given) then says what
    // refused one, or stays empty when there was none.
    bool open(const unsigned char* bytes, size_t size, std::string* why = nullptr);
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
    ogg_stream_state stream; // the packets of the part being decoded
    size_t part = 0;         // the part being decoded; parts.size() at the end
    size_t next_page = 0;    // the next of its pages to go into `stream`
};
