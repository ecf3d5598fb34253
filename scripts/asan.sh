#!/usr/bin/env bash
# The shutdown and end-to-end tests once more, with the program and the tests
# built under AddressSanitizer and UndefinedBehaviorSanitizer (build-asan/), so
# a use of a released object on any way out of the program is a failure.
set -euo pipefail
cd "$(dirname "$0")/.."
out=build-asan
san="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
cmake -S . -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZA_BUILD_BENCH=OFF \
      -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
      -DCMAKE_CXX_FLAGS="-O1 $san" -DCMAKE_EXE_LINKER_FLAGS="$san" >/dev/null
cmake --build "$out" -j"$(nproc)" --target zentrellapp countersim app_test_mainform app_test_endtoend \
      app_test_endtoend_frames >/dev/null
# Qt keeps some memory until the process ends; leaks are not what this run is for.
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 QT_QPA_PLATFORM=offscreen
for t in app_test_mainform app_test_endtoend app_test_endtoend_frames; do
  "$out/tests/$t" --gtest_brief=1 2>&1 | tail -n 40 > "$out/$t.log" || { cat "$out/$t.log"; echo "$t: FAILED under the sanitizers" >&2; exit 1; }
  echo "$t (sanitizers): $(grep -o 'PASSED  \] [0-9]* tests\?' "$out/$t.log" | grep -o '[0-9]*' || echo 0) tests, no report"
done
