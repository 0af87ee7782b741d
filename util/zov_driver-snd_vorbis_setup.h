// zov_driver-snd_vorbis_setup: what a Vorbis setup header will make
// libvorbis allocate, read from the header before libvorbis unpacks it, so
// that the Ogg decoder (zov_driver-snd_ogg) can refuse a file whose headers
// would take the machine's memory.
//
// A setup header declares each codebook's entries and dimensions in a few
// bits, and libvorbis unpacks a codebook into entries x dimensions floats
// when decoding is set up: 20 bytes of header can ask for 67 MB, a 5 KB
// header for 17 GB.  The header is read here by its Vorbis I layout as far
// as the mappings, past the last tables that grow with its numbers; the
// sizes counted are libvorbis's tables (glibc's block overhead included)
// and a margin for its fixed-size records.
//
// No state; any thread.
#pragma once

#include <cstddef>

// The memory one part of a file takes in libvorbis.
struct VorbisSetupCost {
    // The codebooks, from the setup header's unpacking on, for as long as
    // the part's vorbis_info lives: the header's own tables, then the
    // decoding tables that preparing the part builds from them.
    size_t books = 0;
    // What preparing the part (vorbis_synthesis_init) and decoding its
    // blocks add beyond the codebooks.
    size_t buffers = 0;
    // The used entries of the largest codebook: libvorbis sorts them on
    // the stack of the thread that prepares the part, 12 bytes each.
    long most_entries = 0;
};

// Reads the setup header `packet` of a part whose identification header
// gave `channels` and the block sizes `block0` and `block1`.  False when it
// is not a setup header that libvorbis would accept as far as it is read.
bool vorbis_setup_cost(const unsigned char* packet, size_t bytes, int channels, long block0, long block1,
                       VorbisSetupCost* cost);
