#!/usr/bin/env bash
# Re-encoding the picture data, beside the tools that do the same, held to a fair measure: only
# the corpus files that decode without a warning (djpeg -strict), and on every side all
# metadata dropped. Files per second per core (CPU time, user + system, so that other load on
# the machine counts little) and bytes saved, over one copy of those files for each command.
#
#   keelpack-cli --exif delete --icc remove --optimize | --progressive
#                                             files replaced in place (without flushes, as
#                                             the others do not flush)
#   jpegoptim --strip-all [--all-progressive] in place
#   jpegtran -copy none -optimize | -progressive   one process per file, into a second tree
#
#   bench/reencode_bench.sh [-b BUILD_DIR]
#
# jpegoptim, jpegtran and djpeg are benchmark peers only (apt install jpegoptim
# libjpeg-turbo-progs); a missing one is skipped, and without djpeg every file counts. Reads the
# corpus from $KEELPACK_CORPUS, else ../shared/corpus/camera beside the source tree; skips with a
# message when it is absent. The last line compares --progressive with jpegtran -progressive.
set -euo pipefail
cd "$(dirname "$0")/.."

build=build
while getopts "b:" flag; do
  case "$flag" in
    b) build=$OPTARG ;;
    *) sed -n '2,19p' "$0"; exit 2 ;;
  esac
done

. bench/find_inputs.sh  # from the project root, where the script has moved

work=$(mktemp -d "${TMPDIR:-/tmp}/keelpack-reencode-bench-XXXXXX")
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
export XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache"
mkdir -p "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME"
# The clean files: the ones a decoder reads without a warning, where every tool has the same
# work to do (the others are declined or repaired in ways that do not compare).
clean="$work/clean"
all=$(find "$corpus" -type f | wc -l)
if command -v djpeg > /dev/null; then
  (cd "$corpus" && find . -type f -print0) | while IFS= read -r -d '' f; do
    if djpeg -strict -outfile /dev/null "$corpus/$f" 2> /dev/null; then
      mkdir -p "$clean/$(dirname "$f")"
      cp "$corpus/$f" "$clean/$f"
    fi
  done
else
  echo "djpeg: not installed, every file counted"
  cp -R "$corpus" "$clean"
fi
input=$(find "$clean" -type f -printf '%s\n' | awk '{s += $1} END {print s}')
files=$(find "$clean" -type f | wc -l)

fresh() {  # a writable copy of the clean files at $1
  rm -rf "$1"
  cp -R "$clean" "$1"
  chmod -R u+w "$1"
}
size() { find "$1" -type f -printf '%s\n' | awk '{s += $1} END {print s}'; }
saved() { awk -v input="$input" -v output="$(size "$1")" 'BEGIN { printf "%.2f", 100 * (input - output) / input }'; }

# report NAME TREE: CPU seconds of the last `timed` call, and the size of TREE afterwards.
TIMEFORMAT='%U %S %R'
report() {
  read -r user sys real < "$work/time"
  awk -v name="$1" -v files="$files" -v user="$user" -v sys="$sys" -v real="$real" \
      -v input="$input" -v output="$(size "$2")" 'BEGIN {
    cpu = user + sys
    printf "%-46s %8.1f files/s/core %7.2f s CPU %7.2f s wall   saved %5.2f%%\n",
           name, files / cpu, cpu, real, 100 * (input - output) / input }'
}
timed() { { time "$@" > /dev/null 2>&1; } 2> "$work/time" || true; }

echo "$files of $all files decode without a warning, $input bytes; all metadata dropped"
for mode in optimize progressive; do
  fresh "$work/tree"
  sync
  timed "$cli" -q --no-fsync --exif delete --icc remove "--$mode" "$work/tree"
  report "keelpack-cli --$mode" "$work/tree"
  if [ "$mode" = progressive ]; then ours=$(saved "$work/tree"); fi
done

if command -v jpegoptim > /dev/null; then
  for extra in "" "--all-progressive"; do
    fresh "$work/tree"
    sync
    # shellcheck disable=SC2086
    timed sh -c "find '$work/tree' -type f -exec jpegoptim -q --strip-all $extra {} +"
    report "jpegoptim --strip-all $extra" "$work/tree"
  done
else
  echo "jpegoptim: not installed, skipped"
fi

if command -v jpegtran > /dev/null; then
  for mode in optimize progressive; do
    fresh "$work/tree"
    rm -rf "$work/out"
    (cd "$work/tree" && find . -type d -exec mkdir -p "$work/out/{}" \;)
    sync
    timed sh -c "cd '$work/tree' && find . -type f | while read -r f; do
                   jpegtran -copy none -$mode -outfile '$work/out/'\"\$f\" \"\$f\" || cp \"\$f\" '$work/out/'\"\$f\"
                 done"
    report "jpegtran -copy none -$mode" "$work/out"
    if [ "$mode" = progressive ]; then theirs=$(saved "$work/out"); fi
  done
  awk -v ours="$ours" -v theirs="$theirs" 'BEGIN {
    printf "--progressive saves %s%%, jpegtran -progressive %s%%: %s\n", ours, theirs,
           (ours + 0 >= theirs + 0) ? "at least as much" : "less" }'
else
  echo "jpegtran: not installed, skipped"
fi
