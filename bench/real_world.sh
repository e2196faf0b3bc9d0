#!/usr/bin/env bash
# htmlcompress beside Debian's minify on real pages, in one run.
#
# The pages are the HTML files of four Debian documentation packages
# (python3.11-doc, apache2-doc, sqlite3-doc, libboost1.74-doc): about 5,900
# pages, 154 MB. From them the script builds
#   - pages of 1 MiB, 16 MiB, 128 MiB and 1 GiB, each the pages one after
#     the other (repeated as needed) cut at that size, and
#   - a site: the pages in their folders.
# and prints, for each tool, the whole process on each page (read, compress,
# write; htmlcompress also flushes to disk) and on the site (htmlcompress
# --recursive, minify -r), as MB/s (10^6 bytes) and as the ratio of the two,
# output/input and peak memory, best of three runs; then Compress alone in
# memory on each page (bench/CompressBench.cpp --page).
#
#   bench/real_world.sh [BUILD_DIR]    a Release build; default build-rel,
#                                      configured and built if missing
#   TIERS="1 16 128" bench/real_world.sh       other page sizes (MiB)
#   BENCH_DIR=/some/disk bench/real_world.sh   where to work (default: a new
#                                      folder in /var/tmp); needs ~4x the
#                                      largest page free
#
# As root it installs the packages it needs; otherwise it names them.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-rel}
tiers=${TIERS:-1 16 128 1024}
doc_packages=(python3.11-doc apache2-doc sqlite3-doc libboost1.74-doc)
tools/install-packages.sh "${doc_packages[@]}" minify time cmake g++ make pkg-config \
  libcli11-dev libgumbo-dev libbenchmark-dev

if [ ! -x "$build/cli/htmlcompress" ] || [ ! -x "$build/bench/compress_bench" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DHTMLCOMPRESS_BUILD_TESTS=OFF \
    -DHTMLCOMPRESS_BUILD_APP=OFF >/dev/null
  cmake --build "$build" -j "$(nproc)" --target htmlcompress compress_bench >/dev/null
fi
htmlcompress=$(realpath "$build/cli/htmlcompress")
compress_bench=$(realpath "$build/bench/compress_bench")

work=${BENCH_DIR:-$(mktemp -d /var/tmp/htmlcompress-bench.XXXXXX)}
mkdir -p "$work"
[ -n "${BENCH_DIR:-}" ] || trap 'rm -rf "$work"' EXIT

# The site: every regular *.html and *.htm file of the packages.
rm -rf "$work/site"
mkdir -p "$work/site"
for package in "${doc_packages[@]}"; do
  dpkg -L "$package" | grep -E '\.html?$' | while read -r file; do
    if [ -f "$file" ] && [ ! -L "$file" ]; then echo "$file"; fi
  done
done | LC_ALL=C sort -u >"$work/pages.txt"
tr '\n' '\0' <"$work/pages.txt" | xargs -0 cp --parents -t "$work/site"
bytes_under() { find "$1" -type f -printf '%s\n' | awk '{ s += $1 } END { print s + 0 }'; }
site_bytes=$(bytes_under "$work/site")
page_count=$(wc -l <"$work/pages.txt")

# The pages: all of them one after the other, repeated up to each size.
tr '\n' '\0' <"$work/pages.txt" | xargs -0 cat >"$work/all.html"
for mib in $tiers; do
  bytes=$((mib << 20))
  : >"$work/page-$mib.html"
  while [ "$(stat -c %s "$work/page-$mib.html")" -lt "$bytes" ]; do
    cat "$work/all.html" >>"$work/page-$mib.html"
  done
  truncate -s "$bytes" "$work/page-$mib.html"
done
rm -f "$work/all.html"

# Runs "$@" three times, each after the command `before`, untimed; prints
# the best wall time (s) and the peak memory (KB) of that run.
before() { :; }
best_of_three() {
  local best="" memory="" t m
  for _ in 1 2 3; do
    before
    /usr/bin/time -f "%e %M" -o "$work/time.txt" "$@" >/dev/null 2>&1
    read -r t m <"$work/time.txt"
    if [ -z "$best" ] || awk -v t="$t" -v b="$best" 'BEGIN { exit !(t < b) }'; then
      best=$t
      memory=$m
    fi
  done
  echo "$best $memory"
}

# One line: what, input bytes, and for each tool time, memory, output bytes.
row() {
  local what=$1 in=$2 ht=$3 hm=$4 ho=$5 mt=$6 mm=$7 mo=$8
  awk -v w="$what" -v n="$in" -v ht="$ht" -v hm="$hm" -v ho="$ho" -v mt="$mt" -v mm="$mm" \
    -v mo="$mo" 'BEGIN {
      hr = n / 1e6 / (ht > 0 ? ht : 0.01); mr = n / 1e6 / (mt > 0 ? mt : 0.01)
      printf "%-14s %6.0f MB/s %6.1f%% %6.0f MB | %6.0f MB/s %6.1f%% %6.0f MB | %5.2fx\n",
        w, hr, 100 * ho / n, hm / 1024, mr, 100 * mo / n, mm / 1024, hr / mr }'
}

echo "Machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//')," \
  "$(awk '/MemTotal/ { printf "%.0f GiB", $2 / 1048576 }' /proc/meminfo);" \
  "work folder on $(df --output=fstype "$work" | tail -1)"
echo "Pages: $page_count files of ${doc_packages[*]}, $((site_bytes / 1000000)) MB"
echo
echo "Whole process, all options: htmlcompress                | minify                      | speed"
echo "                           speed  output  memory |      speed  output  memory | ratio"
for mib in $tiers; do
  page="$work/page-$mib.html"
  in=$(stat -c %s "$page")
  before() { rm -f "$work/out.html"; }
  read -r ht hm < <(best_of_three "$htmlcompress" -q "$page" -o "$work/out.html")
  ho=$(stat -c %s "$work/out.html")
  read -r mt mm < <(best_of_three minify --type html -o "$work/out.html" "$page")
  mo=$(stat -c %s "$work/out.html")
  row "page $mib MiB" "$in" "$ht" "$hm" "$ho" "$mt" "$mm" "$mo"
done
rm -f "$work/out.html"

# The site, written to a fresh folder each run, everything flushed before.
before() {
  rm -rf "$work/dist"
  sync
}
read -r ht hm < <(best_of_three "$htmlcompress" -q -r "$work/site" "$work/dist")
ho=$(bytes_under "$work/dist")
read -r mt mm < <(best_of_three minify -r -o "$work/dist/" "$work/site/")
mo=$(bytes_under "$work/dist")
row "site" "$site_bytes" "$ht" "$hm" "$ho" "$mt" "$mm" "$mo"
echo "(site: htmlcompress --recursive with its default -j $(nproc), flushing every file to disk" \
  "before it counts as written; minify -r leaves that to the system)"
rm -rf "$work/dist"

echo
echo "Compress alone, in memory:"
pages=()
for mib in $tiers; do pages+=("--page=$work/page-$mib.html"); done
"$compress_bench" "${pages[@]}" --benchmark_filter=BM_CompressPage 2>/dev/null |
  awk -v dir="$work/" '/^BM_CompressPage/ {
      name = $1; sub("BM_CompressPage/" dir, "", name)
      mib = name; gsub(/[^0-9]/, "", mib)
      ms = $2 * ($3 == "s" ? 1000 : $3 == "us" ? 0.001 : 1)
      printf "  %-16s %7.1f ms  %6.0f MB/s\n", name, ms, mib * 1048576 / 1e6 / (ms / 1e3) }'
