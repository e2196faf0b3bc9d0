#!/usr/bin/env bash
# Builds everything with warnings as errors (into build-test/) and runs the
# whole test suite.
set -euo pipefail
cd "$(dirname "$0")"
tools/install-packages.sh cmake g++ make libcli11-dev qt6-base-dev libgtest-dev libgmock-dev \
  libbenchmark-dev clang libclang-rt-14-dev

jobs=$(nproc)

# The main build: everything, warnings as errors.
cmake -S . -B build-test -DCMAKE_BUILD_TYPE=Debug -DHTMLCOMPRESS_WERROR=ON >/dev/null
cmake --build build-test -j "$jobs"

# The engine, the command and their tests again under AddressSanitizer and
# UndefinedBehaviorSanitizer: any read or write past the text fails a test.
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHTMLCOMPRESS_WERROR=ON \
  -DHTMLCOMPRESS_SANITIZE=ON -DHTMLCOMPRESS_BUILD_APP=OFF -DHTMLCOMPRESS_BUILD_BENCH=OFF >/dev/null
cmake --build build-asan -j "$jobs" --target engine_tests cli_tests compress_fuzz htmlcompress

(cd build-test && ctest --output-on-failure -j "$jobs")
echo "== under AddressSanitizer and UndefinedBehaviorSanitizer"
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --output-on-failure -j "$jobs")

# Both fuzz targets under libFuzzer for a short, fixed number of runs from
# the seed corpus (docs/HACKING.md tells how to run them for longer).
echo "== libFuzzer, 20,000 runs per target"
CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHTMLCOMPRESS_LIBFUZZER=ON \
  -DHTMLCOMPRESS_BUILD_APP=OFF -DHTMLCOMPRESS_BUILD_BENCH=OFF >/dev/null
cmake --build build-fuzz -j "$jobs" --target compress_fuzz invariants_fuzz
for target in compress_fuzz invariants_fuzz; do
  corpus=$(mktemp -d)
  cp fuzz/corpus/* "$corpus"
  build-fuzz/fuzz/$target -runs=20000 -max_len=4096 -dict=fuzz/html.dict "$corpus" 2>&1 | tail -n 2
  rm -rf "$corpus"
done
