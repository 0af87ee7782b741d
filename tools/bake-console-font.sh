#!/usr/bin/env bash
# Rebuilds the developer console's font data/console.fnt + data/console.png
# from DejaVu Sans Mono (fonts-dejavu-core) at a line height of 24 pixels.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j 2 --target bake_font
build/tools/bake_font /usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf 24 data/console
