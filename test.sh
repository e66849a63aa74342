#!/usr/bin/env bash
# Installs what is missing, builds with warnings as errors and runs every test.
#   ./test.sh             the normal build
#   ./test.sh --sanitize  the same suite under AddressSanitizer and UndefinedBehaviorSanitizer
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps

dir=build/test
flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DDROSKAL_WERROR=ON -DDROSKAL_SANITIZE=OFF)
if [ "${1:-}" = "--sanitize" ]; then
  dir=build/sanitize
  flags=(-DCMAKE_BUILD_TYPE=Debug -DDROSKAL_WERROR=ON -DDROSKAL_SANITIZE=ON -DDROSKAL_BENCH=OFF)
fi
scripts/build "$dir" "${flags[@]}"

export QT_QPA_PLATFORM=offscreen
cd "$dir"
ctest --output-on-failure -j "$(nproc)"
