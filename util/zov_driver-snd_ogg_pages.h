// zov_driver-snd_ogg_pages: finds the pages of an Ogg file held in memory,
// for the Ogg Vorbis decoder (zov_driver-snd_ogg).
//
// One pass over the bytes gives each page whole and checked by its CRC,
// and passes over what is not a page.  Where a capture pattern begins no
// page, the next page may begin anywhere inside the span that the false
// header claims (up to 64 KB), so every candidate is checked; one running
// CRC, marked every 64 bytes, serves them all, and the pass costs about the
// same whatever the bytes hold.  (libogg's own search checksums each false
// candidate over the length it claims: 8.5 s for 10 MB of "OggS".)
//
// No state of its own; a reader is used by one thread at a time.  Built on
// libogg's page record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <queue>
#include <utility>
#include <vector>

#include <ogg/ogg.h>

// The pages of an Ogg file in memory, in order from its first byte.
class OggPages {
public:
    OggPages(const unsigned char* bytes, size_t size) : mem(bytes), size(size) {}
    // The next page, valid while the bytes are; false at the end.
    bool next(ogg_page* page);
    // Where the page last returned begins.
    size_t at() const { return last; }
    // The page whose header begins at `at`, when the bytes hold the whole
    // of it as its header tells: 27 bytes, a lacing value per segment, the
    // body that the lacing values add up to.
    static bool page_at(const unsigned char* mem, size_t size, size_t at, ogg_page* page);

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
