#!/usr/bin/env bash
# Mutation sample: applies one-line slips to the code, one at a time, and
# tells which ones the tests catch.
#
#   bash tools/mutate.sh [-a] [-j JOBS] [-t SECONDS] [-o N,N...] LIST...
#
#   -a          run every mutant's named binary from the AddressSanitizer +
#               UBSan build instead of the Release one
#   -j JOBS     build and test jobs (default 3)
#   -t SECONDS  time limit of one run of a test binary (default 300); the
#               whole test command gets 20 times as long.  A run that hits
#               its limit counts as failed
#   -o N,N...   run only these mutants (numbered in list order, from 1)
#
# A LIST holds one mutant a line; blank lines and lines starting with "#"
# are skipped.  Fields are separated by " | " (a blank, a bar, a blank):
#
#   FILE | FIND | REPLACE | [asan] TARGET [GTEST_FILTER] [| NOTE]
#
#   FILE     the file, relative to the repository root; any kind of file
#            (tools/package.sh too), as long as a test binary runs it
#   FIND     the text of the line, or a part of it, that occurs exactly once
#            in the file: the list stays right when lines above it move.
#            Where the text recurs, FIND takes in the end of the line before
#            or the start of the line after, "⏎" standing for the line break
#   REPLACE  the slip (never empty: to drop a statement, replace it with
#            ";"); "⏎" is a line break here too
#   TARGET   the test binary that should kill it (test_db): it runs first,
#            as the fast way to a kill; "asan" runs it from the sanitizer
#            build (leaks, overruns); GTEST_FILTER narrows that run
#   NOTE     free text; a note starting with "equivalent" marks a mutant
#            that no test can kill (say why): it is left out of the rate
# Fields are trimmed, so FIND and REPLACE can neither start nor end with a
# blank nor hold " | "; pick a wider or narrower part of the line instead.
#
# A failing run of the named binary kills the mutant.  When it passes, the
# whole test command (bash tools/test.sh) runs, and only if that passes too
# does the mutant count as survived (or equivalent, when marked): one binary
# cannot tell that no other test catches the slip.
#
# The worktree is never touched: the tree is copied into build-mutate/tree
# (only changed files are copied, so builds stay incremental), each mutant is
# applied there and the file restored before the next one, also on Ctrl+C.
# The named binaries are built in the tree's build (or build-asan) folder,
# which the test command builds too, so every build after the first is
# incremental; those folders stay for the next run.  Each unmutated binary
# must pass first, and so must the unmutated test command before its first
# run for a mutant.  Logs go to build-mutate/logs/N.log.
#
# Result per mutant: killed (a test failed or timed out; "by the whole test
# command" when the named binary passed), survived, equivalent (survived,
# and marked so), build-failed, not-found (FIND is not in the file) and
# ambiguous (FIND is in it more than once).  The last three count neither
# way.  The closing line gives the kill rate: killed / (killed + survived).
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
# it even when it was last built from a mutant.  The tree's build folders
# are its own and stay.
sync_tree() {
  mkdir -p "$TREE" "$WORK/logs"
  (cd "$WT" && git ls-files -co --exclude-standard | while IFS= read -r f; do
     if [ -f "$f" ]; then echo "$f"; fi; done | sort) >"$WORK/files"
  (cd "$TREE" && find . \( -path './build*' -type d \) -prune -o -type f -printf '%P\n' | sort) >"$WORK/have"
  comm -13 "$WORK/files" "$WORK/have" | (cd "$TREE" && xargs -r -d '\n' rm -f)
  while IFS= read -r f; do
    cmp -s "$WT/$f" "$TREE/$f" && continue
    mkdir -p "$(dirname "$TREE/$f")"
    cp "$WT/$f" "$TREE/$f"
  done <"$WORK/files"
}

# apply FILE FIND REPLACE: makes the slip in the tree's copy of FILE and
# prints the number of the line it starts on.  Exit status 3: FIND is not
# in the file; 4: it is there more than once (nothing is changed then).
apply() {
  FROM=${2//⏎/$'\n'} TO=${3//⏎/$'\n'} perl -0777 -i -ne '
    my ($n, $at, $first) = (0, -1, 0);
    while (($at = index($_, $ENV{FROM}, $at + 1)) >= 0) { $first = $at if $n++ == 0 }
    if ($n == 1) {
      $line = 1 + (substr($_, 0, $first) =~ tr/\n//);
      substr($_, $first, length $ENV{FROM}) = $ENV{TO};
    }
    $code = $n == 1 ? 0 : $n == 0 ? 3 : 4;
    print;
    END { print STDOUT $line if $line; exit $code }' "$TREE/$1"
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
# build KIND TARGET: builds in the tree's build (release) or build-asan
# folder, configured once per run exactly as the test command configures
# them, so that it finds them built.
build() {
  local dir=$TREE/build flags=(-DCMAKE_BUILD_TYPE=Release)
  [ "$1" = asan ] && dir=$TREE/build-asan flags=(-DCMAKE_BUILD_TYPE=Debug -DZOV_SANITIZE=ON -DZOV_BENCH=OFF)
  if [ -z "${CONFIGURED[$1]:-}" ]; then
    cmake -S "$TREE" -B "$dir" "${flags[@]}" >/dev/null
    CONFIGURED[$1]=1
  fi
  cmake --build "$dir" -j "$JOBS" --target "$2"
}

# run_test KIND TARGET FILTER: runs the test binary as ctest does (from its
# build folder; window tests under Xvfb) within the time limit, and writes
# its exit status (124: timed out; above 128: killed by a signal).
run_test() {
  local dir=$TREE/build rc=0
  [ "$1" = asan ] && dir=$TREE/build-asan
  local cmd=(timeout -k 10 "$SECS" "$dir/tests/$2")
  [ -n "$3" ] && cmd+=("--gtest_filter=$3")
  [[ $2 == test_gl_* ]] && cmd=(xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" "${cmd[@]}")
  (cd "$dir/tests" && "${cmd[@]}") || rc=$?
  echo "== exit status $rc"
  return $rc
}

# whole: runs the whole test command in the tree as a user runs it, and
# writes its exit status.  nproc, which sets its build and test jobs,
# answers OMP_NUM_THREADS.
whole() {
  local rc=0
  (cd "$TREE" && OMP_NUM_THREADS=$JOBS timeout -k 30 $((SECS * 20)) bash tools/test.sh) || rc=$?
  echo "== test command exit status $rc"
  return $rc
}

trim() { local s=$1; s=${s#"${s%%[![:space:]]*}"}; echo "${s%"${s##*[![:space:]]}"}"; }

# Reads every list into the arrays below, one entry per mutant.
FILE=() FIND=() REPL=() KIND=() TARGET=() FILTER=() NOTE=()
for list in "$@"; do
  n=0
  while IFS= read -r line || [ -n "$line" ]; do
    n=$((n + 1))
    [[ $line =~ ^[[:space:]]*(#|$) ]] && continue
    IFS=$'\x1f' read -r -a f <<<"${line// | /$'\x1f'}"
    if [ ${#f[@]} -lt 4 ] || [ ${#f[@]} -gt 5 ]; then
      echo "$list:$n: expected FILE | FIND | REPLACE | TARGET [| NOTE]" >&2; exit 2
    fi
    read -r -a t <<<"${f[3]}"
    kind=release
    [ $ASAN_ALL = 1 ] && kind=asan
    [ "${t[0]}" = asan ] && { kind=asan; t=("${t[@]:1}"); }
    FILE+=("$(trim "${f[0]}")") FIND+=("$(trim "${f[1]}")") REPL+=("$(trim "${f[2]}")")
    KIND+=("$kind") TARGET+=("${t[0]}") FILTER+=("${t[1]:-}") NOTE+=("$(trim "${f[4]:-}")")
    if [ -z "${FIND[-1]}" ] || [ -z "${REPL[-1]}" ] || [ ! -f "$WT/${FILE[-1]}" ]; then
      echo "$list:$n: empty FIND or REPLACE, or no such file" >&2; exit 2
    fi
  done <"$list"
done

selected() { [ -z "$ONLY" ] || [[ $ONLY == *",$1,"* ]]; }

sync_tree

# The unmutated targets must pass, or no result below means anything.
declare -A BASE=()
for i in "${!FILE[@]}"; do
  key="${KIND[$i]} ${TARGET[$i]} ${FILTER[$i]}"
  selected $((i + 1)) && [ -z "${BASE[$key]:-}" ] || continue
  echo "baseline: $key" >&2
  if ! { build "${KIND[$i]}" "${TARGET[$i]}" && run_test "${KIND[$i]}" "${TARGET[$i]}" "${FILTER[$i]}"; } \
       >"$WORK/logs/baseline.log" 2>&1; then
    echo "the unmutated $key fails: see $WORK/logs/baseline.log" >&2; exit 1
  fi
  BASE[$key]=1
done

# The unmutated test command, run once before its first run for a mutant;
# the mutant's file is restored meanwhile and applied again after.
WHOLE_BASE=0
whole_baseline() {
  [ $WHOLE_BASE = 1 ] && return
  local file=$MUTATED
  restore
  echo "baseline: the whole test command" >&2
  if ! whole >"$WORK/logs/baseline-whole.log" 2>&1; then
    echo "the unmutated test command fails: see $WORK/logs/baseline-whole.log" >&2; exit 1
  fi
  WHOLE_BASE=1
  MUTATED=$file
  apply "$file" "$1" "$2" >/dev/null
}

killed=0 survived=0 equivalent=0 other=0
printf '%-3s %-30s %-12s %s\n' "#" "mutant" "result" "change"
for i in "${!FILE[@]}"; do
  num=$((i + 1))
  selected $num || continue
  file=${FILE[$i]}
  log=$WORK/logs/$num.log
  MUTATED=$file
  rc=0 by=""
  lineno=$(apply "$file" "${FIND[$i]}" "${REPL[$i]}" 2>"$log") || rc=$?
  if [ $rc = 3 ]; then
    result=not-found
  elif [ $rc = 4 ]; then
    result=ambiguous
  elif [ $rc != 0 ]; then
    echo "could not apply mutant $num: see $log" >&2; exit 1
  elif ! build "${KIND[$i]}" "${TARGET[$i]}" >>"$log" 2>&1; then
    result=build-failed
  elif ! run_test "${KIND[$i]}" "${TARGET[$i]}" "${FILTER[$i]}" >>"$log" 2>&1; then
    result=killed
  else
    whole_baseline "${FIND[$i]}" "${REPL[$i]}"
    if whole >>"$log" 2>&1; then
      result=survived
      [[ ${NOTE[$i]} == equivalent* ]] && result=equivalent
    else
      result=killed by="  (by the whole test command)"
    fi
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
  printf '%-3s %-30s %-12s %s\n' "$num" "$file${lineno:+:$lineno}" "$result" "$change$by"
done

total=$((killed + survived))
rate=$([ $total -gt 0 ] && echo "$((100 * killed / total)) %" || echo "n/a")
echo "killed $killed of $total non-equivalent mutants ($rate); $equivalent equivalent;" \
  "$other build-failed, not-found or ambiguous"
