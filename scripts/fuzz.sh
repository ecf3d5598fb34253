#!/usr/bin/env bash
# Builds the fuzz targets (tests/fuzz/fuzz_*.cpp) with clang in build-fuzz/ and
# runs each in turn for a bounded time, under AddressSanitizer and
# UndefinedBehaviorSanitizer. Prints one summary line per target and exits
# non-zero when any target finds a crash, a sanitizer report or a leak (the
# other targets still run).
#
#   ZA_FUZZ_SECONDS  time per target (default 30)
#   ZA_FUZZ_RUNS     inputs per target at most (default 5000000)
#   ZA_FUZZ_TARGETS  the targets to run, separated by blanks (default: all)
#
# A long run, e.g. the settings parser for four hours (its corpus in
# build-fuzz/corpus/fuzz_ini/ grows and is used again by later runs):
#   ZA_FUZZ_SECONDS=14400 ZA_FUZZ_RUNS=-1 ZA_FUZZ_TARGETS=fuzz_ini bash scripts/fuzz.sh
# or every target overnight, one after the other:
#   ZA_FUZZ_SECONDS=10800 ZA_FUZZ_RUNS=-1 bash scripts/fuzz.sh
# (ZA_FUZZ_RUNS=-1 lifts the bound on inputs, so only the time counts.)
set -euo pipefail
cd "$(dirname "$0")/.."
out=build-fuzz

if [[ -n "${ZA_FUZZ_TARGETS:-}" ]]; then
  read -r -a targets <<<"$ZA_FUZZ_TARGETS"
else
  targets=()
  for src in tests/fuzz/fuzz_*.cpp; do targets+=("$(basename "$src" .cpp)"); done
fi

cmake -S tests/fuzz -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$out" -j2 --target "${targets[@]}" >/dev/null

# Seeds per target: a few well-formed inputs as a start. A target without a
# seeds_<name> function starts from its corpus alone.
seeds_fuzz_frames() {
  # Ack, ClockRequest, FwInfo, SetupDataExt, a record, and two frames back to
  # back behind noise.
  printf '\x03\x01\x02\x05\x06\xf0\x03' >"$1/ack"
  printf '\x03\x05\x02\x05\x11\xe5\x03' >"$1/clockreq"
  printf '\x03\x20\x02\x15\x18\x31\x2e\x30\x35\x00\x32\x30\x31\x31\x2d\x30\x33\x2d\x33\x31\x00\x1b\x03' >"$1/fwinfo"
  printf '\x03\x08\x02\x0b\x25\x00\x03\x01\x03\x05\x0f\xb8\x03' >"$1/setupext"
  printf '\x03\x03\x02\x10\x10\x0e\x1f\x03\xdb\x07\x01\x00\x02\x00\x03\x00\xc3\x03' >"$1/record"
  printf '\x03\x40\x00\x11\x02\x05\x06\xf1\x03\x02\x05\x07\xef\x03' >"$1/badthengood"
}

seeds_fuzz_ini() {
  # Nine bytes of choices (flags, a number, a date), then the file.
  printf '\x07\x10\x00\x00\x00\x00\x9f\x00\x00[SETUP]\r\nCOMPORT=0x10\r\nHIDEONSTART=2\r\nNUMBER_OF_CHANNELS=abc\r\nCH1_NAME="Door 1"\r\nINACTIVE_START_TIME=22:00:00\r\n[TIME]\r\nHOUR=40633.5\r\nDAY=40633,25\r\n' >"$1/settings"
  printf '\x02\xff\xff\xff\xff\x01\x02\x03\x04\xef\xbb\xbf; comment\n[fuzz]\ntext = \x27quoted\x27 \n[FUZZ]\nNUMBER=$FFFFFFFF\n' >"$1/bom_lf_twice"
  printf '\x05\x00\x00\x00\x80\xff\xff\xff\x7f[Mail]\rSERVER=smtp\rBODY=\xe6\xf8\xe5\r\r[TMainForm]\rTOP=-2147483648\rLEFT=2147483648' >"$1/cr_latin1"
}

failed=0
for t in "${targets[@]}"; do
  seeds="$out/seeds/$t"
  corpus="$out/corpus/$t"
  mkdir -p "$seeds" "$corpus"
  if declare -F "seeds_$t" >/dev/null; then "seeds_$t" "$seeds"; fi
  # The fuzzer's progress goes to a log; only a finding is shown in full.
  log="$out/$t.log"
  if QT_QPA_PLATFORM=offscreen "$out/$t" \
      -max_total_time="${ZA_FUZZ_SECONDS:-30}" -runs="${ZA_FUZZ_RUNS:-5000000}" \
      -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$out/$t-" "$corpus" "$seeds" >"$log" 2>&1; then
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || true)
    echo "$t: ${runs:-?} inputs, no finding"
  else
    tail -n 80 "$log"
    echo "$t: FINDING (see $log and the artifact $out/$t-*)" >&2
    failed=1
  fi
done
exit "$failed"
