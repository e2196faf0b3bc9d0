#!/usr/bin/env bash
# Builds htmlcompress (Release, into build/) and compresses SOURCE into TARGET;
# with no arguments, compresses the example page into build/sample.min.html.
#
#   ./run.sh [SOURCE TARGET]
set -euo pipefail
cd "$(dirname "$0")"
tools/install-packages.sh cmake g++ make libcli11-dev

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DHTMLCOMPRESS_BUILD_TESTS=OFF \
  -DHTMLCOMPRESS_BUILD_BENCH=OFF >/dev/null
cmake --build build -j "$(nproc)" >/dev/null

if [ $# -eq 0 ]; then
  set -- examples/sample.html build/sample.min.html
fi
if [ $# -ne 2 ]; then
  echo "usage: ./run.sh [SOURCE TARGET]" >&2
  exit 2
fi
exec build/cli/htmlcompress --stats "$1" "$2"
