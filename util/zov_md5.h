// zov_md5: the MD5 message digest of RFC 1321.
//
// The caller owns the context: md5_init starts a digest, md5_append adds
// bytes any number of times, md5_finish writes the 16 raw digest bytes (A, B,
// C, D, each least significant byte first; no hexadecimal form).  No other
// state, so separate contexts may live on separate threads.
#pragma once

typedef unsigned char md5_byte_t; // 8 bits
typedef unsigned int md5_word_t;  // 32 bits

typedef struct md5_state_s {
    md5_word_t count[2]; // message length in bits, low word first
    md5_word_t abcd[4];  // the digest buffer A, B, C, D
    md5_byte_t buf[64];  // the pending partial block
} md5_state_t;

// Starts a digest: no bytes yet, A-D at their initial values.
void md5_init(md5_state_t* pms);
// Adds `nbytes` bytes of `data`; a count of 0 or less changes nothing.
void md5_append(md5_state_t* pms, const md5_byte_t* data, int nbytes);
// Pads the message, appends its bit length and writes the digest.  The
// context is not reset: the next digest starts with md5_init.
void md5_finish(md5_state_t* pms, md5_byte_t digest[16]);
