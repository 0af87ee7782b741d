#!/usr/bin/env bash
# Installs what is missing, builds (Release) and runs the bundled game in data/.
# Extra arguments go to the program (for example: -mod path/to/main.lua; a
# relative path is taken from the folder run.sh was started in).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/tools/launch-args.sh"
launch_args "$@"
cd "$root"
bash tools/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j "$(nproc)" --target tovmar2
# The data directory is "../data" relative to the working directory.
cd build
exec ./tovmar2 "${args[@]}"
