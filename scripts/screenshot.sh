#!/usr/bin/env bash
# Development aid: starts the viewer in a real window on a virtual X screen,
# optionally sends it keys/clicks with xdotool, and saves a screenshot.
#   scripts/screenshot.sh OUT.png [xdotool command...]
# Example: scripts/screenshot.sh /tmp/main.png key --delay 200 Tab
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-/tmp/murkglass.png}
shift || true
display=:${MURKGLASS_DISPLAY:-77}
Xvfb "$display" -screen 0 1280x900x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $app $xvfb 2>/dev/null || true' EXIT
sleep 1
DISPLAY=$display ./build/viewer/murkglass &
app=$!
sleep "${MURKGLASS_WAIT:-2}"
if (($#)); then DISPLAY=$display xdotool "$@"; sleep 1; fi
DISPLAY=$display /usr/bin/import -window root "$out"
echo "saved $out"
