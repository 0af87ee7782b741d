# Every Vorbis header the loaders read, every part they prepare and every
# frame they decode passes a counter of the tests, which shows that a
# looping stream reads no header and prepares no part again on the audio
# thread, and that a sound too long to hold is not decoded whole.
target_link_options(test_${name} PRIVATE "-Wl,--wrap=vorbis_synthesis_headerin"
  "-Wl,--wrap=vorbis_synthesis_init" "-Wl,--wrap=vorbis_synthesis_read")
