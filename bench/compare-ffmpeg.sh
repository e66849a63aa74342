#!/usr/bin/env bash
# Decoding speed against ffmpeg on recordings in the recorder's layout.
#
# Builds intra-only MPEG-1 recordings with ffmpeg from lavfi sources, re-lays them out as the
# recorder writes them (sequence and group header, picture header, user data with a $GPRMC
# sentence before slice 1, sequence end code after every picture), then times the whole
# process of both decoders on each file, best of 5:
#   droskal-cli bench FILE --passes 1                   (read, walk, decode, convert to BGR)
#   ffmpeg -threads 1 -i FILE -pix_fmt bgr24 -f null -
# and prints pictures/s of each and the ratio, the lowest ratio last.
#
#   bench/compare-ffmpeg.sh [BUILD_DIR] [PICTURES]
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/.." && pwd)
build=${1:-$top/build/release}
pictures=${2:-500}
cli=$build/cli/droskal-cli
"$top/scripts/install-deps" ffmpeg python3 >&2
"$top/scripts/build" "$build" -DCMAKE_BUILD_TYPE=Release >&2

work=$(mktemp -d /tmp/droskal-compare.XXXXXX)
trap 'rm -rf "$work"' EXIT

relayout() {
  python3 - "$1" "$2" <<'PY'
import sys
data = open(sys.argv[1], 'rb').read()
# Every start code with its offset; the stream is split at each one.
codes = []
i = data.find(b'\x00\x00\x01')
while i >= 0 and i + 3 < len(data):
    codes.append(i)
    i = data.find(b'\x00\x00\x01', i + 3)
units = [(data[o + 3], data[o:(codes[k + 1] if k + 1 < len(codes) else len(data))])
         for k, o in enumerate(codes)]
seq = next(u for c, u in units if c == 0xB3)
gop = next(u for c, u in units if c == 0xB8)
out = bytearray()
n = 0
k = 0
while k < len(units):
    code, unit = units[k]
    if code != 0x00:
        k += 1
        continue
    header = unit
    k += 1
    while k < len(units) and units[k][0] in (0xB2, 0xB5):
        k += 1  # the encoder's own user data and extensions make way for ours
    slices = bytearray()
    while k < len(units) and 0x01 <= units[k][0] <= 0xAF:
        slices += units[k][1]
        k += 1
    secs = n // 25
    sentence = '$GPRMC,%02d%02d%02d.%03d,A,5212.%04d,N,02101.%04d,E,%d.%d,45.6,300306,,' % (
        14, (5 + secs // 60) % 60, secs % 60, (n % 25) * 40, n % 10000, (3 * n) % 10000, 30 + n % 20, n % 10)
    cs = 0
    for ch in sentence[1:]:
        cs ^= ord(ch)
    sentence += '*%02X' % cs
    out += seq + gop + header + b'\x00\x00\x01\xB2' + sentence.encode() + b'\r' + slices + b'\x00\x00\x01\xB7'
    n += 1
open(sys.argv[2], 'wb').write(out)
print(n)
PY
}

# Best whole-process wall time of 5 runs, in seconds.
best_of_5() {
  local best="" t0 t1 t
  for _ in 1 2 3 4 5; do
    t0=$(date +%s%N)
    "$@" >/dev/null 2>&1
    t1=$(date +%s%N)
    t=$((t1 - t0))
    if [[ -z $best || $t -lt $best ]]; then best=$t; fi
  done
  awk -v ns="$best" 'BEGIN { printf "%.6f", ns / 1e9 }'
}

# name  source  size  scale
recordings=(
  "vga_testsrc2_q2 testsrc2 640x480 2"
  "vga_testsrc2_q4 testsrc2 640x480 4"
  "vga_testsrc2_q8 testsrc2 640x480 8"
  "vga_mandelbrot_q2 mandelbrot 640x480 2"
  "cif_testsrc2_q2 testsrc2 320x240 2"
  "cif_testsrc2_q4 testsrc2 320x240 4"
  "cif_mandelbrot_q8 mandelbrot 320x240 8"
)

printf '%-20s %8s %12s %12s %7s\n' recording pictures droskal/s ffmpeg/s ratio
lines=()
for r in "${recordings[@]}"; do
  read -r name src size q <<<"$r"
  ffmpeg -v error -y -f lavfi -i "${src}=size=${size}:rate=25" -frames:v "$pictures" \
    -pix_fmt yuv420p -c:v mpeg1video -g 1 -bf 0 -threads 1 -q:v "$q" -f mpeg1video "$work/$name.raw.m1v"
  n=$(relayout "$work/$name.raw.m1v" "$work/$name.m1v")
  # Both must see every picture, or the figures compare different work.
  # "bench: 1 passes, P pictures (D decoded) in T s"
  got=$("$cli" bench "$work/$name.m1v" --passes 1 | head -1 | tr -d '(' | awk '{print $6}')
  [[ $got == "$n" ]] || { echo "$name: droskal-cli bench decoded $got of $n pictures" >&2; exit 1; }
  peer=$(ffmpeg -v error -threads 1 -i "$work/$name.m1v" -f framemd5 - | grep -vc '^#')
  [[ $peer == "$n" ]] || { echo "$name: ffmpeg decoded $peer of $n pictures" >&2; exit 1; }
  ours=$(best_of_5 "$cli" bench "$work/$name.m1v" --passes 1)
  theirs=$(best_of_5 ffmpeg -v error -nostdin -threads 1 -i "$work/$name.m1v" -pix_fmt bgr24 -f null -)
  lines+=("$(awk -v name="$name" -v n="$n" -v a="$ours" -v b="$theirs" 'BEGIN {
    printf "%-20s %8d %12.1f %12.1f %7.2f", name, n, n / a, n / b, b / a }')")
  echo "${lines[-1]}"
done
printf '%s\n' "${lines[@]}" | sort -k5 -g | head -1 | awk '{ printf "lowest ratio: %s (%s)\n", $5, $1 }'
