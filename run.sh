#!/usr/bin/env bash
# Installs what is missing, builds and opens the viewer.
#   ./run.sh FILE   opens FILE, a name relative to the folder you are in;
#   ./run.sh        opens the file the viewer remembers from last time, or the demo drive
#                   when no file is remembered or the remembered one no longer exists.
set -euo pipefail
top="$(cd "$(dirname "$0")" && pwd)"
(cd "$top" && scripts/install-deps &&
   TARGETS="Droskal demo_assets" scripts/build build/release -DCMAKE_BUILD_TYPE=Release)
app="$top/build/release/app/Droskal"
demo="$top/build/release/app/demo.m1v"
if [ $# -gt 0 ]; then
  exec "$app" "$@"  # this folder is kept: the viewer reads the name relative to it
fi

# The viewer's settings: Setup/MpegFile in ~/.config/Droskal/Droskal.ini (QSettings INI).
remembered_file() {
  local ini="${XDG_CONFIG_HOME:-$HOME/.config}/Droskal/Droskal.ini" section="" line value
  [ -f "$ini" ] || return 0
  while IFS= read -r line || [ -n "$line" ]; do
    case "$line" in
      \[*\]) section="$line" ;;
      MpegFile=*)
        [ "$section" = "[Setup]" ] || continue
        value="${line#MpegFile=}"
        if [ "${value:0:1}" = '"' ] && [ "${value: -1}" = '"' ] && [ ${#value} -ge 2 ]; then
          value="${value:1:${#value}-2}"
          value="${value//\\\"/\"}"
        fi
        value="${value//\\\\/$'\x01'}"
        # A name with other escapes is left to the viewer, which reads its own settings.
        case "$value" in *\\*) printf '%s' "?" ; return 0 ;; esac
        printf '%s' "${value//$'\x01'/\\}"
        return 0 ;;
    esac
  done < "$ini"
}

remembered="$(remembered_file)"
if [ "$remembered" = "?" ] || { [ -n "$remembered" ] && [ -f "$remembered" ]; }; then
  exec "$app"  # the viewer opens the remembered file itself
elif [ -f "$demo" ]; then
  exec "$app" "$demo"
else
  exec "$app"
fi
