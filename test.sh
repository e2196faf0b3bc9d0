#!/usr/bin/env bash
# Builds everything with warnings as errors (into build-test/) and runs the
# whole test suite.
set -euo pipefail
cd "$(dirname "$0")"
tools/install-packages.sh cmake g++ make libcli11-dev qt6-base-dev libgtest-dev libgmock-dev \
  libbenchmark-dev

cmake -S . -B build-test -DCMAKE_BUILD_TYPE=Debug -DHTMLCOMPRESS_WERROR=ON >/dev/null
cmake --build build-test -j "$(nproc)"
cd build-test
ctest --output-on-failure -j "$(nproc)"
