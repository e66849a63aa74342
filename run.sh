#!/usr/bin/env bash
# Installs what is missing, builds and opens the viewer (on the demo recording, or on the file given).
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps
TARGETS="Droskal demo_assets" scripts/build build/release -DCMAKE_BUILD_TYPE=Release
app=build/release/app/Droskal
if [ $# -gt 0 ]; then
  exec "$app" "$@"
elif [ -f build/release/app/demo.m1v ]; then
  exec "$app" "$PWD/build/release/app/demo.m1v"
else
  exec "$app"
fi
