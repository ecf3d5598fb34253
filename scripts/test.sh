#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"
# The frame fuzzer under AddressSanitizer and UndefinedBehaviorSanitizer, bounded in time.
bash scripts/fuzz.sh
cd build
ctest --output-on-failure -j2 --timeout 600
