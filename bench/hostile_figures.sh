#!/usr/bin/env bash
# Figures of the real program against a hostile fixture NWS, measured by hand (not run by
# ctest). Per case, on a virtual display of its own (xvfb-run) with a fresh profile on Austin,
# TX: the peak and the last resident memory over the run, the time SIGTERM takes to end the
# program, and what its log tells of the case.
#   endless-headers  the observation host sends header lines without end once the program
#                    runs; SIGTERM is sent while such a fetch hangs; the log's time-outs
#   huge-images      every icon is a PNG that declares 5600x5600 pixels
#   hanging-icons    a forecast of 2000 periods with an icon link each, whose icon host hangs:
#                    how long the alert update waits behind the forecast
#   hanging-host     the fixture's own forecast, whose icon host hangs: the same wait
# Usage: bench/hostile_figures.sh [build folder] [seconds per case] [case ...]
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build}")
seconds=${2:-60}
shift $(($# < 2 ? $# : 2))
cases=("$@")
[ ${#cases[@]} -gt 0 ] || cases=(endless-headers huge-images hanging-icons hanging-host)
program=$build/app/Ombrix
fixture=$build/tests/tools/fixture_nws
for f in "$program" "$fixture"; do
  [ -x "$f" ] || { echo "missing $f: build first" >&2; exit 1; }
done
command -v xvfb-run >/dev/null || { echo "needs xvfb-run" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
now() { date +%s.%N; }
since() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", b - a }'; }

run_case() {
  local name=$1 waitfor=$2
  shift 2
  local dir=$work/$name
  mkdir -p "$dir/profile/Ombrix"
  cat >"$dir/profile/Ombrix/Ombrix.ini" <<INI
[General]
ALL_LOCATIONS=78701, TXC453, KATT, Austin Camp Mabry, EWX, Austin/San Antonio, "Austin, TX"
CURRENT_LOCATION="Austin, TX"
PLAY_SOUNDS=false
INI
  "$fixture" --port 0 "$@" >"$dir/fixture.log" 2>&1 &
  local fixture_pid=$!
  for _ in $(seq 100); do grep -q listening "$dir/fixture.log" && break; sleep 0.1; done
  local host
  host=$(grep -o '127\.0\.0\.1:[0-9]*' "$dir/fixture.log" | head -1)
  (
    cd "$dir"
    export XDG_CONFIG_HOME=$dir/profile OMBRIX_CONNECTIVITY_URL=http://$host/
    export OMBRIX_NWS_HOST=$host OMBRIX_FORECAST_HOST=$host OMBRIX_ALERTS_HOST=$host
    export OMBRIX_RADAR_HOST=$host OMBRIX_HOME_HOST=$host
    exec xvfb-run -a -s "-screen 0 1280x1024x24" "$program"
  ) >"$dir/program.log" 2>&1 &
  local runner=$!
  local pid=""
  for _ in $(seq 100); do
    pid=$(pgrep -P "$(pgrep -P $runner xvfb-run || echo $runner)" -x Ombrix || true)
    [ -n "$pid" ] || pid=$(pgrep -P $runner -x Ombrix || true)
    [ -n "$pid" ] && break
    sleep 0.1
  done
  [ -n "$pid" ] || { echo "$name: the program did not start" >&2; kill $fixture_pid; return 1; }
  local peak=0 rss=0 start forecast="" alert=""
  start=$(now)
  while kill -0 "$pid" 2>/dev/null; do
    rss=$(awk '/VmRSS/ {print $2}' "/proc/$pid/status" 2>/dev/null || echo 0)
    [ "${rss:-0}" -gt "$peak" ] && peak=$rss
    if [ -z "$forecast" ] && grep -q "executing task <Forecast Update>" "$dir/program.log"; then
      forecast=$(now)
    fi
    if [ -n "$forecast" ] && [ -z "$alert" ] &&
      grep -A1000000 "executing task <Forecast Update>" "$dir/program.log" |
      grep -q "executing task <Alert Update>"; then
      alert=$(now)
    fi
    if [ -n "$waitfor" ] && [ "$(grep -c -- "$waitfor" "$dir/fixture.log")" -ge 2 ]; then
      sleep 3
      break
    fi
    [ "$(since "$start" "$(now)" | cut -d. -f1)" -ge "$seconds" ] && break
    sleep 0.1
  done
  local t0 t1
  t0=$(now)
  kill -TERM "$pid"
  while kill -0 "$pid" 2>/dev/null; do sleep 0.01; done
  t1=$(now)
  wait $runner || true
  kill -TERM $fixture_pid
  wait $fixture_pid || true
  echo "$name: peak RSS $((peak / 1024)) MB, last RSS $((rss / 1024)) MB, SIGTERM $(since "$t0" "$t1") s"
  if [ -n "$forecast" ] && [ -n "$alert" ]; then
    echo "  the alert update started $(since "$forecast" "$alert") s after the forecast update"
  fi
  grep -E "Timed out|forecast has|forecast icons were not|pixels, more than" "$dir/program.log" |
    sed 's/^/  /' | sort | uniq -c | sort -rn | head -6 || true
}

for c in "${cases[@]}"; do
  case $c in
    endless-headers) run_case "$c" endless-headers --hostile endless-headers --hostile-after 1 ;;
    huge-images) run_case "$c" "" --hostile huge-image ;;
    hanging-icons) run_case "$c" "" --hostile many-periods --hostile stall --hostile-path /images/ ;;
    hanging-host) run_case "$c" "" --hostile stall --hostile-path /images/ ;;
    *) echo "unknown case $c" >&2; exit 1 ;;
  esac
done
