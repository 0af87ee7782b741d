# Every Vorbis header the loaders read passes a counter of the tests, which
# shows that a looping stream reads none on the audio thread.
target_link_options(test_${name} PRIVATE "-Wl,--wrap=vorbis_synthesis_headerin")
