#!/usr/bin/env bash
# Takes docs/window.png: starts the window under Xvfb, types a source and a
# target, presses Alt+P and photographs the window after the run.
#
#   tools/screenshot.sh [BUILD_DIR]      (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
tools/install-packages.sh xvfb xdotool imagemagick
app="$build/app/velmar-html-compressor"
[ -x "$app" ] || { echo "build the window first (./run.sh)" >&2; exit 1; }

display=:57
Xvfb "$display" -screen 0 640x400x24 >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true' EXIT
export DISPLAY=$display
sleep 1

work=/tmp/site  # the path the picture shows: short and plain
[ -e "$work" ] && { echo "$work is in use; move it away first" >&2; exit 1; }
mkdir -p "$work"
cp examples/sample.html "$work/sample.html"
QT_QPA_PLATFORM=xcb "$app" &
app_pid=$!
trap 'kill $app_pid $xvfb 2>/dev/null || true; rm -rf "$work"' EXIT
window=""
for _ in $(seq 50); do
  window=$(xdotool search --name "Velmar HTML Compressor" 2>/dev/null | head -n 1) && [ -n "$window" ] && break
  sleep 0.2
done
[ -n "$window" ] || { echo "the window did not appear" >&2; exit 1; }
xdotool windowfocus --sync "$window"
xdotool type --delay 5 "$work/sample.html"
xdotool key Tab
xdotool type --delay 5 "$work/sample.min.html"
xdotool key alt+p
sleep 1
[ -s "$work/sample.min.html" ] || { echo "no target was written" >&2; exit 1; }
mkdir -p docs
import -window "$window" docs/window.png
echo "wrote docs/window.png"
