#!/usr/bin/env bash
# Builds (Release) and runs every benchmark once.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j "$(nproc)"
for b in build/bench/bench_*; do
  [ -x "$b" ] && "$b" "$@"
done
