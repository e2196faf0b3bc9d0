#!/usr/bin/env bash
# htmlcompress --recursive on a generated site of 20,000 pages (1-50 KB),
# at -j 1 and -j 2: pages per second and the speed-up.
#
#   bench/site_bench.sh [BUILD_DIR]     (a Release build; default build-rel)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-rel}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
pages=20000
"$build/bench/make_site" "$work/site" "$pages"
echo "site: $pages pages, $(du -sm "$work/site" | cut -f1) MB"
for jobs in 1 2; do
  best=""
  for _ in 1 2; do
    rm -rf "$work/dist"
    sync
    start=$(date +%s.%N)
    "$build/cli/htmlcompress" -q -j "$jobs" --recursive "$work/site" "$work/dist"
    end=$(date +%s.%N)
    t=$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }')
    if [ -z "$best" ] || awk -v t="$t" -v b="$best" 'BEGIN { exit !(t < b) }'; then best=$t; fi
  done
  awk -v j="$jobs" -v t="$best" -v n="$pages" 'BEGIN { printf "-j %d: %.2f s, %.0f pages/s\n", j, t, n / t }'
done
