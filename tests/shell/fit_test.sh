#!/usr/bin/env bash
# Every panel fits small and scaled screens: its window within the screen, title bar and all, and
# its whole content within reach (scrolled where the screen is smaller than the panel). rq55-shots
# opens each panel as the operator does and checks it. Usage: fit_test.sh RQ55-SHOTS
set -euo pipefail
shots=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
for screen in "1920 1080 2" "1366 768 1.5"; do
  read -r width height scale <<< "$screen"
  echo "{\"screens\": [{\"name\": \"s\", \"x\": 0, \"y\": 0, \"width\": $width, \"height\": $height}]," \
       "\"windowFrameMargins\": true}" > "$work/screen.json"
  echo "${width}x${height} at scale $scale"
  RQ55_SHOTS_TREND_MINUTES=0.05 QT_SCALE_FACTOR=$scale QT_QPA_PLATFORM="offscreen:configfile=$work/screen.json" \
    "$shots" "$work/shots" > /dev/null || status=1
done
exit $status
