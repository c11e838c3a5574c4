#!/usr/bin/env bash
# Peak memory (maximum resident set) of keelpack-cli on files made to strain it, against the
# target of one job: the file's size plus 64 MB per job.
#
#   large frame   a valid colour photo of SIDE x SIDE pixels (default 16000) that takes a few MB:
#                 the default mode, --optimize, --progressive, --slow, --check-readability, and
#                 -v -j 2 with the many-markers file beside it
#   6 megapixels  a photo of 3000 x 2000 pixels, which --optimize and --progressive do code
#                 again
#   on its side   a photo of 2560 x 1920 pixels (5 megapixels) with an Exif orientation of 6,
#                 which --upright turns within a job's memory; a phone's 4032 x 3024 (12
#                 megapixels), which it turns as the one larger turn at a time, against the
#                 target plus the 120 MB more that turn may take; and the large frame with
#                 that orientation, which it does not turn (its coefficients would take more)
#   many markers  a small photo with 8 MB of fill bytes before its frame: eight million lines
#                 at -v
# and two timings:
#   long header   a photo whose 20 MB of header segments come before its picture data, against
#                 a photo of the same size whose bytes are picture data
#   trailing data a small photo followed by 200 MB after its end marker (read whole, since the
#                 file does not end with one), with this build and, given -o, with another
#
#   bench/memory_bench.sh [-s SIDE] [-b BUILD_DIR] [-o OTHER_KEELPACK_CLI]
#
# Makes its files with cjpeg (libjpeg-turbo-progs, installed with apt-get when missing) and
# python3; reads no corpus.
set -euo pipefail
cd "$(dirname "$0")/.."

side=16000
build=build
other=
while getopts "s:b:o:" flag; do
  case "$flag" in
    s) side=$OPTARG ;;
    b) build=$OPTARG ;;
    o) other=$OPTARG ;;
    *) sed -n '2,20p' "$0"; exit 2 ;;
  esac
done

cli=$(realpath "$build/bin/keelpack-cli")
[ -x "$cli" ] || { echo "no $cli: build first (cmake --build $build)"; exit 2; }
[ -x /usr/bin/time ] || { echo "needs GNU time (/usr/bin/time) for the memory figures"; exit 2; }
if ! command -v cjpeg >/dev/null; then
  sudo=; [ "$(id -u)" = 0 ] || sudo=sudo
  $sudo apt-get install -y -qq libjpeg-turbo-progs >/dev/null
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/keelpack-memory-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME="$work/config"
mkdir -p "$work/files" "$XDG_CONFIG_HOME"

# A picture of WIDTH x HEIGHT: smooth gradients, with noise on every ROUGH-th row, as PPM.
picture() {
  python3 - "$1" "$2" "$3" <<'PYTHON'
import random, sys
width, height, rough = (int(a) for a in sys.argv[1:])
random.seed(1)
smooth = [bytes((x * 255 // width + y * 16) % 256 for x in range(width) for _ in range(3)) for y in range(16)]
noisy = [bytes(random.getrandbits(8) for _ in range(width * 3)) for _ in range(4)]
out = sys.stdout.buffer
out.write(b"P6\n%d %d\n255\n" % (width, height))
for y in range(height):
    out.write(noisy[y % 4] if y % rough == 0 else smooth[y // 64 % 16])
PYTHON
}

# insert FILE OFFSET BYTES_FILE: FILE with the bytes put in at OFFSET.
insert() {
  python3 - "$@" <<'PYTHON'
import sys
path, offset, extra = sys.argv[1], int(sys.argv[2]), open(sys.argv[3], "rb").read()
data = open(path, "rb").read()
open(path, "wb").write(data[:offset] + extra + data[offset:])
PYTHON
}

picture "$side" "$side" 1000 | cjpeg -quality 90 > "$work/large-frame.jpg"
picture 3000 2000 3 | cjpeg -quality 90 > "$work/camera.jpg"
picture 640 480 1 | cjpeg -quality 90 > "$work/small.jpg"
picture 2560 1920 3 | cjpeg -quality 90 > "$work/sideways.jpg"
picture 4032 3024 3 | cjpeg -quality 90 > "$work/phone-sideways.jpg"
cp "$work/large-frame.jpg" "$work/large-sideways.jpg"
# An Exif segment that holds only the orientation 6: turned a quarter clockwise to show upright.
python3 -c '
import sys
tiff = b"MM\0*\0\0\0\x08" + b"\0\x01" + b"\x01\x12\0\x03\0\0\0\x01\0\x06\0\0" + b"\0\0\0\0"
payload = b"Exif\0\0" + tiff
sys.stdout.buffer.write(b"\xff\xe1" + (len(payload) + 2).to_bytes(2, "big") + payload)' > "$work/exif6"
insert "$work/sideways.jpg" 2 "$work/exif6"
insert "$work/phone-sideways.jpg" 2 "$work/exif6"
insert "$work/large-sideways.jpg" 2 "$work/exif6"
cp "$work/small.jpg" "$work/many-markers.jpg"
python3 -c 'import sys; sys.stdout.buffer.write(b"\xff" * (8 << 20))' > "$work/fills"
insert "$work/many-markers.jpg" 2 "$work/fills"

size_kb() { echo $(( $(stat -c %s "$1") / 1024 )); }
# peak LABEL JOBS FILES... -- OPTIONS...: runs keelpack-cli on fresh copies of FILES and prints
# its peak against the target for the largest of them (plus $allowance KB).
allowance=0
peak() {
  local label=$1 jobs=$2 largest=0 files=() kb
  shift 2
  rm -rf "$work/run"; mkdir "$work/run"
  while [ "$1" != -- ]; do
    cp "$1" "$work/run/"; files+=("$work/run/$(basename "$1")")
    kb=$(size_kb "$1"); [ "$kb" -le "$largest" ] || largest=$kb
    shift
  done
  shift
  /usr/bin/time -f %M -o "$work/peak" "$cli" "$@" -j "$jobs" "${files[@]}" > /dev/null || [ $? -le 1 ]
  local used target
  used=$(cat "$work/peak") target=$((largest + 64 * 1024 * jobs + allowance))
  printf '  %-46s %8d KB   target %8d KB   %s\n' "$label" "$used" "$target" "$([ "$used" -le "$target" ] && echo ok || echo OVER)"
}

big=$work/large-frame.jpg many=$work/many-markers.jpg
echo "keelpack-cli peak memory; large frame: ${side}x$side pixels, $(size_kb "$big") KB; many markers: $(size_kb "$many") KB"
peak "large frame, default" 1 "$big" -- -q
peak "large frame, --optimize" 1 "$big" -- -q --optimize
peak "large frame, --progressive" 1 "$big" -- -q --progressive
peak "large frame, --slow" 1 "$big" -- -q --slow
peak "large frame, --check-readability" 1 "$big" -- -q --check-readability
peak "large frame and many markers, -v -j 2" 2 "$big" "$many" -- -v
peak "6 megapixels, --optimize" 1 "$work/camera.jpg" -- -q --optimize
peak "6 megapixels, --progressive" 1 "$work/camera.jpg" -- -q --progressive
peak "many markers twice, -v -j 2" 2 "$many" "$work/small.jpg" "$many" -- -v
peak "5 megapixels sideways, --upright" 1 "$work/sideways.jpg" -- -q --upright
peak "5 megapixels sideways, --progressive --upright" 1 "$work/sideways.jpg" -- -q --upright --progressive
peak "large frame sideways, --upright" 1 "$work/large-sideways.jpg" -- -q --upright
allowance=$((120 * 1024))
peak "12 megapixels sideways, --upright (+120 MB)" 1 "$work/phone-sideways.jpg" -- -q --upright
peak "12 megapixels sideways twice, --upright -j 2 (+120 MB)" 2 "$work/phone-sideways.jpg" "$work/sideways.jpg" -- -q --upright
allowance=0

# Timings: the best of three runs.
best_time() {
  local best= t start
  for _ in 1 2 3; do
    cp "$1" "$work/timed.jpg"
    start=$EPOCHREALTIME
    "${@:2}" "$work/timed.jpg" > /dev/null || [ $? -le 1 ]
    t=$(awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.3f", b - a }')
    if [ -z "$best" ] || awk -v a="$t" -v b="$best" 'BEGIN { exit !(a < b) }'; then best=$t; fi
  done
  echo "$best"
}

# 320 APP3 segments of 65000 bytes (kept by the rewrite) after the start marker, and a photo
# of about the same size with no such header.
python3 -c '
import sys
segment = b"\xff\xe3" + (65002).to_bytes(2, "big") + b"h" * 65000
sys.stdout.buffer.write(segment * 320)' > "$work/segments"
picture 1600 1200 1 | cjpeg -quality 95 > "$work/long-header.jpg"
insert "$work/long-header.jpg" 2 "$work/segments"
picture 6000 4000 1 | cjpeg -quality 98 > "$work/plain.jpg"
echo
echo "Time, best of 3 (default mode):"
printf '  %-44s %8s s   (%d KB)\n' "20 MB of header segments" "$(best_time "$work/long-header.jpg" "$cli" -q)" "$(size_kb "$work/long-header.jpg")"
printf '  %-44s %8s s   (%d KB)\n' "picture data only" "$(best_time "$work/plain.jpg" "$cli" -q)" "$(size_kb "$work/plain.jpg")"

head -c $((200 << 20)) /dev/urandom > "$work/trailing"
cp "$work/small.jpg" "$work/trailing.jpg"
cat "$work/trailing" >> "$work/trailing.jpg"
printf '  %-44s %8s s   (%d KB)\n' "200 MB after the end marker" "$(best_time "$work/trailing.jpg" "$cli" -q)" "$(size_kb "$work/trailing.jpg")"
if [ -n "$other" ]; then
  printf '  %-44s %8s s\n' "the same with $other" "$(best_time "$work/trailing.jpg" "$other" -q)"
fi
