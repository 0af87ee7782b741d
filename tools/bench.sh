#!/usr/bin/env bash
# Builds (Release) and runs every benchmark once.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j "$(nproc)"
# The graphics benchmarks need a GL context: every benchmark runs under Xvfb.
for b in build/bench/bench_*; do
  [ -x "$b" ] && xvfb-run -a -s "-screen 0 1280x1024x24" "$b" "$@"
done
