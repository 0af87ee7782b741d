# libpng writes PNGs of every colour type, bit depth and interlacing for the
# picture tests: files the loader's own code did not make.
pkg_check_modules(PNG REQUIRED IMPORTED_TARGET libpng)
target_link_libraries(test_${name} PRIVATE PkgConfig::PNG)
