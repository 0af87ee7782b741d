# Every Vorbis header the loaders read, and every frame they decode, passes
# a counter of the tests, which shows that a looping stream reads no header
# on the audio thread and that a sound too long to hold is not decoded whole.
target_link_options(test_${name} PRIVATE "-Wl,--wrap=vorbis_synthesis_headerin" "-Wl,--wrap=vorbis_synthesis_read")
