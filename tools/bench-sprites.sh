#!/usr/bin/env bash
# Sprite benchmark against LÖVE (Debian's love, installed here when
# missing: it is needed for nothing else).  Both programs draw one picture N
# times a frame at the same fixed pseudo-random positions, in a 640 x 480
# window under Xvfb without vsync, for each workload SIZE:N (N pictures of
# SIZE x SIZE pixels); each run
# counts frames for SECONDS seconds after one second of warm-up.  The peer
# runs twice, with its JIT on and off.  Prints, per workload, frames a
# second, the main thread's CPU time per sprite (what counts on a real GPU,
# where rasterizing costs the main thread nothing) and peak memory side by
# side, and the ratios.  Choose N so that no program reaches 60 fps, where
# the frame pacing caps it.
#   bash tools/bench-sprites.sh [SECONDS] [SIZE:N ...]
set -euo pipefail
cd "$(dirname "$0")/.."
SECONDS_RUN=${1:-5}
shift || true
WORKLOADS=("$@")
[ ${#WORKLOADS[@]} -eq 0 ] && WORKLOADS=(4:50000 4:100000 32:20000 32:50000)

command -v xvfb-run >/dev/null || bash tools/install-deps.sh
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
if ! command -v love >/dev/null; then
  echo "bench-sprites: installing love"
  $SUDO apt-get install -y -qq --no-install-recommends love >/dev/null
fi
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j 2 --target tovmar2 >/dev/null

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$tmp/data" "$tmp/work" "$tmp/home" "$tmp/love"
cp data/api.lua bench/sprites/tovmar2/main.lua bench/sprites/cpu.lua "$tmp/data/"
cp bench/sprites/love/*.lua bench/sprites/cpu.lua "$tmp/love/"

# An uncompressed 32-bit TGA, w x h, a colour gradient with a dark border.
tga() {
  local w=$1 h=$2 out=$3 x y
  {
    printf '\x00\x00\x02\x00\x00\x00\x00\x00\x00\x00\x00\x00'
    printf "\\x$(printf %02x "$w")\\x00\\x$(printf %02x "$h")\\x00\\x20\\x28"
    for ((y = 0; y < h; y++)); do
      for ((x = 0; x < w; x++)); do
        if ((x == 0 || y == 0 || x == w - 1 || y == h - 1)); then
          printf '\x20\x20\x20\xff'
        else
          printf "\\x$(printf %02x $((255 * y / h)))\\x$(printf %02x $((255 * x / w)))\\xe0\\xff"
        fi
      done
    done
  } >"$out"
}
for s in 32 4; do
  tga $s $s "$tmp/data/sprite$s.tga"
  cp "$tmp/data/sprite$s.tga" "$tmp/love/"
done

# Runs one program under its own Xvfb screen of 800 x 600 (tovmar2's window
# is 80/100 of the screen: 640 x 480).  Prints "<fps> <main-thread CPU ns a
# sprite> <peak RSS in MiB>".
measure() {
  local log="$tmp/run.log" mem="$tmp/mem.txt"
  (cd "$tmp/work" && HOME="$tmp/home" SDL_AUDIODRIVER=dummy vblank_mode=0 \
    timeout $((SECONDS_RUN + 60)) xvfb-run -a -s "-screen 0 800x600x24" \
    /usr/bin/time -f "%M" -o "$mem" "$@" >"$log" 2>/dev/null) || true
  local line
  line=$(grep -o 'fps [0-9.]* cpu_ns [0-9.]*' "$log" | tail -1 || true)
  set -- $line
  echo "${2:-0} ${4:-0} $(($(tail -1 "$mem" 2>/dev/null || echo 0) / 1024))"
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }
printf '%-6s %-4s | %-22s | %-22s | %-22s | %-11s %-11s\n' N size "tovmar2 fps ns/spr MiB" \
  "love fps ns/spr MiB" "love-nojit" "fps ratio" "ns ratio"
capped=0
for w in "${WORKLOADS[@]}"; do
  s=${w%%:*} n=${w#*:}
  read -r t_fps t_ns t_mem < <(measure "$PWD/build/tovmar2" -n "$n" -size "$s" -seconds "$SECONDS_RUN")
  read -r l_fps l_ns l_mem < <(measure love "$tmp/love" "$n" "$s" "$SECONDS_RUN")
  read -r j_fps j_ns j_mem < <(measure love "$tmp/love" "$n" "$s" "$SECONDS_RUN" nojit)
  printf '%-6s %-4s | %6s %7s %6s | %6s %7s %6s | %6s %7s %6s | %-5s %-5s %-5s %-5s\n' "$n" "$s" \
    "$t_fps" "$t_ns" "$t_mem" "$l_fps" "$l_ns" "$l_mem" "$j_fps" "$j_ns" "$j_mem" \
    "$(ratio "$t_fps" "$l_fps")" "$(ratio "$t_fps" "$j_fps")" "$(ratio "$l_ns" "$t_ns")" "$(ratio "$j_ns" "$t_ns")"
  for f in "$t_fps" "$l_fps" "$j_fps"; do
    awk -v f="$f" 'BEGIN { exit !(f >= 57) }' && capped=1
  done
done
echo "(fps ratio = tovmar2 fps / love fps, JIT on then off; ns ratio = love's main-thread"
echo " CPU time a sprite / tovmar2's, JIT on then off; above 1 means tovmar2 is faster)"
[ $capped -eq 0 ] || echo "warning: a program ran at the 60 fps cap, where its fps says nothing: raise N"
