#!/usr/bin/env bash
# Times keelpack-cli over a folder tree of a few hundred camera files beside copying the same
# tree: with --no-fsync against a plain `cp -a`, and with its flushes against a copy that
# flushes each file. Beside them: keelpack-cli keeping the Exif data (which skips the Exif
# work files), and the least that any safe in-place replacement of the same files costs (no
# JPEG work at all), with and without flushes. The tree is copied afresh before every timed
# run, outside the timing, and the disk is synced before each timing starts.
#
#   bench/cli_bench.sh [-r RUNS] [-c COPIES] [-b BUILD_DIR]
#
# RUNS (default 5) timings of each command, reported as medians; COPIES (default 4) copies
# of the corpus, one per subfolder. Reads the corpus from $KEELPACK_CORPUS, else
# ../shared/corpus/camera beside the source tree; skips with a message when it is absent.
set -euo pipefail
cd "$(dirname "$0")/.."

runs=5
copies=4
build=build
while getopts "r:c:b:" flag; do
  case "$flag" in
    r) runs=$OPTARG ;;
    c) copies=$OPTARG ;;
    b) build=$OPTARG ;;
    *) sed -n '2,12p' "$0"; exit 2 ;;
  esac
done

cli=$(realpath "$build/bin/keelpack-cli")
corpus=${KEELPACK_CORPUS:-$(realpath -m ../shared/corpus/camera)}
[ -x "$cli" ] || { echo "no $cli: build first (cmake --build $build)"; exit 2; }
[ -d "$corpus" ] || { echo "skipped: no camera corpus at $corpus"; exit 0; }

work=$(mktemp -d "${TMPDIR:-/tmp}/keelpack-bench-XXXXXX")
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
export XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache"
mkdir -p "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME"

# The pristine tree: COPIES copies of the corpus, writable like a user's own files.
mkdir -p "$work/pristine"
for i in $(seq 1 "$copies"); do cp -R "$corpus" "$work/pristine/copy$i"; done
chmod -R u+w "$work/pristine"
files=$(find "$work/pristine" -type f | wc -l)
megabytes=$(du -sm "$work/pristine" | cut -f1)

# The yardsticks, in Python's standard library:
#   copy-fsync SOURCE TARGET  copies the tree, flushing every file to the disk;
#   replace[-fsync] TREE      puts a copy of every file in its place: a new file beside it,
#                             times and mode carried over, renamed over the old one; with
#                             -fsync the new file is flushed first and its folder after.
cat > "$work/yardstick.py" <<'PYTHON'
import os, sys, time

def files(root):
    for folder, _, names in os.walk(root):
        for name in names:
            yield os.path.join(folder, name)

# In the kernel, as cp does: Python's own buffers would make the yardsticks slow.
def copy(src, dst, durable):
    info = os.stat(src)
    fin = os.open(src, os.O_RDONLY)
    fout = os.open(dst, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o600)
    while os.copy_file_range(fin, fout, 1 << 30) > 0:
        pass
    if durable:
        os.fsync(fout)
    os.close(fin)
    os.close(fout)
    os.chmod(dst, info.st_mode & 0o7777)
    os.utime(dst, ns=(info.st_atime_ns, info.st_mtime_ns))

def flush_folder(path):
    fd = os.open(path, os.O_RDONLY | os.O_DIRECTORY)
    os.fsync(fd)
    os.close(fd)

# Timed from here: the interpreter's start-up (slow behind a version manager's shim) is no
# part of copying.
start = time.perf_counter()
mode, source = sys.argv[1], sys.argv[2]
if mode == "copy-fsync":
    target = sys.argv[3]
    for src in list(files(source)):
        dst = os.path.join(target, os.path.relpath(src, source))
        os.makedirs(os.path.dirname(dst), exist_ok=True)
        copy(src, dst, True)
else:
    durable = mode == "replace-fsync"
    for path in list(files(source)):
        copy(path, path + ".tmp", durable)
        os.rename(path + ".tmp", path)
        if durable:
            flush_folder(os.path.dirname(path))
print("%.4f" % (time.perf_counter() - start))
PYTHON

fresh() { rm -rf "$work/tree" "$work/copy"; cp -a "$work/pristine" "$work/tree"; sync; }

# Prints the wall time of one command in seconds.
timed() {
  local start=$EPOCHREALTIME status=0
  "$@" >/dev/null || status=$?
  local end=$EPOCHREALTIME
  # keelpack-cli says 1 when a file was damaged: the corpus holds one on purpose.
  [ "$status" -le 1 ] || { echo "failed ($status): $*" >&2; exit 1; }
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.4f", b - a }'
}

# Prints the time the yardstick reports for its own work.
yardstick() { python3 "$work/yardstick.py" "$@"; }

median() {
  sort -n | awk '{ v[NR] = $1 } END { printf "%.3f", (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

declare -A times
names=(copy replace cli_nofsync cli_keep fsync_copy replace_fsync cli)
for _ in $(seq 1 "$runs"); do
  # Interleaved, so that a busy moment of the shared machine hits every command alike.
  fresh; times[copy]+="$(timed cp -a "$work/tree" "$work/copy")"$'\n'
  fresh; times[replace]+="$(yardstick replace "$work/tree")"$'\n'
  fresh; times[cli_nofsync]+="$(timed "$cli" -q --no-fsync "$work/tree")"$'\n'
  fresh; times[cli_keep]+="$(timed "$cli" -q --no-fsync --exif keep "$work/tree")"$'\n'
  fresh; times[fsync_copy]+="$(yardstick copy-fsync "$work/tree" "$work/copy")"$'\n'
  fresh; times[replace_fsync]+="$(yardstick replace-fsync "$work/tree")"$'\n'
  fresh; times[cli]+="$(timed "$cli" -q "$work/tree")"$'\n'
done

declare -A med
for name in "${names[@]}"; do med[$name]=$(printf '%s' "${times[$name]}" | median); done
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
row() {
  printf '  %-44s %7s s' "$1" "${med[$2]}"
  [ $# -lt 3 ] || printf '   %5sx %s' "$(ratio "${med[$2]}" "${med[$3]}")" "$4"
  echo
}

echo "keelpack-cli bench: $files files, $megabytes MB in $copies subfolders; medians of $runs runs"
row "cp -a" copy
row "in-place replace, no JPEG work" replace copy "the copy"
row "keelpack-cli --no-fsync" cli_nofsync copy "the copy (target <= 1.5x)"
row "  the same, --exif keep (no Exif work files)" cli_keep copy "the copy"
row "copy, fsync of each file" fsync_copy
row "in-place replace with fsync, no JPEG work" replace_fsync fsync_copy "the fsyncing copy"
row "keelpack-cli" cli fsync_copy "the fsyncing copy (target <= 1.3x)"
for name in "${names[@]}"; do
  printf '  %-14s %s\n' "$name" "$(printf '%s' "${times[$name]}" | tr '\n' ' ')"
done
