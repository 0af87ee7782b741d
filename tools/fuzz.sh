#!/usr/bin/env bash
# Builds the fuzz targets of fuzz/ with clang (libFuzzer, AddressSanitizer +
# UndefinedBehaviorSanitizer) in build-fuzz/ and runs each for SECONDS
# seconds, one after the other:
#   tools/fuzz.sh SECONDS [NAME...]      (NAME: json, wav, ...; default all)
# Each starts from its seeds in fuzz/corpus/<name>/ and the inputs earlier
# runs kept in build-fuzz/corpus/<name>/, where it adds what it finds.  A
# crashing input is written to build-fuzz/crashes/; the script then exits
# non-zero after running the others.
set -euo pipefail
cd "$(dirname "$0")/.."

each=${1:?usage: tools/fuzz.sh SECONDS [NAME...]}
shift
names=("$@")
if [ ${#names[@]} -eq 0 ]; then
  for src in fuzz/fuzz_*.cpp; do
    n=$(basename "$src" .cpp)
    names+=("${n#fuzz_}")
  done
fi

CC=clang-14 CXX=clang++-14 cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZOV_FUZZ=ON >/dev/null
cmake --build build-fuzz -j "$(nproc)" --target fuzzers

export SDL_AUDIODRIVER=dummy
export LSAN_OPTIONS="suppressions=$PWD/fuzz/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
mkdir -p build-fuzz/crashes
failed=()
for n in "${names[@]}"; do
  mkdir -p "build-fuzz/corpus/$n"
  log="build-fuzz/fuzz_$n.log"
  # close_fd_mask: the loaders' log lines stay out; libFuzzer and the
  # sanitizers still report.
  if build-fuzz/fuzz/"fuzz_$n" -max_total_time="$each" -timeout=20 -close_fd_mask=3 -print_final_stats=1 \
      -artifact_prefix="build-fuzz/crashes/$n-" "build-fuzz/corpus/$n" "fuzz/corpus/$n" >"$log" 2>&1; then
    echo "fuzz_$n: $(grep -o 'Done [0-9]* runs in [0-9]* second(s)' "$log")"
  else
    tail -n 60 "$log"
    echo "fuzz_$n: FAILED (log: $log)"
    failed+=("$n")
  fi
done
[ ${#failed[@]} -eq 0 ] || { echo "fuzz targets that failed: ${failed[*]}"; exit 1; }
