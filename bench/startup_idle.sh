#!/usr/bin/env bash
# Start-up, idle and memory figures of the program, measured by hand (not run by ctest). Per
# case, on a display of its own against the fixture NWS on 127.0.0.1 with a fresh profile:
#   - time from process start to the main window shown (mapped on the X display),
#   - time from the log line "Ombrix init complete." to the temperature gauge's first
#     read-out on the screen (cases with a location),
#   - CPU of the program and of the X server over an idle stretch after the first fetches,
#   - resident memory (now and peak) and the program's thread count.
# Cases: none (no location yet), austin (two active alerts: the indicator and the tray icon
# blink), denver (no alerts).
# Usage: bench/startup_idle.sh [build folder] [idle seconds] [runs] [case ...]
# With PERF_OUT=prefix set, the idle stretch is also recorded by perf, into prefix.<case>.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
idle=${2:-60}
runs=${3:-1}
shift $(($# < 3 ? $# : 3))
cases=("$@")
[ ${#cases[@]} -gt 0 ] || cases=(none austin denver)
program=$build/app/Ombrix
fixture=$build/tests/tools/fixture_nws
for f in "$program" "$fixture"; do
  [ -x "$f" ] || { echo "missing $f: build first" >&2; exit 1; }
done
command -v xwininfo >/dev/null || { echo "needs xwininfo (x11-utils)" >&2; exit 1; }

pids=()
work=""
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  pids=()
  [ -z "$work" ] || rm -rf "$work"
}
trap cleanup EXIT

ticks=$(getconf CLK_TCK)
cpu() { awk '{print $14 + $15}' "/proc/$1/stat"; }
# On-CPU nanoseconds per thread ("tid name ns"), from the scheduler's own accounting: exact,
# where the tick-based figures of /proc/PID/stat charge a whole tick to a thread that a timer
# woke on it.
threads_ns() {
  for t in /proc/"$1"/task/*; do
    echo "${t##*/} $(tr ' ' _ <"$t/comm") $(cut -d' ' -f1 "$t/schedstat")"
  done 2>/dev/null
}
# Nanoseconds used between two thread lists by the threads in both.
used_ns() {
  awk 'NR == FNR {b[$1] = $3; next} ($1 in b) {s += $3 - b[$1]} END {printf "%d", s}' "$1" "$2"
}
ns_percent() {
  awk -v n="$1" -v s="$idle" 'BEGIN { printf "%.3f", 100 * n / 1e9 / s }'
}
percent() {
  awk -v t="$1" -v hz="$ticks" -v s="$idle" 'BEGIN { printf "%.2f", 100 * t / hz / s }'
}

profile() {
  case $1 in
    none) ;;
    austin)
      cat <<INI
[General]
ALL_LOCATIONS=78701, TXC453, KATT, Austin Camp Mabry, EWX, Austin/San Antonio, "Austin, TX"
CURRENT_LOCATION="Austin, TX"
PLAY_SOUNDS=false
INI
      ;;
    denver)
      cat <<INI
[General]
ALL_LOCATIONS=80202, COC031, KBJC, "Broomfield, Jeffco Airport", FTG, Denver, "Denver, CO"
CURRENT_LOCATION="Denver, CO"
PLAY_SOUNDS=false
INI
      ;;
    *) echo "unknown case $1" >&2; exit 1 ;;
  esac
}

run_case() {
  local name=$1
  work=$(mktemp -d)
  local display=:$((200 + RANDOM % 500))
  Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp -noreset -fbdir "$work" >/dev/null 2>&1 &
  local xserver=$!
  pids+=($xserver)
  export DISPLAY=$display
  for _ in $(seq 100); do xwininfo -root >/dev/null 2>&1 && break; sleep 0.05; done

  "$fixture" --port 0 >"$work/fixture.out" 2>&1 &
  pids+=($!)
  for _ in $(seq 100); do grep -q listening "$work/fixture.out" && break; sleep 0.05; done
  local host
  host=$(sed -n 's/^listening on //p' "$work/fixture.out")

  mkdir -p "$work/profile/Ombrix"
  profile "$name" >"$work/profile/Ombrix/Ombrix.ini"
  export XDG_CONFIG_HOME=$work/profile
  for v in OMBRIX_NWS_HOST OMBRIX_FORECAST_HOST OMBRIX_ALERTS_HOST OMBRIX_RADAR_HOST \
    OMBRIX_HOME_HOST; do
    export "$v=$host"
  done
  export OMBRIX_CONNECTIVITY_URL="http://$host/"

  local start pid
  start=$(date +%s%N)
  # Each log line stamped on arrival (the log's own stamps have whole seconds).
  "$program" > >(while IFS= read -r line; do echo "$(date +%s%N) $line"; done \
    >"$work/program.out") 2>&1 &
  pid=$!
  pids+=($pid)
  local shown="" info=""
  for _ in $(seq 2000); do
    info=$(xwininfo -name Ombrix 2>/dev/null || true)
    if grep -q IsViewable <<<"$info"; then
      shown=$((($(date +%s%N) - start) / 1000000))
      break
    fi
    sleep 0.005
  done
  [ -n "$shown" ] || { echo "$name: the window was not shown"; cat "$work/program.out"; exit 1; }

  local drawn=""
  if [ "$name" != none ]; then
    local left top
    left=$(awk '/Absolute upper-left X/ {print $4}' <<<"$info")
    top=$(awk '/Absolute upper-left Y/ {print $4}' <<<"$info")
    drawn=$(python3 bench/first_values.py "$work/Xvfb_screen0" "$left" $((top + 54)) 20)
  fi
  # Let the first fetches of the current location settle before measuring idle.
  sleep 5
  local init
  init=$(awk '/Ombrix init complete\./ {print $1; exit}' "$work/program.out")
  local first="-"
  [ -z "$drawn" ] || [ -z "$init" ] || first=$(((drawn - init) / 1000000))

  local before xbefore after xafter
  before=$(cpu "$pid")
  xbefore=$(cpu "$xserver")
  threads_ns "$pid" >"$work/threads.before"
  threads_ns "$xserver" >"$work/x.before"
  if [ -n "${PERF_OUT:-}" ]; then
    perf record -q -F 1999 --call-graph dwarf -p "$pid" -o "$PERF_OUT.$name" -- sleep "$idle" >/dev/null 2>&1
  else
    sleep "$idle"
  fi
  after=$(cpu "$pid")
  xafter=$(cpu "$xserver")
  threads_ns "$pid" >"$work/threads.after"
  threads_ns "$xserver" >"$work/x.after"
  local exact xexact busiest
  exact=$(ns_percent "$(used_ns "$work/threads.before" "$work/threads.after")")
  xexact=$(ns_percent "$(used_ns "$work/x.before" "$work/x.after")")
  # The threads that used most, in milliseconds over the idle stretch.
  busiest=$(awk 'NR == FNR {b[$1] = $3; next} ($1 in b) {printf "%s:%.1f\n", $2, ($3 - b[$1]) / 1e6}' \
    "$work/threads.before" "$work/threads.after" | sort -t: -k2 -rn | head -4 | tr '\n' ' ')
  local rss peak threads
  rss=$(awk '/VmRSS/ {print $2}' "/proc/$pid/status")
  peak=$(awk '/VmHWM/ {print $2}' "/proc/$pid/status")
  threads=$(awk '/Threads/ {print $2}' "/proc/$pid/status")

  kill -TERM "$pid"
  local status=0
  wait "$pid" || status=$?
  printf '%-7s %9s %11s %9s %9s %9s %9s %7s %7s %7s %6s %5s\n' "$name" "$shown" "$first" \
    "$exact" "$(percent $((after - before)))" "$xexact" "$(percent $((xafter - xbefore)))" \
    "$((rss / 1024))" \
    "$((peak / 1024))" "$threads" "$status" "$(grep -c '^GET' "$work/fixture.out")"
  echo "        busiest threads (ms): $busiest"
  cleanup
}

echo "machine: $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg); idle ${idle} s"
echo "targets: shown < 500 ms, values < 1000 ms after init, CPU < 0.1 % with alerts, < 0.05 %" \
  "without, RSS <= 140 MB"
# CPU: exact (scheduler) and tick-based (/proc/PID/stat), in % of one core.
printf '%-7s %9s %11s %9s %9s %9s %9s %7s %7s %7s %6s %5s\n' case "shown ms" "values ms" \
  "CPU %" "ticks %" "X CPU %" "X ticks" "RSS MB" "peak" threads exit GETs
for ((r = 0; r < runs; ++r)); do
  for name in "${cases[@]}"; do run_case "$name"; done
done
echo "machine load after: $(cut -d' ' -f1-3 /proc/loadavg)"
