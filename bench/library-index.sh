#!/usr/bin/env bash
# Index rate of droskal-cli index over a generated folder of at least 1 GB.
#
# Writes the demo drive (droskal-make-demo) into /tmp as many times as it takes to pass the
# size asked, spread over day folders, then times:
#   cold, --jobs 1 and --jobs 2: a new index, each file's pages dropped from the cache first
#                                (posix_fadvise through dd iflag=nocache, this folder only)
#   warm, --jobs 1 and --jobs 2: a new index, the files in the page cache
#   incremental:                 the same index again, nothing changed
# and prints MB/s of each. The folder is removed at the end unless KEEP=1.
#
#   bench/library-index.sh [BUILD_DIR] [MEGABYTES]
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/.." && pwd)
build=${1:-$top/build/release}
megabytes=${2:-1024}
cli=$build/cli/droskal-cli
folder=${BENCH_FOLDER:-/tmp/droskal-library-bench}
[ -x "$cli" ] || { echo "build droskal-cli first: $cli" >&2; exit 2; }

rm -rf "$folder"
mkdir -p "$folder"
"$build/tools/droskal-make-demo" "$folder/demo.m1v"
one=$(stat -c %s "$folder/demo.m1v")
copies=$(( (megabytes * 1000000 + one - 1) / one ))
for i in $(seq 1 "$copies"); do
  day=$folder/day$(( i % 6 ))
  mkdir -p "$day"
  cp "$folder/demo.m1v" "$day/$(printf 'rec%04d.m1v' "$i")"
done
rm "$folder/demo.m1v"
total=$(du -sb "$folder" | cut -f1)
echo "folder: $copies recordings, $(( total / 1000000 )) MB"

drop() { find "$folder" -name '*.m1v' -exec dd if={} iflag=nocache count=0 status=none \; ; }
run() {  # label, db, drop?, jobs
  [ "$3" = yes ] && drop
  local start end
  start=$(date +%s.%N)
  "$cli" index "$folder" --db "$2" --jobs "$4" --format csv >/dev/null
  end=$(date +%s.%N)
  awk -v l="$1" -v s="$start" -v e="$end" -v b="$total" \
    'BEGIN { t = e - s; printf "%-26s %7.2f s  %8.1f MB/s\n", l, t, b / 1e6 / t }'
}
db=$(mktemp -d)
run "cold, --jobs 1" "$db/a" yes 1
run "cold, --jobs 2" "$db/b" yes 2
run "warm, --jobs 1" "$db/c" no 1
run "warm, --jobs 2" "$db/d" no 2
run "incremental, --jobs 2" "$db/d" no 2
echo "index size: $(( $(du -sb "$db/d"* | awk '{s += $1} END {print s}') / 1000 )) kB for $copies recordings"
rm -rf "$db"
[ "${KEEP:-0}" = 1 ] || rm -rf "$folder"
