#!/usr/bin/env bash
# Builds the frame fuzzer with clang in build-fuzz/ and runs it for a bounded
# time. Exits non-zero when it finds a crash, a sanitizer report or a leak.
# ZA_FUZZ_SECONDS (default 60) and ZA_FUZZ_RUNS (default 5000000) bound the run.
set -euo pipefail
cd "$(dirname "$0")/.."
out=build-fuzz
cmake -S tests/fuzz -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$out" -j2 >/dev/null

# A few well-formed frames as a start: Ack, ClockRequest, FwInfo, SetupDataExt,
# a record, and two frames back to back behind noise.
seeds="$out/seeds"
mkdir -p "$seeds" "$out/corpus"
printf '\x03\x01\x02\x05\x06\xf0\x03' >"$seeds/ack"
printf '\x03\x05\x02\x05\x11\xe5\x03' >"$seeds/clockreq"
printf '\x03\x20\x02\x15\x18\x31\x2e\x30\x35\x00\x32\x30\x31\x31\x2d\x30\x33\x2d\x33\x31\x00\x1b\x03' >"$seeds/fwinfo"
printf '\x03\x08\x02\x0b\x25\x00\x03\x01\x03\x05\x0f\xb8\x03' >"$seeds/setupext"
printf '\x03\x03\x02\x10\x10\x0e\x1f\x03\xdb\x07\x01\x00\x02\x00\x03\x00\xc3\x03' >"$seeds/record"
printf '\x03\x40\x00\x11\x02\x05\x06\xf1\x03\x02\x05\x07\xef\x03' >"$seeds/badthengood"

# The fuzzer's progress goes to a log; only a finding is shown in full.
log="$out/fuzz.log"
if QT_QPA_PLATFORM=offscreen "$out/fuzz_frames" \
    -max_total_time="${ZA_FUZZ_SECONDS:-60}" -runs="${ZA_FUZZ_RUNS:-5000000}" \
    -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$out/" "$out/corpus" "$seeds" >"$log" 2>&1; then
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || true)
  echo "fuzz_frames: ${runs:-?} inputs, no finding"
else
  tail -n 80 "$log"
  echo "fuzz_frames: FINDING (see $log and the artifact in $out/)" >&2
  exit 1
fi
