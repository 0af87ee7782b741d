// zov_base64: Base64 between byte strings and text, with the RFC 4648
// alphabet ("A"-"Z", "a"-"z", "0"-"9", "+", "/"), "=" pad characters and no
// line breaks.  No state; safe on any thread.
#pragma once

#include <string>

// The Base64 text of the `in_len` bytes at `bytes_to_encode`: 4 characters
// per 3 bytes, a final 1 or 2 bytes padded with "==" or "=".  Empty input
// gives an empty string.
std::string base64_encode(const unsigned char* bytes_to_encode, unsigned int in_len);

// The bytes that `encoded_string` encodes.  Reading stops at the first "="
// or at the first byte outside the alphabet (a blank or a line break too);
// the rest is ignored.  A final group of 2 or 3 characters gives 1 or 2
// bytes, a single leftover character nothing.  Bad input is never reported:
// decoding just ends early.
std::string base64_decode(const std::string& encoded_string);
