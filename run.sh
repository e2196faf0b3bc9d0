#!/usr/bin/env bash
# Builds the window and htmlcompress (Release, into build/).
#
#   ./run.sh                  opens the window (with no display: compresses the
#                             example page into build/sample.min.html instead)
#   ./run.sh SOURCE TARGET    compresses SOURCE into TARGET with htmlcompress
set -euo pipefail
cd "$(dirname "$0")"
tools/install-packages.sh cmake g++ make pkg-config libcli11-dev libgumbo-dev qt6-base-dev

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DHTMLCOMPRESS_BUILD_TESTS=OFF \
  -DHTMLCOMPRESS_BUILD_BENCH=OFF >/dev/null
cmake --build build -j "$(nproc)" >/dev/null

if [ $# -eq 0 ]; then
  if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    exec build/app/velmar-html-compressor
  fi
  echo "No display: the window needs one (DISPLAY or WAYLAND_DISPLAY). Compressing the example page instead."
  set -- examples/sample.html build/sample.min.html
fi
if [ $# -ne 2 ]; then
  echo "usage: ./run.sh [SOURCE TARGET]" >&2
  exit 2
fi
exec build/cli/htmlcompress --stats "$1" "$2"
