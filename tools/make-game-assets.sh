#!/usr/bin/env bash
# Rebuilds the bundled game's assets in data/ from nothing but our own tools
# and Debian's:
#   pictures  ship, heart, coin, rock, sky (.png)  tools/game_art.cpp
#   font      font.fnt + font.png                    tools/bake_font.cpp from
#             DejaVu Sans Bold (fonts-dejavu-core) at a line height of 16
#   sounds    pickup, hit, start, over (.wav)        sox
#   music     music.ogg, an 8 s loop                 sox
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j 2 --target bake_font game_art

build/tools/game_art data
build/tools/bake_font /usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf 16 data/font

SFX="-r 44100 -c 1 -b 16"
sox -n $SFX data/pickup.wav synth 0.14 square 988-1976 fade 0 0.14 0.1 vol 0.25
sox -n $SFX data/hit.wav synth 0.3 brownnoise synth 0.3 sine amod 60 fade 0 0.3 0.25 vol 0.8
sox -n $SFX data/start.wav synth 0.35 square 440-880 fade 0 0.35 0.1 vol 0.2
sox -n $SFX data/over.wav synth 0.8 square 440-110 fade 0 0.8 0.4 vol 0.25

# Music: arpeggios over C, Am, F, G in eighth notes, a plucked bass under
# them; 120 beats a minute, so the loop is 8 s.
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
melody=(C4 E4 G4 C5 G4 E4 C4 E4  A3 C4 E4 A4 E4 C4 A3 C4
        F3 A3 C4 F4 C4 A3 F3 A3  G3 B3 D4 G4 D4 B3 G3 B3)
bass=(C2 A1 F1 G1)
parts=()
for i in "${!melody[@]}"; do
  sox -n -r 44100 -c 1 "$tmp/m$i.wav" synth 0.25 pluck "${melody[$i]}" fade 0 0.25 0.12 vol 0.45
  parts+=("$tmp/m$i.wav")
done
sox "${parts[@]}" "$tmp/melody.wav"
parts=()
for i in "${!bass[@]}"; do
  sox -n -r 44100 -c 1 "$tmp/b$i.wav" synth 2 pluck "${bass[$i]}" fade 0 2 1.5 vol 0.6
  parts+=("$tmp/b$i.wav")
done
sox "${parts[@]}" "$tmp/bass.wav"
sox -m "$tmp/melody.wav" "$tmp/bass.wav" -c 2 "$tmp/music.wav"
sox "$tmp/music.wav" -C 0 data/music.ogg
