#!/usr/bin/env bash
# Peer-encoded test pictures for the decoder's fidelity tests, made with ffmpeg from Debian.
# Each NAME.m1v is an intra-only MPEG-1 elementary stream with one slice per picture
# (-threads 1); NAME.yuv is ffmpeg's own decode of it as raw yuv420p, the reference.
# Re-running overwrites the fixtures; commit both files of each pair.
set -euo pipefail
cd "$(dirname "$0")/fixtures"

# A non-default intra matrix (natural order, not symmetric) to exercise a loaded matrix.
matrix="8,12,14,16,20,22,26,30,13,14,16,20,22,26,30,34,15,17,20,22,26,30,34,38,17,19,22,26,30,34,38,44,20,22,26,30,34,38,44,50,22,26,30,34,38,44,50,58,26,30,34,38,44,50,58,66,30,34,38,44,50,58,66,74"

# name  source  size  frames  scale  [extra encoder options]
make() {
  local name=$1 src=$2 size=$3 frames=$4 q=$5
  shift 5
  ffmpeg -v error -y -f lavfi -i "${src}=size=${size}:rate=25" -frames:v "$frames" \
    -pix_fmt yuv420p -c:v mpeg1video -g 1 -bf 0 -threads 1 -q:v "$q" "$@" \
    -f mpeg1video "$name.m1v"
  ffmpeg -v error -y -i "$name.m1v" -fps_mode passthrough -f rawvideo -pix_fmt yuv420p "$name.yuv"
}

make vga_testsrc2_q2     testsrc2    640x480 1 2
make vga_mandelbrot_q8   mandelbrot  640x480 1 8
make cif_testsrc2_q4     testsrc2    320x240 2 4
make cif_smptehdbars_q16 smptehdbars 320x240 1 16
make cif_mandelbrot_q31  mandelbrot  320x240 1 31
make cif_matrix_q4       testsrc2    320x240 1 4 -intra_matrix "$matrix"
