#!/usr/bin/env bash
# Times keelpack-cli over a tree of camera-file copies beside its yardsticks, all in one run and
# on the same tree, copied afresh before every timed command (outside the timing):
#   cp -a of the tree;  jhead -purejpg over it (in place);  a copy that fsyncs each file;
#   keelpack-cli in each Exif mode (keep, reduce, delete), with and without --no-fsync, with
#   -j 1 and with its default (one job per core).
# Each command runs on a tree that was just copied and not yet written back ("unsynced"), and
# on one that was synced before the run ("synced"). The best of RUNS timings is reported, and
# keelpack-cli's peak resident memory against the largest file + 30 MB per job.
# Then, for linearity, the default keelpack-cli (with and without --no-fsync) and cp -a run
# over a tree FACTOR times as big (synced), against the same commands on the small tree.
#
#   bench/cli_bench.sh [-r RUNS] [-c COPIES] [-x FACTOR] [-b BUILD_DIR]
#
# RUNS (default 3); COPIES of the corpus, one per subfolder (default 5: 440 files); FACTOR
# (default 10; 0 skips the big tree). Reads the corpus from $KEELPACK_CORPUS, else
# ../shared/corpus/camera beside the source tree; skips with a message when it is absent.
# jhead is installed with apt-get when missing; it is a yardstick, not a dependency.
set -euo pipefail
cd "$(dirname "$0")/.."

runs=3
copies=5
factor=10
build=build
while getopts "r:c:x:b:" flag; do
  case "$flag" in
    r) runs=$OPTARG ;;
    c) copies=$OPTARG ;;
    x) factor=$OPTARG ;;
    b) build=$OPTARG ;;
    *) sed -n '2,18p' "$0"; exit 2 ;;
  esac
done

. bench/find_inputs.sh  # from the project root, where the script has moved
if ! command -v jhead >/dev/null; then
  sudo=; [ "$(id -u)" = 0 ] || sudo=sudo
  $sudo apt-get install -y -qq jhead >/dev/null
fi
[ -x /usr/bin/time ] || { echo "needs GNU time (/usr/bin/time) for the memory figures"; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/keelpack-bench-XXXXXX")
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
export XDG_CONFIG_HOME="$work/config"
mkdir -p "$XDG_CONFIG_HOME"

# A pristine tree of N copies of the corpus, writable like a user's own files.
pristine() {
  mkdir -p "$2"
  for i in $(seq 1 "$1"); do cp -R "$corpus" "$2/copy$i"; done
  chmod -R u+w "$2"
}

# The copy that flushes every file to the disk, as in the kernel as cp does it; timed from
# inside, so that the interpreter's start-up is no part of copying.
cat > "$work/fsync_copy.py" <<'PYTHON'
import os, sys, time
start = time.perf_counter()
source, target = sys.argv[1], sys.argv[2]
for folder, _, names in os.walk(source):
    out = os.path.join(target, os.path.relpath(folder, source))
    os.makedirs(out, exist_ok=True)
    for name in names:
        src, dst = os.path.join(folder, name), os.path.join(out, name)
        info = os.stat(src)
        fin = os.open(src, os.O_RDONLY)
        fout = os.open(dst, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o600)
        while os.copy_file_range(fin, fout, 1 << 30) > 0:
            pass
        os.fsync(fout)
        os.close(fin)
        os.close(fout)
        os.chmod(dst, info.st_mode & 0o7777)
        os.utime(dst, ns=(info.st_atime_ns, info.st_mtime_ns))
print("%.4f" % (time.perf_counter() - start))
PYTHON

# fresh SOURCE synced|unsynced: the tree to work on, copied anew.
fresh() {
  rm -rf "$work/tree" "$work/copy"
  cp -a "$1" "$work/tree"
  if [ "$2" = synced ]; then sync; fi
}

# Prints the wall time of one command in seconds; keelpack-cli's peak memory goes to
# $work/peak. The fsyncing copy reports its own time.
timed() {
  local start=$EPOCHREALTIME status=0 inner=
  case "$1" in
    cp) "$@" || status=$? ;;
    jhead) find "$work/tree" -type f \( -iname '*.jpg' -o -iname '*.jpeg' \) \
             -exec jhead -purejpg {} + >/dev/null 2>&1 || true ;;  # the damaged file fails
    fsync_copy) inner=$(python3 "$work/fsync_copy.py" "$work/tree" "$work/copy") ;;
    *) /usr/bin/time -f %M -o "$work/peak" "$cli" -q "$@" "$work/tree" >/dev/null || status=$? ;;
  esac
  local end=$EPOCHREALTIME
  # keelpack-cli says 1 when a file was damaged: the corpus holds one on purpose.
  [ "$status" -le 1 ] || { echo "failed ($status): $*" >&2; exit 1; }
  if [ -n "$inner" ]; then echo "$inner"; return; fi
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.4f", b - a }'
}

declare -A cmd
names=(cp jhead fsync_copy)
cmd[cp]="cp -a $work/tree $work/copy"
cmd[jhead]="jhead"
cmd[fsync_copy]="fsync_copy"
for exif in reduce keep delete; do
  for sync in nofsync fsync; do
    for jobs in 1 default; do
      name="cli_${exif}_${sync}_j$jobs"
      names+=("$name")
      cmd[$name]="--exif $exif"
      [ "$sync" = fsync ] || cmd[$name]+=" --no-fsync"
      [ "$jobs" = default ] || cmd[$name]+=" -j $jobs"
    done
  done
done

declare -A best peak
# measure TREE LABEL MODE NAME...: best of $runs timings of each command, interleaved so that
# a busy moment of the shared machine hits every command alike.
measure() {
  local tree=$1 label=$2 mode=$3 name t
  shift 3
  for _ in $(seq 1 "$runs"); do
    for name in "$@"; do
      fresh "$tree" "$mode"
      # shellcheck disable=SC2086  # the options split into words
      t=$(timed ${cmd[$name]})
      local key="$label/$mode/$name"
      if [ -z "${best[$key]:-}" ] || awk -v a="$t" -v b="${best[$key]}" 'BEGIN { exit !(a < b) }'; then
        best[$key]=$t
      fi
      case "$name" in
        cli_*) local kb; kb=$(cat "$work/peak"); [ "${peak[$name]:-0}" -ge "$kb" ] || peak[$name]=$kb ;;
      esac
    done
  done
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2fx", a / b }'; }

pristine "$copies" "$work/small"
files=$(find "$work/small" -type f | wc -l)
megabytes=$(du -sm "$work/small" | cut -f1)
largest=$(find "$work/small" -type f -printf '%s\n' | sort -n | tail -1)
cores=$(nproc)
echo "keelpack-cli bench: $files files, $megabytes MB; $cores cores; best of $runs runs"
echo "load average at the start: $(cut -d' ' -f1-3 /proc/loadavg)"
for mode in unsynced synced; do measure "$work/small" small "$mode" "${names[@]}"; done

printf '\n  %-46s %9s %9s   %s\n' "command" "unsynced" "synced" "synced vs cp -a / jhead / fsync copy"
for name in "${names[@]}"; do
  u=${best[small/unsynced/$name]} s=${best[small/synced/$name]}
  label=${cmd[$name]}
  case "$name" in
    cp) label="cp -a" ;;
    jhead) label="jhead -purejpg" ;;
    fsync_copy) label="copy, fsync of each file" ;;
    *) label="keelpack-cli $label" ;;
  esac
  printf '  %-46s %8.3fs %8.3fs   %s / %s / %s\n' "$label" "$u" "$s" \
    "$(ratio "$s" "${best[small/synced/cp]}")" "$(ratio "$s" "${best[small/synced/jhead]}")" \
    "$(ratio "$s" "${best[small/synced/fsync_copy]}")"
done

echo
echo "Targets (synced tree; unsynced in brackets):"
target() {  # target TEXT NAME YARDSTICK LIMIT
  local s u
  s=$(awk -v a="${best[small/synced/$2]}" -v b="${best[small/synced/$3]}" 'BEGIN { printf "%.2f", a / b }')
  u=$(awk -v a="${best[small/unsynced/$2]}" -v b="${best[small/unsynced/$3]}" 'BEGIN { printf "%.2f", a / b }')
  printf '  %-58s %5sx (%5sx)  limit %sx\n' "$1" "$s" "$u" "$4"
}
target "default Exif mode, --no-fsync, default -j vs jhead -purejpg" cli_reduce_nofsync_jdefault jhead 1.0
target "default Exif mode, --no-fsync, default -j vs cp -a" cli_reduce_nofsync_jdefault cp 1.3
target "default, durable, default -j vs the fsyncing copy" cli_reduce_fsync_jdefault fsync_copy 1.15

echo
echo "Peak resident memory of keelpack-cli (largest file $((largest / 1024)) KB; limit: it + 30 MB per job):"
for name in "${names[@]}"; do
  case "$name" in cli_*) ;; *) continue ;; esac
  jobs=$cores; [[ "$name" != *_j1 ]] || jobs=1
  limit=$((largest / 1024 + 30 * 1024 * jobs))
  printf '  %-40s %6d KB   limit %6d KB   %s\n' "${cmd[$name]}" "${peak[$name]}" "$limit" \
    "$([ "${peak[$name]}" -lt "$limit" ] && echo ok || echo OVER)"
done

[ "$factor" -gt 0 ] || exit 0
pristine $((copies * factor)) "$work/big"
rm -rf "$work/small"
big_files=$(find "$work/big" -type f | wc -l)
linear=(cp cli_reduce_nofsync_jdefault cli_reduce_fsync_jdefault)
# Best of as many runs as the small tree had: a single run against a best of three would
# count every slow moment of the machine as growth.
measure "$work/big" big synced "${linear[@]}"
echo
echo "Linearity: $big_files files against $files (synced; limit $(awk -v f="$factor" 'BEGIN { print f * 1.05 }')x):"
for name in "${linear[@]}"; do
  printf '  %-40s %8.3fs %8.3fs   %s\n' "${cmd[$name]/#cp -a*/cp -a}" "${best[small/synced/$name]}" \
    "${best[big/synced/$name]}" "$(ratio "${best[big/synced/$name]}" "${best[small/synced/$name]}")"
done
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
