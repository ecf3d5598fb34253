#!/usr/bin/env bash
# Takes screenshots of the main window's chart under Xvfb: a year per week, a
# month per day and a day per hour, from a year of generated hourly records.
# Writes docs/screenshot-*.png; docs/screenshot.png is the year per week.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
app="$root/build/app/zentrellapp"
[ -x "$app" ] || { echo "build first: bash scripts/test.sh" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Hourly lines from the first to the last day given, busier in the afternoon
# and on Saturdays.
make_log() {   # first last (YYYY-MM-DD)
/usr/bin/python3 - "$work/LOG2011.LOG" "$1" "$2" <<'PY'
import sys, datetime, random
random.seed(7)
d = datetime.datetime.fromisoformat(sys.argv[2])
last = datetime.datetime.fromisoformat(sys.argv[3]) + datetime.timedelta(days=1)
with open(sys.argv[1], "w", newline="") as f:
    while d < last:
        h = d.hour
        base = 0 if h < 9 or h > 20 else (20 + 25 * (1 - abs(h - 15) / 6))
        if d.weekday() == 5: base *= 1.6
        if d.weekday() == 6: base *= 0.3
        c = [max(0, int(random.gauss(base * k, 3))) if base else 0 for k in (1.0, 0.6, 0.35)]
        f.write("%02d,%02d,%02d,%4d,%5d,%5d,%5d\r\n" % (h, d.day, d.month, d.year, *c))
        d += datetime.timedelta(hours=1)
PY
}

shot() {   # name showper first-day last-day: the log file holds just that range ("All")
    local name=$1 per=$2
    make_log "$3" "$4"
    cat > "$work/zentrellapp.ini" <<INI
[SETUP]
COMPORT_DEVICE=$work/none
LOGFILEPATH=$work
LOGFILEPREFIX=LOG
LOGFILECODE=YYYY
LOGFILEEXT=.LOG
CH1_NAME=Entrance
CH2_NAME=Side door
CH3_NAME=Garden
[GRAPH]
DATATOSHOW=0
SHOWPER=$per
SHOWCOUNTER=15
SELSUMENABLE1=0
SELSUMENABLE2=0
INI
    Xvfb :97 -screen 0 1280x800x24 >/dev/null 2>&1 &
    local xvfb=$!
    sleep 1
    DISPLAY=:97 ZENTRELLAPP_DIR="$work" ZENTRELLAPP_BOXES=stderr ZENTRELLAPP_CLOCK_START=2011-12-31T12:00:00 \
        "$app" >/dev/null 2>&1 &
    local pid=$!
    sleep 4
    local win
    win=$(DISPLAY=:97 xdotool search --onlyvisible --name "Zentrell App" | head -1)
    DISPLAY=:97 xdotool windowmove "$win" 0 0 windowsize "$win" 1280 800
    sleep 1
    # Click the "View as Graph" tab, then "&Update graph" (Alt+U).
    DISPLAY=:97 xdotool mousemove 157 56 click 1
    sleep 1
    DISPLAY=:97 xdotool key alt+u
    sleep 2
    DISPLAY=:97 import -window root "$root/docs/screenshot-$name.png"
    kill "$pid"; wait "$pid" 2>/dev/null || true
    kill "$xvfb"; wait "$xvfb" 2>/dev/null || true
}

mkdir -p docs
shot year-per-week 0 2011-01-01 2011-12-31
shot month-per-day 1 2011-06-01 2011-06-30
shot day-per-hour 2 2011-07-09 2011-07-09   # a Saturday
cp docs/screenshot-year-per-week.png docs/screenshot.png
echo "screenshots in docs/"
