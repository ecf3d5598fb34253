#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"
# The fuzz targets under AddressSanitizer and UndefinedBehaviorSanitizer, bounded in time.
bash scripts/fuzz.sh
# The shutdown and end-to-end tests with the program built under the same sanitizers.
bash scripts/asan.sh
cd build
ctest --output-on-failure -j2 --timeout 600
