// The Ogg Vorbis loaders on any file: decoded whole as a sample, and
// decoded while it plays as a stream.
#include "fuzz_sound.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_sound(data, size, "in.ogg");
    return 0;
}
