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

# One year of hourly lines, busier in the afternoon and on Saturdays.
/usr/bin/python3 - "$work/LOG2011.LOG" <<'PY'
import sys, datetime, random
random.seed(7)
d = datetime.datetime(2011, 1, 1)
with open(sys.argv[1], "w", newline="") as f:
    while d.year == 2011:
        h = d.hour
        base = 0 if h < 9 or h > 20 else (20 + 25 * (1 - abs(h - 15) / 6))
        if d.weekday() == 5: base *= 1.6
        if d.weekday() == 6: base *= 0.3
        c = [max(0, int(random.gauss(base * k, 3))) if base else 0 for k in (1.0, 0.6, 0.35)]
        f.write("%02d,%02d,%02d,%4d,%5d,%5d,%5d\r\n" % (h, d.day, d.month, d.year, *c))
        d += datetime.timedelta(hours=1)
PY

shot() {   # name showper start end
    local name=$1 per=$2 start=$3 end=$4
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
DATATOSHOW=4
SHOWPER=$per
SHOWCOUNTER=15
SELSUMENABLE1=0
SELSUMENABLE2=0
START=$start
END=$end
INI
    Xvfb :97 -screen 0 1280x800x24 >/dev/null 2>&1 &
    local xvfb=$!
    sleep 1
    DISPLAY=:97 ZENTRELLAPP_DIR="$work" ZENTRELLAPP_BOXES=stderr ZENTRELLAPP_CLOCK_START=2011-12-31T12:00:00 \
        "$app" >/dev/null 2>&1 &
    local pid=$!
    sleep 4
    local win
    win=$(DISPLAY=:97 xdotool search --name "Zentrell" | head -1)
    DISPLAY=:97 xdotool windowmove "$win" 0 0 windowsize "$win" 1280 800
    sleep 1
    # The "View as Graph" tab, then "&Update graph" so the saved range is shown.
    DISPLAY=:97 xdotool key --window "$win" ctrl+Tab
    sleep 1
    DISPLAY=:97 xdotool key --window "$win" alt+u
    sleep 2
    DISPLAY=:97 import -window root "$root/docs/screenshot-$name.png"
    kill "$pid"; wait "$pid" 2>/dev/null || true
    kill "$xvfb"; wait "$xvfb" 2>/dev/null || true
}

mkdir -p docs
shot year-per-week 0 40544 40908     # 1 Jan .. 31 Dec 2011
shot month-per-day 1 40695 40724     # June 2011
shot day-per-hour 2 40733 40733      # Saturday 9 July 2011
cp docs/screenshot-year-per-week.png docs/screenshot.png
echo "screenshots in docs/"
