#!/usr/bin/env bash
# Start-up, idle and memory figures of the program, measured by hand (not run by ctest):
#   - time from process start to the main window shown (mapped on the X display),
#   - CPU used over an idle minute with the window shown and a current location set,
#   - resident memory (now and peak).
# Runs build/app/Ombrix on its own virtual display against the fixture NWS on 127.0.0.1 with
# a fresh profile. Usage: bench/startup_idle.sh [build folder] [idle seconds]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
idle=${2:-60}
program=$build/app/Ombrix
fixture=$build/tests/tools/fixture_nws
for f in "$program" "$fixture"; do
  [ -x "$f" ] || { echo "missing $f: build first" >&2; exit 1; }
done
command -v xwininfo >/dev/null || { echo "needs xwininfo (x11-utils)" >&2; exit 1; }

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

# A display of our own.
display=:$((200 + RANDOM % 500))
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=$display
for _ in $(seq 100); do xwininfo -root >/dev/null 2>&1 && break; sleep 0.05; done

"$fixture" --port 0 >"$work/fixture.out" 2>&1 &
pids+=($!)
for _ in $(seq 100); do grep -q listening "$work/fixture.out" && break; sleep 0.05; done
host=$(sed -n 's/^listening on //p' "$work/fixture.out")

mkdir -p "$work/profile/Ombrix"
cat >"$work/profile/Ombrix/Ombrix.ini" <<INI
[General]
ALL_LOCATIONS=78701, TXC453, KATT, Austin Camp Mabry, EWX, Austin/San Antonio, "Austin, TX"
CURRENT_LOCATION="Austin, TX"
PLAY_SOUNDS=false
INI

export XDG_CONFIG_HOME=$work/profile
for v in OMBRIX_NWS_HOST OMBRIX_FORECAST_HOST OMBRIX_ALERTS_HOST OMBRIX_RADAR_HOST OMBRIX_HOME_HOST; do
  export "$v=$host"
done
export OMBRIX_CONNECTIVITY_URL="http://$host/"

start=$(date +%s%N)
"$program" >"$work/program.out" 2>&1 &
pid=$!
pids+=($pid)
shown=""
for _ in $(seq 2000); do
  if xwininfo -name Ombrix 2>/dev/null | grep -q IsViewable; then
    shown=$(( ($(date +%s%N) - start) / 1000000 ))
    break
  fi
  sleep 0.005
done
[ -n "$shown" ] || { echo "the window was not shown"; cat "$work/program.out"; exit 1; }

# Let the first fetches of the current location settle before measuring idle.
sleep 5
ticks=$(getconf CLK_TCK)
cpu() { awk '{print $14 + $15}' "/proc/$pid/stat"; }
before=$(cpu)
sleep "$idle"
after=$(cpu)
idle_percent=$(awk -v t=$((after - before)) -v hz="$ticks" -v s="$idle" \
  'BEGIN { printf "%.2f", 100 * t / hz / s }')
rss=$(awk '/VmRSS/ {print $2}' "/proc/$pid/status")
peak=$(awk '/VmHWM/ {print $2}' "/proc/$pid/status")

kill -TERM "$pid"
status=0
wait "$pid" || status=$?

echo "machine: $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "window shown after:        ${shown} ms   (target < 500 ms)"
echo "idle CPU over ${idle} s:       ${idle_percent} % of one core   (target < 0.5 %)"
echo "resident memory:           $((rss / 1024)) MB now, $((peak / 1024)) MB peak   (target < 80 MB)"
echo "exit code after SIGTERM:   $status"
echo "fixture requests:          $(grep -c '^GET' "$work/fixture.out")"
