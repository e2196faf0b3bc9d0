#!/usr/bin/env bash
# Compresses a 2.5 GiB page with htmlcompress and checks the result's size
# and checksum against a streamed prediction. Opt-in: set
# HTMLCOMPRESS_BIG_TESTS=1 (it needs about 5 GiB of disk and 3 GiB of memory).
#
#   tests/BigFileTest.sh HTMLCOMPRESS_BINARY
set -euo pipefail
if [ "${HTMLCOMPRESS_BIG_TESTS:-0}" != 1 ]; then
  echo "skipped: set HTMLCOMPRESS_BIG_TESTS=1 to run"
  exit 77
fi
binary=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# One block of 80,660 lines "<p>a  b</p>" CR LF (1,048,580 bytes); with every
# option on, each line becomes "<p>a b</p>": the doubled blank collapses and
# every CR LF touches a tag.
lines=80660
blocks=2560
line=$'<p>a  b</p>\r\n'
printf -v block '%s' "$(for _ in $(seq $lines); do printf '%s' "$line"; done)"
printf '%s' "$block" > "$work/block.html"
printf '%s' "${block//$'  '/ }" | tr -d '\r\n' > "$work/block.min"
for _ in $(seq $blocks); do cat "$work/block.html"; done > "$work/big.html"

size=$(stat -c %s "$work/big.html")
echo "source: $size bytes"
[ "$size" -gt $((2 * 1024 * 1024 * 1024)) ]

timer=()
[ -x /usr/bin/time ] && timer=(/usr/bin/time -f "htmlcompress: %e s, peak memory %M KiB")
"${timer[@]}" "$binary" "$work/big.html" "$work/big.min.html"

expected_size=$((blocks * $(stat -c %s "$work/block.min")))
actual_size=$(stat -c %s "$work/big.min.html")
echo "target: $actual_size bytes, expected $expected_size"
[ "$actual_size" -eq "$expected_size" ]
expected_sum=$(for _ in $(seq $blocks); do cat "$work/block.min"; done | sha256sum | cut -d' ' -f1)
actual_sum=$(sha256sum < "$work/big.min.html" | cut -d' ' -f1)
[ "$actual_sum" = "$expected_sum" ] || { echo "checksum differs" >&2; exit 1; }
echo "checksum matches: $actual_sum"
