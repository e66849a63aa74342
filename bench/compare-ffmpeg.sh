#!/usr/bin/env bash
# Decoding speed against ffmpeg on recordings in the recorder's layout.
#
# Builds intra-only MPEG-1 recordings with ffmpeg from lavfi sources (test patterns, and
# textured natural-looking pictures: a Mandelbrot zoom and a test pattern under film grain),
# re-lays them out as the recorder writes them (sequence and group header, picture header,
# user data with a $GPRMC sentence before slice 1, sequence end code after every picture),
# then times the whole process of both decoders on each file in RUNS rounds (default 7), the
# four runs back to back in each: CPU time for the one-core figures, so that other work
# on a shared machine does not count, and wall time for --jobs:
#   droskal-cli bench FILE --passes 1 --jobs 1          (read, walk, decode, convert to BGR)
#   ffmpeg -threads 1 -i FILE -pix_fmt bgr24 -f null -
#   droskal-cli bench FILE --passes 1 --jobs N          (N = the number of cores)
#   N of droskal-cli bench FILE --passes 1 --jobs 1 at once, as separate processes
# and prints pictures/s of each (the median round), the one-core ratio and the --jobs N ratio
# to ffmpeg, what --jobs N gains on --jobs 1, and what N separate one-job processes at once
# gain (each the median of the ratios within each round), the lowest one-core ratio last. The
# last column is the machine's own ceiling for the gain: processes share nothing but the
# caches and the memory (and, on a virtual machine, whatever else the host runs), so --jobs N
# falling short of it is the threads' own cost (the start-up, which one process runs once,
# included), and both falling short of N the machine's. ffmpeg gains nothing from threads on one-slice pictures; its CPU time is its wall
# time on an idle machine, which the --jobs ratio is measured against. 2000 pictures a recording by default: a run of 500 CIF pictures takes
# 0.1 s, of which loading the libraries and building the tables, which no second core
# shortens, is a tenth.
#
#   [RUNS=N] bench/compare-ffmpeg.sh [BUILD_DIR] [PICTURES]
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/.." && pwd)
build=${1:-$top/build/release}
pictures=${2:-2000}
runs=${RUNS:-7}
cli=$build/cli/droskal-cli
"$top/scripts/install-deps" ffmpeg python3 >&2
TARGETS=droskal-cli "$top/scripts/build" "$build" -DCMAKE_BUILD_TYPE=Release >&2
jobs=$(nproc)

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

# CPU seconds (user + system) and wall seconds of one whole run. The one-core columns use CPU
# time, which other work on a shared machine barely moves; the --jobs column wall time. The
# children's time is taken before and after the run: a python3 started through a wrapper
# (pyenv's shims run their own programs first) already holds theirs, which would otherwise
# count as the run's.
measure() {
  python3 -c 'import resource, subprocess, sys, time
r0 = resource.getrusage(resource.RUSAGE_CHILDREN)
t = time.time()
subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
w = time.time() - t
r = resource.getrusage(resource.RUSAGE_CHILDREN)
print("%.6f %.6f" % (r.ru_utime - r0.ru_utime + r.ru_stime - r0.ru_stime, w))' "$@"
}
# Wall seconds of N copies of one command run at once.
measure_copies() {
  python3 -c 'import subprocess, sys, time
t = time.time()
ps = [subprocess.Popen(sys.argv[2:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
      for _ in range(int(sys.argv[1]))]
for p in ps:
    p.wait()
print("%.6f" % (time.time() - t))' "$@"
}
# Rounds "droskal-cpu ffmpeg-cpu droskal-jobs-wall copies-wall" on stdin: the median of each
# of the first three as pictures/s, and the median of the rounds' own ratios (--jobs N against
# ffmpeg and against --jobs 1, N one-job processes against one).
median_rounds() {
  python3 -c 'import statistics, sys
name, n, kb, cores = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
rows = [[float(x) for x in line.split()] for line in sys.stdin if line.strip()]
med = lambda xs: statistics.median(xs)
one, theirs, many = (med([r[k] for r in rows]) for k in range(3))
print("%-18s %6d %7d %10.1f %10.1f %6.2f %12.1f %6.2f %6.2f %6.2f" % (name, n, kb, n / one,
      n / theirs, med([r[1] / r[0] for r in rows]), n / many, med([r[1] / r[2] for r in rows]),
      med([r[0] / r[2] for r in rows]), med([cores * r[0] / r[3] for r in rows])))' "$@"
}

# name  source  size  scale  [filter]
recordings=(
  "vga_testsrc2_q2 testsrc2 640x480 2"
  "vga_testsrc2_q4 testsrc2 640x480 4"
  "vga_testsrc2_q8 testsrc2 640x480 8"
  "vga_mandelbrot_q2 mandelbrot 640x480 2"
  "vga_texture_q2 mandelbrot 640x480 2 noise=alls=8:allf=t"
  "vga_texture_q3 mandelbrot 640x480 3 noise=alls=8:allf=t"
  "vga_grain_q2 testsrc2 640x480 2 noise=alls=10:allf=t"
  "vga_grain_q3 testsrc2 640x480 3 noise=alls=10:allf=t"
  "cif_testsrc2_q2 testsrc2 320x240 2"
  "cif_testsrc2_q4 testsrc2 320x240 4"
  "cif_mandelbrot_q8 mandelbrot 320x240 8"
  "cif_texture_q3 mandelbrot 320x240 3 noise=alls=8:allf=t"
)

printf '%-18s %6s %7s %10s %10s %6s %12s %6s %6s %6s\n' recording pics KB/pic droskal/s ffmpeg/s ratio "jobs $jobs/s" ratio gain procs
lines=()
for r in "${recordings[@]}"; do
  read -r name src size q filter <<<"$r"
  ffmpeg -v error -y -f lavfi -i "${src}=size=${size}:rate=25${filter:+,$filter}" -frames:v "$pictures" \
    -pix_fmt yuv420p -c:v mpeg1video -g 1 -bf 0 -threads 1 -q:v "$q" -f mpeg1video "$work/$name.raw.m1v"
  n=$(relayout "$work/$name.raw.m1v" "$work/$name.m1v")
  # Both must see every picture, or the figures compare different work.
  # "bench: 1 passes, P pictures (D decoded) in T s, J jobs"
  got=$("$cli" bench "$work/$name.m1v" --passes 1 | head -1 | tr -d '(' | awk '{print $6}')
  [[ $got == "$n" ]] || { echo "$name: droskal-cli bench decoded $got of $n pictures" >&2; exit 1; }
  peer=$(ffmpeg -v error -threads 1 -i "$work/$name.m1v" -f framemd5 - | grep -vc '^#')
  [[ $peer == "$n" ]] || { echo "$name: ffmpeg decoded $peer of $n pictures" >&2; exit 1; }
  # One round runs the four back to back; each ratio is taken within its round, so that the
  # host's speed, which drifts on a shared machine, is the same for both sides of it.
  rounds=()
  for _ in $(seq "$runs"); do
    read -r one _ < <(measure "$cli" bench "$work/$name.m1v" --passes 1 --jobs 1)
    read -r theirs _ < <(measure ffmpeg -v error -nostdin -threads 1 -i "$work/$name.m1v" -pix_fmt bgr24 -f null -)
    read -r _ many < <(measure "$cli" bench "$work/$name.m1v" --passes 1 --jobs "$jobs")
    copies=$(measure_copies "$jobs" "$cli" bench "$work/$name.m1v" --passes 1 --jobs 1)
    rounds+=("$one $theirs $many $copies")
  done
  kb=$(( $(stat -c %s "$work/$name.m1v") / n / 1024 ))
  lines+=("$(printf '%s\n' "${rounds[@]}" | median_rounds "$name" "$n" "$kb" "$jobs")")
  echo "${lines[-1]}"
done
printf '%s\n' "${lines[@]}" | sort -k6 -g | head -1 | awk '{ printf "lowest one-core ratio: %s (%s)\n", $6, $1 }'
