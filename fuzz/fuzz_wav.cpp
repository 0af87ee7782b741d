// The WAV loader on any file.
#include "fuzz_sound.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_sound(data, size, "in.wav");
    return 0;
}
