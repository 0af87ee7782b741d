# The end-to-end tests run the real program on the bundled data (and a game
# packaged by tools/package.sh), read its window back with Xlib and send it
# window messages.
add_dependencies(test_${name} tovmar2)
target_compile_definitions(test_${name} PRIVATE
  ZOV_GAME_EXE="$<TARGET_FILE:tovmar2>"
  ZOV_GAME_DATA="${CMAKE_SOURCE_DIR}/data")
pkg_check_modules(X11 REQUIRED IMPORTED_TARGET x11)
target_link_libraries(test_${name} PRIVATE PkgConfig::X11)
target_compile_definitions(test_${name} PRIVATE ZOV_DOCS="${CMAKE_SOURCE_DIR}/docs/scripting.md"
  ZOV_PACKAGE_SH="${CMAKE_SOURCE_DIR}/tools/package.sh" ZOV_RUN_SH="${CMAKE_SOURCE_DIR}/tools/run.sh")
