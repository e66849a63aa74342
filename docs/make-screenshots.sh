#!/usr/bin/env bash
# Regenerates the README's screenshots with the offscreen platform (no display needed).
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
cd "$top"
scripts/install-deps
if [ -z "${SCREENSHOT_BUILD:-}" ]; then
  TARGETS="droskal-screenshot droskal-cli demo_assets" scripts/build build/release -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
build=${SCREENSHOT_BUILD:-build/release}
shot=$build/app/droskal-screenshot
# The caption shows the file's full name: a short, fixed one rather than this checkout's.
mkdir -p /tmp/droskal-demo
cp "$build/app/demo.m1v" /tmp/droskal-demo/demo.m1v
demo=/tmp/droskal-demo/demo.m1v
# The README opens with the window at work: the demo drive a minute in.
"$shot" docs/window.png "$demo" 600
"$shot" docs/demo-picture.png "$demo" 150
"$shot" docs/demo-map.png "$demo" 150 gps
"$build"/cli/droskal-cli map "$demo" -o docs/demo-route.png --source "$build"/app/map.gif \
  --size 640x400 --zoom 1 --at 300
rm -f docs/demo-route.pgw
"$shot" docs/demo-timeline.png "$demo" 690 timeline
