#!/usr/bin/env bash
# Makes a game folder a player can run without the source tree:
#
#   bash tools/package.sh GAME_DIR OUT_DIR
#
# builds the Release executable when it is missing or out of date (or takes
# the one the environment variable ZOV_EXE names, building nothing), then
# fills OUT_DIR with bin/tovmar2 (that executable, stripped), data/ (every
# file of the source tree's data/ but the bundled game's main.lua and the
# folder's README.md: the runtime's own files, the fonts' licence and the
# bundled pictures, fonts and sounds any game may use by name), game/ (the
# files of GAME_DIR), the launcher "play" and README.txt, and packs it as
# OUT_DIR.tar.gz beside it.  "play" starts the program with
# "-mod ../game/main.lua", so the game finds its files as it does when run
# with -mod from the source tree: its own first, then the bundled ones, and
# no file of the game takes the place of one of the runtime's.
#
# What only the author's machine should keep stays out of game/: every file
# and folder whose name begins with a dot (.git, .env, an editor's swap
# file) and editor leftovers (names ending in "~", "#name#", ".swp",
# ".swo"); one line says how many and names the first few.
#
# A refusal is one line on standard error and leaves neither OUT_DIR nor the
# archive behind.
set -euo pipefail

me="package.sh"
refuse() {
  echo "$me: $*" >&2
  exit 1
}

[ $# -eq 2 ] || refuse "usage: bash tools/package.sh GAME_DIR OUT_DIR (GAME_DIR holds the game's main.lua)"
game=$1
out=$2
# "OUT/" must give OUT.tar.gz, not OUT/.tar.gz.
while [ "${out%/}" != "$out" ] && [ "${out%/}" != "" ]; do out=${out%/}; done

[ -f "$game/main.lua" ] || refuse "$game has no main.lua; give the folder that holds your game's main.lua"
if [ -e "$out" ] && { [ ! -d "$out" ] || [ -n "$(ls -A "$out")" ]; }; then
  refuse "$out exists and is not empty; remove it or choose another OUT_DIR"
fi
[ ! -e "$out.tar.gz" ] || refuse "$out.tar.gz exists; remove it or choose another OUT_DIR"
game_abs=$(realpath "$game")
out_abs=$(realpath -m "$out")
case "$out_abs/" in
  "$game_abs"/*) refuse "$out lies inside $game; choose an OUT_DIR outside the game folder" ;;
esac

root=$(cd "$(dirname "$0")/.." && pwd)
build_log=$(mktemp)
made_out=""
finish() {
  status=$?
  rm -f "$build_log"
  if [ "$status" -ne 0 ] && [ -n "$made_out" ]; then
    # Undo everything this run made: the folder (or, when it was there empty
    # already, its contents) and the archive.
    if [ "$made_out" = created ]; then rm -rf "$out_abs"; else find "$out_abs" -mindepth 1 -delete; fi
    rm -f "$out_abs.tar.gz"
    echo "$me: packaging stopped (see above) and made nothing; mend that and run again" >&2
    exit 1
  fi
}
trap finish EXIT

if [ -n "${ZOV_EXE:-}" ]; then
  [ -f "$ZOV_EXE" ] && [ -x "$ZOV_EXE" ] ||
    refuse "ZOV_EXE=$ZOV_EXE is not an executable file; name the tovmar2 you built, or unset ZOV_EXE to build one"
  exe=$ZOV_EXE
else
  if ! { cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=Release &&
         cmake --build "$root/build" -j "$(nproc)" --target tovmar2; } >"$build_log" 2>&1; then
    cat "$build_log" >&2
    refuse "the build failed (output above); fix it, or install what is missing with bash tools/install-deps.sh, and run again"
  fi
  exe="$root/build/tovmar2"
fi

# The Debian package of each library the executable names (its NEEDED
# entries), found through the path the dynamic loader resolves it to.  On a
# merged /usr the package database knows a library under /lib or /usr/lib,
# not always the one the loader printed.
packages() {
  local resolved lib path candidate pkg
  resolved=$(ldd "$exe")
  for lib in $(objdump -p "$exe" | awk '$1 == "NEEDED" { print $2 }'); do
    path=$(awk -v lib="$lib" '$1 == lib && $2 == "=>" { print $3 }' <<<"$resolved")
    [ -n "$path" ] || refuse "the executable needs $lib, which this system cannot find; install it and run again"
    pkg=""
    for candidate in "$path" "$(realpath "$path")" "/usr${path#/usr}" "${path#/usr}"; do
      pkg=$(dpkg -S "$candidate" 2>/dev/null | awk -F: 'NR == 1 { print $1 }') || true
      [ -z "$pkg" ] || break
    done
    [ -n "$pkg" ] || refuse "$lib ($path) belongs to no Debian package; install it from a package and run again"
    echo "$pkg"
  done | sort -u
}
needs=$(packages)

if [ -e "$out_abs" ]; then made_out=emptied; else made_out=created; fi
mkdir -p "$out_abs/bin" "$out_abs/data" "$out_abs/game"
strip -o "$out_abs/bin/tovmar2" "$exe"
# The fonts' licence asks for its notice in every copy of them.
for f in "$root"/data/*; do
  case ${f##*/} in main.lua | README.md) ;; *) cp "$f" "$out_abs/data/" ;; esac
done

# The game's files.  Links are followed: the folder must not point back
# into the author's files, and one that leads nowhere stops the packaging.
private=(\( -name '.*' -o -name '*~' -o -name '#*#' -o -name '*.swp' -o -name '*.swo' \))
(cd "$game_abs" && find -L . -mindepth 1 "${private[@]}" -prune -o ! -type d -print0 |
  xargs -0 -r cp -L --parents -t "$out_abs/game/")
left_out=$(cd "$game_abs" && find -L . -mindepth 1 "${private[@]}" -prune \( -type d -printf '%P/\n' -o -printf '%P\n' \) | LC_ALL=C sort)
if [ -n "$left_out" ]; then
  count=$(wc -l <<<"$left_out")
  first=$(head -n 5 <<<"$left_out" | awk 'NR > 1 { printf ", " } { printf "%s", $0 }')
  [ "$count" -le 5 ] || first="$first, ..."
  echo "$me: left out $count hidden files and editor leftovers of $game: $first"
fi

cat >"$out_abs/play" <<'EOF'
#!/usr/bin/env bash
# Starts the game from any working directory: the program runs in bin/,
# where it finds its data as ../data, and runs game/main.lua as -mod does;
# the values of -mod and -altdir, which are paths, are taken from where
# "play" was started.
set -euo pipefail
here=$(dirname "$(readlink -f "$0")")
EOF
sed -n '/^launch_args()/,$p' "$root/tools/launch-args.sh" >>"$out_abs/play"
cat >>"$out_abs/play" <<'EOF'
launch_args "$@"
cd "$here/bin"
exec ./tovmar2 -mod ../game/main.lua "${args[@]}"
EOF
chmod 755 "$out_abs/play"

name=$(basename "$out_abs")
cat >"$out_abs/README.txt" <<EOF
$name

Start the game from the folder that holds $name/:

    ./$name/play

or give play's full path: it works from any folder, for example from a
desktop shortcut. Words after it go to the game (a relative path after -mod
or -altdir is taken from the folder you start it in). Ctrl+Q quits, Ctrl+F toggles full screen.

The folder holds bin/tovmar2 (the program), game/ (the game's files),
data/ (the runtime's own files, and the pictures, fonts and sounds it
bundles, which the game may use), play (the launcher) and this file.

These keys belong to the runtime and work in every game, at any time:
F1 opens and closes the developer console, where a line typed and entered
runs as Lua inside the game; once the console's log holds a line (a message
of the game or an error), a status bar stays over the bottom of the game.
F2 clears that log, and so removes the bar. F5 restarts the game.

The game saves into a hidden folder in your home directory: ~/.<name the
game chose>, or ~/.ZovGame when it chose none.

It was made on $(. /etc/os-release && echo "$PRETTY_NAME").
It needs these packages (or the same libraries on another system):

    sudo apt-get install $(echo $needs)

and a working OpenGL driver (on Debian, Mesa's libgl1-mesa-dri or your
graphics card's own). Without a sound card it still runs, silent; starting it
as SDL_AUDIODRIVER=dummy ./$name/play also keeps the sound library from
complaining on the terminal.

The fonts in data/ (console.fnt and console.png, font.fnt and font.png) are
made from DejaVu Sans Mono and DejaVu Sans Bold; their licence, which asks
that it go with every copy, is data/LICENSE-console-font.txt.
EOF

tar -C "$(dirname "$out_abs")" -czf "$out_abs.tar.gz" "$name"
echo "$me: made $out/ ($(du -sh "$out_abs" | cut -f1)) and $out.tar.gz ($(du -h "$out_abs.tar.gz" | cut -f1))"
echo "$me: the player needs: $(echo $needs)"
