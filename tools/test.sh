#!/usr/bin/env bash
# Installs what is missing, builds (the asset tools of tools/ too, so they
# cannot rot), and runs every test:
#   1. the unit tests of the normal (Release) build,
#   2. the same unit tests built with AddressSanitizer + UndefinedBehaviorSanitizer,
#   3. the audio tests once more, built with ThreadSanitizer,
#   4. the tests that open a window, under Xvfb with Mesa,
#   5. the fuzz targets, built with clang in build-fuzz/, 25 seconds each.
# Audio tests use SDL's dummy driver (a real callback thread, no sound card).
# Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh
JOBS=$(nproc)
export SDL_AUDIODRIVER=dummy
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:strict_string_checks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j "$JOBS"
echo "== unit tests (Release)"
ctest --test-dir build -L unit --output-on-failure -j "$JOBS"

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DZOV_SANITIZE=ON -DZOV_BENCH=OFF >/dev/null
cmake --build build-asan -j "$JOBS"
echo "== unit tests (ASan + UBSan)"
ctest --test-dir build-asan -L unit --output-on-failure -j "$JOBS"

# The audio thread and the main thread share the voice list: its tests run
# once more under ThreadSanitizer.
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DZOV_TSAN=ON -DZOV_BENCH=OFF >/dev/null
cmake --build build-tsan -j "$JOBS" --target test_audio
echo "== audio tests (ThreadSanitizer)"
TSAN_OPTIONS=halt_on_error=1 build-tsan/tests/test_audio

echo "== display tests (Xvfb)"
if ctest --test-dir build -L display -N | grep -q "Total Tests: 0"; then
  echo "no display tests"
else
  # -noreset: when a test's last X client closes, a resetting server refuses
  # the next test's connection for a moment and SDL falls back to its
  # offscreen driver, which takes no input.
  xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" \
    ctest --test-dir build -L display --output-on-failure
fi
echo "== fuzz targets (clang, libFuzzer, ASan + UBSan)"
bash tools/fuzz.sh 25

echo "== all tests passed"
