#!/usr/bin/env bash
# Regenerates the README's screenshots with the offscreen platform (no display needed).
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
cd "$top"
scripts/install-deps
TARGETS="droskal-screenshot demo_assets" scripts/build build/release -DCMAKE_BUILD_TYPE=Release >/dev/null
shot=build/release/app/droskal-screenshot
demo=build/release/app/demo.m1v
# The README opens with the window at work: the demo drive a minute in.
"$shot" docs/window.png "$demo" 600
"$shot" docs/demo-picture.png "$demo" 150
"$shot" docs/demo-map.png "$demo" 150 gps
