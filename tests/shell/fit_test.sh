#!/usr/bin/env bash
# Every panel fits small and scaled screens: its window within the screen, title bar and all, and
# its whole content within reach (scrolled where the screen is smaller than the panel). rq55-shots
# opens each panel as the operator does and checks it: offscreen, and on an X server under a real
# window manager (openbox), whose frame it counts. Usage: fit_test.sh RQ55-SHOTS
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
  echo "${width}x${height} at scale $scale under openbox"
  exec {displayfd}<> <(:)
  Xvfb -displayfd "$displayfd" -screen 0 "${width}x${height}x24" -nolisten tcp -noreset > "$work/x.log" 2>&1 &
  xvfb=$!
  read -r -t 60 display <&"$displayfd" || { echo "FAIL: the X server did not start: $(cat "$work/x.log")"; exit 1; }
  DISPLAY=":$display" openbox > "$work/openbox.log" 2>&1 &
  wm=$!
  DISPLAY=":$display" RQ55_SHOTS_TREND_MINUTES=0.05 QT_SCALE_FACTOR=$scale QT_QPA_PLATFORM=xcb \
    "$shots" "$work/shots-wm" > /dev/null || status=1
  kill $wm $xvfb 2>/dev/null || true
  wait $wm $xvfb 2>/dev/null || true
done
exit $status
