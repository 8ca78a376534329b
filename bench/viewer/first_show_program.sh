#!/usr/bin/env bash
# Times programs from launch to their main window mapped, under a private
# Xvfb, taking turns, and prints each one's median and their ratio.
# Usage: first_show_program.sh HOME ROUNDS PROGRAM [BASELINE]
#   HOME      a home folder whose Desktop holds the files (say 1,000,000);
#   PROGRAM   the murkglass to time; BASELINE another build to compare with.
# Needs Xvfb and xdotool. The program starts in "/", as from a menu.
set -euo pipefail
home=$1 rounds=$2
shift 2
programs=()
for p in "$@"; do
  [[ -x $p ]] || { echo "not a program: $p" >&2; exit 2; }
  programs+=("$(realpath "$p")")
done
display=:$((90 + RANDOM % 9))
Xvfb "$display" -screen 0 1280x1024x24 >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null' EXIT
sleep 1
export DISPLAY=$display HOME=$home

start_once() {
  local t0 t1 pid
  t0=$(date +%s%N)
  (cd / && exec "$1" >/dev/null 2>&1) &
  pid=$!
  until xdotool search --onlyvisible --name '^Murkglass$' >/dev/null 2>&1; do
    if ! kill -0 "$pid" 2>/dev/null || (($(date +%s%N) - t0 > 60000000000)); then
      echo "no window from $1" >&2
      exit 1
    fi
    sleep 0.005
  done
  t1=$(date +%s%N)
  kill "$pid"
  wait "$pid" 2>/dev/null || true
  echo $(((t1 - t0) / 1000000))
}

declare -A times
for ((r = 0; r < rounds; r++)); do
  for ((k = 0; k < ${#programs[@]}; k++)); do
    p=${programs[(k + r) % ${#programs[@]}]}
    sleep 2.1 # a folder's sub-folders are remembered for two seconds
    ms=$(start_once "$p")
    times[$p]+="$ms "
    echo "round $((r + 1)): $ms ms $p"
  done
done
median() { tr ' ' '\n' | grep . | sort -n | awk '{a[NR]=$1} END {print a[int((NR + 1) / 2)]}'; }
first=$(echo "${times[${programs[0]}]}" | median)
echo "median launch to window: $first ms ${programs[0]}"
if ((${#programs[@]} > 1)); then
  second=$(echo "${times[${programs[1]}]}" | median)
  echo "median launch to window: $second ms ${programs[1]}"
  awk -v a="$first" -v b="$second" 'BEGIN {printf "ratio: %.2f\n", a / b}'
fi
