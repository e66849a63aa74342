#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer + UndefinedBehaviorSanitizer) into
# build/fuzz and runs each one for the given number of seconds, one after another.
#   scripts/fuzz.sh SECONDS [TARGET...]
# Each target starts from its committed seeds (fuzz/corpus/<target>) and grows a working corpus
# in build/fuzz/corpus/<target>; a finding leaves its input in build/fuzz/findings and fails.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
cd "$top"
seconds="${1:?usage: scripts/fuzz.sh SECONDS [TARGET...]}"; shift
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(fuzz_stream_walk fuzz_frame_decode fuzz_nmea fuzz_ini)

scripts/install-deps clang libclang-rt-14-dev

dir=build/fuzz
gen=()
command -v ninja >/dev/null 2>&1 && gen=(-G Ninja)
if [ ! -f "$dir/CMakeCache.txt" ]; then
  CXX=clang++ cmake -S "$top" -B "$dir" "${gen[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++ -DDROSKAL_FUZZ=ON >/dev/null
fi
cmake --build "$dir" -j "$(nproc)" --target "${targets[@]}"

# Recording inputs must hold whole pictures; the text targets stay short.
max_len() {
  case "$1" in
    fuzz_stream_walk) echo 65536 ;;
    fuzz_frame_decode) echo 32768 ;;
    *) echo 4096 ;;
  esac
}

mkdir -p "$dir/findings"
status=0
for t in "${targets[@]}"; do
  work="$dir/corpus/$t"
  mkdir -p "$work"
  echo "== $t for ${seconds}s"
  if ! "$dir/fuzz/$t" "$work" "fuzz/corpus/$t" -max_total_time="$seconds" -max_len="$(max_len "$t")" \
      -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$dir/findings/$t-" \
      >"$dir/$t.log" 2>&1; then
    echo "!! $t found a problem; see $dir/$t.log and $dir/findings/" >&2
    tail -n 40 "$dir/$t.log" >&2
    status=1
  fi
  grep -E '^stat::(number_of_executed_units|peak_rss_mb)|^Done ' "$dir/$t.log" || true
done
exit $status
