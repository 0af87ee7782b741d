#!/usr/bin/env bash
# Mutation sample: applies one-line slips to the code, one at a time, and
# tells which ones the tests catch.
#
#   bash tools/mutate.sh [-a] [-j JOBS] [-t SECONDS] [-o N,N...] LIST...
#
#   -a          build every mutant with AddressSanitizer + UBSan (build-asan
#               settings) instead of Release
#   -j JOBS     build jobs (default 3)
#   -t SECONDS  time limit of one test run (default 300); a run that hits it
#               counts as killed
#   -o N,N...   run only these mutants (numbered in list order, from 1)
#
# A LIST holds one mutant a line; blank lines and lines starting with "#"
# are skipped.  Fields are separated by " | " (a blank, a bar, a blank):
#
#   FILE:LINE | FIND | REPLACE | [asan] TARGET [GTEST_FILTER] [| NOTE]
#
#   FILE:LINE  the file, relative to the repository root, and the line (1-based)
#   FIND       text on that line; its first occurrence is replaced
#   REPLACE    the slip (never empty: to drop a statement, replace it with ";")
#   TARGET     the test binary that should kill it (test_db); only that one
#              runs, so name the binary whose tests pin the code; "asan"
#              builds this mutant with the sanitizers (leaks, overruns);
#              GTEST_FILTER narrows the run
#   NOTE       free text; a note starting with "equivalent" marks a mutant
#              that no test can kill (say why): it is left out of the rate
# Fields are trimmed, so FIND and REPLACE can neither start nor end with a
# blank nor hold " | "; pick a wider or narrower part of the line instead.
#
# The worktree is never touched: the tree is copied into build-mutate/tree
# (only changed files are copied, so builds stay incremental), each mutant is
# applied there, its target built in build-mutate/release (or /asan) and
# run, and the file restored before the next one, also on Ctrl+C.  Each
# unmutated target must pass first.  Logs go to build-mutate/logs/N.log.
# The build folders are left holding the last mutant's binaries.
#
# Result per mutant: killed (the test failed or timed out), survived,
# equivalent (survived, and marked so), build-failed and not-found (FIND is
# not on that line).  The last two count neither way.  The closing line
# gives the kill rate: killed / (killed + survived).
set -euo pipefail

WT=$(cd "$(dirname "$0")/.." && pwd)
WORK=$WT/build-mutate
TREE=$WORK/tree
JOBS=3
SECS=300
ASAN_ALL=0
ONLY=""
while getopts "aj:t:o:" opt; do
  case $opt in
    a) ASAN_ALL=1 ;;
    j) JOBS=$OPTARG ;;
    t) SECS=$OPTARG ;;
    o) ONLY=",$OPTARG," ;;
    *) sed -n '2,/^set -e/p' "$0" | sed '$d'; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
[ $# -gt 0 ] || { echo "usage: $0 [-a] [-j JOBS] [-t SECONDS] [-o N,N...] LIST..." >&2; exit 2; }

export SDL_AUDIODRIVER=dummy
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:strict_string_checks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1

# Brings the scratch tree level with the worktree (its tracked and new
# files).  A changed file is copied with a fresh time, so that make rebuilds
# it even when it was last built from a mutant.
sync_tree() {
  mkdir -p "$TREE" "$WORK/logs"
  (cd "$WT" && git ls-files -co --exclude-standard | while IFS= read -r f; do
     if [ -f "$f" ]; then echo "$f"; fi; done | sort) >"$WORK/files"
  (cd "$TREE" && find . -type f -printf '%P\n' | sort) >"$WORK/have"
  comm -13 "$WORK/files" "$WORK/have" | (cd "$TREE" && xargs -r -d '\n' rm -f)
  while IFS= read -r f; do
    cmp -s "$WT/$f" "$TREE/$f" && continue
    mkdir -p "$(dirname "$TREE/$f")"
    cp "$WT/$f" "$TREE/$f"
  done <"$WORK/files"
}

MUTATED=""
restore() {
  if [ -n "$MUTATED" ]; then cp "$WT/$MUTATED" "$TREE/$MUTATED"; MUTATED=""; fi
}
# A trap runs inside the redirections of the command it stops: fd 3 keeps
# the terminal for its message.
exec 3>&2
trap restore EXIT
trap 'restore; echo "interrupted" >&3; exit 130' INT TERM

declare -A CONFIGURED=()
# build KIND TARGET: configures build-mutate/KIND once per run, then builds.
build() {
  local dir=$WORK/$1
  if [ -z "${CONFIGURED[$1]:-}" ]; then
    local flags=(-DCMAKE_BUILD_TYPE=Release -DZOV_BENCH=OFF)
    [ "$1" = asan ] && flags=(-DCMAKE_BUILD_TYPE=Debug -DZOV_SANITIZE=ON -DZOV_BENCH=OFF)
    cmake -S "$TREE" -B "$dir" "${flags[@]}" >/dev/null
    CONFIGURED[$1]=1
  fi
  cmake --build "$dir" -j "$JOBS" --target "$2"
}

# run_test KIND TARGET FILTER: runs the test binary as ctest does (from its
# build folder; window tests under Xvfb) within the time limit, and writes
# its exit status (124: timed out; above 128: killed by a signal).
run_test() {
  local cmd=(timeout -k 10 "$SECS" "$WORK/$1/tests/$2") rc=0
  [ -n "$3" ] && cmd+=("--gtest_filter=$3")
  [[ $2 == test_gl_* ]] && cmd=(xvfb-run -a -s "-screen 0 1280x1024x24" "${cmd[@]}")
  (cd "$WORK/$1/tests" && "${cmd[@]}") || rc=$?
  echo "== exit status $rc"
  return $rc
}

trim() { local s=$1; s=${s#"${s%%[![:space:]]*}"}; echo "${s%"${s##*[![:space:]]}"}"; }

# Reads every list into the arrays below, one entry per mutant.
LOC=() FIND=() REPL=() KIND=() TARGET=() FILTER=() NOTE=()
for list in "$@"; do
  n=0
  while IFS= read -r line || [ -n "$line" ]; do
    n=$((n + 1))
    [[ $line =~ ^[[:space:]]*(#|$) ]] && continue
    IFS=$'\x1f' read -r -a f <<<"${line// | /$'\x1f'}"
    if [ ${#f[@]} -lt 4 ] || [ ${#f[@]} -gt 5 ]; then
      echo "$list:$n: expected FILE:LINE | FIND | REPLACE | TARGET [| NOTE]" >&2; exit 2
    fi
    read -r -a t <<<"${f[3]}"
    kind=release
    [ $ASAN_ALL = 1 ] && kind=asan
    [ "${t[0]}" = asan ] && { kind=asan; t=("${t[@]:1}"); }
    LOC+=("$(trim "${f[0]}")") FIND+=("$(trim "${f[1]}")") REPL+=("$(trim "${f[2]}")")
    KIND+=("$kind") TARGET+=("${t[0]}") FILTER+=("${t[1]:-}") NOTE+=("$(trim "${f[4]:-}")")
    if [ -z "${FIND[-1]}" ] || [ -z "${REPL[-1]}" ] || [[ ! ${LOC[-1]} =~ :[0-9]+$ ]] ||
       [ ! -f "$WT/${LOC[-1]%:*}" ]; then
      echo "$list:$n: empty FIND or REPLACE, no line number, or no such file" >&2; exit 2
    fi
  done <"$list"
done

selected() { [ -z "$ONLY" ] || [[ $ONLY == *",$1,"* ]]; }

sync_tree

# The unmutated targets must pass, or no result below means anything.
declare -A BASE=()
for i in "${!LOC[@]}"; do
  key="${KIND[$i]} ${TARGET[$i]} ${FILTER[$i]}"
  selected $((i + 1)) && [ -z "${BASE[$key]:-}" ] || continue
  echo "baseline: $key" >&2
  if ! { build "${KIND[$i]}" "${TARGET[$i]}" && run_test "${KIND[$i]}" "${TARGET[$i]}" "${FILTER[$i]}"; } \
       >"$WORK/logs/baseline.log" 2>&1; then
    echo "the unmutated $key fails: see $WORK/logs/baseline.log" >&2; exit 1
  fi
  BASE[$key]=1
done

killed=0 survived=0 equivalent=0 other=0
printf '%-3s %-26s %-12s %s\n' "#" "mutant" "result" "change"
for i in "${!LOC[@]}"; do
  num=$((i + 1))
  selected $num || continue
  file=${LOC[$i]%:*} lineno=${LOC[$i]##*:}
  log=$WORK/logs/$num.log
  MUTATED=$file
  if ! LINE=$lineno FROM=${FIND[$i]} TO=${REPL[$i]} perl -i -ne '
      if ($. == $ENV{LINE}) {
        my $at = index($_, $ENV{FROM});
        if ($at >= 0) { substr($_, $at, length $ENV{FROM}) = $ENV{TO}; $hit = 1 }
      }
      print;
      END { exit($hit ? 0 : 3) }' "$TREE/$file" 2>"$log"; then
    result=not-found
  elif ! build "${KIND[$i]}" "${TARGET[$i]}" >>"$log" 2>&1; then
    result=build-failed
  elif run_test "${KIND[$i]}" "${TARGET[$i]}" "${FILTER[$i]}" >>"$log" 2>&1; then
    result=survived
    [[ ${NOTE[$i]} == equivalent* ]] && result=equivalent
  else
    result=killed
  fi
  restore
  case $result in
    killed) killed=$((killed + 1)) ;;
    survived) survived=$((survived + 1)) ;;
    equivalent) equivalent=$((equivalent + 1)) ;;
    *) other=$((other + 1)) ;;
  esac
  change="${FIND[$i]} -> ${REPL[$i]}"
  [ "${KIND[$i]}" = asan ] && change="$change  [asan]"
  [ $result = killed ] && [[ ${NOTE[$i]} == equivalent* ]] && change="$change  (marked equivalent, but killed)"
  printf '%-3s %-26s %-12s %s\n' "$num" "${LOC[$i]}" "$result" "$change"
done

total=$((killed + survived))
rate=$([ $total -gt 0 ] && echo "$((100 * killed / total)) %" || echo "n/a")
echo "killed $killed of $total non-equivalent mutants ($rate); $equivalent equivalent; $other build-failed or not-found"
