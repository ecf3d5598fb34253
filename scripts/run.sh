#!/usr/bin/env bash
# Installs what is missing, builds, and starts ZentrellApp in a scratch folder
# (run/) talking to the bundled counter simulator on a pseudo-terminal.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target zentrellapp countersim

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "ZentrellApp needs a display: no DISPLAY is set (start it from a desktop session, or under xvfb-run)." >&2
  exit 1
fi

run="$root/run"
mkdir -p "$run/logs"
if [ ! -f "$run/zentrellapp.ini" ]; then
  cat > "$run/zentrellapp.ini" <<INI
[SETUP]
COMPORT=1
COMPORT_DEVICE=$run/counter.tty
LOGFILEPATH=$run/logs
LOGFILEPREFIX=LOG
LOGFILECODE=YYYY-MM
LOGFILEEXT=.LOG
LOG_LINE_FORMAT=1
[GRAPH]
DATATOSHOW=0
SHOWPER=2
SHOWCOUNTER=15
INI
fi

# The simulator sends a record every 5 seconds, stamped one interval after the other.
# It ends when its input closes, so it gets an input that stays open.
tail -f /dev/null | "$root/build/tools/countersim" --link "$run/counter.tty" --every-ms 5000 \
    --interval 15 --log "$run/countersim.log" > "$run/countersim.out" 2>&1 &
sim=$!
trap 'kill $sim 2>/dev/null || true' EXIT
for _ in $(seq 50); do [ -e "$run/counter.tty" ] && break; sleep 0.1; done

cd "$run"
ZENTRELLAPP_DIR="$run" "$root/build/app/zentrellapp"
