#!/usr/bin/env bash
# Regenerates the README's screenshots with the offscreen platform (no display needed).
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
cd "$top"
scripts/install-deps
scripts/build build/release -DCMAKE_BUILD_TYPE=Release >/dev/null
shot=build/release/app/droskal-screenshot
demo=build/release/app/demo.m1v
"$shot" docs/window.png
"$shot" docs/demo-picture.png "$demo" 150
"$shot" docs/demo-map.png "$demo" 150 gps
"$shot" docs/demo-timeline.png "$demo" 690 timeline
