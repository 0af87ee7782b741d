// Base64 decoding of any text, and both round trips: any bytes encode to a
// text that decodes to them, and what a text decodes to encodes to a text
// that decodes to the same bytes.
#include <string>

#include "fuzz_support.h"
#include "zov_base64.h"

namespace {

std::string encode(const std::string& bytes) {
    return base64_encode((const unsigned char*)bytes.data(), (unsigned int)bytes.size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string input((const char*)data, size);
    if (base64_decode(encode(input)) != input)
        fuzz_fail("encoded bytes do not decode to themselves");
    std::string bytes = base64_decode(input);
    if (base64_decode(encode(bytes)) != bytes)
        fuzz_fail("decoded bytes do not survive a round trip");
    return 0;
}
