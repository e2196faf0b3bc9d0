#!/usr/bin/env bash
# Builds everything with warnings as errors (into build-test/) and runs the
# whole test suite.
set -euo pipefail
cd "$(dirname "$0")"
tools/install-packages.sh cmake g++ make libcli11-dev qt6-base-dev libgtest-dev libgmock-dev \
  libbenchmark-dev

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
