#!/usr/bin/env bash
# Builds everything with warnings as errors (into build-test/) and runs the
# whole test suite.
set -euo pipefail
cd "$(dirname "$0")"
tools/install-packages.sh cmake g++ make pkg-config libcli11-dev libgumbo-dev qt6-base-dev \
  libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev g++-mingw-w64-x86-64-posix \
  wine64 wine

jobs=$(nproc)

# The main build: everything, warnings as errors. Its scans run byte by
# byte (the fallback for machines without SSE2); the sanitizer, fuzz and
# Windows builds below test the SSE2 scans.
cmake -S . -B build-test -DCMAKE_BUILD_TYPE=Debug -DHTMLCOMPRESS_WERROR=ON \
  -DHTMLCOMPRESS_PORTABLE_SCAN=ON >/dev/null
cmake --build build-test -j "$jobs"

# The engine, the command and their tests again under AddressSanitizer and
# UndefinedBehaviorSanitizer: any read or write past the text fails a test.
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHTMLCOMPRESS_WERROR=ON \
  -DHTMLCOMPRESS_SANITIZE=ON -DHTMLCOMPRESS_BUILD_APP=OFF -DHTMLCOMPRESS_BUILD_BENCH=OFF >/dev/null
cmake --build build-asan -j "$jobs" --target engine_tests verify_tests cli_tests compress_fuzz \
  htmlcompress

(cd build-test && ctest --output-on-failure -j "$jobs")
echo "== under AddressSanitizer and UndefinedBehaviorSanitizer"
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --output-on-failure -j "$jobs")

# The fuzz targets under libFuzzer for a short, fixed number of runs from
# the seed corpus (docs/HACKING.md tells how to run them for longer).
echo "== libFuzzer, 20,000 runs per target"
CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHTMLCOMPRESS_LIBFUZZER=ON \
  -DHTMLCOMPRESS_BUILD_APP=OFF -DHTMLCOMPRESS_BUILD_BENCH=OFF >/dev/null
cmake --build build-fuzz -j "$jobs" --target compress_fuzz invariants_fuzz quotes_gumbo_fuzz
for target in compress_fuzz invariants_fuzz quotes_gumbo_fuzz; do
  corpus=$(mktemp -d)
  cp fuzz/corpus/* "$corpus"
  build-fuzz/fuzz/$target -runs=20000 -max_len=4096 -dict=fuzz/html.dict "$corpus" 2>&1 | tail -n 2
  rm -rf "$corpus"
done

# The Windows build of the engine, the command and the engine tests,
# cross-compiled with mingw-w64 and run under wine.
echo "== Windows build under wine"
cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=Release -DHTMLCOMPRESS_WERROR=ON -DHTMLCOMPRESS_BUILD_APP=OFF \
  -DHTMLCOMPRESS_BUILD_BENCH=OFF -DHTMLCOMPRESS_BUILD_VERIFY=OFF >/dev/null
cmake --build build-windows -j "$jobs" --target htmlcompress engine_tests
export WINEPREFIX="$PWD/build-windows/wineprefix" WINEDEBUG=-all
wine build-windows/tests/engine_tests.exe --gtest_brief=1
roundtrip=$(mktemp -d)
trap 'rm -rf "$roundtrip"' EXIT
cp examples/sample.html "$roundtrip/sample.html"
echo old > "$roundtrip/windows.min.html"
wine build-windows/cli/htmlcompress.exe "$roundtrip/sample.html" "$roundtrip/windows.min.html"
build-test/cli/htmlcompress "$roundtrip/sample.html" "$roundtrip/linux.min.html"
cmp "$roundtrip/windows.min.html" "$roundtrip/linux.min.html"
echo "Windows and Linux builds give the same bytes"
